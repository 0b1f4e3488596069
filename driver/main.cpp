// The ovra program: reads the command line, opens the output and runs one mode.

#include "driver/command_line.h"
#include "driver/entry_points.h"
#include "driver/modes.h"
#include "output/output.h"

#include <cstdio>
#include <memory>

namespace {

constexpr char kCannotCreateOutput[] = "Could not create output file, %s.";

// Stands in for the Serializer: passes text straight to the stream.
class StreamOutput final : public ovra::Output {
 public:
  explicit StreamOutput(std::FILE* stream) : stream_(stream) {}
  ~StreamOutput() override { flush(); }
  void write(const char* text, std::size_t length) override {
    std::fwrite(text, 1, length, stream_);
  }
  void flush() override { std::fflush(stream_); }

 private:
  std::FILE* stream_;  // not owned
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

int main(int argc, char** argv) {
  using namespace ovra;
  startUp();
  std::optional<Options> options = parseCommandLine(argc, argv);
  if (!options) {
    std::fputs(kUsageText, stderr);
    return 1;
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
    StreamOutput out(file ? file.get() : stdout);
    LoopEnvironment environment = LoopEnvironment::standard();
    status = options->xpathMode ? runXPathMode(options->xpathOrStylesheet, options->xmlFile, out,
                                               options->runs, environment)
                                : runTransformMode(options->xpathOrStylesheet, options->xmlFile,
                                                   out, options->runs, environment);
  }
  file.reset();
  closeDown();
  return status;
}
