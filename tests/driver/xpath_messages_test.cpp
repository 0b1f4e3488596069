// Every message the XPath parser can produce, as the program prints it for -p: the text,
// then the expression with a caret under the place of the error.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ProgramRun {
  std::string errors;
  int status;
};

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

ProgramRun runXPath(const std::string& expression, const std::string& xmlFile) {
  std::string command = std::string(OVRA_BINARY) + " -p " + shellQuote(expression) + " " +
                        shellQuote(xmlFile) + " 2>&1 >/dev/null";
  ProgramRun run{"", 0};
  FILE* pipe = popen(command.c_str(), "r");
  std::array<char, 256> buffer;
  while (std::fgets(buffer.data(), int(buffer.size()), pipe) != nullptr)
    run.errors += buffer.data();
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

struct MessageCase {
  const char* expression;
  const char* message;  // after "ovra: error: ", the text, the expression and the caret line
  int status = 5;       // a -p expression that does not compile is the stylesheet error's 5
};

constexpr MessageCase kMessages[] = {
    {"a[1", "Missing ']' after predicate\n  a[1\n     ^"},
    {"concat('a' 'b')", "Missing ',' after function argument\n  concat('a' 'b')\n             ^"},
    {"(1", "Missing ')' after expression\n  (1\n    ^"},
    {"comment('x')",
     "Only processing instruction node tests can have arguments\n  comment('x')\n          ^"},
    {"processing-instruction(1)", "Processing instruction node tests must be literals\n"
                                  "  processing-instruction(1)\n                         ^"},
    {"processing-instruction('x' 'y')",
     "Expecting ')' at end of nodetest\n"
     "  processing-instruction('x' 'y')\n                         ^"},
    {"//", "'//' must be followed by a path step\n  //\n  ^"},
    {"a/", "'/' must be followed by a path step\n  a/\n   ^"},
    {"1 +", "Missing path expression\n  1 +\n     ^"},
    {"f(,a)", "Missing path expression\n  f(,a)\n    ^"},
    {"a = #", "Syntax error in expression\n  a = #\n      ^"},
    {"'x'[1]", "Syntax error in expression\n  'x'[1]\n     ^"},
    {"", "Uncompilable expression"},
    {"foo()", "Unsupported function, foo\n  foo()\n  ^"},
    // At run time, with the caret at the call that failed.
    {"count(1)", "You can only count the members of a nodeset\n  count(1)\n  ^", 9},
    {"1 + count('a')", "You can only count the members of a nodeset\n  1 + count('a')\n      ^", 9},
    // Tabs and line ends in the expression are shown as spaces, so the caret stays under
    // its character; a character of several bytes takes one column.
    {"\xc3\xa9 +\n\t#", "Syntax error in expression\n  \xc3\xa9 +  #\n       ^"},
};

TEST(XPathMessagesTest, ParseErrorsArePrintedWithTheirPositionAndStatus) {
  std::string xmlFile = (std::filesystem::temp_directory_path() /
                         ("ovra-messages-" + std::to_string(::getpid()) + ".xml"))
                            .string();
  std::ofstream(xmlFile) << "<r><a/></r>";
  for (const MessageCase& c : kMessages) {
    ProgramRun run = runXPath(c.expression, xmlFile);
    EXPECT_EQ(run.errors, "ovra: error: " + std::string(c.message) + "\n") << c.expression;
    EXPECT_EQ(run.status, c.status) << c.expression;
  }
  std::filesystem::remove(xmlFile);
}

}  // namespace
