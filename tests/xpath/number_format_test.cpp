#include "xpath/runtime/number_format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

namespace ovra {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct FormatCase {
  double value;
  std::string expected;
};

const FormatCase kFormatCases[] = {
    {0, "0"},
    {-0.0, "0"},  // negative zero is the number 0 as text
    {1000000, "1000000"},
    {-42, "-42"},
    {12345.67, "12345.67"},
    {0.1 + 0.2, "0.30000000000000004"},  // the shortest text that reads back
    {1.0 / 3, "0.3333333333333333"},
    {-2.0 / 3, "-0.6666666666666666"},
    {0.1, "0.1"},
    {999999999999999, "999999999999999"},
    {1e15, "1000000000000000"},
    {9007199254740993.0, "9007199254740992"},  // past 2^53 integers are even
    {1234567890123456789.0, "1234567890123456800"},
    {1e21, "1000000000000000000000"},  // never an exponent
    {1.5e300, "15" + std::string(299, '0')},
    {0.0001, "0.0001"},
    {0.00001, "0.00001"},
    {-1.5e-7, "-0.00000015"},
    {1e-13 + 1e-28, "0.0000000000001000000000000001"},
    {5e-324, "0." + std::string(323, '0') + "5"},  // the smallest subnormal
    {1.7976931348623157e308, "17976931348623157" + std::string(292, '0')},
    {0.10123456789234567, "0.10123456789234567"},
    {kInfinity, "Infinity"},
    {-kInfinity, "-Infinity"},
    {std::numeric_limits<double>::quiet_NaN(), "NaN"},
};

TEST(NumberFormatTest, FormatsShortestRoundTripDigitsWithoutExponent) {
  for (const FormatCase& c : kFormatCases) {
    String text = formatNumber(c.value);
    EXPECT_EQ(text.view(), c.expected) << c.expected;
    if (std::isfinite(c.value)) {
      EXPECT_EQ(parseNumber(text.view()), c.value) << c.expected << " reads back";
    }
  }
}

struct ParseCase {
  std::string text;
  double expected;  // NaN: expect NaN
};

const ParseCase kParseCases[] = {
    {"7  ", 7},
    {" \t\r\n-7.25\n", -7.25},  // XML white space around the number
    {"-0", -0.0},
    {".5", 0.5},
    {"5.", 5},
    {"007", 7},
    {"1" + std::string(400, '0'), kInfinity},
    {"-1" + std::string(400, '0'), -kInfinity},
    {"0." + std::string(400, '0') + "1", 0},
    {std::string(400, '0'), 0},
    {"0.30000000000000004", 0.1 + 0.2},
    {"9007199254740992", 9007199254740992.0},  // 2^53, the largest exact short mantissa
    {"9007199254740993", 9007199254740992.0},  // one past it rounds to even
    {"900719925474099.3", 900719925474099.3},
    {"1234567.891", 1234567.891},
    {"0.0000000000000000001", 1e-19},
    {"-0.000", -0.0},
    {"+3", NAN},   // no plus sign
    {"1e3", NAN},  // no exponent
    {"1.5E-1", NAN},
    {"- 1", NAN},
    {"--1", NAN},
    {"\v1", NAN},  // not XML white space
    {"1\f", NAN},
    {"", NAN},
    {"   ", NAN},
    {"-", NAN},
    {".", NAN},
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

TEST(NumberFormatTest, ReadsEveryDecimalAsTheNearestDouble) {
  // Digit strings of every length up to 20 with the point at every place, against strtod.
  std::uint64_t seed = 12345;
  for (int round = 0; round < 2000; ++round) {
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    std::string digits = std::to_string(seed >> 1).substr(0, std::size_t(round % 20 + 1));
    std::size_t point = std::size_t(round / 20) % (digits.size() + 1);
    std::string text = digits.substr(0, point) + "." + digits.substr(point);
    EXPECT_EQ(parseNumber(text), std::strtod(text.c_str(), nullptr)) << text;
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
