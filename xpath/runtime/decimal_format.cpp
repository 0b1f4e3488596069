// The pattern is read the way java.text.DecimalFormat.applyPattern reads it, and the
// number written the way DecimalFormat.format writes a double without exponent: the
// results users compare with are those of Java-based XSLT processors.
#include "xpath/runtime/decimal_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>
#include <vector>

namespace ovra {

static const char kMalformedPattern[] = "Malformed format-number pattern";
static const char kMisplacedZero[] = "Unexpected zero digit in format-number pattern";
static const char kTwoDecimalSeparators[] = "Multiple decimal separators in format-number pattern";
static const char kTwoMultipliers[] =
    "Too many percent or per-mille characters in format-number pattern";
static const char kUnquotedSpecial[] = "Unquoted special character in format-number pattern";
static const char kUnclosedQuote[] = "Unclosed quote in format-number pattern";

namespace {

// A double has at most this many fraction digits worth writing.
constexpr int kMaxFractionDigits = 340;
constexpr char32_t kCurrencySign = U'\u00A4';

std::u32string decodeUtf8(std::string_view text) {
  std::u32string chars;
  chars.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80    ? 1
                         : lead >= 0xF0 ? 4
                         : lead >= 0xE0 ? 3
                         : lead >= 0xC0 ? 2
                                        : 1;
    if (i + length > text.size())
      length = 1;
    char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (std::size_t k = 1; k < length; ++k)
      c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    chars.push_back(c);
    i += length;
  }
  return chars;
}

// What the positive subpattern says about the digits, and the affixes of both.
struct Pattern {
  std::string positivePrefix;
  std::string positiveSuffix;
  std::string negativePrefix;
  std::string negativeSuffix;
  bool hasNegative = false;
  int minIntegerDigits = 1;
  int minFractionDigits = 0;
  int maxFractionDigits = 0;
  int groupingSize = 0;  // 0: no grouping
  int multiplier = 1;
  bool decimalAlwaysShown = false;
};

const char* parsePattern(const std::u32string& text, const DecimalFormat& format, Pattern& out) {
  std::size_t pos = 0;
  for (int sub = 0; sub < 2 && pos < text.size(); ++sub) {
    std::string prefix;
    std::string suffix;
    std::string* affix = &prefix;
    bool inQuote = false;
    int phase = 0;  // 0 prefix, 1 number, 2 suffix
    int digitLeft = 0;
    int zeroCount = 0;
    int digitRight = 0;
    int groupingCount = -1;
    int decimalPos = -1;
    int multiplier = 1;
    bool ended = false;
    for (; pos < text.size() && !ended; ++pos) {
      char32_t c = text[pos];
      if (phase == 1) {
        if (c == format.digit) {
          if (zeroCount > 0)
            ++digitRight;
          else
            ++digitLeft;
          if (groupingCount >= 0 && decimalPos < 0)
            ++groupingCount;
          continue;
        }
        if (c == format.zeroDigit) {
          if (digitRight > 0)
            return kMisplacedZero;
          ++zeroCount;
          if (groupingCount >= 0 && decimalPos < 0)
            ++groupingCount;
          continue;
        }
        if (c == format.groupingSeparator) {
          groupingCount = 0;
          continue;
        }
        if (c == format.decimalSeparator) {
          if (decimalPos >= 0)
            return kTwoDecimalSeparators;
          decimalPos = digitLeft + zeroCount + digitRight;
          continue;
        }
        phase = 2;
        affix = &suffix;
      }
      if (inQuote) {
        if (c == U'\'') {
          if (pos + 1 < text.size() && text[pos + 1] == U'\'') {
            ++pos;
            affix->push_back('\'');
          } else {
            inQuote = false;
          }
          continue;
        }
        appendUtf8(*affix, c);
        continue;
      }
      if (c == format.digit || c == format.zeroDigit || c == format.groupingSeparator ||
          c == format.decimalSeparator) {
        if (phase == 2)
          return kUnquotedSpecial;
        phase = 1;
        --pos;
        continue;
      }
      if (c == U'\'') {
        if (pos + 1 < text.size() && text[pos + 1] == U'\'') {
          ++pos;
          affix->push_back('\'');
        } else {
          inQuote = true;
        }
        continue;
      }
      if (c == format.patternSeparator) {
        if (phase == 0 || sub == 1)
          return kUnquotedSpecial;
        ended = true;
        continue;
      }
      // The currency sign stands for the currency of a US locale, as in Java there.
      if (c == kCurrencySign) {
        bool doubled = pos + 1 < text.size() && text[pos + 1] == kCurrencySign;
        pos += doubled ? 1 : 0;
        *affix += doubled ? "USD" : "$";
        continue;
      }
      if (c == format.percent || c == format.perMille) {
        if (multiplier != 1)
          return kTwoMultipliers;
        multiplier = c == format.percent ? 100 : 1000;
      }
      appendUtf8(*affix, c);
    }
    if (inQuote)
      return kUnclosedQuote;
    if (sub == 1) {
      out.hasNegative = true;
      out.negativePrefix = std::move(prefix);
      out.negativeSuffix = std::move(suffix);
      break;
    }
    // "#.##" and ".##": the digit before the point counts as a zero digit.
    if (zeroCount == 0 && digitLeft > 0 && decimalPos >= 0) {
      int n = decimalPos == 0 ? 1 : decimalPos;
      digitRight = digitLeft - n;
      digitLeft = n - 1;
      zeroCount = 1;
    }
    if ((decimalPos < 0 && digitRight > 0) ||
        (decimalPos >= 0 && (decimalPos < digitLeft || decimalPos > digitLeft + zeroCount)) ||
        groupingCount == 0)
      return kMalformedPattern;
    int total = digitLeft + zeroCount + digitRight;
    int effectiveDecimal = decimalPos >= 0 ? decimalPos : total;
    out.positivePrefix = std::move(prefix);
    out.positiveSuffix = std::move(suffix);
    out.minIntegerDigits = effectiveDecimal - digitLeft;
    out.maxFractionDigits = std::min(decimalPos >= 0 ? total - decimalPos : 0, kMaxFractionDigits);
    out.minFractionDigits =
        std::min(decimalPos >= 0 ? digitLeft + zeroCount - decimalPos : 0, out.maxFractionDigits);
    out.groupingSize = groupingCount > 0 ? groupingCount : 0;
    out.multiplier = multiplier;
    out.decimalAlwaysShown = decimalPos == 0 || decimalPos == total;
  }
  // A negative subpattern that adds nothing to the positive one gets the minus sign.
  if (!out.hasNegative ||
      (out.negativePrefix == out.positivePrefix && out.negativeSuffix == out.positiveSuffix)) {
    out.negativePrefix.clear();
    appendUtf8(out.negativePrefix, format.minusSign);
    out.negativePrefix += out.positivePrefix;
    out.negativeSuffix = out.positiveSuffix;
  }
  return nullptr;
}

}  // namespace

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(char(c));
  } else if (c < 0x800) {
    out.push_back(char(0xC0 | (c >> 6)));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(char(0xE0 | (c >> 12)));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (c >> 18)));
    out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(char(0x80 | (c & 0x3F)));
  }
}

