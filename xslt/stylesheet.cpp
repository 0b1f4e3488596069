#include "xslt/stylesheet.h"

#include "base/exceptions.h"
#include "output/serializer.h"
#include "tree/document.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "xslt/avt.h"
#include "xslt/instruction.h"
#include "xslt/transform.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace ovra {

static constexpr char kNotAStylesheet[] =
    "The peek element of a stylesheet must declare the XSLT namespace.";
static constexpr char kUnknownTopLevel[] = "Unrecognised root element in stylesheet";
static constexpr char kUnknownInstruction[] = "Unrecognised stylesheet instruction";
static constexpr char kUndeclaredPrefix[] = "Undeclared namespace prefix in %s, %s";

namespace {

// The next node after node in document order within the tree of root (children before
// siblings); null at the end. Attributes and namespace nodes are not visited.
Node* nextInDocumentOrder(Node* node, Node* root) {
  if (Node* child = node->firstChild())
    return child;
  for (; node != root; node = node->parent()) {
    if (Node* sibling = node->nextSibling())
      return sibling;
  }
  return nullptr;
}

// Compiles the attribute value templates of a literal result element: every attribute
// whose value holds a brace gets its compiled template attached.
void compileAttributeTemplates(Node* element) {
  for (Node* attribute = element->firstAttribute(); attribute != nullptr;
       attribute = attribute->rawNextSibling()) {
    std::string_view value = attributeValue(attribute);
    if (attribute->namespaceURI() == xsltNamespaceName() ||
        value.find_first_of("{}") == std::string_view::npos)
      continue;
    try {
      attribute->setInstruction(new AttributeValueTemplate(value, element));
    } catch (const XPathParseException& error) {
      throw StylesheetException(attribute, error);
    } catch (const EvaluateException& error) {
      throw StylesheetException(attribute, error);
    }
  }
}

// The attribute of element in namespace uri with local name name, or null.
Node* findAttribute(Node* element, StringRef uri, std::string_view name) {
  for (Node* attribute = element->firstAttribute(); attribute != nullptr;
       attribute = attribute->rawNextSibling()) {
    if (attribute->namespaceURI() == uri && attribute->localName().view() == name)
      return attribute;
  }
  return nullptr;
}

bool contains(const std::vector<std::string_view>& texts, std::string_view text) {
  for (std::string_view candidate : texts) {
    if (candidate == text)
      return true;
  }
  return false;
}

}  // namespace

Stylesheet::Stylesheet(String fileName)
    : Stylesheet(std::make_unique<Document>(std::move(fileName), Document::kStylesheetBufferSize,
                                            /*strip=*/true)) {}

Stylesheet::Stylesheet(std::unique_ptr<Document> document) : document_(std::move(document)) {}

std::unique_ptr<Stylesheet> Stylesheet::fromText(std::string text, String fileName) {
  return std::unique_ptr<Stylesheet>(new Stylesheet(Document::fromText(
      std::move(text), std::move(fileName), Document::kStylesheetBufferSize, /*strip=*/true)));
}

Stylesheet::~Stylesheet() {
  deleteAttachments();
}

void Stylesheet::load() {
  document_->parseAll();
  findRoot();
  compileAll();
  if (rootElement_ == nullptr) {
    Node* first = document_->root()->firstChild();
    while (first != nullptr && first->kind() != NodeKind::Element)
      first = first->nextSibling();
    throw StylesheetException(first, kNotAStylesheet);
  }
  readTopLevel();
}

// The document element is the root when it is xsl:stylesheet or xsl:transform, or a
// literal result element that declares the XSLT namespace itself (a simplified
// stylesheet). Comments and processing instructions before it are passed over.
void Stylesheet::findRoot() {
  Node* first = document_->root()->firstChild();
  while (first != nullptr && first->kind() != NodeKind::Element)
    first = first->nextSibling();
  if (first == nullptr)
    return;
  if (first->namespaceURI() == xsltNamespaceName() &&
      classify(first) == InstructionKind::Stylesheet) {
    rootElement_ = first;
    simplified_ = false;
    return;
  }
  for (Node* ns = first->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling()) {
    if (ns->parent() == first && ns->namespaceURI() == xsltNamespaceName()) {
      rootElement_ = first;
      simplified_ = true;
      return;
    }
  }
}

