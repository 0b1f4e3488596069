#include "xpath/runtime/number_format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace ovra {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct FormatCase {
  double value;
  const char* expected;
};

const FormatCase kFormatCases[] = {
    {0, "0"},
    {-0.0, "-0"},
    {1000000, "1000000"},
    {12345.67, "12345.67"},
    {0.1 + 0.2, "0.3"},
    {1.0 / 3, "0.333333333333333"},
    {999999999999999, "999999999999999"},  // 15 digits: still plain
    {1e15, "1e+015"},
    {1234567890123456789.0, "1.23456789012346e+018"},
    {9999999999999999.0, "1e+016"},  // rounding carries into a new digit
    {0.0001, "0.0001"},
    {0.00001, "1e-005"},
    {-1.5e-7, "-1.5e-007"},
    {1e100, "1e+100"},
    {5e-324, "4.94065645841247e-324"},
    {kInfinity, "Infinity"},
    {-kInfinity, "-Infinity"},
    {std::numeric_limits<double>::quiet_NaN(), "NaN"},
};

TEST(NumberFormatTest, FormatsFifteenSignificantDigitsInPercentGStyle) {
  for (const FormatCase& c : kFormatCases)
    EXPECT_EQ(formatNumber(c.value).view(), c.expected) << c.expected;
}

struct ParseCase {
  const char* text;
  double expected;  // NaN: expect NaN
};

const ParseCase kParseCases[] = {
    {"7  ", 7},
    {" \v\f-7.25\n", -7.25},
    {"+3", 3},
    {"-0", -0.0},
    {"1e3", 1000},
    {".5", 0.5},
    {"5.", 5},
    {"1e400", kInfinity},
    {"-1e400", -kInfinity},
    {"1000000000000000000000000000000000000000e-420", 0},
    {"0.00001e400", kInfinity},
    {"", NAN},
    {"   ", NAN},
    {"-", NAN},
    {".", NAN},
    {"1e", NAN},
    {"1.2.3", NAN},
    {"0x10", NAN},
    {"Infinity", NAN},
    {"inf", NAN},
    {"nan", NAN},
    {"1,5", NAN},
};

TEST(NumberFormatTest, ParsesDecimalTextOrGivesNaN) {
  for (const ParseCase& c : kParseCases) {
    double value = parseNumber(c.text);
    if (std::isnan(c.expected)) {
      EXPECT_TRUE(std::isnan(value)) << '"' << c.text << "\" gave " << value;
    } else {
      EXPECT_EQ(value, c.expected) << '"' << c.text << '"';
      EXPECT_EQ(std::signbit(value), std::signbit(c.expected)) << '"' << c.text << '"';
    }
  }
}

TEST(NumberFormatTest, CommaLocaleChangesNothing) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  bool switched = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      switched = true;
      break;
    }
  }
  if (!switched)
    GTEST_SKIP() << "no comma locale installed";
  String formatted = formatNumber(2.5);
  double parsed = parseNumber("2.5");
  double commaParsed = parseNumber("2,5");
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(formatted.view(), "2.5");
  EXPECT_EQ(parsed, 2.5);
  EXPECT_TRUE(std::isnan(commaParsed));
}

}  // namespace
}  // namespace ovra
