// What the ovra program does with a parsed command line: find each document's
// stylesheet and output, compile each stylesheet once, then transform (or evaluate the
// -p expression on) the documents one after the other, each result replacing its output
// file only when its run succeeded.
#pragma once

#include "driver/command_line.h"
#include "driver/exit_status.h"

#include <cstdio>
#include <string>
#include <vector>

namespace ovra {

struct LoopEnvironment;

// Where one document's result goes.
struct Target {
  const char* document;  // as named on the command line; "-": standard input
  std::string file;      // the output file; empty: standard output
  bool discard = false;  // --noout: the result is made and dropped
};

// The target of every document, in command-line order, or a usage error (error set,
// the list empty): several documents need -o naming a folder or "-", a document from
// standard input has no name to write under in a folder, and two documents must not
// write the same file. -o names a folder when it ends in '/' or is one.
struct Targets {
  std::vector<Target> targets;
  std::string error;
};
Targets resolveTargets(const Options& options);

// Runs the modes for options (action Run) and answers the exit status: Success, or the
// status of the first failure; after a failure the remaining documents still run.
ExitStatus runProgram(const Options& options, const LoopEnvironment& environment,
                      std::FILE* standardOutput);

}  // namespace ovra
