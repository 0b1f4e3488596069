// The function registry and the XPath core functions. Every implementation builds its
// result from its arguments and the evaluation context alone and keeps no state between
// calls (translate() keeps its last table, which depends on the arguments alone).
#include "xpath/runtime/functions.h"

#include "base/exceptions.h"
#include "tree/document.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "tree/text_buffer.h"
#include "xpath/runtime/number_format.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ovra {

// ---- Argument lists ----

ArgumentList::ArgumentList(std::initializer_list<Value> values) {
  reserve(values.size());
  for (const Value& value : values)
    push_back(value);
}

ArgumentList::ArgumentList(const ArgumentList& other) {
  reserve(other.size());
  for (const Value& value : other)
    push_back(value);
}

ArgumentList::~ArgumentList() {
  auto* values = reinterpret_cast<Value*>(inlineValues_);
  for (std::size_t i = 0; i < inlineCount_; ++i)
    values[i].~Value();
}

void ArgumentList::Items::reserve(std::size_t count) {
  if (count <= capacity_)
    return;
  auto grown = std::make_unique<const Value*[]>(count);
  std::copy(data_, data_ + size_, grown.get());
  heap_ = std::move(grown);
  data_ = heap_.get();
  capacity_ = count;
}

void ArgumentList::reserve(std::size_t count) {
  items_.reserve(count);
}

Value* ArgumentList::holdInline(Value value) {
  auto* values = reinterpret_cast<Value*>(inlineValues_);
  return ::new (static_cast<void*>(values + inlineCount_++)) Value(std::move(value));
}

void ArgumentList::push_back(Value value) {
  if (inlineCount_ < kInline) {
    items_.push_back(holdInline(std::move(value)));
    return;
  }
  moreValues_.push_back(std::make_unique<Value>(std::move(value)));
  items_.push_back(moreValues_.back().get());
}

void ArgumentList::borrow(const Value& value) {
  items_.push_back(&value);
}

namespace {

constexpr const char* kCountNotNodeSet = "You can only count the members of a nodeset";
constexpr const char* kSumNotNodeSet = "You can only sum the members of a nodeset";

// ---- Shared helpers ----

// The node a name or id function is about: its argument's first member, or the context
// node when the optional argument is missing.
Node* subjectNode(const EvalContext& context, const ArgumentList& args) {
  return args.empty() ? context.contextNode : firstNode(args[0]);
}

// The string of the argument, or the context node's string value when it is missing.
String stringArgument(const EvalContext& context, const ArgumentList& args) {
  if (!args.empty())
    return stringOf(args[0]);
  return context.contextNode ? context.contextNode->stringValue() : String();
}

// Walks text one UTF-8 character at a time; a sequence cut short by the end of the text
// is one character.
std::string_view nextChar(std::string_view text, std::size_t offset) {
  std::size_t length = utf8CharLength(static_cast<unsigned char>(text[offset]));
  return text.substr(offset, length);
}

std::size_t countChars(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t offset = 0; offset < text.size(); offset += nextChar(text, offset).size())
    ++count;
  return count;
}

Value makeText(std::string_view text) {
  return Value::makeString(String(text));
}

// ---- Booleans and numbers ----

Value trueFunction(const Token&, const EvalContext&, ArgumentList&) {
  return Value::makeBoolean(true);
}

Value falseFunction(const Token&, const EvalContext&, ArgumentList&) {
  return Value::makeBoolean(false);
}

Value booleanFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return Value::makeBoolean(booleanOf(args[0]));
}

Value notFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return Value::makeBoolean(!booleanOf(args[0]));
}

Value numberFunction(const Token&, const EvalContext& context, ArgumentList& args) {
  if (!args.empty())
    return Value::makeNumber(numberOf(args[0]));
  return Value::makeNumber(parseNumber(stringArgument(context, args).view()));
}

Value floorFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return Value::makeNumber(std::floor(numberOf(args[0])));
}

Value ceilingFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return Value::makeNumber(std::ceil(numberOf(args[0])));
}

