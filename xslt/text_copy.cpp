#include "xslt/text_copy.h"

#include "base/diagnostics.h"
#include "base/exceptions.h"
#include "output/serializer.h"
#include "tree/location.h"
#include "tree/text_buffer.h"
#include "xslt/attribute_sets.h"

#include <cassert>
#include <cstdio>
#include <string_view>
#include <vector>

namespace ovra {

static const char kValueOfWithoutSelect[] = "A select attribute must be provided for a value-of";
static const char kBadEscapingValue[] =
    "Expecting disable-output-escaping attribute to have value 'yes' or 'no'";
static constexpr char kElementInText[] = "A text element can only hold text";
static const char kCopyOfWithoutSelect[] =
    "A select attribute must be provided for a copy-of instruction";
static const char kBadTerminateValue[] =
    "Expecting terminate attribute to have value 'yes' or 'no'";

// Empty text is not written: handed to the serializer it would close an open start tag,
// and attributes could no longer follow.
static void writeText(ResultSink& sink, String text, bool disableOutputEscaping) {
  if (!text.empty())
    sink.writeValue(Value::makeString(std::move(text)), disableOutputEscaping);
}

// ---- xsl:value-of ----

ValueOfInstruction::ValueOfInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  if (const Node* select = attribute("select")) {
    // Reported at the element, so that the message names the file and the line.
    select_ = reportedAt(element, [&] { return compileExpression(select); });
  }
  if (const Node* escaping = attribute("disable-output-escaping"))
    disableOutputEscaping_ = readYesNo(escaping, kBadEscapingValue);
  if (!select_)
    throw StylesheetException(locationOf(element), kValueOfWithoutSelect);
}

ValueOfInstruction::~ValueOfInstruction() = default;

// The node whose own text is all of node's string value, when its text lies ready in
// one piece: a text or attribute, or a read element whose only child is a text. Its
// text can then be written where it lies, exactly as a copy would be.
static Node* soleTextCarrier(Node* node) {
  if (node->kind() == NodeKind::Element && node->isComplete()) {
    Node* child = node->firstChild();
    if (child != nullptr && child->kind() == NodeKind::Text && child->nextSibling() == nullptr)
      return child;
    return nullptr;
  }
  return node->kind() == NodeKind::Text || node->kind() == NodeKind::Attribute ? node : nullptr;
}

static bool isEmptyText(const Node* carrier) {
  if (carrier->kind() == NodeKind::Text)
    return static_cast<const TextNode*>(carrier)->textLength() == 0;
  const char* value = static_cast<const AttributeNode*>(carrier)->value();
  return value == nullptr || value[0] == '\0';
}

void ValueOfInstruction::execute(const Focus& focus, ResultSink& sink) const {
  String text;
  try {
    EvalContext context = evalContext(focus, sink);
    if (select_->returnsNodeSet()) {
      // Only the first node counts: stop there, and read no more of the source.
      Node* first = select_->selectFirst(context);
      if (first == nullptr)
        return;
      if (Node* carrier = soleTextCarrier(first)) {
        if (!isEmptyText(carrier))
          sink.writeValue(Value::makeNode(carrier), disableOutputEscaping_);
        return;
      }
      text = first->stringValue();
    } else {
      // A string, a variable's above all, is written where it lies.
      Value scratch;
      const Value& value = valueOf(*select_, context, scratch);
      if (value.kind() == ValueKind::String) {
        if (!value.string().empty())
          sink.writeValue(value, disableOutputEscaping_);
        return;
      }
      text = stringOf(value);
    }
  } catch (const StylesheetException&) {
    throw;
  } catch (const XSLException& error) {
    throw StylesheetException(locationOf(element()), error);
  }
  writeText(sink, std::move(text), disableOutputEscaping_);
}

// ---- xsl:text ----

TextInstruction::TextInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  if (const Node* escaping = attribute("disable-output-escaping"))
    disableOutputEscaping_ = readYesNo(escaping, kBadEscapingValue);
  for (Node* child = element->firstChild(); child != nullptr; child = child->nextSibling()) {
    if (child->kind() == NodeKind::Element)
      throw StylesheetException(locationOf(child), kElementInText);
  }
}

TextInstruction::~TextInstruction() = default;

void TextInstruction::execute(const Focus& focus, ResultSink& sink) const {
  // The flag governs the literal text the body copies; it is put back even when the
  // body throws, since a terminated run may be followed by the next one.
  struct Restore {
    ResultSink& sink;
    bool previous;
    ~Restore() { sink.setDisableOutputEscaping(previous); }
  };
  Restore restore{sink, sink.setDisableOutputEscaping(disableOutputEscaping_)};
  sink.executeChildren(element(), focus);
}

