// Compiled expression kinds shared by the XPath compiler and its tests. Not for use
// outside xpath/.
#pragma once

#include "base/string.h"
#include "tree/qname.h"
#include "xpath/expr.h"
#include "xpath/runtime/functions.h"
#include "xpath/runtime/token.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace ovra {

class Node;
enum class NodeKind : std::uint8_t;

// Sorts into document order (node serials) and drops duplicates.
void sortDocumentOrder(NodeVector& nodes);

// Hands out the nodes of a vector it owns.
class VectorStream : public NodeStream {
 public:
  explicit VectorStream(NodeVector nodes) : nodes_(std::move(nodes)) {}
  Node* next() override { return index_ < nodes_.size() ? nodes_[index_++] : nullptr; }

 private:
  NodeVector nodes_;
  std::size_t index_ = 0;
};

// Hands out the nodes of a vector that outlives it (a variable's value), without a copy.
class SharedVectorStream : public NodeStream {
 public:
  explicit SharedVectorStream(const NodeVector& nodes) : nodes_(nodes) {}
  Node* next() override { return index_ < nodes_.size() ? nodes_[index_++] : nullptr; }

 private:
  const NodeVector& nodes_;
  std::size_t index_ = 0;
};

// Hands out one node.
class SingleNodeStream : public NodeStream {
 public:
  explicit SingleNodeStream(Node* node) : node_(node) {}
  Node* next() override { return std::exchange(node_, nullptr); }

 private:
  Node* node_;
};

// Whether a predicate holds for the node at position: a number compares with the
// position, anything else by its boolean value.
bool predicateHolds(const Expr& predicate, const EvalContext& context);

// For a predicate that is a constant number: that position when it is a positive integer
// (no node after it can pass), -1 when no position can equal it, 0 when it is too large
// to matter. 0 for any other predicate.
std::int32_t constantPosition(const Expr& predicate);
// The last position that can pass predicate, for a constant number and for position()
// compared with a constant number (position() < 4, position() <= 3, 4 > position(), ...):
// no node after it can pass, so an axis or a filter may stop there. -1 when no position
// passes, 0 when there is no such bound.
std::int32_t lastPassingPosition(const Expr& predicate);

// The position bounds of a list of predicates, lastPassingPosition of each: once as
// many nodes have reached predicate i as its bound, no later node can pass it, so the
// axis or filter stops there. [pred][1] stops at the first node that passes pred,
// instead of testing pred on every other node of the axis or key group.
class PredicateStops {
 public:
  PredicateStops() = default;
  explicit PredicateStops(const std::vector<std::unique_ptr<Expr>>& predicates);
  // Some predicate passes no position at all.
  bool passesNone() const { return passesNone_; }
  // Whether no later node can pass, counters[i] nodes having reached predicate i.
  bool isOver(const std::int32_t* counters) const {
    for (std::size_t i = 0; i < bounds_.size(); ++i) {
      if (bounds_[i] > 0 && counters[i] >= bounds_[i])
        return true;
    }
    return false;
  }

 private:
  std::vector<std::int32_t> bounds_;  // up to the last predicate with a bound
  bool passesNone_ = false;
};

class LiteralExpr : public Expr {
 public:
  explicit LiteralExpr(String text) : value_(Value::makeString(std::move(text))) {}
  Value evaluate(const EvalContext& context) const override;
  const Value* boundValue(const EvalContext&) const override { return &value_; }
  bool mayBeNumber() const override { return false; }
  const String& text() const { return value_.string(); }

 private:
  Value value_;
};

class NumberExpr : public Expr {
 public:
  explicit NumberExpr(double number) : value_(Value::makeNumber(number)) {}
  Value evaluate(const EvalContext& context) const override;
  const Value* boundValue(const EvalContext&) const override { return &value_; }
  double evaluateNumber(const EvalContext&) const override { return value_.number(); }
  double number() const { return value_.number(); }

 private:
  Value value_;
};

// An unbound name is an EvaluateException naming the variable, at its token.
class VariableExpr : public Expr {
 public:
  VariableExpr(Token token, ExpandedName name) : token_(token), name_(name) {}
  Value evaluate(const EvalContext& context) const override;
  std::unique_ptr<NodeStream> select(const EvalContext& context) const override;
  const Value* boundValue(const EvalContext& context) const override { return &lookup(context); }

 private:
  const Value& lookup(const EvalContext& context) const;
  Token token_;
  ExpandedName name_;
};

// A left-associative chain of binary operators: ((first op1 e1) op2 e2) ... Long
// operator chains are evaluated, and destroyed, without recursion on their length.
class BinaryExpr : public Expr {
 public:
  struct Operation {
    TokenKind op;
    Token token;
    std::unique_ptr<Expr> operand;
  };
  BinaryExpr(std::unique_ptr<Expr> first, std::vector<Operation> rest);
  Value evaluate(const EvalContext& context) const override;
  double evaluateNumber(const EvalContext& context) const override;
  bool evaluateBoolean(const EvalContext& context) const override;
  bool returnsNodeSet() const override;
  bool usesContextSize() const override;
  bool usesPosition() const override;
  bool mayBeNumber() const override;

  const Expr& first() const { return *first_; }
  const std::vector<Operation>& rest() const { return rest_; }

 private:
  std::unique_ptr<Expr> first_;
  std::vector<Operation> rest_;
  bool arithmetic_;  // every operator is +, -, *, div or mod
};

