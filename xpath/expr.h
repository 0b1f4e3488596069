// Compiled XPath expressions. A compiled Expr is immutable after compilation, so one
// expression may be evaluated again while an outer evaluation of it is still running
// (recursive templates): all evaluation state lives in the call or in the NodeStream it
// returns, never in the Expr.
#pragma once

#include "base/string.h"
#include "xpath/runtime/context.h"
#include "xpath/runtime/qname.h"
#include "xpath/runtime/value.h"
#include "xpath/token.h"

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
  // outlives the evaluation that asks). Null for every other expression, whose value
  // has to be evaluated.
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

// The value of expr: a variable's binding read where it lies, anything else evaluated
// into scratch.
inline const Value& valueOf(const Expr& expr, const EvalContext& context, Value& scratch) {
  if (const Value* bound = expr.boundValue(context))
    return *bound;
  scratch = expr.evaluate(context);
  return scratch;
}

}  // namespace ovra
