#include "xslt/sort.h"

#include "base/exceptions.h"
#include "tree/location.h"
#include "tree/node.h"
#include "xpath/parser.h"
#include "xpath/runtime/functions.h"
#include "xslt/functions.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>

namespace ovra {

static constexpr char kSortMisplaced[] =
    "sort elements can only be children of for-each or apply-templates";
static constexpr char kSortNotFirst[] = "sort elements must come first in a for-each";
static constexpr char kSortNotEmpty[] = "sort elements must be empty";
static constexpr char kBadOrder[] = "The order of a sort must be ascending or descending, not ";
static constexpr char kBadDataType[] =
    "The data-type of a sort must be text, number or a prefixed name, not ";
static constexpr char kBadCaseOrder[] =
    "The case-order of a sort must be upper-first or lower-first, not ";

namespace {

// ---- Text order ----

// The code point starting at offset, which moves past it; a malformed sequence counts
// as its lead byte.
char32_t nextCodePoint(std::string_view text, std::size_t& offset) {
  auto lead = static_cast<unsigned char>(text[offset]);
  std::size_t length = utf8CharLength(lead);
  if (lead < 0x80 || length == 1 || offset + length > text.size()) {
    ++offset;
    return lead;
  }
  char32_t code = lead & (0xFF >> (length + 1));
  for (std::size_t i = 1; i < length; ++i)
    code = (code << 6) | (static_cast<unsigned char>(text[offset + i]) & 0x3F);
  offset += length;
  return code;
}

// The lower-case partner of an upper-case letter of the scripts covered; anything else
// is returned unchanged.
char32_t foldCase(char32_t c) {
  if (c < 0x80)
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
      (c >= 0x410 && c <= 0x42F))
    return c + 32;
  if (c >= 0x400 && c <= 0x40F)
    return c + 80;
  return c;
}

bool isUpperCase(char32_t c) {
  return foldCase(c) != c;
}

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// ---- Option values ----

std::optional<SortOrder> parseOrder(std::string_view value) {
  if (value == "ascending")
    return SortOrder::Ascending;
  if (value == "descending")
    return SortOrder::Descending;
  return std::nullopt;
}

// A prefixed name is a data type of some other processor's: sorted as text.
std::optional<SortDataType> parseDataType(std::string_view value) {
  if (value == "text")
    return SortDataType::Text;
  if (value == "number")
    return SortDataType::Number;
  std::size_t colon = value.find(':');
  if (colon != std::string_view::npos && colon > 0 && colon + 1 < value.size())
    return SortDataType::Text;
  return std::nullopt;
}

std::optional<CaseOrder> parseCaseOrder(std::string_view value) {
  if (value == "upper-first")
    return CaseOrder::UpperFirst;
  if (value == "lower-first")
    return CaseOrder::LowerFirst;
  return std::nullopt;
}

// One option: fixed now when the attribute holds no expression, else a template kept
// for the sort. A bad fixed value is an error at the attribute.
template <class T, class Parse>
void readOption(Node* attribute, Parse parse, const char* message, T& fixed,
                std::unique_ptr<AttributeValueTemplate>& kept) {
  std::string_view value = attributeValue(attribute);
  auto avt = std::make_unique<AttributeValueTemplate>(value, attribute->parent());
  if (!avt->isConstant()) {
    kept = std::move(avt);
    return;
  }
  // A constant template may still have had doubled braces turned into single ones.
  String text = avt->expand(EvalContext());
  std::optional<T> parsed = parse(text.view());
  if (!parsed)
    throw StylesheetException(locationOf(attribute), String(message).append(text.view()));
  fixed = *parsed;
}

template <class T, class Parse>
T expandOption(const AttributeValueTemplate* avt, T fixed, Parse parse, const char* message,
               const EvalContext& outer, Node* element) {
  if (avt == nullptr)
    return fixed;
  EvalContext context = outer;
  context.stylesheetElement = element;
  String text = avt->expand(context);
  std::optional<T> parsed = parse(text.view());
  if (!parsed)
    throw StylesheetException(locationOf(element), String(message).append(text.view()));
  return *parsed;
}

// The value of one key for one node, in the form its comparison reads.
struct KeyValue {
  String text;
  double number = 0;
};

}  // namespace

