#include "xslt/instruction.h"

#include "base/diagnostics.h"
#include "base/exceptions.h"
#include "tree/document.h"
#include "tree/location.h"
#include "tree/name_pool.h"
#include "xpath/parser.h"
#include "xslt/control_flow.h"
#include "xslt/exslt/elements.h"
#include "xslt/exslt/exslt.h"
#include "xslt/exslt/user_functions.h"
#include "xslt/fallback.h"
#include "xslt/functions.h"
#include "xslt/imports.h"
#include "xslt/node_construction.h"
#include "xslt/number.h"
#include "xslt/sort.h"
#include "xslt/template_calls.h"
#include "xslt/text_copy.h"
#include "xslt/variable_stack.h"
#include "xslt/variables.h"

#include <algorithm>
#include <cassert>
#include <iterator>
#include <type_traits>

namespace ovra {

static constexpr char kUnknownAttribute[] = "Unrecognized attribute on %s, %s";
static constexpr char kOnlyTopLevel[] = "xsl:%s is only allowed at the top level";
static constexpr char kNotTopLevel[] = "xsl:%s is not allowed at the top level";
static constexpr char kExtensionOnlyTopLevel[] = "%s is only allowed at the top level";
static constexpr char kOnlyRoot[] = "xsl:%s is only allowed as the root element";
static constexpr char kOnlyChild[] = "%s elements can only be children of %s";
static constexpr char kNotQName[] = "Invalid QName in %s, %s";
static constexpr char kUndeclaredPrefix[] = "Undeclared namespace prefix in %s, %s";
static constexpr char kAttributeNotPlaced[] =
    "Attribute %s left out: attributes can only be added to an element before its children";

namespace {

template <typename T>
std::unique_ptr<Instruction> make(const Stylesheet& stylesheet, Node* element,
                                  InstructionKind kind) {
  if constexpr (std::is_constructible_v<T, const Stylesheet&, Node*, InstructionKind>)
    return std::make_unique<T>(stylesheet, element, kind);
  else
    return std::make_unique<T>(stylesheet, element);
}

constexpr std::uint8_t kRoot = std::uint8_t(ElementPlace::Root);
constexpr std::uint8_t kTop = std::uint8_t(ElementPlace::TopLevel);
constexpr std::uint8_t kBody = std::uint8_t(ElementPlace::Body);
constexpr std::uint8_t kChild = std::uint8_t(ElementPlace::Child);

// Every XSLT 1.0 element. Attribute lists follow the element syntax summaries of the
// XSLT 1.0 Recommendation; top-level declarations are read by the stylesheet itself, so
// they have no factory.
constexpr XsltElement kElements[] = {
    {"stylesheet", InstructionKind::Stylesheet, kRoot, "",
     "id extension-element-prefixes exclude-result-prefixes version", nullptr},
    {"transform", InstructionKind::Stylesheet, kRoot, "",
     "id extension-element-prefixes exclude-result-prefixes version", nullptr},
    {"import", InstructionKind::Import, kTop, "", "href", nullptr},
    {"include", InstructionKind::Include, kTop, "", "href", nullptr},
    {"strip-space", InstructionKind::StripSpace, kTop, "", "elements", nullptr},
    {"preserve-space", InstructionKind::PreserveSpace, kTop, "", "elements", nullptr},
    {"output", InstructionKind::Output, kTop, "",
     "method version encoding omit-xml-declaration standalone doctype-public doctype-system "
     "cdata-section-elements indent media-type",
     nullptr},
    {"key", InstructionKind::Key, kTop, "", "name match use", nullptr},
    {"decimal-format", InstructionKind::DecimalFormat, kTop, "",
     "name decimal-separator grouping-separator infinity minus-sign NaN percent per-mille "
     "zero-digit digit pattern-separator",
     nullptr},
    {"namespace-alias", InstructionKind::NamespaceAlias, kTop, "",
     "stylesheet-prefix result-prefix", nullptr},
    {"attribute-set", InstructionKind::AttributeSet, kTop, "", "name use-attribute-sets", nullptr},
    {"template", InstructionKind::Template, kTop, "", "match name priority mode", nullptr},
    {"variable", InstructionKind::Variable, kTop | kBody, "", "name select",
     make<VariableInstruction>},
    {"param", InstructionKind::Param, kTop | kChild, "template", "name select",
     make<VariableInstruction>},
    {"with-param", InstructionKind::WithParam, kChild, "call-template apply-templates",
     "name select", make<VariableInstruction>},
    {"apply-templates", InstructionKind::ApplyTemplates, kBody, "", "select mode",
     make<ApplyTemplatesInstruction>},
    {"call-template", InstructionKind::CallTemplate, kBody, "", "name",
     make<CallTemplateInstruction>},
    {"apply-imports", InstructionKind::ApplyImports, kBody, "", "", make<ApplyImportsInstruction>},
    {"value-of", InstructionKind::ValueOf, kBody, "", "select disable-output-escaping",
     make<ValueOfInstruction>},
    {"text", InstructionKind::Text, kBody, "", "disable-output-escaping", make<TextInstruction>},
    {"copy", InstructionKind::Copy, kBody, "", "use-attribute-sets", make<CopyInstruction>},
    {"copy-of", InstructionKind::CopyOf, kBody, "", "select", make<CopyOfInstruction>},
    {"message", InstructionKind::Message, kBody, "", "terminate", make<MessageInstruction>},
    {"if", InstructionKind::If, kBody, "", "test", make<IfInstruction>},
    {"choose", InstructionKind::Choose, kBody, "", "", make<ChooseInstruction>},
    {"when", InstructionKind::When, kChild, "choose", "test", make<WhenInstruction>},
    {"otherwise", InstructionKind::Otherwise, kChild, "choose", "", make<WhenInstruction>},
    {"for-each", InstructionKind::ForEach, kBody, "", "select", make<ForEachInstruction>},
    {"sort", InstructionKind::Sort, kChild, "for-each apply-templates",
     "select lang data-type order case-order", make<SortInstruction>},
    {"element", InstructionKind::Element, kBody, "", "name namespace use-attribute-sets",
     make<ElementInstruction>},
    {"attribute", InstructionKind::Attribute, kBody, "", "name namespace",
     make<AttributeInstruction>},
    {"processing-instruction", InstructionKind::ProcessingInstruction, kBody, "", "name",
     make<ProcessingInstructionInstruction>},
    {"comment", InstructionKind::Comment, kBody, "", "", make<CommentInstruction>},
    {"number", InstructionKind::Number, kBody, "",
     "level count from value format lang letter-value grouping-separator grouping-size",
     make<NumberInstruction>},
    {"fallback", InstructionKind::Fallback, kBody, "", "", make<FallbackInstruction>},
    // EXSLT's elements: exsl:document takes xsl:output's attributes, as templates.
    {"document", InstructionKind::ExsltDocument, kBody, "",
     "href method version encoding omit-xml-declaration standalone doctype-public doctype-system "
     "cdata-section-elements indent media-type",
     make<ExsltDocumentInstruction>, kExsltCommonNamespace},
    // func:function is a declaration, read by the stylesheet itself.
    {"function", InstructionKind::ExsltFunction, kTop, "", "name", nullptr,
     kExsltFunctionsNamespace},
    {"result", InstructionKind::ExsltResult, kBody, "", "select", make<ExsltResultInstruction>,
     kExsltFunctionsNamespace},
};

bool containsWord(std::string_view words, std::string_view word) {
  bool found = false;
  forEachToken(words, [&](std::string_view token) { found = found || token == word; });
  return found;
}

String format(const char* pattern, std::string_view a, std::string_view b = {}) {
  return formatMessage(pattern, String(a).c_str(), String(b).c_str());
}

// "a b c" as "a, b or c".
String spokenList(std::string_view words) {
  std::vector<std::string_view> list;
  forEachToken(words, [&](std::string_view token) { list.push_back(token); });
  String text;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i > 0)
      text.append(i + 1 == list.size() ? " or " : ", ");
    text.append(list[i]);
  }
  return text;
}

}  // namespace

