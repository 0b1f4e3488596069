#include "tests/support/test_document.h"

#include "tree/node.h"

namespace ovra {

TestDocument::TestDocument(std::string text, std::size_t bufferSize, bool strip,
                           const char* fileName)
    : document_(Document::fromText(std::move(text), fileName, bufferSize, strip)) {
  document_->parseChunk();
}

Node* TestDocument::root() const {
  return document_->root();
}

Node* TestDocument::element(std::string_view localName) const {
  Node* top = root();
  for (Node* node = top; node != nullptr; node = nextInDocumentOrder(node, top)) {
    if (node->kind() == NodeKind::Element && node->localName().view() == localName)
      return node;
  }
  return nullptr;
}

std::string TestDocument::render() const {
  return renderTree(root());
}

static void appendName(std::string& out, const Node* node) {
  if (!node->prefix().empty())
    out.append(node->prefix().view()).append(":");
  out.append(node->localName().view());
  if (!node->namespaceURI().empty())
    out.append("{").append(node->namespaceURI().view()).append("}");
}

static void appendNamespace(std::string& out, const Node* node) {
  out.append("xmlns");
  if (!node->localName().empty())
    out.append(":").append(node->localName().view());
  out.append("=\"").append(node->namespaceURI().view()).append("\"");
}

static void appendAttribute(std::string& out, const Node* node) {
  appendName(out, node);
  out.append("=\"").append(static_cast<const AttributeNode*>(node)->value()).append("\"");
}

// Everything of node up to its children; an element without children is closed here.
static void appendOpening(std::string& out, Node* node, bool hasChildren) {
  switch (node->kind()) {
  case NodeKind::Root:
    return;
  case NodeKind::Element:
    out.append("<");
    appendName(out, node);
    for (Node* ns = node->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling())
      appendNamespace(out.append(" "), ns);
    for (Node* attribute = node->firstAttribute(); attribute != nullptr;
         attribute = attribute->rawNextSibling())
      appendAttribute(out.append(" "), attribute);
    out.append(hasChildren ? ">" : "/>");
    return;
  case NodeKind::Text:
    out.append("\"").append(static_cast<CharacterNode*>(node)->textView()).append("\"");
    return;
  case NodeKind::Comment:
    out.append("<!--").append(static_cast<CharacterNode*>(node)->textView()).append("-->");
    return;
  case NodeKind::ProcessingInstruction: {
    auto* pi = static_cast<ProcessingInstructionNode*>(node);
    out.append("<?").append(pi->target());
    if (*pi->data() != '\0')
      out.append(" ").append(pi->data());
    out.append("?>");
    return;
  }
  case NodeKind::Attribute:
    appendAttribute(out.append("@"), node);
    return;
  case NodeKind::Namespace:
    appendNamespace(out, node);
    return;
  }
}

static void appendClosing(std::string& out, const Node* node) {
  if (node->kind() != NodeKind::Element)
    return;
  out.append("</");
  if (!node->prefix().empty())
    out.append(node->prefix().view()).append(":");
  out.append(node->localName().view()).append(">");
}

std::string renderTree(Node* top) {
  std::string out;
  if (top == nullptr)
    return out;
  Node* node = top;
  for (;;) {
    Node* child = node->firstChild();
    appendOpening(out, node, child != nullptr);
    if (child != nullptr) {
      node = child;
      continue;
    }
    for (;;) {
      if (node == top)
        return out;
      if (Node* next = node->nextSibling()) {
        node = next;
        break;
      }
      node = node->parent();
      appendClosing(out, node);
    }
  }
}

}  // namespace ovra
