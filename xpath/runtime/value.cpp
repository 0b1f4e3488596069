// Value construction, the conversions between kinds, and the comparison operators.
#include "xpath/runtime/value.h"

#include "base/output.h"
#include "tree/node.h"
#include "xpath/runtime/number_format.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <functional>
#include <limits>
#include <span>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace ovra {

// ---- Node vectors ----

NodeVector::NodeVector(std::initializer_list<Node*> nodes) : NodeVector() {
  reserve(nodes.size());
  for (Node* node : nodes)
    push_back(node);
}

NodeVector::NodeVector(const NodeVector& other) : NodeVector() {
  reserve(other.size_);
  std::copy(other.begin(), other.end(), data());
  size_ = other.size_;
}

NodeVector& NodeVector::operator=(const NodeVector& other) {
  if (this != &other) {
    clear();
    reserve(other.size_);
    std::copy(other.begin(), other.end(), data());
    size_ = other.size_;
  }
  return *this;
}

void NodeVector::grow(std::size_t atLeast) {
  // Past the inline slot straight to eight: most results are a handful of nodes.
  std::size_t capacity = std::max<std::size_t>({atLeast, std::size_t(capacity_) * 2, 8});
  assert(capacity <= UINT32_MAX && "node-set too large");
  auto* grown = new Node*[capacity];
  std::copy(begin(), end(), grown);
  release();
  heap_ = grown;
  capacity_ = std::uint32_t(capacity);
}

NodeVector::iterator NodeVector::erase(const_iterator first, const_iterator last) {
  Node** at = data() + (first - data());
  Node** tail = std::copy(last, const_iterator(end()), at);
  size_ = std::uint32_t(tail - data());
  return at;
}

NodeVector::iterator NodeVector::insert(const_iterator at, const_iterator first,
                                        const_iterator last) {
  std::size_t offset = std::size_t(at - data());
  std::size_t count = std::size_t(last - first);
  if (count == 0)
    return data() + offset;
  bool own = !std::less<>()(first, data()) && std::less<>()(first, end());
  if (own || size_ + count > capacity_) {
    // A range from this vector's own array would move under the shift or the growth: copy
    // it out first.
    NodeVector inserted;
    inserted.reserve(count);
    std::copy(first, last, inserted.data());
    inserted.size_ = std::uint32_t(count);
    reserve(size_ + count);
    return insert(data() + offset, inserted.begin(), inserted.end());
  }
  Node** position = data() + offset;
  std::copy_backward(position, end(), end() + count);
  std::copy(first, last, position);
  size_ += std::uint32_t(count);
  return position;
}

// ---- Values ----

// Shared by the copies of one value: keeps a heap tree alive. The count is not atomic:
// values never cross threads.
class TreeKeeper {
 public:
  explicit TreeKeeper(std::shared_ptr<Node> root) : root_(std::move(root)) {}
  static TreeKeeper* share(TreeKeeper* keeper) {
    if (keeper != nullptr)
      ++keeper->references_;
    return keeper;
  }
  static void release(TreeKeeper* keeper) {
    if (keeper != nullptr && --keeper->references_ == 0)
      delete keeper;
  }
  const std::shared_ptr<Node>& root() const { return root_; }

 private:
  std::shared_ptr<Node> root_;
  std::size_t references_ = 1;
};

Value Value::makeString(String text) {
  Value value;
  ::new (&value.string_) String(std::move(text));
  value.kind_ = ValueKind::String;
  return value;
}

Value Value::makeNode(Node* node) {
  NodeVector nodes;
  nodes.push_back(node);
  return makeNodeSet(std::move(nodes));
}

Value Value::makeNodeSet(NodeVector nodes) {
  Value value;
  ::new (&value.nodes_) NodeSetData{std::move(nodes), nullptr};
  value.kind_ = ValueKind::NodeSet;
  return value;
}

Value Value::makeNodeSet(NodeVector nodes, std::shared_ptr<Node> tree) {
  Value value = makeNodeSet(std::move(nodes));
  if (tree != nullptr)
    value.nodes_.keeper = new TreeKeeper(std::move(tree));
  return value;
}

Value Value::makeFragment(std::shared_ptr<Node> root) {
  assert(root != nullptr && "a fragment has a root");
  Value value;
  value.fragment_ = new TreeKeeper(std::move(root));
  value.kind_ = ValueKind::TreeFragment;
  return value;
}