// ---- Classification ----

bool XsltElement::takesAttribute(std::string_view name) const {
  return containsWord(attributes, name);
}

XsltKeywordTable::XsltKeywordTable() {
  for (const XsltElement& row : kElements) {
    if (byKind_[std::size_t(row.kind)] == nullptr)
      byKind_[std::size_t(row.kind)] = &row;
    if (row.namespaceURI != kXsltNamespace) {
      extensions_.push_back(&row);
      continue;
    }
    table_.emplace(row.localName, &row);
    interned_.emplace(NamePool::global().intern(row.localName).c_str(), &row);
  }
}

const XsltElement* XsltKeywordTable::row(std::string_view localName) const {
  auto it = table_.find(localName);
  return it == table_.end() ? nullptr : it->second;
}

const XsltElement* XsltKeywordTable::rowInterned(StringRef localName) const {
  auto it = interned_.find(localName.c_str());
  // A name from outside the pool may still spell a keyword.
  return it != interned_.end() ? it->second : row(localName.view());
}

InstructionKind XsltKeywordTable::find(std::string_view localName) const {
  const XsltElement* found = row(localName);
  return found != nullptr ? found->kind : InstructionKind::Unknown;
}

InstructionKind XsltKeywordTable::findInterned(StringRef localName) const {
  const XsltElement* found = rowInterned(localName);
  return found != nullptr ? found->kind : InstructionKind::Unknown;
}

