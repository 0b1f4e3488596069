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
#include "xslt/stylesheet.h"

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

// One axis from start, walked a node at a time, each node checked as it comes: order,
// kind, relation to start.
class AxisCursor {
 public:
  AxisCursor(TokenKind axis, Node* start, NameMask nameMask = ~NameMask{0})
      : axis_(axis), start_(start), iterator_(makeAxisIterator(axis, start)) {
    iterator_->setNameMask(nameMask);
    FUZZ_CHECK(iterator_->isReverseAxis() == isReverseAxis(axis));
  }

  // The next node, or null once the axis is exhausted (and null ever after).
  Node* step() {
    Node* node = iterator_->next();
    if (node == nullptr) {
      FUZZ_CHECK(iterator_->next() == nullptr);
      return nullptr;
    }
    check(node);
    nodes_.push_back(node);
    return node;
  }
  // Steps up to count times; false once exhausted.
  bool advance(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      if (step() == nullptr)
        return false;
    }
    return true;
  }
  const std::vector<Node*>& drain() {
    while (step() != nullptr) {
    }
    return nodes_;
  }
  const std::vector<Node*>& nodes() const { return nodes_; }

 private:
  void check(Node* node) {
    FUZZ_CHECK(nodes_.size() < kMaxAxisLength);
    Node* previous = nodes_.empty() ? nullptr : nodes_.back();
    // The namespace axis goes up from element to element, each element's declarations in
    // document order: neither forward nor reverse as a whole.
    if (previous != nullptr && axis_ != TokenKind::AxisNamespace) {
      // Forward axes in document order, reverse axes nearest first.
      if (isReverseAxis(axis_))
        FUZZ_CHECK(precedesInDocumentOrder(node, previous));
      else
        FUZZ_CHECK(precedesInDocumentOrder(previous, node));
    }
    if (isChildKindAxis(axis_))
      FUZZ_CHECK(node->isChildKind());
    switch (axis_) {
    case TokenKind::AxisSelf:
      FUZZ_CHECK(node == start_);
      break;
    case TokenKind::AxisParent:
      FUZZ_CHECK(node == start_->parent());
      break;
    case TokenKind::AxisAncestor:
      FUZZ_CHECK(node == (previous == nullptr ? start_ : previous)->parent());
      break;
    case TokenKind::AxisAncestorOrSelf:
      FUZZ_CHECK(node == (previous == nullptr ? start_ : previous->parent()));
      break;
    case TokenKind::AxisChild:
      FUZZ_CHECK(node->parent() == start_);
      break;
    case TokenKind::AxisAttribute:
      FUZZ_CHECK(node->kind() == NodeKind::Attribute && node->parent() == start_);
      break;
    case TokenKind::AxisNamespace:
      FUZZ_CHECK(node->kind() == NodeKind::Namespace);
      break;
    case TokenKind::AxisFollowingSibling:
    case TokenKind::AxisPrecedingSibling:
      FUZZ_CHECK(start_->isChildKind() && node->parent() == start_->parent());
      break;
    case TokenKind::AxisDescendant:
    case TokenKind::AxisDescendantOrSelf:
      FUZZ_CHECK(node == start_ || precedesInDocumentOrder(start_, node));
      break;
    default:
      break;
    }
  }

  TokenKind axis_;
  Node* start_;
  std::unique_ptr<AxisIterator> iterator_;
  std::vector<Node*> nodes_;
};