Value& Value::operator=(const Value& other) {
  if (this != &other)
    *this = Value(other);
  return *this;
}

void Value::destroy() noexcept {
  switch (kind_) {
  case ValueKind::String:
    string_.~String();
    break;
  case ValueKind::NodeSet:
    TreeKeeper::release(nodes_.keeper);
    nodes_.~NodeSetData();
    break;
  case ValueKind::TreeFragment:
    TreeKeeper::release(fragment_);
    break;
  case ValueKind::None:
  case ValueKind::Number:
  case ValueKind::Boolean:
    break;
  }
  number_ = 0;
  kind_ = ValueKind::None;
}

// Into a value of kind None.
void Value::copyFrom(const Value& other) {
  switch (other.kind_) {
  case ValueKind::String:
    ::new (&string_) String(other.string_);
    break;
  case ValueKind::NodeSet:
    ::new (&nodes_) NodeSetData{other.nodes_.members, TreeKeeper::share(other.nodes_.keeper)};
    break;
  case ValueKind::TreeFragment:
    fragment_ = TreeKeeper::share(other.fragment_);
    break;
  case ValueKind::None:
  case ValueKind::Number:
  case ValueKind::Boolean:
    number_ = other.number_;
    break;
  }
  kind_ = other.kind_;
}

Node* Value::fragmentRoot() const {
  assert(kind_ == ValueKind::TreeFragment && "not a tree fragment");
  return fragment_->root().get();
}

std::shared_ptr<Node> Value::tree() const {
  if (kind_ == ValueKind::TreeFragment)
    return fragment_->root();
  if (kind_ == ValueKind::NodeSet && nodes_.keeper != nullptr)
    return nodes_.keeper->root();
  return nullptr;
}

Value Value::nodeSetSharingTree(NodeVector nodes) const {
  Value value = makeNodeSet(std::move(nodes));
  if (kind_ == ValueKind::TreeFragment)
    value.nodes_.keeper = TreeKeeper::share(fragment_);
  else if (kind_ == ValueKind::NodeSet)
    value.nodes_.keeper = TreeKeeper::share(nodes_.keeper);
  return value;
}

// ---- Conversions ----

String stringOf(const Value& value) {
  switch (value.kind()) {
  case ValueKind::None:
    return String();
  case ValueKind::TreeFragment:
    // A fragment's string value is the text of its tree, as for any root node.
    return value.fragmentRoot()->stringValue();
  case ValueKind::NodeSet:
    return value.nodes().empty() ? String() : value.nodes().front()->stringValue();
  case ValueKind::Number:
    return formatNumber(value.number());
  case ValueKind::Boolean:
    return String(value.boolean() ? kTrueText : kFalseText);
  case ValueKind::String:
    return value.string();
  }
  assert(false && "unknown value kind");
  return String();
}

std::string_view stringView(const Value& value, String& scratch) {
  if (value.kind() == ValueKind::String)
    return value.string().view();
  scratch = stringOf(value);
  return scratch.view();
}

double numberOf(const Value& value) {
  switch (value.kind()) {
  case ValueKind::None:
    return 0;
  case ValueKind::NodeSet:
    return value.nodes().empty() ? std::numeric_limits<double>::quiet_NaN()
                                 : numberOfNode(value.nodes().front());
  case ValueKind::TreeFragment:
    return numberOfNode(value.fragmentRoot());
  case ValueKind::Number:
    return value.number();
  case ValueKind::Boolean:
    return value.boolean() ? 1 : 0;
  case ValueKind::String:
    return parseNumber(value.string().view());
  }
  assert(false && "unknown value kind");
  return 0;
}

bool booleanOf(const Value& value) {
  switch (value.kind()) {
  case ValueKind::None:
    return false;
  case ValueKind::TreeFragment:  // a set of one root node, however empty its text
    return true;
  case ValueKind::NodeSet:
    return !value.nodes().empty();
  case ValueKind::Number:
    return value.number() != 0 && !std::isnan(value.number());
  case ValueKind::Boolean:
    return value.boolean();
  case ValueKind::String:
    return !value.string().empty();
  }
  assert(false && "unknown value kind");
  return false;
}

void toStringValue(Value& value) {
  if (value.kind() != ValueKind::String)
    value = Value::makeString(stringOf(value));
}

