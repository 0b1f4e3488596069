// The thirteen XPath axes, each walked from a start node one node per next() call by
// following node links, without allocating. Forward axes hand out document order;
// reverse axes hand out proximity order (nearest first), which is what their
// positional predicates count in.
#pragma once

#include "base/string.h"
#include "tree/node.h"
#include "xpath/runtime/token.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace ovra {

// Calling order: reset(start), then next() until it returns null; one iterator serves
// every context node of its step.
class AxisIterator {
 public:
  AxisIterator() = default;
  AxisIterator(const AxisIterator&) = delete;
  AxisIterator& operator=(const AxisIterator&) = delete;
  virtual ~AxisIterator();

  // The next node of the axis, or null once exhausted (and null ever after).
  virtual Node* next() = 0;
  // A null start gives an empty axis.
  virtual void reset(Node* start);
  // Child, descendant and descendant-or-self: everything they yield lies below start.
  virtual bool isSubtreeAxis() const { return false; }
  // Ancestor, ancestor-or-self, parent, preceding, preceding-sibling.
  virtual bool isReverseAxis() const { return false; }

  // The child axis's next() without the virtual call: a path step asks it for every
  // child of every context node. Only for an iterator of the child axis.
  Node* nextChild() {
    if (cursor_ == nullptr)
      return nullptr;
    cursor_ = started_ ? cursor_->nextSibling() : cursor_->firstChild();
    started_ = true;
    return cursor_;
  }

  // Descendant axes skip a subtree only when its nameFilter shares no bit with this mask
  // (it cannot hold the wanted name); the node test still checks each node.
  void setNameMask(NameMask mask) { nameMask_ = mask; }
  NameMask nameMask() const { return nameMask_; }

 protected:
  Node* cursor_ = nullptr;         // last node handed out; null once exhausted
  Node* start_ = nullptr;          // not owned; lives as long as its tree
  NameMask nameMask_ = kAllNames;  // all ones: prune nothing
  bool started_ = false;           // the first call has been made
};

// axis is one of the codes AxisAncestor to AxisSelf.
std::unique_ptr<AxisIterator> makeAxisIterator(TokenKind axis, Node* start = nullptr);

// Room for any one axis iterator: a step evaluated for every node of a large document
// makes its iterator here rather than on the heap.
struct AxisIteratorStorage {
  static constexpr std::size_t kBytes = 64;
  alignas(8) std::byte bytes[kBytes];
};
// The iterator for axis, made in storage with an empty axis; the caller ends it with
// ~AxisIterator() before storage goes away.
AxisIterator* makeAxisIteratorIn(TokenKind axis, AxisIteratorStorage& storage);

bool isReverseAxis(TokenKind axis);
bool isSubtreeAxis(TokenKind axis);

// True when node may hold a node whose name has one of the mask's bits. Incomplete
// elements answer true: their filter is not known until their end tag has been read,
// and asking would parse the rest of them.
bool mayContainName(Node* node, NameMask mask);

}  // namespace ovra
