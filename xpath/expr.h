// Compiled XPath 1.0 expressions.
//
// The pieces. An expression's text goes through four stages, each in its own file:
//
//   lexer.h      text -> TokenQueue: the tokens of XPath 1.0 section 3.7, with the
//                disambiguation rules applied (an operator name, "*" as multiply, a
//                node type, a function name, an axis name are told apart here).
//   parser.h     TokenQueue -> SyntaxNode tree (syntax.h): recursive descent for paths,
//                steps, predicates and filters; binary operators collected flat and
//                arranged by precedence without recursion. Prefixes resolve here, against
//                the element the expression was written in; function names are looked
//                up in a FunctionRegistry (runtime/functions.h) by expanded name. The
//                tree's dump() spells out every operator, axis, name and value, and is
//                what the parser's tests read.
//   compile.cpp  SyntaxNode tree -> Expr tree (expr_impl.h): constants, variable
//                references, operator chains (flat, left to right), negation, function
//                calls bound to their registry entries, and location paths as PathExpr
//                with one Step per location step ("//" becomes a step of its own, or the
//                descendant axis where that means the same).
//   Expr         evaluated against an EvalContext (runtime/context.h): context node,
//                position and size, and an EvaluationHost that binds variables and holds
//                whatever the functions a higher layer registered need. The XPath core
//                knows nothing of XSLT: key(), document() and the rest are registered
//                from above, and reach their transformation through the host.
//
// Values (runtime/value.h) are the XPath types: node-set, boolean, number, string, plus
// a result tree fragment, which a host may bind to a variable. Node-sets are always in
// document order without duplicates (precedesInDocumentOrder in tree/node.h).
//
// How data flows. One Expr offers several ways to be asked, each as lazy as it can be:
//   evaluate()         the whole Value;
//   select()           a node-set as a NodeStream, one node at a time, reading no more
//                      of a lazily parsed document than the caller pulls;
//   selectFirst()      the first node only;
//   evaluateBoolean()  whether the value is true; a node-set stops at its first node, in
//                      whatever order is cheapest (a reverse axis nearest first);
//   evaluateNumber()   arithmetic in doubles, without a Value per operator;
//   boundValue()       a variable's binding or a constant, read where it lies instead
//                      of copied.
// Paths stream when their shape keeps document order (each step's StepWalker pulls
// from an AxisIterator, runtime/axis_iterators.h); otherwise each step's nodes are
// gathered and sorted. A predicate that is a constant number or a bound on position()
// stops its axis early.
//
// What must never be done.
//   - Keep evaluation state in an Expr. A compiled expression is immutable: the same
//     Expr is evaluated again while an outer evaluation of it is still running
//     (recursive templates, nested predicates). State lives in the call, on the stack,
//     or in the NodeStream a call returns.
//   - Hand out a node-set out of document order or with duplicates, or sort namespace
//     nodes by serial alone: they sort with their element.
//   - Recurse on the size of the input. Documents may nest 100,000 deep and operator
//     chains run to tens of thousands of operands; only the nesting written by hand
//     (parentheses, predicates, at most kMaxExpressionNesting) may use the stack.
//   - Keep a Node* past the life of its tree, or a NodeStream past the Expr that made
//     it.
//   - Include anything of xslt/: the host interface and the function registry are the
//     only ways up.
//   - Report an error other than by throwing: XPathParseException while parsing,
//     EvaluateException while evaluating, each at the position of its token.
#pragma once

#include "base/string.h"
#include "tree/qname.h"
#include "xpath/runtime/context.h"
#include "xpath/runtime/token.h"
#include "xpath/runtime/value.h"

#include <cstdint>
#include <memory>

namespace ovra {

class Node;

// Hands out nodes one at a time, in document order, each once. Owned by the caller and
// valid while the Expr that made it and the nodes' trees live.
class NodeStream {
 public:
  NodeStream() = default;
  NodeStream(const NodeStream&) = delete;
  NodeStream& operator=(const NodeStream&) = delete;
  virtual ~NodeStream();
  // Null once exhausted.
  virtual Node* next() = 0;
};

class Expr {
 public:
  Expr() = default;
  Expr(const Expr&) = delete;
  Expr& operator=(const Expr&) = delete;
  virtual ~Expr();

  // The whole value; node-sets in document order without duplicates.
  virtual Value evaluate(const EvalContext& context) const = 0;
  // True when evaluate always yields a node-set (location paths, unions, node-set
  // variables are not known statically and answer false).
  virtual bool returnsNodeSet() const { return false; }
  // The nodes of a node-set result one at a time, reading no more of a lazily parsed
  // document than the caller pulls. Null when the value is not a node-set (a path
  // continuing from it then yields nothing); the default materialises evaluate().
  virtual std::unique_ptr<NodeStream> select(const EvalContext& context) const;
  // The first node select() would hand out, or null; reads no further. The default asks
  // select().
  virtual Node* selectFirst(const EvalContext& context) const;
  // A variable reference: the value bound to it, read where it lies (the binding
  // outlives the evaluation that asks); a literal or number: its constant. Null for
  // every other expression, whose value has to be evaluated.
  virtual const Value* boundValue(const EvalContext&) const { return nullptr; }
  // The value converted to a number, as number() converts it. Arithmetic, negation and
  // number constants answer without building a Value for each step.
  virtual double evaluateNumber(const EvalContext& context) const;
  // The value converted to a boolean, as boolean() converts it. A node-set stops at the
  // first node found, in whatever order comes cheapest: [ancestor::a] looks at one
  // ancestor, not at all of them.
  virtual bool evaluateBoolean(const EvalContext& context) const;
  // True when the value depends on the context size (calls last() outside any nested
  // path's predicates), so callers must know the size before evaluating.
  virtual bool usesContextSize() const { return false; }
  // True when the value depends on the context position or size (position() or last()
  // outside nested paths' predicates).
  virtual bool usesPosition() const { return usesContextSize(); }
  // False when the value is never a number.
  virtual bool mayBeNumber() const { return true; }
  // A predicate that is not positional holds or fails for a node whatever its position:
  // it neither asks the position nor yields a number to compare with it.
  bool isPositional() const { return mayBeNumber() || usesPosition(); }
};

// The value of expr: a variable's binding or a constant read where it lies, anything
// else evaluated into scratch.
inline const Value& valueOf(const Expr& expr, const EvalContext& context, Value& scratch) {
  if (const Value* bound = expr.boundValue(context))
    return *bound;
  scratch = expr.evaluate(context);
  return scratch;
}

}  // namespace ovra
