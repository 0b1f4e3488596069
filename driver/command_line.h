// The command line of the ovra program: options, which mode, how many runs, which files.
// Parsing does no I/O, so main decides what to print and tests need no process.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

namespace ovra {

inline constexpr char kUsageText[] =
    "Usage: ovra [-n <runs>] [-p <xpath>|<xslfile>] <xmlfile> [<outfile>]\n";

// A stylesheet parameter from --stringparam or --param.
struct ParameterOption {
  const char* name;
  const char* value;
  bool isExpression;  // --param: value is an XPath expression; --stringparam: a string
};

enum class Action : std::uint8_t {
  Run = 0,      // run a mode
  Help = 1,     // --help
  Version = 2,  // --version
};

// The words of one invocation. The texts point into argv; nothing is copied.
struct Options {
  Action action = Action::Run;
  std::vector<ParameterOption> parameters;  // in command-line order
  std::int32_t runs = 1;
  bool xpathMode = false;              // "-p" given
  const char* xpathOrStylesheet = "";  // the expression text, or the stylesheet file
  const char* xmlFile = "";            // "-": standard input
  const char* outputFile = nullptr;    // null: results go to standard output
};

// Reads argv[1] to argv[argc - 1]. Options (words starting with "--": --stringparam
// NAME VALUE, --param NAME XPATH, --help, --version, and "--" ending them) come first;
// the words after them are read by position as they always were: "-n <runs>" is an
// option only as the first of them and only when at least three remain; "-p" only right
// after that, or first. --help and --version end the reading. A usage error (an unknown
// option, a parameter without its value, too few words, any word after the output file)
// gives nullopt.
std::optional<Options> parseCommandLine(int argc, const char* const* argv);

// The run count as atoi reads it (leading blanks, a sign, digits; 0 when there are none),
// but clamped to the 32-bit range instead of overflowing.
std::int32_t readRunCount(const char* text);

// What --help and --version print.
void writeHelp(std::FILE* stream);
void writeVersion(std::FILE* stream);

}  // namespace ovra
