#include "base/exceptions.h"
#include "output/serializer.h"
#include "tree/document.h"
#include "tree/text_buffer.h"
#include "xslt/stylesheet.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace ovra {
namespace {

// A stylesheet whose template for the root has body; templates are further top-level
// elements. Everything stands on line 1.
std::string sheet(const std::string& body, const std::string& templates = "") {
  return "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
         "<xsl:output omit-xml-declaration='yes'/>" +
         templates + "<xsl:template match='/'>" + body + "</xsl:template></xsl:stylesheet>";
}

// Loads stylesheet and runs it once on source; what the serializer wrote.
std::string transformText(const std::string& stylesheet, const std::string& source,
                          CompileOptions options = {}) {
  std::unique_ptr<Stylesheet> compiled = Stylesheet::fromText(stylesheet, "test.xsl", options);
  compiled->load();
  std::unique_ptr<Document> document =
      Document::fromText(source, "source.xml", Document::kSourceBufferSize, /*strip=*/false);
  TextBuffer out;
  {
    Serializer serializer(out);
    compiled->transform(*document, serializer);
  }
  return std::string(out.view());
}

// The message of the exception that loading or running raises; empty when none does.
// Unknown attributes are errors, as with --strict.
std::string errorText(const std::string& stylesheet, const std::string& source = "<r/>") {
  CompileOptions strict;
  strict.strict = true;
  try {
    transformText(stylesheet, source, strict);
  } catch (const XSLException& error) {
    return error.message().c_str();
  }
  return "";
}

struct OutputCase {
  const char* what;
  const char* body;
  const char* expected;
  const char* source = "<r><a>x</a><a>y</a><a>z</a></r>";
  const char* templates = "";
};

void expectOutputs(const OutputCase* cases, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const OutputCase& c = cases[i];
    std::string stylesheet = sheet(c.body, c.templates);
    std::string output;
    try {
      output = transformText(stylesheet, c.source);
    } catch (const XSLException& error) {
      output = std::string("error: ") + error.message().c_str();
    }
    EXPECT_EQ(output, c.expected) << c.what << "\n" << stylesheet;
  }
}

// ---- Control flow ----

const OutputCase kControlFlowCases[] = {
    {"a number test holds unless zero or NaN",
     "<xsl:if test='0'>a</xsl:if><xsl:if test='-2'>b</xsl:if><xsl:if test='0 div 0'>c</xsl:if>",
     "b"},
    // XSLT 1.0 section 9.2: at least one when, and the otherwise last.
    {"only an otherwise", "<xsl:choose><xsl:otherwise>o</xsl:otherwise></xsl:choose>",
     "error: test.xsl:1: error: A choose must hold at least one when"},
    {"no branch holds", "<xsl:choose><xsl:when test='false()'>w</xsl:when></xsl:choose>", ""},
    {"the first of two true branches runs",
     "<xsl:choose><xsl:when test='false()'>0</xsl:when><xsl:when test='1'>1</xsl:when>"
     "<xsl:when test='true()'>2</xsl:when><xsl:otherwise>o</xsl:otherwise></xsl:choose>",
     "1"},
    {"an otherwise before a when",
     "<xsl:choose><xsl:otherwise>o</xsl:otherwise><xsl:when test='1'>w</xsl:when></xsl:choose>",
     "error: test.xsl:1: error: An otherwise can only be the last child of a choose"},
    {"for-each passes positions",
     "<xsl:for-each select='r/a'><xsl:value-of select='concat(position(), .)'/>;</xsl:for-each>",
     "1x;2y;3z;"},
    {"for-each runs in document order",
     "<xsl:for-each select='r/a[3] | r/a[1]'><xsl:value-of select='.'/></xsl:for-each>"
     "<xsl:for-each select='r/a[3]/preceding-sibling::a'><xsl:value-of select='.'/>"
     "</xsl:for-each>",
     "xzxy"},
    {"for-each over nothing", "<xsl:for-each select='r/none'>n</xsl:for-each>", ""},
    {"nested for-each loops keep their own positions and current node",
     "<xsl:for-each select='r/a[position() &lt; 3]'><xsl:for-each select='../a[. != current()]'>"
     "<xsl:value-of select='concat(position(), .)'/></xsl:for-each>;</xsl:for-each>",
     "1y2z;1x2z;"},
    {"a template recursing from inside for-each and choose leaves the outer loop intact",
     "<xsl:apply-templates select='r'/>", "r[1a[1a[]2a[]]2a[]]", "<r><a><a/><a/></a><a/></r>",
     "<xsl:template match='*'><xsl:value-of select='name()'/>[<xsl:for-each select='*'>"
     "<xsl:choose><xsl:when test='position() = 1'>1</xsl:when><xsl:otherwise>"
     "<xsl:value-of select='position()'/></xsl:otherwise></xsl:choose>"
     "<xsl:apply-templates select='.'/></xsl:for-each>]</xsl:template>"},
};

