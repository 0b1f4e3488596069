// EXSLT strings.
#include "tests/support/test_transform.h"

#include <gtest/gtest.h>

#include <string>

namespace ovra {
namespace {

struct Case {
  const char* expression;  // as valueOfExpression() runs it
  const char* expected;
};

constexpr Case kPaddingCases[] = {
    {"concat('[', str:padding(3), ']')", "[   ]"},
    {"str:padding(5, 'ab')", "ababa"},
    {"str:padding(2, 'xyz')", "xy"},
    // The length is truncated, in characters, not bytes.
    {"str:padding(3.7, 'ab')", "aba"},
    {"str:padding(0.5, 'ab')", ""},
    {"str:padding(3, '\xC3\xA9\xC3\xBC')", "\xC3\xA9\xC3\xBC\xC3\xA9"},
    // Nothing for no length, and for an empty pad (xsltproc pads with spaces instead).
    {"str:padding(0, 'ab')", ""},
    {"str:padding(-1, 'ab')", ""},
    {"str:padding(0 div 0, 'ab')", ""},
    {"str:padding(5, '')", ""},
    {"str:padding('2', 7)", "77"},
    {"str:padding(1 div 0)", "ERROR: str:padding() asked for a string too long to build at 0 on "
                             "line 1 in s.xsl\n"},
};

TEST(ExsltStringsTest, Padding) {
  for (const Case& c : kPaddingCases)
    EXPECT_EQ(valueOfExpression(c.expression), c.expected) << c.expression;
}

}  // namespace
}  // namespace ovra