const XsltElement* XsltKeywordTable::row(InstructionKind kind) const {
  return byKind_[std::size_t(kind)];
}

const XsltElement* XsltKeywordTable::extensionRow(std::string_view namespaceURI,
                                                  std::string_view localName) const {
  for (const XsltElement* row : extensions_) {
    if (row->localName == localName && row->namespaceURI == namespaceURI)
      return row;
  }
  return nullptr;
}

const XsltKeywordTable& XsltKeywordTable::global() {
  static const XsltKeywordTable table;
  return table;
}

InstructionKind classify(const Node* node) {
  if (node->kind() != NodeKind::Element || !(node->namespaceURI() == xsltNamespaceName()))
    return InstructionKind::Literal;
  return XsltKeywordTable::global().findInterned(node->localName());
}

bool isInstructionKind(InstructionKind kind) {
  const XsltElement* row = XsltKeywordTable::global().row(kind);
  return row != nullptr && row->factory != nullptr;
}

bool isAvailableInstruction(std::string_view namespaceURI, std::string_view localName) {
  const XsltKeywordTable& table = XsltKeywordTable::global();
  if (namespaceURI != kXsltNamespace)
    return table.extensionRow(namespaceURI, localName) != nullptr;
  const XsltElement* row = table.row(localName);
  return row != nullptr && row->allows(ElementPlace::Body);
}

namespace {

// Reports each attribute in no namespace of element that its row does not take; shown is
// the element's name in the message.
void checkAttributes(const Node* element, const XsltElement& row, std::string_view shown,
                     UnknownAttributes unknown) {
  bool checked = false;
  bool forwards = false;
  for (const Node* attribute = element->firstAttribute(); attribute != nullptr;
       attribute = attribute->rawNextSibling()) {
    if (!attribute->namespaceURI().empty() || row.takesAttribute(attribute->localName().view()))
      continue;
    // Attributes of a later XSLT version are ignored in forwards-compatible mode.
    if (!checked) {
      forwards = isForwardsCompatible(element);
      checked = true;
    }
    if (forwards)
      continue;
    String text = format(kUnknownAttribute, shown, attribute->localName().view());
    if (unknown == UnknownAttributes::Error)
      throw StylesheetException(locationOf(attribute), text);
    warnAt(attribute, text.view());
  }
}

}  // namespace

void checkXsltElement(const Node* element, bool topLevel, UnknownAttributes unknown) {
  const XsltElement* row = XsltKeywordTable::global().rowInterned(element->localName());
  assert(row != nullptr && "checkXsltElement of an element the table does not know");
  std::string_view name = row->localName;
  const Node* parent = element->parent();
  bool isRoot = parent != nullptr && parent->kind() == NodeKind::Root;
  if (row->allows(ElementPlace::Root)) {
    if (!isRoot)
      throw StylesheetException(locationOf(element), format(kOnlyRoot, name));
  } else if (topLevel) {
    if (!row->allows(ElementPlace::TopLevel))
      throw StylesheetException(locationOf(element), format(kNotTopLevel, name));
  } else if (!row->allows(ElementPlace::Body)) {
    bool childOfParent = (row->allows(ElementPlace::Child) &&
                          classify(parent) != InstructionKind::Literal &&
                          containsWord(row->parents, parent->localName().view())) ||
                         (row->kind == InstructionKind::Param && isFunctionDeclaration(parent));
    if (!childOfParent) {
      if (!row->allows(ElementPlace::Child))
        throw StylesheetException(locationOf(element), format(kOnlyTopLevel, name));
      String parents = spokenList(row->parents);
      if (row->allows(ElementPlace::TopLevel))
        parents = String("stylesheet or ").append(parents);
      throw StylesheetException(locationOf(element), format(kOnlyChild, name, parents.view()));
    }
  }
  checkAttributes(element, *row, name, unknown);
}

