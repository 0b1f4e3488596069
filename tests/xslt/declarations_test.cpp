// xsl:comment, whitespace stripping, decimal formats, fallback and forwards-compatible
// processing, and what a stylesheet can ask about the processor.
#include "tests/support/test_transform.h"

#include <gtest/gtest.h>

#include <string>

namespace ovra {
namespace {

struct DeclarationCase {
  std::string stylesheet;
  const char* source;
  const char* expected;  // the output, or "ERROR: " and the message
};

void runCases(const std::vector<DeclarationCase>& cases) {
  for (const DeclarationCase& c : cases)
    EXPECT_EQ(transformOrError(c.stylesheet, c.source), c.expected) << c.stylesheet;
}

std::string rootTemplate(const char* body, const char* topLevel = "") {
  return stylesheetOf(std::string(topLevel) + "<xsl:template match='/'>" + body +
                      "</xsl:template>");
}

// A stylesheet of another version around one template for the root.
std::string versioned(const char* version, const char* body, const char* topLevel = "") {
  return std::string("<xsl:stylesheet version='") + version +
         "' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
         "<xsl:output omit-xml-declaration='yes'/>" +
         topLevel + "<xsl:template match='/'>" + body + "</xsl:template></xsl:stylesheet>";
}

TEST(DeclarationsTest, CommentHoldsTheTextOfItsBody) {
  runCases({
      {rootTemplate("<a><xsl:comment>c <xsl:value-of select='r'/></xsl:comment></a>"), "<r>x</r>",
       "<a><!--c x--></a>"},
      // "--" cannot stand in a comment, nor "-" end it.
      {rootTemplate("<xsl:comment>a--b---</xsl:comment>"), "<r/>",
       "WARNING: A comment can not hold -- nor end with -: a space was put after the - on line 1 "
       "in "
       "s.xsl\n<!--a- -b- - - -->"},
      {rootTemplate("<xsl:comment>-</xsl:comment>"), "<r/>",
       "WARNING: A comment can not hold -- nor end with -: a space was put after the - on line 1 "
       "in "
       "s.xsl\n<!--- -->"},
      // Nodes other than text are left out with their content.
      {rootTemplate("<xsl:comment>a<b>no</b><xsl:copy-of select='r/node()'/>z</xsl:comment>"),
       "<r>t<e>in</e></r>", "<!--atz-->"},
      // A comment in a result tree fragment is copied as a comment; its string value is
      // the variable's too.
      {rootTemplate("<xsl:variable name='v'><xsl:comment>x--</xsl:comment></xsl:variable>"
                    "<xsl:copy-of select='$v'/>[<xsl:value-of select='$v'/>]"),
       "<r/>",
       "WARNING: A comment can not hold -- nor end with -: a space was put after the - on line 1 "
       "in "
       "s.xsl\n<!--x- - -->[]"},
      {rootTemplate("<xsl:comment name='x'/>"), "<r/>",
       "WARNING: Unrecognized attribute on comment, name on line 1 in s.xsl\n<!---->"},
  });
}

TEST(DeclarationsTest, StripSpaceRemovesWhitespaceTextOfNamedElements) {
  const char* source = "<r> <a> </a> <b> </b> <p:c xmlns:p='urn:p'> </p:c> <d> x </d></r>";
  const char* body = "<xsl:for-each select='//*'>[<xsl:value-of select='count(text())'/>]"
                     "</xsl:for-each>";
  runCases({
      {rootTemplate(body), source, "[4][1][1][1][1]"},
      // Without xsl:strip-space nothing goes, xml:space="default" or not (XSLT 3.4).
      {rootTemplate(body), "<r xml:space='default'> <a> </a> <b xml:space='default'> </b></r>",
       "[2][1][1]"},
      {rootTemplate(body, "<xsl:strip-space elements='*'/>"), source, "[0][0][0][0][1]"},
      {rootTemplate(body, "<xsl:strip-space elements=' a\n b '/>"), source, "[4][0][0][1][1]"},
      // A name test beats prefix:*, which beats *, whatever the order.
      {rootTemplate(body, "<xsl:preserve-space elements='a'/><xsl:strip-space elements='*'/>"),
       source, "[0][1][0][0][1]"},
      {rootTemplate(body, "<xsl:strip-space elements='*'/><xsl:preserve-space elements='q:*'/>"
                          "<xsl:strip-space xmlns:q='urn:p' elements='q:c'/>"),
       source,
       "ERROR: s.xsl:1: error: Undeclared namespace prefix in strip-space or preserve-space, q:*"},
      {rootTemplate(body, "<xsl:strip-space elements='*'/>"
                          "<xsl:preserve-space xmlns:q='urn:p' elements='q:*'/>"),
       source, "[0][0][0][1][1]"},
      // Of two equal tests the later declaration wins.
      {rootTemplate(body, "<xsl:strip-space elements='a'/><xsl:preserve-space elements='a'/>"),
       source, "[4][1][1][1][1]"},
      {rootTemplate(body, "<xsl:preserve-space elements='a'/><xsl:strip-space elements='a'/>"),
       source, "[4][0][1][1][1]"},
      // xml:space in the source overrides the declarations.
      {rootTemplate(body, "<xsl:strip-space elements='*'/>"),
       "<r xml:space='preserve'> <a> </a><b xml:space='default'> <d> </d></b></r>", "[1][1][0][0]"},
      {rootTemplate("", "<xsl:strip-space/>"), "<r/>",
       "ERROR: s.xsl:1: error: The elements attribute is required on strip-space and "
       "preserve-space"},
  });
}

TEST(DeclarationsTest, DecimalFormatsByName) {
  const char* formats =
      "<xsl:decimal-format decimal-separator=',' grouping-separator='.'/>"
      "<xsl:decimal-format xmlns:f='urn:f' name='f:x' NaN='none' infinity='all' minus-sign='~'/>";
  runCases({
      {rootTemplate("<xsl:value-of select='format-number(1234.5, \"#,##0.00\")'/>"), "<r/>",
       "1,234.50"},
      {rootTemplate("<xsl:value-of select='format-number(1234.5, \"#.##0,00\")'/>", formats),
       "<r/>", "1.234,50"},
      // The name is a QName, its prefix resolved at the expression.
      {rootTemplate("<xsl:value-of xmlns:g='urn:f' select='concat(format-number(\"a\", \"#\", "
                    "\"g:x\"), format-number(-1 div 0, \"#\", \"g:x\"), format-number(-2, "
                    "\"#\", \"g:x\"))'/>",
                    formats),
       "<r/>", "none~all~2"},
      {rootTemplate("<xsl:value-of select='format-number(1, \"#\", \"x\")'/>", formats), "<r/>",
       "ERROR: s.xsl:1: error: Unknown decimal format, x"},
      {rootTemplate("<xsl:value-of select='format-number(1, \"#.#.#\")'/>"), "<r/>",
       "ERROR: s.xsl:1: error: Multiple decimal separators in format-number pattern"},
      // A second declaration of a name must say the same, defaults included.
      {rootTemplate("<xsl:value-of select='format-number(1, \"#\", \"d\")'/>",
                    "<xsl:decimal-format name='d' minus-sign='-'/><xsl:decimal-format name='d'/>"),
       "<r/>", "1"},
      {rootTemplate("", "<xsl:decimal-format name='d' minus-sign='-'/>\n"
                        "<xsl:decimal-format name='d' minus-sign='~'/>"),
       "<r/>",
       "ERROR: s.xsl:2: error: A decimal-format of this name is declared twice with different "
       "values"},
      {rootTemplate("", "<xsl:decimal-format digit='##'/>"), "<r/>",
       "ERROR: s.xsl:1: error: The value must be a single character on decimal-format, digit"},
      {rootTemplate("", "<xsl:decimal-format currency='$'/>"), "<r/>",
       "WARNING: Unrecognized attribute on decimal-format, currency on line 1 in s.xsl\n"},
  });
}

TEST(DeclarationsTest, ForwardsCompatibleProcessingFallsBack) {
  runCases({
      // With version 1.0 an unknown XSLT element is an error where it stands.
      {rootTemplate("<xsl:frobnicate/>"), "<r/>",
       "ERROR: s.xsl:1: error: Unrecognised stylesheet instruction"},
      // With a later version its fallbacks run, in order; without any it fails only when
      // it runs. Unknown top-level elements and attributes are ignored.
      {versioned("2.0",
                 "<xsl:frobnicate><xsl:fallback>1</xsl:fallback><x/>"
                 "<xsl:fallback>2</xsl:fallback></xsl:frobnicate>",
                 "<xsl:top-level-thing><xsl:fallback>no</xsl:fallback></xsl:top-level-thing>"),
       "<r/>", "12"},
      {versioned("2.0", "<xsl:if test='false()'><xsl:frobnicate/></xsl:if>"
                        "<xsl:value-of select='1' new-attribute='x'/>"),
       "<r/>", "1"},
      {versioned("1.1", "<xsl:frobnicate/>"), "<r/>",
       "ERROR: s.xsl:1: error: Unrecognised stylesheet instruction"},
      // A literal result element's xsl:version governs its content.
      {rootTemplate("<a xsl:version='3.0'><xsl:frobnicate><xsl:fallback>f</xsl:fallback>"
                    "</xsl:frobnicate></a>"),
       "<r/>", "<a>f</a>"},
      // Inside an instruction that runs, xsl:fallback does nothing.
      {rootTemplate("<xsl:if test='true()'>a<xsl:fallback>b</xsl:fallback></xsl:if>"), "<r/>", "a"},
  });
}

TEST(DeclarationsTest, ExtensionElementsRunTheirFallback) {
  runCases({
      {"<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
       "xmlns:e='urn:e' extension-element-prefixes='e'><xsl:output omit-xml-declaration='yes'/>"
       "<e:top><xsl:fallback>never</xsl:fallback></e:top>"
       "<xsl:template match='/'><o><e:do a='{1 +}'><xsl:fallback>f</xsl:fallback></e:do></o>"
       "</xsl:template></xsl:stylesheet>",
       "<r/>", "<o>f</o>"},
      {"<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
       "xmlns:e='urn:e'><xsl:output omit-xml-declaration='yes'/><xsl:template match='/'>"
       "<o xsl:extension-element-prefixes='e'>\n<e:do/></o><e:do/></xsl:template>"
       "</xsl:stylesheet>",
       "<r/>", "ERROR: s.xsl:2: error: Unrecognised stylesheet instruction"},
  });
}

// Attributes in other namespaces on top-level declarations are data for other tools.
TEST(DeclarationsTest, ForeignAttributesOnDeclarationsAreIgnored) {
  runCases({
      {rootTemplate("<xsl:value-of select='key(\"k\", \"x\")'/>",
                    "<xsl:output method='text' p:indent='maybe' xmlns:p='urn:p'/>"
                    "<xsl:key name='k' match='r' use='.' p:a='1' xmlns:p='urn:p'/>"
                    "<xsl:strip-space elements='r' p:b='2' xmlns:p='urn:p'/>"),
       "<r>x</r>", "x"},
  });
}

TEST(DeclarationsTest, ProcessorFacts) {
  runCases({
      {rootTemplate("<xsl:value-of select='system-property(\"xsl:version\") + 1'/>|"
                    "<xsl:value-of select='system-property(\"xsl:vendor\")'/>|"
                    "<xsl:value-of select='system-property(\"xsl:vendor-url\")'/>|"
                    "<xsl:value-of select='system-property(\"xsl:other\")'/>|"
                    "<xsl:value-of select='system-property(\"version\")'/>"),
       "<r/>", "2|ovra|https://ovra.example/||"},
      {rootTemplate("<xsl:for-each select='r/n'><xsl:value-of select='element-available(.)'/>"
                    "<xsl:text> </xsl:text></xsl:for-each>"),
       "<r><n>xsl:comment</n><n>xsl:fallback</n><n>xsl:value-of</n><n>xsl:template</n>"
       "<n>xsl:decimal-format</n><n>xsl:strip-space</n><n>xsl:frobnicate</n><n>comment</n></r>",
       "true true true false false false false false "},
      {rootTemplate("<xsl:for-each select='r/n'><xsl:value-of select='function-available(.)'/>"
                    "<xsl:text> </xsl:text></xsl:for-each>"),
       "<r><n>format-number</n><n>system-property</n><n>element-available</n><n>frob</n></r>",
       "true true true false "},
  });
}

}  // namespace
}  // namespace ovra
