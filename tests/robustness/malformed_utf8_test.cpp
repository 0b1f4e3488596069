// Expressions from the command line may hold bytes that are not UTF-8 (documents and
// stylesheets cannot: the parser rejects them). Tokenising stops at the first malformed
// sequence, so they fail like any other character the lexer cannot take.
#include "base/exceptions.h"
#include "xpath/parser.h"

#include <gtest/gtest.h>

#include <string>

namespace ovra {
namespace {

struct Utf8Case {
  const char* expression;
  const char* message;  // null: parses
};

constexpr Utf8Case kUtf8Cases[] = {
    {"'caf\xc3\xa9'", nullptr},                    // two-byte sequence
    {"'\xe2\x82\xac \xf0\x9f\x98\x80'", nullptr},  // three and four bytes
    {"//\xce\xb1\xce\xb2", nullptr},               // a Greek element name
    {"'\xef\xbf\xbf'", nullptr},                   // U+FFFF is well-formed UTF-8
    {"\xff", "Syntax error in expression at 0"},
    {"1 + \x80", "Syntax error in expression at 4"},             // continuation byte first
    {"1 + 2\xc3", "Syntax error in expression at 5"},            // sequence cut short at the end
    {"//a[. = '\xc0\xaf']", "Syntax error in expression at 8"},  // overlong
    {"//a[. = '\xe0\x80\xaf']", "Syntax error in expression at 8"},      // overlong
    {"//a[. = '\xed\xa0\x80']", "Syntax error in expression at 8"},      // surrogate
    {"//a[. = '\xf4\x90\x80\x80']", "Syntax error in expression at 8"},  // above U+10FFFF
    {"//a[. = '\xf8\x88\x80\x80\x80']", "Syntax error in expression at 8"},
    {"//a | //b\xe2\x82", "Syntax error in expression at 9"},
};

TEST(MalformedUtf8Test, ExpressionsStopAtTheFirstMalformedSequence) {
  for (const Utf8Case& c : kUtf8Cases) {
    std::string message = "(parsed)";
    try {
      parseXPath(c.expression, nullptr);
    } catch (const XSLException& error) {
      message = error.message().c_str();
    }
    EXPECT_EQ(message, c.message ? c.message : "(parsed)") << c.expression;
  }
}

}  // namespace
}  // namespace ovra
