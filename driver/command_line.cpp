#include "driver/command_line.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace ovra {

static bool isWord(const char* text, const char* word) {
  return std::strcmp(text, word) == 0;
}

std::int32_t readRunCount(const char* text) {
  long value = std::strtol(text, nullptr, 10);
  constexpr long kMin = std::numeric_limits<std::int32_t>::min();
  constexpr long kMax = std::numeric_limits<std::int32_t>::max();
  if (value < kMin)
    return std::int32_t(kMin);
  if (value > kMax)
    return std::int32_t(kMax);
  return std::int32_t(value);
}

std::optional<Options> parseCommandLine(int argc, const char* const* argv) {
  if (argc < 3)
    return std::nullopt;
  Options options;
  int i = 1;
  // With only two words "-n" is a file name: "ovra -n x.xml" transforms x.xml with a
  // stylesheet called "-n".
  if (argc > 3 && isWord(argv[1], "-n")) {
    options.runs = readRunCount(argv[2]);
    i = 3;
  }
  if (isWord(argv[i], "-p")) {
    options.xpathMode = true;
    ++i;
  }
  if (argc - i < 2)
    return std::nullopt;
  // Positional from here on: a later "-n" or "-p" is a file name or expression text.
  options.xpathOrStylesheet = argv[i];
  options.xmlFile = argv[i + 1];
  i += 2;
  if (i < argc)
    options.outputFile = argv[i++];
  // A word after the output file is most likely a misplaced option; running without it
  // would silently do something other than what was asked.
  if (i < argc)
    return std::nullopt;
  return options;
}

}  // namespace ovra
