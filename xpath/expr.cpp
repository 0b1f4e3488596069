#include "xpath/expr.h"

#include "base/exceptions.h"
#include "tree/node.h"
#include "xpath/expr_impl.h"
#include "xpath/runtime/functions.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace ovra {

namespace {
constexpr const char* kUndefinedVariable = "Reference to undefined variable, $";
constexpr const char* kUnionOfNonNodeSets = "Both operands of '|' must be node-sets";
}  // namespace

NodeStream::~NodeStream() = default;
Expr::~Expr() = default;

std::unique_ptr<NodeStream> Expr::select(const EvalContext& context) const {
  Value value = evaluate(context);
  switch (value.kind()) {
  case ValueKind::NodeSet:
    return std::make_unique<VectorStream>(value.takeNodes());
  case ValueKind::None:
  case ValueKind::TreeFragment:
  case ValueKind::Number:
  case ValueKind::Boolean:
  case ValueKind::String:
    return nullptr;
  }
  return nullptr;
}

double Expr::evaluateNumber(const EvalContext& context) const {
  Value scratch;
  return numberOf(valueOf(*this, context, scratch));
}

Node* Expr::selectFirst(const EvalContext& context) const {
  std::unique_ptr<NodeStream> nodes = select(context);
  return nodes == nullptr ? nullptr : nodes->next();
}

void sortDocumentOrder(NodeVector& nodes) {
  if (std::is_sorted(nodes.begin(), nodes.end(), precedesInDocumentOrder)) {
    nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
    return;
  }
  std::stable_sort(nodes.begin(), nodes.end(), precedesInDocumentOrder);
  nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
}

bool Expr::evaluateBoolean(const EvalContext& context) const {
  if (returnsNodeSet())
    return selectFirst(context) != nullptr;
  Value scratch;
  return booleanOf(valueOf(*this, context, scratch));
}

bool predicateHolds(const Expr& predicate, const EvalContext& context) {
  if (!predicate.mayBeNumber())
    return predicate.evaluateBoolean(context);
  Value value = predicate.evaluate(context);
  if (value.kind() == ValueKind::Number)
    return value.number() == context.position;
  return booleanOf(value);
}

// ---- Constants and variables ----

Value LiteralExpr::evaluate(const EvalContext&) const {
  return value_;
}

Value NumberExpr::evaluate(const EvalContext&) const {
  return value_;
}

const Value& VariableExpr::lookup(const EvalContext& context) const {
  const Value* value = context.host == nullptr
                           ? nullptr
                           : context.host->variable(name_.namespaceURI, name_.localName, context);
  if (value == nullptr) {
    String name;
    if (!name_.prefix.empty())
      name.append(name_.prefix).append(":");
    name.append(name_.localName);
    throw EvaluateException(token_.position, String(kUndefinedVariable).append(name));
  }
  return *value;
}

Value VariableExpr::evaluate(const EvalContext& context) const {
  return lookup(context);
}

std::unique_ptr<NodeStream> VariableExpr::select(const EvalContext& context) const {
  // The binding outlives the evaluation that pulls from the stream: no copy is needed.
  const Value& value = lookup(context);
  if (value.kind() == ValueKind::NodeSet)
    return std::make_unique<SharedVectorStream>(value.nodes());
  return nullptr;
}

// ---- Operators ----

static NodeVector nodeSetOf(Value value, const Token& token) {
  if (value.kind() == ValueKind::NodeSet)
    return value.takeNodes();
  throw EvaluateException(token.position, kUnionOfNonNodeSets);
}

static NodeVector mergeDocumentOrder(const NodeVector& left, const NodeVector& right) {
  NodeVector merged;
  merged.reserve(left.size() + right.size());
  std::size_t i = 0, j = 0;
  while (i < left.size() && j < right.size()) {
    if (left[i] == right[j]) {
      merged.push_back(left[i++]);
      ++j;
    } else if (precedesInDocumentOrder(left[i], right[j])) {
      merged.push_back(left[i++]);
    } else {
      merged.push_back(right[j++]);
    }
  }
  merged.insert(merged.end(), left.begin() + std::ptrdiff_t(i), left.end());
  merged.insert(merged.end(), right.begin() + std::ptrdiff_t(j), right.end());
  return merged;
}

