#include "xpath/runtime/axis_iterators.h"

#include "tree/node.h"

#include <cassert>
#include <new>

namespace ovra {

AxisIterator::~AxisIterator() = default;

void AxisIterator::reset(Node* start) {
  cursor_ = start_ = start;
  started_ = false;
}

bool mayContainName(Node* node, NameMask mask) {
  if (mask == kAllNames)
    return true;
  if (!node->isComplete())
    return true;
  return (node->nameFilter() & mask) != 0;
}

namespace {

// ---- Axes that stay on the ancestor line ----

class AncestorIterator : public AxisIterator {
 public:
  Node* next() override {
    if (cursor_ != nullptr)
      cursor_ = cursor_->parent();
    return cursor_;
  }
  bool isReverseAxis() const override { return true; }
};

class AncestorOrSelfIterator : public AxisIterator {
 public:
  Node* next() override {
    if (cursor_ != nullptr && started_)
      cursor_ = cursor_->parent();
    started_ = true;
    return cursor_;
  }
  bool isReverseAxis() const override { return true; }
};

class ParentIterator : public AxisIterator {
 public:
  Node* next() override {
    if (cursor_ != nullptr)
      cursor_ = started_ ? nullptr : cursor_->parent();
    started_ = true;
    return cursor_;
  }
  bool isReverseAxis() const override { return true; }
};

class SelfIterator : public AxisIterator {
 public:
  Node* next() override {
    if (started_)
      cursor_ = nullptr;
    started_ = true;
    return cursor_;
  }
};

// ---- Attribute and namespace lists ----

class AttributeIterator : public AxisIterator {
 public:
  Node* next() override {
    if (cursor_ == nullptr)
      return nullptr;
    cursor_ = started_ ? cursor_->rawNextSibling() : cursor_->firstAttribute();
    started_ = true;
    return cursor_;
  }
};

// The element's own namespace nodes, one per prefix in scope, in document order. Only
// elements have namespace nodes.
class NamespaceIterator : public AxisIterator {
 public:
  void reset(Node* start) override {
    AxisIterator::reset(start != nullptr && start->kind() == NodeKind::Element ? start : nullptr);
  }
  Node* next() override {
    if (cursor_ == nullptr)
      return nullptr;
    cursor_ = started_ ? cursor_->rawNextSibling()
                       : static_cast<ElementNode*>(cursor_)->firstNamespaceNode();
    started_ = true;
    return cursor_;
  }
};

// ---- Children and siblings ----

class ChildIterator : public AxisIterator {
 public:
  Node* next() override { return nextChild(); }
  bool isSubtreeAxis() const override { return true; }
};

class FollowingSiblingIterator : public AxisIterator {
 public:
  void reset(Node* start) override {
    AxisIterator::reset(start != nullptr && start->isChildKind() ? start : nullptr);
  }
  Node* next() override {
    if (cursor_ != nullptr)
      cursor_ = cursor_->nextSibling();
    return cursor_;
  }
};

class PrecedingSiblingIterator : public AxisIterator {
 public:
  void reset(Node* start) override {
    AxisIterator::reset(start != nullptr && start->isChildKind() ? start : nullptr);
  }
  Node* next() override {
    if (cursor_ != nullptr)
      cursor_ = cursor_->previousSibling();
    return cursor_;
  }
  bool isReverseAxis() const override { return true; }
};

// ---- Descendants ----

// Preorder walk below start. Subtrees whose name filter cannot hold a wanted name are
// skipped whole; nothing recurses, so depth is unbounded.
class DescendantIterator : public AxisIterator {
 public:
  Node* next() override {
    if (cursor_ == nullptr)
      return nullptr;
    if (!started_) {
      started_ = true;
      return cursor_ = firstWanted(start_->firstChild());
    }
    return cursor_ = advance(cursor_);
  }
  bool isSubtreeAxis() const override { return true; }

 protected:
  // node or its first following sibling that may hold the name.
  Node* firstWanted(Node* node) {
    while (node != nullptr && !mayContainName(node, nameMask_))
      node = node->nextSibling();
    return node;
  }

  Node* advance(Node* node) {
    if (node->kind() == NodeKind::Element || node->kind() == NodeKind::Root) {
      if (Node* child = firstWanted(node->firstChild()))
        return child;
    }
    while (node != start_) {
      if (Node* sibling = firstWanted(node->nextSibling()))
        return sibling;
      node = node->parent();
      assert(node != nullptr && "descendant walk left its subtree");
    }
    return nullptr;
  }
};

class DescendantOrSelfIterator : public DescendantIterator {
 public:
  Node* next() override {
    if (cursor_ == nullptr)
      return nullptr;
    if (!selfDone_) {
      selfDone_ = true;
      return cursor_;
    }
    return DescendantIterator::next();
  }
  void reset(Node* start) override {
    DescendantIterator::reset(start);
    selfDone_ = false;
  }

