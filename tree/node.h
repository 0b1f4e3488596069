// The node model shared by source documents, the stylesheet and result trees: the seven
// node kinds of XPath 1.0 section 5 behind one virtual interface.
//
// The pieces.
//   Node         parent, sibling links, a serial number and a kind; everything a
//                navigation needs. RootNode, ElementNode, AttributeNode, NamespaceNode,
//                TextNode, CommentNode and ProcessingInstructionNode add their data.
//   NodeList     a child, attribute or declaration list: the nodes chained by their
//                sibling links, first and last kept by the owner.
//   Names        elements and attributes hold one interned QualifiedName record (name
//                pool, name_pool.h); comparing names is comparing pointers.
//   Document     (document.h) owns a tree read from a file and the NodeArena its nodes
//                live in. Such trees are built lazily: the loader appends nodes one
//                buffer-full at a time, and navigation (firstChild, nextSibling,
//                lastChild) asks the Document to read on until it can answer.
//   Result trees the instructions build on the heap; each root and element deletes
//                the nodes of its lists.
//
// How data flows. The loader appends nodes in document order, so serial order is
// document order, with one exception: namespace nodes. An element's declarations
// (firstNamespace(): what the serializer and QName resolution read) are made before the
// element; its namespace nodes (firstNamespaceNode(): what XPath's namespace axis
// walks, one per prefix in scope, the element their parent) are made only when the axis
// is first walked, and kept with the tree. Either kind sorts with its element, after it
// and before its attributes: precedesInDocumentOrder knows this, a bare serial
// comparison does not.
//
// What must never be done.
//   - Put an arena node into a heap list, or a heap node under an arena parent: arena
//     nodes never run destructors (clone() makes a heap copy). For the same reason an
//     arena node holds nothing with a destructor: pointers, integers, interned names,
//     arena texts.
//   - Read rawNextSibling() or children() of an element that may still be loading and
//     take the answer as final: use the navigation calls, which read on.
//   - Recurse on the depth of a tree: source documents nest as deep as their authors
//     like. Walk with nextInDocumentOrder or an explicit stack.
//   - Compare serials to order namespace nodes (see above), or grow ElementNode: a
//     source tree has millions of them.
#pragma once

#include "base/string.h"
#include "tree/name_pool.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ovra {

class Document;
class Output;
class RootNode;
struct NamespaceScope;

// One bit each, so a node test is a mask.
// One byte, so that the node header has room for the flags of the node classes.
enum class NodeKind : std::uint8_t {
  Root = 1,
  Element = 2,
  Text = 4,
  Attribute = 8,
  Namespace = 16,
  Comment = 32,
  ProcessingInstruction = 64,
};

constexpr std::uint32_t kAnyNodeKind = 127;
constexpr std::uint32_t kChildNodeKinds =
    std::uint32_t(NodeKind::Element) | std::uint32_t(NodeKind::Text) |
    std::uint32_t(NodeKind::Comment) | std::uint32_t(NodeKind::ProcessingInstruction);

inline bool hasKind(std::uint32_t mask, NodeKind kind) {
  return (mask & std::uint32_t(kind)) != 0;
}

// The process-wide creation counter: document order across all trees is serial order.
// Safe from any thread; serials rise in creation order within one thread.
std::uint32_t takeNodeSerial();

// What the stylesheet compiler hangs on a stylesheet element (a compiled instruction).
// Arena nodes never run destructors, so whoever owns the Document deletes these.
class Attachment {
 public:
  Attachment() = default;
  Attachment(const Attachment&) = delete;
  Attachment& operator=(const Attachment&) = delete;
  virtual ~Attachment();
};

class Node {
 public:
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  // Root and element delete the nodes of their lists (only ever heap result trees).
  virtual ~Node();

  // The Document this node was read from; null for result-tree nodes.
  virtual Document* document() const;
  // The root node of this node's tree (walks up the parents).
  Node* root();
  // False while a file-backed root or element has not been read to its end.
  virtual bool isComplete() const { return true; }

  Node* parent() const { return parent_; }
  // These two parse on demand: firstChild reads until a first child exists (or the
  // node is complete), lastChild until the node is complete.
  virtual Node* firstChild();
  virtual Node* lastChild();
  virtual void appendChild(Node* node);
  virtual void appendNamespace(Node* node);
  virtual void appendAttribute(Node* node);