// Halves go toward positive infinity: round(-2.5) is -2. Not floor(x + 0.5), whose sum
// rounds up for the double just below 0.5; and -0.5 <= x < 0 gives negative zero.
double roundHalfUp(double x) {
  double below = std::floor(x);  // NaN and the infinities stay as they are
  double rounded = x - below >= 0.5 ? below + 1 : below;
  return rounded == 0 && std::signbit(x) ? -0.0 : rounded;
}

Value roundFunction(const Token&, const EvalContext&, ArgumentList& args) {
  return Value::makeNumber(roundHalfUp(numberOf(args[0])));
}

Value countFunction(const Token& call, const EvalContext&, ArgumentList& args) {
  const Value& set = args[0];
  if (set.kind() != ValueKind::NodeSet)
    throw EvaluateException(call.position, kCountNotNodeSet);
  return Value::makeNumber(double(set.nodes().size()));
}

Value sumFunction(const Token& call, const EvalContext&, ArgumentList& args) {
  const Value& set = args[0];
  if (set.kind() != ValueKind::NodeSet)
    throw EvaluateException(call.position, kSumNotNodeSet);
  double sum = 0;
  for (Node* node : set.nodes())
    sum += numberOfNode(node);
  return Value::makeNumber(sum);
}

Value positionFunction(const Token&, const EvalContext& context, ArgumentList&) {
  return Value::makeNumber(context.position);
}

// Whoever builds a context that may reach last() knows its size: expressions asking for
// it make paths gather their predicates' node lists, and node lists be counted first.
Value lastFunction(const Token&, const EvalContext& context, ArgumentList&) {
  return Value::makeNumber(context.size);
}

// ---- Strings ----

Value stringFunction(const Token&, const EvalContext& context, ArgumentList& args) {
  return Value::makeString(stringArgument(context, args));
}

// The pieces are measured first, so the result is built in one allocation.
Value concatFunction(const Token&, const EvalContext&, ArgumentList& args) {
  constexpr std::size_t kInlinePieces = 8;
  String inlineScratch[kInlinePieces];
  std::string_view inlinePieces[kInlinePieces];
  std::vector<String> moreScratch;
  std::vector<std::string_view> morePieces;
  String* scratch = inlineScratch;
  std::string_view* pieces = inlinePieces;
  if (args.size() > kInlinePieces) {
    moreScratch.resize(args.size());
    morePieces.resize(args.size());
    scratch = moreScratch.data();
    pieces = morePieces.data();
  }
  std::size_t total = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    pieces[i] = stringView(args[i], scratch[i]);
    total += pieces[i].size();
  }
  String result;
  char* out = result.prepare(total);
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (!pieces[i].empty())
      std::memcpy(out, pieces[i].data(), pieces[i].size());
    out += pieces[i].size();
  }
  return Value::makeString(std::move(result));
}

Value containsFunction(const Token&, const EvalContext&, ArgumentList& args) {
  StringArg text(args[0]);
  StringArg needle(args[1]);
  return Value::makeBoolean(findSubstring(text.view(), needle.view()) != -1);
}

Value startsWithFunction(const Token&, const EvalContext&, ArgumentList& args) {
  StringArg text(args[0]);
  StringArg prefix(args[1]);
  return Value::makeBoolean(text.view().starts_with(prefix.view()));
}

Value substringBeforeFunction(const Token&, const EvalContext&, ArgumentList& args) {
  StringArg text(args[0]);
  StringArg needle(args[1]);
  std::ptrdiff_t index = findSubstring(text.view(), needle.view());
  if (index == -1)
    return Value::makeString(String());
  return makeText(text.view().substr(0, std::size_t(index)));
}

Value substringAfterFunction(const Token&, const EvalContext&, ArgumentList& args) {
  StringArg text(args[0]);
  StringArg needle(args[1]);
  std::ptrdiff_t index = findSubstring(text.view(), needle.view());
  if (index == -1)
    return Value::makeString(String());
  return makeText(text.view().substr(std::size_t(index) + needle.view().size()));
}

