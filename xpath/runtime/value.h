// The result record of every XPath evaluation: a node-set, boolean, number or string, or a
// result tree fragment; the conversions between them, writing to an Output, and the
// comparison operators.
#pragma once

#include "base/string.h"
#include "xpath/runtime/token.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>

namespace ovra {

class Node;
class Output;

enum class ValueKind : std::uint8_t {
  None = 0,          // no value
  NodeSet = 2,       // nodes, in document order without duplicates; one node is a set of one
  TreeFragment = 3,  // a result tree fragment: the root of a heap tree the value keeps
  Number = 4,
  Boolean = 5,
  String = 6,
};

// The members of a node-set: a vector with room for one node inline, so that a single
// node, the commonest result, allocates nothing. Owns its array, never the nodes. The
// std::vector operations the engine uses, on plain pointers as iterators.
class NodeVector {
 public:
  using value_type = Node*;
  using iterator = Node**;
  using const_iterator = Node* const*;

  NodeVector() noexcept : one_(nullptr) {}
  NodeVector(std::initializer_list<Node*> nodes);
  // The nodes from first to last, any iterators over Node*.
  template <class Iterator>
  NodeVector(Iterator first, Iterator last) : NodeVector() {
    reserve(std::size_t(last - first));
    for (; first != last; ++first)
      push_back(*first);
  }
  NodeVector(const NodeVector& other);
  NodeVector(NodeVector&& other) noexcept
      : one_(other.one_), size_(other.size_), capacity_(other.capacity_) {
    other.size_ = 0;
    other.capacity_ = 1;
  }
  NodeVector& operator=(const NodeVector& other);
  NodeVector& operator=(NodeVector&& other) noexcept {
    if (this != &other) {
      release();
      one_ = other.one_;
      size_ = other.size_;
      capacity_ = other.capacity_;
      other.size_ = 0;
      other.capacity_ = 1;
    }
    return *this;
  }
  ~NodeVector() { release(); }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::size_t capacity() const { return capacity_; }
  Node** data() { return capacity_ > 1 ? heap_ : &one_; }
  Node* const* data() const { return capacity_ > 1 ? heap_ : &one_; }
  iterator begin() { return data(); }
  iterator end() { return data() + size_; }
  const_iterator begin() const { return data(); }
  const_iterator end() const { return data() + size_; }
  Node* operator[](std::size_t index) const { return data()[index]; }
  Node*& operator[](std::size_t index) { return data()[index]; }
  Node* front() const { return data()[0]; }
  Node* back() const { return data()[size_ - 1]; }

  void push_back(Node* node) {
    if (size_ == capacity_)
      grow(size_ + 1);
    data()[size_++] = node;
  }
  void pop_back() { --size_; }
  void reserve(std::size_t count) {
    if (count > capacity_)
      grow(count);
  }
  void clear() { size_ = 0; }
  // Only ever shrinks.
  void resize(std::size_t count) {
    if (count < size_)
      size_ = std::uint32_t(count);
  }
  iterator erase(const_iterator first, const_iterator last);
  friend bool operator==(const NodeVector& a, const NodeVector& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }
  iterator insert(const_iterator at, const_iterator first, const_iterator last);

 private:
  void grow(std::size_t atLeast);
  void release() {
    if (capacity_ > 1)
      delete[] heap_;
  }