TEST(ControlFlowTest, Outputs) {
  expectOutputs(kControlFlowCases, std::size(kControlFlowCases));
}

TEST(ControlFlowTest, ForEachOverAValueThatIsNotNodesFails) {
  for (const char* select : {"1", "'a'", "true()", "$v"}) {
    std::string body =
        std::string("<xsl:variable name='v'>t</xsl:variable>\n<xsl:for-each select=\"") + select +
        "\">x</xsl:for-each>";
    EXPECT_EQ(errorText(sheet(body)),
              "test.xsl:2: error: The select expression of a for-each must only return nodes")
        << select;
  }
}

// ---- Text and copies ----

const OutputCase kTextCopyCases[] = {
    {"value-of of nothing writes nothing", "[<xsl:value-of select='r/none'/>]", "[]"},
    {"value-of of a division by zero", "<xsl:value-of select='1 div 0'/>", "Infinity"},
    {"value-of takes the first node in document order",
     "<xsl:value-of select='r/a[3] | r/a[2]'/><xsl:value-of select='r/a[3]/preceding::a'/>", "yx"},
    {"value-of escapes unless told not to",
     "<xsl:value-of select='\"&lt;&amp;\"'/>"
     "<xsl:value-of select='\"&lt;&amp;\"' disable-output-escaping='yes'/>"
     "<xsl:value-of select='\"&lt;\"' disable-output-escaping='no'/>",
     "&lt;&amp;<&&lt;"},
    {"text escapes unless told not to",
     "<xsl:text>&lt;</xsl:text><xsl:text disable-output-escaping='yes'>&lt;</xsl:text>"
     "<xsl:text>&lt;</xsl:text>",
     "&lt;<&lt;"},
    {"unescaped text in a tree fragment stays unescaped when copied out, also through another "
     "fragment, but its string value is the same",
     "<xsl:variable name='v'><xsl:value-of select='\"&lt;b/>\"' disable-output-escaping='yes'/>"
     "<xsl:text disable-output-escaping='yes'>&lt;c/></xsl:text>&lt;</xsl:variable>"
     "<xsl:variable name='w'><e><xsl:copy-of select='$v'/></e></xsl:variable>"
     "<xsl:copy-of select='$v'/>|<xsl:copy-of select='$w'/>|<xsl:value-of select='$v'/>",
     "<b/><c/>&lt;|<e><b/><c/>&lt;</e>|&lt;b/>&lt;c/>&lt;"},
    {"value-of of an empty string leaves the start tag open for attributes",
     "<e><xsl:value-of select='\"\"'/><xsl:attribute name='a'>1</xsl:attribute></e>",
     "<e a=\"1\"/>"},
    {"copy-of an element keeps its attributes literally", "<xsl:copy-of select='r/a'/>",
     "<a x=\"1\" y=\"{z}\">t<b/></a>", "<r><a x='1' y='{z}'>t<b/></a></r>"},
    {"copy-of a node-set in document order",
     "<xsl:copy-of select='r/a[3] | r/a[1] | r/a[2]/text()'/>", "<a>x</a>y<a>z</a>"},
    {"copy-of a result tree fragment copies its nodes",
     "<xsl:variable name='v'><b c='{1+1}'>1</b>2</xsl:variable><xsl:copy-of select='$v'/>",
     "<b c=\"2\">1</b>2"},
    {"copy-of a number or string writes it as text",
     "<xsl:copy-of select='1 + 1'/><xsl:copy-of select='\"&lt;\"'/>", "2&lt;"},
    {"copy-of an attribute puts it on the element being built",
     "<e><xsl:copy-of select='r/@x'/></e>", "<e x=\"{1}\"/>", "<r x='{1}'/>"},
    {"a tree fragment compares with a string by its text",
     "<xsl:variable name='v'>a<b>b</b>c</xsl:variable>"
     "<xsl:if test='$v = \"abc\"'>eq</xsl:if><xsl:if test='$v != \"abc\"'>ne</xsl:if>",
     "eq"},
    {"copy of the root runs the body only",
     "<xsl:copy>b<xsl:value-of select='count(r/a)'/></xsl:copy>", "b3"},
    {"copy of an element copies neither attributes nor content",
     "<xsl:for-each select='r'><xsl:copy>b</xsl:copy></xsl:for-each>", "<r>b</r>",
     "<r x='1'><c/></r>"},
    {"identity copy keeps attribute values literally", "<xsl:apply-templates/>",
     "<r x=\"{1+1}\"><!--c--><?p d?>t<b y=\"}\"/></r>",
     "<r x='{1+1}'><!--c--><?p d?>t<b y='}'/></r>",
     "<xsl:template match='@*|node()'><xsl:copy><xsl:apply-templates select='@*|node()'/>"
     "</xsl:copy></xsl:template>"},
    {"copy of an element keeps the namespaces in scope",
     "<xsl:for-each select='//p:b' xmlns:p='urn:p'><xsl:copy/></xsl:for-each>",
     "<p:b xmlns:p=\"urn:p\"/>", "<p:a xmlns:p='urn:p'><p:b/></p:a>"},
    {"copy of an element into a variable keeps inherited namespaces",
     "<xsl:variable name='v'><xsl:for-each select='//p:b' xmlns:p='urn:p'><xsl:copy/>"
     "</xsl:for-each></xsl:variable><xsl:copy-of select='$v'/>",
     "<p:b xmlns:p=\"urn:p\"/>", "<p:a xmlns:p='urn:p'><p:b/></p:a>"},
};

