#include "driver/command_line.h"

#include "driver/entry_points.h"
#include "tree/document.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

namespace ovra {

static constexpr char kHelpText[] =
    "       ovra [<options>] -o <outfile>|<folder>/|- <xslfile> <xmlfile>...\n"
    "       ovra [<options>] <xmlfile> [<outfile>]\n"
    "\n"
    "Transforms <xmlfile> with the XSLT 1.0 stylesheet <xslfile>, or with -p prints\n"
    "every result of the XPath 1.0 expression <xpath> on <xmlfile>, one per line.\n"
    "Without -o the third file name is the output file: `ovra a.xsl b.xml c.xml`\n"
    "writes c.xml, it does not transform it. An output file is replaced only when the\n"
    "run succeeds. With -o or --noout every name after the stylesheet is a document,\n"
    "transformed with the stylesheet compiled once. A document named alone is\n"
    "transformed with the stylesheet its <?xml-stylesheet type=\"text/xsl\"\n"
    "href=\"...\"?> names. A file name \"-\" is standard input (stylesheet or\n"
    "document) or standard output.\n"
    "\n"
    "Options, anywhere before \"--\":\n"
    "  -o, --output <file>     write the result to <file> (\"-\": standard output); with\n"
    "                          several documents <file> is a folder (ending in \"/\")\n"
    "                          that gets each result under its document's name, or \"-\"\n"
    "  -p <xpath>              evaluate the expression instead of transforming\n"
    "  -n <runs>               run <runs> times (compiled once) and report the time on\n"
    "                          standard error; 0 compiles and loads only\n"
    "  --repeat                run 20 times, as -n 20\n"
    "  -j, --jobs <n>          transform up to <n> documents at once (default: one per\n"
    "                          processor); each document's messages stay together\n"
    "  --timing                print the time each step took on standard error\n"
    "  --noout                 run, but write no result; every name after the\n"
    "                          stylesheet is a document\n"
    "  --param <name> <xpath>  give the stylesheet parameter <name> the value of the\n"
    "                          expression <xpath>, evaluated at the source root\n"
    "  --stringparam <name> <value>\n"
    "                          give the stylesheet parameter <name> the string <value>\n"
    "  --maxdepth <n>          stop templates nested deeper than <n>\n"
    "  --strict                unknown attributes on XSLT elements are errors\n"
    "  --encoding <enc>        read the source documents in the encoding <enc>\n"
    "  --path <folders>        look for DTDs, entities and documents in these folders\n"
    "                          (separated by spaces or colons) as well\n"
    "  --catalogs              also use the catalogs of $SGML_CATALOG_FILES (the XML\n"
    "                          catalogs of $XML_CATALOG_FILES, default\n"
    "                          /etc/xml/catalog, are always used)\n"
    "  --nonet                 accepted: ovra never reads from the network\n"
    "  --novalid               do not read the external DTD subset\n"
    "  --nodtdattr             do not add default attributes from the DTD\n"
    "  --external <which>      the local files source documents and document() may\n"
    "                          read besides the documents: any (the default), folder\n"
    "                          (those in the folder of the document that names them)\n"
    "                          or none\n"
    "  --nowrite               write no file besides the result (exsl:document fails)\n"
    "  --nomkdir               make no folder for files written besides the result\n"
    "  --writesubtree <path>   write files besides the result only inside <path>\n"
    "  --seed-rand <n>         seed math:random (the same numbers in every run)\n"
    "  -v, --verbose           tell what is loaded from where, on standard error\n"
    "  -V, --version           print the version and exit\n"
    "  -h, --help              print this help and exit\n"
    "  --                      end of options\n"
    "Also accepted, for xsltproc's users: --load-trace (as -v), --maxvars <n>,\n"
    "--maxparserdepth <n>, --huge.\n"
    "\n"
    "Parameters replace the defaults of top-level xsl:param elements of their names;\n"
    "with -p they are variables the expression can use ($name).\n"
    "\n"
    "Exit status:\n"
    "   0  success\n"
    "   1  no arguments\n"
    "   2  usage error: a file name missing or extra, an option without its value\n"
    "   3  unknown or unsupported option\n"
    "   4  a stylesheet cannot be read or is not well-formed XML\n"
    "   5  the stylesheet (or the -p expression) has an error\n"
    "   6  a document cannot be read or is not well-formed XML\n"
    "   9  the transformation or evaluation failed\n"
    "  10  xsl:message terminate=\"yes\" stopped the transformation\n"
    "  11  the result cannot be written\n"
    "With several documents each is transformed even when one fails; the status is the\n"
    "first failure's. A failed run leaves an existing output file unchanged.\n";

static constexpr char kTryHelp[] = "; try 'ovra --help'";
// More threads than this only cost memory: each has a large stack reserved.
static constexpr std::int64_t kMaxJobs = 1024;

namespace {

enum class OptionId : std::uint8_t {
  Output,
  XPath,
  Runs,
  Repeat,
  Jobs,
  Timing,
  NoOutput,
  Param,
  StringParam,
  MaxDepth,
  Strict,
  Encoding,
  Path,
  Catalogs,
  NoNetwork,
  NoValid,
  NoDtdAttributes,
  External,
  Verbose,
  Version,
  Help,
  MaxVariables,
  MaxParserDepth,
  Seed,
  NoWrite,
  NoMkdir,
  WriteSubtree,
  Accepted,     // an xsltproc option whose promise ovra keeps anyway
  Unsupported,  // an xsltproc option ovra does not offer
};

struct OptionSpec {
  const char* shortName;  // null: none
  const char* longName;   // null: none
  int values;             // words taken after the option
  OptionId id;
};

// Every option and its spellings; xsltproc's options keep xsltproc's names.
constexpr OptionSpec kOptions[] = {
    {"-o", "--output", 1, OptionId::Output},
    {"-p", nullptr, 1, OptionId::XPath},
    {"-n", nullptr, 1, OptionId::Runs},
    {nullptr, "--repeat", 0, OptionId::Repeat},
    {"-j", "--jobs", 1, OptionId::Jobs},
    {nullptr, "--timing", 0, OptionId::Timing},
    {nullptr, "--noout", 0, OptionId::NoOutput},
    {nullptr, "--param", 2, OptionId::Param},
    {nullptr, "--stringparam", 2, OptionId::StringParam},
    {nullptr, "--maxdepth", 1, OptionId::MaxDepth},
    {nullptr, "--strict", 0, OptionId::Strict},
    {nullptr, "--encoding", 1, OptionId::Encoding},
    {nullptr, "--path", 1, OptionId::Path},
    {nullptr, "--catalogs", 0, OptionId::Catalogs},
    {nullptr, "--nonet", 0, OptionId::NoNetwork},
    {nullptr, "--novalid", 0, OptionId::NoValid},
    {nullptr, "--nodtdattr", 0, OptionId::NoDtdAttributes},
    {nullptr, "--external", 1, OptionId::External},
    {"-v", "--verbose", 0, OptionId::Verbose},
    {nullptr, "--load-trace", 0, OptionId::Verbose},
    {"-V", "--version", 0, OptionId::Version},
    {"-h", "--help", 0, OptionId::Help},
    {nullptr, "--maxvars", 1, OptionId::MaxVariables},
    {nullptr, "--maxparserdepth", 1, OptionId::MaxParserDepth},
    {nullptr, "--seed-rand", 1, OptionId::Seed},
    {nullptr, "--huge", 0, OptionId::Accepted},
    {nullptr, "--nowrite", 0, OptionId::NoWrite},
    {nullptr, "--nomkdir", 0, OptionId::NoMkdir},
    {nullptr, "--writesubtree", 1, OptionId::WriteSubtree},
    {nullptr, "--html", 0, OptionId::Unsupported},
    {nullptr, "--debug", 0, OptionId::Unsupported},
    {nullptr, "--dumpextensions", 0, OptionId::Unsupported},
    {nullptr, "--xinclude", 0, OptionId::Unsupported},
    {nullptr, "--xincludestyle", 0, OptionId::Unsupported},
    {nullptr, "--profile", 0, OptionId::Unsupported},
    {nullptr, "--norman", 0, OptionId::Unsupported},
};

const OptionSpec* findOption(std::string_view word) {
  for (const OptionSpec& spec : kOptions) {
    if ((spec.shortName != nullptr && word == spec.shortName) ||
        (spec.longName != nullptr && word == spec.longName))
      return &spec;
  }
  return nullptr;
}

bool isOptionWord(const char* word) {
  return word[0] == '-' && word[1] != '\0';
}

// Reads the whole word as a number from min to max; nullopt for anything else ("5x",
// "", " 5", out of range).
std::optional<std::int64_t> readNumber(const char* text, std::int64_t min, std::int64_t max) {
  if (*text == '\0' || !(*text == '-' || (*text >= '0' && *text <= '9')))
    return std::nullopt;
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(text, &end, 10);
  if (*end != '\0' || errno == ERANGE || value < min || value > max)
    return std::nullopt;
  return value;
}

// NAME=VALUE with a name as XML writes it: how other processors take parameters, and
// almost never meant as the name of an output file.
bool looksLikeParameter(std::string_view word) {
  std::size_t equals = word.find('=');
  if (equals == 0 || equals == std::string_view::npos)
    return false;
  auto isNameStart = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  };
  auto isNameChar = [&](char c) {
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':';
  };
  if (!isNameStart(word[0]))
    return false;
  for (char c : word.substr(0, equals)) {
    if (!isNameChar(c))
      return false;
  }
  return true;
}

// Splits --path's value at spaces and colons.
std::vector<std::string> splitPath(const char* text) {
  std::vector<std::string> folders;
  std::string folder;
  for (const char* p = text;; ++p) {
    if (*p == '\0' || *p == ' ' || *p == ':') {
      if (!folder.empty())
        folders.push_back(std::move(folder));
      folder.clear();
      if (*p == '\0')
        return folders;
    } else {
      folder += *p;
    }
  }
}

class Parser {
 public:
  Parser(int argc, const char* const* argv) : argc_(argc), argv_(argv) {}

