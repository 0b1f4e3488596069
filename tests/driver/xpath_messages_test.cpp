// Every message the XPath parser can produce, as the program prints it for -p.
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
  const char* message;
  int status = 5;  // a -p expression that does not compile is the stylesheet error's 5
};

constexpr MessageCase kMessages[] = {
    {"a[1", "Missing ']' after predicate  at end of expression"},
    {"concat('a' 'b')", "Missing ',' after function argument at 10"},
    {"(1", "Missing ')' after expression  at end of expression"},
    {"comment('x')", "Only processing instruction node tests can have arguments at 8"},
    {"processing-instruction(1)", "Processing instruction node tests must be literals at 23"},
    {"processing-instruction('x' 'y')", "Expecting ')' at end of nodetest at 23"},
    {"//", "'//' must be followed by a path step at 0"},
    {"a/", "'/' must be followed by a path step at 1"},
    {"1 +", "Missing path expression  at end of expression"},
    {"f(,a)", "Missing path expression at 2"},
    {"a = #", "Syntax error in expression at 4"},
    {"'x'[1]", "Syntax error in expression at 3"},
    {"", "Uncompilable expression  at end of expression"},
    {"foo()", "Unsupported function, foo at 0"},
    {"count(1)", "You can only count the members of a nodeset at 0", 9},  // at run time
};

TEST(XPathMessagesTest, ParseErrorsArePrintedWithTheirPositionAndStatus) {
  std::string xmlFile = (std::filesystem::temp_directory_path() /
                         ("ovra-messages-" + std::to_string(::getpid()) + ".xml"))
                            .string();
  std::ofstream(xmlFile) << "<r><a/></r>";
  for (const MessageCase& c : kMessages) {
    ProgramRun run = runXPath(c.expression, xmlFile);
    EXPECT_EQ(run.errors, std::string(c.message) + "\n") << c.expression;
    EXPECT_EQ(run.status, c.status) << c.expression;
  }
  std::filesystem::remove(xmlFile);
}

}  // namespace