// ---- xsl:copy ----

CopyInstruction::CopyInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  if (const Node* sets = attribute("use-attribute-sets"))
    attributeSets_ = readAttributeSetNames(element, sets);
}

CopyInstruction::~CopyInstruction() = default;

// Hands the sink every namespace node in scope at element, the element's own first; a
// declaration shadowed by a nearer one of the same prefix is left out. A copy put into
// a result tree has no ancestors to inherit them from.
static void copyNamespaces(Node* element, ResultSink& sink) {
  std::vector<std::string_view> seen;
  for (Node* node = element; node != nullptr; node = node->parent()) {
    for (Node* ns = node->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling()) {
      std::string_view prefix = ns->localName().view();
      bool shadowed = false;
      for (std::string_view other : seen)
        shadowed = shadowed || other == prefix;
      if (shadowed)
        continue;
      seen.push_back(prefix);
      sink.endNode(sink.startNode(ns), ns);
    }
  }
}

void CopyInstruction::execute(const Focus& focus, ResultSink& sink) const {
  Node* node = focus.node;
  switch (node->kind()) {
  case NodeKind::Root:
    sink.executeChildren(element(), focus);
    return;
  case NodeKind::Element: {
    std::uint8_t flag = sink.startNode(node);
    if (sink.takesNamespaceNodes())
      copyNamespaces(node, sink);
    useAttributeSets(stylesheet(), attributeSets_, focus, sink);
    sink.executeChildren(element(), focus);
    sink.endNode(flag, node);
    return;
  }
  case NodeKind::Attribute:
    if (!placesAttribute(sink, node->localName().view()))
      return;
    [[fallthrough]];
  case NodeKind::Text:
  case NodeKind::Namespace:
  case NodeKind::Comment:
  case NodeKind::ProcessingInstruction:
    // These cannot hold attributes or children, so the body has nowhere to go.
    sink.endNode(sink.startNode(node), node);
    return;
  }
  assert(false && "unknown node kind");
}

// ---- xsl:copy-of ----

CopyOfInstruction::CopyOfInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  if (const Node* select = attribute("select"))
    select_ = compileExpression(select);
  if (!select_)
    throw StylesheetException(locationOf(element), kCopyOfWithoutSelect);
}

CopyOfInstruction::~CopyOfInstruction() = default;

void CopyOfInstruction::execute(const Focus& focus, ResultSink& sink) const {
  EvalContext context = evalContext(focus, sink);
  auto copy = [&](Node* node) {
    if (node->kind() != NodeKind::Attribute || placesAttribute(sink, node->localName().view()))
      sink.copyDeep(node);
  };
  if (select_->returnsNodeSet()) {
    // Each node is copied as soon as it is found, before more of the source is read.
    std::unique_ptr<NodeStream> nodes = select_->select(context);
    while (Node* node = nodes ? nodes->next() : nullptr)
      copy(node);
    return;
  }
  Value value = select_->evaluate(context);
  switch (value.kind()) {
  case ValueKind::None:
    return;
  case ValueKind::TreeFragment:  // the fragment's root: its children are copied
    copy(value.fragmentRoot());
    return;
  case ValueKind::NodeSet:
    for (Node* node : value.nodes())
      copy(node);
    return;
  case ValueKind::Number:
  case ValueKind::Boolean:
  case ValueKind::String:
    writeText(sink, stringOf(value), /*disableOutputEscaping=*/false);
    return;
  }
  assert(false && "unknown value kind");
}

// ---- xsl:message ----

MessageInstruction::MessageInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  if (const Node* terminate = attribute("terminate"))
    terminate_ = readYesNo(terminate, kBadTerminateValue);
}

MessageInstruction::~MessageInstruction() = default;

void MessageInstruction::execute(const Focus& focus, ResultSink& sink) const {
  {
    // Written as a result document would be, with default settings but for the XML
    // declaration: a message is no document, and the declaration would land in the
    // middle of its text before the first element. The body sees the variables of the
    // instruction. Each message ends a line, as in xsltproc.
    TextBuffer text;
    {
      Serializer serializer(text);
      serializer.settings().omitXmlDeclaration = true;
      SerializerResultSink messageSink(serializer, sink.variables(), &sink.run());
      messageSink.executeChildren(element(), focus);
    }
    if (text.size() != 0 && text.view().back() != '\n')
      text.write("\n");
    ovra::message(text.view());
  }
  if (terminate_)
    throw TerminateException();
}

}  // namespace ovra
