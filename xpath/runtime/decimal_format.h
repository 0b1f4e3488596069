// format-number(): a number written after a pattern of the kind java.text.DecimalFormat
// reads (prefix, integer and fraction digits, grouping, suffix; an optional negative
// subpattern), with the symbols of one xsl:decimal-format.
#pragma once

#include <string>
#include <string_view>

namespace ovra {

// The symbols of one xsl:decimal-format; the defaults are those of a stylesheet that
// declares none.
struct DecimalFormat {
  char32_t decimalSeparator = U'.';
  char32_t groupingSeparator = U',';
  char32_t percent = U'%';
  char32_t perMille = U'\u2030';
  char32_t zeroDigit = U'0';
  char32_t digit = U'#';
  char32_t patternSeparator = U';';
  char32_t minusSign = U'-';
  std::string infinity = "Infinity";
  std::string notANumber = "NaN";

  bool operator==(const DecimalFormat&) const = default;
};

// Writes number after pattern into out (replacing its content). Returns null, or the
// text of the fault when the pattern is malformed (out is then unspecified). Rounding is
// half-even on the exact value of the double.
const char* formatDecimal(double number, std::string_view pattern, const DecimalFormat& format,
                          std::string& out);

// Appends the UTF-8 form of c to out.
void appendUtf8(std::string& out, char32_t c);

}  // namespace ovra
