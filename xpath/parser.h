// The XPath parser: location paths, steps, predicates and filter expressions by recursive
// descent; binary operators collected flat and then arranged by precedence.
#pragma once

#include "xpath/expr.h"
#include "xpath/runtime/functions.h"
#include "xpath/syntax.h"

#include "base/string.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

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

// While one is alive on a thread (a stylesheet being compiled), compileXPath parses each
// text once for each set of namespace declarations in scope and compiles the kept syntax
// tree at every later use: DocBook XSL writes 12,600 expressions, 4,300 of them distinct.
// The syntax tree refers to no node, so the copy compiled is the one a parse would make.
// The namespace contexts handed to compileXPath must outlive the memo and keep their
// declarations while it lives. Memos nest: the innermost serves.
class ParseMemo {
 public:
  ParseMemo();
  ~ParseMemo();
  ParseMemo(const ParseMemo&) = delete;
  ParseMemo& operator=(const ParseMemo&) = delete;

  // The memo serving this thread, or null.
  static ParseMemo* current();
  // The syntax tree of text at namespaceContext, parsed on first request.
  const SyntaxNode& tree(std::string_view text, const Node* namespaceContext,
                         const FunctionRegistry& functions);

 private:
  struct Parsed {
    const Node* scope;  // the nearest node declaring namespaces, or null
    const FunctionRegistry* functions;
    std::unique_ptr<SyntaxNode> tree;
  };
  std::unordered_map<std::string, std::vector<Parsed>, TextHash, std::equal_to<>> parsed_;
  ParseMemo* outer_;
};

// Parses and compiles text; the syntax tree is discarded. Throws XPathParseException, or
// EvaluateException for a call of a function in no namespace that functions does not
// hold, or with a number of arguments it does not take. A call of an unknown function
// in a namespace (an extension function) compiles, and fails only when evaluated.
std::unique_ptr<Expr> compileXPath(std::string_view text, const Node* namespaceContext,
                                   const FunctionRegistry& functions = coreFunctions());

}  // namespace ovra