class NegateExpr : public Expr {
 public:
  explicit NegateExpr(std::unique_ptr<Expr> operand) : operand_(std::move(operand)) {}
  Value evaluate(const EvalContext& context) const override;
  double evaluateNumber(const EvalContext& context) const override {
    return -operand_->evaluateNumber(context);
  }
  bool usesContextSize() const override { return operand_->usesContextSize(); }
  bool usesPosition() const override { return operand_->usesPosition(); }

 private:
  std::unique_ptr<Expr> operand_;
};

// The values of a call's arguments, in order, into values: variables and constants lent
// where they lie, anything else evaluated.
inline void evaluateArguments(const std::vector<std::unique_ptr<Expr>>& arguments,
                              const EvalContext& context, ArgumentList& values) {
  values.reserve(arguments.size());
  for (const auto& argument : arguments) {
    if (const Value* bound = argument->boundValue(context))
      values.borrow(*bound);
    else
      values.push_back(argument->evaluate(context));
  }
}

// A function call; the arguments are evaluated completely, in order.
class FunctionCallExpr : public Expr {
 public:
  // entry is copied: the call keeps what it needs of the registry's entry.
  FunctionCallExpr(Token token, const FunctionEntry& entry,
                   std::vector<std::unique_ptr<Expr>> arguments);
  Value evaluate(const EvalContext& context) const override;
  bool evaluateBoolean(const EvalContext& context) const override;
  bool returnsNodeSet() const override;
  bool usesContextSize() const override;
  bool usesPosition() const override;
  bool mayBeNumber() const override;

  bool isPositionCall() const { return isPosition_; }

 private:
  Token token_;
  FunctionEntry entry_;
  std::vector<std::unique_ptr<Expr>> arguments_;
  // count() of an expression that always yields a node-set: its nodes are counted as
  // they stream, without a list of them.
  bool countsStream_ = false;
  bool isPosition_ = false;  // the core position()
  // boolean() or not() of an expression that always yields a node-set: only whether it
  // has a node is asked.
  bool testsExistence_ = false;
  bool negates_ = false;  // the core not()
};

// Which nodes of an axis a step keeps, before its predicates.
struct NodeTest {
  enum class Kind {
    AnyNode,                // node(), ".", ".."
    Text,                   // text()
    Comment,                // comment()
    ProcessingInstruction,  // processing-instruction(target?)
    Name,                   // a QName: namespace name and local name
    NamespaceWildcard,      // prefix:*
    AnyName,                // *
  };
  Kind kind = Kind::AnyNode;
  StringRef namespaceURI;  // interned
  StringRef localName;     // interned
  String target;           // processing-instruction target; empty: any

  // principal is the axis's principal node kind: Attribute, Namespace or Element.
  bool matches(Node* node, NodeKind principal) const;
  bool onlyMatchesElements(NodeKind principal) const;
};

class NodeTestNode;
NodeTest compileNodeTest(const NodeTestNode& node);

struct Step {
  TokenKind axis = TokenKind::AxisChild;
  NodeTest test;
  std::vector<std::unique_ptr<Expr>> predicates;
  PredicateStops stops;
  // A predicate is a constant number: at most one node per context passes.
  bool onePerContext = false;
  bool needsSize = false;  // a predicate asks last()
  // A child step whose context nodes, though in document order, may lie inside one
  // another: the children of each are merged with those of the contexts inside it.
  bool nestedContexts = false;

  NodeKind principalKind() const;
  NameMask nameMask() const;
  void prepare();  // fills stops and needsSize from the predicates
};

// A location path, from the context node, the root (absolute), or the nodes of a
// filter expression; also a bare filter expression with predicates. Streams when the
// shape of the path keeps document order without duplicates, else sorts. A filter whose
// value is not a node-set is an EvaluateException at filterToken.
class PathExpr : public Expr {
 public:
  PathExpr(std::unique_ptr<Expr> filter, const Token& filterToken,
           std::vector<std::unique_ptr<Expr>> filterPredicates, bool absolute,
           std::vector<Step> steps);
  Value evaluate(const EvalContext& context) const override;
  std::unique_ptr<NodeStream> select(const EvalContext& context) const override;
  Node* selectFirst(const EvalContext& context) const override;
  bool evaluateBoolean(const EvalContext& context) const override;
  bool returnsNodeSet() const override { return true; }
  bool usesContextSize() const override;
  bool usesPosition() const override;
  bool mayBeNumber() const override { return false; }

 private:
  std::unique_ptr<NodeStream> source(const EvalContext& context) const;
  NodeVector evaluateSteps(NodeVector contexts, const EvalContext& base) const;
  // Hands visit(node) each node of the result in document order, depth first through
  // the steps with their walkers on the stack, until it answers false (then false).
  // Only for paths that stream without merging (walkable_). With anyOrder, every path
  // may be walked: the nodes come in no particular order, duplicates included.
  template <bool anyOrder = false, class Visit>
  bool walk(const EvalContext& context, Visit& visit) const;

  [[noreturn]] void throwNotNodeSet(const EvalContext& context) const;

  std::unique_ptr<Expr> filter_;
  Token filterToken_;
  std::vector<std::unique_ptr<Expr>> filterPredicates_;
  PredicateStops filterStops_;
  bool filterOneNode_ = false;  // a predicate is a constant number
  bool filterNeedsSize_ = false;
  bool absolute_;
  std::vector<Step> steps_;
  bool streamable_ = false;
  bool walkable_ = false;
};

}  // namespace ovra
