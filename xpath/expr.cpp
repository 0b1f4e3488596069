#include "xpath/expr.h"

#include "base/exceptions.h"
#include "tree/node.h"
#include "xpath/expr_impl.h"

#include <algorithm>
#include <cmath>

namespace ovra {

namespace {
constexpr const char* kUndefinedVariable = "Reference to undefined variable, $";
constexpr const char* kUnionOfNonNodeSets = "Both operands of '|' must be node-sets";
}  // namespace

VariableLookup::~VariableLookup() = default;
NodeStream::~NodeStream() = default;
Expr::~Expr() = default;

std::unique_ptr<NodeStream> Expr::select(const EvalContext& context) const {
  Value value = evaluate(context);
  switch (value.kind) {
    case ValueKind::NodeSet:
      return std::make_unique<VectorStream>(std::move(value.nodes));
    case ValueKind::Node:
      return std::make_unique<VectorStream>(NodeVector{value.node});
    case ValueKind::None:
    case ValueKind::TreeFragment:
    case ValueKind::Number:
    case ValueKind::Boolean:
    case ValueKind::String:
      return nullptr;
  }
  return nullptr;
}

void sortDocumentOrder(NodeVector& nodes) {
  auto bySerial = [](const Node* a, const Node* b) { return a->serial() < b->serial(); };
  if (std::is_sorted(nodes.begin(), nodes.end(), bySerial)) {
    nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
    return;
  }
  std::stable_sort(nodes.begin(), nodes.end(), bySerial);
  nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
}

bool evaluateBoolean(const Expr& expr, const EvalContext& context) {
  if (expr.returnsNodeSet()) {
    std::unique_ptr<NodeStream> nodes = expr.select(context);
    return nodes != nullptr && nodes->next() != nullptr;
  }
  return booleanOf(expr.evaluate(context));
}

bool predicateHolds(const Expr& predicate, const EvalContext& context) {
  if (predicate.returnsNodeSet())
    return evaluateBoolean(predicate, context);
  Value value = predicate.evaluate(context);
  if (value.kind == ValueKind::Number)
    return value.number == context.position;
  return booleanOf(value);
}

// ---- Constants and variables ----

Value LiteralExpr::evaluate(const EvalContext&) const {
  return Value::makeString(text_);
}

Value NumberExpr::evaluate(const EvalContext&) const {
  return Value::makeNumber(number_);
}

const Value& VariableExpr::lookup(const EvalContext& context) const {
  const Value* value = context.variables == nullptr
                           ? nullptr
                           : context.variables->lookup(name_.namespaceURI, name_.localName, context);
  if (value == nullptr) {
    String name;
    if (!name_.prefix.empty())
      name.append(name_.prefix).append(":");
    name.append(name_.localName);
    throw EvaluateException(token_, String(kUndefinedVariable).append(name));
  }
  return *value;
}

Value VariableExpr::evaluate(const EvalContext& context) const {
  return lookup(context);
}

std::unique_ptr<NodeStream> VariableExpr::select(const EvalContext& context) const {
  const Value& value = lookup(context);
  if (value.kind == ValueKind::NodeSet)
    return std::make_unique<VectorStream>(value.nodes);
  if (value.kind == ValueKind::Node)
    return std::make_unique<VectorStream>(NodeVector{value.node});
  return nullptr;
}

// ---- Operators ----

bool BinaryExpr::usesContextSize() const {
  return left_->usesContextSize() || right_->usesContextSize();
}

Value BinaryExpr::evaluate(const EvalContext& context) const {
  switch (op_) {
    // The right operand is not evaluated when the left decides, as XPath requires.
    case TokenKind::Or:
      return Value::makeBoolean(evaluateBoolean(*left_, context) ||
                                evaluateBoolean(*right_, context));
    case TokenKind::And:
      return Value::makeBoolean(evaluateBoolean(*left_, context) &&
                                evaluateBoolean(*right_, context));
    default:
      break;
  }
  Value left = left_->evaluate(context);
  Value right = right_->evaluate(context);
  switch (op_) {
    case TokenKind::Equal:
      return Value::makeBoolean(equalValues(left, right));
    case TokenKind::NotEqual:
      return Value::makeBoolean(notEqualValues(left, right));
    case TokenKind::Less:
    case TokenKind::LessOrEqual:
    case TokenKind::Greater:
    case TokenKind::GreaterOrEqual:
      return Value::makeBoolean(compareValues(left, right, op_));
    default:
      break;
  }
  double a = numberOf(left);
  double b = numberOf(right);
  switch (op_) {
    case TokenKind::Multiply:
      return Value::makeNumber(a * b);
    case TokenKind::Div:
      return Value::makeNumber(a / b);
    case TokenKind::Mod:
      return Value::makeNumber(std::fmod(a, b));
    case TokenKind::Minus:
      return Value::makeNumber(a - b);
    case TokenKind::Plus:
      return Value::makeNumber(a + b);
    default:
      break;
  }
  return Value();
}

static NodeVector nodeSetOf(Value value, const Token& token) {
  if (value.kind == ValueKind::NodeSet)
    return std::move(value.nodes);
  if (value.kind == ValueKind::Node)
    return NodeVector{value.node};
  throw EvaluateException(token, kUnionOfNonNodeSets);
}

bool UnionExpr::usesContextSize() const {
  return left_->usesContextSize() || right_->usesContextSize();
}

Value UnionExpr::evaluate(const EvalContext& context) const {
  NodeVector left = nodeSetOf(left_->evaluate(context), token_);
  NodeVector right = nodeSetOf(right_->evaluate(context), token_);
  NodeVector merged;
  merged.reserve(left.size() + right.size());
  std::size_t i = 0, j = 0;
  while (i < left.size() && j < right.size()) {
    std::uint32_t a = left[i]->serial(), b = right[j]->serial();
    if (a < b) {
      merged.push_back(left[i++]);
    } else if (b < a) {
      merged.push_back(right[j++]);
    } else {
      merged.push_back(left[i++]);
      ++j;
    }
  }
  merged.insert(merged.end(), left.begin() + i, left.end());
  merged.insert(merged.end(), right.begin() + j, right.end());
  return Value::makeNodeSet(std::move(merged));
}

Value NegateExpr::evaluate(const EvalContext& context) const {
  return Value::makeNumber(-numberOf(operand_->evaluate(context)));
}

}  // namespace ovra