TEST(TextCopyTest, Outputs) {
  expectOutputs(kTextCopyCases, std::size(kTextCopyCases));
}

TEST(TextCopyTest, ValueOfSelectErrorsNameTheStylesheetLine) {
  // At load time (an unknown function) and while running (an unbound variable, a union of
  // numbers), as the same text at the value-of element.
  EXPECT_EQ(errorText(sheet("\n<xsl:value-of select='nosuch(1)'/>")),
            "test.xsl:2: error: Unsupported function, nosuch\n"
            "  nosuch(1)\n"
            "  ^");
  EXPECT_EQ(errorText(sheet("<e>\n<xsl:value-of select='$none'/></e>")),
            "test.xsl:2: error: Reference to undefined variable, $none");
  EXPECT_EQ(errorText(sheet("\n\n<xsl:value-of\nselect='1 | 2'/>")),
            "test.xsl:3: error: Both operands of '|' must be node-sets");
}

// ---- Node construction ----

const OutputCase kConstructionCases[] = {
    {"element named by a template", "<xsl:element name='{name(*)}-{1+1}'>c</xsl:element>",
     "<r-2>c</r-2>"},
    {"element prefix resolved at the instruction", "<xsl:element name='q:e' xmlns:q='urn:q'/>",
     "<q:e xmlns:q=\"urn:q\"/>"},
    {"element name in the default namespace of the instruction",
     "<xsl:element name='e' xmlns='urn:d'/>", "<e xmlns=\"urn:d\"/>"},
    {"element with a namespace keeps its prefix",
     "<xsl:element name='q:e' namespace='urn:{1+1}'/><xsl:element name='e' namespace='urn:z'/>",
     "<q:e xmlns:q=\"urn:2\"/><e xmlns=\"urn:z\"/>"},
    {"element with an empty namespace drops its prefix", "<xsl:element name='q:e' namespace=''/>",
     "<e/>"},
    {"element holds the attributes its body makes",
     "<xsl:element name='e'><xsl:attribute name='a'>1</xsl:attribute>t</xsl:element>",
     "<e a=\"1\">t</e>"},
    {"attribute text with braces is not expanded",
     "<e><xsl:attribute name='a'>{1+1}</xsl:attribute>"
     "<xsl:attribute name='b'><xsl:value-of select='\"{r}\"'/></xsl:attribute></e>",
     "<e a=\"{1+1}\" b=\"{r}\"/>"},
    {"attribute value gathers the text of elements in its body",
     "<e><xsl:attribute name='a'><b>x<c>y</c></b>z</xsl:attribute></e>", "<e a=\"xyz\"/>"},
    {"attribute name by a template with a resolved prefix",
     "<e><xsl:attribute name='q:{name(*)}' xmlns:q='urn:q'>v</xsl:attribute></e>",
     "<e xmlns:q=\"urn:q\" q:r=\"v\"/>"},
    {"attribute names ignore the default namespace",
     "<e xmlns='urn:d'><xsl:attribute name='a'>v</xsl:attribute></e>",
     "<e xmlns=\"urn:d\" a=\"v\"/>"},
    {"attribute sees the variables of its template",
     "<xsl:variable name='v' select='\"w\"'/><e><xsl:attribute name='a'>"
     "<xsl:value-of select='$v'/></xsl:attribute></e>",
     "<e a=\"w\"/>"},
    {"processing instruction with computed target and data",
     "<xsl:processing-instruction name='p{1}'>d <xsl:value-of select='2'/></"
     "xsl:processing-instruction>",
     "<?p1 d 2?>"},
};

