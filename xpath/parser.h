// The XPath parser: location paths, steps, predicates and filter expressions by recursive
// descent; binary operators collected flat and then arranged by precedence.
#pragma once

#include "xpath/expr.h"
#include "xpath/syntax.h"

#include <memory>
#include <string_view>

namespace ovra {

class Node;

// Deeper nesting of parentheses, predicates and function arguments is rejected with
// "Expression nested too deeply", so that absurd input cannot exhaust the stack.
inline constexpr int kMaxExpressionNesting = 1000;

// The syntax tree of an expression or match pattern, owned by the caller; it does not
// refer to text afterwards. namespaceContext is the element whose in-scope namespace
// declarations resolve the prefixes of name tests and variable names; null binds none
// but xml. Unprefixed names are in no namespace. Throws XPathParseException.
std::unique_ptr<SyntaxNode> parseXPath(std::string_view text, const Node* namespaceContext);

// Parses and compiles text; the syntax tree is discarded. Throws XPathParseException, or
// EvaluateException for an unknown function.
std::unique_ptr<Expr> compileXPath(std::string_view text, const Node* namespaceContext);

}  // namespace ovra