// Attaches a compiled instruction to every XSLT instruction element of the document and
// an attribute value template to every literal attribute with braces. Pre-order, without
// recursion, so that a deeply nested stylesheet is safe.
void Stylesheet::compileAll() {
  compiled_ = true;
  Node* root = document_->root();
  // Top-level elements in other namespaces are data for whoever reads the stylesheet:
  // their attribute values are not templates.
  Node* foreignTop = nullptr;
  for (Node* node = root->firstChild(); node != nullptr; node = nextInDocumentOrder(node, root)) {
    if (node->kind() != NodeKind::Element)
      continue;
    InstructionKind kind = classify(node);
    // Pre-order: the subtree of one top-level element ends where the next one starts.
    if (!simplified_ && node->parent() == rootElement_)
      foreignTop = kind == InstructionKind::Literal ? node : nullptr;
    if (kind == InstructionKind::Unknown)
      throw StylesheetException(node, kUnknownInstruction);
    if (node == rootElement_ && !simplified_) {
      for (const char* name : {"exclude-result-prefixes", "extension-element-prefixes"}) {
        if (Node* attribute = findAttribute(node, emptyName(), name))
          excludeNamespaces(node, attribute);
      }
    }
    if (isInstructionKind(kind)) {
      node->setInstruction(compileInstruction(kind, *this, node).release());
      continue;
    }
    if (kind == InstructionKind::Literal && foreignTop == nullptr) {
      for (const char* name : {"exclude-result-prefixes", "extension-element-prefixes"}) {
        if (Node* attribute = findAttribute(node, xsltNamespaceName(), name))
          excludeNamespaces(node, attribute);
      }
      compileAttributeTemplates(node);
    }
  }
}

// The namespaces that attribute names by prefix ("#default" for the default one) are not
// copied to the result by the literal result elements of element's subtree: the
// declarations of those namespace names inside the subtree are marked, and those in scope
// from further out are shadowed on element by marked copies.
void Stylesheet::excludeNamespaces(Node* element, Node* attribute) {
  std::vector<std::string_view> uris;
  std::string_view list = attributeValue(attribute);
  constexpr std::string_view kSpace = " \t\r\n";
  for (std::size_t start = list.find_first_not_of(kSpace); start != std::string_view::npos;) {
    std::size_t end = std::min(list.find_first_of(kSpace, start), list.size());
    std::string_view token = list.substr(start, end - start);
    start = list.find_first_not_of(kSpace, end);
    std::string_view prefix = token == "#default" ? std::string_view() : token;
    const Node* declaration = nullptr;
    for (const Node* holder = element; holder != nullptr && declaration == nullptr;
         holder = holder->parent()) {
      for (const Node* ns = holder->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling()) {
        if (ns->localName().view() == prefix) {
          declaration = ns;
          break;
        }
      }
    }
    if (declaration == nullptr && !prefix.empty()) {
      String name(attribute->localName().view());
      throw StylesheetException(
          attribute, formatMessage(kUndeclaredPrefix, name.c_str(), String(token).c_str()));
    }
    // An undeclared default namespace, and the xml namespace, are never declared anyway.
    if (declaration != nullptr && !declaration->namespaceURI().view().empty() &&
        declaration->namespaceURI() != xmlNamespaceName())
      uris.push_back(declaration->namespaceURI().view());
  }
  if (uris.empty())
    return;
  for (Node* node = element; node != nullptr; node = nextInDocumentOrder(node, element)) {
    for (Node* ns = node->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling()) {
      if (contains(uris, ns->namespaceURI().view()))
        static_cast<NamespaceNode*>(ns)->setExcluded();
    }
  }
  std::vector<std::string_view> seen;
  for (Node* holder = element; holder != nullptr; holder = holder->parent()) {
    for (Node* ns = holder->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling()) {
      std::string_view prefix = ns->localName().view();
      if (contains(seen, prefix))
        continue;
      seen.push_back(prefix);
      if (holder != element && contains(uris, ns->namespaceURI().view())) {
        auto* shadow = document_->arena().make<NamespaceNode>(ns->localName(), ns->namespaceURI());
        shadow->setExcluded();
        element->appendNamespace(shadow);
      }
    }
  }
}

void Stylesheet::readTopLevel() {
  if (simplified_) {
    rules_.add(Template::makeSimplified(document_->root()));
    return;
  }
  for (Node* child = rootElement_->firstChild(); child != nullptr; child = child->nextSibling()) {
    if (child->kind() != NodeKind::Element)
      continue;
    // Instructions at top level are compiled but never run; elements in a namespace
    // other than XSLT's are ignored.
    InstructionKind kind = classify(child);
    if (kind == InstructionKind::Template)
      rules_.add(std::make_unique<Template>(child));
    else if (kind == InstructionKind::Output)
      outputSettings_.read(child);
    else if (kind == InstructionKind::Variable || kind == InstructionKind::Param)
      globalElements_.push_back(child);
    else if (kind == InstructionKind::Literal && child->namespaceURI().empty())
      throw StylesheetException(child, kUnknownTopLevel);
  }
}

void Stylesheet::deleteAttachments() {
  if (!compiled_)
    return;
  Node* root = document_->root();
  for (Node* node = root; node != nullptr; node = nextInDocumentOrder(node, root)) {
    delete node->instruction();
    node->setInstruction(nullptr);
    for (Node* attribute = node->firstAttribute(); attribute != nullptr;
         attribute = attribute->rawNextSibling()) {
      delete attribute->instruction();
      attribute->setInstruction(nullptr);
    }
  }
}

void Stylesheet::transform(Document& source, Serializer& serializer,
                           const Parameters* parameters) const {
  Transformation run(*this, source, parameters);
  try {
    run.run(serializer);
  } catch (const TerminateException&) {
    // xsl:message asked to stop: the run ends quietly, its output so far stays.
  }
}

}  // namespace ovra
