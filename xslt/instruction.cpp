#include "xslt/instruction.h"

#include "base/exceptions.h"
#include "tree/name_pool.h"
#include "xpath/parser.h"
#include "xslt/number.h"
#include "xslt/imports.h"
#include "xslt/fallback.h"
#include "xslt/template_calls.h"
#include "xslt/variable_stack.h"
#include "xslt/variables.h"

#include <algorithm>
#include <cassert>
#include <iterator>

namespace ovra {

namespace {

struct KeywordRow {
  const char* localName;
  InstructionKind kind;
};

constexpr KeywordRow kKeywords[] = {
    {"stylesheet", InstructionKind::Stylesheet},
    {"transform", InstructionKind::Stylesheet},
    {"template", InstructionKind::Template},
    {"output", InstructionKind::Output},
    {"value-of", InstructionKind::ValueOf},
    {"apply-templates", InstructionKind::ApplyTemplates},
    {"if", InstructionKind::If},
    {"choose", InstructionKind::Choose},
    {"when", InstructionKind::When},
    {"otherwise", InstructionKind::Otherwise},
    {"variable", InstructionKind::Variable},
    {"param", InstructionKind::Param},
    {"call-template", InstructionKind::CallTemplate},
    {"with-param", InstructionKind::WithParam},
    {"for-each", InstructionKind::ForEach},
    {"copy", InstructionKind::Copy},
    {"copy-of", InstructionKind::CopyOf},
    {"message", InstructionKind::Message},
    {"text", InstructionKind::Text},
    {"processing-instruction", InstructionKind::ProcessingInstruction},
    {"element", InstructionKind::Element},
    {"attribute", InstructionKind::Attribute},
    {"key", InstructionKind::Key},
    {"number", InstructionKind::Number},
    {"import", InstructionKind::Import},
    {"include", InstructionKind::Include},
    {"apply-imports", InstructionKind::ApplyImports},
    {"attribute-set", InstructionKind::AttributeSet},
    {"namespace-alias", InstructionKind::NamespaceAlias},
    {"comment", InstructionKind::Comment},
    {"strip-space", InstructionKind::StripSpace},
    {"preserve-space", InstructionKind::PreserveSpace},
    {"decimal-format", InstructionKind::DecimalFormat},
    {"fallback", InstructionKind::Fallback},
    {"sort", InstructionKind::Sort},
};

// The elements XSLT defines that are not instructions: the stylesheet element, the
// top-level declarations and the elements that only occur inside other elements.
constexpr std::string_view kNotInstructions[] = {
    "stylesheet",
    "transform",
    "template",
    "output",
    "param",
    "with-param",
    "when",
    "otherwise",
    "sort",
    "key",
    "import",
    "include",
    "strip-space",
    "preserve-space",
    "attribute-set",
    "decimal-format",
    "namespace-alias",
};

}  // namespace

// ---- Classification ----

std::size_t XsltKeywordTable::Hash::operator()(std::string_view key) const {
  std::uint32_t h = 0;
  for (char c : key)
    h = h * 33 + static_cast<unsigned char>(c);
  return h;
}

XsltKeywordTable::XsltKeywordTable() {
  table_.reserve(kInitialBuckets / 2);
  for (const KeywordRow& row : kKeywords) {
    table_.emplace(row.localName, row.kind);
    interned_.emplace(NamePool::global().intern(row.localName).c_str(), row.kind);
  }
}

InstructionKind XsltKeywordTable::find(std::string_view localName) const {
  auto it = table_.find(localName);
  return it == table_.end() ? InstructionKind::Unknown : it->second;
}

InstructionKind XsltKeywordTable::findInterned(StringRef localName) const {
  auto it = interned_.find(localName.c_str());
  // A name from outside the pool may still spell a keyword.
  return it != interned_.end() ? it->second : find(localName.view());
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
  switch (kind) {
  case InstructionKind::ValueOf:
  case InstructionKind::ApplyTemplates:
  case InstructionKind::If:
  case InstructionKind::Choose:
  case InstructionKind::When:
  case InstructionKind::Otherwise:
  case InstructionKind::Variable:
  case InstructionKind::Param:
  case InstructionKind::CallTemplate:
  case InstructionKind::WithParam:
  case InstructionKind::ForEach:
  case InstructionKind::Copy:
  case InstructionKind::CopyOf:
  case InstructionKind::Message:
  case InstructionKind::Text:
  case InstructionKind::ProcessingInstruction:
  case InstructionKind::Element:
  case InstructionKind::Attribute:
  case InstructionKind::Number:
  case InstructionKind::ApplyImports:
  case InstructionKind::Comment:
  case InstructionKind::Fallback:
  case InstructionKind::Sort:
    return true;
  case InstructionKind::StripSpace:
  case InstructionKind::PreserveSpace:
  case InstructionKind::DecimalFormat:
  case InstructionKind::Stylesheet:
  case InstructionKind::Template:
  case InstructionKind::Output:
  case InstructionKind::Key:
  case InstructionKind::Unknown:
  case InstructionKind::Literal:
  case InstructionKind::Import:
  case InstructionKind::Include:
  case InstructionKind::AttributeSet:
  case InstructionKind::NamespaceAlias:
    return false;
  }
  return false;
}

bool isAvailableInstruction(std::string_view localName) {
  if (XsltKeywordTable::global().find(localName) == InstructionKind::Unknown)
    return false;
  return std::find(std::begin(kNotInstructions), std::end(kNotInstructions), localName) ==
         std::end(kNotInstructions);
}

std::unique_ptr<Instruction> compileInstruction(InstructionKind kind, const Stylesheet& stylesheet,
                                                Node* element) {
  if (kind == InstructionKind::Variable || kind == InstructionKind::Param ||
      kind == InstructionKind::WithParam)
    return std::make_unique<VariableInstruction>(stylesheet, element, kind);
  if (kind == InstructionKind::ApplyTemplates)
    return std::make_unique<ApplyTemplatesInstruction>(stylesheet, element);
  if (kind == InstructionKind::CallTemplate)
    return std::make_unique<CallTemplateInstruction>(stylesheet, element);
  if (kind == InstructionKind::Number)
    return std::make_unique<NumberInstruction>(stylesheet, element);
  if (kind == InstructionKind::ApplyImports)
    return std::make_unique<ApplyImportsInstruction>(stylesheet, element);
  return compileBodyInstruction(kind, stylesheet, element);
}

// ---- The base class ----

Instruction::~Instruction() = default;

EvalContext Instruction::evalContext(const Focus& focus, const ResultSink& sink) const {
  EvalContext context;
  context.contextNode = focus.node;
  context.position = focus.position;
  context.size = focus.size;
  context.variables = sink.variables();
  context.currentNode = focus.node;
  context.stylesheetElement = element_;
  return context;
}

std::unique_ptr<Expr> Instruction::compileExpression(const Node* attribute) const {
  return compileXPath(attributeValue(attribute), element_);
}

bool Instruction::readYesNo(const Node* attribute, const char* message) const {
  std::string_view value = attributeValue(attribute);
  if (value == "yes")
    return true;
  if (value == "no")
    return false;
  throw StylesheetException(attribute, message);
}

ExpandedName Instruction::readQName(const Node* attribute) const {
  ExpandedName name = resolveQName(element_, attributeValue(attribute));
  // An empty value means no name at all, whatever address the empty name has.
  if (name.empty())
    return ExpandedName();
  return name;
}

void Instruction::rejectAttribute(const Node* attribute, const char* message) const {
  // Attributes of a later XSLT version are ignored in forwards-compatible mode.
  if (!attribute->namespaceURI().empty() || isForwardsCompatible(element_))
    return;
  throw StylesheetException(attribute, String(message).append(attribute->localName()));
}

void Instruction::fail(const ConstString& text) const {
  throw StylesheetException(element_, text);
}

std::string_view attributeValue(const Node* attribute) {
  assert(attribute->kind() == NodeKind::Attribute && "attributeValue of a non-attribute");
  const char* value = static_cast<const AttributeNode*>(attribute)->value();
  return value == nullptr ? std::string_view() : std::string_view(value);
}

}  // namespace ovra
