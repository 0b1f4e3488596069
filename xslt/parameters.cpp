#include "xslt/parameters.h"

#include "xpath/parser.h"
#include "xslt/functions.h"

namespace ovra {

static constexpr char kParameterPrefix[] = "Parameter ";
static constexpr char kUndeclaredPrefix[] = "namespace prefix not declared";

ParameterException::ParameterException(std::string_view name, const ConstString& cause)
    : XSLException(SourceLocation(),
                   String(kParameterPrefix).append(name).append(": ").append(cause)) {}

ParameterException::ParameterException(std::string_view name, const XSLException& cause)
    : XSLException(SourceLocation(),
                   String(kParameterPrefix).append(name).append(": ").append(cause.text()),
                   cause.position()) {
  setExpression(cause.expression().view());
}

Value ExternalParameter::evaluate(const EvalContext& context) const {
  if (!expression)
    return Value::makeString(text);
  try {
    return expression->evaluate(context);
  } catch (const EvaluateException& error) {
    ParameterException failure(spelling.view(), error);
    failure.setExpression(text.view());
    throw failure;
  }
}

Parameters::~Parameters() = default;

void Parameters::add(std::string_view name, std::string_view value, Kind kind,
                     const Node* namespaceContext) {
  ExternalParameter parameter;
  parameter.spelling = String(name);
  parameter.name = resolveQName(namespaceContext, name);
  // resolveQName answers no namespace for an unbound prefix, which would make p:x the
  // same parameter as x.
  if (!qnamePrefix(name).empty() && parameter.name.namespaceURI.empty())
    throw ParameterException(name, String(kUndeclaredPrefix));
  parameter.text = String(value);
  if (kind == Kind::Expression) {
    try {
      parameter.expression = compileXPath(value, namespaceContext, xsltFunctions());
    } catch (const XPathParseException& error) {
      throw ParameterException(name, error);
    } catch (const EvaluateException& error) {
      throw ParameterException(name, error);
    }
  }
  for (ExternalParameter& existing : entries_) {
    if (existing.name == parameter.name) {
      existing = std::move(parameter);
      return;
    }
  }
  entries_.push_back(std::move(parameter));
}

const ExternalParameter* Parameters::find(const ExpandedName& name) const {
  for (const ExternalParameter& parameter : entries_) {
    if (parameter.name == name)
      return &parameter;
  }
  return nullptr;
}

}  // namespace ovra
