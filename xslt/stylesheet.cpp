#include "xslt/stylesheet.h"

#include "base/exceptions.h"
#include "output/serializer.h"
#include "tree/document.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "xslt/avt.h"
#include "xslt/instruction.h"
#include "xslt/transform.h"

namespace ovra {

static constexpr char kNotAStylesheet[] =
    "The peek element of a stylesheet must declare the XSLT namespace.";
static constexpr char kUnknownTopLevel[] = "Unrecognised root element in stylesheet";
static constexpr char kUnknownInstruction[] = "Unrecognised stylesheet instruction";

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
    if (isInstructionKind(kind)) {
      node->setInstruction(compileInstruction(kind, *this, node).release());
      continue;
    }
    if (kind == InstructionKind::Literal && foreignTop == nullptr)
      compileAttributeTemplates(node);
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