std::vector<Node*> walkAxis(TokenKind axis, Node* start, NameMask nameMask = ~NameMask{0}) {
  AxisCursor cursor(axis, start, nameMask);
  return cursor.drain();
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

// Calls visit for every node in document order, each element's namespace nodes and
// attributes right after it, navigating only by child and sibling links.
template <class Visit>
void forEachNode(Node* root, Visit visit) {
  std::size_t index = 0;
  Node* node = root;
  for (;;) {
    visit(node, index++);
    for (Node* ns = node->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling())
      visit(ns, index++);
    for (Node* attribute = node->firstAttribute(); attribute != nullptr;
         attribute = attribute->rawNextSibling())
      visit(attribute, index++);
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

// While the input is still being read: from each node in document order, every axis that
// looks back (all of it built already) in full and every axis that looks ahead for only
// `lookahead` nodes, so reading advances a little between navigations. Two iterators
// started early (the root's descendants, the first element's following nodes) advance one
// node per visit, across the chunk boundaries the walk crosses; once everything is read
// they must have seen what a fresh walk sees.
void walkWhileReading(Node* root, std::size_t lookahead) {
  AxisCursor descendants(TokenKind::AxisDescendant, root);
  std::unique_ptr<AxisCursor> following;
  Node* firstElement = nullptr;
  forEachNode(root, [&](Node* node, std::size_t index) {
    (void)node->isComplete();
    (void)mayContainName(node, node->localName().bit());
    for (TokenKind axis : {TokenKind::AxisSelf, TokenKind::AxisParent, TokenKind::AxisAncestor,
                           TokenKind::AxisAncestorOrSelf, TokenKind::AxisAttribute,
                           TokenKind::AxisNamespace, TokenKind::AxisPrecedingSibling})
      walkAxis(axis, node);
    if (walksEveryAxis(index))
      walkAxis(TokenKind::AxisPreceding, node);
    for (TokenKind axis :
         {TokenKind::AxisChild, TokenKind::AxisFollowingSibling, TokenKind::AxisDescendant,
          TokenKind::AxisDescendantOrSelf, TokenKind::AxisFollowing})
      AxisCursor(axis, node).advance(lookahead);
    descendants.step();
    if (following)
      following->step();
    else if (node->kind() == NodeKind::Element)
      following = std::make_unique<AxisCursor>(TokenKind::AxisFollowing, firstElement = node);
  });
  FUZZ_CHECK(descendants.drain() == walkAxis(TokenKind::AxisDescendant, root));
  if (following)
    FUZZ_CHECK(following->drain() == walkAxis(TokenKind::AxisFollowing, firstElement));
}

// Once everything is read (or reading failed): every node, every axis in full for a share
// of them, string values and name filters.
void walkTree(Node* root) {
  forEachNode(root, visitNode);
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
    if (!precedesInDocumentOrder(nodes[i - 1], nodes[i]))
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
  if (value.kind() == ValueKind::NodeSet)
    FUZZ_CHECK(inDocumentOrder(value.nodes()));
}

void evaluateAt(const Expr& compiled, const EvalContext& context) {
  Value whole;
  bool wholeDone = false;
  try {
    whole = compiled.evaluate(context);
    exerciseValue(whole);
    wholeDone = true;
    if (compiled.returnsNodeSet())
      FUZZ_CHECK(whole.kind() == ValueKind::NodeSet);
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
    if (wholeDone && whole.kind() == ValueKind::NodeSet)
      FUZZ_CHECK(streamed == whole.nodes());
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
  std::size_t lookahead = (control & 0x80) != 0 ? 3 : 1;
  std::string text(input.substr(1));

  bool lazyFailed = false;
  std::string lazyRendering;
  {
    std::unique_ptr<Document> document = Document::fromText(text, "fuzz.xml", bufferSize, strip);
    try {
      document->parseChunk();
      walkWhileReading(document->root(), lookahead);
    } catch (const XSLException&) {
      lazyFailed = true;
    }
    FUZZ_CHECK(document->root() != nullptr);
    FUZZ_CHECK(document->isFinished());
    // After an error, what was read before it stays usable.
    walkTree(document->root());
    if (!lazyFailed)
      lazyRendering = renderTree(document->root());
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
}

namespace {

struct TransformResult {
  bool failed = false;
  std::string output;
};

TransformResult transformToMemory(const Stylesheet& stylesheet, const std::string& source,
                                  std::size_t bufferSize) {
  TransformResult result;
  std::unique_ptr<Document> document = Document::fromText(source, "fuzz.xml", bufferSize, false);
  TextBuffer text;
  {
    Serializer out(text);
    try {
      stylesheet.transform(*document, out);
      out.flush();
    } catch (const XSLException&) {
      result.failed = true;
    }
  }
  result.output = std::string(text.view());
  return result;
}

}  // namespace

void runXsltFuzzInput(std::string_view input) {
  std::size_t separator = input.find('\0');
  std::string_view stylesheetText = input.substr(0, separator);
  std::string source(separator == std::string_view::npos ? input : input.substr(separator + 1));

  std::unique_ptr<Stylesheet> stylesheet = Stylesheet::fromText(std::string(stylesheetText));
  try {
    stylesheet->load();
  } catch (const XSLException&) {
    return;
  }
  TransformResult lazy = transformToMemory(*stylesheet, source, /*bufferSize=*/7);
  TransformResult whole = transformToMemory(*stylesheet, source, source.size() + 1);
  // Node identities differ from run to run, and where another document's nodes fall
  // among the source's in document order depends on how far the source had been read.
  bool comparable = stylesheetText.find("generate-id") == std::string_view::npos &&
                    stylesheetText.find("document") == std::string_view::npos;
  if (comparable && !lazy.failed && !whole.failed)
    FUZZ_CHECK(lazy.output == whole.output);
}

}  // namespace ovra
