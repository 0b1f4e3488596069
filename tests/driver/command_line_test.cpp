#include "driver/command_line.h"
#include "driver/entry_points.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace ovra {
namespace {

// Renders the parse of "ovra <words>" as "runs mode first xml out", or "usage".
std::string parse(std::initializer_list<const char*> words) {
  std::vector<const char*> argv{"ovra"};
  argv.insert(argv.end(), words);
  std::optional<Options> options = parseCommandLine(int(argv.size()), argv.data());
  if (!options)
    return "usage";
  return std::to_string(options->runs) + (options->xpathMode ? " xpath " : " xslt ") +
         options->xpathOrStylesheet + " " + options->xmlFile + " " +
         (options->outputFile ? options->outputFile : "(stdout)");
}

struct ParseCase {
  std::initializer_list<const char*> words;
  const char* expected;
};

const ParseCase kParseCases[] = {
    {{}, "usage"},
    {{"in.xml"}, "usage"},
    {{"s.xsl", "in.xml"}, "1 xslt s.xsl in.xml (stdout)"},
    {{"s.xsl", "in.xml", "out.xml"}, "1 xslt s.xsl in.xml out.xml"},
    {{"-p", "//a", "in.xml"}, "1 xpath //a in.xml (stdout)"},
    {{"-p", "//a", "in.xml", "out.txt"}, "1 xpath //a in.xml out.txt"},
    {{"-p", "//a"}, "usage"},  // no XML file
    {{"-n", "5", "-p", "//a", "in.xml", "out.txt"}, "5 xpath //a in.xml out.txt"},
    {{"-n", "5", "s.xsl", "in.xml"}, "5 xslt s.xsl in.xml (stdout)"},
    {{"-n", "5", "in.xml"}, "usage"},
    {{"-n", "5", "-p", "//a"}, "usage"},
    // With only two words "-n" is not an option but the stylesheet's name.
    {{"-n", "5"}, "1 xslt -n 5 (stdout)"},
    // After -p every word is positional: "-n" becomes the XML file name.
    {{"-p", "//a", "-n", "5"}, "1 xpath //a -n 5"},
    {{"-p", "//a", "-n", "5", "in.xml"}, "usage"},
    {{"s.xsl", "-n", "5"}, "1 xslt s.xsl -n 5"},
    // "-p" is recognised only first or right after the run count.
    {{"s.xsl", "-p", "//a"}, "1 xslt s.xsl -p //a"},
    {{"-p", "-p", "in.xml"}, "1 xpath -p in.xml (stdout)"},
    // Nothing is read after the output file; an extra word is a usage error.
    {{"s.xsl", "in.xml", "out.xml", "extra"}, "usage"},
    {{"-n", "2", "-p", "//a", "in.xml", "out.txt", "extra"}, "usage"},
    // Run counts are read as atoi would.
    {{"-n", "abc", "s.xsl", "in.xml"}, "0 xslt s.xsl in.xml (stdout)"},
    {{"-n", "-3", "s.xsl", "in.xml"}, "-3 xslt s.xsl in.xml (stdout)"},
    {{"-n", " 12x", "s.xsl", "in.xml"}, "12 xslt s.xsl in.xml (stdout)"},
    {{"-n", "", "s.xsl", "in.xml"}, "0 xslt s.xsl in.xml (stdout)"},
    // Options are exact words.
    {{"-n5", "s.xsl", "in.xml"}, "1 xslt -n5 s.xsl in.xml"},
    {{"-P", "//a", "in.xml"}, "1 xslt -P //a in.xml"},
};

TEST(CommandLineTest, ParsesWordsByPosition) {
  for (const ParseCase& c : kParseCases) {
    std::string words;
    for (const char* word : c.words)
      words += std::string(" [") + word + "]";
    EXPECT_EQ(parse(c.words), c.expected) << "ovra" << words;
  }
}

// Renders the options of "ovra <words>" before the positional words: "help", "version",
// or "+name=value" for --param and "name=value" for --stringparam, then the parse.
std::string parseWithOptions(std::initializer_list<const char*> words) {
  std::vector<const char*> argv{"ovra"};
  argv.insert(argv.end(), words);
  std::optional<Options> options = parseCommandLine(int(argv.size()), argv.data());
  if (!options)
    return "usage";
  if (options->action == Action::Help)
    return "help";
  if (options->action == Action::Version)
    return "version";
  std::string text;
  for (const ParameterOption& parameter : options->parameters)
    text += std::string(parameter.isExpression ? "+" : "") + parameter.name + "=" +
            parameter.value + " ";
  return text + std::to_string(options->runs) + (options->xpathMode ? " xpath " : " xslt ") +
         options->xpathOrStylesheet + " " + options->xmlFile + " " +
         (options->outputFile ? options->outputFile : "(stdout)");
}

const ParseCase kOptionCases[] = {
    {{"--stringparam", "a", "x y", "s.xsl", "in.xml"}, "a=x y 1 xslt s.xsl in.xml (stdout)"},
    {{"--param", "a", "1+1", "--stringparam", "b", "", "s.xsl", "in.xml", "out"},
     "+a=1+1 b= 1 xslt s.xsl in.xml out"},
    // The run count and -p follow the options, read as without them.
    {{"--param", "a", "1", "-n", "3", "-p", "$a", "in.xml"}, "+a=1 3 xpath $a in.xml (stdout)"},
    {{"--param", "a", "1", "-n", "3"}, "+a=1 1 xslt -n 3 (stdout)"},
    {{"--param", "a", "1", "-n", "3", "in.xml"}, "usage"},
    // A value is taken whole, even when it looks like an option.
    {{"--stringparam", "a", "--help", "s.xsl", "in.xml"}, "a=--help 1 xslt s.xsl in.xml (stdout)"},
    // Options come first only; later they are file names.
    {{"s.xsl", "--stringparam", "a"}, "1 xslt s.xsl --stringparam a"},
    {{"-n", "2", "--stringparam", "a", "b", "in.xml"}, "usage"},
    // "--" ends the options, so a file may start with "--".
    {{"--", "--s.xsl", "in.xml"}, "1 xslt --s.xsl in.xml (stdout)"},
    {{"--stringparam", "a", "b", "--", "-p", "//a", "-"}, "a=b 1 xpath //a - (stdout)"},
    {{"--"}, "usage"},
    // A parameter without its name or value, or an unknown option, is a usage error.
    {{"--param", "a"}, "usage"},
    {{"--param", "a", "1"}, "usage"},
    {{"--stringparam"}, "usage"},
    {{"--bogus", "s.xsl", "in.xml"}, "usage"},
    {{"--stringparam=a", "b", "s.xsl", "in.xml"}, "usage"},
    {{"--Help"}, "usage"},
    // --help and --version need nothing else and end the reading.
    {{"--help"}, "help"},
    {{"--version"}, "version"},
    {{"--stringparam", "a", "b", "--version", "junk"}, "version"},
    {{"--help", "--bogus"}, "help"},
    {{"--bogus", "--help"}, "usage"},
    // Single-dash words are positional, as before.
    {{"-help", "in.xml"}, "1 xslt -help in.xml (stdout)"},
};

TEST(CommandLineTest, OptionsComeBeforeThePositionalWords) {
  for (const ParseCase& c : kOptionCases) {
    std::string words;
    for (const char* word : c.words)
      words += std::string(" [") + word + "]";
    EXPECT_EQ(parseWithOptions(c.words), c.expected) << "ovra" << words;
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
  std::optional<Options> options = parseCommandLine(5, argv);
  ASSERT_TRUE(options);
  EXPECT_EQ(options->xpathOrStylesheet, argv[2]);
  EXPECT_EQ(options->xmlFile, argv[3]);
  EXPECT_EQ(options->outputFile, argv[4]);
}

TEST(CommandLineTest, RunCountsOutsideThirtyTwoBitsAreClamped) {
  EXPECT_EQ(readRunCount("2147483647"), 2147483647);
  EXPECT_EQ(readRunCount("99999999999999999999"), 2147483647);
  EXPECT_EQ(readRunCount("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(readRunCount("-99999999999"), -2147483647 - 1);
}

}  // namespace
}  // namespace ovra
