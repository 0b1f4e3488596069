// One compiled stylesheet run from several threads at once, as the program's -j batches
// and embedding programs run it. Every thread must get the output a lone run gets; in a
// ThreadSanitizer build (OVRA_TSAN) the test also fails on any data race, which is what
// it is mostly for: the stylesheet touches every kind of state a run keeps (keys,
// numbering, sorting, variables, result tree fragments, document(), imports, modes,
// decimal formats, EXSLT, messages, the name pool through new names in each source).
#include "base/diagnostics.h"
#include "base/exceptions.h"
#include "output/serializer.h"
#include "tests/support/scratch_files.h"
#include "tree/document.h"
#include "tree/text_buffer.h"
#include "xslt/stylesheet.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace ovra {
namespace {

constexpr const char* kImported =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:template match='item' mode='late'>[<xsl:value-of select='@n'/>]</xsl:template>"
    "<xsl:template match='item'>imported</xsl:template>"
    "</xsl:stylesheet>";

constexpr const char* kStylesheet =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
    " xmlns:exsl='http://exslt.org/common' xmlns:str='http://exslt.org/strings'"
    " xmlns:set='http://exslt.org/sets' xmlns:dyn='http://exslt.org/dynamic' xmlns:my='urn:my'"
    " xmlns:func='http://exslt.org/functions' extension-element-prefixes='exsl func'>"
    "<xsl:import href='imported.xsl'/>"
    "<xsl:output method='xml' indent='yes'/>"
    "<xsl:strip-space elements='*'/>"
    "<xsl:decimal-format name='eu' decimal-separator=',' grouping-separator='.'/>"
    "<xsl:key name='byGroup' match='item' use='@g'/>"
    "<xsl:attribute-set name='marked'><xsl:attribute name='m'>"
    "<xsl:value-of select='count(//item)'/></xsl:attribute></xsl:attribute-set>"
    "<xsl:param name='who' select=\"'nobody'\"/>"
    "<my:table><row k='a'>alpha</row><row k='b'>beta</row></my:table>"
    "<xsl:variable name='table' select=\"document('')/*/my:table/row\"/>"
    "<func:function name='my:twice'><xsl:param name='n'/>"
    "<func:result select='2 * $n'/></func:function>"
    "<xsl:variable name='rtf'><x n='3'/><x n='1'/><x n='2'/></xsl:variable>"
    "<xsl:template match='/'>"
    "<xsl:message>start <xsl:value-of select='name(*)'/></xsl:message>"
    "<out xsl:use-attribute-sets='marked' who='{$who}'>"
    "<xsl:for-each select=\"//item[generate-id() = generate-id(key('byGroup', @g)[1])]\">"
    "<xsl:sort select='@g' order='descending'/>"
    "<group g='{@g}' size='{count(key(\"byGroup\", @g))}'>"
    "<xsl:apply-templates select=\"key('byGroup', @g)\"><xsl:sort select='@n' data-type='number'/>"
    "</xsl:apply-templates></group></xsl:for-each>"
    "<sum><xsl:value-of select=\"format-number(sum(//item/@n) * 1000.5, '#.##0,00', 'eu')\"/></sum>"
    "<sorted><xsl:for-each select='exsl:node-set($rtf)/x'><xsl:sort select='@n'/>"
    "<xsl:value-of select='@n'/></xsl:for-each></sorted>"
    "<table><xsl:value-of select=\"$table[@k = 'b']\"/></table>"
    "<words><xsl:for-each select=\"str:tokenize(translate(//title, 'abc', 'ABC'), ' ')\">"
    "<w><xsl:value-of select='.'/></w></xsl:for-each></words>"
    "<distinct><xsl:value-of select='count(set:distinct(//item/@g))'/></distinct>"
    "<dyn><xsl:value-of select=\"dyn:evaluate('sum(//@n)')\"/></dyn>"
    "<func><xsl:value-of select='my:twice(count(//item))'/></func>"
    "<ns><xsl:value-of select='count(//namespace::*)'/></ns>"
    "<deep><xsl:call-template name='countdown'><xsl:with-param name='n' select='50'/>"
    "</xsl:call-template></deep>"
    "<xsl:apply-templates select='//item' mode='late'/>"
    "<xsl:copy-of select='//*[starts-with(name(), \"extra\")]'/>"
    "</out></xsl:template>"
    "<xsl:template match='item'><xsl:copy><xsl:number level='any' count='item'/>."
    "<xsl:number level='multiple' count='item|list' format='1.a'/>"
    "<xsl:apply-imports/></xsl:copy></xsl:template>"
    "<xsl:template name='countdown'><xsl:param name='n'/>"
    "<xsl:if test='$n &gt; 0'><xsl:call-template name='countdown'>"
    "<xsl:with-param name='n' select='$n - 1'/></xsl:call-template></xsl:if>"
    "<xsl:if test='$n = 0'>done</xsl:if></xsl:template>"
    "</xsl:stylesheet>";

// A source of its own per run: each brings an element name no other source has, so the
// threads intern new names while they run.
std::string sourceFor(int thread, int round) {
  std::string extra = "extra" + std::to_string(thread) + "x" + std::to_string(round);
  return "<list xmlns:q='urn:q'><title>a bc cab</title>"
         "<item g='b' n='3'/><item g='a' n='2'/><list><item g='b' n='1'/></list>"
         "<item g='c' n='5'/><" + extra + " q:at='" + extra + "'/></list>";
}

// Captures warnings and messages of the thread it is made on.
class Reports : public DiagnosticSink {
 public:
  Reports() : installed_(this) {}
  void warning(const SourceLocation&, std::string_view text) override {
    text_ += "warning: ";
    text_ += text;
    text_ += '\n';
  }
  void message(std::string_view text) override { text_ += text; }
  std::string text_;