static bool isLogical(TokenKind op) {
  return op == TokenKind::And || op == TokenKind::Or;
}

static bool isComparison(TokenKind op) {
  return int(op) >= int(TokenKind::Less) && int(op) <= int(TokenKind::NotEqual);
}

static bool isArithmetic(TokenKind op) {
  return op == TokenKind::Plus || op == TokenKind::Minus || op == TokenKind::Multiply ||
         op == TokenKind::Div || op == TokenKind::Mod;
}

// The arithmetic of applyToValue on numbers already converted.
static double arithmetic(TokenKind op, double a, double b) {
  switch (op) {
  case TokenKind::Multiply:
    return a * b;
  case TokenKind::Div:
    return a / b;
  case TokenKind::Mod:
    return std::fmod(a, b);  // the sign of the dividend
  case TokenKind::Minus:
    return a - b;
  default:
    return a + b;
  }
}

// A comparison or arithmetic operator applied to left and the next operand; a variable
// operand is read where it lies.
static Value applyToValue(const BinaryExpr::Operation& operation, const Value& left,
                          const EvalContext& context) {
  Value scratch;
  const Value& right = valueOf(*operation.operand, context, scratch);
  switch (operation.op) {
  case TokenKind::Equal:
    return Value::makeBoolean(equalValues(left, right));
  case TokenKind::NotEqual:
    return Value::makeBoolean(notEqualValues(left, right));
  case TokenKind::Less:
  case TokenKind::LessOrEqual:
  case TokenKind::Greater:
  case TokenKind::GreaterOrEqual:
    return Value::makeBoolean(compareValues(left, right, operation.op));
  default:
    break;
  }
  if (isArithmetic(operation.op))
    return Value::makeNumber(arithmetic(operation.op, numberOf(left), numberOf(right)));
  return Value();
}

// One operator applied to the value so far and the next operand.
static Value applyOperator(const BinaryExpr::Operation& operation, Value left,
                           const EvalContext& context) {
  const Expr& operand = *operation.operand;
  switch (operation.op) {
  // The right operand is not evaluated when the left decides, as XPath requires.
  case TokenKind::Or:
    return Value::makeBoolean(booleanOf(left) || operand.evaluateBoolean(context));
  case TokenKind::And:
    return Value::makeBoolean(booleanOf(left) && operand.evaluateBoolean(context));
  case TokenKind::Union:
    return Value::makeNodeSet(
        mergeDocumentOrder(nodeSetOf(std::move(left), operation.token),
                           nodeSetOf(operand.evaluate(context), operation.token)));
  default:
    return applyToValue(operation, left, context);
  }
}

BinaryExpr::BinaryExpr(std::unique_ptr<Expr> first, std::vector<Operation> rest)
    : first_(std::move(first)), rest_(std::move(rest)),
      arithmetic_(std::all_of(rest_.begin(), rest_.end(),
                              [](const Operation& o) { return isArithmetic(o.op); })) {}

double BinaryExpr::evaluateNumber(const EvalContext& context) const {
  if (!arithmetic_)
    return Expr::evaluateNumber(context);
  // Left to right, each operand converted as it is reached, as evaluate() does.
  double value = first_->evaluateNumber(context);
  for (const Operation& operation : rest_)
    value = arithmetic(operation.op, value, operation.operand->evaluateNumber(context));
  return value;
}

Value BinaryExpr::evaluate(const EvalContext& context) const {
  if (arithmetic_)
    return Value::makeNumber(evaluateNumber(context));
  TokenKind op = rest_.front().op;
  if (isLogical(op) || op == TokenKind::Union) {
    Value value = isLogical(op) ? Value::makeBoolean(first_->evaluateBoolean(context))
                                : first_->evaluate(context);
    for (const Operation& operation : rest_)
      value = applyOperator(operation, std::move(value), context);
    return value;
  }
  // A comparison or arithmetic reads a variable operand where it lies.
  Value scratch;
  const Value& left = valueOf(*first_, context, scratch);
  if (rest_.size() == 1)
    return applyToValue(rest_.front(), left, context);
  Value value = applyToValue(rest_.front(), left, context);
  for (auto operation = rest_.begin() + 1; operation != rest_.end(); ++operation)
    value = applyOperator(*operation, std::move(value), context);
  return value;
}

