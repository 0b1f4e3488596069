#include "xpath/runtime/decimal_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace ovra {
namespace {

struct PatternCase {
  double number;
  const char* pattern;
  const char* expected;
};

std::string format(double number, const char* pattern, const DecimalFormat& symbols = {}) {
  std::string out;
  if (const char* fault = formatDecimal(number, pattern, symbols, out))
    return std::string("ERROR: ") + fault;
  return out;
}

constexpr double kInf = std::numeric_limits<double>::infinity();

// What java.text.DecimalFormat writes for the same pattern and number.
constexpr PatternCase kPatternCases[] = {
    // Minimum integer digits and grouping.
    {87504.4812, "000,000.000000", "087,504.481200"},
    {1234567.891, "#,##0.00", "1,234,567.89"},
    {987654321, "###,##0,00.00", "9,87,65,43,21.00"},  // only the last group size counts
    {12, "#,###", "12"},
    {0, "#", "0"},  // some digit is always written
    {0, "#,##0", "0"},
    // Fraction digits: zeros are kept up to the minimum, trailing ones dropped beyond.
    {0.5, "#.##", "0.5"},  // "#." counts its digit as a zero
    {0.5, "#.00", ".50"},
    {0.5, ".##", ".5"},
    {3, "0.0##", "3.0"},
    {3.14159, "0.0##", "3.142"},
    {42, "#.", "42."},  // a trailing point is always shown
    // Rounding is half-even on the exact binary value.
    {0.125, "0.00", "0.12"},
    {0.375, "0.00", "0.38"},
    {2.5, "0", "2"},
    {3.5, "0", "4"},
    {1.005, "0.00", "1.00"},  // 1.005 is just below 1.005 in binary
    {0.4857, "###.###%", "48.57%"},
    {0.4857, "###.###\u2030", "485.7\u2030"},
    {-0.4857, "%#", "-%49"},
    // Prefixes, suffixes and quoting.
    {5, "'#'#", "#5"},
    {5, "# 'o''clock'", "5 o'clock"},
    {5, "x''#", "x'5"},
    {95.4857, "\u00A4###.####", "$95.4857"},
    // Negative numbers: the minus sign before the positive prefix, or the negative
    // subpattern's own affixes (its digits are ignored); one that repeats the positive
    // affixes adds the minus sign.
    {-26931.4, "###,###.###", "-26,931.4"},
    {-26931.4, "+###,###.###;(#)", "(26,931.4)"},
    {-26931.4, "###,###.###;###,###.###", "-26,931.4"},
    {26931.4, "+#;-#", "+26931"},
    {-0.0, "0", "-0"},
    {-0.001, "0.00", "-0.00"},
    // Special values.
    {std::nan(""), "#.00", "NaN"},
    {kInf, "#.00 x", "Infinity x"},
    {-kInf, "'p'#", "-pInfinity"},
    {1e20, "#,###", "100,000,000,000,000,000,000"},
    // Malformed patterns.
    {1, "#.#.#", "ERROR: Multiple decimal separators in format-number pattern"},
    {1, "#.0#0", "ERROR: Unexpected zero digit in format-number pattern"},
    {1, "0#", "ERROR: Malformed format-number pattern"},
    {1, "#,", "ERROR: Malformed format-number pattern"},
    {1, "#%%", "ERROR: Too many percent or per-mille characters in format-number pattern"},
    {1, ";#", "ERROR: Unquoted special character in format-number pattern"},
    {1, "#;#;#", "ERROR: Unquoted special character in format-number pattern"},
    {1, "#x#", "ERROR: Unquoted special character in format-number pattern"},
    {1, "'#", "ERROR: Unclosed quote in format-number pattern"},
};

TEST(DecimalFormatTest, PatternsFollowJavaDecimalFormat) {
  for (const PatternCase& c : kPatternCases)
    EXPECT_EQ(format(c.number, c.pattern), c.expected) << c.pattern << " " << c.number;
}

TEST(DecimalFormatTest, SymbolsOfTheDecimalFormatApply) {
  DecimalFormat european;
  european.decimalSeparator = U',';
  european.groupingSeparator = U'.';
  EXPECT_EQ(format(1234567.891, "#.##0,00", european), "1.234.567,89");

  DecimalFormat symbols;
  symbols.digit = U'!';
  symbols.patternSeparator = U'\\';
  symbols.minusSign = U'_';
  symbols.percent = U'p';
  symbols.infinity = "inf";
  symbols.notANumber = "nan";
  EXPECT_EQ(format(-26931.4, "!!,!!!.!!!", symbols), "_26,931.4");
  EXPECT_EQ(format(-26931.4, "!!,!!0.00!\\(!)", symbols), "(26,931.40)");
  EXPECT_EQ(format(0.5, "!p", symbols), "50p");
  EXPECT_EQ(format(std::nan(""), "!", symbols), "nan");
  EXPECT_EQ(format(-kInf, "!", symbols), "_inf");
  // A character of the default symbols is plain text once another one replaces it.
  EXPECT_EQ(format(7, "#!", symbols), "#7");

  DecimalFormat letters;
  letters.zeroDigit = U'a';
  EXPECT_EQ(format(205, "aaaa", letters), "acaf");
  EXPECT_EQ(format(205, "0000", letters), "0000caf");  // "0" is text here, no digit

  // Multibyte symbols are characters like any other.
  DecimalFormat wide;
  wide.zeroDigit = U'\u0660';  // ARABIC-INDIC DIGIT ZERO
  wide.groupingSeparator = U'\u066C';
  EXPECT_EQ(format(1234, "#\u066C##\u0660", wide), "\u0661\u066C\u0662\u0663\u0664");
}

}  // namespace
}  // namespace ovra