 private:
  ScopedDiagnosticSink installed_;
};

// The output of one run, and its reports.
std::string runOnce(const Stylesheet& stylesheet, int thread, int round) {
  Reports reports;
  TextBuffer buffer;
  try {
    std::unique_ptr<Document> source = Document::fromText(
        sourceFor(thread, round), "in.xml", Document::kSourceBufferSize, /*strip=*/false);
    Serializer serializer(buffer);
    stylesheet.transform(*source, serializer);
    serializer.flush();
  } catch (const XSLException& error) {
    return "ERROR: " + std::string(error.message().view());
  }
  return reports.text_ + std::string(buffer.view());
}

// The round's element name, which differs between runs, replaced by a fixed one.
std::string normalized(std::string text, int thread, int round) {
  std::string extra = "extra" + std::to_string(thread) + "x" + std::to_string(round);
  for (std::size_t at; (at = text.find(extra)) != std::string::npos;)
    text.replace(at, extra.size(), "EXTRA");
  return text;
}

class SharedStylesheetTest : public ScratchDirTest {};

TEST_F(SharedStylesheetTest, ThreadsGetTheOutputOfALoneRun) {
  write("imported.xsl", kImported);
  Stylesheet stylesheet(String(write("s.xsl", kStylesheet).c_str()));
  stylesheet.load();
  std::string expected = normalized(runOnce(stylesheet, 0, 0), 0, 0);
  ASSERT_EQ(expected.find("ERROR"), std::string::npos) << expected;
  // The run does what the stylesheet asks, so a broken feature is not mistaken for a
  // race-free one.
  for (const char* part : {"start list", "<group g=\"c\" size=\"1\">", "m=\"4\"", "11.005,50",
                           "<sorted>123</sorted>", "<table>beta</table>", "<w>CAB</w>",
                           "<distinct>3</distinct>", "<dyn>11</dyn>", "<func>8</func>", "<deep>done</deep>", "[3][2][1][5]",
                           "4.1.dimported</item>", "3.1.c.aimported</item>",
                           "q:at=\"EXTRA\""})
    EXPECT_NE(expected.find(part), std::string::npos) << part << " in\n" << expected;

  constexpr int kThreads = 4;
  constexpr int kRounds = 6;
  std::vector<std::string> failures(kThreads);
  std::vector<std::thread> threads;
  for (int thread = 0; thread < kThreads; ++thread) {
    threads.emplace_back([&, thread] {
      for (int round = 0; round < kRounds; ++round) {
        std::string got = normalized(runOnce(stylesheet, thread + 1, round), thread + 1, round);
        if (got != expected && failures[thread].empty())
          failures[thread] = got;
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  for (int thread = 0; thread < kThreads; ++thread)
    EXPECT_EQ(failures[thread], "") << "thread " << thread << " differed from\n" << expected;
}

}  // namespace
}  // namespace ovra