Value stringLengthFunction(const Token&, const EvalContext& context, ArgumentList& args) {
  StringArg text(context, args);
  return Value::makeNumber(double(countChars(text.view())));
}

// The characters at 1-based positions k with round(start) <= k < round(start) +
// round(length), compared in doubles as XPath defines: NaN bounds select nothing and the
// infinities reach as far as they point.
Value substringFunction(const Token&, const EvalContext&, ArgumentList& args) {
  StringArg text(args[0]);
  std::string_view view = text.view();
  double first = std::floor(numberOf(args[1]) + 0.5);
  bool bounded = args.size() > 2;
  double end = bounded ? first + std::floor(numberOf(args[2]) + 0.5) : 0;

  std::size_t begin = view.size();
  std::size_t stop = view.size();
  double position = 1;
  for (std::size_t offset = 0; offset < view.size(); position += 1) {
    bool inside = position >= first && (!bounded || position < end);
    if (inside && begin == view.size()) {
      begin = offset;
      // Without a length the rest is inside too: no need to walk it.
      if (!bounded)
        break;
    }
    if (!inside && begin != view.size()) {
      stop = offset;
      break;
    }
    offset += nextChar(view, offset).size();
  }
  if (begin >= stop)
    return Value::makeString(String());
  return makeText(view.substr(begin, stop - begin));
}

// Only space, tab, line feed and carriage return count as white space.
Value normalizeSpaceFunction(const Token&, const EvalContext& context, ArgumentList& args) {
  StringArg text(context, args);
  std::string_view view = text.view();
  // One pass measures, the second writes into a String of exactly that length.
  auto normalize = [view](char* out) {
    std::size_t length = 0;
    bool pendingSpace = false;
    for (char c : view) {
      if (isXmlSpace(c)) {
        pendingSpace = length != 0;
        continue;
      }
      if (pendingSpace) {
        if (out != nullptr)
          out[length] = ' ';
        ++length;
      }
      pendingSpace = false;
      if (out != nullptr)
        out[length] = c;
      ++length;
    }
    return length;
  };
  String result;
  normalize(result.prepare(normalize(nullptr)));
  return Value::makeString(std::move(result));
}

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 128; });
}

// translate() where from and to are all ASCII, the usual case: every byte of the text
// maps on its own (the bytes of longer characters never occur in from), by one table.
Value translateAscii(std::string_view view, std::string_view from, std::string_view to) {
  constexpr std::int16_t kDeleted = -1;
  std::array<std::int16_t, 128> table;
  for (std::size_t c = 0; c < table.size(); ++c)
    table[c] = std::int16_t(c);
  std::array<bool, 128> mapped{};
  bool deletes = false;
  for (std::size_t i = 0; i < from.size(); ++i) {
    auto c = static_cast<unsigned char>(from[i]);
    if (mapped[c])
      continue;  // the first mapping wins
    mapped[c] = true;
    table[c] = i < to.size() ? std::int16_t(to[i]) : kDeleted;
    deletes = deletes || i >= to.size();
  }
  auto entry = [&table](char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte < 128 ? table[byte] : std::int16_t(byte);
  };
  std::size_t length = view.size();
  if (deletes)
    length -= std::size_t(
        std::count_if(view.begin(), view.end(), [&](char c) { return entry(c) == kDeleted; }));
  String result;
  char* out = result.prepare(length);
  for (char c : view) {
    std::int16_t mappedTo = entry(c);
    if (mappedTo != kDeleted)
      *out++ = char(mappedTo);
  }
  return Value::makeString(std::move(result));
}

// translate() beyond ASCII: each character of from, its UTF-8 bytes packed into one
// number, with its partner in to, sorted for a binary search. DocBook's index translates
// every entry with the same two strings of some 800 characters, so the last table built
// is kept (per thread) and reused while from and to are the same texts.
class TranslationTable {
 public:
  bool isFor(std::string_view from, std::string_view to) const {
    return built_ && from == from_ && to == to_;
  }