  union {
    Node* one_;    // the inline slot, while capacity_ is 1
    Node** heap_;  // beyond that
  };
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = 1;
};

class TreeKeeper;

// The value of an XPath expression: a tagged union of its kinds. A number or a boolean
// allocates nothing, nor does a node-set of one node. The accessors assert the kind.
// A tree fragment keeps its heap tree alive, and so does a node-set made of the nodes of
// such a tree (exsl:node-set()), for as long as any copy of the value exists.
class Value {
 public:
  Value() noexcept : number_(0), kind_(ValueKind::None) {}
  // Numbers, booleans and None, the commonest, are copied inline.
  Value(const Value& other) : number_(0), kind_(ValueKind::None) {
    if (isScalar(other.kind_)) {
      number_ = other.number_;
      kind_ = other.kind_;
    } else {
      copyFrom(other);
    }
  }
  Value(Value&& other) noexcept { relocateFrom(other); }
  Value& operator=(const Value& other);
  Value& operator=(Value&& other) noexcept {
    if (this != &other) {
      if (!isScalar(kind_))
        destroy();
      relocateFrom(other);
    }
    return *this;
  }
  ~Value() {
    if (!isScalar(kind_))
      destroy();
  }

  static Value makeNumber(double number) {
    Value value;
    value.kind_ = ValueKind::Number;
    value.number_ = number;
    return value;
  }
  static Value makeBoolean(bool flag) {
    Value value;
    value.kind_ = ValueKind::Boolean;
    value.number_ = flag ? 1 : 0;
    return value;
  }
  static Value makeString(String text);
  // A node-set of node alone.
  static Value makeNode(Node* node);
  static Value makeNodeSet(NodeVector nodes);
  // Nodes of the heap tree whose root is tree, which the value keeps alive.
  static Value makeNodeSet(NodeVector nodes, std::shared_ptr<Node> tree);
  // Takes ownership of a heap result tree rooted at root.
  static Value makeFragment(std::shared_ptr<Node> root);

  ValueKind kind() const { return kind_; }
  bool isNone() const { return kind_ == ValueKind::None; }
  bool isNodeSet() const { return kind_ == ValueKind::NodeSet; }

  double number() const {
    assert(kind_ == ValueKind::Number && "not a number");
    return number_;
  }
  bool boolean() const {
    assert(kind_ == ValueKind::Boolean && "not a boolean");
    return number_ != 0;
  }
  const String& string() const {
    assert(kind_ == ValueKind::String && "not a string");
    return string_;
  }
  const NodeVector& nodes() const {
    assert(kind_ == ValueKind::NodeSet && "not a node-set");
    return nodes_.members;
  }
  // The members, moved out; the value is left an empty node-set.
  NodeVector takeNodes() {
    assert(kind_ == ValueKind::NodeSet && "not a node-set");
    return std::move(nodes_.members);
  }
  // The root of a tree fragment.
  Node* fragmentRoot() const;
  // The heap tree a tree fragment or node-set keeps alive; null when it keeps none.
  std::shared_ptr<Node> tree() const;
  // A node-set of nodes that keeps alive whatever tree this value keeps.
  Value nodeSetSharingTree(NodeVector nodes) const;

 private:
  // None, Number and Boolean, which hold nothing but number_.
  static bool isScalar(ValueKind kind) {
    return kind == ValueKind::Number || kind == ValueKind::Boolean || kind == ValueKind::None;
  }
  void destroy() noexcept;
  void copyFrom(const Value& other);
  // Takes over what other holds, leaving it None; this holds nothing. No kind's
  // representation points into its own Value (a NodeVector finds its inline slot anew on
  // every access), so a move is a copy of the words, whatever the kind.
  void relocateFrom(Value& other) noexcept {
    std::memcpy(static_cast<void*>(this), static_cast<const void*>(&other), sizeof(Value));
    other.number_ = 0;
    other.kind_ = ValueKind::None;
  }

  struct NodeSetData {
    NodeVector members;
    TreeKeeper* keeper;  // shared; null when the nodes need no tree kept
  };
  union {
    double number_;  // a boolean as 0 or 1
    String string_;
    NodeSetData nodes_;
    TreeKeeper* fragment_;  // shared, never null
  };
  ValueKind kind_;
};

static_assert(sizeof(NodeVector) == 16);
static_assert(sizeof(Value) <= 32, "a Value is at most four words");

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
// number() of the string value of node, read in place where it can be.
double numberOfNode(Node* node);

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
