#include "xslt/number.h"

#include "base/exceptions.h"
#include "tree/location.h"
#include "xpath/parser.h"
#include "xpath/pattern.h"
#include "xpath/runtime/number_format.h"
#include "xpath/syntax.h"
#include "xslt/functions.h"
#include "xslt/transform.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace ovra {

static const char kBadLevel[] =
    "Expecting level attribute to have value 'single', 'multiple' or 'any'";

namespace {

// ---- Characters of the format string ----

// The code point at text[i], advancing i past it. A malformed sequence counts as one
// character of its lead byte, so that any byte string can be formatted.
char32_t decodeUtf8(std::string_view text, std::size_t& i) {
  auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  unsigned char lead = byte(i);
  std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (length == 1 || i + length > text.size()) {
    ++i;
    return lead;
  }
  char32_t code = lead & (0x3F >> (length - 1));
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return lead;
    }
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  i += length;
  return code;
}

void appendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool inRange(char32_t c, char32_t first, char32_t last) {
  return c >= first && c <= last;
}

// Letters and digits (the Unicode categories L and N) make format tokens; everything
// else separates them. Outside ASCII this knows the punctuation and symbol blocks
// rather than every category: a character it does not place counts as a letter.
bool isAlphanumeric(char32_t c) {
  if (c < 0x80)
    return inRange(c, '0', '9') || inRange(c, 'a', 'z') || inRange(c, 'A', 'Z');
  if (c < 0xC0)
    return c == 0xAA || c == 0xB2 || c == 0xB3 || c == 0xB5 || c == 0xB9 || c == 0xBA ||
           inRange(c, 0xBC, 0xBE);
  if (c == 0xD7 || c == 0xF7)
    return false;
  if (c < 0x2000) {
    // Combining marks, and the punctuation of the Greek, Armenian, Hebrew, Arabic,
    // Devanagari and Thai blocks.
    return !(inRange(c, 0x2C2, 0x2C5) || inRange(c, 0x2D2, 0x2DF) || inRange(c, 0x300, 0x36F) ||
             c == 0x37E || c == 0x387 || inRange(c, 0x55A, 0x55F) || c == 0x589 || c == 0x5BE ||
             c == 0x5C0 || c == 0x5C3 || c == 0x5F3 || c == 0x5F4 || c == 0x60C || c == 0x61B ||
             c == 0x61F || inRange(c, 0x66A, 0x66D) || c == 0x6D4 || c == 0x964 || c == 0x965 ||
             c == 0x970 || c == 0xE3F || c == 0xE4F || c == 0xE5A || c == 0xE5B);
  }
  if (c < 0x2C00) {
    // Punctuation, arrows, mathematical and technical symbols, box drawing, dingbats:
    // only the super- and subscript digits, the letterlike and number forms and the
    // circled numbers are letters or digits.
    return c == 0x2070 || c == 0x2071 || inRange(c, 0x2074, 0x2079) || inRange(c, 0x207F, 0x2089) ||
           inRange(c, 0x2090, 0x209C) || c == 0x2102 || c == 0x2107 || inRange(c, 0x210A, 0x2113) ||
           c == 0x2115 || inRange(c, 0x2119, 0x211D) || c == 0x2124 || c == 0x2126 || c == 0x2128 ||
           inRange(c, 0x212A, 0x212D) || inRange(c, 0x212F, 0x2139) || inRange(c, 0x213C, 0x213F) ||
           inRange(c, 0x2145, 0x2149) || c == 0x214E || inRange(c, 0x2150, 0x2189) ||
           inRange(c, 0x2460, 0x249B) || inRange(c, 0x24EA, 0x24FF) || inRange(c, 0x2776, 0x2793);
  }
  if (inRange(c, 0x3000, 0x303F))
    return inRange(c, 0x3005, 0x3007) || inRange(c, 0x3021, 0x3029) || inRange(c, 0x3031, 0x3035) ||
           inRange(c, 0x3038, 0x303C);
  if (inRange(c, 0xD800, 0xF8FF) || inRange(c, 0xFE30, 0xFE6F))
    return false;
  if (inRange(c, 0xFF00, 0xFF65))
    return inRange(c, 0xFF10, 0xFF19) || inRange(c, 0xFF21, 0xFF3A) || inRange(c, 0xFF41, 0xFF5A);
  return true;
}

