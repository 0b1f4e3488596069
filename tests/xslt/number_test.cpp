#include "tests/support/test_transform.h"
#include "xslt/number.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ovra {
namespace {

struct FormatCase {
  std::vector<double> numbers;
  const char* format;
  const char* expected;
  const char* groupingSeparator = "";
  std::int32_t groupingSize = 0;
};

const FormatCase kFormatCases[] = {
    // Decimal, padded to the width of the token.
    {{7}, "1", "7"},
    {{7}, "001", "007"},
    {{1234}, "01", "1234"},
    {{0}, "01", "00"},
    {{1e20}, "1", "100000000000000000000"},
    // Alphabetic: a to z, then two letters.
    {{1}, "a", "a"},
    {{26}, "a", "z"},
    {{27}, "A", "AA"},
    {{702}, "a", "zz"},
    {{703}, "a", "aaa"},
    // Roman.
    {{4}, "i", "iv"},
    {{1994}, "I", "MCMXCIV"},
    {{3999}, "I", "MMMCMXCIX"},
    {{10000}, "I", "10000"},
    // What a letter or roman token cannot show, and unknown tokens, are decimal.
    {{0}, "a", "0"},
    {{0}, "I", "0"},
    {{12}, "x", "12"},
    {{12}, "02", "12"},
    {{12}, "11", "12"},
    // Prefix, separators, suffix; the last token and separator serve the rest.
    {{1, 2, 3}, "1.1", "1.2.3"},
    {{1, 2, 3}, "(1-a) ", "(1-b-c) "},
    {{1, 2, 3}, "A.1.a. ", "A.2.c. "},
    {{1, 2, 3, 4}, "1+1-1", "1+2-3-4"},
    {{1, 2}, "1", "1.2"},
    {{1, 2}, "", "1.2"},
    {{5}, "--", "--5"},
    {{2}, "**A**", "**B**"},
    {{1, 2}, "A|a+?", "A|b+?"},
    {{}, "(1)", ""},
    // Grouping only with both a separator and a size; padding counts digits only.
    {{1234567}, "1", "1,234,567", ",", 3},
    {{1234567}, "001", "1,23,45,67", ",", 2},
    {{5}, "0000001", "0,000,005", ",", 3},
    {{1234567}, "1", "1234567", ",", 0},
    {{1234567}, "1", "1234567", "", 3},
    {{1234},
     "(1)",
     "(1\xC2\xA0"
     "234)",
     "\xC2\xA0",
     3},
    // Other scripts: Greek letters (the final sigma counts), Arabic-Indic digits, and
    // non-ASCII punctuation as separator.
    {{12}, "\xCE\xB1", "\xCE\xBC"},
    {{26}, "\xCE\xB1", "\xCE\xB1\xCE\xB1"},
    {{24}, "\xCE\x91", "\xCE\xA9"},
    {{12}, "\xD9\xA1", "\xD9\xA1\xD9\xA2"},
    {{3}, "(\xD9\xA0\xD9\xA1)", "(\xD9\xA0\xD9\xA3)"},
    {{1, 2},
     "1\xC2\xB7"
     "1",
     "1\xC2\xB7"
     "2"},
};

TEST(NumberListFormatTest, FormatsListsByTokensAndSeparators) {
  for (const FormatCase& c : kFormatCases) {
    NumberFormatOptions options;
    options.format = c.format;
    options.groupingSeparator = c.groupingSeparator;
    options.groupingSize = c.groupingSize;
    EXPECT_EQ(formatNumberList(c.numbers, options), c.expected) << "format '" << c.format << "'";
  }
}

TEST(NumberListFormatTest, AnyByteStringIsAFormat) {
  NumberFormatOptions options;
  options.format = "\xFF(\xE2\x82"
                   "1";  // stray and truncated sequences
  std::vector<double> numbers{1, 2};
  EXPECT_FALSE(formatNumberList(numbers, options).empty());
}

#define XSL "xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"

// Chapters with sections with titles; one title sits directly in a chapter.
constexpr char kBook[] = "<doc><ch><t/><s><t/></s><s><t/><t/></s></ch>"
                         "<ch><s><t/></s><x/><s><t/></s></ch></doc>";

// A stylesheet that writes the number of every t, each followed by a space.
std::string numberTitles(const std::string& number) {
  return stylesheetOf("<xsl:output method='text'/><xsl:param name='global' select=\"'ch'\"/>"
                      "<xsl:template match='t'>" +
                      number + "<xsl:text> </xsl:text></xsl:template>");
}

struct LevelCase {
  const char* number;
  const char* expected;
};

const LevelCase kLevelCases[] = {
    // Single: the place of the nearest counted ancestor-or-self among its siblings.
    {"<xsl:number/>", "1 1 1 2 1 1 "},
    {"<xsl:number count='s'/>", " 1 2 2 1 2 "},
    {"<xsl:number count='s|ch'/>", "1 1 2 2 1 2 "},
    // From: the nearest from ancestor bounds the search, and may itself be counted.
    {"<xsl:number count='ch' from='s'/>", "1      "},
    {"<xsl:number count='ch' from='ch'/>", "1 1 1 1 2 2 "},
    // Multiple: every counted ancestor, outermost first.
    {"<xsl:number level='multiple' count='ch|s|t' format='1.1'/>",
     "1.1 1.2.1 1.3.1 1.3.2 2.1.1 2.2.1 "},
    {"<xsl:number level='multiple' count='ch|s'/>", "1 1.1 1.2 1.2 2.1 2.2 "},
    {"<xsl:number level='multiple' count='ch|s' from='ch'/>", " 1 2 2 1 2 "},
    {"<xsl:number level='multiple' count='s' from='s'/>", "      "},
    // Any: all counted nodes up to here in document order, after the from node.
    {"<xsl:number level='any'/>", "1 2 3 4 5 6 "},
    {"<xsl:number level='any' from='ch'/>", "1 2 3 4 1 2 "},
    {"<xsl:number level='any' count='s|t'/>", "1 3 5 6 8 10 "},
    {"<xsl:number level='any' count='x'/>", "0 0 0 0 0 1 "},
    {"<xsl:number level='any' count='ch' from='ch'/>", "0 0 0 0 0 0 "},
    // Patterns may use predicates.
    {"<xsl:number level='any' count='t[not(parent::ch)]'/>", "0 1 2 3 4 5 "},
    // count and from are no template patterns: variables are allowed (XSLT 7.7).
    {"<xsl:variable name='v' select=\"'s'\"/>"
     "<xsl:number level='any' count='*[name() = $v]' from='*[name() = $global]'/>",
     "0 1 2 2 1 2 "},
    {"<xsl:number level='multiple' count='*[name() = $global]'/>", "1 1 1 1 2 2 "},
    // Format and grouping are attribute value templates.
    {"<xsl:number level='any' format=\"{substring('aiA', count(ancestor::*), 1)}\""
     " grouping-size='{1}'/>",
     "i B C D E F "},
};

TEST(NumberInstructionTest, CountsByLevelCountAndFrom) {
  for (const LevelCase& c : kLevelCases)
    EXPECT_EQ(transformOrError(numberTitles(c.number), kBook), c.expected) << c.number;
}

// Level any remembers where it left off; nodes out of document order, nodes of other
// names and from boundaries must still get their own counts.
TEST(NumberInstructionTest, AnyLevelCountsInAnyOrder) {
  const LevelCase cases[] = {
      {"<xsl:for-each select='//t'><xsl:sort select='position()' data-type='number' "
       "order='descending'/><xsl:number level='any'/>,</xsl:for-each>",
       "6,5,4,3,2,1,"},
      {"<xsl:for-each select='//t|//s'><xsl:value-of select='name()'/>"
       "<xsl:number level='any'/>,</xsl:for-each>",
       "t1,s1,t2,s2,t3,t4,s3,t5,s4,t6,"},
      {"<xsl:for-each select='//t|//t'><xsl:number level='any' from='ch'/>,"
       "<xsl:number level='any' from='ch'/>;</xsl:for-each>",
       "1,1;2,2;3,3;4,4;1,1;2,2;"},
      // A pattern with a variable or current() matches other nodes in each call.
      {"<xsl:for-each select='//t'><xsl:variable name='n' select='name(..)'/>"
       "<xsl:number level='any' count='*[name() = $n]'/>,</xsl:for-each>",
       "1,1,2,2,3,4,"},
      {"<xsl:for-each select='//t'>"
       "<xsl:number level='any' count='*[name() = name(current()/..)]'/>,</xsl:for-each>",
       "1,1,2,2,3,4,"},
  };
  for (const LevelCase& c : cases) {
    std::string stylesheet = stylesheetOf("<xsl:output method='text'/><xsl:template match='/'>" +
                                          std::string(c.number) + "</xsl:template>");
    EXPECT_EQ(transformOrError(stylesheet, kBook), c.expected) << c.number;
  }
}

const LevelCase kValueCases[] = {
    {"<xsl:number value='2.5'/>", "3"},
    {"<xsl:number value='2.49' format='(01)'/>", "(02)"},
    {"<xsl:number value='count(//t)' format='i'/>", "vi"},
    {"<xsl:number value='1234567' grouping-separator='.' grouping-size='3'/>", "1.234.567"},
    {"<xsl:number value='1234567' grouping-separator='.'/>", "1234567"},
    // Values that cannot be numbered are written as their strings, without the format.
    {"<xsl:number value='\"many\"' format='(1)'/>", "NaN"},
    {"<xsl:number value='1 div 0' format='(1)'/>", "Infinity"},
    {"<xsl:number value='-3' format='(1)'/>", "-3"},
    {"<xsl:number value='0.4' format='(1)'/>", "0.4"},
    {"<xsl:number value='0.5' format='(1)'/>", "(1)"},
};

TEST(NumberInstructionTest, NumbersAValue) {
  for (const LevelCase& c : kValueCases) {
    std::string stylesheet = stylesheetOf("<xsl:output method='text'/><xsl:template match='/'>" +
                                          std::string(c.number) + "</xsl:template>");
    EXPECT_EQ(transformOrError(stylesheet, kBook), c.expected) << c.number;
  }
}

TEST(NumberInstructionTest, DefaultCountFollowsKindAndName) {
  // Attributes have no siblings and level any passes over attributes, so an attribute is
  // always the first; elements count by expanded name, processing instructions by target.
  std::string stylesheet = stylesheetOf(
      "<xsl:output method='text'/>"
      "<xsl:template match='/'>"
      "<xsl:for-each select='//@*'><xsl:number level='any'/>,<xsl:number/>;</xsl:for-each>"
      "<xsl:for-each select='//p:e'><xsl:number/>;</xsl:for-each>"
      "<xsl:for-each select='//processing-instruction()'><xsl:number/>;</xsl:for-each>"
      "</xsl:template>");
  std::string withPrefix = stylesheet;
  withPrefix.replace(withPrefix.find("xmlns:xsl"), 0, "xmlns:p='urn:p' ");
  EXPECT_EQ(transformOrError(withPrefix, "<r a='1'><e b='2' a='3'/><e xmlns='urn:p' a='4'/>"
                                         "<?x?><?y?><?x?><e xmlns='urn:p'/></r>"),
            "1,1;1,1;1,1;1,1;1;2;1;1;2;");
}

TEST(NumberInstructionTest, RejectsBadAttributes) {
  const LevelCase cases[] = {
      {"<xsl:number level='sideways'/>", "ERROR: s.xsl:1: error: Expecting level attribute to have "
                                         "value 'single', 'multiple' or 'any'"},
      {"<xsl:number size='2'/>", "WARNING: Unrecognized attribute on number, size on line 1 in "
                                 "s.xsl\n1 1 1 2 1 1 "},
      {"<xsl:number p:size='2' xmlns:p='urn:p'/>", "1 1 1 2 1 1 "},
  };
  for (const LevelCase& c : cases)
    EXPECT_EQ(transformOrError(numberTitles(c.number), kBook), c.expected) << c.number;
  for (const char* bad : {"<xsl:number count='1 +'/>", "<xsl:number from='f(.)'/>",
                          "<xsl:number value='(1'/>", "<xsl:number format='{1 +}'/>"}) {
    std::string result = transformOrError(numberTitles(bad), kBook);
    EXPECT_EQ(result.rfind("ERROR: ", 0), 0u) << bad << " gave " << result;
  }
}

}  // namespace
}  // namespace ovra
