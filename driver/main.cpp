// The ovra program: reads the command line and runs what it asks for.

#include "base/diagnostics.h"
#include "base/platform.h"
#include "driver/command_line.h"
#include "driver/entry_points.h"
#include "driver/exit_status.h"
#include "driver/modes.h"
#include "driver/program.h"

#include <cstdio>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

constexpr char kTryHelp[] = "Try 'ovra --help' for more information.\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace ovra;
#ifdef __GLIBC__
  // Trees and node lists of a run are freed when it ends; left to itself, glibc hands
  // the larger blocks back to the system at once and the next run of a -n loop faults
  // them in again page by page, which cost a third of a run on a 1 MB document. The
  // process keeps them instead; its peak size does not change.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
  startUp();
  Options options = parseCommandLine(argc, argv);
  switch (options.action) {
  case Action::Usage:
    if (options.status == ExitStatus::NoArguments) {
      std::fputs(kUsageText, stderr);
      std::fputs(kTryHelp, stderr);
    } else {
      std::fprintf(stderr, "ovra: error: %s\n", options.error.c_str());
    }
    return toInt(options.status);
  case Action::Help:
  case Action::Version:
    if (options.action == Action::Help)
      writeHelp(stdout);
    else
      writeVersion(stdout);
    closeDown();
    return std::fflush(stdout) == 0 ? 0 : toInt(ExitStatus::OutputError);
  case Action::Run:
    break;
  }
  setVerbose(options.verbose);
  LoopEnvironment environment = LoopEnvironment::standard();
  environment.timing = options.timing;
  ExitStatus status = ExitStatus::Success;
  // Recursion in the engine follows the input (nested expressions, templates calling
  // themselves), so the work runs where the stack has room for it.
  runOnLargeStack([&] { status = runProgram(options, environment, stdout); });
  closeDown();
  return toInt(status);
}
