#include "tests/support/test_transform.h"
#include "xslt/sort.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace ovra {
namespace {

struct SortCase {
  const char* topLevel;  // inside xsl:stylesheet
  const char* source;
  const char* expected;  // the output, or "ERROR: " and the message
};

void runCases(const SortCase* begin, const SortCase* end) {
  for (const SortCase* c = begin; c != end; ++c)
    EXPECT_EQ(transformOrError(stylesheetOf(c->topLevel), c->source), c->expected) << c->topLevel;
}

#define FOR_EACH(select, sorts, body)                                                              \
  "<xsl:template match='/'><xsl:for-each select='" select "'>" sorts body                          \
  "</xsl:for-each></xsl:template>"
#define VALUES "<xsl:value-of select='.'/>,"

constexpr char kWords[] = "<r><i>b</i><i>B</i><i>a b</i><i>ab</i><i>A</i><i>c</i><i>é</i></r>";
constexpr char kNumbers[] = "<r><i>10</i><i>x</i><i>-2</i><i>2.5</i><i></i><i>100</i><i>9</i></r>";
// Equal keys (k) in a mixed order; v tells the items apart.
constexpr char kPairs[] =
    "<r><i k='2' v='a'/><i k='1' v='b'/><i k='2' v='c'/><i k='1' v='d'/><i k='3' v='e'/>"
    "<i k='1' v='f'/></r>";
#define PAIRS "<xsl:value-of select='concat(@k, @v)'/>,"

constexpr SortCase kOrderCases[] = {
    // Text: case folded and white space passed over first; then lower case first unless
    // upper-first is asked; strings equal but for white space, the one without first.
    {FOR_EACH("r/i", "<xsl:sort/>", VALUES), kWords, "A,ab,a b,b,B,c,é,"},
    {FOR_EACH("r/i", "<xsl:sort select='.' case-order='upper-first'/>", VALUES), kWords,
     "A,ab,a b,B,b,c,é,"},
    {FOR_EACH("r/i", "<xsl:sort case-order='lower-first' order='descending'/>", VALUES), kWords,
     "é,c,B,b,a b,ab,A,"},
    // Numbers: what is not a number comes first ascending, last descending.
    {FOR_EACH("r/i", "<xsl:sort data-type='number'/>", VALUES), kNumbers, "x,,-2,2.5,9,10,100,"},
    {FOR_EACH("r/i", "<xsl:sort data-type='number' order='descending'/>", VALUES), kNumbers,
     "100,10,9,2.5,-2,x,,"},
    // As text, numbers sort by their characters.
    {FOR_EACH("r/i", "<xsl:sort data-type='text'/>", VALUES), kNumbers, ",-2,10,100,2.5,9,x,"},
    // A data type of another processor's sorts as text.
    {FOR_EACH("r/i", "<xsl:sort data-type='q:natural' xmlns:q='urn:q'/>", VALUES), kNumbers,
     ",-2,10,100,2.5,9,x,"},
    // Stable: equal keys keep document order, descending too.
    {FOR_EACH("r/i", "<xsl:sort select='@k'/>", PAIRS), kPairs, "1b,1d,1f,2a,2c,3e,"},
    {FOR_EACH("r/i", "<xsl:sort select='@k' order='descending'/>", PAIRS), kPairs,
     "3e,2a,2c,1b,1d,1f,"},
    // Several keys: each later key orders what the earlier ones leave equal.
    {FOR_EACH("r/i",
              "<xsl:sort select='@k' data-type='number'/><xsl:sort select='@v' "
              "order='descending'/>",
              PAIRS),
     kPairs, "1f,1d,1b,2c,2a,3e,"},
    {FOR_EACH("r/i", "<xsl:sort select='@k = 1'/><xsl:sort select='@v'/>", PAIRS), kPairs,
     "2a,2c,3e,1b,1d,1f,"},
    // Keys see the node as context and current node, its position in the unsorted list
    // and the list's size.
    {FOR_EACH("r/i", "<xsl:sort select='last() - position()' data-type='number'/>", PAIRS), kPairs,
     "1f,3e,1d,2c,1b,2a,"},
    {FOR_EACH("r/i", "<xsl:sort select='current()/@v' order='descending'/>", PAIRS), kPairs,
     "1f,3e,1d,2c,1b,2a,"},
    // Options may be templates, expanded in the instruction's context.
    {"<xsl:variable name='o' select='\"descending\"'/>" FOR_EACH(
         "r/i", "<xsl:sort select='@k' order='{$o}' data-type='{/r/@t}'/>", PAIRS),
     "<r t='number'><i k='10'/><i k='9'/><i k='100'/></r>", "100,10,9,"},
    // Positions follow the sorted order; last() is the number of nodes.
    {FOR_EACH("r/i", "<xsl:sort select='@v' order='descending'/>",
              "<xsl:value-of select='concat(position(), @v, last())'/>,"),
     kPairs, "1f6,2e6,3d6,4c6,5b6,6a6,"},
    // A single node, and no node at all.
    {FOR_EACH("r", "<xsl:sort select='x'/>", "<xsl:value-of select='count(i)'/>"), kPairs, "6"},
    {FOR_EACH("r/none", "<xsl:sort/>", "x"), kPairs, ""},
};

TEST(SortTest, ForEachOrdersByItsKeys) {
  runCases(std::begin(kOrderCases), std::end(kOrderCases));
}

constexpr SortCase kApplyCases[] = {
    // Sort keys may stand before, between and after the parameters.
    {"<xsl:template match='/'><xsl:apply-templates select='r/i'>"
     "<xsl:sort select='@k'/><xsl:with-param name='p' select='\"-\"'/>"
     "<xsl:sort select='@v' order='descending'/></xsl:apply-templates></xsl:template>"
     "<xsl:template match='i'><xsl:param name='p'/>"
     "<xsl:value-of select='concat(position(), $p, @k, @v, $p, last())'/>,</xsl:template>",
     kPairs, "1-1f-6,2-1d-6,3-1b-6,4-2c-6,5-2a-6,6-3e-6,"},
    // Without select: the children, text nodes among them.
    {"<xsl:template match='r'><xsl:apply-templates><xsl:sort/></xsl:apply-templates>"
     "</xsl:template><xsl:template match='*'>[<xsl:value-of select='.'/>]</xsl:template>",
     "<r>c<x>b</x>a<x>d</x></r>", "a[b]c[d]"},
    // In a mode.
    {"<xsl:template match='/'><xsl:apply-templates select='r/i' mode='m'>"
     "<xsl:sort select='@v' order='descending'/></xsl:apply-templates></xsl:template>"
     "<xsl:template match='i' mode='m'><xsl:value-of select='@v'/></xsl:template>",
     kPairs, "fedcba"},
};

TEST(SortTest, ApplyTemplatesOrdersByItsKeys) {
  runCases(std::begin(kApplyCases), std::end(kApplyCases));
}

constexpr SortCase kLastCases[] = {
    // In predicates of steps, of filter expressions and of patterns.
    {"<xsl:template match='/'><xsl:value-of select='concat(r/i[last()]/@v, "
     "(//i)[last() - 1]/@v, count(r/i[position() = last()]), r/i[@k=2][last()]/@v)'/>"
     "</xsl:template>",
     kPairs, "fe1c"},
    {"<xsl:template match='/'><xsl:apply-templates select='r/i'/></xsl:template>"
     "<xsl:template match='i[position() = last()]'>L</xsl:template>"
     "<xsl:template match='i[last()]/@v'/><xsl:template match='i'>-</xsl:template>",
     kPairs, "-----L"},
    // In for-each bodies and in templates applied by apply-templates.
    {FOR_EACH("r/i[@k=1]", "", "<xsl:if test='position() = last()'>last:</xsl:if>" VALUES), kPairs,
     ",,last:,"},
    {"<xsl:template match='/'><xsl:apply-templates select='r/i'/></xsl:template>"
     "<xsl:template match='i'><xsl:value-of select='last()'/></xsl:template>",
     kPairs, "666666"},
    // In templates the built-in rules apply: the count of the parent's children.
    {"<xsl:template match='i'><xsl:value-of select='concat(position(), \"/\", last())'/>"
     "</xsl:template>",
     "<r><i/>t<i/></r>", "1/3t3/3"},
    // In a template called from there: the caller's focus.
    {"<xsl:template match='/'><xsl:for-each select='r/i'><xsl:call-template name='n'/>"
     "</xsl:for-each></xsl:template>"
     "<xsl:template name='n'><xsl:value-of select='last()'/></xsl:template>",
     kPairs, "666666"},
    // In attribute value templates of literal result elements.
    {FOR_EACH("r/i[@k=2]", "", "<e n='{last()}'/>"), kPairs, "<e n=\"2\"/><e n=\"2\"/>"},
    // At the top of a run: a list of one.
    {"<xsl:variable name='g' select='last()'/><xsl:template match='/'><xsl:value-of "
     "select='concat($g, last())'/></xsl:template>",
     kPairs, "11"},
};

TEST(SortTest, LastIsTheContextSize) {
  runCases(std::begin(kLastCases), std::end(kLastCases));
}

constexpr SortCase kErrorCases[] = {
    {"<xsl:template match='/'><xsl:sort/></xsl:template>", "<r/>",
     "ERROR: s.xsl:1: error: sort elements can only be children of for-each or apply-templates"},
    {"<xsl:template match='/'><xsl:call-template name='n'><xsl:sort/></xsl:call-template>"
     "</xsl:template><xsl:template name='n'/>",
     "<r/>",
     "ERROR: s.xsl:1: error: sort elements can only be children of for-each or apply-templates"},
    {FOR_EACH("r", "<xsl:value-of select='.'/><xsl:sort/>", ""), "<r/>",
     "ERROR: s.xsl:1: error: sort elements must come first in a for-each"},
    {FOR_EACH("r", "<xsl:sort>x</xsl:sort>", ""), "<r/>",
     "ERROR: s.xsl:1: error: sort elements must be empty"},
    {FOR_EACH("r", "<xsl:sort by='x'/>", ""), "<r/>",
     "WARNING: Unrecognized attribute on sort, by on line 1 in s.xsl\n"},
    {FOR_EACH("r", "<xsl:sort order='up'/>", ""), "<r/>",
     "ERROR: s.xsl:1: error: The order of a sort must be ascending or descending, not up"},
    {FOR_EACH("r", "<xsl:sort data-type='date'/>", ""), "<r/>",
     "ERROR: s.xsl:1: error: The data-type of a sort must be text, number or a prefixed name, not "
     "date"},
    {FOR_EACH("r/i", "<xsl:sort case-order='{name()}'/>", ""), "<r><i/><i/></r>",
     "ERROR: s.xsl:1: error: The case-order of a sort must be upper-first or lower-first, not "},
    {FOR_EACH("r", "<xsl:sort select='1 +'/>", ""), "<r/>",
     "ERROR: s.xsl:1: error: Missing path expression\n"
     "  1 +\n"
     "     ^"},
    {"<xsl:template match='/'><xsl:apply-templates select='r'><xsl:sort select='x('/>"
     "</xsl:apply-templates></xsl:template>",
     "<r/>",
     "ERROR: s.xsl:1: error: Missing ',' after function argument\n"
     "  x(\n"
     "    ^"},
};

TEST(SortTest, MisplacedAndMalformedSortsAreErrors) {
  runCases(std::begin(kErrorCases), std::end(kErrorCases));
}

TEST(SortTest, TextOrder) {
  struct Case {
    const char* a;
    const char* b;
    CaseOrder caseOrder;
    int expected;
  };
  constexpr Case cases[] = {
      {"a", "B", CaseOrder::Default, -1},    {"B", "a", CaseOrder::Default, 1},
      {"a", "A", CaseOrder::Default, -1},    {"a", "A", CaseOrder::UpperFirst, 1},
      {"a", "A", CaseOrder::LowerFirst, -1}, {"aB", "Ab", CaseOrder::UpperFirst, 1},
      {"ab", "ab", CaseOrder::Default, 0},   {"", "", CaseOrder::Default, 0},
      {"", " ", CaseOrder::Default, -1},     {"ab", "abc", CaseOrder::Default, -1},
      {"a b", "ab", CaseOrder::Default, 1},  {"ab ", "a b", CaseOrder::Default, -1},
      {"a!b", "ab", CaseOrder::Default, -1}, {"z", "é", CaseOrder::Default, -1},
      {"É", "é", CaseOrder::UpperFirst, -1}, {"Éa", "éb", CaseOrder::Default, -1},
      {"Я", "а", CaseOrder::Default, 1},     {"я", "Я", CaseOrder::UpperFirst, 1},
      {"\xff", "a", CaseOrder::Default, 1},  {"a\xc3", "a", CaseOrder::Default, 1},
  };
  for (const Case& c : cases) {
    int result = compareSortText(c.a, c.b, c.caseOrder);
    EXPECT_EQ((result > 0) - (result < 0), c.expected) << c.a << " " << c.b;
    int reverse = compareSortText(c.b, c.a, c.caseOrder);
    EXPECT_EQ((reverse > 0) - (reverse < 0), -c.expected) << c.b << " " << c.a;
  }
}

TEST(SortTest, NumberOrder) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double a;
    double b;
    int expected;
  };
  const Case cases[] = {{nan, -inf, -1}, {nan, nan, 0}, {-inf, -1, -1}, {0.0, -0.0, 0},
                        {1, 2, -1},      {2, 1, 1},     {inf, 1e308, 1}};
  for (const Case& c : cases) {
    EXPECT_EQ(compareSortNumbers(c.a, c.b), c.expected) << c.a << " " << c.b;
    EXPECT_EQ(compareSortNumbers(c.b, c.a), -c.expected) << c.b << " " << c.a;
  }
}

}  // namespace
}  // namespace ovra
