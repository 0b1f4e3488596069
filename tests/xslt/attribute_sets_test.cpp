#include "tests/support/test_transform.h"

#include <gtest/gtest.h>

#include <string>

namespace ovra {
namespace {

struct SheetCase {
  const char* topLevel;  // inside xsl:stylesheet, after an xsl:output without declaration
  const char* expected;  // the output, or "ERROR: " and the message
};

void runCases(const SheetCase* begin, const SheetCase* end) {
  for (const SheetCase* c = begin; c != end; ++c)
    EXPECT_EQ(transformOrError(stylesheetOf(c->topLevel), "<doc a='1'><x/></doc>"), c->expected)
        << c->topLevel;
}

#define SET(name, body) "<xsl:attribute-set name='" name "'>" body "</xsl:attribute-set>"
#define ATTR(name, value) "<xsl:attribute name='" name "'>" value "</xsl:attribute>"
#define GLOBAL_G "<xsl:variable name='g' select='\"G\"'/>"
#define X_TEMPLATE "<xsl:template match='x'><e xsl:use-attribute-sets='s'/></xsl:template>"
#define ROOT(body) "<xsl:template match='/'>" body "</xsl:template>"

constexpr SheetCase kAttributeSetCases[] = {
    // Definitions of one name merge; the later one wins an attribute both give.
    {SET("s", ATTR("p", "1") ATTR("q", "1")) SET("s", ATTR("q", "2"))
         ROOT("<e xsl:use-attribute-sets='s'/>"),
     "<e p=\"1\" q=\"2\"/>"},
    // The element's own attributes come after the sets' and win.
    {SET("s", ATTR("p", "set") ATTR("q", "set")) ROOT("<e q='own' xsl:use-attribute-sets='s'/>"),
     "<e p=\"set\" q=\"own\"/>"},
    // Sets a set uses come before its own attributes; several sets apply in order.
    {SET("inner", ATTR("p", "inner")
                      ATTR("r", "inner")) "<xsl:attribute-set name='outer' "
                                          "use-attribute-sets='inner'>" ATTR(
                                              "p", "outer") "</"
                                                            "xsl:attribute-"
                                                            "set>" SET("last", ATTR("r", "last"))
                                                                ROOT("<xsl:element "
                                                                     "name='e' "
                                                                     "use-"
                                                                     "attribute-"
                                                                     "sets=' outer "
                                                                     " last '/>"),
     "<e p=\"outer\" r=\"last\"/>"},
    // xsl:copy of an element applies the sets; of other nodes it does not.
    {SET("s", ATTR("p", "1")) ROOT("<r><xsl:for-each select='doc/@a|doc/x'>"
                                   "<xsl:copy use-attribute-sets='s'/></xsl:for-each></r>"),
     "<r a=\"1\"><x p=\"1\"/></r>"},
    // Attribute values are computed for the current node, with the globals in sight.
    {GLOBAL_G SET("s", ATTR("p", "<xsl:value-of select='concat(name(), $g)'/>")) X_TEMPLATE,
     "<e p=\"xG\"/>"},
    // The template's local variables are not.
    {SET("s", ATTR("p", "<xsl:value-of select='$local'/>"))
         ROOT("<xsl:variable name='local' select='1'/><e xsl:use-attribute-sets='s'/>"),
     "ERROR: s.xsl:1: error: Reference to undefined variable, $local"},
    // Prefixed set names are compared by namespace name.
    {"<xsl:attribute-set name='p:s' xmlns:p='urn:x'>" ATTR("a", "1") "</xsl:attribute-set>" ROOT(
         "<e xsl:use-attribute-sets='q:s' xmlns:q='urn:x'/>"),
     "<e xmlns:q=\"urn:x\" a=\"1\"/>"},
    {ROOT("<e xsl:use-attribute-sets='none'/>"),
     "ERROR: s.xsl:1: error: No attribute-set of the name used, none"},
    {"<xsl:attribute-set name='a' use-attribute-sets='b'/>"
     "<xsl:attribute-set name='b' use-attribute-sets='c'/>"
     "<xsl:attribute-set name='c' use-attribute-sets='a'/>" ROOT("<e/>"),
     "ERROR: s.xsl:1: error: Circular use of attribute-set a"},
    {"<xsl:attribute-set name='a' use-attribute-sets='a'/>" ROOT("<e/>"),
     "ERROR: s.xsl:1: error: Circular use of attribute-set a"},
    {SET("s", "<xsl:value-of select='1'/>") ROOT("<e/>"),
     "ERROR: s.xsl:1: error: An attribute-set may only contain attribute elements"},
    {"<xsl:attribute-set/>" ROOT("<e/>"),
     "ERROR: s.xsl:1: error: A name attribute must be provided for a attribute-set"},
};

TEST(AttributeSetTest, MergingOrderAndErrors) {
  runCases(std::begin(kAttributeSetCases), std::end(kAttributeSetCases));
}

#define ALIAS(from, to) "<xsl:namespace-alias stylesheet-prefix='" from "' result-prefix='" to "'/>"

struct AliasCase {
  const char* namespaces;  // declarations on the xsl:stylesheet element
  const char* topLevel;
  const char* expected;
};

constexpr AliasCase kAliasCases[] = {
    // Elements and attributes of the aliased namespace are written in the result one; the
    // alias namespace itself is not declared.
    {"xmlns:a='urn:alias'",
     ALIAS("a", "xsl") ROOT("<a:stylesheet a:version='1.0'><a:template match='/'/>"
                            "</a:stylesheet>"),
     "<a:stylesheet xmlns:a=\"http://www.w3.org/1999/XSL/Transform\" a:version=\"1.0\">"
     "<a:template match=\"/\"/></a:stylesheet>"},
    // #default on either side.
    {"xmlns='urn:d' xmlns:r='urn:r'", ALIAS("#default", "r") ROOT("<e><f/></e>"),
     "<r:e xmlns:r=\"urn:r\"><r:f/></r:e>"},
    {"xmlns:a='urn:a'", ALIAS("a", "#default") ROOT("<a:e/>"), "<e/>"},
    // Other namespaces and xsl:element are untouched.
    {"xmlns:a='urn:a' xmlns:r='urn:r' xmlns:o='urn:o'",
     ALIAS("a", "r") ROOT("<o:o><xsl:element name='a:e'/></o:o>"),
     "<o:o xmlns:o=\"urn:o\" xmlns:r=\"urn:r\"><a:e xmlns:a=\"urn:a\"/></o:o>"},
    // The highest precedence (here: the last) of several for one namespace wins.
    {"xmlns:a='urn:a' xmlns:r='urn:r' xmlns:s='urn:s'",
     ALIAS("a", "r") ALIAS("a", "s") ROOT("<a:e/>"),
     "<a:e xmlns:a=\"urn:s\" xmlns:r=\"urn:r\" xmlns:s=\"urn:s\"/>"},
    {"", ALIAS("a", "r") ROOT("<e/>"),
     "ERROR: s.xsl:1: error: Undeclared namespace prefix in namespace-alias, a"},
};

TEST(NamespaceAliasTest, LiteralResultElementsTakeTheResultNamespace) {
  for (const AliasCase& c : kAliasCases) {
    std::string sheet = std::string("<xsl:stylesheet version='1.0' ") + c.namespaces +
                        " xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                        "<xsl:output omit-xml-declaration='yes'/>" +
                        c.topLevel + "</xsl:stylesheet>";
    EXPECT_EQ(transformOrError(sheet, "<doc/>"), c.expected) << c.topLevel;
  }
}

}  // namespace
}  // namespace ovra