// The zero digits of the decimal digit families a token may be written in.
constexpr char32_t kDigitZeros[] = {0x30,  0x660, 0x6F0,  0x7C0,  0x966,  0x9E6, 0xA66,
                                    0xAE6, 0xB66, 0xBE6,  0xC66,  0xCE6,  0xD66, 0xE50,
                                    0xED0, 0xF20, 0x1040, 0x17E0, 0x1810, 0xFF10};

// The zero of the family whose digits c belongs to, or 0.
char32_t digitZero(char32_t c) {
  for (char32_t zero : kDigitZeros) {
    if (inRange(c, zero, zero + 9))
      return zero;
  }
  return 0;
}

// An alphabet numbered a, b, ..., z, aa, ab, ...: its letters are a run of code points,
// with at most one unassigned one left out.
struct Alphabet {
  char32_t first;
  char32_t last;
  char32_t hole;  // 0 for none
};

constexpr Alphabet kAlphabets[] = {
    {'a', 'z', 0},         {'A', 'Z', 0},     {0x3B1, 0x3C9, 0},  // Greek, final sigma included
    {0x391, 0x3A9, 0x3A2}, {0x430, 0x44F, 0}, {0x410, 0x42F, 0},  // Cyrillic
};

// ---- The format string taken apart ----

struct FormatToken {
  std::u32string text;
  std::string separatorBefore;  // the run before it; empty for the first token
};

struct ParsedFormat {
  std::string prefix;
  std::vector<FormatToken> tokens;
  std::string suffix;
};

ParsedFormat parseFormat(std::string_view format) {
  ParsedFormat parsed;
  std::string run;  // the non-alphanumeric characters since the last token
  std::size_t i = 0;
  while (i < format.size()) {
    std::size_t start = i;
    char32_t c = decodeUtf8(format, i);
    if (!isAlphanumeric(c)) {
      run.append(format.substr(start, i - start));
      continue;
    }
    FormatToken token;
    token.text += c;
    while (i < format.size()) {
      std::size_t next = i;
      char32_t d = decodeUtf8(format, next);
      if (!isAlphanumeric(d))
        break;
      token.text += d;
      i = next;
    }
    if (parsed.tokens.empty())
      parsed.prefix = std::move(run);
    else
      token.separatorBefore = std::move(run);
    run.clear();
    parsed.tokens.push_back(std::move(token));
  }
  if (parsed.tokens.empty()) {
    // Without a token the whole string goes before the default one.
    parsed.prefix = std::move(run);
    parsed.tokens.push_back(FormatToken{U"1", std::string()});
  } else {
    parsed.suffix = std::move(run);
  }
  return parsed;
}

// ---- Writing one number by one token ----

// The decimal digits of a whole number, exact for any size a double holds.
std::string decimalDigits(double number) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.0f", number);
  return buffer;
}

void appendDecimal(std::string& out, double number, char32_t zero, std::size_t width,
                   const NumberFormatOptions& options) {
  std::string digits = decimalDigits(number);
  if (digits.size() < width)
    digits.insert(0, width - digits.size(), '0');
  std::size_t size = options.groupingSize > 0 ? std::size_t(options.groupingSize) : 0;
  bool grouped = size > 0 && !options.groupingSeparator.empty();
  for (std::size_t k = 0; k < digits.size(); ++k) {
    if (grouped && k > 0 && (digits.size() - k) % size == 0)
      out.append(options.groupingSeparator);
    appendUtf8(out, zero + char32_t(digits[k] - '0'));
  }
}

