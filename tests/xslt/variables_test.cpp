#include "tests/support/test_transform.h"
#include "xslt/transform.h"

#include <gtest/gtest.h>

#include <string>

namespace ovra {
namespace {

struct VariableCase {
  const char* templates;
  const char* expected;  // output on the source <r><a>1</a><a>2</a></r>, or "ERROR: " ...
};

constexpr char kSource[] = "<r><a>1</a><a>2</a></r>";

void runCases(const VariableCase* begin, const VariableCase* end) {
  for (const VariableCase* c = begin; c != end; ++c)
    EXPECT_EQ(transformOrError(stylesheetOf(c->templates), kSource), c->expected) << c->templates;
}

constexpr VariableCase kScopeCases[] = {
    {"<xsl:template match='/'><xsl:variable name='v' select='1'/>"
     "<xsl:variable name='v' select='2'/></xsl:template>",
     "ERROR: s.xsl:1: error: Variable can't be defined twice with overlapping scope"},
    // A nested redefinition overlaps too.
    {"<xsl:template match='/'><xsl:variable name='v' select='1'/>"
     "<b><xsl:variable name='v' select='2'/></b></xsl:template>",
     "ERROR: s.xsl:1: error: Variable can't be defined twice with overlapping scope"},
    // Siblings' bodies are separate scopes: the first binding ends with its element.
    {"<xsl:template match='/'><b><xsl:variable name='v' select='1'/><xsl:value-of select='$v'/></b>"
     "<c><xsl:variable name='v' select='2'/><xsl:value-of select='$v'/></c></xsl:template>",
     "<b>1</b><c>2</c>"},
    // A variable ends with the element that holds it.
    {"<xsl:template match='/'><b><xsl:variable name='v' select='1'/></b>"
     "<xsl:value-of select='$v'/></xsl:template>",
     "ERROR: s.xsl:1: error: Reference to undefined variable, $v"},
    // Each iteration of a loop binds afresh.
    {"<xsl:template match='/'><xsl:for-each select='r/a'><xsl:variable name='v' select='.'/>"
     "<xsl:value-of select='$v'/></xsl:for-each></xsl:template>",
     "12"},
    // A local shadows a global of the same name without complaint.
    {"<xsl:variable name='v' select=\"'global'\"/>"
     "<xsl:template match='/'><xsl:variable name='v' select=\"'local'\"/>"
     "<xsl:value-of select='$v'/></xsl:template>",
     "local"},
    {"<xsl:variable name='v' select='1'/><xsl:param name='v' select='2'/>"
     "<xsl:template match='/'/>",
     "ERROR: s.xsl:1: error: Variable can't be defined twice with overlapping scope"},
    // The value of a body is a result tree fragment; without either it is empty.
    {"<xsl:template match='/'><xsl:variable name='v'>x<b>y</b></xsl:variable>"
     "<xsl:value-of select='$v'/>|<xsl:copy-of select='$v'/></xsl:template>",
     "xy|x<b>y</b>"},
    {"<xsl:template match='/'><xsl:variable name='v'/>[<xsl:value-of select='$v'/>]"
     "</xsl:template>",
     "[]"},
    // Without either it is the empty string in every use, so false; a fragment is true
    // even when it holds nothing.
    {"<xsl:variable name='g'/><xsl:param name='p'/>"
     "<xsl:variable name='f'><xsl:if test='false()'>x</xsl:if></xsl:variable>"
     "<xsl:template match='/'><xsl:variable name='l'/>"
     "<xsl:value-of select='concat(boolean($g), boolean($p), boolean($l), boolean($f))'/>"
     "<xsl:call-template name='t'><xsl:with-param name='w'/></xsl:call-template></xsl:template>"
     "<xsl:template name='t'><xsl:param name='w'/><xsl:param name='d'/>"
     "<xsl:if test='not($w) and not($d) and $w = \"\"'>|empty</xsl:if></xsl:template>",
     "falsefalsefalsetrue|empty"},
    // A variable named with a prefix is found through any prefix of its namespace.
    {"<xsl:template match='/' xmlns:p='urn:v' xmlns:q='urn:v'><xsl:variable name='p:v' select='7'/>"
     "<xsl:value-of select='$q:v'/></xsl:template>",
     "7"},
};

TEST(VariablesTest, ScopesAndDuplicates) {
  runCases(std::begin(kScopeCases), std::end(kScopeCases));
}

constexpr VariableCase kParameterCases[] = {
    // A passed value replaces the default; a parameter not passed takes its default.
    {"<xsl:template match='/'><xsl:call-template name='t'><xsl:with-param name='p' select='5'/>"
     "</xsl:call-template></xsl:template>"
     "<xsl:template name='t'><xsl:param name='p' select='1'/><xsl:param name='q' select='2'/>"
     "<xsl:value-of select='$p + $q'/></xsl:template>",
     "7"},
    // A value passed to a template without that parameter is not visible there.
    {"<xsl:param name='p' select=\"'global'\"/>"
     "<xsl:template match='/'><xsl:call-template name='t'><xsl:with-param name='p' "
     "select=\"'passed'\"/>"
     "</xsl:call-template></xsl:template>"
     "<xsl:template name='t'><xsl:value-of select='$p'/></xsl:template>",
     "global"},
    // with-param values are computed in the caller's scope.
    {"<xsl:template match='/'><xsl:variable name='x' select='3'/>"
     "<xsl:call-template name='t'><xsl:with-param name='p' select='$x * 2'/></xsl:call-template>"
     "</xsl:template>"
     "<xsl:template name='t'><xsl:param name='p'/><xsl:value-of select='$p'/></xsl:template>",
     "6"},
    // The callee does not see the caller's locals.
    {"<xsl:template match='/'><xsl:variable name='x' select='3'/><xsl:call-template name='t'/>"
     "</xsl:template><xsl:template name='t'><xsl:value-of select='$x'/></xsl:template>",
     "ERROR: s.xsl:1: error: Reference to undefined variable, $x"},
    // Parameters go with apply-templates to every node, but not through the built-in rules.
    {"<xsl:template match='/'><xsl:apply-templates select='r/a'><xsl:with-param name='p' "
     "select='10'/>"
     "</xsl:apply-templates>|<xsl:apply-templates><xsl:with-param name='p' select='10'/>"
     "</xsl:apply-templates></xsl:template>"
     "<xsl:template match='a'><xsl:param name='p' select='0'/><xsl:value-of select='. + $p'/>,"
     "</xsl:template>",
     "11,12,|1,2,"},
    {"<xsl:template match='/'><xsl:apply-templates><b/></xsl:apply-templates></xsl:template>",
     "ERROR: s.xsl:1: error: Unrecognized element in apply-template, b"},
    {"<xsl:template match='/'><xsl:call-template name='t'><b/></xsl:call-template></xsl:template>"
     "<xsl:template name='t'/>",
     "ERROR: s.xsl:1: error: Unrecognized element in call-template, b"},
    {"<xsl:template match='/'><xsl:call-template name='t'><e:b "
     "xmlns:e='urn:e'/></xsl:call-template>"
     "</xsl:template><xsl:template name='t'>ok</xsl:template>",
     "ok"},
    {"<xsl:template match='/'><xsl:apply-templates select='count(r)'/></xsl:template>",
     "ERROR: s.xsl:1: error: The select expression of a apply-templates must only return nodes"},
    // Selected nodes are processed in document order, with positions.
    {"<xsl:template match='/'><xsl:apply-templates select='r/a[2] | r/a[1]'/></xsl:template>"
     "<xsl:template match='a'><xsl:value-of select='position()'/>:<xsl:value-of select='.'/>,"
     "</xsl:template>",
     "1:1,2:2,"},
};

TEST(VariablesTest, ParametersAndCalls) {
  runCases(std::begin(kParameterCases), std::end(kParameterCases));
}

constexpr VariableCase kCompileErrors[] = {
    {"<xsl:template match='/'><xsl:variable name='v' select='1' as='x'/></xsl:template>",
     "WARNING: Unrecognized attribute on variable, as on line 1 in s.xsl\n"},
    {"<xsl:template match='/'><xsl:variable select='1'/></xsl:template>",
     "ERROR: s.xsl:1: error: A name attribute must be provided for a variable"},
    {"<xsl:template match='/'><xsl:param name='v' select='1'>x</xsl:param></xsl:template>",
     "ERROR: s.xsl:1: error: A template body can only be given if there is no select attribute on "
     "a variable"},
    {"<xsl:template match='/'><xsl:apply-templates sort='x'/></xsl:template>",
     "WARNING: Unrecognized attribute on apply-templates, sort on line 1 in s.xsl\n12"},
    {"<xsl:template match='/'><xsl:call-template name='t' mode='x'/></xsl:template>"
     "<xsl:template name='t'>T</xsl:template>",
     "WARNING: Unrecognized attribute on call-template, mode on line 1 in s.xsl\nT"},
    // Compiled even where it never runs.
    {"<xsl:template name='never'><xsl:variable name='v' select='1 +'/></xsl:template>",
     "ERROR: s.xsl:1: error: Missing path expression\n"
     "  1 +\n"
     "     ^"},
};

TEST(VariablesTest, CompileErrors) {
  runCases(std::begin(kCompileErrors), std::end(kCompileErrors));
}

constexpr VariableCase kGlobalCases[] = {
    // Evaluated with the source root as context, whatever the caller's context.
    {"<xsl:variable name='g' select='count(r/a)'/>"
     "<xsl:template match='a'><xsl:value-of select='$g'/></xsl:template>",
     "22"},
    // Globals may use each other in any order.
    {"<xsl:variable name='a' select='$b + 1'/><xsl:variable name='b' select='2'/>"
     "<xsl:template match='/'><xsl:value-of select='$a'/></xsl:template>",
     "3"},
    // A global is compiled with the stylesheet, used or not; but one never used is never
    // evaluated, so its evaluation error never shows.
    {"<xsl:variable name='unused' select='unknown-function()'/>"
     "<xsl:template match='/'>fine</xsl:template>",
     "ERROR: s.xsl:1: error: Unsupported function, unknown-function\n"
     "  unknown-function()\n"
     "  ^"},
    {"<xsl:variable name='unused' select='1 div $nothing'/>"
     "<xsl:template match='/'>fine</xsl:template>",
     "fine"},
    // Evaluation errors carry the global's place.
    {"<xsl:variable name='bad' select='1 div $nothing'/>"
     "<xsl:template match='/'><xsl:value-of select='$bad'/></xsl:template>",
     "ERROR: s.xsl:1: error: Reference to undefined variable, $nothing"},
    {"<xsl:variable name='a' select='$b'/><xsl:variable name='b' select='$a'/>"
     "<xsl:template match='/'><xsl:value-of select='$a'/></xsl:template>",
     "ERROR: s.xsl:1: error: Circular reference to global variable a"},
    {"<xsl:variable name='g'><xsl:value-of select='count(//a)'/>!</xsl:variable>"
     "<xsl:template match='/'><xsl:value-of select='$g'/><xsl:value-of "
     "select='$g'/></xsl:template>",
     "2!2!"},
};

TEST(VariablesTest, GlobalsAreEvaluatedOnFirstUse) {
  runCases(std::begin(kGlobalCases), std::end(kGlobalCases));
}

TEST(VariablesTest, RecursiveTemplatesKeepTheirOwnValues) {
  // Factorial: the outer call's $n must survive the inner calls.
  std::string factorial = stylesheetOf(
      "<xsl:template match='/'><xsl:call-template name='f'><xsl:with-param name='n' select='10'/>"
      "</xsl:call-template></xsl:template>"
      "<xsl:template name='f'><xsl:param name='n'/><xsl:choose>"
      "<xsl:when test='$n &lt;= 1'>1</xsl:when><xsl:otherwise>"
      "<xsl:variable name='rest'><xsl:call-template name='f'>"
      "<xsl:with-param name='n' select='$n - 1'/></xsl:call-template></xsl:variable>"
      "<xsl:value-of select='$n * $rest'/></xsl:otherwise></xsl:choose></xsl:template>");
  EXPECT_EQ(transformOrError(factorial, "<r/>"), "3628800");

  // String reversal with counters passed down; the variable is read after the call.
  std::string reverse = stylesheetOf(
      "<xsl:template match='/'><xsl:call-template name='rev'>"
      "<xsl:with-param name='s' select='string(r)'/><xsl:with-param name='i' select='1'/>"
      "</xsl:call-template></xsl:template>"
      "<xsl:template name='rev'><xsl:param name='s'/><xsl:param name='i'/>"
      "<xsl:variable name='c' select='substring($s, $i, 1)'/>"
      "<xsl:if test='$i &lt;= string-length($s)'><xsl:call-template name='rev'>"
      "<xsl:with-param name='s' select='$s'/><xsl:with-param name='i' select='$i + 1'/>"
      "</xsl:call-template><xsl:value-of select='$c'/></xsl:if></xsl:template>");
  EXPECT_EQ(transformOrError(reverse, "<r>stressed</r>"), "desserts");
}

TEST(VariablesTest, DeepRecursionWorksAndRunawayRecursionStops) {
  std::string countdown = stylesheetOf(
      "<xsl:param name='depth' select='number(r)'/>"
      "<xsl:template match='/'><xsl:call-template name='down'>"
      "<xsl:with-param name='n' select='$depth'/></xsl:call-template></xsl:template>"
      "<xsl:template name='down'><xsl:param name='n'/><xsl:choose>"
      "<xsl:when test='$n = 0'>bottom</xsl:when><xsl:otherwise><xsl:call-template name='down'>"
      "<xsl:with-param name='n' select='$n - 1'/></xsl:call-template></xsl:otherwise>"
      "</xsl:choose></xsl:template>");
  EXPECT_EQ(transformOrError(countdown, "<r>20000</r>"), "bottom");
  // (An endless call-template is a golden case.)

  std::string applies =
      stylesheetOf("<xsl:template match='/'><xsl:apply-templates select='.'/></xsl:template>");
  EXPECT_EQ(transformOrError(applies, "<r/>"),
            "ERROR: s.xsl:1: error: Template recursion too deep");
}

}  // namespace
}  // namespace ovra
