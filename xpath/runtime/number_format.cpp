// Number to text and text to number for the XPath engine. Both directions are built on
// std::to_chars/from_chars, which ignore the C locale: a comma locale must not change a
// result document.
#include "xpath/runtime/number_format.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace ovra {

namespace {

constexpr int kSignificantDigits = 15;
// Plain decimal form is used while the decimal exponent lies in [kMinPlainExponent,
// kSignificantDigits); outside it the exponent form.
constexpr int kMinPlainExponent = -4;
constexpr int kMinExponentDigits = 3;

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

void appendExponent(std::string& out, int exponent) {
  out += 'e';
  out += exponent < 0 ? '-' : '+';
  std::string digits = std::to_string(exponent < 0 ? -exponent : exponent);
  if (digits.size() < std::size_t(kMinExponentDigits))
    out.append(kMinExponentDigits - digits.size(), '0');
  out += digits;
}

}  // namespace

String formatNumber(double value) {
  if (std::isnan(value))
    return String("NaN");
  if (std::isinf(value))
    return String(value > 0 ? "Infinity" : "-Infinity");

  // Rounded once to 15 significant digits: "[-]d.dddddddddddddde[+-]dd[d]".
  char scientific[40];
  std::to_chars_result converted =
      std::to_chars(scientific, scientific + sizeof scientific, value,
                    std::chars_format::scientific, kSignificantDigits - 1);
  std::string_view text(scientific, std::size_t(converted.ptr - scientific));

  bool negative = text.front() == '-';
  std::size_t e = text.find('e');
  std::string digits;
  for (char c : text.substr(0, e)) {
    if (isDigit(c))
      digits += c;
  }
  std::string_view exponentText = text.substr(e + 1);
  if (exponentText.front() == '+')
    exponentText.remove_prefix(1);
  int exponent = 0;
  std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
  while (digits.size() > 1 && digits.back() == '0')
    digits.pop_back();

  std::string out;
  if (negative)
    out += '-';
  if (exponent < kMinPlainExponent || exponent >= kSignificantDigits) {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out.append(digits, 1);
    }
    appendExponent(out, exponent);
  } else if (exponent < 0) {
    out += "0.";
    out.append(std::size_t(-exponent - 1), '0');
    out += digits;
  } else {
    std::size_t integerDigits = std::size_t(exponent) + 1;
    if (digits.size() <= integerDigits) {
      out += digits;
      out.append(integerDigits - digits.size(), '0');
    } else {
      out.append(digits, 0, integerDigits);
      out += '.';
      out.append(digits, integerDigits);
    }
  }
  return String(std::string_view(out));
}

double parseNumber(std::string_view text) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  while (!text.empty() && isSpace(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back()))
    text.remove_suffix(1);

  // Validate the whole text against the grammar first, so that what from_chars would
  // also take ("inf", "nan", hex digits) never gets to it.
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::size_t mantissaStart = i;
  std::size_t integerDigits = 0;
  while (i < text.size() && isDigit(text[i])) {
    ++i;
    ++integerDigits;
  }
  std::size_t fractionDigits = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) {
      ++i;
      ++fractionDigits;
    }
  }
  if (integerDigits + fractionDigits == 0)
    return kNaN;
  std::size_t mantissaEnd = i;
  long long exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      negativeExponent = text[i] == '-';
      ++i;
    }
    if (i == text.size() || !isDigit(text[i]))
      return kNaN;
    for (; i < text.size() && isDigit(text[i]); ++i) {
      if (exponent < INT_MAX)
        exponent = exponent * 10 + (text[i] - '0');
    }
    if (negativeExponent)
      exponent = -exponent;
  }
  if (i != text.size())
    return kNaN;

  double value = 0;
  const char* first = text.data() + mantissaStart;
  std::from_chars_result parsed =
      std::from_chars(first, text.data() + text.size(), value, std::chars_format::general);
  if (parsed.ec == std::errc::result_out_of_range) {
    // from_chars leaves value alone here; decide between overflow and underflow from
    // the position of the first significant digit.
    std::string_view mantissa(first, mantissaEnd - mantissaStart);
    std::size_t firstSignificant = mantissa.find_first_of("123456789");
    std::size_t point = mantissa.find('.');
    if (point == std::string_view::npos)
      point = mantissa.size();
    long long magnitude = firstSignificant < point ? (long long)(point - firstSignificant) - 1
                                                   : (long long)point - (long long)firstSignificant;
    value = magnitude + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative ? -value : value;
}

}  // namespace ovra