void appendAlphabetic(std::string& out, double number, const Alphabet& alphabet) {
  std::uint64_t size = alphabet.last - alphabet.first + 1 - (alphabet.hole != 0 ? 1 : 0);
  auto value = static_cast<std::uint64_t>(number);
  std::u32string letters;
  while (value > 0) {
    --value;
    char32_t letter = alphabet.first + char32_t(value % size);
    if (alphabet.hole != 0 && letter >= alphabet.hole)
      ++letter;
    letters += letter;
    value /= size;
  }
  for (auto it = letters.rbegin(); it != letters.rend(); ++it)
    appendUtf8(out, *it);
}

void appendRoman(std::string& out, double number, bool upper) {
  static constexpr struct {
    int value;
    const char* digits;
  } kRoman[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"},
                {90, "xc"},  {50, "l"},   {40, "xl"}, {10, "x"},   {9, "ix"},
                {5, "v"},    {4, "iv"},   {1, "i"}};
  int value = static_cast<int>(number);
  for (const auto& step : kRoman) {
    for (; value >= step.value; value -= step.value) {
      for (const char* p = step.digits; *p != '\0'; ++p)
        out += upper ? static_cast<char>(*p - 'a' + 'A') : *p;
    }
  }
}

// Roman numerals beyond this would be a long row of thousands.
constexpr double kLargestRoman = 9999;
// Letters are counted in 64 bits.
constexpr double kLargestAlphabetic = 9007199254740992.0;  // 2^53

void appendFormatted(std::string& out, double number, std::u32string_view token,
                     const NumberFormatOptions& options) {
  // A run of zeros ending in a one: decimal, padded to the token's width.
  char32_t zero = digitZero(token.back());
  if (zero != 0 && token.back() == zero + 1 &&
      std::all_of(token.begin(), token.end() - 1, [&](char32_t c) { return c == zero; })) {
    appendDecimal(out, number, zero, token.size(), options);
    return;
  }
  if (token.size() == 1 && number >= 1) {
    char32_t c = token[0];
    if ((c == 'i' || c == 'I') && number <= kLargestRoman) {
      appendRoman(out, number, c == 'I');
      return;
    }
    for (const Alphabet& alphabet : kAlphabets) {
      if (c == alphabet.first && number <= kLargestAlphabetic) {
        appendAlphabetic(out, number, alphabet);
        return;
      }
    }
  }
  appendDecimal(out, number, '0', 1, options);
}

// ---- Counting ----

bool hasSiblings(const Node* node) {
  return node->isChildKind();
}

double placeAmongSiblings(Node* node, const NodeTest& counts) {
  double place = 1;
  if (!hasSiblings(node))
    return place;
  for (Node* sibling = node->previousSibling(); sibling != nullptr;
       sibling = sibling->previousSibling()) {
    if (counts(sibling))
      ++place;
  }
  return place;
}

// The node before node in document order, attributes and namespace nodes left out
// (an attribute's own predecessor is its element); null before the root.
Node* precedingInDocumentOrder(Node* node) {
  if (!hasSiblings(node))
    return node->parent();
  Node* previous = node->previousSibling();
  if (previous == nullptr)
    return node->parent();
  // A preceding sibling is read to its end already, so its last descendant is there.
  while (Node* last = previous->lastChild())
    previous = last;
  return previous;
}

}  // namespace

std::string formatNumberList(std::span<const double> numbers, const NumberFormatOptions& options) {
  // Nothing counted writes nothing, not even the prefix and suffix.
  if (numbers.empty())
    return std::string();
  ParsedFormat parsed = parseFormat(options.format);
  std::string out = parsed.prefix;
  for (std::size_t k = 0; k < numbers.size(); ++k) {
    const FormatToken& token = parsed.tokens[std::min(k, parsed.tokens.size() - 1)];
    if (k > 0) {
      if (k < parsed.tokens.size())
        out.append(token.separatorBefore);
      else if (parsed.tokens.size() > 1)
        out.append(parsed.tokens.back().separatorBefore);
      else
        out += '.';
    }
    appendFormatted(out, numbers[k], token.text, options);
  }
  out.append(parsed.suffix);
  return out;
}