void toNumberValue(Value& value) {
  if (value.kind() != ValueKind::Number)
    value = Value::makeNumber(numberOf(value));
}

void toBooleanValue(Value& value) {
  if (value.kind() != ValueKind::Boolean)
    value = Value::makeBoolean(booleanOf(value));
}

void writeValue(const Value& value, Output& out) {
  switch (value.kind()) {
  case ValueKind::None:
    return;
  case ValueKind::TreeFragment:
    value.fragmentRoot()->writeStringValue(out);
    return;
  case ValueKind::NodeSet:
    if (!value.nodes().empty())
      value.nodes().front()->writeStringValue(out);
    return;
  case ValueKind::Number:
    out.write(formatNumber(value.number()).view());
    return;
  case ValueKind::Boolean:
    out.write(value.boolean() ? kTrueText : kFalseText);
    return;
  case ValueKind::String:
    out.write(value.string().view());
    return;
  }
}

// ---- Comparisons ----

namespace {

// A tree fragment compares like a node-set holding its root.
bool isNodeSetLike(const Value& value) {
  return value.kind() == ValueKind::NodeSet || value.kind() == ValueKind::TreeFragment;
}

// The members of a node-set-like value: a node-set's nodes, or a fragment's root.
class Members {
 public:
  explicit Members(const Value& value) {
    if (value.kind() == ValueKind::NodeSet) {
      first_ = value.nodes().begin();
      last_ = value.nodes().end();
    } else {
      root_ = value.fragmentRoot();
      first_ = &root_;
      last_ = first_ + 1;
    }
  }
  Members(const Members&) = delete;
  Members& operator=(const Members&) = delete;
  Node* const* begin() const { return first_; }
  Node* const* end() const { return last_; }
  bool empty() const { return first_ == last_; }

 private:
  Node* root_ = nullptr;
  Node* const* first_;
  Node* const* last_;
};

bool compareNumbers(double left, double right, TokenKind op) {
  switch (op) {
  case TokenKind::Less:
    return left < right;
  case TokenKind::LessOrEqual:
    return left <= right;
  case TokenKind::Greater:
    return left > right;
  case TokenKind::GreaterOrEqual:
    return left >= right;
  default:
    assert(false && "not a relational operator");
    return false;
  }
}

// Some pair of members with equal string values. Hashing the right side keeps large
// sets linear rather than quadratic.
bool someStringsEqual(const Value& left, const Value& right) {
  Members rightMembers(right);
  if (rightMembers.empty())
    return false;
  std::vector<String> scratch(std::size_t(rightMembers.end() - rightMembers.begin()));
  std::unordered_set<std::string_view> rightSet;
  std::size_t index = 0;
  for (Node* node : rightMembers)
    rightSet.insert(stringValueView(node, scratch[index++]));
  String leftScratch;
  for (Node* node : Members(left)) {
    if (rightSet.contains(stringValueView(node, leftScratch)))
      return true;
  }
  return false;
}

// Some pair of members with different string values: both sets are non-empty and not
// every member of either has one and the same string value.
bool someStringsDiffer(const Value& left, const Value& right) {
  Members leftMembers(left);
  Members rightMembers(right);
  if (leftMembers.empty() || rightMembers.empty())
    return false;
  String firstScratch, scratch;
  std::string_view first = stringValueView(*leftMembers.begin(), firstScratch);
  for (const Members* members : {&leftMembers, &rightMembers}) {
    for (Node* node : *members) {
      if (stringValueView(node, scratch) != first)
        return true;
    }
  }
  return false;
}

// The node-set rules with left node-set-like. equal selects = or !=.
bool compareSetWithValue(const Value& set, const Value& other, bool equal) {
  String scratch;
  switch (other.kind()) {
  case ValueKind::NodeSet:
  case ValueKind::TreeFragment:
    return equal ? someStringsEqual(set, other) : someStringsDiffer(set, other);
  case ValueKind::Boolean:
    return (!Members(set).empty() == other.boolean()) == equal;
  case ValueKind::Number:
    for (Node* node : Members(set)) {
      double number = numberOfNode(node);
      if (equal ? number == other.number() : number != other.number())
        return true;
    }
    return false;
  case ValueKind::String:
    for (Node* node : Members(set)) {
      if ((stringValueView(node, scratch) == other.string().view()) == equal)
        return true;
    }
    return false;
  case ValueKind::None:
    return false;
  }
  assert(false && "unknown value kind");
  return false;
}

// Neither side is node-set-like. A boolean on either side compares as booleans, else a
// number on either side as numbers, else as strings: the same whichever side is which.
bool compareScalars(const Value& left, const Value& right, bool equal) {
  if (left.kind() == ValueKind::Boolean || right.kind() == ValueKind::Boolean)
    return (booleanOf(left) == booleanOf(right)) == equal;
  if (left.kind() == ValueKind::Number || right.kind() == ValueKind::Number) {
    double a = numberOf(left), b = numberOf(right);
    return equal ? a == b : a != b;
  }
  String leftScratch, rightScratch;
  return (stringView(left, leftScratch) == stringView(right, rightScratch)) == equal;
}

bool equalOrNot(const Value& left, const Value& right, bool equal) {
  if (isNodeSetLike(left))
    return compareSetWithValue(left, right, equal);
  if (isNodeSetLike(right))
    return compareSetWithValue(right, left, equal);
  return compareScalars(left, right, equal);
}

// The least and greatest number among the members; false when none is a number.
bool numberRange(const Value& value, double& least, double& greatest) {
  bool any = false;
  for (Node* node : Members(value)) {
    double number = numberOfNode(node);
    if (std::isnan(number))
      continue;
    least = any ? std::min(least, number) : number;
    greatest = any ? std::max(greatest, number) : number;
    any = true;
  }
  return any;
}

// Some pair (left member, right member) satisfies op: enough to compare the extreme
// numbers of each side, NaN members never satisfying anything.
bool someNumbersCompare(const Value& left, const Value& right, TokenKind op) {
  double leftMin = 0, leftMax = 0, rightMin = 0, rightMax = 0;
  if (!numberRange(left, leftMin, leftMax) || !numberRange(right, rightMin, rightMax))
    return false;
  bool lessward = op == TokenKind::Less || op == TokenKind::LessOrEqual;
  return lessward ? compareNumbers(leftMin, rightMax, op) : compareNumbers(leftMax, rightMin, op);
}

bool someMemberCompares(const Value& set, double number, TokenKind op) {
  for (Node* node : Members(set)) {
    if (compareNumbers(numberOfNode(node), number, op))
      return true;
  }
  return false;
}

}  // namespace