  void build(std::string_view from, std::string_view to) {
    from_.assign(from);
    to_.assign(to);
    entries_.clear();
    std::size_t toOffset = 0;
    for (std::size_t offset = 0, order = 0; offset < from_.size(); ++order) {
      std::string_view character = nextChar(from_, offset);
      offset += character.size();
      Entry entry{pack(character), std::uint32_t(order), std::uint32_t(toOffset), 0};
      if (toOffset < to_.size()) {
        entry.toLength = std::uint8_t(nextChar(to_, toOffset).size());
        toOffset += entry.toLength;
      }
      entries_.push_back(entry);
    }
    // The first mapping of a character wins.
    std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
      return a.character != b.character ? a.character < b.character : a.order < b.order;
    });
    entries_.erase(std::unique(entries_.begin(), entries_.end(),
                               [](const Entry& a, const Entry& b) {
                                 return a.character == b.character;
                               }),
                   entries_.end());
    built_ = true;
  }

  // A character without a partner in to is deleted.
  void translate(std::string_view text, TextBuffer& buffer) const {
    for (std::size_t offset = 0; offset < text.size();) {
      std::string_view character = nextChar(text, offset);
      offset += character.size();
      std::uint32_t packed = pack(character);
      auto found = std::lower_bound(
          entries_.begin(), entries_.end(), packed,
          [](const Entry& entry, std::uint32_t key) { return entry.character < key; });
      if (found == entries_.end() || found->character != packed)
        buffer.write(character);
      else if (found->toLength != 0)
        buffer.write(std::string_view(to_).substr(found->toOffset, found->toLength));
    }
  }

 private:
  struct Entry {
    std::uint32_t character;
    std::uint32_t order;  // in from
    std::uint32_t toOffset;
    std::uint8_t toLength;  // 0: deleted
  };

  // One to four bytes whose length the first one tells: distinct characters pack to
  // distinct numbers, a sequence cut short included.
  static std::uint32_t pack(std::string_view character) {
    std::uint32_t packed = 0;
    for (char c : character)
      packed = (packed << 8) | static_cast<unsigned char>(c);
    return packed;
  }

  bool built_ = false;
  std::string from_;
  std::string to_;
  std::vector<Entry> entries_;
};

Value translateFunction(const Token&, const EvalContext&, ArgumentList& args) {
  StringArg text(args[0]);
  StringArg fromText(args[1]);
  StringArg toText(args[2]);
  std::string_view from = fromText.view();
  std::string_view to = toText.view();
  if (isAscii(from) && isAscii(to))
    return translateAscii(text.view(), from, to);
  thread_local TranslationTable table;
  if (!table.isFor(from, to))
    table.build(from, to);
  TextBuffer buffer;
  table.translate(text.view(), buffer);
  return Value::makeString(buffer.toString());
}

// ---- Nodes and names ----

Value localNameFunction(const Token&, const EvalContext& context, ArgumentList& args) {
  Node* node = subjectNode(context, args);
  if (node == nullptr)
    return Value::makeString(String());
  if (node->kind() == NodeKind::ProcessingInstruction)
    return makeText(static_cast<ProcessingInstructionNode*>(node)->target());
  return makeText(node->localName().view());
}

// The qualified name as written: the prefix the loader restored, a colon and the local
// name; a processing instruction's target; a namespace node's prefix.
Value nameFunction(const Token&, const EvalContext& context, ArgumentList& args) {
  Node* node = subjectNode(context, args);
  if (node == nullptr)
    return Value::makeString(String());
  switch (node->kind()) {
  case NodeKind::Element:
  case NodeKind::Attribute: {
    String name(node->prefix());
    if (!name.empty())
      name.append(":");
    name.append(node->localName());
    return Value::makeString(std::move(name));
  }
  case NodeKind::ProcessingInstruction:
    return makeText(static_cast<ProcessingInstructionNode*>(node)->target());
  case NodeKind::Namespace:
    return makeText(node->localName().view());
  case NodeKind::Root:
  case NodeKind::Text:
  case NodeKind::Comment:
    return Value::makeString(String());
  }
  return Value::makeString(String());
}