  Options parse();

 private:
  // Marks the options as a usage error; the first one found is the one reported.
  void fail(ExitStatus status, std::string message) {
    if (options_.action == Action::Usage)
      return;
    options_.action = Action::Usage;
    options_.status = status;
    options_.error = std::move(message) + kTryHelp;
  }
  // The number after option, or nullopt after reporting it.
  std::optional<std::int64_t> number(const char* option, const char* text, std::int64_t min,
                                     std::int64_t max);
  void apply(const OptionSpec& spec, const char* word, const char* const* values);
  void assignFiles(const std::vector<const char*>& files);

  int argc_;
  const char* const* argv_;
  Options options_;
};

std::optional<std::int64_t> Parser::number(const char* option, const char* text, std::int64_t min,
                                           std::int64_t max) {
  std::optional<std::int64_t> value = readNumber(text, min, max);
  if (!value) {
    fail(ExitStatus::UsageError, std::string(option) + " needs a whole number from " +
                                     std::to_string(min) + " to " + std::to_string(max) +
                                     ", not '" + text + "'");
  }
  return value;
}

void Parser::apply(const OptionSpec& spec, const char* word, const char* const* values) {
  constexpr std::int64_t kIntMax = std::numeric_limits<std::int32_t>::max();
  Settings& settings = options_.settings;
  switch (spec.id) {
  case OptionId::Output:
    options_.output = values[0];
    options_.outputOption = true;
    return;
  case OptionId::XPath:
    options_.xpathMode = true;
    options_.expression = values[0];
    return;
  case OptionId::Runs:
    if (auto runs = number(word, values[0], 0, kIntMax))
      options_.runs = std::int32_t(*runs);
    return;
  case OptionId::Repeat:
    options_.runs = 20;
    return;
  case OptionId::Jobs:
    if (auto jobs = number(word, values[0], 1, kMaxJobs))
      options_.jobs = std::int32_t(*jobs);
    return;
  case OptionId::Timing:
    options_.timing = true;
    return;
  case OptionId::NoOutput:
    options_.noOutput = true;
    return;
  case OptionId::Param:
  case OptionId::StringParam:
    options_.parameters.push_back(
        ParameterOption{values[0], values[1], spec.id == OptionId::Param});
    return;
  case OptionId::MaxDepth:
    if (auto depth = number(word, values[0], 1, kIntMax))
      settings.maxTemplateDepth = std::int32_t(*depth);
    return;
  case OptionId::Strict:
    settings.strict = true;
    return;
  case OptionId::Encoding:
    settings.inputEncoding = values[0];
    return;
  case OptionId::Path:
    for (std::string& folder : splitPath(values[0]))
      settings.searchPath.push_back(std::move(folder));
    return;
  case OptionId::Catalogs:
    settings.useCatalogs = true;
    return;
  case OptionId::NoNetwork:
    settings.noNetwork = true;
    return;
  case OptionId::NoValid:
    settings.loadExternalDtd = false;
    return;
  case OptionId::NoDtdAttributes:
    settings.dtdDefaultAttributes = false;
    return;
  case OptionId::External:
    if (std::strcmp(values[0], "any") == 0)
      settings.externalAccess = ExternalAccess::Anywhere;
    else if (std::strcmp(values[0], "folder") == 0)
      settings.externalAccess = ExternalAccess::DocumentFolder;
    else if (std::strcmp(values[0], "none") == 0)
      settings.externalAccess = ExternalAccess::Nothing;
    else
      fail(ExitStatus::UsageError,
           std::string(word) + " takes any, folder or none, not '" + values[0] + "'");
    return;
  case OptionId::Verbose:
    options_.verbose = true;
    return;
  case OptionId::Version:
  case OptionId::Help:
    // Handled where the words are read: they end the reading.
    return;
  case OptionId::MaxVariables:
    // ovra has no limit on the number of variables to raise.
    number(word, values[0], 1, kIntMax);
    return;
  case OptionId::MaxParserDepth:
    if (auto depth = number(word, values[0], 1, kIntMax))
      settings.maxParserDepth = std::int32_t(*depth);
    return;
  case OptionId::Seed:
    if (auto seed = number(word, values[0], 0, std::numeric_limits<std::uint32_t>::max()))
      settings.randomSeed = std::uint32_t(*seed);
    return;
  case OptionId::NoWrite:
    settings.noWrite = true;
    return;
  case OptionId::NoMkdir:
    settings.noMkdir = true;
    return;
  case OptionId::WriteSubtree:
    settings.writeSubtree = values[0];
    return;
  case OptionId::Accepted:
    return;
  case OptionId::Unsupported:
    fail(ExitStatus::UnknownOption, std::string("ovra does not support ") + word);
    return;
  }
}

Options Parser::parse() {
  if (argc_ <= 1) {
    options_.action = Action::Usage;
    options_.status = ExitStatus::NoArguments;
    return options_;
  }
  std::vector<const char*> files;
  bool dashDash = false;
  for (int i = 1; i < argc_; ++i) {
    const char* word = argv_[i];
    if (dashDash || !isOptionWord(word)) {
      files.push_back(word);
      continue;
    }
    if (std::strcmp(word, "--") == 0) {
      dashDash = true;
      continue;
    }
    const OptionSpec* spec = findOption(word);
    if (spec == nullptr && std::strncmp(word, "-j", 2) == 0) {
      // -j4, as make takes it.
      const char* value = word + 2;
      apply(*findOption("-j"), "-j", &value);
      continue;
    }
    if (spec == nullptr) {
      fail(ExitStatus::UnknownOption, std::string("unknown option '") + word + "'");
      continue;
    }
    if (spec->id == OptionId::Help || spec->id == OptionId::Version) {
      // Asked for before anything went wrong, they need nothing else.
      if (options_.action == Action::Usage)
        return options_;
      options_.action = spec->id == OptionId::Help ? Action::Help : Action::Version;
      return options_;
    }
    if (argc_ - 1 - i < spec->values) {
      fail(ExitStatus::UsageError,
           std::string(word) +
               (spec->values == 1 ? " needs a value" : " needs a name and a value"));
      return options_;
    }
    apply(*spec, word, argv_ + i + 1);
    i += spec->values;
  }
  if (options_.action == Action::Usage)
    return options_;
  assignFiles(files);
  return options_;
}

void Parser::assignFiles(const std::vector<const char*>& files) {
  std::size_t next = 0;
  std::size_t count = files.size();
  if (!options_.xpathMode) {
    // One name alone is a document naming its own stylesheet.
    if (count >= 2)
      options_.stylesheet = files[next++];
  }
  if (next == count) {
    fail(ExitStatus::UsageError,
         options_.xpathMode ? "-p needs a document after the expression" : "no document named");
    return;
  }
  // With no result to write, there is no output file to name: every word is a document,
  // as xsltproc takes them.
  if (options_.outputOption || options_.noOutput) {
    options_.documents.assign(files.begin() + std::ptrdiff_t(next), files.end());
  } else {
    options_.documents.push_back(files[next++]);
    if (next < count) {
      if (looksLikeParameter(files[next])) {
        fail(ExitStatus::UsageError,
             std::string("'") + files[next] +
                 "' would be the output file, but looks like a parameter: pass parameters "
                 "with --stringparam NAME VALUE, or name such an output file with -o");
        return;
      }
      options_.output = files[next++];
    }
    if (next < count) {
      fail(ExitStatus::UsageError,
           std::string("one word too many: '") + files[next] +
               "' (without -o the words are the stylesheet, the document and the output "
               "file; to transform several documents name the output with -o)");
      return;
    }
  }
  std::size_t fromInput = 0;
  if (options_.stylesheet != nullptr && std::strcmp(options_.stylesheet, "-") == 0)
    ++fromInput;
  for (const char* document : options_.documents) {
    if (std::strcmp(document, "-") == 0)
      ++fromInput;
  }
  if (fromInput > 1) {
    fail(ExitStatus::UsageError, "standard input (\"-\") can be read only once");
    return;
  }
}

}  // namespace

Options parseCommandLine(int argc, const char* const* argv) {
  return Parser(argc, argv).parse();
}

void writeHelp(std::FILE* stream) {
  std::fputs(kUsageText, stream);
  std::fputs(kHelpText, stream);
}

void writeVersion(std::FILE* stream) {
  std::fprintf(stream, "ovra %s\nUsing %s\n", versionText(), Document::parserVersion());
}

}  // namespace ovra
