// The result record of every XPath evaluation: one of seven kinds, the in-place
// conversions between them, writing to an Output, and the comparison operators.
#pragma once

#include "base/string.h"
#include "xpath/token.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace ovra {

class Node;
class Output;

enum class ValueKind : std::uint32_t {
  None = 0,          // no value; as a pulled item it ends a sequence
  Node = 1,          // one node, in node
  NodeSet = 2,       // nodes, in document order without duplicates
  TreeFragment = 3,  // node is the root of a result tree fragment
  Number = 4,
  Boolean = 5,
  String = 6,
};

// Owns its array, never the nodes.
using NodeVector = std::vector<Node*>;

// A movable value type. Fields the kind does not use stay empty; conversions set only
// the field of the new kind and the kind code.
struct Value {
  double number = 0;
  Node* node = nullptr;
  NodeVector nodes;
  String text;
  bool flag = false;
  ValueKind kind = ValueKind::None;
  // Keeps a tree fragment's tree alive while any copy of the value exists.
  std::shared_ptr<Node> fragment;

  Value() = default;
  explicit Value(ValueKind emptyOfKind) : kind(emptyOfKind) {}

  static Value makeNumber(double number);
  static Value makeBoolean(bool flag);
  static Value makeString(String text);
  static Value makeNode(Node* node);
  static Value makeNodeSet(NodeVector nodes);
  // Takes ownership of a heap result tree rooted at root.
  static Value makeFragment(std::shared_ptr<Node> root);

  bool isNone() const { return kind == ValueKind::None; }
};

// In-place conversions.
void toStringValue(Value& value);
void toNumberValue(Value& value);
void toBooleanValue(Value& value);

// Copies converted to one scalar kind, for callers that keep the original.
String stringOf(const Value& value);
// The string value of value without a copy when it is a string already; any other kind
// is converted into scratch. Valid while both live.
std::string_view stringView(const Value& value, String& scratch);
double numberOf(const Value& value);
bool booleanOf(const Value& value);

// Writes the string form of value to out without building it first.
void writeValue(const Value& value, Output& out);

// The operators = and != (each its own routine, not the other's negation), and the
// relational operators (op is Less, LessOrEqual, Greater or GreaterOrEqual). A single
// node and a tree fragment compare like a node-set holding that one node.
bool equalValues(const Value& left, const Value& right);
bool notEqualValues(const Value& left, const Value& right);
bool compareValues(const Value& left, const Value& right, TokenKind op);
// The relational operator that asks the same with the operands swapped (< becomes >).
TokenKind mirror(TokenKind op);

}  // namespace ovra
