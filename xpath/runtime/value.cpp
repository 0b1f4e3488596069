// Value construction, the conversions between kinds, and the comparison operators.
#include "xpath/runtime/value.h"

#include "output/output.h"
#include "tree/node.h"
#include "xpath/runtime/number_format.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <span>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace ovra {

// ---- Construction ----

Value Value::makeNumber(double number) {
  Value value(ValueKind::Number);
  value.number = number;
  return value;
}

Value Value::makeBoolean(bool flag) {
  Value value(ValueKind::Boolean);
  value.flag = flag;
  return value;
}

Value Value::makeString(String text) {
  Value value(ValueKind::String);
  value.text = std::move(text);
  return value;
}

Value Value::makeNode(Node* node) {
  Value value(ValueKind::Node);
  value.node = node;
  return value;
}

Value Value::makeNodeSet(NodeVector nodes) {
  Value value(ValueKind::NodeSet);
  value.nodes = std::move(nodes);
  return value;
}

Value Value::makeFragment(std::shared_ptr<Node> root) {
  Value value(ValueKind::TreeFragment);
  value.node = root.get();
  value.fragment = std::move(root);
  return value;
}

// ---- Conversions ----

String stringOf(const Value& value) {
  switch (value.kind) {
  case ValueKind::None:
    return String();
  case ValueKind::Node:
  case ValueKind::TreeFragment:
    // A fragment's string value is the text of its tree, as for any root node.
    return value.node ? value.node->stringValue() : String();
  case ValueKind::NodeSet:
    return value.nodes.empty() ? String() : value.nodes.front()->stringValue();
  case ValueKind::Number:
    return formatNumber(value.number);
  case ValueKind::Boolean:
    return String(value.flag ? kTrueText : kFalseText);
  case ValueKind::String:
    return value.text;
  }
  assert(false && "unknown value kind");
  return String();
}

std::string_view stringView(const Value& value, String& scratch) {
  if (value.kind == ValueKind::String)
    return value.text.view();
  scratch = stringOf(value);
  return scratch.view();
}

double numberOf(const Value& value) {
  switch (value.kind) {
  case ValueKind::None:
    return 0;
  case ValueKind::Node:
  case ValueKind::NodeSet:
  case ValueKind::TreeFragment:
    return parseNumber(stringOf(value).view());
  case ValueKind::Number:
    return value.number;
  case ValueKind::Boolean:
    return value.flag ? 1 : 0;
  case ValueKind::String:
    return parseNumber(value.text.view());
  }
  assert(false && "unknown value kind");
  return 0;
}

bool booleanOf(const Value& value) {
  switch (value.kind) {
  case ValueKind::None:
    return false;
  case ValueKind::Node:
  case ValueKind::TreeFragment:  // a set of one root node, however empty its text
    return true;
  case ValueKind::NodeSet:
    return !value.nodes.empty();
  case ValueKind::Number:
    return value.number != 0 && !std::isnan(value.number);
  case ValueKind::Boolean:
    return value.flag;
  case ValueKind::String:
    return !value.text.empty();
  }
  assert(false && "unknown value kind");
  return false;
}

void toStringValue(Value& value) {
  if (value.kind == ValueKind::String)
    return;
  value.text = stringOf(value);
  value.kind = ValueKind::String;
}

void toNumberValue(Value& value) {
  value.number = numberOf(value);
  value.kind = ValueKind::Number;
}

void toBooleanValue(Value& value) {
  value.flag = booleanOf(value);
  value.kind = ValueKind::Boolean;
}

void writeValue(const Value& value, Output& out) {
  switch (value.kind) {
  case ValueKind::None:
    return;
  case ValueKind::Node:
  case ValueKind::TreeFragment:
    if (value.node)
      value.node->writeStringValue(out);
    return;
  case ValueKind::NodeSet:
    if (!value.nodes.empty())
      value.nodes.front()->writeStringValue(out);
    return;
  case ValueKind::Number:
    out.write(formatNumber(value.number).view());
    return;
  case ValueKind::Boolean:
    out.write(value.flag ? kTrueText : kFalseText);
    return;
  case ValueKind::String:
    out.write(value.text.view());
    return;
  }
}

// ---- Comparisons ----