  // Parses while the sibling link is empty and the parent is incomplete.
  Node* nextSibling() { return next_ != nullptr ? next_ : readNextSibling(); }
  Node* rawNextSibling() const { return next_; }
  void setNextSibling(Node* node) { next_ = node; }
  Node* previousSibling() const { return previous_; }
  void setPreviousSibling(Node* node) { previous_ = node; }

  virtual Node* firstNamespace() const { return nullptr; }
  virtual Node* firstAttribute() const { return nullptr; }

  NodeKind kind() const { return kind_; }
  // Element, text, comment and processing instruction; not root, attribute, namespace.
  bool isChildKind() const { return hasKind(kChildNodeKinds, kind_); }

  // Element, attribute: the local name; namespace node: its prefix; others: empty.
  virtual StringRef localName() const;
  // Element, attribute: the namespace name; namespace node: the declared name.
  virtual StringRef namespaceURI() const;
  // Element, attribute: the prefix (restored by the loader); others: empty.
  virtual StringRef prefix() const;
  // namespaceURI "/" localName, the key of cdata-section-elements.
  String expandedName() const;

  // Root and element: all descendant text in document order.
  String stringValue() const;
  virtual void writeStringValue(Output& out) const = 0;
  // Like stringValue, but an element writes its attribute values and namespace names
  // before its children's values.
  String deepStringValue() const;
  virtual void writeDeepStringValue(Output& out) const;

  // Element: its start-tag line; others ask their parent; 0 without a parent.
  virtual std::int32_t lineNumber() const;
  // The OR of the name bits of this node, everything below it and their attributes and
  // namespace nodes; a root answers all bits. An element completes itself first.
  virtual NameMask nameFilter();

  // A new heap node of the same class, fresh serial, unlinked and complete.
  virtual Node* clone() const = 0;

  std::uint32_t serial() const { return serial_; }
  // What the stylesheet compiler hung on an element or attribute; null for other kinds,
  // which have no room for one (a source tree has millions of text nodes).
  Attachment* instruction() const;
  // Element and attribute only.
  void setInstruction(Attachment* instruction);

 protected:
  explicit Node(NodeKind kind);

 private:
  friend class NodeList;
  Node* readNextSibling();

  Node* parent_ = nullptr;
  Node* next_ = nullptr;
  Node* previous_ = nullptr;
  std::uint32_t serial_;
  NodeKind kind_;

 protected:
  // Flags of the node classes, in the header's spare bytes after kind_: a source tree
  // has millions of small nodes, and a flag of their own would cost each a word.
  bool ownsText_ = false;  // character, attribute and PI nodes: the texts are heap copies
  bool marked_ = false;    // text: output escaping disabled; namespace: excluded
};

// Document order is creation order, except for namespace nodes: the loader makes them
// before the element that declares them, but they follow it, before its attributes.
bool precedesAmongNamespaces(const Node* a, const Node* b);  // either is a namespace node
inline bool precedesInDocumentOrder(const Node* a, const Node* b) {
  if (a->kind() != NodeKind::Namespace && b->kind() != NodeKind::Namespace)
    return a->serial() < b->serial();
  return precedesAmongNamespaces(a, b);
}

// The string value of node, read where it lies when the node holds it in one piece (a
// text, comment, attribute, namespace or processing instruction node, or an element or
// root whose only child is one text node); otherwise built into scratch. Valid while
// both live.
std::string_view stringValueView(Node* node, String& scratch);

// The next node after node in document order within the tree of root, children before
// siblings; null at the end. Attributes and namespace nodes are not visited.
inline Node* nextInDocumentOrder(Node* node, Node* root) {
  if (Node* child = node->firstChild())
    return child;
  for (; node != root; node = node->parent()) {
    if (Node* sibling = node->nextSibling())
      return sibling;
  }
  return nullptr;
}

// First and last node of a child, attribute or namespace list; the nodes are chained by
// their sibling links. Does not own: heap owners call deleteAll from their destructor.
class NodeList {
 public:
  NodeList() = default;
  // A list over a chain that is kept elsewhere.
  NodeList(Node* first, Node* last) : first_(first), last_(last) {}