bool BinaryExpr::evaluateBoolean(const EvalContext& context) const {
  TokenKind op = rest_.front().op;
  if (isLogical(op)) {
    // Left to right, each operator deciding on the value so far when it can.
    bool value = first_->evaluateBoolean(context);
    for (const Operation& operation : rest_) {
      // Operators after the first bind no tighter: after a logical one only and/or.
      assert(isLogical(operation.op) && "a logical chain holds only and/or");
      if (operation.op == TokenKind::Or ? !value : value)
        value = operation.operand->evaluateBoolean(context);
    }
    return value;
  }
  if (returnsNodeSet()) {
    // A union of paths is non-empty when some operand is; each must be a node-set.
    bool paths = first_->returnsNodeSet() &&
                 std::all_of(rest_.begin(), rest_.end(),
                             [](const Operation& o) { return o.operand->returnsNodeSet(); });
    if (paths) {
      return first_->evaluateBoolean(context) ||
             std::any_of(rest_.begin(), rest_.end(),
                         [&](const Operation& o) { return o.operand->evaluateBoolean(context); });
    }
  }
  return Expr::evaluateBoolean(context);
}

bool BinaryExpr::returnsNodeSet() const {
  return std::all_of(rest_.begin(), rest_.end(),
                     [](const Operation& o) { return o.op == TokenKind::Union; });
}

bool BinaryExpr::usesContextSize() const {
  return first_->usesContextSize() ||
         std::any_of(rest_.begin(), rest_.end(),
                     [](const Operation& o) { return o.operand->usesContextSize(); });
}

bool BinaryExpr::usesPosition() const {
  return first_->usesPosition() || std::any_of(rest_.begin(), rest_.end(), [](const Operation& o) {
           return o.operand->usesPosition();
         });
}

bool BinaryExpr::mayBeNumber() const {
  TokenKind last = rest_.back().op;
  return !isLogical(last) && !isComparison(last) && last != TokenKind::Union;
}

Value NegateExpr::evaluate(const EvalContext& context) const {
  return Value::makeNumber(evaluateNumber(context));
}

// ---- Function calls ----

FunctionCallExpr::FunctionCallExpr(Token token, const FunctionEntry& entry,
                                   std::vector<std::unique_ptr<Expr>> arguments)
    : token_(token), entry_(entry), arguments_(std::move(arguments)) {
  countsStream_ =
      isCountFunction(entry_.function) && arguments_.size() == 1 && arguments_[0]->returnsNodeSet();
  isPosition_ = isPositionFunction(entry_.function) && arguments_.empty();
  negates_ = isNotFunction(entry_.function);
  testsExistence_ = (isBooleanFunction(entry_.function) || negates_) && arguments_.size() == 1 &&
                    arguments_[0]->returnsNodeSet();
}

Value FunctionCallExpr::evaluate(const EvalContext& context) const {
  if (testsExistence_)
    return Value::makeBoolean(evaluateBoolean(context));
  if (countsStream_) {
    if (std::unique_ptr<NodeStream> nodes = arguments_[0]->select(context)) {
      std::size_t count = 0;
      while (nodes->next() != nullptr)
        ++count;
      return Value::makeNumber(double(count));
    }
  }
  ArgumentList values;
  evaluateArguments(arguments_, context, values);
  return entry_.function(token_, context, values);
}

bool FunctionCallExpr::evaluateBoolean(const EvalContext& context) const {
  if (testsExistence_)
    return arguments_[0]->evaluateBoolean(context) != negates_;
  return Expr::evaluateBoolean(context);
}

bool FunctionCallExpr::returnsNodeSet() const {
  return entry_.result == FunctionResult::NodeSet;
}

bool FunctionCallExpr::usesContextSize() const {
  return entry_.uses == ContextUse::Size ||
         std::any_of(arguments_.begin(), arguments_.end(),
                     [](const auto& a) { return a->usesContextSize(); });
}

bool FunctionCallExpr::usesPosition() const {
  return entry_.uses != ContextUse::Node ||
         std::any_of(arguments_.begin(), arguments_.end(),
                     [](const auto& a) { return a->usesPosition(); });
}

bool FunctionCallExpr::mayBeNumber() const {
  return entry_.result == FunctionResult::Any || entry_.result == FunctionResult::Number;
}

}  // namespace ovra
