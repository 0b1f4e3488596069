#include "output/serializer.h"
#include "tests/support/test_transform.h"
#include "tree/document.h"
#include "tree/name_pool.h"
#include "tree/text_buffer.h"
#include "xslt/instruction.h"
#include "xslt/stylesheet.h"

#include <gtest/gtest.h>

#include <string>

namespace ovra {
namespace {

struct StylesheetCase {
  const char* stylesheet;  // the whole stylesheet text
  const char* source;
  const char* expected;  // the output, or "ERROR: " and the message
};

void runCases(const StylesheetCase* begin, const StylesheetCase* end) {
  for (const StylesheetCase* c = begin; c != end; ++c)
    EXPECT_EQ(transformOrError(c->stylesheet, c->source), c->expected) << c->stylesheet;
}

#define XSL "xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
#define NO_DECLARATION "<xsl:output omit-xml-declaration='yes'/>"

constexpr StylesheetCase kRootCases[] = {
    {"<xsl:transform version='1.0' " XSL ">" NO_DECLARATION
     "<xsl:template match='/'>T</xsl:template></xsl:transform>",
     "<r/>", "T"},
    // Comments and processing instructions may stand before the document element.
    {"<!-- c --><?p d?><xsl:stylesheet " XSL ">" NO_DECLARATION
     "<xsl:template match='/'>T</xsl:template></xsl:stylesheet>",
     "<r/>", "T"},
    // Simplified: the document element, its attributes (values with braces expanded) and
    // its content make the template for the root; xsl:version is not copied.
    {"<html " XSL " xsl:version='1.0' lang='{r/@l}'><b><xsl:value-of select='r'/></b></html>",
     "<r l='en'>text</r>", "<html lang=\"en\"><b>text</b></html>\n"},
    {"<html xmlns:x='http://www.w3.org/1999/XSL/Transform' x:version='1.0'><x:value-of "
     "select='r'/></html>",
     "<r>text</r>", "<html>text</html>\n"},
    {"<html " XSL "><xsl:value-of select='r'/></html>", "<r/>",
     "ERROR: s.xsl:1: error: The document element of a simplified stylesheet must have an "
     "xsl:version attribute"},
    {"<html><b " XSL "><xsl:value-of select='r'/></b></html>", "<r/>",
     "ERROR: s.xsl:1: error: s.xsl is not an XSLT stylesheet: its document element <html> is "
     "neither xsl:stylesheet nor xsl:transform and does not declare the XSLT namespace"},
    {"<stylesheet xmlns='http://www.w3.org/1999/XSL/Transform'><template match='/'>default ns"
     "</template></stylesheet>",
     "<r/>", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\ndefault ns"},
};

TEST(StylesheetTest, RootElementAndSimplifiedStylesheets) {
  runCases(std::begin(kRootCases), std::end(kRootCases));
}

constexpr StylesheetCase kTopLevelCases[] = {
    {"<xsl:stylesheet " XSL ">\n<xsl:template match='/'/>\n<top/>\n</xsl:stylesheet>", "<r/>",
     "ERROR: s.xsl:3: error: Unrecognised root element in stylesheet"},
    // Elements of other namespaces at top level are data: ignored, braces and all.
    {"<xsl:stylesheet " XSL " xmlns:d='urn:d'>" NO_DECLARATION
     "<d:data a='{not an expression'><d:x b='{1 +}'/></d:data>"
     "<xsl:template match='/'>T</xsl:template></xsl:stylesheet>",
     "<r/>", "T"},
    {"<xsl:stylesheet " XSL ">\n\n<xsl:exciting-feature/></xsl:stylesheet>", "<r/>",
     "ERROR: s.xsl:3: error: Unrecognised stylesheet instruction"},
    {"<xsl:stylesheet " XSL "><xsl:template match='/'>\n<b><xsl:sequence/></b>"
     "</xsl:template></xsl:stylesheet>",
     "<r/>", "ERROR: s.xsl:2: error: Unrecognised stylesheet instruction"},
    // Instructions at top level are errors (XSLT 1.0 section 2.2).
    {"<xsl:stylesheet " XSL ">" NO_DECLARATION
     "<xsl:value-of select='\"never\"'/><xsl:template match='/'>T</xsl:template></xsl:stylesheet>",
     "<r/>", "ERROR: s.xsl:1: error: xsl:value-of is not allowed at the top level"},
    {"<xsl:stylesheet " XSL "><xsl:when test='1'/></xsl:stylesheet>", "<r/>",
     "ERROR: s.xsl:1: error: xsl:when is not allowed at the top level"},
    // A stylesheet without templates copies the text of the source.
    {"<xsl:stylesheet " XSL ">" NO_DECLARATION "</xsl:stylesheet>", "<r>a<b>b</b>c</r>", "abc"},
};

TEST(StylesheetTest, TopLevelElements) {
  runCases(std::begin(kTopLevelCases), std::end(kTopLevelCases));
}

#define TEMPLATE(body)                                                                             \
  "<xsl:stylesheet " XSL ">" NO_DECLARATION "<xsl:template match='/'>" body                        \
  "</xsl:template></xsl:stylesheet>"

constexpr StylesheetCase kLiteralCases[] = {
    {TEMPLATE("<a x='{r/b}' y='{{literal}}' z='a}}b' w='{r/b}{r/b}-{{r/b}}}}'/>"),
     "<r><b>1</b><b>2</b></r>", "<a x=\"1\" y=\"{literal}\" z=\"a}b\" w=\"11-{r/b}}\"/>"},
    // A brace neither doubled nor part of an expression is an error (XSLT 7.6.2).
    {TEMPLATE("<a w='{r/b}-{r/b'/>"), "<r/>",
     "ERROR: s.xsl:1: error: Unmatched '{' in attribute value template\n"
     "  {r/b}-{r/b\n"
     "        ^"},
    {TEMPLATE("<a w='a}b'/>"), "<r/>",
     "ERROR: s.xsl:1: error: Unmatched '}' in attribute value template\n"
     "  a}b\n"
     "   ^"},
    {TEMPLATE("<a w='{1}}'/>"), "<r/>",
     "ERROR: s.xsl:1: error: Unmatched '}' in attribute value template\n"
     "  {1}}\n"
     "     ^"},
    {TEMPLATE("<xsl:element name='e{1}}'/>"), "<r/>",
     "ERROR: s.xsl:1: error: Unmatched '}' in attribute value template\n"
     "  e{1}}\n"
     "      ^"},
    {TEMPLATE("<xsl:element name='e' namespace='u{1}}}'/>"), "<r/>", "<e xmlns=\"u1}\"/>"},
    // A closing brace inside a string literal does not end the expression.
    {TEMPLATE("<a x=\"{concat('}', '{')}\"/>"), "<r/>", "<a x=\"}{\"/>"},
    // Variables are visible inside braces.
    {TEMPLATE("<xsl:variable name='v' select='5'/><a x='v{$v}'/>"), "<r/>", "<a x=\"v5\"/>"},
    // A bad expression in braces is found when the stylesheet loads.
    {TEMPLATE("<a x='{1 +}'/>"), "<r/>",
     "ERROR: s.xsl:1: error: Missing path expression\n"
     "  1 +\n"
     "     ^"},
    // Comments and processing instructions of the stylesheet are not copied, and the text
    // around them is one text, kept when it is not all white space.
    {TEMPLATE("<a><!-- c --><?p d?>t</a>"), "<r/>", "<a>t</a>"},
    {TEMPLATE("<a>x\n <!-- c -->y\n <?p d?>\n <b/> <!-- c --> </a>"), "<r/>",
     "<a>x\n y\n \n <b/></a>"},
    // A stylesheet's whitespace-only text goes except in xsl:text, whatever its prefix;
    // an element named text in another namespace loses it too.
    {TEMPLATE("<a> <xsl:text> </xsl:text> <t:text xmlns:t='urn:t'> </t:text> "
              "<x:text xmlns:x='http://www.w3.org/1999/XSL/Transform'>\t</x:text></a>"),
     "<r/>", "<a> <t:text xmlns:t=\"urn:t\"/>\t</a>"},
    // xml:space is copied like any attribute; in the source it can be selected.
    {TEMPLATE("<a xml:space='preserve'> </a><b xml:space='default'> </b>"
              "<xsl:value-of select='r/@xml:space'/>"),
     "<r xml:space='preserve'/>",
     "<a xml:space=\"preserve\"> </a><b xml:space=\"default\"/>preserve"},
    // The later of two attributes of one name wins, also written straight out.
    {TEMPLATE("<a x='1' y='2'><xsl:attribute name='x'>3</xsl:attribute></a>"), "<r/>",
     "<a x=\"3\" y=\"2\"/>"},
    // Namespaces in scope go with literal elements, the XSLT namespace excepted.
    {"<xsl:stylesheet " XSL " xmlns:p='urn:p'>" NO_DECLARATION
     "<xsl:template match='/'><p:a/></xsl:template></xsl:stylesheet>",
     "<r/>", "<p:a xmlns:p=\"urn:p\"/>"},
    // Result tree fragments keep names, namespaces and the last of equal attributes.
    {"<xsl:stylesheet " XSL " xmlns:p='urn:p'>" NO_DECLARATION
     "<xsl:template match='/'><xsl:variable name='v'><p:a x='1'><xsl:attribute name='x'>2"
     "</xsl:attribute>t</p:a></xsl:variable><xsl:copy-of select='$v'/></xsl:template>"
     "</xsl:stylesheet>",
     "<r/>", "<p:a xmlns:p=\"urn:p\" x=\"2\">t</p:a>"},
    // Copies from the source are literal: their braces are text.
    {TEMPLATE("<xsl:copy-of select='r'/>"), "<r a='{b}'/>", "<r a=\"{b}\"/>"},
    {TEMPLATE("<xsl:variable name='v'><xsl:copy-of select='r'/></xsl:variable>"
              "<xsl:copy-of select='$v'/>"),
     "<r xmlns:q='urn:q'><q:s a='{b}'/></r>", "<r xmlns:q=\"urn:q\"><q:s a=\"{b}\"/></r>"},
};

TEST(StylesheetTest, LiteralResultElements) {
  runCases(std::begin(kLiteralCases), std::end(kLiteralCases));
}

#define EXCLUDING(attributes, body)                                                                \
  "<xsl:stylesheet " XSL " xmlns:p='urn:p' xmlns:q='urn:q' xmlns='urn:d' " attributes              \
  ">" NO_DECLARATION "<xsl:template match='/'>" body "</xsl:template></xsl:stylesheet>"

constexpr StylesheetCase kExcludeCases[] = {
    {EXCLUDING("", "<a/>"), "<r/>", "<a xmlns=\"urn:d\" xmlns:p=\"urn:p\" xmlns:q=\"urn:q\"/>"},
    // A namespace the element's name uses is declared all the same.
    {EXCLUDING("exclude-result-prefixes='p #default'", "<a/><p:b/>"), "<r/>",
     "<a xmlns=\"urn:d\" xmlns:q=\"urn:q\"/><p:b xmlns:p=\"urn:p\" xmlns:q=\"urn:q\"/>"},
    {EXCLUDING("extension-element-prefixes='q' exclude-result-prefixes=' p\t'", "<a/>"), "<r/>",
     "<a xmlns=\"urn:d\"/>"},
    // On a literal result element, for its subtree only, declared there or further out.
    {EXCLUDING("", "<a xsl:exclude-result-prefixes='q' xmlns:s='urn:q'><b/></a><c/>"), "<r/>",
     "<a xmlns=\"urn:d\" xmlns:p=\"urn:p\"><b/></a>"
     "<c xmlns=\"urn:d\" xmlns:p=\"urn:p\" xmlns:q=\"urn:q\"/>"},
    // The same through a result tree fragment.
    {EXCLUDING("exclude-result-prefixes='q'",
               "<xsl:variable name='v'><a xsl:exclude-result-prefixes='p'><b/></a></xsl:variable>"
               "<xsl:copy-of select='$v'/>"),
     "<r/>", "<a xmlns=\"urn:d\"><b/></a>"},
    {EXCLUDING("exclude-result-prefixes='p x'", "<a/>"), "<r/>",
     "ERROR: s.xsl:1: error: Undeclared namespace prefix in exclude-result-prefixes, x"},
    {EXCLUDING("", "<a xsl:exclude-result-prefixes='y'/>"), "<r/>",
     "ERROR: s.xsl:1: error: Undeclared namespace prefix in exclude-result-prefixes, y"},
};

TEST(StylesheetTest, ExcludedNamespacesAreNotCopiedByLiteralResultElements) {
  runCases(std::begin(kExcludeCases), std::end(kExcludeCases));
}

// An attribute an XSLT element does not take: a warning naming it and the element works
// without it (as in xsltproc); an error with strict; nothing in forwards-compatible mode.
struct UnknownAttributeCase {
  const char* stylesheet;
  const char* warned;  // the output in the default mode
  const char* strict;  // the output with CompileOptions::strict
};

#define VERSION(v) "<xsl:stylesheet version='" v "' " XSL ">" NO_DECLARATION

constexpr UnknownAttributeCase kUnknownAttributeCases[] = {
    // yelp-xsl writes a test on an xsl:otherwise.
    {VERSION("1.0") "<xsl:template match='/'><xsl:choose><xsl:when test='false()'>W</xsl:when>"
                    "\n<xsl:otherwise test='false()'>O</xsl:otherwise></xsl:choose>"
                    "</xsl:template></xsl:stylesheet>",
     "WARNING: Unrecognized attribute on otherwise, test on line 2 in s.xsl\nO",
     "ERROR: s.xsl:2: error: Unrecognized attribute on otherwise, test"},
    {VERSION("1.0") "<xsl:template match='/' as='node()'>T</xsl:template></xsl:stylesheet>",
     "WARNING: Unrecognized attribute on template, as on line 1 in s.xsl\nT",
     "ERROR: s.xsl:1: error: Unrecognized attribute on template, as"},
    {VERSION("1.0") "<xsl:output method='text' html-version='5'/>"
                    "<xsl:template match='/'><a/>T</xsl:template></xsl:stylesheet>",
     "WARNING: Unrecognized attribute on output, html-version on line 1 in s.xsl\nT",
     "ERROR: s.xsl:1: error: Unrecognized attribute on output, html-version"},
    {VERSION("1.0") "<xsl:strip-space elements='*' except='a'/>"
                    "<xsl:template match='/'>T</xsl:template></xsl:stylesheet>",
     "WARNING: Unrecognized attribute on strip-space, except on line 1 in s.xsl\nT",
     "ERROR: s.xsl:1: error: Unrecognized attribute on strip-space, except"},
    {"<xsl:stylesheet version='1.0' " XSL " default-mode='m'>" NO_DECLARATION
     "<xsl:template match='/'>T</xsl:template></xsl:stylesheet>",
     "WARNING: Unrecognized attribute on stylesheet, default-mode on line 1 in s.xsl\nT",
     "ERROR: s.xsl:1: error: Unrecognized attribute on stylesheet, default-mode"},
    {VERSION("1.0") "<xsl:template match='/'><xsl:value-of select='1' separator=','/>"
                    "<xsl:apply-templates select='r' mode='m' tunnel='yes'/></xsl:template>"
                    "<xsl:template match='r' mode='m'>R</xsl:template></xsl:stylesheet>",
     "WARNING: Unrecognized attribute on value-of, separator on line 1 in s.xsl\n"
     "WARNING: Unrecognized attribute on apply-templates, tunnel on line 1 in s.xsl\n"
     "1R",
     "ERROR: s.xsl:1: error: Unrecognized attribute on value-of, separator"},
    // Forwards-compatible mode (XSLT 2.5) ignores them on every element, without a word.
    {VERSION("2.0") "<xsl:output method='text' html-version='5'/><xsl:strip-space elements='a' "
                    "except='b'/><xsl:template match='/' as='node()'><xsl:value-of select='1' "
                    "separator=','/><xsl:choose><xsl:when test='0'/><xsl:otherwise "
                    "test='0'>O</xsl:otherwise>"
                    "</xsl:choose></xsl:template></xsl:stylesheet>",
     "1O", "1O"},
    // Attributes in a namespace belong to whoever put them there.
    {VERSION("1.0") "<xsl:template match='/' xmlns:e='urn:e' e:as='x'>T</xsl:template>"
                    "</xsl:stylesheet>",
     "T", "T"},
};

TEST(StylesheetTest, UnknownAttributesOfXsltElements) {
  for (const UnknownAttributeCase& c : kUnknownAttributeCases) {
    EXPECT_EQ(transformOrError(c.stylesheet, "<r/>"), c.warned) << c.stylesheet;
    EXPECT_EQ(transformOrError(c.stylesheet, "<r/>", {}, strictOptions()), c.strict)
        << c.stylesheet;
  }
}

// An attribute with no element to go on, or after the element's children: left out with
// a warning (XSLT 7.1.3), never written where it would make the output ill-formed.
constexpr StylesheetCase kMisplacedAttributeCases[] = {
    {VERSION("1.0") "<xsl:template match='/'><xsl:attribute name='a'>v</xsl:attribute><r/>"
                    "</xsl:template></xsl:stylesheet>",
     "<r/>",
     "WARNING: Attribute a left out: attributes can only be added to an element before its "
     "children on line 1 in s.xsl\n<r/>"},
    {VERSION("1.0") "<xsl:template match='/'><r>t<xsl:attribute name='a'>v</xsl:attribute>"
                    "<xsl:attribute name='b'/></r></xsl:template></xsl:stylesheet>",
     "<r/>",
     "WARNING: Attribute a left out: attributes can only be added to an element before its "
     "children on line 1 in s.xsl\nWARNING: Attribute b left out: attributes can only be added "
     "to an element before its children on line 1 in s.xsl\n<r>t</r>"},
    {VERSION("1.0") "<xsl:template match='/'><r><b/><xsl:copy-of select='/*/@*'/></r>"
                    "<s><xsl:for-each select='/*/@x'><xsl:copy/></xsl:for-each></s>"
                    "</xsl:template></xsl:stylesheet>",
     "<d x='1'/>",
     "WARNING: Attribute x left out: attributes can only be added to an element before its "
     "children on line 1 in s.xsl\n<r><b/></r><s x=\"1\"/>"},
    // In a variable's tree, the same.
    {VERSION("1.0") "<xsl:template match='/'><xsl:variable name='v'><xsl:attribute name='a'/>t"
                    "</xsl:variable><r><xsl:copy-of select='$v'/></r></xsl:template>"
                    "</xsl:stylesheet>",
     "<r/>",
     "WARNING: Attribute a left out: attributes can only be added to an element before its "
     "children on line 1 in s.xsl\n<r>t</r>"},
    // Empty text closes nothing: the attribute still belongs to the element.
    {VERSION("1.0") "<xsl:template match='/'><r><xsl:value-of select=\"''\"/>"
                    "<xsl:attribute name='a'>v</xsl:attribute></r></xsl:template></xsl:stylesheet>",
     "<r/>", "<r a=\"v\"/>"},
    // Comments and processing instructions get the Recommendation's spaces (XSLT 7.3, 7.4).
    {VERSION("1.0") "<xsl:template match='/'><xsl:processing-instruction name='p'>a?>b?>"
                    "</xsl:processing-instruction></xsl:template></xsl:stylesheet>",
     "<r/>",
     "WARNING: A processing instruction can not hold ?>: a space was put after the ? on line 1 "
     "in s.xsl\n<?p a? >b? >?>"},
};

TEST(StylesheetTest, MisplacedAttributesAndUnsafeTextAreRecovered) {
  runCases(std::begin(kMisplacedAttributeCases), std::end(kMisplacedAttributeCases));
}

// Without a method in xsl:output the first element decides (XSLT 16): html in no
// namespace, with no text but white space before it, is HTML; anything else XML. What
// comes before it waits, so that the XML declaration comes first.
#define ROOT_TEMPLATE(body)                                                                        \
  "<xsl:stylesheet version='1.0' " XSL "><xsl:template match='/'>" body                            \
  "</xsl:template></xsl:stylesheet>"
#define DECLARATION "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"

constexpr StylesheetCase kDefaultMethodCases[] = {
    {ROOT_TEMPLATE("<xsl:comment>gen</xsl:comment><r/>"), "<r/>", DECLARATION "<!--gen--><r/>"},
    {ROOT_TEMPLATE("<xsl:processing-instruction name='pi'>x</xsl:processing-instruction>"
                   "<html/>"),
     "<r/>", "<?pi x><html></html>\n"},
    {ROOT_TEMPLATE("text<html/>"), "<r/>", DECLARATION "text<html/>"},
    {ROOT_TEMPLATE("<xsl:text> \n</xsl:text><HTML><br/></HTML>"), "<r/>", " \n<HTML><br></HTML>\n"},
    {ROOT_TEMPLATE("<h:html xmlns:h='urn:h'/>"), "<r/>", DECLARATION "<h:html xmlns:h=\"urn:h\"/>"},
    {ROOT_TEMPLATE("<xsl:text disable-output-escaping='yes'>&lt;!DOCTYPE html&gt;</xsl:text>"
                   "<html/>"),
     "<r/>", DECLARATION "<!DOCTYPE html><html/>"},
    {ROOT_TEMPLATE("a &amp; b"), "<r/>", DECLARATION "a &amp; b"},
    {ROOT_TEMPLATE(""), "<r/>", ""},
    // A method given is not waited for.
    {"<xsl:stylesheet version='1.0' " XSL "><xsl:output method='xml'/><xsl:template match='/'>"
     "<xsl:comment>c</xsl:comment><html/></xsl:template></xsl:stylesheet>",
     "<r/>", DECLARATION "<!--c--><html/>"},
};

TEST(StylesheetTest, OutputMethodComesFromTheFirstElement) {
  runCases(std::begin(kDefaultMethodCases), std::end(kDefaultMethodCases));
}

TEST(StylesheetTest, ClassifiesByNamespaceAndLocalName) {
  EXPECT_EQ(XsltKeywordTable::global().find("import"), InstructionKind::Import);
  EXPECT_EQ(XsltKeywordTable::global().find("apply-imports"), InstructionKind::ApplyImports);
  EXPECT_EQ(XsltKeywordTable::global().find("namespace-alias"), InstructionKind::NamespaceAlias);
  EXPECT_EQ(XsltKeywordTable::global().find("decimal-format"), InstructionKind::DecimalFormat);
  EXPECT_EQ(XsltKeywordTable::global().find("transform"), InstructionKind::Stylesheet);
  EXPECT_EQ(XsltKeywordTable::global().find("with-param"), InstructionKind::WithParam);
  EXPECT_EQ(XsltKeywordTable::global().find("sort"), InstructionKind::Sort);
  EXPECT_EQ(XsltKeywordTable::global().find("sequence"), InstructionKind::Unknown);
  EXPECT_EQ(XsltKeywordTable::global().find("for-each-group"), InstructionKind::Unknown);
  EXPECT_EQ(XsltKeywordTable::global().find("Template"), InstructionKind::Unknown);

  // By address for pooled names; a name spelled the same from elsewhere still counts.
  const XsltKeywordTable& table = XsltKeywordTable::global();
  std::string unpooled = "with-param";
  struct {
    StringRef name;
    InstructionKind kind;
  } cases[] = {
      {NamePool::global().intern("with-param"), InstructionKind::WithParam},
      {NamePool::global().intern("transform"), InstructionKind::Stylesheet},
      {NamePool::global().intern("sequence"), InstructionKind::Unknown},
      {StringRef(unpooled.c_str()), InstructionKind::WithParam},
  };
  for (const auto& c : cases)
    EXPECT_EQ(table.findInterned(c.name), c.kind) << c.name.view();
}

TEST(StylesheetTest, ErrorsInTheMiddleOfARunKeepTheOutputSoFar) {
  TransformResult result =
      transformText(TEMPLATE("<a>before</a><xsl:apply-templates select='string(r)'/>"), "<r/>");
  EXPECT_EQ(result.output, "<a>before</a>");
  EXPECT_EQ(result.error,
            "s.xsl:1: error: The select expression of a apply-templates must only return nodes");
}

TEST(StylesheetTest, RunsRepeatedlyWithFreshGlobals) {
  std::unique_ptr<Stylesheet> stylesheet = Stylesheet::fromText(
      "<xsl:stylesheet " XSL "><xsl:variable name='g' select='string(r)'/>"
      "<xsl:template match='/'><xsl:value-of select='$g'/></xsl:template></xsl:stylesheet>",
      "s.xsl");
  stylesheet->load();
  EXPECT_EQ(stylesheet->globalElements().size(), 1u);
  EXPECT_EQ(stylesheet->rules().size(), 1u);
  EXPECT_FALSE(stylesheet->isSimplified());
  TextBuffer buffer;
  {
    Serializer serializer(buffer);
    for (const char* text : {"<r>one</r>", "<r>two</r>"}) {
      std::unique_ptr<Document> source =
          Document::fromText(text, "in.xml", Document::kSourceBufferSize, /*strip=*/false);
      stylesheet->transform(*source, serializer);
    }
  }
  // One job, one prologue: the runs after the first append their documents as they are.
  EXPECT_EQ(buffer.view(), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\nonetwo");
}

// Stripping rules included: they strip the nodes as the source is read.
TEST(StylesheetTest, ReadsOnlyAsMuchOfTheSourceAsTheRunVisits) {
  struct LazyCase {
    std::string stylesheet;
    const char* item;
    const char* expected;
  };
  const LazyCase cases[] = {
      {TEMPLATE("<xsl:value-of select='name(/*)'/>"), "<item/>", "root"},
      {stylesheetOf("<xsl:strip-space elements='*'/><xsl:template match='/'>"
                    "<xsl:value-of select='count(/*/*[1]/node())'/></xsl:template>"),
       "<item> </item> ", "0"},
  };
  for (const LazyCase& c : cases) {
    std::unique_ptr<Stylesheet> stylesheet = Stylesheet::fromText(c.stylesheet, "s.xsl");
    stylesheet->load();
    std::string text = "<root>";
    for (int i = 0; i < 1000; ++i)
      text += c.item;
    text += "</root>";
    std::unique_ptr<Document> source =
        Document::fromText(text, "in.xml", /*bufferSize=*/16, /*strip=*/false);
    TextBuffer buffer;
    {
      Serializer serializer(buffer);
      stylesheet->transform(*source, serializer);
    }
    EXPECT_EQ(buffer.view(), c.expected) << c.stylesheet;
    EXPECT_LT(source->chunksParsed(), 4u) << c.stylesheet;
  }
}

}  // namespace
}  // namespace ovra
