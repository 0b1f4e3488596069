// The ovra program: reads the command line and runs what it asks for.

#include "base/diagnostics.h"
#include "base/platform.h"
#include "driver/command_line.h"
#include "driver/entry_points.h"
#include "driver/exit_status.h"
#include "driver/modes.h"
#include "driver/program.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#ifdef __GLIBC__
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

constexpr char kTryHelp[] = "Try 'ovra --help' for more information.\n";

#ifdef __GLIBC__
void prepareHeap(bool oneWorker) {
  // Trees and node lists of a run are freed when it ends; left to itself, glibc hands
  // the larger blocks back to the system at once and the next run of a -n loop faults
  // them in again page by page, which cost a third of a run on a 1 MB document. The
  // process keeps them instead; its peak size does not change.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  if (!oneWorker)
    return;  // several workers keep a heap each, or they would queue for one
  // The work runs on a thread of its own for the stack; given a heap of its own, that
  // thread grows it a few pages at a time (1,500 mprotect calls to compile DocBook XSL).
  // It shares the main heap instead, whose first 64 MB are reserved at once and marked
  // for 2 MB pages: a stylesheet set of a hundred modules takes 4,000 page faults in
  // 4 KB pages, a third of the run's time on a virtual machine, and 20 in 2 MB pages.
  // Untouched, the reservation costs no memory.
  mallopt(M_ARENA_MAX, 1);
  constexpr std::size_t kReserve = std::size_t(64) << 20;
  constexpr std::size_t kHugePage = std::size_t(2) << 20;
  constexpr int kDefaultTopPad = 128 << 10;
  auto before = reinterpret_cast<std::uintptr_t>(::sbrk(0));
  mallopt(M_TOP_PAD, int(kReserve));
  void* probe = std::malloc(std::size_t(1) << 20);  // more than the heap's first top
  asm volatile("" : : "r"(probe) : "memory");       // kept, though never used
  mallopt(M_TOP_PAD, kDefaultTopPad);
  auto after = reinterpret_cast<std::uintptr_t>(::sbrk(0));
  std::free(probe);
  std::uintptr_t start = (before + kHugePage - 1) & ~(kHugePage - 1);
  std::uintptr_t end = after & ~(kHugePage - 1);
  if (end > start)
    ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  using namespace ovra;
  startUp();
  Options options = parseCommandLine(argc, argv);
#ifdef __GLIBC__
  prepareHeap(options.documents.size() <= 1 || options.jobs == 1);
#endif
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