std::unique_ptr<Instruction> compileExtensionElement(const Stylesheet& stylesheet, Node* element,
                                                     UnknownAttributes unknown) {
  const XsltElement* row = XsltKeywordTable::global().extensionRow(element->namespaceURI().view(),
                                                                   element->localName().view());
  String shown(element->prefix().view());
  if (!shown.empty())
    shown.append(":");
  shown.append(element->localName().view());
  if (row != nullptr && !row->allows(ElementPlace::Body))
    throw StylesheetException(locationOf(element), format(kExtensionOnlyTopLevel, shown.view()));
  if (row == nullptr || row->factory == nullptr)
    return std::make_unique<FallbackHostInstruction>(stylesheet, element);
  checkAttributes(element, *row, shown.view(), unknown);
  return row->factory(stylesheet, element, row->kind);
}

Node* xsltAttribute(const Node* element, std::string_view name) {
  for (Node* attribute = element->firstAttribute(); attribute != nullptr;
       attribute = attribute->rawNextSibling()) {
    if (attribute->namespaceURI().empty() && attribute->localName().view() == name)
      return attribute;
  }
  return nullptr;
}

std::unique_ptr<Instruction> compileInstruction(InstructionKind kind, const Stylesheet& stylesheet,
                                                Node* element) {
  const XsltElement* row = XsltKeywordTable::global().row(kind);
  assert(row != nullptr && row->factory != nullptr && "compileInstruction of a declaration");
  return row->factory(stylesheet, element, kind);
}

// ---- The base class ----

Instruction::~Instruction() = default;

EvalContext Instruction::evalContext(const Focus& focus, const ResultSink& sink) const {
  EvalContext context;
  context.contextNode = focus.node;
  context.position = focus.position;
  context.size = focus.size;
  context.host = sink.variables();
  context.currentNode = focus.node;
  context.stylesheetElement = element_;
  return context;
}

std::unique_ptr<Expr> Instruction::compileExpression(const Node* attribute) const {
  return compileXPath(attributeValue(attribute), element_, xsltFunctions());
}

bool Instruction::readYesNo(const Node* attribute, const char* message) const {
  std::string_view value = attributeValue(attribute);
  if (value == "yes")
    return true;
  if (value == "no")
    return false;
  throw StylesheetException(locationOf(attribute), message);
}

ExpandedName readQNameAttribute(const Node* element, const Node* attribute) {
  std::string_view value = attributeValue(attribute);
  // An empty value means no name at all; where one is needed, its absence is reported.
  if (value.empty())
    return ExpandedName();
  String where(attribute->localName().view());
  if (!isQName(value))
    throw StylesheetException(locationOf(attribute),
                              formatMessage(kNotQName, where.c_str(), String(value).c_str()));
  ExpandedName name = resolveQName(element, value);
  if (!name.prefix.empty() && name.namespaceURI.empty())
    throw StylesheetException(locationOf(attribute), formatMessage(kUndeclaredPrefix, where.c_str(),
                                                                   String(name.prefix).c_str()));
  return name;
}

ExpandedName Instruction::readQName(const Node* attribute) const {
  return readQNameAttribute(element_, attribute);
}

void Instruction::fail(const ConstString& text) const {
  throw StylesheetException(locationOf(element_), text);
}

void Instruction::warn(std::string_view text) const {
  warnAt(element_, text);
}

void warnAt(const Node* node, std::string_view text) {
  const Document* document = node->document();
  warning(
      SourceLocation{document != nullptr ? document->fileName() : String(), node->lineNumber(), 0},
      text);
}

bool Instruction::placesAttribute(const ResultSink& sink, std::string_view name) const {
  if (sink.acceptsAttribute())
    return true;
  warn(format(kAttributeNotPlaced, name).view());
  return false;
}

std::string_view attributeValue(const Node* attribute) {
  assert(attribute->kind() == NodeKind::Attribute && "attributeValue of a non-attribute");
  const char* value = static_cast<const AttributeNode*>(attribute)->value();
  return value == nullptr ? std::string_view() : std::string_view(value);
}

StylesheetException errorAtAttribute(const Node* attribute, const XSLException& cause) {
  StylesheetException error(locationOf(attribute), cause);
  error.setExpression(attributeValue(attribute));
  return error;
}

}  // namespace ovra
