// Number to text and text to number for the XPath engine. Both directions are built on
// std::to_chars/from_chars, which ignore the C locale: a comma locale must not change a
// result document.
#include "xpath/runtime/number_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

namespace ovra {

namespace {

// The plain decimal form has room for every double: 309 integer digits at most, or
// "0." and 323 zeros before the 17 significant digits of the smallest subnormal.
constexpr std::size_t kMaxPlainLength = 352;

// XML white space, which is all the XPath grammar allows around a number.
bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

String formatNumber(double value) {
  if (std::isnan(value))
    return String("NaN");
  if (std::isinf(value))
    return String(value > 0 ? "Infinity" : "-Infinity");
  if (value == 0)
    return String("0");  // -0 too: it is the number 0 wherever it meets text

  char out[kMaxPlainLength];
  // Integers below 2^53 are exact as 64-bit integers and are by far the commonest.
  if (std::fabs(value) < 9007199254740992.0 && value == std::trunc(value)) {
    std::to_chars_result written = std::to_chars(out, out + sizeof out, std::int64_t(value));
    return String(std::string_view(out, std::size_t(written.ptr - out)));
  }

  // The shortest digits that read back to the same double: "[-]d[.ddd]e[+-]x".
  char scientific[40];
  std::to_chars_result converted = std::to_chars(scientific, scientific + sizeof scientific, value,
                                                 std::chars_format::scientific);
  std::string_view text(scientific, std::size_t(converted.ptr - scientific));
  bool negative = text.front() == '-';
  std::size_t e = text.find('e');
  char digits[20];
  std::size_t digitCount = 0;
  for (char c : text.substr(0, e)) {
    if (isDigit(c))
      digits[digitCount++] = c;
  }
  std::string_view exponentText = text.substr(e + 1);
  if (exponentText.front() == '+')
    exponentText.remove_prefix(1);
  int exponent = 0;
  std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);

  // Never the exponent form: the digits with the point moved into place.
  char* at = out;
  if (negative)
    *at++ = '-';
  if (exponent < 0) {
    *at++ = '0';
    *at++ = '.';
    at = std::fill_n(at, -exponent - 1, '0');
    at = std::copy_n(digits, digitCount, at);
  } else {
    std::size_t integerDigits = std::size_t(exponent) + 1;
    if (digitCount <= integerDigits) {
      at = std::copy_n(digits, digitCount, at);
      at = std::fill_n(at, integerDigits - digitCount, '0');
    } else {
      at = std::copy_n(digits, integerDigits, at);
      *at++ = '.';
      at = std::copy_n(digits + integerDigits, digitCount - integerDigits, at);
    }
  }
  return String(std::string_view(out, std::size_t(at - out)));
}

double parseNumber(std::string_view text) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  while (!text.empty() && isSpace(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back()))
    text.remove_suffix(1);

  // Validate the whole text against the grammar first, so that what from_chars would
  // also take ("inf", "nan", an exponent) never gets to it.
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  std::size_t mantissaStart = i;
  // The digits as an integer, exact while there are at most 19 of them.
  std::uint64_t digits = 0;
  std::size_t integerDigits = 0;
  while (i < text.size() && isDigit(text[i])) {
    digits = digits * 10 + std::uint64_t(text[i] - '0');
    ++i;
    ++integerDigits;
  }
  std::size_t fractionDigits = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) {
      digits = digits * 10 + std::uint64_t(text[i] - '0');
      ++i;
      ++fractionDigits;
    }
  }
  if (integerDigits + fractionDigits == 0 || i != text.size())
    return kNaN;

  // The common short number exactly: digits and the power of ten are both exact doubles,
  // so one correctly rounded division gives the nearest double, as from_chars would.
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,
                                            1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13,
                                            1e14, 1e15, 1e16, 1e17, 1e18, 1e19};
  if (integerDigits + fractionDigits <= 19 && digits <= (std::uint64_t(1) << 53)) {
    double value = double(digits) / kPowersOfTen[fractionDigits];
    return negative ? -value : value;
  }

  double value = 0;
  std::string_view mantissa = text.substr(mantissaStart);
  std::from_chars_result parsed = std::from_chars(
      mantissa.data(), mantissa.data() + mantissa.size(), value, std::chars_format::fixed);
  if (parsed.ec == std::errc::result_out_of_range) {
    // from_chars leaves value alone here: too many integer digits overflow, a first
    // significant digit far behind the point underflows.
    value = integerDigits > 0 && mantissa.find_first_of("123456789") < integerDigits
                ? std::numeric_limits<double>::infinity()
                : 0.0;
  }
  return negative ? -value : value;
}

}  // namespace ovra
