// EXSLT common: exsl:node-set and exsl:object-type, under either prefix of the module.
#include "tests/support/test_transform.h"

#include <gtest/gtest.h>

#include <string>

namespace ovra {
namespace {

struct Case {
  const char* expression;  // as valueOfExpression() runs it: $rtf holds <x>1</x><y/>
  const char* expected;
};

constexpr Case kNodeSetCases[] = {
    // A result tree fragment becomes the node-set of its root, which paths can walk.
    {"count(exsl:node-set($rtf))", "1"},
    {"count(exsl:node-set($rtf)/*)", "2"},
    {"name(exsl:node-set($rtf)/*[2])", "y"},
    {"exsl:node-set($rtf)/x", "1"},
    {"common:node-set($rtf)/x + 1", "2"},
    {"count(exsl:node-set($rtf)/x/..)", "1"},
    // A node-set is returned as it is: the same nodes.
    {"count(exsl:node-set(/r/a))", "2"},
    {"count(exsl:node-set(/r/a) | /r/a)", "2"},
    {"count(exsl:node-set(/nothing))", "0"},
    {"exsl:node-set(/r/a[2])", "2"},
    // Anything else is one text node holding the string value, under a root of its own.
    {"exsl:node-set('abc')", "abc"},
    {"count(exsl:node-set('abc'))", "1"},
    {"count(exsl:node-set('abc')/self::text())", "1"},
    {"string(exsl:node-set('abc')/..)", "abc"},
    {"exsl:node-set(1 div 0)", "Infinity"},
    {"exsl:node-set(1 = 1)", "true"},
    {"count(exsl:node-set(''))", "1"},
};

TEST(ExsltCommonTest, NodeSet) {
  for (const Case& c : kNodeSetCases)
    EXPECT_EQ(valueOfExpression(c.expression), c.expected) << c.expression;
}

constexpr Case kObjectTypeCases[] = {
    {"exsl:object-type(1)", "number"},
    {"exsl:object-type(0 div 0)", "number"},
    {"exsl:object-type('1')", "string"},
    {"exsl:object-type('')", "string"},
    {"exsl:object-type(true())", "boolean"},
    {"exsl:object-type(/r/a)", "node-set"},
    {"exsl:object-type(/nothing)", "node-set"},
    {"exsl:object-type(.)", "node-set"},
    {"exsl:object-type($rtf)", "RTF"},
    {"exsl:object-type(exsl:node-set($rtf))", "node-set"},
    {"common:object-type(exsl:object-type(1))", "string"},
    {"exsl:object-type(count(/r/a))", "number"},
};

TEST(ExsltCommonTest, ObjectType) {
  for (const Case& c : kObjectTypeCases)
    EXPECT_EQ(valueOfExpression(c.expression), c.expected) << c.expression;
}

// A node-set of a string made in a global variable outlives the evaluation that made it.
TEST(ExsltCommonTest, TreesMadeForStringsOutliveTheirCall) {
  std::string stylesheet =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
      "xmlns:exsl='http://exslt.org/common'><xsl:output method='text'/>"
      "<xsl:variable name='g' select=\"exsl:node-set('kept')/..\"/>"
      "<xsl:template match='/'><xsl:for-each select='/r/a'>"
      "<xsl:variable name='l' select=\"exsl:node-set(string(.))/..\"/>"
      "<xsl:value-of select='$l'/></xsl:for-each>"
      "<xsl:value-of select='$g'/></xsl:template></xsl:stylesheet>";
  EXPECT_EQ(transformOrError(stylesheet, "<r><a>1</a><a>2</a></r>"), "12kept");
}

// Text written in pieces is one text node of the tree (XPath 1.0 section 5.7), as DocBook's
// man pages need when they embolden each text node of a name.
TEST(ExsltCommonTest, TextWrittenInPiecesIsOneNode) {
  struct Case {
    const char* content;  // of the variable $v
    const char* expected;
  };
  const Case cases[] = {
      {"a<xsl:value-of select='1'/><xsl:text>b</xsl:text>", "1:a1b"},
      {"a<x/>b<xsl:value-of select='2'/>", "2:a"},
      {"<x>a<xsl:value-of select='1'/></x>", "0:"},
      {"<xsl:copy-of select='/r/a/text()'/>", "1:12"},
      // Text whose escaping is disabled keeps a node of its own.
      {"a<xsl:value-of select='\"&lt;\"' disable-output-escaping='yes'/>b", "3:a"},
  };
  for (const Case& c : cases) {
    std::string stylesheet =
        "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
        "xmlns:exsl='http://exslt.org/common'><xsl:output method='text'/>"
        "<xsl:variable name='v'>" +
        std::string(c.content) +
        "</xsl:variable><xsl:template match='/'>"
        "<xsl:value-of select='count(exsl:node-set($v)/text())'/>:"
        "<xsl:value-of select='exsl:node-set($v)/text()[1]'/></xsl:template></xsl:stylesheet>";
    EXPECT_EQ(transformOrError(stylesheet, "<r><a>1</a><a>2</a></r>"), c.expected) << c.content;
  }
}

}  // namespace
}  // namespace ovra
