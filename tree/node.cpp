#include "tree/node.h"

#include "base/output.h"
#include "tree/document.h"
#include "tree/name_pool.h"
#include "tree/text_buffer.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <vector>

namespace ovra {

namespace {
// Threads take serials in blocks, so that trees built at the same time on several
// threads do not contend for one counter; within a thread, and so within a tree (which
// one thread builds), serials still rise in creation order.
constexpr std::uint32_t kSerialBlock = 4096;
std::atomic<std::uint32_t> nextSerialBlock{0};
thread_local std::uint32_t threadSerial = 0;
thread_local std::uint32_t threadSerialEnd = 0;

char* copyToHeap(std::string_view text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

StringRef xmlPrefix() {
  static const StringRef name = intern("xml");
  return name;
}
}  // namespace

std::uint32_t takeNodeSerial() {
  if (threadSerial == threadSerialEnd) {
    threadSerial = nextSerialBlock.fetch_add(kSerialBlock, std::memory_order_relaxed);
    threadSerialEnd = threadSerial + kSerialBlock;
  }
  return threadSerial++;
}

// A namespace node sorts as its element, then among that element's namespace nodes.
bool precedesAmongNamespaces(const Node* a, const Node* b) {
  auto key = [](const Node* node) {
    std::uint32_t serial = node->serial();
    if (node->kind() != NodeKind::Namespace)
      return std::tuple(serial, 0, serial);
    const Node* element = node->parent();
    return std::tuple(element != nullptr ? element->serial() : serial, 1, serial);
  };
  return key(a) < key(b);
}

Attachment::~Attachment() = default;

// ---- Node ----

Node::Node(NodeKind kind) : serial_(takeNodeSerial()), kind_(kind) {}

Node::~Node() = default;

Document* Node::document() const {
  const Node* node = this;
  while (node->parent_ != nullptr)
    node = node->parent_;
  return node == this ? nullptr : node->document();
}

Node* Node::root() {
  Node* node = this;
  while (node->parent_ != nullptr)
    node = node->parent_;
  return node;
}

Node* Node::firstChild() {
  return nullptr;
}

Node* Node::lastChild() {
  return nullptr;
}

void Node::appendChild(Node*) {}
void Node::appendNamespace(Node*) {}
void Node::appendAttribute(Node*) {}

Node* Node::readNextSibling() {
  // Attribute and namespace lists are complete from the start.
  if (!isChildKind())
    return next_;
  while (next_ == nullptr && parent_ != nullptr && !parent_->isComplete()) {
    Document* document = parent_->document();
    if (document == nullptr || !document->parseChunk())
      break;
  }
  return next_;
}

StringRef Node::localName() const {
  return emptyName();
}

StringRef Node::namespaceURI() const {
  return emptyName();
}

StringRef Node::prefix() const {
  return emptyName();
}

String Node::expandedName() const {
  String result(namespaceURI());
  result.append("/");
  result.append(localName());
  return result;
}

String Node::stringValue() const {
  TextBuffer buffer;
  writeStringValue(buffer);
  return buffer.toString();
}

std::string_view stringValueView(Node* node, String& scratch) {
  switch (node->kind()) {
  case NodeKind::Text:
  case NodeKind::Comment:
    return static_cast<CharacterNode*>(node)->textView();
  case NodeKind::Attribute: {
    const char* value = static_cast<AttributeNode*>(node)->value();
    return value != nullptr ? std::string_view(value) : std::string_view();
  }
  case NodeKind::Namespace:
    return node->namespaceURI().view();
  case NodeKind::ProcessingInstruction: {
    const char* data = static_cast<ProcessingInstructionNode*>(node)->data();
    return data != nullptr ? std::string_view(data) : std::string_view();
  }
  case NodeKind::Element:
  case NodeKind::Root: {
    Node* child = node->firstChild();
    if (child == nullptr)
      return {};
    if (child->kind() == NodeKind::Text && child->nextSibling() == nullptr)
      return static_cast<CharacterNode*>(child)->textView();
    break;
  }
  }
  scratch = node->stringValue();
  return scratch.view();
}

String Node::deepStringValue() const {
  TextBuffer buffer;
  writeDeepStringValue(buffer);
  return buffer.toString();
}

void Node::writeDeepStringValue(Output& out) const {
  writeStringValue(out);
}

std::int32_t Node::lineNumber() const {
  return parent_ ? parent_->lineNumber() : 0;
}

NameMask Node::nameFilter() {
  return localName().bit();
}

// ---- Tree walks ----

// Writes the text of every text node below first, in document order, without recursion
// (input depth is unbounded). Only used on complete subtrees or ones that may parse.
static void writeDescendantText(Node* parent, Output& out) {
  Node* node = parent->firstChild();
  while (node != nullptr) {
    if (node->kind() == NodeKind::Text) {
      node->writeStringValue(out);
    } else if (node->kind() == NodeKind::Element) {
      if (Node* child = node->firstChild()) {
        node = child;
        continue;
      }
    }
    while (node != parent) {
      if (Node* next = node->nextSibling()) {
        node = next;
        break;
      }
      node = node->parent();
    }
    if (node == parent)
      break;
  }
}

// The deep string value of top, written without recursion (input nesting is unbounded):
// an element writes its attribute values, then its namespace names, then its children's
// deep values; a root only its children's; any other node its own string value.
// Navigation parses on demand, so a lazily read subtree is written in full.
static void writeDeepText(const Node* top, Output& out) {
  Node* node = const_cast<Node*>(top);
  for (;;) {
    NodeKind kind = node->kind();
    if (kind == NodeKind::Element) {
      for (Node* attribute = node->firstAttribute(); attribute != nullptr;
           attribute = attribute->rawNextSibling())
        attribute->writeStringValue(out);
      for (Node* ns = node->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling())
        ns->writeStringValue(out);
    } else if (kind != NodeKind::Root) {
      node->writeStringValue(out);
    }
    // Only roots and elements have children.
    node = nextInDocumentOrder(node, const_cast<Node*>(top));
    if (node == nullptr)
      return;
  }
}

// ---- NodeList ----

void NodeList::append(Node* owner, Node* node) {
  node->parent_ = owner;
  node->next_ = nullptr;
  node->previous_ = last_;
  if (last_ == nullptr)
    first_ = node;
  else
    last_->next_ = node;
  last_ = node;
}

void NodeList::remove(Node* node) {
  if (node->previous_)
    node->previous_->next_ = node->next_;
  else
    first_ = node->next_;
  if (node->next_)
    node->next_->previous_ = node->previous_;
  else
    last_ = node->previous_;
  node->next_ = node->previous_ = nullptr;
}

void NodeList::deleteAll() {
  // Deleting an element deletes its children in turn; on a deep result tree that would
  // recurse once per level. Instead each element's children are spliced into this
  // worklist before the element goes, so the destructors below never find a child.
  Node* work = first_;
  first_ = last_ = nullptr;
  while (work != nullptr) {
    Node* node = work;
    work = node->next_;
    if (node->kind_ == NodeKind::Element) {
      NodeList& children = static_cast<ElementNode*>(node)->children();
      if (children.last_ != nullptr) {
        children.last_->next_ = work;
        work = children.first_;
        children.first_ = children.last_ = nullptr;
      }
    }
    delete node;
  }
}

void NodeList::writeDeepStringValue(Output& out) const {
  for (Node* node = first_; node != nullptr; node = node->next_)
    writeDeepText(node, out);
}

NameMask NodeList::nameFilter() const {
  NameMask filter = 0;
  for (Node* node = first_; node != nullptr; node = node->next_)
    filter |= node->nameFilter();
  return filter;
}

// ---- RootNode ----

RootNode::RootNode(Document* document)
    : Node(NodeKind::Root), document_(document), xmlNamespace_(xmlPrefix(), xmlNamespaceName()) {
  xmlNamespaces_.append(this, &xmlNamespace_);
}

RootNode::~RootNode() {
  children_.deleteAll();
}

bool RootNode::isComplete() const {
  return document_ == nullptr || document_->isFinished();
}

Node* RootNode::firstChild() {
  while (children_.empty() && document_ != nullptr && !document_->isFinished()) {
    if (!document_->parseChunk())
      break;
  }
  return children_.first();
}

Node* RootNode::lastChild() {
  while (document_ != nullptr && !document_->isFinished()) {
    if (!document_->parseChunk())
      break;
  }
  return children_.last();
}

void RootNode::appendChild(Node* node) {
  children_.append(this, node);
}

void RootNode::writeStringValue(Output& out) const {
  writeDescendantText(const_cast<RootNode*>(this), out);
}

void RootNode::writeDeepStringValue(Output& out) const {
  writeDeepText(this, out);
}

Node* RootNode::clone() const {
  return new RootNode(nullptr);
}

// ---- ElementNode ----

// The same expanded name with another prefix; most names keep theirs, without a lookup.
static const QualifiedName* withPrefix(const QualifiedName* name, StringRef prefix) {
  if (name->prefix == prefix)
    return name;
  return internQualified(name->namespaceURI, name->localName, prefix);
}

static const QualifiedName* withNamespaceURI(const QualifiedName* name, StringRef uri) {
  if (name->namespaceURI == uri)
    return name;
  return internQualified(uri, name->localName, name->prefix);
}

void Node::setInstruction(Attachment* instruction) {
  if (kind_ == NodeKind::Element)
    static_cast<ElementNode*>(this)->instruction_ = instruction;
  else if (kind_ == NodeKind::Attribute)
    static_cast<AttributeNode*>(this)->instruction_ = instruction;
  else
    assert(instruction == nullptr);
}

ElementNode::ElementNode(StringRef namespaceURI, StringRef localName, StringRef prefix,
                         std::int32_t line, bool complete)
    : Node(NodeKind::Element), name_(internQualified(namespaceURI, localName, prefix)), line_(line),
      complete_(complete) {}

void ElementNode::rename(StringRef prefix) {
  name_ = internQualified(name_->namespaceURI, name_->localName, prefix);
}

void ElementNode::setNamespaceURI(StringRef uri) {
  name_ = withNamespaceURI(name_, uri);
}

// ---- Namespace nodes of an element ----

// Where an element's namespace nodes are. A file-backed tree keeps them in its Document's
// arena, like its other nodes; a heap tree's element owns its scope and its nodes.
struct NamespaceScope {
  NodeArena* arena;
  Node* first;
};

ElementNode::~ElementNode() {
  children_.deleteAll();
  attributes_.deleteAll();
  NodeList(firstDeclaration_, nullptr).deleteAll();
  if (hasScope_ && scope_->arena == nullptr) {
    NodeList(scope_->first, nullptr).deleteAll();
    delete scope_;
  }
}

namespace {

bool declaresPrefix(const Node* first, StringRef prefix) {
  for (const Node* node = first; node != nullptr; node = node->rawNextSibling()) {
    if (node->localName() == prefix)
      return true;
  }
  return false;
}

// The namespace nodes of element, given those of its parent element (null: it has none).
// The order is xsltproc's: the xml prefix first, then what the parent has and element
// does not redeclare, then element's own declarations, last declared first.
NamespaceScope* makeScope(ElementNode* element, const Node* inherited, NodeArena* arena) {
  NodeList nodes;
  auto add = [&](StringRef prefix, StringRef uri) {
    auto* node =
        arena != nullptr ? arena->make<NamespaceNode>(prefix, uri) : new NamespaceNode(prefix, uri);
    nodes.append(element, node);
  };
  add(xmlPrefix(), xmlNamespaceName());
  Node* declarations = element->firstNamespace();
  if (inherited != nullptr) {
    for (const Node* node = inherited->rawNextSibling(); node != nullptr;
         node = node->rawNextSibling()) {
      // xmlns="" counts as a declaration here: it takes the default namespace away.
      if (!declaresPrefix(declarations, node->localName()))
        add(node->localName(), node->namespaceURI());
    }
  }
  std::vector<const Node*> own;
  for (const Node* declaration = declarations; declaration != nullptr;
       declaration = declaration->rawNextSibling()) {
    // A tree built in memory may repeat a prefix; the first declaration holds.
    bool repeated = std::any_of(own.begin(), own.end(), [&](const Node* earlier) {
      return earlier->localName() == declaration->localName();
    });
    if (!declaration->namespaceURI().empty() && !repeated &&
        !(declaration->localName() == xmlPrefix()))
      own.push_back(declaration);
  }
  for (auto it = own.rbegin(); it != own.rend(); ++it)
    add((*it)->localName(), (*it)->namespaceURI());
  NamespaceScope scope{arena, nodes.first()};
  return arena != nullptr ? arena->make<NamespaceScope>(scope) : new NamespaceScope(scope);
}

}  // namespace

Node* ElementNode::firstNamespaceNode() {
  if (hasScope_)
    return scope_->first;
  // Each element's nodes are made from its parent's: climb to the nearest ancestor that
  // has them (or the top), then make them on the way down. Every element on the way
  // keeps its nodes, so no climb passes an element twice.
  std::vector<ElementNode*> pending;
  Node* above = this;
  while (above != nullptr && above->kind() == NodeKind::Element &&
         !static_cast<ElementNode*>(above)->hasScope_) {
    pending.push_back(static_cast<ElementNode*>(above));
    above = above->parent();
  }
  NodeArena* arena = nullptr;
  const Node* inherited = nullptr;
  if (above != nullptr && above->kind() == NodeKind::Element) {
    const NamespaceScope* scope = static_cast<ElementNode*>(above)->scope_;
    arena = scope->arena;
    inherited = scope->first;
  } else if (above != nullptr && above->document() != nullptr) {
    arena = &above->document()->arena();
  }
  for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
    ElementNode* element = *it;
    NamespaceScope* scope = makeScope(element, inherited, arena);
    element->scope_ = scope;
    element->hasScope_ = true;
    inherited = scope->first;
  }
  return scope_->first;
}

void ElementNode::ensureComplete() {
  while (!complete_) {
    Document* owner = document();
    if (owner == nullptr || !owner->parseChunk())
      break;
  }
}

// Reads only until a first child exists: a query that wants the start of a large element
// need not read the rest of it.
Node* ElementNode::firstChild() {
  while (children_.empty() && !complete_) {
    Document* owner = document();
    if (owner == nullptr || !owner->parseChunk())
      break;
  }
  return children_.first();
}

Node* ElementNode::lastChild() {
  ensureComplete();
  return children_.last();
}

void ElementNode::appendChild(Node* node) {
  children_.append(this, node);
}

void ElementNode::appendNamespace(Node* node) {
  Node* last = lastDeclaration_;
  if (hasScope_) {
    // Only a tree built in memory gains declarations after its namespace nodes were
    // made; they are not made again.
    for (last = firstDeclaration_; last != nullptr && last->rawNextSibling() != nullptr;)
      last = last->rawNextSibling();
  }
  NodeList declarations(firstDeclaration_, last);
  declarations.append(this, node);
  firstDeclaration_ = declarations.first();
  if (!hasScope_)
    lastDeclaration_ = declarations.last();
}

void ElementNode::appendAttribute(Node* node) {
  attributes_.append(this, node);
}

void ElementNode::writeStringValue(Output& out) const {
  writeDescendantText(const_cast<ElementNode*>(this), out);
}

void ElementNode::writeDeepStringValue(Output& out) const {
  writeDeepText(this, out);
}

void ElementNode::markComplete() {
  complete_ = true;
  nameFilter_ = children_.nameFilter() | NodeList(firstDeclaration_, nullptr).nameFilter() |
                attributes_.nameFilter();
  filterKnown_ = true;
}

NameMask ElementNode::nameFilter() {
  ensureComplete();
  // An element built in memory (clone, instructions) gets children after it is made and
  // never passes through markComplete, and a file element cut short by a parse error
  // never sees its end tag: neither may ever rule a name out.
  if (!filterKnown_)
    return kAllNames;
  return name_->localName.bit() | nameFilter_;
}

Node* ElementNode::clone() const {
  return new ElementNode(withPrefix(name_, emptyName()));
}

// ---- AttributeNode ----

AttributeNode::AttributeNode(StringRef namespaceURI, StringRef prefix, StringRef localName,
                             const char* value)
    : AttributeNode(internQualified(namespaceURI, localName, prefix), value) {}

AttributeNode::AttributeNode(const QualifiedName* name, const char* value)
    : Node(NodeKind::Attribute), name_(name), value_(value) {}

void AttributeNode::setPrefix(StringRef prefix) {
  name_ = withPrefix(name_, prefix);
}

void AttributeNode::setNamespaceURI(StringRef uri) {
  name_ = withNamespaceURI(name_, uri);
}

AttributeNode::~AttributeNode() {
  if (ownsText_)
    std::free(const_cast<char*>(value_));
}

AttributeNode* AttributeNode::makeOwned(StringRef namespaceURI, StringRef prefix,
                                        StringRef localName, std::string_view value) {
  return makeOwned(internQualified(namespaceURI, localName, prefix), value);
}

AttributeNode* AttributeNode::makeOwned(const QualifiedName* name, std::string_view value) {
  auto* node = new AttributeNode(name, copyToHeap(value));
  node->ownsText_ = true;
  return node;
}

void AttributeNode::writeStringValue(Output& out) const {
  out.write(value_);
}

Node* AttributeNode::clone() const {
  const QualifiedName* name = withPrefix(name_, emptyName());
  if (ownsText_)
    return makeOwned(name, value_);
  return new AttributeNode(name, value_);
}

// ---- Text and comments ----

CharacterNode::~CharacterNode() {
  if (ownsText_)
    std::free(const_cast<char*>(text_));
}

void CharacterNode::setOwnedText(std::string_view text) {
  if (ownsText_)
    std::free(const_cast<char*>(text_));
  text_ = copyToHeap(text);
  length_ = text.size();
  ownsText_ = true;
}

void CharacterNode::writeStringValue(Output& out) const {
  out.write(text_, length_);
}

TextNode* TextNode::makeOwned(std::string_view text) {
  auto* node = new TextNode(nullptr, 0);
  node->setOwnedText(text);
  return node;
}

Node* TextNode::clone() const {
  // A clone may outlive the tree it came from (a variable holding a copy), so it owns
  // its text whenever the original did.
  TextNode* copy = makeOwned(textView());
  copy->setEscapingDisabled(isEscapingDisabled());
  return copy;
}

CommentNode* CommentNode::makeOwned(std::string_view text) {
  auto* node = new CommentNode(nullptr, 0);
  node->setOwnedText(text);
  return node;
}

Node* CommentNode::clone() const {
  return makeOwned(textView());
}

// ---- Namespace nodes ----

NamespaceNode::NamespaceNode(StringRef prefix, StringRef namespaceURI)
    : Node(NodeKind::Namespace), prefix_(prefix), namespaceURI_(namespaceURI) {}

void NamespaceNode::writeStringValue(Output& out) const {
  out.write(namespaceURI_.c_str());
}

Node* NamespaceNode::clone() const {
  return new NamespaceNode(prefix_, namespaceURI_);
}

// ---- Processing instructions ----

ProcessingInstructionNode::ProcessingInstructionNode(const char* target, const char* data)
    : Node(NodeKind::ProcessingInstruction), target_(target), data_(data) {}

ProcessingInstructionNode::~ProcessingInstructionNode() {
  if (ownsText_) {
    std::free(const_cast<char*>(target_));
    std::free(const_cast<char*>(data_));
  }
}

ProcessingInstructionNode* ProcessingInstructionNode::makeOwned(std::string_view target,
                                                                std::string_view data) {
  auto* node = new ProcessingInstructionNode(copyToHeap(target), copyToHeap(data));
  node->ownsText_ = true;
  return node;
}

void ProcessingInstructionNode::writeStringValue(Output& out) const {
  out.write(data_);
}

Node* ProcessingInstructionNode::clone() const {
  return makeOwned(target_, data_);
}

}  // namespace ovra