// Only elements and attributes have one: a namespace node's expanded name has no
// namespace, although the node holds the name it declares.
Value namespaceUriFunction(const Token&, const EvalContext& context, ArgumentList& args) {
  Node* node = subjectNode(context, args);
  if (node == nullptr || (node->kind() != NodeKind::Element && node->kind() != NodeKind::Attribute))
    return Value::makeString(String());
  return makeText(node->namespaceURI().view());
}

// ---- Identifiers and languages ----

// The elements of the context node's document whose ID-typed attribute (as the internal
// DTD subset declares) has one of the argument's tokens; for a node-set, the tokens of
// every member's string value.
Value idFunction(const Token&, const EvalContext& context, ArgumentList& args) {
  Document* document = context.contextNode != nullptr ? context.contextNode->document() : nullptr;
  if (document == nullptr)
    return Value::makeNodeSet(NodeVector());
  NodeVector found;
  auto find = [&](std::string_view token) {
    if (Node* element = document->elementById(token))
      found.push_back(element);
  };
  const Value& argument = args[0];
  if (argument.kind() == ValueKind::NodeSet) {
    for (Node* member : nodeMembers(argument))
      forEachToken(member->stringValue().view(), find);
  } else {
    StringArg text(argument);
    forEachToken(text.view(), find);
  }
  if (found.size() > 1) {
    std::sort(found.begin(), found.end(), precedesInDocumentOrder);
    found.erase(std::unique(found.begin(), found.end()), found.end());
  }
  return Value::makeNodeSet(std::move(found));
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

// Whether the nearest xml:lang on the context node or its ancestors names the language
// of the argument or a sublanguage of it ("en" holds for "en-GB"), ignoring case.
Value langFunction(const Token&, const EvalContext& context, ArgumentList& args) {
  StringArg wanted(args[0]);
  std::string_view language = wanted.view();
  for (Node* node = context.contextNode; node != nullptr; node = node->parent()) {
    for (Node* attribute = node->firstAttribute(); attribute != nullptr;
         attribute = attribute->rawNextSibling()) {
      if (attribute->namespaceURI() != xmlNamespaceName() ||
          attribute->localName().view() != "lang")
        continue;
      const char* value = static_cast<AttributeNode*>(attribute)->value();
      std::string_view declared = value != nullptr ? std::string_view(value) : std::string_view();
      if (declared.size() > language.size() && declared[language.size()] == '-')
        declared = declared.substr(0, language.size());
      return Value::makeBoolean(equalsIgnoringCase(declared, language));
    }
  }
  return Value::makeBoolean(false);
}

// ---- Table ----

constexpr FunctionResult kNodeSet = FunctionResult::NodeSet;
constexpr FunctionResult kNumber = FunctionResult::Number;
constexpr FunctionResult kString = FunctionResult::String;
constexpr FunctionResult kBoolean = FunctionResult::Boolean;

// concat() takes any number of arguments from two on.
constexpr std::uint32_t kUnbounded = std::numeric_limits<std::uint32_t>::max();

constexpr NamedFunction kCoreFunctions[] = {
    {"boolean", {1, 1, booleanFunction, kBoolean}},
    {"ceiling", {1, 1, ceilingFunction, kNumber}},
    {"concat", {2, kUnbounded, concatFunction, kString}},
    {"contains", {2, 2, containsFunction, kBoolean}},
    {"count", {1, 1, countFunction, kNumber}},
    {"false", {0, 0, falseFunction, kBoolean}},
    {"floor", {1, 1, floorFunction, kNumber}},
    {"id", {1, 1, idFunction, kNodeSet}},
    {"lang", {1, 1, langFunction, kBoolean}},
    {"last", {0, 0, lastFunction, kNumber, ContextUse::Size}},
    {"local-name", {0, 1, localNameFunction, kString}},
    {"name", {0, 1, nameFunction, kString}},
    {"namespace-uri", {0, 1, namespaceUriFunction, kString}},
    {"normalize-space", {0, 1, normalizeSpaceFunction, kString}},
    {"not", {1, 1, notFunction, kBoolean}},
    {"number", {0, 1, numberFunction, kNumber}},
    {"position", {0, 0, positionFunction, kNumber, ContextUse::Position}},
    {"round", {1, 1, roundFunction, kNumber}},
    {"starts-with", {2, 2, startsWithFunction, kBoolean}},
    {"string", {0, 1, stringFunction, kString}},
    {"string-length", {0, 1, stringLengthFunction, kNumber}},
    {"substring", {2, 3, substringFunction, kString}},
    {"substring-after", {2, 2, substringAfterFunction, kString}},
    {"substring-before", {2, 2, substringBeforeFunction, kString}},
    {"sum", {1, 1, sumFunction, kNumber}},
    {"translate", {3, 3, translateFunction, kString}},
    {"true", {0, 0, trueFunction, kBoolean}},
};
static_assert(std::size(kCoreFunctions) == 27);

}  // namespace

