#include "driver/command_line.h"
#include "driver/entry_points.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace ovra {
namespace {

Options parse(std::initializer_list<const char*> words) {
  std::vector<const char*> argv{"ovra"};
  argv.insert(argv.end(), words);
  return parseCommandLine(int(argv.size()), argv.data());
}

// The parse of "ovra <words>" in one line: "help", "version", "usage <status>: <message>",
// or what a run would do: parameters ("+name=value" for --param, "name=value" for
// --stringparam), the run count, the mode with its stylesheet or expression, the
// documents, where the output goes, then the flags that are set.
std::string render(const Options& options) {
  switch (options.action) {
  case Action::Help:
    return "help";
  case Action::Version:
    return "version";
  case Action::Usage:
    return "usage " + std::to_string(toInt(options.status)) + ": " + options.error;
  case Action::Run:
    break;
  }
  std::string text;
  for (const ParameterOption& parameter : options.parameters)
    text += std::string(parameter.isExpression ? "+" : "") + parameter.name + "=" +
            parameter.value + " ";
  text += std::to_string(options.runs);
  if (options.xpathMode)
    text += std::string(" xpath ") + options.expression;
  else
    text += std::string(" xslt ") + (options.stylesheet ? options.stylesheet : "(named)");
  for (const char* document : options.documents)
    text += std::string(" ") + document;
  text += options.output == nullptr
              ? " > (stdout)"
              : std::string(options.outputOption ? " -o " : " > ") + options.output;
  const Settings& settings = options.settings;
  if (options.noOutput)
    text += " noout";
  if (options.timing)
    text += " timing";
  if (options.verbose)
    text += " verbose";
  if (settings.strict)
    text += " strict";
  if (settings.noNetwork)
    text += " nonet";
  if (settings.useCatalogs)
    text += " catalogs";
  if (!settings.loadExternalDtd)
    text += " novalid";
  if (!settings.dtdDefaultAttributes)
    text += " nodtdattr";
  if (!settings.inputEncoding.empty())
    text += " encoding=" + settings.inputEncoding;
  for (const std::string& folder : settings.searchPath)
    text += " path=" + folder;
  if (settings.maxTemplateDepth != 0)
    text += " maxdepth=" + std::to_string(settings.maxTemplateDepth);
  if (settings.maxParserDepth != 0)
    text += " maxparserdepth=" + std::to_string(settings.maxParserDepth);
  if (settings.externalAccess != ExternalAccess::Anywhere)
    text +=
        settings.externalAccess == ExternalAccess::Nothing ? " external=none" : " external=folder";
  if (settings.randomSeed)
    text += " seed=" + std::to_string(*settings.randomSeed);
  if (settings.noWrite)
    text += " nowrite";
  if (settings.noMkdir)
    text += " nomkdir";
  if (!settings.writeSubtree.empty())
    text += " writesubtree=" + settings.writeSubtree;
  return text;
}

struct ParseCase {
  std::initializer_list<const char*> words;
  const char* expected;
};

const ParseCase kParseCases[] = {
    // The design's forms.
    {{"s.xsl", "in.xml"}, "1 xslt s.xsl in.xml > (stdout)"},
    {{"s.xsl", "in.xml", "out.xml"}, "1 xslt s.xsl in.xml > out.xml"},
    {{"-p", "//a", "in.xml"}, "1 xpath //a in.xml > (stdout)"},
    {{"-p", "//a", "in.xml", "out.txt"}, "1 xpath //a in.xml > out.txt"},
    {{"-n", "5", "-p", "//a", "in.xml", "out.txt"}, "5 xpath //a in.xml > out.txt"},
    {{"-n", "5", "s.xsl", "in.xml"}, "5 xslt s.xsl in.xml > (stdout)"},
    {{"-n", "0", "s.xsl", "in.xml"}, "0 xslt s.xsl in.xml > (stdout)"},
    // Options anywhere before "--", in any order; an option's value is taken whole.
    {{"s.xsl", "-n", "5", "in.xml"}, "5 xslt s.xsl in.xml > (stdout)"},
    {{"-p", "//a", "-n", "5", "in.xml"}, "5 xpath //a in.xml > (stdout)"},
    {{"s.xsl", "in.xml", "--stringparam", "a", "b"}, "a=b 1 xslt s.xsl in.xml > (stdout)"},
    {{"-p", "-1", "in.xml"}, "1 xpath -1 in.xml > (stdout)"},
    {{"--stringparam", "a", "--help", "s.xsl", "in.xml"},
     "a=--help 1 xslt s.xsl in.xml > (stdout)"},
    {{"--param", "a", "1+1", "--stringparam", "b", "", "s.xsl", "in.xml", "out"},
     "+a=1+1 b= 1 xslt s.xsl in.xml > out"},
    {{"-n", "3", "--param", "a", "1", "-p", "$a", "in.xml"}, "+a=1 3 xpath $a in.xml > (stdout)"},
    {{"--", "-s.xsl", "-in.xml"}, "1 xslt -s.xsl -in.xml > (stdout)"},
    {{"--stringparam", "a", "b", "--", "-p", "-"}, "a=b 1 xslt -p - > (stdout)"},
    // "-" alone is a file name: standard input, or standard output.
    {{"s.xsl", "-"}, "1 xslt s.xsl - > (stdout)"},
    {{"-", "in.xml", "-"}, "1 xslt - in.xml > -"},
    // -o: every word after the stylesheet is a document.
    {{"-o", "out.xml", "s.xsl", "in.xml"}, "1 xslt s.xsl in.xml -o out.xml"},
    {{"--output", "out/", "s.xsl", "a.xml", "b.xml", "c.xml"},
     "1 xslt s.xsl a.xml b.xml c.xml -o out/"},
    {{"s.xsl", "a.xml", "b.xml", "-o", "-"}, "1 xslt s.xsl a.xml b.xml -o -"},
    {{"-o", "out/", "-p", "//a", "a.xml", "b.xml"}, "1 xpath //a a.xml b.xml -o out/"},
    // One document alone names its stylesheet.
    {{"in.xml"}, "1 xslt (named) in.xml > (stdout)"},
    {{"-o", "out.html", "in.xml"}, "1 xslt (named) in.xml -o out.html"},
    // Every other option.
    {{"--repeat", "s.xsl", "in.xml"}, "20 xslt s.xsl in.xml > (stdout)"},
    {{"--timing", "--noout", "-v", "s.xsl", "in.xml"},
     "1 xslt s.xsl in.xml > (stdout) noout timing verbose"},
    {{"--verbose", "--load-trace", "s.xsl", "in.xml"}, "1 xslt s.xsl in.xml > (stdout) verbose"},
    {{"--strict", "--nonet", "--catalogs", "--novalid", "--nodtdattr", "s.xsl", "in.xml"},
     "1 xslt s.xsl in.xml > (stdout) strict nonet catalogs novalid nodtdattr"},
    {{"--encoding", "iso-8859-1", "--path", "a b:c", "--path", "d", "s.xsl", "in.xml"},
     "1 xslt s.xsl in.xml > (stdout) encoding=iso-8859-1 path=a path=b path=c path=d"},
    {{"--external", "folder", "s.xsl", "in.xml"}, "1 xslt s.xsl in.xml > (stdout) external=folder"},
    {{"--external", "none", "--external", "any", "s.xsl", "in.xml"},
     "1 xslt s.xsl in.xml > (stdout)"},
    {{"--external", "none", "s.xsl", "in.xml"}, "1 xslt s.xsl in.xml > (stdout) external=none"},
    {{"--external", "home", "s.xsl", "in.xml"},
     "usage 2: --external takes any, folder or none, not 'home'; try 'ovra --help'"},
    {{"--maxdepth", "40", "--maxparserdepth", "9", "--seed-rand", "7", "s.xsl", "in.xml"},
     "1 xslt s.xsl in.xml > (stdout) maxdepth=40 maxparserdepth=9 seed=7"},
    {{"--seed-rand", "0", "s.xsl", "in.xml"}, "1 xslt s.xsl in.xml > (stdout) seed=0"},
    {{"--maxvars", "5", "--huge", "--nowrite", "--nomkdir", "--writesubtree", "x", "s.xsl",
      "in.xml"},
     "1 xslt s.xsl in.xml > (stdout) nowrite nomkdir writesubtree=x"},
    // --help and --version need nothing else and end the reading.
    {{"--help"}, "help"},
    {{"-h"}, "help"},
    {{"--version"}, "version"},
    {{"-V", "s.xsl", "doc.xml"}, "version"},
    {{"--stringparam", "a", "b", "--version", "junk"}, "version"},
    {{"--help", "--bogus"}, "help"},
    // Usage errors name the word; each class has its status.
    {{}, "usage 1: "},
    {{"-p", "//a"}, "usage 2: -p needs a document after the expression; try 'ovra --help'"},
    {{"--timing"}, "usage 2: no document named; try 'ovra --help'"},
    {{"s.xsl", "in.xml", "out.xml", "extra"},
     "usage 2: one word too many: 'extra' (without -o the words are the stylesheet, the "
     "document and the output file; to transform several documents name the output with "
     "-o); try 'ovra --help'"},
    {{"s.xsl", "in.xml", "title=Foo"},
     "usage 2: 'title=Foo' would be the output file, but looks like a parameter: pass "
     "parameters with --stringparam NAME VALUE, or name such an output file with -o; try "
     "'ovra --help'"},
    {{"-o", "title=Foo", "s.xsl", "in.xml"}, "1 xslt s.xsl in.xml -o title=Foo"},
    {{"s.xsl", "in.xml", "=x"}, "1 xslt s.xsl in.xml > =x"},
    {{"-", "-"}, "usage 2: standard input (\"-\") can be read only once; try 'ovra --help'"},
    {{"-n", "abc", "s.xsl", "in.xml"},
     "usage 2: -n needs a whole number from 0 to 2147483647, not 'abc'; try 'ovra --help'"},
    {{"-n", "5x", "s.xsl", "in.xml"},
     "usage 2: -n needs a whole number from 0 to 2147483647, not '5x'; try 'ovra --help'"},
    {{"-n", "-3", "s.xsl", "in.xml"},
     "usage 2: -n needs a whole number from 0 to 2147483647, not '-3'; try 'ovra --help'"},
    {{"-n", "", "s.xsl", "in.xml"},
     "usage 2: -n needs a whole number from 0 to 2147483647, not ''; try 'ovra --help'"},
    {{"-n", "99999999999", "s.xsl", "in.xml"},
     "usage 2: -n needs a whole number from 0 to 2147483647, not '99999999999'; try 'ovra "
     "--help'"},
    {{"--maxdepth", "0", "s.xsl", "in.xml"},
     "usage 2: --maxdepth needs a whole number from 1 to 2147483647, not '0'; try 'ovra "
     "--help'"},
    {{"s.xsl", "in.xml", "-o"}, "usage 2: -o needs a value; try 'ovra --help'"},
    {{"--param", "a"}, "usage 2: --param needs a name and a value; try 'ovra --help'"},
    {{"-x", "s.xsl", "in.xml"}, "usage 3: unknown option '-x'; try 'ovra --help'"},
    {{"s.xsl", "in.xml", "-x"}, "usage 3: unknown option '-x'; try 'ovra --help'"},
    {{"-n5", "s.xsl", "in.xml"}, "usage 3: unknown option '-n5'; try 'ovra --help'"},
    {{"--stringparam=a", "b", "s.xsl", "in.xml"},
     "usage 3: unknown option '--stringparam=a'; try 'ovra --help'"},
    {{"--Help"}, "usage 3: unknown option '--Help'; try 'ovra --help'"},
    {{"--bogus", "--help"}, "usage 3: unknown option '--bogus'; try 'ovra --help'"},
    {{"--html", "s.xsl", "in.xml"}, "usage 3: ovra does not support --html; try 'ovra --help'"},
    {{"--xinclude", "s.xsl", "in.xml"},
     "usage 3: ovra does not support --xinclude; try 'ovra --help'"},
};

TEST(CommandLineTest, ParsesEveryOptionAndReportsEveryUsageError) {
  for (const ParseCase& c : kParseCases) {
    std::string words;
    for (const char* word : c.words)
      words += std::string(" [") + word + "]";
    EXPECT_EQ(render(parse(c.words)), c.expected) << "ovra" << words;
  }
}

TEST(CommandLineTest, VersionNamesTheProgramAndTheParser) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  writeVersion(file);
  std::rewind(file);
  char text[256] = {};
  std::size_t count = std::fread(text, 1, sizeof text - 1, file);
  std::fclose(file);
  std::string written(text, count);
  EXPECT_EQ(written.rfind(std::string("ovra ") + versionText() + "\nUsing expat_", 0), 0u)
      << written;
  EXPECT_EQ(written.back(), '\n');
}

TEST(CommandLineTest, OptionTextsPointIntoArgv) {
  const char* argv[] = {"ovra", "-p", "//a", "in.xml", "out.txt"};
  Options options = parseCommandLine(5, argv);
  ASSERT_EQ(options.action, Action::Run);
  EXPECT_EQ(options.expression, argv[2]);
  EXPECT_EQ(options.documents.at(0), argv[3]);
  EXPECT_EQ(options.output, argv[4]);
}

}  // namespace
}  // namespace ovra