  Node* first() const { return first_; }
  Node* last() const { return last_; }
  bool empty() const { return first_ == nullptr; }
  // Links node at the end and makes owner its parent.
  void append(Node* owner, Node* node);
  // Unlinks node from this list (used when whitespace-only text is stripped).
  void remove(Node* node);
  void deleteAll();
  void writeDeepStringValue(Output& out) const;
  NameMask nameFilter() const;

 private:
  Node* first_ = nullptr;
  Node* last_ = nullptr;
};

class NamespaceNode : public Node {
 public:
  // prefix is the empty name for a default namespace declaration.
  NamespaceNode(StringRef prefix, StringRef namespaceURI);

  StringRef localName() const override { return prefix_; }
  StringRef namespaceURI() const override { return namespaceURI_; }
  StringRef declaredPrefix() const { return prefix_; }
  void writeStringValue(Output& out) const override;
  Node* clone() const override;

  // A declaration of the stylesheet that literal result elements do not carry into the
  // result (exclude-result-prefixes); it still binds its prefix.
  bool isExcluded() const { return marked_; }
  void setExcluded() { marked_ = true; }

 private:
  StringRef prefix_;
  StringRef namespaceURI_;
};

class RootNode : public Node {
 public:
  explicit RootNode(Document* document);
  ~RootNode() override;

  Document* document() const override { return document_; }
  bool isComplete() const override;
  Node* firstChild() override;
  Node* lastChild() override;
  void appendChild(Node* node) override;
  void writeStringValue(Output& out) const override;
  void writeDeepStringValue(Output& out) const override;
  NameMask nameFilter() override { return kAllNames; }
  Node* clone() const override;

  const NodeList& children() const { return children_; }
  // The namespace node of the xml prefix, which every element has in scope without a
  // declaration: the namespace axis of each element of the tree ends with it.
  Node* firstNamespace() const override { return xmlNamespaces_.first(); }

 private:
  Document* document_;  // not owned; null for result trees
  NodeList children_;
  NodeList xmlNamespaces_;      // holds xmlNamespace_ only; owns nothing
  NamespaceNode xmlNamespace_;  // made with the root, so it comes right after it in order
};

class ElementNode : public Node {
 public:
  ElementNode(StringRef namespaceURI, StringRef localName, StringRef prefix, std::int32_t line,
              bool complete);
  // A complete element without a line, named by name.
  explicit ElementNode(const QualifiedName* name)
      : Node(NodeKind::Element), name_(name), line_(0), complete_(true) {}
  ~ElementNode() override;

  bool isComplete() const override { return complete_; }
  Node* firstChild() override;
  Node* lastChild() override;
  void appendChild(Node* node) override;
  void appendNamespace(Node* node) override;
  void appendAttribute(Node* node) override;
  // The namespace declarations written on this element (xmlns="" included), chained by
  // sibling links; what the serializer and QName resolution read.
  Node* firstNamespace() const override { return firstDeclaration_; }
  Node* firstAttribute() const override { return attributes_.first(); }
  // The element's namespace nodes, which the namespace axis walks: one per prefix in
  // scope, this element their parent. Its own declarations first, then those it
  // inherits, nearest first, the xml prefix last; xmlns="" leaves the default namespace
  // out. Made the first time they are asked for (the declarations are complete by then)
  // and kept with the tree, chained by sibling links in document order.
  Node* firstNamespaceNode();
  StringRef localName() const override { return name_->localName; }
  StringRef namespaceURI() const override { return name_->namespaceURI; }
  StringRef prefix() const override { return name_->prefix; }
  const QualifiedName* qualifiedName() const { return name_; }
  void writeStringValue(Output& out) const override;
  void writeDeepStringValue(Output& out) const override;
  std::int32_t lineNumber() const override { return line_; }
  NameMask nameFilter() override;
  Node* clone() const override;

  // Parses until the end tag has been seen (or the input ends).
  void ensureComplete();
  void setPrefix(StringRef prefix) {
    if (!(prefix == name_->prefix))
      rename(prefix);
  }
  // For namespace aliases: a stylesheet's literal result element takes its result name.
  void setNamespaceURI(StringRef uri);
  // Called by the loader at the end tag: sets the complete flag and the name filter.
  // Until then nameFilter answers all bits (a builder of a finished in-memory subtree may
  // call it too, to let searches prune that subtree).
  void markComplete();
  NodeList& children() { return children_; }
  const NodeList& children() const { return children_; }
  const NodeList& attributes() const { return attributes_; }

