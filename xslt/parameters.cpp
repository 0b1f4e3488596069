#include "xslt/parameters.h"

#include "xpath/parser.h"
#include "xslt/functions.h"

namespace ovra {

static constexpr char kParameterPrefix[] = "Parameter ";
static constexpr char kUndeclaredPrefix[] = "namespace prefix not declared";

ParameterException::ParameterException(std::string_view name, const ConstString& cause)
    : XSLException(String(kParameterPrefix).append(name).append(": ").append(cause)) {}

String ParameterException::message() const {
  return message_;
}

Value ExternalParameter::evaluate(const EvalContext& context) const {
  if (!expression)
    return Value::makeString(text);
  try {
    return expression->evaluate(context);
  } catch (const EvaluateException& error) {
    throw ParameterException(spelling.view(), error.message());
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
      throw ParameterException(name, error.message());
    } catch (const EvaluateException& error) {
      throw ParameterException(name, error.message());
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