namespace {

// A single node and a tree fragment compare like a node-set holding that one node.
bool isNodeSetLike(const Value& value) {
  return value.kind == ValueKind::NodeSet || value.kind == ValueKind::Node ||
         value.kind == ValueKind::TreeFragment;
}

std::span<Node* const> membersOf(const Value& value) {
  if (value.kind == ValueKind::NodeSet)
    return value.nodes;
  if (value.node == nullptr)
    return {};
  return {&value.node, 1};
}

std::vector<String> memberStrings(const Value& value) {
  std::vector<String> strings;
  for (Node* node : membersOf(value))
    strings.push_back(node->stringValue());
  return strings;
}

std::vector<double> memberNumbers(const Value& value) {
  std::vector<double> numbers;
  for (Node* node : membersOf(value))
    numbers.push_back(parseNumber(node->stringValue().view()));
  return numbers;
}

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
  std::vector<String> rightStrings = memberStrings(right);
  if (rightStrings.empty())
    return false;
  std::unordered_set<std::string_view> rightSet;
  for (const String& text : rightStrings)
    rightSet.insert(text.view());
  for (Node* node : membersOf(left)) {
    if (rightSet.contains(node->stringValue().view()))
      return true;
  }
  return false;
}

// Some pair of members with different string values: both sets are non-empty and not
// every member of either has one and the same string value.
bool someStringsDiffer(const Value& left, const Value& right) {
  std::span<Node* const> leftMembers = membersOf(left);
  std::span<Node* const> rightMembers = membersOf(right);
  if (leftMembers.empty() || rightMembers.empty())
    return false;
  String first = leftMembers.front()->stringValue();
  for (std::span<Node* const> members : {leftMembers, rightMembers}) {
    for (Node* node : members) {
      if (!sameText(node->stringValue(), first))
        return true;
    }
  }
  return false;
}

// The node-set rules with left node-set-like. equal selects = or !=.
bool compareSetWithValue(const Value& set, const Value& other, bool equal) {
  switch (other.kind) {
  case ValueKind::Node:
  case ValueKind::NodeSet:
  case ValueKind::TreeFragment:
    return equal ? someStringsEqual(set, other) : someStringsDiffer(set, other);
  case ValueKind::Boolean:
    return (!membersOf(set).empty() == other.flag) == equal;
  case ValueKind::Number:
    for (Node* node : membersOf(set)) {
      double number = parseNumber(node->stringValue().view());
      if (equal ? number == other.number : number != other.number)
        return true;
    }
    return false;
  case ValueKind::String:
    for (Node* node : membersOf(set)) {
      if (sameText(node->stringValue(), other.text) == equal)
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
  if (left.kind == ValueKind::Boolean || right.kind == ValueKind::Boolean)
    return (booleanOf(left) == booleanOf(right)) == equal;
  if (left.kind == ValueKind::Number || right.kind == ValueKind::Number) {
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

// Some pair (left member, right member) satisfies op: enough to compare the extreme
// numbers of each side, NaN members never satisfying anything.
bool someNumbersCompare(const Value& left, const Value& right, TokenKind op) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  double leftMin = kInfinity, leftMax = -kInfinity, rightMin = kInfinity, rightMax = -kInfinity;
  bool leftAny = false, rightAny = false;
  for (double number : memberNumbers(left)) {
    if (std::isnan(number))
      continue;
    leftAny = true;
    leftMin = std::min(leftMin, number);
    leftMax = std::max(leftMax, number);
  }
  for (double number : memberNumbers(right)) {
    if (std::isnan(number))
      continue;
    rightAny = true;
    rightMin = std::min(rightMin, number);
    rightMax = std::max(rightMax, number);
  }
  if (!leftAny || !rightAny)
    return false;
  bool lessward = op == TokenKind::Less || op == TokenKind::LessOrEqual;
  return lessward ? compareNumbers(leftMin, rightMax, op) : compareNumbers(leftMax, rightMin, op);
}

bool someMemberCompares(const Value& set, double number, TokenKind op) {
  for (Node* node : membersOf(set)) {
    if (compareNumbers(parseNumber(node->stringValue().view()), number, op))
      return true;
  }
  return false;
}

}  // namespace

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
  switch (right.kind) {
  case ValueKind::Node:
  case ValueKind::NodeSet:
  case ValueKind::TreeFragment:
    return someNumbersCompare(left, right, op);
  case ValueKind::Boolean:
    return compareNumbers(membersOf(left).empty() ? 0 : 1, right.flag ? 1 : 0, op);
  case ValueKind::Number:
    return someMemberCompares(left, right.number, op);
  case ValueKind::String:
    return someMemberCompares(left, parseNumber(right.text.view()), op);
  case ValueKind::None:
    return compareNumbers(numberOf(left), numberOf(right), op);
  }
  assert(false && "unknown value kind");
  return false;
}

}  // namespace ovra
