#include "xslt/result_sink.h"

#include "base/exceptions.h"
#include "output/serializer.h"
#include "tree/location.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "xslt/avt.h"
#include "xslt/instruction.h"
#include "xslt/transform.h"
#include "xslt/variable_stack.h"

#include <algorithm>
#include <cassert>
#include <utility>
#include <vector>

namespace ovra {

// ---- Template bodies ----

ResultSink::~ResultSink() = default;

void ResultSink::executeChildren(Node* element, const Focus& focus) {
  if (run_ != nullptr)
    run_->checkStack(element);
  for (Node* child = element->firstChild(); child != nullptr; child = child->nextSibling()) {
    try {
      if (Attachment* attached = child->instruction()) {
        // Only instructions hang on child nodes; attribute value templates hang on
        // attributes.
        static_cast<const Instruction*>(attached)->execute(focus, *this);
        continue;
      }
      switch (child->kind()) {
      case NodeKind::Comment:
      case NodeKind::ProcessingInstruction:
        // The stylesheet's own comments and processing instructions are never copied.
        break;
      case NodeKind::Element:
        copyLiteralElement(child, focus);
        break;
      case NodeKind::Text:
      case NodeKind::Root:
      case NodeKind::Attribute:
      case NodeKind::Namespace:
        endNode(startNode(child), child);
        break;
      }
    } catch (XSLException& error) {
      // A run-time error names the innermost instruction it happened in.
      error.setLocation(locationOf(child));
      throw;
    }
  }
  variables_->popScope(element);
}

void ResultSink::copyLiteralElement(Node* element, const Focus& focus, const Instruction* first) {
  std::uint8_t flag = startNode(element);
  if (first != nullptr)
    first->execute(focus, *this);
  for (Node* attribute = element->firstAttribute(); attribute != nullptr;
       attribute = attribute->rawNextSibling()) {
    // Attributes in the XSLT namespace (xsl:version of a simplified stylesheet, say)
    // talk to the processor and are not part of the result; those a namespace alias put
    // there carry their value template.
    Attachment* attached = attribute->instruction();
    if (attribute->namespaceURI() == xsltNamespaceName() && attached == nullptr)
      continue;
    if (attached == nullptr) {
      endNode(startNode(attribute), attribute);
      continue;
    }
    // The compiled attribute value template of a value holding braces.
    const auto* avt = static_cast<const AttributeValueTemplate*>(attached);
    EvalContext context;
    context.contextNode = focus.node;
    context.position = focus.position;
    context.size = focus.size;
    context.host = variables_;
    context.currentNode = focus.node;
    context.stylesheetElement = element;
    String value = avt->expand(context);
    AttributeNode expanded(attribute->namespaceURI(), attribute->prefix(), attribute->localName(),
                           value.c_str());
    endNode(startNode(&expanded), &expanded);
  }
  if (takesNamespaceNodes()) {
    for (Node* ns = element->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling())
      endNode(startNode(ns), ns);
  }
  if (element->firstChild() != nullptr)
    executeChildren(element, focus);
  endNode(flag, element);
}

void ResultSink::copyDeep(Node* top) {
  if (top->kind() == NodeKind::Root) {
    for (Node* child = top->firstChild(); child != nullptr; child = child->nextSibling())
      copyDeep(child);
    return;
  }
  // Pre-order walk with an explicit stack of the elements started and not yet ended.
  std::vector<std::pair<Node*, std::uint8_t>> open;
  Node* node = top;
  for (;;) {
    std::uint8_t flag = startNode(node);
    if (node->kind() == NodeKind::Element) {
      for (Node* attribute = node->firstAttribute(); attribute != nullptr;
           attribute = attribute->rawNextSibling())
        endNode(startNode(attribute), attribute);
      if (takesNamespaceNodes()) {
        for (Node* ns = node->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling())
          endNode(startNode(ns), ns);
      }
      if (Node* child = node->firstChild()) {
        open.emplace_back(node, flag);
        node = child;
        continue;
      }
    }
    endNode(flag, node);
    for (;;) {
      if (node == top)
        return;
      if (Node* next = node->nextSibling()) {
        node = next;
        break;
      }
      auto [parent, parentFlag] = open.back();
      open.pop_back();
      endNode(parentFlag, parent);
      node = parent;
    }
  }
}

// ---- Straight to the serializer ----

SerializerResultSink::~SerializerResultSink() = default;

std::uint8_t SerializerResultSink::startNode(Node* node) {
  return serializer_.startNode(node);
}

void SerializerResultSink::endNode(std::uint8_t flag, Node*) {
  serializer_.endNode(flag);
}

void SerializerResultSink::writeValue(const Value& value, bool disableOutputEscaping) {
  bool previous = serializer_.setDisableOutputEscaping(disableOutputEscaping);
  ovra::writeValue(value, serializer_);
  serializer_.setDisableOutputEscaping(previous);
}

bool SerializerResultSink::setDisableOutputEscaping(bool disable) {
  return serializer_.setDisableOutputEscaping(disable);
}

bool SerializerResultSink::acceptsAttribute() const {
  return serializer_.acceptsAttribute();
}

// ---- Into a result tree ----

TreeResultSink::TreeResultSink(VariableStack* variables, Transformation* run)
    : ResultSink(variables, run) {}

TreeResultSink::~TreeResultSink() = default;

void TreeResultSink::ensureRoot() {
  if (!root_) {
    root_ = std::shared_ptr<Node>(new RootNode(nullptr));
    current_ = root_.get();
    originals_.clear();
  }
}

// Gives clone the namespace nodes in scope at original. When original's parent is the
// node whose clone is the current parent, the parent's clone holds the inherited ones
// already and only original's own declarations are needed. A declaration shadowed by a
// nearer one of the same prefix is left out, and so is one excluded from results.
void TreeResultSink::copyNamespaces(const Node* original, Node* clone) const {
  bool ownOnly = !originals_.empty() && original->parent() == originals_.back();
  std::vector<std::string_view> seen;
  for (const Node* holder = original; holder != nullptr; holder = holder->parent()) {
    for (Node* ns = holder->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling()) {
      std::string_view prefix = ns->localName().view();
      if (std::find(seen.begin(), seen.end(), prefix) != seen.end())
        continue;
      seen.push_back(prefix);
      if (isImplicitNamespace(ns) || static_cast<const NamespaceNode*>(ns)->isExcluded() ||
          hasNamespace(clone, ns->localName()))
        continue;
      clone->appendNamespace(ns->clone());
    }
    if (ownOnly)
      break;
  }
}

// The xml namespace node that every root holds: the tree being built has its own.
bool TreeResultSink::isImplicitNamespace(const Node* ns) {
  const Node* holder = ns->parent();
  return holder != nullptr && holder->kind() == NodeKind::Root;
}

bool TreeResultSink::hasNamespace(const Node* element, StringRef prefix) {
  for (Node* ns = element->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling()) {
    if (ns->localName().view() == prefix.view())
      return true;
  }
  return false;
}

std::uint8_t TreeResultSink::startNode(Node* node) {
  ensureRoot();
  switch (node->kind()) {
  case NodeKind::Root:
    return 1;  // a root contributes its children, which come as their own events
  case NodeKind::Element: {
    flushText();
    // A copy keeps the prefix, unlike clone().
    auto* clone = new ElementNode(static_cast<ElementNode*>(node)->qualifiedName());
    current_->appendChild(clone);
    copyNamespaces(node, clone);
    originals_.push_back(node);
    current_ = clone;
    return 0;
  }
  case NodeKind::Text: {
    const auto* text = static_cast<const TextNode*>(node);
    if (text->textLength() != 0)
      appendText(text->textView(), noEscape_ || text->isEscapingDisabled());
    return 1;
  }
  case NodeKind::Attribute: {
    // An attribute belongs to the element being built, before any of its children.
    if (!acceptsAttribute())
      return 1;
    auto* element = static_cast<ElementNode*>(current_);
    for (Node* old = element->firstAttribute(); old != nullptr; old = old->rawNextSibling()) {
      if (old->localName() == node->localName() && old->namespaceURI() == node->namespaceURI()) {
        // The later attribute of a name replaces the earlier one. The element is a heap
        // node of this tree, so its list may be changed.
        const_cast<NodeList&>(element->attributes()).remove(old);
        delete old;
        break;
      }
    }
    const auto* attribute = static_cast<const AttributeNode*>(node);
    // Always a copy of the value: the node handed in may be a temporary.
    element->appendAttribute(
        AttributeNode::makeOwned(attribute->qualifiedName(), attributeValue(attribute)));
    return 1;
  }
  case NodeKind::Namespace:
    if (current_->kind() == NodeKind::Element && !isImplicitNamespace(node) &&
        !static_cast<const NamespaceNode*>(node)->isExcluded() &&
        !hasNamespace(current_, node->localName()))
      current_->appendNamespace(node->clone());
    return 1;
  case NodeKind::Comment:
  case NodeKind::ProcessingInstruction:
    flushText();
    current_->appendChild(node->clone());
    return 1;
  }
  return 1;
}

void TreeResultSink::endNode(std::uint8_t flag, Node*) {
  if (flag != 0)
    return;
  flushText();
  assert(current_ != root_.get() && "endNode without an element started");
  static_cast<ElementNode*>(current_)->markComplete();
  current_ = current_->parent();
  originals_.pop_back();
}

void TreeResultSink::writeValue(const Value& value, bool disableOutputEscaping) {
  ensureRoot();
  String text = stringOf(value);
  if (!text.empty())
    appendText(text.view(), disableOutputEscaping);
}

bool TreeResultSink::acceptsAttribute() const {
  return current_ != nullptr && current_->kind() == NodeKind::Element &&
         current_->firstChild() == nullptr && pendingText_.empty();
}

bool TreeResultSink::setDisableOutputEscaping(bool disable) {
  bool previous = noEscape_;
  noEscape_ = disable;
  return previous;
}

// Text written in pieces becomes one text node: a tree never has two text nodes side by
// side (XPath 1.0 section 5.7). Text written with escaping disabled stays a node of its
// own, which keeps its mark.
void TreeResultSink::appendText(std::string_view text, bool escapingDisabled) {
  if (!pendingText_.empty() && pendingNoEscape_ != escapingDisabled)
    flushText();
  pendingText_.append(text);
  pendingNoEscape_ = escapingDisabled;
}

void TreeResultSink::flushText() {
  if (pendingText_.empty())
    return;
  TextNode* node = TextNode::makeOwned(pendingText_);
  // Kept for a copy of the tree to the output; the string value does not change.
  node->setEscapingDisabled(pendingNoEscape_);
  current_->appendChild(node);
  pendingText_.clear();
}

std::shared_ptr<Node> TreeResultSink::takeTree() {
  ensureRoot();
  flushText();
  std::shared_ptr<Node> tree = std::move(root_);
  root_.reset();
  current_ = nullptr;
  originals_.clear();
  return tree;
}

std::string TreeResultSink::textContent() const {
  if (!root_)
    return std::string();
  // Text not yet in a node is the last of the tree.
  return std::string(root_->stringValue().view()) + pendingText_;
}

}  // namespace ovra
