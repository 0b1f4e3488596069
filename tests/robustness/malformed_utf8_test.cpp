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
    {"\xff", "ovra: error: Syntax error in expression\n"
             "  \xff\n"
             "  ^"},
    {"1 + \x80", "ovra: error: Syntax error in expression\n"
                 "  1 + \x80\n"
                 "      ^"},  // continuation byte first
    {"1 + 2\xc3", "ovra: error: Syntax error in expression\n"
                  "  1 + 2\xc3\n"
                  "       ^"},  // sequence cut short at the end
    {"//a[. = '\xc0\xaf']", "ovra: error: Syntax error in expression\n"
                            "  //a[. = '\xc0\xaf']\n"
                            "          ^"},  // overlong
    {"//a[. = '\xe0\x80\xaf']", "ovra: error: Syntax error in expression\n"
                                "  //a[. = '\xe0\x80\xaf']\n"
                                "          ^"},  // overlong
    {"//a[. = '\xed\xa0\x80']", "ovra: error: Syntax error in expression\n"
                                "  //a[. = '\xed\xa0\x80']\n"
                                "          ^"},  // surrogate
    {"//a[. = '\xf4\x90\x80\x80']", "ovra: error: Syntax error in expression\n"
                                    "  //a[. = '\xf4\x90\x80\x80']\n"
                                    "          ^"},  // above U+10FFFF
    {"//a[. = '\xf8\x88\x80\x80\x80']", "ovra: error: Syntax error in expression\n"
                                        "  //a[. = '\xf8\x88\x80\x80\x80']\n"
                                        "          ^"},
    {"//a | //b\xe2\x82", "ovra: error: Syntax error in expression\n"
                          "  //a | //b\xe2\x82\n"
                          "           ^"},
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