const char* formatDecimal(double number, std::string_view patternText, const DecimalFormat& format,
                          std::string& out) {
  out.clear();
  Pattern pattern;
  if (const char* fault = parsePattern(decodeUtf8(patternText), format, pattern))
    return fault;
  if (std::isnan(number)) {
    out = format.notANumber;
    return nullptr;
  }
  // Negative zero is negative, as in Java.
  bool negative = std::signbit(number);
  double value = std::fabs(number) * pattern.multiplier;
  out = negative ? pattern.negativePrefix : pattern.positivePrefix;
  const std::string& suffix = negative ? pattern.negativeSuffix : pattern.positiveSuffix;
  if (std::isinf(value)) {
    out += format.infinity;
    out += suffix;
    return nullptr;
  }

  // The exact value rounded half-even to the most fraction digits the pattern allows.
  std::vector<char> buffer(std::size_t(330 + pattern.maxFractionDigits));
  std::to_chars_result written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                               std::chars_format::fixed, pattern.maxFractionDigits);
  // The buffer holds any double's integer digits and the fraction asked for.
  if (written.ec != std::errc())
    return kMalformedPattern;
  std::string_view digits(buffer.data(), std::size_t(written.ptr - buffer.data()));
  std::size_t point = digits.find('.');
  std::string_view integer = digits.substr(0, point);
  std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : digits.substr(point + 1);
  integer.remove_prefix(std::min(integer.find_first_not_of('0'), integer.size()));
  while (fraction.size() > std::size_t(pattern.minFractionDigits) && fraction.back() == '0')
    fraction.remove_suffix(1);

  auto appendDigit = [&](char d) { appendUtf8(out, format.zeroDigit + char32_t(d - '0')); };
  std::size_t integerDigits = std::max(integer.size(), std::size_t(pattern.minIntegerDigits));
  std::size_t padding = integerDigits - integer.size();
  for (std::size_t i = 0; i < integerDigits; ++i) {
    if (i > 0 && pattern.groupingSize > 0 && (integerDigits - i) % pattern.groupingSize == 0)
      appendUtf8(out, format.groupingSeparator);
    appendDigit(i < padding ? '0' : integer[i - padding]);
  }
  // Some digit is always written.
  if (integerDigits == 0 && fraction.empty())
    appendDigit('0');
  if (!fraction.empty() || pattern.decimalAlwaysShown)
    appendUtf8(out, format.decimalSeparator);
  for (char d : fraction)
    appendDigit(d);
  out += suffix;
  return nullptr;
}

}  // namespace ovra
