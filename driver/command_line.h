// The command line of the ovra program: which mode, how many runs, which files. Parsing
// does no I/O, so main decides what to print and tests need no process.
#pragma once

#include <cstdint>
#include <optional>

namespace ovra {

inline constexpr char kUsageText[] =
    "Usage: ovra [-n <runs>] [-p <xpath>|<xslfile>] <xmlfile> [<outfile>]\n";

// The words of one invocation. The texts point into argv; nothing is copied.
struct Options {
  std::int32_t runs = 1;
  bool xpathMode = false;              // "-p" given
  const char* xpathOrStylesheet = "";  // the expression text, or the stylesheet file
  const char* xmlFile = "";
  const char* outputFile = nullptr;  // null: results go to standard output
};

// Reads argv[1] to argv[argc - 1]. "-n <runs>" is an option only as the first word and
// only when at least three words are given; "-p" only right after that, or first. A
// usage error (too few words, or any word after the output file) gives nullopt.
std::optional<Options> parseCommandLine(int argc, const char* const* argv);

// The run count as atoi reads it (leading blanks, a sign, digits; 0 when there are none),
// but clamped to the 32-bit range instead of overflowing.
std::int32_t readRunCount(const char* text);

}  // namespace ovra