TEST(NodeConstructionTest, Outputs) {
  expectOutputs(kConstructionCases, std::size(kConstructionCases));
}

TEST(NodeConstructionTest, BadComputedNamesFailAtTheInstruction) {
  struct Case {
    const char* instruction;  // on line 2
    const char* message;
  };
  const Case cases[] = {
      {"<xsl:element name='z:e'/>",
       "Undeclared namespace prefix in the name of a element instruction, z"},
      {"<xsl:attribute name='{\"z\"}:a'/>",
       "Undeclared namespace prefix in the name of a attribute instruction, z"},
      {"<xsl:element name='{\"\"}'/>", "The name computed for a element instruction is empty"},
      {"<xsl:element name='e:' namespace='urn:e'/>",
       "The name computed for a element instruction is not a QName, e:"},
      // Never ill-formed output: names that are no QNames, PIs named xml (XSLT 7.1, 7.3).
      {"<xsl:element name=\"{'1x'}\"/>",
       "The name computed for a element instruction is not a QName, 1x"},
      {"<xsl:element name=\"{'a b'}\"/>",
       "The name computed for a element instruction is not a QName, a b"},
      {"<xsl:element name='a:b:c' namespace='urn:a'/>",
       "The name computed for a element instruction is not a QName, a:b:c"},
      {"<xsl:attribute name=\"{'x&gt;'}\"/>",
       "The name computed for a attribute instruction is not a QName, x>"},
      {"<xsl:attribute name='xmlns'/>",
       "The name computed for a attribute instruction can not be xmlns"},
      {"<xsl:processing-instruction name='XmL'/>",
       "The name computed for a processing-instruction instruction can not be xml, XmL"},
      {"<xsl:processing-instruction name='a:b'/>",
       "The name computed for a processing-instruction instruction is not an NCName, a:b"},
      {"<xsl:attribute name='{\"\"}'/>", "The name computed for a attribute instruction is empty"},
      {"<xsl:processing-instruction name='{\"\"}'/>",
       "The name computed for a processing-instruction instruction is empty"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(errorText(sheet("<e>\n" + std::string(c.instruction) + "</e>")),
              std::string("test.xsl:2: error: ") + c.message)
        << c.instruction;
  }
}

// ---- Compile-time messages ----

struct CompileCase {
  const char* instruction;  // starts on line 2
  const char* message;      // after "test.xsl:LINE: error: "
  int line;
};

const CompileCase kCompileCases[] = {
    {"<xsl:if\ntest='1' other='x'/>", "Unrecognized attribute on if, other", 2},
    {"<xsl:if/>", "A test attribute must be provided for a if instruction", 2},
    {"<xsl:if test='1 +'/>", "Missing path expression\n  1 +\n     ^", 2},
    {"<xsl:choose\nother='1'/>", "Unrecognized attribute on choose, other", 2},
    {"<xsl:choose>\n<xsl:when test='1'/><e/></xsl:choose>",
     "Only when and otherwise elements can be children of a choose", 2},
    {"<xsl:choose><xsl:if test='1'/></xsl:choose>",
     "Only when and otherwise elements can be children of a choose", 2},
    {"<xsl:choose>\n<xsl:when/></xsl:choose>", "when instructructions must have a test attribute",
     3},
    {"<xsl:choose><xsl:when test='1'/><xsl:otherwise/>\n<xsl:otherwise/></xsl:choose>",
     "An otherwise can only be the last child of a choose", 2},
    {"<xsl:choose><xsl:when test='1'/>\n<xsl:otherwise test='1'/></xsl:choose>",
     "Unrecognized attribute on otherwise, test", 3},
    {"<xsl:choose><xsl:when test='1'/>\n<xsl:otherwise select='1'/></xsl:choose>",
     "Unrecognized attribute on otherwise, select", 3},
    {"<xsl:for-each\nselect='*' sort='x'/>", "Unrecognized attribute on for-each, sort", 2},
    {"<xsl:for-each/>", "A select attribute must be provided for a for-each instruction", 2},
    {"<xsl:value-of\nselect='1' escape='yes'/>", "Unrecognized attribute on value-of, escape", 2},
    {"<xsl:value-of/>", "A select attribute must be provided for a value-of", 2},
    {"<xsl:value-of select='1' disable-output-escaping='YES'/>",
     "Expecting disable-output-escaping attribute to have value 'yes' or 'no'", 2},
    {"<xsl:value-of select='1' disable-output-escaping=' yes'/>",
     "Expecting disable-output-escaping attribute to have value 'yes' or 'no'", 2},
    {"<xsl:value-of select='1 +'/>", "Missing path expression\n  1 +\n     ^", 2},
    {"<xsl:text\nescape='yes'/>", "Unrecognized attribute on text, escape", 2},
    {"<xsl:text disable-output-escaping=''/>",
     "Expecting disable-output-escaping attribute to have value 'yes' or 'no'", 2},
    {"<xsl:text>a\n<b/></xsl:text>", "A text element can only hold text", 3},
    // Names and modes are QNames whose prefixes are declared (XSLT 1.0 section 2.4).
    {"<xsl:apply-templates mode='q:m'/>", "Undeclared namespace prefix in mode, q", 2},
    {"<xsl:apply-templates mode='m n'/>", "Invalid QName in mode, m n", 2},
    {"<xsl:variable name='1v' select='1'/>", "Invalid QName in name, 1v", 2},
    {"<xsl:call-template name='q:t'/>", "Undeclared namespace prefix in name, q", 2},
    {"<xsl:copy\nselect='.'/>", "Unrecognized attribute on copy, select", 2},
    {"<xsl:copy-of\nselect='.' mode='m'/>", "Unrecognized attribute on copy-of, mode", 2},
    {"<xsl:copy-of/>", "A select attribute must be provided for a copy-of instruction", 2},
    {"<xsl:message\nlevel='1'/>", "Unrecognized attribute on message, level", 2},
    {"<xsl:message terminate='true'/>", "Expecting terminate attribute to have value 'yes' or 'no'",
     2},
    {"<xsl:element\nname='e' use-attribute-sets='s'/>", "No attribute-set of the name used, s", 2},
    {"<xsl:element namespace='urn:x'/>",
     "A name attribute must be provided for a element instruction", 2},
    {"<xsl:attribute\nname='a' select='1'/>", "Unrecognized attribute on attribute, select", 2},
    {"<xsl:attribute/>", "A name attribute must be provided for a attribute instruction", 2},
    {"<xsl:processing-instruction\nname='p' namespace='urn:x'/>",
     "Unrecognized attribute on processing-instruction, namespace", 2},
    {"<xsl:element name='{1 +}'/>", "Missing path expression\n  1 +\n     ^", 2},
    {"<xsl:attribute name='a' namespace='{nosuch()}'/>",
     "Unsupported function, nosuch\n  nosuch()\n  ^", 2},
    {"<xsl:processing-instruction/>",
     "A name attribute must be provided for a processing-instruction instruction", 2},
    // Top-level elements and the parts of other elements stand only in their places.
    {"<a>\n<xsl:template match='x'/></a>", "xsl:template is only allowed at the top level", 3},
    {"<xsl:output method='text'/>", "xsl:output is only allowed at the top level", 2},
    {"<xsl:if test='1'><xsl:key name='k' match='a' use='.'/></xsl:if>",
     "xsl:key is only allowed at the top level", 2},
    {"<xsl:import href='x.xsl'/>", "xsl:import is only allowed at the top level", 2},
    {"<xsl:decimal-format/>", "xsl:decimal-format is only allowed at the top level", 2},
    {"<xsl:attribute-set name='s'/>", "xsl:attribute-set is only allowed at the top level", 2},
    {"<xsl:stylesheet version='1.0'/>", "xsl:stylesheet is only allowed as the root element", 2},
    {"<xsl:when test='1'>w</xsl:when>", "when elements can only be children of choose", 2},
    {"<xsl:for-each select='*'><xsl:otherwise/></xsl:for-each>",
     "otherwise elements can only be children of choose", 2},
    {"<xsl:with-param name='p'/>",
     "with-param elements can only be children of call-template or apply-templates", 2},
    {"<xsl:for-each select='*'><xsl:param name='p'/></xsl:for-each>",
     "param elements can only be children of stylesheet or template", 2},
    {"<xsl:param name='p'/>x<xsl:param name='q'/>", "param elements must come first in a template",
     2},
    {"<xsl:call-template\nname='nowhere'/>", "No template of the name called, nowhere", 2},
    {"<xsl:call-template/>", "A name attribute must be provided for a call-template", 2},
};

TEST(BodyInstructionCompileTest, MessagesNameTheElementOrAttribute) {
  for (const CompileCase& c : kCompileCases) {
    // Never run: the template is not for the root.
    std::string stylesheet =
        "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>\n"
        "<xsl:template match='never'>" +
        std::string(c.instruction) + "</xsl:template></xsl:stylesheet>";
    std::string expected = "test.xsl:" + std::to_string(c.line) + ": error: " + c.message;
    EXPECT_EQ(errorText(stylesheet), expected) << c.instruction;
  }
}

TEST(BodyInstructionCompileTest, AttributesInANamespaceAreIgnored) {
  EXPECT_EQ(
      transformText(
          sheet("<xsl:value-of select='1' xsl:use-attribute-sets='s' q:x='1' xmlns:q='urn:q'/>"
                "<xsl:element name='e' xml:space='preserve'/>"),
          "<r/>"),
      "1<e/>");
}

}  // namespace
}  // namespace ovra
