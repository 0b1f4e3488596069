// The XPath parser: location paths, steps, predicates and filter expressions by recursive
// descent; binary operators collected flat and then arranged by precedence.
#pragma once

#include "xpath/expr.h"
#include "xpath/runtime/functions.h"
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
// declarations resolve the prefixes of name tests, variable names and function names;
// null binds none but xml. Unprefixed names are in no namespace. Function calls are
// looked up in functions, which outlives every expression compiled from the tree.
// Throws XPathParseException, also for a prefix that no declaration binds.
std::unique_ptr<SyntaxNode> parseXPath(std::string_view text, const Node* namespaceContext,
                                       const FunctionRegistry& functions = coreFunctions());

// Parses and compiles text; the syntax tree is discarded. Throws XPathParseException, or
// EvaluateException for a call of a function in no namespace that functions does not
// hold, or with a number of arguments it does not take. A call of an unknown function
// in a namespace (an extension function) compiles, and fails only when evaluated.
std::unique_ptr<Expr> compileXPath(std::string_view text, const Node* namespaceContext,
                                   const FunctionRegistry& functions = coreFunctions());

}  // namespace ovra
