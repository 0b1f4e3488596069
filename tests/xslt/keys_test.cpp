#include "base/exceptions.h"
#include "base/platform.h"
#include "output/serializer.h"
#include "tests/support/test_transform.h"
#include "tree/document.h"
#include "tree/text_buffer.h"
#include "xslt/stylesheet.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace ovra {
namespace {

struct KeyCase {
  const char* topLevel;  // xsl:key elements and templates
  const char* source;
  const char* expected;  // the output, or "ERROR: " and the message
};

// Writes the names and texts of the nodes select yields, each followed by a comma.
#define EACH(select)                                                                               \
  "<xsl:template match='/'><xsl:for-each select=\"" select "\">"                                   \
  "<xsl:value-of select='name()'/>=<xsl:value-of select='.'/>,</xsl:for-each></xsl:template>"

constexpr const char* kBooks =
    "<lib><b a='x' t='1'>one</b><b a='y' t='2'>two</b><b a='x' t='3'>three</b>"
    "<m a='y'>mag</m><want>x</want><want>y</want></lib>";

constexpr KeyCase kLookupCases[] = {
    // The nodes of one value, in document order.
    {"<xsl:key name='k' match='b' use='@a'/>" EACH("key('k','x')"), kBooks, "b=one,b=three,"},
    {"<xsl:key name='k' match='b' use='@a'/>" EACH("key('k','none')"), kBooks, ""},
    // Declarations of one name add up; the result is still in document order.
    {"<xsl:key name='k' match='b' use='@a'/><xsl:key name='k' match='m' use='@a'/>" EACH(
         "key('k','y')"),
     kBooks, "b=two,m=mag,"},
    // A node-set value: the union over its members' string values.
    {"<xsl:key name='k' match='*' use='@a'/>" EACH("key('k',//want)"), kBooks,
     "b=one,b=two,b=three,m=mag,"},
    // A number value is looked up as its string.
    {"<xsl:key name='k' match='b' use='@t'/>" EACH("key('k',1+1)"), kBooks, "b=two,"},
    // A use expression yielding several nodes indexes the node under each; a node
    // indexed twice under one value is there once.
    {"<xsl:key name='k' match='lib' use='*/@a'/>" EACH("key('k','x')"), kBooks,
     "lib=onetwothreemagxy,"},
    {"<xsl:key name='k' match='b' use='@a'/><xsl:key name='k' match='b' use='@a'/>" EACH(
         "key('k','x')"),
     kBooks, "b=one,b=three,"},
    // Attributes and text can be keyed too.
    {"<xsl:key name='k' match='@t' use='.'/>" EACH("key('k','3')/.."), kBooks, "b=three,"},
    {"<xsl:key name='k' match='text()' use='string-length()'/>" EACH("key('k',3)"), kBooks,
     "=one,=two,=mag,"},
    // A key name is a QName: the prefix's namespace counts, not the prefix.
    {"<xsl:key name='p:k' match='b' use='@a' xmlns:p='urn:p'/>"
     "<xsl:template match='/'><xsl:value-of select=\"count(key('q:k','x'))\" "
     "xmlns:q='urn:p'/></xsl:template>",
     kBooks, "2"},
    // The use expression sees the globals.
    {"<xsl:variable name='suffix' select=\"'!'\"/>"
     "<xsl:key name='k' match='b' use='concat(@a,$suffix)'/>" EACH("key('k','y!')"),
     kBooks, "b=two,"},
    // Each tree has its own index: here the source's and the stylesheet's own.
    {"<xsl:key name='k' match='*' use='local-name()'/>"
     "<xsl:template match='/'><xsl:value-of select=\"count(key('k','b'))\"/>,"
     "<xsl:for-each select=\"document('')\">"
     "<xsl:value-of select=\"count(key('k','template'))\"/></xsl:for-each></xsl:template>",
     kBooks, "3,1"},
    // A pattern may start with key().
    {"<xsl:key name='k' match='b' use='@a'/>"
     "<xsl:template match=\"key('k','x')\">[<xsl:value-of select='.'/>]</xsl:template>"
     "<xsl:template match='text()'/>",
     kBooks, "[one][three]"},
    {"<xsl:key name='k' match='lib' use=\"'all'\"/>"
     "<xsl:template match=\"key('k','all')/m\">[<xsl:value-of select='.'/>]</xsl:template>"
     "<xsl:template match='text()'/>",
     kBooks, "[mag]"},
    // Errors.
    {EACH("key('nokey','x')"), kBooks, "ERROR: s.xsl:1: error: Unknown key, nokey"},
    {"<xsl:key name='k' match='b'/>", kBooks,
     "ERROR: s.xsl:1: error: A use attribute must be provided for a key"},
    {"<xsl:key match='b' use='.'/>", kBooks,
     "ERROR: s.xsl:1: error: A name attribute must be provided for a key"},
    {"<xsl:key name='k' use='.'/>", kBooks,
     "ERROR: s.xsl:1: error: A match attribute must be provided for a key"},
    {"<xsl:variable name='v' select=\"'b'\"/><xsl:key name='k' match='*[name() = $v]' use='.'/>",
     kBooks, "ERROR: s.xsl:1: error: A match pattern can not refer to variables or parameters"},
    {"<xsl:key name='k' match='b' use='.' mode='x'/>", kBooks,
     "WARNING: Unrecognized attribute on key, mode on line 1 in s.xsl\nonetwothreemagxy"},
    // An error of a use expression is reported at its xsl:key.
    {"<xsl:template match='/'>\n<xsl:value-of select=\"count(key('k','1'))\"/></xsl:template>\n"
     "<xsl:key name='k' match='b' use=\"count('x')\"/>",
     kBooks, "ERROR: s.xsl:3: error: You can only count the members of a nodeset"},
    {"<xsl:template match='/'><xsl:key name='k' match='b' use='.'/></xsl:template>", kBooks,
     "ERROR: s.xsl:1: error: xsl:key is only allowed at the top level"},
    {"<xsl:key name='k' match='b' use=\"key('k','x')\"/>" EACH("key('k','x')"), kBooks,
     "ERROR: s.xsl:1: error: The definition of key k needs the key itself"},
};

TEST(KeysTest, LookupCases) {
  for (const KeyCase& c : kLookupCases)
    EXPECT_EQ(transformOrError(stylesheetOf(c.topLevel), c.source), c.expected)
        << c.topLevel << "\n  on " << c.source;
}

// Runs stylesheet text against source text read through a small buffer; answers the
// output and how many chunks of the source the run read.
struct LazyRun {
  std::string output;
  std::size_t chunks = 0;
  std::size_t totalChunks = 0;
};

LazyRun runLazily(const std::string& stylesheetText, const std::string& sourceText) {
  constexpr std::size_t kBuffer = 64;
  LazyRun run;
  TextBuffer buffer;
  runOnLargeStack([&] {
    std::unique_ptr<Stylesheet> stylesheet = Stylesheet::fromText(stylesheetText, "s.xsl");
    stylesheet->load();
    std::unique_ptr<Document> source = Document::fromText(sourceText, "in.xml", kBuffer, false);
    Serializer serializer(buffer);
    stylesheet->transform(*source, serializer);
    serializer.flush();
    run.chunks = source->chunksParsed();
  });
  run.output = buffer.view();
  run.totalChunks = sourceText.size() / kBuffer + 1;
  return run;
}

std::string longSource() {
  std::string text = "<doc><first code='c7'/>";
  for (int i = 0; i < 200; ++i)
    text += "<item code='c" + std::to_string(i % 10) + "'>" + std::to_string(i) + "</item>";
  return text + "</doc>";
}

TEST(KeysTest, AStylesheetWithoutKeyCallsReadsNoFurther) {
  std::string keyed = "<xsl:key name='k' match='item' use='@code'/>"
                      "<xsl:template match='/'><xsl:value-of select='doc/first/@code'/>"
                      "</xsl:template>";
  LazyRun run = runLazily(stylesheetOf(keyed), longSource());
  EXPECT_EQ(run.output, "c7");
  EXPECT_LT(run.chunks, 3u);
}

TEST(KeysTest, KeyReadsALazilyParsedDocumentOnceToTheEnd) {
  std::string keyed = "<xsl:key name='k' match='item' use='@code'/>"
                      "<xsl:template match='/'>"
                      "<xsl:value-of select=\"count(key('k', doc/first/@code))\"/>,"
                      "<xsl:value-of select=\"key('k','c7')[20]\"/>,"
                      "<xsl:value-of select=\"count(key('k','c3'))\"/>"
                      "</xsl:template>";
  LazyRun run = runLazily(stylesheetOf(keyed), longSource());
  EXPECT_EQ(run.output, "20,197,20");
  EXPECT_EQ(run.chunks, run.totalChunks);
}

}  // namespace
}  // namespace ovra