std::vector<double> countNodePlaces(Node* node, NumberLevel level, const NodeTest& counts,
                                    const NodeTest& stops, NumberMemo* memo) {
  std::vector<double> places;
  if (level == NumberLevel::Any) {
    double total = 0;
    for (Node* current = node; current != nullptr; current = precedingInDocumentOrder(current)) {
      if (memo != nullptr && current == memo->node) {
        total += memo->total;
        break;
      }
      if (stops(current))
        break;
      if (counts(current))
        ++total;
    }
    // Result trees may die while the run goes on, and a later node could take the
    // address: only nodes of read documents, which live as long as the run, are kept.
    if (memo != nullptr && node->document() != nullptr) {
      memo->node = node;
      memo->total = total;
    }
    // Nothing counted is still a number: zero.
    places.push_back(total);
    return places;
  }
  // The search ends at the nearest ancestor that matches from. For level single that
  // ancestor may itself be the one counted; for level multiple (as for level any) the
  // counting is below it.
  bool single = level == NumberLevel::Single;
  for (Node* ancestor = node; ancestor != nullptr; ancestor = ancestor->parent()) {
    if (!single && stops(ancestor))
      break;
    if (counts(ancestor)) {
      places.push_back(placeAmongSiblings(ancestor, counts));
      if (single)
        break;
    }
    if (single && stops(ancestor))
      break;
  }
  std::reverse(places.begin(), places.end());
  return places;
}

// ---- The instruction ----

NumberInstruction::NumberInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  for (Node* attribute = element->firstAttribute(); attribute != nullptr;
       attribute = attribute->rawNextSibling()) {
    if (!attribute->namespaceURI().empty())
      continue;
    std::string_view name = attribute->localName().view();
    if (name == "level") {
      std::string_view value = attributeValue(attribute);
      if (value == "single")
        level_ = NumberLevel::Single;
      else if (value == "multiple")
        level_ = NumberLevel::Multiple;
      else if (value == "any")
        level_ = NumberLevel::Any;
      else
        throw StylesheetException(locationOf(attribute), kBadLevel);
    } else if (name == "count") {
      count_ = compileNumberPattern(attribute);
    } else if (name == "from") {
      from_ = compileNumberPattern(attribute);
    } else if (name == "value") {
      value_ = reportedAt(attribute, [&] { return compileExpression(attribute); });
    } else if (name == "format") {
      format_ = compileTemplate(attribute);
    } else if (name == "grouping-separator") {
      groupingSeparator_ = compileTemplate(attribute);
    } else if (name == "grouping-size") {
      groupingSize_ = compileTemplate(attribute);
    } else if (name == "lang" || name == "letter-value") {
      // Only the numbering of the format tokens themselves is known, the same in every
      // language; traditional numbering falls back to it.
      compileTemplate(attribute);
    }
  }
}

NumberInstruction::~NumberInstruction() = default;

std::unique_ptr<PatternMatcher> NumberInstruction::compileNumberPattern(const Node* attribute) {
  // A variable or current() may change between calls; telling them from a name that
  // merely contains "current" is not worth it.
  std::string_view text = attributeValue(attribute);
  if (text.find('$') != std::string_view::npos || text.find("current") != std::string_view::npos)
    samePatternsEveryCall_ = false;
  return reportedAt(attribute, [&] {
    std::unique_ptr<SyntaxNode> pattern =
        parseXPath(attributeValue(attribute), element(), xsltFunctions());
    return pattern->compilePattern();
  });
}