// ---- Helpers for implementations ----

Node* firstNode(const Value& value) {
  if (value.kind() == ValueKind::NodeSet)
    return value.nodes().empty() ? nullptr : value.nodes().front();
  return nullptr;
}

std::span<Node* const> nodeMembers(const Value& value) {
  if (value.kind() == ValueKind::NodeSet)
    return {value.nodes().begin(), value.nodes().end()};
  return {};
}

StringArg::StringArg(const EvalContext& context, const ArgumentList& args) {
  if (!args.empty()) {
    view_ = stringView(args[0], scratch_);
    return;
  }
  if (context.contextNode != nullptr)
    scratch_ = context.contextNode->stringValue();
  view_ = scratch_.view();
}

// ---- The registry ----

// Room for the core, XSLT and EXSLT functions without growing.
FunctionRegistry::FunctionRegistry() {
  entries_.reserve(64);
}

std::string FunctionRegistry::keyOf(std::string_view namespaceURI, std::string_view localName) {
  std::string key(localName);
  if (!namespaceURI.empty()) {
    key.push_back('\0');
    key.append(namespaceURI);
  }
  return key;
}

void FunctionRegistry::add(std::string_view namespaceURI, std::string_view localName,
                           const FunctionEntry& entry) {
  entries_.insert_or_assign(keyOf(namespaceURI, localName), entry);
}

void FunctionRegistry::add(std::string_view namespaceURI,
                           std::span<const NamedFunction> functions) {
  for (const NamedFunction& function : functions)
    add(namespaceURI, function.localName, function.entry);
}

const FunctionEntry* FunctionRegistry::find(std::string_view namespaceURI,
                                            std::string_view localName) const {
  auto found = namespaceURI.empty() ? entries_.find(localName)
                                    : entries_.find(keyOf(namespaceURI, localName));
  return found == entries_.end() ? nullptr : &found->second;
}

void registerCoreFunctions(FunctionRegistry& registry) {
  registry.add("", kCoreFunctions);
}

const FunctionRegistry& coreFunctions() {
  static const FunctionRegistry registry = [] {
    FunctionRegistry core;
    registerCoreFunctions(core);
    return core;
  }();
  return registry;
}

bool isCountFunction(XPathFunction function) {
  return function == countFunction;
}

bool isPositionFunction(XPathFunction function) {
  return function == positionFunction;
}

bool isBooleanFunction(XPathFunction function) {
  return function == booleanFunction;
}

bool isNotFunction(XPathFunction function) {
  return function == notFunction;
}

std::size_t utf8CharLength(unsigned char lead) {
  if (lead >= 0xC0 && lead <= 0xDF)
    return 2;
  if (lead >= 0xE0 && lead <= 0xEF)
    return 3;
  if (lead >= 0xF0 && lead <= 0xF7)
    return 4;
  return 1;
}

std::ptrdiff_t findSubstring(std::string_view text, std::string_view needle) {
  std::size_t index = text.find(needle);
  return index == std::string_view::npos ? -1 : std::ptrdiff_t(index);
}

}  // namespace ovra
