#include "driver/command_line.h"

#include "driver/entry_points.h"
#include "tree/document.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace ovra {

static constexpr char kHelpText[] =
    "\n"
    "Transforms <xmlfile> with the XSLT 1.0 stylesheet <xslfile>, or with -p prints\n"
    "every result of the XPath 1.0 expression <xpath> on <xmlfile>, one per line.\n"
    "Results go to <outfile>, or to standard output when it is left out. An <xmlfile>\n"
    "of \"-\" is read from standard input.\n"
    "\n"
    "Modes:\n"
    "  <xslfile> <xmlfile>    transform the document with the stylesheet\n"
    "  -p <xpath> <xmlfile>   print every result of the expression, one per line\n"
    "  -n <runs>              repeat the run <runs> times (stylesheet or expression\n"
    "                         compiled once) and report the time on standard error\n"
    "\n"
    "Options, before every other word:\n"
    "  --stringparam <name> <value>\n"
    "                         give the stylesheet parameter <name> the string <value>\n"
    "  --param <name> <xpath>\n"
    "                         give the stylesheet parameter <name> the value of the\n"
    "                         expression <xpath>, evaluated at the source root\n"
    "  --help                 print this help and exit\n"
    "  --version              print the version and exit\n"
    "  --                     end of options\n"
    "\n"
    "Parameters replace the defaults of top-level xsl:param elements of their names;\n"
    "with -p they are variables the expression can use ($name).\n"
    "\n"
    "Exit status: 0 on success; 1 on a usage error or when an error was reported.\n";

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
  Options options;
  int i = 1;
  while (i < argc && std::strncmp(argv[i], "--", 2) == 0) {
    const char* word = argv[i++];
    if (isWord(word, "--"))
      break;
    if (isWord(word, "--help")) {
      options.action = Action::Help;
      return options;
    }
    if (isWord(word, "--version")) {
      options.action = Action::Version;
      return options;
    }
    bool expression = isWord(word, "--param");
    if (!expression && !isWord(word, "--stringparam"))
      return std::nullopt;
    if (argc - i < 2)
      return std::nullopt;
    options.parameters.push_back(ParameterOption{argv[i], argv[i + 1], expression});
    i += 2;
  }
  // Positional from here on, exactly as without options.
  if (argc - i < 2)
    return std::nullopt;
  // With only two words "-n" is a file name: "ovra -n x.xml" transforms x.xml with a
  // stylesheet called "-n".
  if (argc - i > 2 && isWord(argv[i], "-n")) {
    options.runs = readRunCount(argv[i + 1]);
    i += 2;
  }
  if (isWord(argv[i], "-p")) {
    options.xpathMode = true;
    ++i;
  }
  if (argc - i < 2)
    return std::nullopt;
  // A later "-n" or "-p" is a file name or expression text.
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

void writeHelp(std::FILE* stream) {
  std::fputs(kUsageText, stream);
  std::fputs(kHelpText, stream);
}

void writeVersion(std::FILE* stream) {
  std::fprintf(stream, "ovra %s\nUsing %s\n", versionText(), Document::parserVersion());
}

}  // namespace ovra
