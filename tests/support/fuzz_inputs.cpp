#include "tests/support/fuzz_inputs.h"

#include "base/exceptions.h"
#include "driver/modes.h"
#include "output/serializer.h"
#include "tests/support/test_document.h"
#include "tree/document.h"
#include "tree/node.h"
#include "tree/text_buffer.h"
#include "xpath/expr.h"
#include "xpath/parser.h"
#include "xpath/runtime/axis_iterators.h"
#include "xpath/runtime/value.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace ovra {

namespace {

[[noreturn]] void invariantBroken(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: fuzz invariant broken: %s\n", file, line, what);
  std::abort();
}

#define FUZZ_CHECK(condition)                                                                      \
  ((condition) ? void(0) : invariantBroken(#condition, __FILE__, __LINE__))

// No axis of a 4 KiB input can be longer; more means the iterator never ends.
constexpr std::size_t kMaxAxisLength = std::size_t(1) << 20;

// Every node gets the cheap checks; these get every axis walked in full, which costs
// time proportional to the whole document each.
bool walksEveryAxis(std::size_t index) {
  return index < 64 || index % 16 == 0;
}

bool isChildKindAxis(TokenKind axis) {
  return axis != TokenKind::AxisAttribute && axis != TokenKind::AxisNamespace &&
         axis != TokenKind::AxisSelf && axis != TokenKind::AxisParent &&
         axis != TokenKind::AxisAncestor && axis != TokenKind::AxisAncestorOrSelf &&
         axis != TokenKind::AxisDescendantOrSelf;
}

// The nodes of one axis from start, checked as they come: order, kinds, relations.
std::vector<Node*> walkAxis(TokenKind axis, Node* start, std::uint32_t nameMask = ~0u) {
  std::unique_ptr<AxisIterator> iterator = makeAxisIterator(axis, start);
  iterator->setNameMask(nameMask);
  FUZZ_CHECK(iterator->isReverseAxis() == isReverseAxis(axis));
  std::vector<Node*> nodes;
  Node* expectedAncestor = start->parent();
  while (Node* node = iterator->next()) {
    FUZZ_CHECK(nodes.size() < kMaxAxisLength);
    // Namespace nodes are numbered before their element, so neither the namespace axis
    // nor the step from a namespace node up to its element follows the numbering.
    bool ordered =
        axis != TokenKind::AxisNamespace &&
        !(start->kind() == NodeKind::Namespace && nodes.size() == 1 && nodes.back() == start);
    if (!nodes.empty() && ordered) {
      // Forward axes in document order, reverse axes nearest first.
      if (isReverseAxis(axis))
        FUZZ_CHECK(node->serial() < nodes.back()->serial());
      else
        FUZZ_CHECK(node->serial() > nodes.back()->serial());
    }
    if (isChildKindAxis(axis))
      FUZZ_CHECK(node->isChildKind());
    switch (axis) {
    case TokenKind::AxisSelf:
      FUZZ_CHECK(node == start);
      break;
    case TokenKind::AxisParent:
      FUZZ_CHECK(node == start->parent());
      break;
    case TokenKind::AxisAncestor:
      FUZZ_CHECK(node == expectedAncestor);
      expectedAncestor = node->parent();
      break;
    case TokenKind::AxisAncestorOrSelf:
      FUZZ_CHECK(node == (nodes.empty() ? start : nodes.back()->parent()));
      break;
    case TokenKind::AxisChild:
      FUZZ_CHECK(node->parent() == start);
      break;
    case TokenKind::AxisAttribute:
      FUZZ_CHECK(node->kind() == NodeKind::Attribute && node->parent() == start);
      break;
    case TokenKind::AxisNamespace:
      FUZZ_CHECK(node->kind() == NodeKind::Namespace);
      break;
    case TokenKind::AxisFollowingSibling:
    case TokenKind::AxisPrecedingSibling:
      FUZZ_CHECK(start->isChildKind() && node->parent() == start->parent());
      break;
    case TokenKind::AxisDescendant:
    case TokenKind::AxisDescendantOrSelf:
      FUZZ_CHECK(node == start || node->serial() > start->serial());
      break;
    default:
      break;
    }
    nodes.push_back(node);
  }
  // An exhausted iterator stays exhausted.
  FUZZ_CHECK(iterator->next() == nullptr);
  return nodes;
}

// The string value of a root or element is its descendant text in document order.
void checkStringValue(Node* node) {
  String value = node->stringValue();
  switch (node->kind()) {
  case NodeKind::Root:
  case NodeKind::Element: {
    std::string text;
    for (Node* descendant : walkAxis(TokenKind::AxisDescendant, node)) {
      if (descendant->kind() == NodeKind::Text)
        text.append(static_cast<CharacterNode*>(descendant)->textView());
    }
    FUZZ_CHECK(value.view() == text);
    break;
  }
  case NodeKind::Text:
  case NodeKind::Comment:
    FUZZ_CHECK(value.view() == static_cast<CharacterNode*>(node)->textView());
    break;
  case NodeKind::Attribute:
    FUZZ_CHECK(value.view() == static_cast<AttributeNode*>(node)->value());
    break;
  case NodeKind::Namespace:
    FUZZ_CHECK(value.view() == node->namespaceURI().view());
    break;
  case NodeKind::ProcessingInstruction:
    break;
  }
  (void)node->deepStringValue();
}

// A descendant search that skips subtrees by their name filters finds exactly the
// elements of that name a full walk finds.
void checkNameFilter(Node* node, const std::vector<Node*>& descendants) {
  Node* named = nullptr;
  for (auto it = descendants.rbegin(); it != descendants.rend(); ++it) {
    if ((*it)->kind() == NodeKind::Element) {
      named = *it;
      break;
    }
  }
  if (named == nullptr)
    return;
  StringRef name = named->localName();
  auto withName = [&](const std::vector<Node*>& nodes) {
    std::vector<Node*> found;
    for (Node* candidate : nodes) {
      if (candidate->kind() == NodeKind::Element && candidate->localName() == name)
        found.push_back(candidate);
    }
    return found;
  };
  std::vector<Node*> pruned = walkAxis(TokenKind::AxisDescendant, node, name.bit());
  FUZZ_CHECK(withName(pruned) == withName(descendants));
  FUZZ_CHECK(mayContainName(node, name.bit()));
}

void visitNode(Node* node, std::size_t index) {
  (void)node->lineNumber();
  (void)node->expandedName();
  checkStringValue(node);
  if (!walksEveryAxis(index)) {
    for (TokenKind axis : {TokenKind::AxisSelf, TokenKind::AxisParent, TokenKind::AxisAncestor,
                           TokenKind::AxisAncestorOrSelf, TokenKind::AxisAttribute,
                           TokenKind::AxisNamespace, TokenKind::AxisChild})
      walkAxis(axis, node);
    return;
  }
  for (int code = int(TokenKind::AxisAncestor); code <= int(TokenKind::AxisSelf); ++code) {
    auto axis = TokenKind(code);
    std::vector<Node*> nodes = walkAxis(axis, node);
    if (axis == TokenKind::AxisDescendant)
      checkNameFilter(node, nodes);
  }
}

// Visits every node in document order, with its attributes and namespace nodes, reading
// the input only as the walk (and the axes walked from each node) asks for it.
void walkTree(Node* root) {
  std::size_t index = 0;
  Node* node = root;
  for (;;) {
    visitNode(node, index++);
    for (Node* ns = node->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling())
      visitNode(ns, index++);
    for (Node* attribute = node->firstAttribute(); attribute != nullptr;
         attribute = attribute->rawNextSibling())
      visitNode(attribute, index++);
    if (Node* child = node->firstChild()) {
      node = child;
      continue;
    }
    for (;;) {
      if (node == root)
        return;
      if (Node* next = node->nextSibling()) {
        node = next;
        break;
      }
      node = node->parent();
    }
  }
}

// The fixed document of the XPath target: every node kind, namespaces, numbers and
// text, small enough that any path over it stays quick.
constexpr char kXPathDocument[] = "<?xml version='1.0'?>\n"
                                  "<!DOCTYPE r [<!ENTITY e 'entity'>]>\n"
                                  "<r xmlns:p='urn:p' a='1' p:b='2.5'><!--c--><?pi data?>\n"
                                  "<x id='x1' n='3'>one<y>2</y>&e;</x>\n"
                                  "<p:x id='x2' xml:lang='en-GB'><y/>-4.5</p:x>\n"
                                  "<z xmlns='urn:d'><w/>  </z><x id='x3'/></r>\n";

bool inDocumentOrder(const NodeVector& nodes) {
  for (std::size_t i = 1; i < nodes.size(); ++i) {
    if (nodes[i - 1]->serial() >= nodes[i]->serial())
      return false;
  }
  return true;
}

void exerciseValue(const Value& value) {
  (void)stringOf(value);
  (void)numberOf(value);
  (void)booleanOf(value);
  TextBuffer text;
  writeValue(value, text);
  if (value.kind == ValueKind::NodeSet)
    FUZZ_CHECK(inDocumentOrder(value.nodes));
}

void evaluateAt(const Expr& compiled, const EvalContext& context) {
  Value whole;
  bool wholeDone = false;
  try {
    whole = compiled.evaluate(context);
    exerciseValue(whole);
    wholeDone = true;
    if (compiled.returnsNodeSet())
      FUZZ_CHECK(whole.kind == ValueKind::NodeSet);
  } catch (const XSLException&) {
  }
  try {
    // A value that is not a node-set gives no stream.
    std::unique_ptr<NodeStream> stream = compiled.select(context);
    if (stream == nullptr) {
      FUZZ_CHECK(!compiled.returnsNodeSet());
      return;
    }
    NodeVector streamed;
    while (Node* node = stream->next()) {
      FUZZ_CHECK(streamed.size() < kMaxAxisLength);
      streamed.push_back(node);
    }
    FUZZ_CHECK(inDocumentOrder(streamed));
    if (wholeDone && whole.kind == ValueKind::NodeSet)
      FUZZ_CHECK(streamed == whole.nodes);
  } catch (const XSLException&) {
  }
}

}  // namespace

void runXmlFuzzInput(std::string_view input) {
  if (input.empty())
    return;
  auto control = static_cast<unsigned char>(input[0]);
  std::size_t bufferSize = (control & 0x3f) + 1;
  bool strip = (control & 0x40) != 0;
  std::string text(input.substr(1));

  bool lazyFailed = false;
  std::string lazyRendering;
  {
    std::unique_ptr<Document> document = Document::fromText(text, "fuzz.xml", bufferSize, strip);
    try {
      document->parseChunk();
      walkTree(document->root());
    } catch (const XSLException&) {
      lazyFailed = true;
    }
    FUZZ_CHECK(document->root() != nullptr);
    if (lazyFailed) {
      // What was read before the error stays usable.
      FUZZ_CHECK(document->isFinished());
      walkTree(document->root());
    } else {
      FUZZ_CHECK(document->isFinished());
      lazyRendering = renderTree(document->root());
    }
  }

  // However the input was cut into chunks, the tree (or the failure) is the same.
  std::unique_ptr<Document> whole = Document::fromText(text, "fuzz.xml", text.size() + 1, strip);
  bool wholeFailed = false;
  try {
    whole->parseAll();
  } catch (const XSLException&) {
    wholeFailed = true;
  }
  FUZZ_CHECK(lazyFailed == wholeFailed);
  if (!wholeFailed)
    FUZZ_CHECK(renderTree(whole->root()) == lazyRendering);
}

void runXPathFuzzInput(std::string_view input) {
  std::unique_ptr<Document> document =
      Document::fromText(kXPathDocument, "fuzz.xml", /*bufferSize=*/7, false);
  document->parseChunk();
  Node* root = document->root();
  std::unique_ptr<Expr> compiled;
  try {
    // The document element declares the prefix p, so prefixed names can resolve.
    compiled = compileXPath(input, root->firstChild());
  } catch (const XSLException&) {
    return;
  }

  EvalContext atRoot;
  atRoot.contextNode = atRoot.currentNode = atRoot.stylesheetElement = root;
  evaluateAt(*compiled, atRoot);

  // Inside the tree, with a position and size as a predicate would give them.
  EvalContext inside = atRoot;
  inside.contextNode = walkAxis(TokenKind::AxisDescendant, root)[4];  // the first x
  FUZZ_CHECK(inside.contextNode->localName().view() == "x");
  inside.position = 2;
  inside.size = 3;
  evaluateAt(*compiled, inside);

  // The -p mode's printing, into memory.
  try {
    TextBuffer printed;
    Serializer out(printed);
    writeXPathResults(*compiled, root, out);
    out.flush();
  } catch (const XSLException&) {
  }
  // document() opens files through the registry; they must not pile up across inputs.
  DocumentRegistry::closeAll();
}

}  // namespace ovra
