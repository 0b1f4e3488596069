// The command line of the ovra program: options, which mode, how many runs, which files.
// Parsing does no I/O, so main decides what to print and tests need no process.
#pragma once

#include "base/settings.h"
#include "driver/exit_status.h"

#include <cstdint>
#include <cstdio>
#include <string>
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
  Usage = 3,    // the words are wrong: print error and end with status
};

// The words of one invocation. The texts point into argv; nothing is copied.
struct Options {
  Action action = Action::Run;
  // Action::Usage: what is wrong ("unknown option '-x'"), and the exit status for it.
  std::string error;
  ExitStatus status = ExitStatus::Success;

  std::vector<ParameterOption> parameters;  // in command-line order
  std::int32_t runs = 1;                    // -n, --repeat; 0: compile only
  bool xpathMode = false;                   // -p given
  const char* expression = nullptr;         // -p: the expression text
  // The stylesheet file ("-": standard input); null: named by each document's
  // xml-stylesheet processing instruction.
  const char* stylesheet = nullptr;
  std::vector<const char*> documents;  // at least one; "-": standard input
  // Where results go: a file, or "-" for standard output, or with -o a folder each
  // document's result is written to under the document's own name. Null: standard
  // output.
  const char* output = nullptr;
  bool outputOption = false;  // output came from -o, not from the third file name
  bool noOutput = false;      // --noout: run, but write no result
  bool timing = false;        // --timing: the time of each step on standard error
  bool verbose = false;       // -v: what is loaded from where, on standard error
  // -j, --jobs: how many documents are transformed at once; 0: one per processor.
  std::int32_t jobs = 0;
  Settings settings;          // what is handed down to loading, compiling, running
};

// Reads argv[1] to argv[argc - 1]. Options (words starting with '-', "-" alone is a
// file name) may come anywhere before "--", which ends them; an option's value is the
// next word whatever it looks like. The other words are file names: with -p the
// document, and an output file when -o is not given; otherwise the stylesheet, the
// document and the output file, or with -o the stylesheet and any number of documents.
// A single document without a stylesheet names its stylesheet in an xml-stylesheet
// processing instruction. --help and --version end the reading. A usage error gives
// Action::Usage with the message and status.
Options parseCommandLine(int argc, const char* const* argv);

// What --help and --version print.
void writeHelp(std::FILE* stream);
void writeVersion(std::FILE* stream);

}  // namespace ovra