int compareSortText(std::string_view a, std::string_view b, CaseOrder caseOrder) {
  // First the letters and other marks, case folded, white space passed over.
  std::size_t i = 0, j = 0;
  for (;;) {
    while (i < a.size() && isSpace(a[i]))
      ++i;
    while (j < b.size() && isSpace(b[j]))
      ++j;
    if (i == a.size() || j == b.size())
      break;
    char32_t x = foldCase(nextCodePoint(a, i));
    char32_t y = foldCase(nextCodePoint(b, j));
    if (x != y)
      return x < y ? -1 : 1;
  }
  if (i < a.size() || j < b.size())
    return i < a.size() ? 1 : -1;
  // Equal so far: the first letter that differs in case decides.
  i = j = 0;
  for (;;) {
    while (i < a.size() && isSpace(a[i]))
      ++i;
    while (j < b.size() && isSpace(b[j]))
      ++j;
    if (i == a.size())
      break;
    char32_t x = nextCodePoint(a, i);
    char32_t y = nextCodePoint(b, j);
    if (x != y)
      return (caseOrder == CaseOrder::UpperFirst) == isUpperCase(x) ? -1 : 1;
  }
  // Equal but for white space: the shorter first, then the one whose first difference
  // is not white space.
  for (i = 0; i < a.size() && i < b.size(); ++i) {
    if (a[i] != b[i]) {
      if (isSpace(a[i]) != isSpace(b[i]))
        return isSpace(a[i]) ? 1 : -1;
      return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
    }
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int compareSortNumbers(double a, double b) {
  if (std::isnan(a) || std::isnan(b))
    return std::isnan(a) == std::isnan(b) ? 0 : (std::isnan(a) ? -1 : 1);
  return a < b ? -1 : (a > b ? 1 : 0);
}

// ---- SortKeys ----

SortKeys::SortKeys(Node* owner) {
  for (Node* child = owner->firstChild(); child != nullptr; child = child->nextSibling()) {
    if (classify(child) == InstructionKind::Sort)
      keys_.push_back(compileKey(child));
  }
}

SortKeys::~SortKeys() = default;

SortKeys::Key SortKeys::compileKey(Node* element) const {
  Key key;
  key.element = element;
  for (Node* attribute = element->firstAttribute(); attribute != nullptr;
       attribute = attribute->rawNextSibling()) {
    if (!attribute->namespaceURI().empty())
      continue;
    std::string_view local = attribute->localName().view();
    if (local == "select") {
      key.select = compileXPath(attributeValue(attribute), element, xsltFunctions());
    } else if (local == "order") {
      readOption(attribute, parseOrder, kBadOrder, key.order, key.orderTemplate);
    } else if (local == "data-type") {
      readOption(attribute, parseDataType, kBadDataType, key.dataType, key.dataTypeTemplate);
    } else if (local == "case-order") {
      readOption(attribute, parseCaseOrder, kBadCaseOrder, key.caseOrder, key.caseOrderTemplate);
    } else if (local == "lang") {
      // Every language sorts alike here; the template is only checked.
      AttributeValueTemplate check(attributeValue(attribute), element);
    }
  }
  return key;
}

SortKeys::Options SortKeys::optionsOf(const Key& key, const EvalContext& outer) const {
  return Options{
      expandOption(key.orderTemplate.get(), key.order, parseOrder, kBadOrder, outer, key.element),
      expandOption(key.dataTypeTemplate.get(), key.dataType, parseDataType, kBadDataType, outer,
                   key.element),
      expandOption(key.caseOrderTemplate.get(), key.caseOrder, parseCaseOrder, kBadCaseOrder, outer,
                   key.element)};
}

void SortKeys::sort(NodeVector& nodes, const EvalContext& outer) const {
  if (nodes.size() < 2 || keys_.empty())
    return;
  const std::size_t count = nodes.size();
  std::vector<Options> options;
  options.reserve(keys_.size());
  // values[k * count + n]: key k of node n.
  std::vector<KeyValue> values(keys_.size() * count);
  EvalContext context = outer;
  context.size = std::int32_t(count);
  for (std::size_t k = 0; k < keys_.size(); ++k) {
    const Key& key = keys_[k];
    options.push_back(optionsOf(key, outer));
    context.stylesheetElement = key.element;
    for (std::size_t n = 0; n < count; ++n) {
      KeyValue& value = values[k * count + n];
      context.contextNode = context.currentNode = nodes[n];
      context.position = std::int32_t(n + 1);
      String text = key.select ? stringOf(key.select->evaluate(context)) : nodes[n]->stringValue();
      if (options[k].dataType == SortDataType::Number)
        value.number = numberOf(Value::makeString(std::move(text)));
      else
        value.text = std::move(text);
    }
  }
  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), std::size_t(0));
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    for (std::size_t k = 0; k < keys_.size(); ++k) {
      const KeyValue& x = values[k * count + a];
      const KeyValue& y = values[k * count + b];
      int c = options[k].dataType == SortDataType::Number
                  ? compareSortNumbers(x.number, y.number)
                  : compareSortText(x.text.view(), y.text.view(), options[k].caseOrder);
      if (c != 0)
        return options[k].order == SortOrder::Ascending ? c < 0 : c > 0;
    }
    return false;
  });
  NodeVector sorted;
  sorted.reserve(count);
  for (std::size_t index : order)
    sorted.push_back(nodes[index]);
  nodes = std::move(sorted);
}

// ---- The xsl:sort element ----

SortInstruction::SortInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  Node* parent = element->parent();
  InstructionKind owner = parent != nullptr ? classify(parent) : InstructionKind::Literal;
  if (owner != InstructionKind::ForEach && owner != InstructionKind::ApplyTemplates)
    throw StylesheetException(locationOf(element), kSortMisplaced);
  if (owner == InstructionKind::ForEach) {
    for (Node* before = element->previousSibling(); before != nullptr;
         before = before->previousSibling()) {
      if (before->kind() == NodeKind::Comment || before->kind() == NodeKind::ProcessingInstruction)
        continue;
      if (classify(before) != InstructionKind::Sort)
        throw StylesheetException(locationOf(element), kSortNotFirst);
    }
  }
  for (Node* child = element->firstChild(); child != nullptr; child = child->nextSibling()) {
    if (child->kind() != NodeKind::Comment && child->kind() != NodeKind::ProcessingInstruction)
      throw StylesheetException(locationOf(element), kSortNotEmpty);
  }
}

SortInstruction::~SortInstruction() = default;

void SortInstruction::execute(const Focus&, ResultSink&) const {}

}  // namespace ovra