std::unique_ptr<AttributeValueTemplate>
NumberInstruction::compileTemplate(const Node* attribute) const {
  return reportedAt(attribute, [&] {
    return std::make_unique<AttributeValueTemplate>(attributeValue(attribute), element());
  });
}

std::string NumberInstruction::expanded(const AttributeValueTemplate* avt,
                                        const EvalContext& context, std::string_view fallback) {
  if (avt == nullptr)
    return std::string(fallback);
  return std::string(avt->expand(context).view());
}

bool NumberInstruction::sameKindAndName(const Node* node, const Node* current) {
  if (node->kind() != current->kind())
    return false;
  switch (node->kind()) {
  case NodeKind::Element:
  case NodeKind::Attribute:
    return node->localName() == current->localName() &&
           node->namespaceURI() == current->namespaceURI();
  case NodeKind::Namespace:
    return node->localName() == current->localName();
  case NodeKind::ProcessingInstruction:
    return std::strcmp(static_cast<const ProcessingInstructionNode*>(node)->target(),
                       static_cast<const ProcessingInstructionNode*>(current)->target()) == 0;
  case NodeKind::Root:
  case NodeKind::Text:
  case NodeKind::Comment:
    return true;
  }
  return true;
}

// The size is a whole number of digits; anything else turns grouping off.
static std::int32_t readGroupingSize(std::string_view text) {
  double size = parseNumber(text);
  if (!(size >= 1) || size > 1000000 || size != std::floor(size))
    return 0;
  return static_cast<std::int32_t>(size);
}

void NumberInstruction::execute(const Focus& focus, ResultSink& sink) const {
  std::string text;
  try {
    EvalContext context = evalContext(focus, sink);
    std::vector<double> numbers;
    if (value_) {
      double number;
      if (value_->returnsNodeSet()) {
        // Only the first node counts: read no further.
        Node* first = value_->selectFirst(context);
        number = first == nullptr ? std::nan("") : parseNumber(first->stringValue().view());
      } else {
        Value scratch;
        number = numberOf(valueOf(*value_, context, scratch));
      }
      // What cannot be numbered from one on is written as the number's string.
      if (std::isnan(number) || std::isinf(number) || number < 0.5) {
        String string = formatNumber(number);
        sink.writeValue(Value::makeString(std::move(string)), false);
        return;
      }
      numbers.push_back(std::floor(number + 0.5));
    } else {
      Node* current = focus.node;
      NodeTest counts = [&](Node* node) {
        return count_ ? count_->matches(node, context) : sameKindAndName(node, current);
      };
      NodeTest stops = [&](Node* node) { return from_ && from_->matches(node, context); };
      NumberMemo* memo = nullptr;
      if (level_ == NumberLevel::Any && samePatternsEveryCall_) {
        memo = &sink.run().numberMemo(this);
        // Without a count pattern what counts depends on the node numbered.
        if (!count_ && memo->node != nullptr && !sameKindAndName(memo->node, current))
          *memo = NumberMemo{};
      }
      numbers = countNodePlaces(current, level_, counts, stops, memo);
    }
    std::string format = expanded(format_.get(), context, "1");
    std::string separator = expanded(groupingSeparator_.get(), context, "");
    std::string size = expanded(groupingSize_.get(), context, "");
    NumberFormatOptions options;
    options.format = format;
    if (groupingSeparator_ && groupingSize_) {
      options.groupingSeparator = separator;
      options.groupingSize = readGroupingSize(size);
    }
    text = formatNumberList(numbers, options);
  } catch (const StylesheetException&) {
    throw;
  } catch (const XSLException& error) {
    throw StylesheetException(locationOf(element()), error);
  }
  // Empty text is not written: it would close a start tag that attributes may follow.
  if (!text.empty())
    sink.writeValue(Value::makeString(String(std::string_view(text))), false);
}

}  // namespace ovra
