// The ovra program: reads the command line, opens the output and runs one mode.

#include "base/platform.h"
#include "driver/command_line.h"
#include "driver/entry_points.h"
#include "driver/modes.h"
#include "output/serializer.h"

#include <cstdio>
#include <memory>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

constexpr char kCannotCreateOutput[] = "Could not create output file, %s.";

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

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
  std::optional<Options> options = parseCommandLine(argc, argv);
  if (!options) {
    std::fputs(kUsageText, stderr);
    return 1;
  }
  if (options->action != Action::Run) {
    if (options->action == Action::Help)
      writeHelp(stdout);
    else
      writeVersion(stdout);
    closeDown();
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  std::unique_ptr<std::FILE, FileCloser> file;
  if (options->outputFile != nullptr) {
    file.reset(std::fopen(options->outputFile, "w"));
    if (!file) {
      std::fprintf(stderr, kCannotCreateOutput, options->outputFile);
      return 1;
    }
  }
  int status;
  {
    Serializer out(file ? file.get() : stdout);
    LoopEnvironment environment = LoopEnvironment::standard();
    // Recursion in the engine follows the input (nested expressions, templates calling
    // themselves), so the modes run where the stack has room for it.
    runOnLargeStack([&] {
      status = options->xpathMode
                   ? runXPathMode(options->xpathOrStylesheet, options->xmlFile, out, options->runs,
                                  environment, options->parameters)
                   : runTransformMode(options->xpathOrStylesheet, options->xmlFile, out,
                                      options->runs, environment, options->parameters);
    });
  }
  file.reset();
  closeDown();
  return status;
}