 private:
  friend class Node;
  void rename(StringRef prefix);

  const QualifiedName* name_;
  Attachment* instruction_ = nullptr;
  NameMask nameFilter_ = 0;
  NodeList children_;
  NodeList attributes_;
  Node* firstDeclaration_ = nullptr;
  // Two uses of one word, so that an element is no bigger for having namespace nodes:
  // while declarations are appended, the last of them; once the namespace nodes are
  // made (hasScope_), where they are.
  union {
    Node* lastDeclaration_ = nullptr;
    NamespaceScope* scope_;
  };
  std::int32_t line_;
  bool complete_;
  bool filterKnown_ = false;  // nameFilter_ has been computed by markComplete
  bool hasScope_ = false;
};

class AttributeNode : public Node {
 public:
  // value must outlive the node (arena text, or shared by clones).
  AttributeNode(StringRef namespaceURI, StringRef prefix, StringRef localName, const char* value);
  AttributeNode(const QualifiedName* name, const char* value);
  ~AttributeNode() override;
  // A heap attribute that owns a copy of value.
  static AttributeNode* makeOwned(StringRef namespaceURI, StringRef prefix, StringRef localName,
                                  std::string_view value);
  static AttributeNode* makeOwned(const QualifiedName* name, std::string_view value);

  StringRef localName() const override { return name_->localName; }
  StringRef namespaceURI() const override { return name_->namespaceURI; }
  StringRef prefix() const override { return name_->prefix; }
  const QualifiedName* qualifiedName() const { return name_; }
  void setPrefix(StringRef prefix);
  void setNamespaceURI(StringRef uri);
  const char* value() const { return value_; }
  void writeStringValue(Output& out) const override;
  Node* clone() const override;

 private:
  friend class Node;

  const QualifiedName* name_;
  Attachment* instruction_ = nullptr;
  const char* value_;
};

// Text and comment nodes hold text that lives elsewhere (the Document's arena, or a
// result tree's owner); the loader may repoint it while character data is merged.
class CharacterNode : public Node {
 public:
  const char* text() const { return text_; }
  std::size_t textLength() const { return length_; }
  std::string_view textView() const { return {text_, length_}; }
  void setText(const char* text, std::size_t length) {
    text_ = text;
    length_ = length;
  }
  void writeStringValue(Output& out) const override;
  ~CharacterNode() override;

 protected:
  CharacterNode(NodeKind kind, const char* text, std::size_t length)
      : Node(kind), text_(text), length_(length) {}
  // Copies text into a heap buffer this node frees (for result-tree nodes).
  void setOwnedText(std::string_view text);

 private:
  const char* text_;
  std::size_t length_;
};

class TextNode : public CharacterNode {
 public:
  TextNode(const char* text, std::size_t length) : CharacterNode(NodeKind::Text, text, length) {}
  // A heap text node that owns a copy of text.
  static TextNode* makeOwned(std::string_view text);
  Node* clone() const override;

  // Text of a result tree written with disable-output-escaping: the serializer writes it
  // as it is when the tree is copied to the output.
  bool isEscapingDisabled() const { return marked_; }
  void setEscapingDisabled(bool disabled) { marked_ = disabled; }
};

class CommentNode : public CharacterNode {
 public:
  CommentNode(const char* text, std::size_t length)
      : CharacterNode(NodeKind::Comment, text, length) {}
  static CommentNode* makeOwned(std::string_view text);
  Node* clone() const override;
};

class ProcessingInstructionNode : public Node {
 public:
  ProcessingInstructionNode(const char* target, const char* data);
  ~ProcessingInstructionNode() override;
  static ProcessingInstructionNode* makeOwned(std::string_view target, std::string_view data);

  const char* target() const { return target_; }
  const char* data() const { return data_; }
  void writeStringValue(Output& out) const override;
  Node* clone() const override;

 private:
  const char* target_;
  const char* data_;
};

inline Attachment* Node::instruction() const {
  if (kind_ == NodeKind::Element)
    return static_cast<const ElementNode*>(this)->instruction_;
  if (kind_ == NodeKind::Attribute)
    return static_cast<const AttributeNode*>(this)->instruction_;
  return nullptr;
}

}  // namespace ovra
