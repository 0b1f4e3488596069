// Values for top-level stylesheet parameters given from outside the stylesheet: the
// command line's --stringparam and --param, and the embedding API. In a transformation a
// parameter replaces the default of the top-level xsl:param of its name; in the XPath
// mode it is a variable the expression can reference.
#pragma once

#include "base/exceptions.h"
#include "base/string.h"
#include "tree/qname.h"
#include "xpath/expr.h"
#include "xpath/runtime/value.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace ovra {

class Node;

// A parameter that cannot be used: its name has a prefix that is not declared, or its
// expression does not compile or fails when evaluated. The text is "Parameter ", the
// name as given, ": " and the cause; an error in the expression keeps its caret.
class ParameterException : public XSLException {
 public:
  ParameterException(std::string_view name, const ConstString& cause);
  ParameterException(std::string_view name, const XSLException& cause);
};

// One parameter, with its name resolved and its expression (if any) compiled.
struct ExternalParameter {
  ExpandedName name;
  String spelling;                   // the name as given, for messages
  String text;                       // the string value, or the expression's text
  std::unique_ptr<Expr> expression;  // null: text is the value

  // The string, or the expression evaluated in context (the caller's choice of context
  // node: the source root). Errors of the evaluation throw ParameterException; other
  // exceptions (a global that refers to itself) pass unchanged.
  Value evaluate(const EvalContext& context) const;
};

class Parameters {
 public:
  enum class Kind : std::uint8_t {
    String = 0,      // the value is the text itself
    Expression = 1,  // the value is an XPath expression's
  };

  Parameters() = default;
  Parameters(Parameters&&) = default;
  Parameters& operator=(Parameters&&) = default;
  ~Parameters();

  // Adds one parameter; a later one of the same name replaces an earlier one. name is a
  // QName whose prefix is declared at namespaceContext (unprefixed: no namespace); an
  // expression is compiled now, its prefixes resolved at the same node. Throws
  // ParameterException.
  void add(std::string_view name, std::string_view value, Kind kind, const Node* namespaceContext);

  // The parameter of that name, or null.
  const ExternalParameter* find(const ExpandedName& name) const;
  const std::vector<ExternalParameter>& entries() const { return entries_; }

 private:
  std::vector<ExternalParameter> entries_;
};

}  // namespace ovra