 private:
  bool selfDone_ = false;
};

// ---- Following and preceding ----

// Everything after start in document order but its descendants; for an attribute or
// namespace node that includes its element's content.
class FollowingIterator : public AxisIterator {
 public:
  Node* next() override {
    if (cursor_ == nullptr)
      return nullptr;
    if (!started_) {
      started_ = true;
      Node* start = cursor_;
      if (!start->isChildKind() && start->kind() != NodeKind::Root) {
        start = start->parent();
        if (start == nullptr)
          return cursor_ = nullptr;
        if (Node* child = start->firstChild())
          return cursor_ = child;
      }
      return cursor_ = climb(start);
    }
    if (Node* child = cursor_->firstChild())
      return cursor_ = child;
    return cursor_ = climb(cursor_);
  }

 private:
  static Node* climb(Node* node) {
    for (; node != nullptr; node = node->parent()) {
      if (node->kind() == NodeKind::Root)
        return nullptr;
      if (Node* sibling = node->nextSibling())
        return sibling;
    }
    return nullptr;
  }
};

// Everything before start in reverse document order, ancestors excluded: the deepest
// last descendant of the previous sibling first, climbing back towards it.
class PrecedingIterator : public AxisIterator {
 public:
  Node* next() override {
    if (cursor_ == nullptr)
      return nullptr;
    if (!started_) {
      started_ = true;
      Node* start = cursor_;
      if (!start->isChildKind())
        start = start->kind() == NodeKind::Root ? nullptr : start->parent();
      if (start == nullptr)
        return cursor_ = nullptr;
      ancestor_ = start->parent();
      cursor_ = start;
    }
    Node* node = cursor_;
    for (;;) {
      if (Node* sibling = node->previousSibling()) {
        node = sibling;
        while (Node* last = node->lastChild())
          node = last;
        return cursor_ = node;
      }
      node = node->parent();
      if (node == nullptr || node->kind() == NodeKind::Root)
        return cursor_ = nullptr;
      if (node != ancestor_)
        return cursor_ = node;
      ancestor_ = node->parent();
    }
  }
  bool isReverseAxis() const override { return true; }

 private:
  Node* ancestor_ = nullptr;  // the nearest ancestor of start not yet climbed past
};

}  // namespace

bool isReverseAxis(TokenKind axis) {
  switch (axis) {
  case TokenKind::AxisAncestor:
  case TokenKind::AxisAncestorOrSelf:
  case TokenKind::AxisParent:
  case TokenKind::AxisPreceding:
  case TokenKind::AxisPrecedingSibling:
    return true;
  default:
    return false;
  }
}

bool isSubtreeAxis(TokenKind axis) {
  return axis == TokenKind::AxisChild || axis == TokenKind::AxisDescendant ||
         axis == TokenKind::AxisDescendantOrSelf;
}

namespace {

// On the heap when storage is null.
template <class Iterator>
AxisIterator* construct(AxisIteratorStorage* storage) {
  static_assert(sizeof(Iterator) <= AxisIteratorStorage::kBytes);
  static_assert(alignof(Iterator) <= alignof(AxisIteratorStorage));
  if (storage == nullptr)
    return new Iterator();
  return ::new (static_cast<void*>(storage->bytes)) Iterator();
}

AxisIterator* create(TokenKind axis, AxisIteratorStorage* storage) {
  switch (axis) {
  case TokenKind::AxisAncestor:
    return construct<AncestorIterator>(storage);
  case TokenKind::AxisAncestorOrSelf:
    return construct<AncestorOrSelfIterator>(storage);
  case TokenKind::AxisAttribute:
    return construct<AttributeIterator>(storage);
  case TokenKind::AxisChild:
    return construct<ChildIterator>(storage);
  case TokenKind::AxisDescendant:
    return construct<DescendantIterator>(storage);
  case TokenKind::AxisDescendantOrSelf:
    return construct<DescendantOrSelfIterator>(storage);
  case TokenKind::AxisFollowing:
    return construct<FollowingIterator>(storage);
  case TokenKind::AxisFollowingSibling:
    return construct<FollowingSiblingIterator>(storage);
  case TokenKind::AxisNamespace:
    return construct<NamespaceIterator>(storage);
  case TokenKind::AxisParent:
    return construct<ParentIterator>(storage);
  case TokenKind::AxisPreceding:
    return construct<PrecedingIterator>(storage);
  case TokenKind::AxisPrecedingSibling:
    return construct<PrecedingSiblingIterator>(storage);
  case TokenKind::AxisSelf:
    return construct<SelfIterator>(storage);
  default:
    assert(false && "not an axis code");
    return construct<SelfIterator>(storage);
  }
}

}  // namespace

std::unique_ptr<AxisIterator> makeAxisIterator(TokenKind axis, Node* start) {
  std::unique_ptr<AxisIterator> iterator(create(axis, nullptr));
  iterator->reset(start);
  return iterator;
}

AxisIterator* makeAxisIteratorIn(TokenKind axis, AxisIteratorStorage& storage) {
  return create(axis, &storage);
}

}  // namespace ovra
