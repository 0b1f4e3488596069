#include "tests/support/test_transform.h"

#include <gtest/gtest.h>

#include <string>

namespace ovra {
namespace {

struct RuleCase {
  const char* templates;  // top-level elements of the stylesheet
  const char* source;
  const char* expected;  // the output, or "ERROR: " and the message
};

void runCases(const RuleCase* begin, const RuleCase* end) {
  for (const RuleCase* c = begin; c != end; ++c)
    EXPECT_EQ(transformOrError(stylesheetOf(c->templates), c->source), c->expected)
        << c->templates << "\n  on " << c->source;
}

// Templates that announce themselves and continue with the children.
#define T(match, mark)                                                                             \
  "<xsl:template match='" match "'>" mark "<xsl:apply-templates/></xsl:template>"

constexpr RuleCase kSelectionCases[] = {
    // 0.5 (a step with a parent) beats -0.5 (any element).
    {T("*", "S") T("chapter/title", "T"), "<chapter><title/></chapter>", "ST"},
    // A bare name (0, through the name index) beats any element (-0.5), either order.
    {T("para", "P") T("*", "S"), "<doc><para/></doc>", "SP"},
    {T("*", "S") T("para", "P"), "<doc><para/></doc>", "SP"},
    // Equal priorities: the later template wins.
    {T("*[@x]", "1") T("a[@y]", "2"), "<a x='' y=''/>", "2"},
    {T("a[@y]", "2") T("*[@x]", "1"), "<a x='' y=''/>", "1"},
    // Two templates for one name: the later one, like any other tie.
    {T("para", "1") T("para", "2"), "<para/>", "2"},
    // Name-index templates stand at priority 0 among the others of priority 0.
    {"<xsl:template match='node()' priority='0'>N<xsl:apply-templates/></xsl:template>" T("para",
                                                                                          "P"),
     "<para/>", "P"},
    {T("para",
       "P") "<xsl:template match='node()' priority='0'>N<xsl:apply-templates/></xsl:template>",
     "<para/>", "N"},
    // An explicit priority puts a bare name in the priority order.
    {"<xsl:template match='para' priority='5'>P</xsl:template>"
     "<xsl:template match='*' priority='1'>S<xsl:apply-templates/></xsl:template>",
     "<para/>", "P"},
    {"<xsl:template match='para' priority='0'>P</xsl:template>"
     "<xsl:template match='*' priority='1'>S<xsl:apply-templates/></xsl:template>",
     "<para/>", "S"},
    // Priorities are read like strtod: sign, exponent, trailing text ignored.
    {"<xsl:template match='para' priority='-1e1'>P</xsl:template>" T("*", "S"), "<para/>", "S"},
    {"<xsl:template match='*' priority='2.5abc'>S</xsl:template>"
     "<xsl:template match='para' priority='2'>P</xsl:template>",
     "<para/>", "S"},
    // The name index answers for elements in no namespace only.
    {T("title", "T"), "<r xmlns:x='urn:x'><x:title>in x</x:title><title/></r>", "in xT"},
    {"<xsl:template match='r'><xsl:apply-templates select='@*'/></xsl:template>" T("title", "T"),
     "<r title='attribute'/>", "attribute"},
    // Union patterns match when any alternative does, however many there are.
    {T("a | b", "U"), "<r><a/><b/><c/></r>", "UU"},
    {T("a | b[@k] | c | d", "U"), "<r><a/><b/><b k=''/><c/><d/></r>", "UUUU"},
    // Each alternative of a union is a rule with its own default priority (XSLT 5.5):
    // @*|node() stands at -0.5, so any name wins over it, before or after it.
    {"<xsl:template match='@*|node()'><xsl:copy><xsl:apply-templates select='@*|node()'/>"
     "</xsl:copy></xsl:template><xsl:template match='b'><B/></xsl:template>",
     "<a><b/><c x='1'/></a>", "<a><B/><c x=\"1\"/></a>"},
    {"<xsl:template match='b'>B</xsl:template>"
     "<xsl:template match='node()|@*'>N<xsl:apply-templates/></xsl:template>",
     "<a><b/></a>", "NB"},
    // a|b/c: a at 0 loses to a[@k] (0.5) later or earlier, b/c at 0.5 wins over c (0).
    {T("a | b/c", "U") T("a[@k]", "K") T("c", "C"), "<r><a k=''/><b><c/></b></r>", "KU"},
    {T("a[@k]", "K") T("a | b/c", "U"), "<a k=''/>", "K"},
    {T("c", "C") T("a | b/c", "U"), "<b><c/></b>", "U"},
    // An explicit priority applies to every alternative.
    {"<xsl:template match='a | b/c' priority='-1'>U<xsl:apply-templates/></xsl:template>" T("*",
                                                                                            "S"),
     "<b><c/></b>", "SS"},
    {"<xsl:template match='x | *' priority='1'>U<xsl:apply-templates/></xsl:template>" T("b/c",
                                                                                         "C"),
     "<b><c/></b>", "UU"},
    // Alternatives of one template in another mode, and prefixed wildcards at -0.25.
    {"<xsl:template match='/'><xsl:apply-templates mode='m'/></xsl:template>"
     "<xsl:template match='p:* | q' mode='m' xmlns:p='urn:p'>P</xsl:template>"
     "<xsl:template match='*' mode='m'>S<xsl:apply-templates mode='m'/></xsl:template>",
     "<r><x:a xmlns:x='urn:p'/><q/></r>", "SPP"},
    // Attribute patterns.
    {"<xsl:template match='r'><xsl:apply-templates select='@*'/></xsl:template>"
     "<xsl:template match='@id'>[<xsl:value-of select='.'/>]</xsl:template>",
     "<r id='1' other='2'/>", "[1]2"},
    // A template with a name but no pattern never matches.
    {"<xsl:template name='para' priority='9'>N</xsl:template>", "<para>text</para>", "text"},
};

TEST(TemplateRulesTest, HighestPriorityThenLatestWins) {
  runCases(std::begin(kSelectionCases), std::end(kSelectionCases));
}

constexpr RuleCase kModeCases[] = {
    // A mode never selects a template without one, and the name index stands for the
    // default mode only.
    {"<xsl:template match='/'><xsl:apply-templates mode='m'/></xsl:template>" T("para", "P")
         T("*", "S"),
     "<para>t</para>", "t"},
    // The built-in rules recurse in the mode they were asked for.
    {"<xsl:template match='/'><xsl:apply-templates mode='m'/></xsl:template>"
     "<xsl:template match='b' mode='m'>B</xsl:template>"
     "<xsl:template match='b'>wrong</xsl:template>",
     "<a><b/>t</a>", "Bt"},
    // Modes are qualified names compared by namespace name, not prefix.
    {"<xsl:template match='/' xmlns:p='urn:m'><xsl:apply-templates mode='p:m'/></xsl:template>"
     "<xsl:template match='a' mode='q:m' xmlns:q='urn:m'>Q</xsl:template>",
     "<a/>", "Q"},
    // mode='' is the default mode.
    {"<xsl:template match='/'><xsl:apply-templates mode=''/></xsl:template>" T("a", "A"), "<a/>",
     "A"},
};

TEST(TemplateRulesTest, ModesSelectTheirOwnTemplates) {
  runCases(std::begin(kModeCases), std::end(kModeCases));
}

constexpr RuleCase kBuiltInCases[] = {
    // No templates: the text of the whole document, attribute values not included.
    {"", "<r a='no'>one<!--c--><?p d?><b>two</b>three</r>", "onetwothree"},
    // Children get their position among all children, and the count of them.
    {"<xsl:template match='*'><xsl:value-of select='position()'/>,</xsl:template>",
     "<r><a/>t<b/><c/></r>", "1,"},
    {"<xsl:template match='r/*'>[<xsl:value-of select='position()'/>]</xsl:template>",
     "<r><a/>t<b/><!--c--><c/></r>", "[1]t[3][5]"},
    // An attribute without a template is written as its value.
    {"<xsl:template match='/'><xsl:apply-templates select='//@*'/></xsl:template>",
     "<r a='1'><b c='2'/></r>", "12"},
    // Parameters stop at a built-in rule: it is <xsl:apply-templates/> without any (XSLT
    // 1.0 section 5.8; xsltproc passes them on, as XSLT 2.0 does).
    {"<xsl:template match='/'><xsl:apply-templates select='r'><xsl:with-param name='p' "
     "select='0'/></xsl:apply-templates></xsl:template><xsl:template match='b'><xsl:param "
     "name='p' select='1'/><xsl:value-of select='$p'/></xsl:template>",
     "<r><b/></r>", "1"},
};

TEST(TemplateRulesTest, BuiltInRules) {
  runCases(std::begin(kBuiltInCases), std::end(kBuiltInCases));
}

TEST(TemplateRulesTest, BuiltInRulesDescendAnyDepthWithoutRecursion) {
  constexpr int kDepth = 100000;
  std::string source;
  for (int i = 0; i < kDepth; ++i)
    source += "<a>";
  source += "deep";
  for (int i = 0; i < kDepth; ++i)
    source += "</a>";
  EXPECT_EQ(transformOrError(stylesheetOf(""), source), "deep");
}

constexpr RuleCase kNamedCases[] = {
    // A template whose pattern went to the name index is still found by its name.
    {"<xsl:template match='/'><xsl:call-template name='t'/></xsl:template>"
     "<xsl:template name='t' match='para'>T</xsl:template>",
     "<r/>", "T"},
    // Only a higher import precedence may take a name again (XSLT 6).
    {"<xsl:template match='/'><xsl:call-template name='t'/></xsl:template>"
     "<xsl:template name='t'>1</xsl:template><xsl:template name='t'>2</xsl:template>",
     "<r/>",
     "ERROR: s.xsl:1: error: A template of this name is declared twice with the same import "
     "precedence, t"},
    // A name nobody has is an error, also where the call never runs (XSLT 6).
    {"<xsl:template match='/'>[<xsl:call-template name='none'/>]</xsl:template>", "<r/>",
     "ERROR: s.xsl:1: error: No template of the name called, none"},
    {"<xsl:template match='/'/><xsl:template match='never' xmlns:p='urn:n'>"
     "<xsl:call-template name='p:t'/></xsl:template><xsl:template name='t'/>",
     "<r/>", "ERROR: s.xsl:1: error: No template of the name called, p:t"},
    // Names are qualified.
    {"<xsl:template match='/' xmlns:p='urn:n'><xsl:call-template name='p:t'/></xsl:template>"
     "<xsl:template name='t'>plain</xsl:template>"
     "<xsl:template name='q:t' xmlns:q='urn:n'>qualified</xsl:template>",
     "<r/>", "qualified"},
};

TEST(TemplateRulesTest, CallTemplateFindsByName) {
  runCases(std::begin(kNamedCases), std::end(kNamedCases));
}

constexpr RuleCase kAttributeErrors[] = {
    {"<xsl:template match='*' priority=''/>", "<r/>",
     "ERROR: s.xsl:1: error: priority must be a number"},
    {"<xsl:template match='*' priority='high'/>", "<r/>",
     "ERROR: s.xsl:1: error: priority must be a number"},
    {"<xsl:template match='*' priority='NaN'/>", "<r/>",
     "ERROR: s.xsl:1: error: priority must be a number"},
    {"<xsl:template match='*' select='x'/>", "<r/>",
     "WARNING: Unrecognized attribute on template, select on line 1 in s.xsl\n"},
    // Attributes in a namespace are not the processor's business.
    {"<xsl:template match='r' xmlns:e='urn:e' e:note='x'>ok</xsl:template>", "<r/>", "ok"},
    {"<xsl:template match='1 + 2'/>", "<r/>",
     "ERROR: s.xsl:1: error: Invalid match pattern\n"
     "  1 + 2\n"
     "  ^"},
    {"<xsl:template match='a['/>", "<r/>",
     "ERROR: s.xsl:1: error: Missing ']' after predicate\n"
     "  a[\n"
     "    ^"},
    {"<xsl:template match='a[. = $v]'/>", "<r/>",
     "ERROR: s.xsl:1: error: A match pattern can not refer to variables or parameters"},
    {"<xsl:template match='a | $v'/>", "<r/>",
     "ERROR: s.xsl:1: error: A match pattern can not refer to variables or parameters"},
    {"<xsl:template><r/></xsl:template>", "<r/>",
     "ERROR: s.xsl:1: error: A match or a name attribute must be provided for a template"},
    {"<xsl:template name='1t'/>", "<r/>", "ERROR: s.xsl:1: error: Invalid QName in name, 1t"},
    {"<xsl:template match='*' mode='q:m'/>", "<r/>",
     "ERROR: s.xsl:1: error: Undeclared namespace prefix in mode, q"},
    {"<xsl:key name='q:k' match='*' use='.'/>", "<r/>",
     "ERROR: s.xsl:1: error: Undeclared namespace prefix in name, q"},
};

TEST(TemplateRulesTest, AttributeErrorsNameTheStylesheetLine) {
  runCases(std::begin(kAttributeErrors), std::end(kAttributeErrors));
}

}  // namespace
}  // namespace ovra
