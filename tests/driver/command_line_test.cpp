#include "driver/command_line.h"

#include <gtest/gtest.h>

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