double numberOfNode(Node* node) {
  String scratch;
  return parseNumber(stringValueView(node, scratch));
}

TokenKind mirror(TokenKind op) {
  switch (op) {
  case TokenKind::Less:
    return TokenKind::Greater;
  case TokenKind::LessOrEqual:
    return TokenKind::GreaterOrEqual;
  case TokenKind::Greater:
    return TokenKind::Less;
  case TokenKind::GreaterOrEqual:
    return TokenKind::LessOrEqual;
  default:
    assert(false && "not a relational operator");
    return op;
  }
}

bool equalValues(const Value& left, const Value& right) {
  return equalOrNot(left, right, /*equal=*/true);
}

// Its own routine rather than the negation of =: two empty node-sets, or NaN against a
// node-set, are neither equal nor unequal in the way negation would claim.
bool notEqualValues(const Value& left, const Value& right) {
  return equalOrNot(left, right, /*equal=*/false);
}

bool compareValues(const Value& left, const Value& right, TokenKind op) {
  if (!isNodeSetLike(left)) {
    if (isNodeSetLike(right))
      return compareValues(right, left, mirror(op));  // 3 < S asks S > 3
    return compareNumbers(numberOf(left), numberOf(right), op);
  }
  switch (right.kind()) {
  case ValueKind::NodeSet:
  case ValueKind::TreeFragment:
    return someNumbersCompare(left, right, op);
  case ValueKind::Boolean:
    return compareNumbers(Members(left).empty() ? 0 : 1, right.boolean() ? 1 : 0, op);
  case ValueKind::Number:
    return someMemberCompares(left, right.number(), op);
  case ValueKind::String:
    return someMemberCompares(left, parseNumber(right.string().view()), op);
  case ValueKind::None:
    return compareNumbers(numberOf(left), numberOf(right), op);
  }
  assert(false && "unknown value kind");
  return false;
}

}  // namespace ovra
