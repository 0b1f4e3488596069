#include "base/exceptions.h"
#include "output/serializer.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "tree/text_buffer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace ovra {
namespace {

constexpr const char* kXslt = "http://www.w3.org/1999/XSL/Transform";
constexpr const char* kXslTemplate = "{http://www.w3.org/1999/XSL/Transform}xsl:template";

// A tree description: names are "prefix:local" or "local", optionally led by "{uri}".
// Elements and attributes get no namespace nodes unless N() adds them, as with nodes
// built by xsl:element and xsl:attribute.
struct Tree {
  NodeKind kind;
  std::string name;
  std::string value;
  std::vector<Tree> children;
};

Tree E(std::string name, std::vector<Tree> children = {}) {
  return {NodeKind::Element, std::move(name), "", std::move(children)};
}
Tree A(std::string name, std::string value) {
  return {NodeKind::Attribute, std::move(name), std::move(value), {}};
}
Tree N(std::string prefix, std::string uri) {
  return {NodeKind::Namespace, std::move(prefix), std::move(uri), {}};
}
Tree T(std::string text) {
  return {NodeKind::Text, "", std::move(text), {}};
}

struct Name {
  StringRef uri, prefix, local;
};

Name parseName(std::string_view name) {
  std::string_view uri = "";  // not a null view: interning one trips UBSan in memcmp
  if (!name.empty() && name[0] == '{') {
    std::size_t close = name.find('}');
    uri = name.substr(1, close - 1);
    name.remove_prefix(close + 1);
  }
  std::size_t colon = name.find(':');
  if (colon == std::string_view::npos)
    return {intern(uri), emptyName(), intern(name)};
  return {intern(uri), intern(name.substr(0, colon)), intern(name.substr(colon + 1))};
}

Node* make(Node* parent, const Tree& tree) {
  Name name = parseName(tree.name);
  switch (tree.kind) {
  case NodeKind::Element: {
    auto* element = new ElementNode(name.uri, name.local, name.prefix, 1, true);
    parent->appendChild(element);
    for (const Tree& child : tree.children)
      make(element, child);
    return element;
  }
  case NodeKind::Attribute:
    parent->appendAttribute(
        AttributeNode::makeOwned(name.uri, name.prefix, name.local, tree.value));
    return nullptr;
  case NodeKind::Namespace:
    parent->appendNamespace(new NamespaceNode(intern(tree.name), intern(tree.value)));
    return nullptr;
  default:
    parent->appendChild(TextNode::makeOwned(tree.value));
    return nullptr;
  }
}

using Configure = void (*)(OutputSettings&);

// copyNode of a root holding the trees; no XML declaration unless configure asks.
std::string render(const std::vector<Tree>& trees, Configure configure = nullptr) {
  RootNode root(nullptr);
  for (const Tree& tree : trees)
    make(&root, tree);
  TextBuffer out;
  {
    Serializer serializer(out);
    serializer.settings().omitXmlDeclaration = true;
    if (configure)
      configure(serializer.settings());
    serializer.copyNode(&root);
  }
  return std::string(out.view());
}

void html(OutputSettings& s) {
  s.method = OutputMethod::Html;
}
void declaration(OutputSettings& s) {
  s.omitXmlDeclaration = false;
}
void cdataC(OutputSettings& s) {
  s.addCdataSectionElement("/c");
}

void indentXml(OutputSettings& s) {
  s.method = OutputMethod::Xml;
  s.indent = true;
}
void htmlNoIndent(OutputSettings& s) {
  s.method = OutputMethod::Html;
  s.indent = false;
  s.indentGiven = true;
}

void xhtmlDocument(OutputSettings& s) {
  s.method = OutputMethod::Xml;
  s.doctypePublic = String("-//W3C//DTD XHTML 1.0 Strict//EN");
  s.doctypeSystem = String("http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd");
}

struct RenderCase {
  std::vector<Tree> trees;
  Configure configure;
  const char* expected;
};

void checkCases(const std::vector<RenderCase>& cases) {
  for (const RenderCase& c : cases)
    EXPECT_EQ(render(c.trees, c.configure), c.expected);
}

TEST(SerializerTest, MarkupAndEscaping) {
  checkCases({
      {{E("a")}, nullptr, "<a/>"},
      {{E("a", {A("x", "1"), T("t")})}, nullptr, "<a x=\"1\">t</a>"},
      {{E("a", {T("a&b<c\"d>e")})}, nullptr, "<a>a&amp;b&lt;c&quot;d>e</a>"},
      {{E("a", {A("x", "<&\">]]>")})}, nullptr, "<a x=\"&lt;&amp;&quot;>]]>\"/>"},
      {{E("a", {T("x]]>y]>")})}, nullptr, "<a>x]]&gt;y]></a>"},
      // ]]> across two text nodes
      {{E("a", {T("x]]"), T(">")})}, nullptr, "<a>x]]&gt;</a>"},
      // markup between ]] and >
      {{E("a", {T("]]"), E("b"), T(">")})}, nullptr, "<a>]]<b/>></a>"},
      // brackets counted across three texts, in long runs, and broken by other text
      {{E("a", {T("]"), T("]"), T(">")})}, nullptr, "<a>]]&gt;</a>"},
      {{E("a", {T("]"), T("]>]]]]>")})}, nullptr, "<a>]]&gt;]]]]&gt;</a>"},
      {{E("a", {T("a]b]>"), T("]x"), T("]>")})}, nullptr, "<a>a]b]>]x]></a>"},
      {{E("a", {A("x", "]]"), T(">")})}, nullptr, "<a x=\"]]\">></a>"},
      // white space that a parser would normalise comes as references
      {{E("a", {A("x", "1\n2\t3\r4 5")})}, nullptr, "<a x=\"1&#10;2&#9;3&#13;4 5\"/>"},
      {{E("a", {T("1\n2\t3\r4")})}, nullptr, "<a>1\n2\t3&#13;4</a>"},
  });
}

TEST(SerializerTest, LaterAttributeOfTheSameNameReplacesTheEarlier) {
  checkCases({
      {{E("a", {A("x", "1"), A("y", "2"), A("x", "3")})}, nullptr, "<a x=\"3\" y=\"2\"/>"},
      // the expanded name counts, not the prefix (the declaration made for the replaced
      // one stays)
      {{E("a", {A("{urn:p}p:x", "1"), A("x", "2"), A("{urn:p}q:x", "3"), A("{urn:q}p:x", "4")})},
       nullptr,
       "<a xmlns:p=\"urn:p\" xmlns:q=\"urn:p\" xmlns:ns0=\"urn:q\" q:x=\"3\" x=\"2\" "
       "ns0:x=\"4\"/>"},
      // a shorter value after a longer one, then content
      {{E("a", {A("x", "long value"), A("x", "v"), T("t")})}, nullptr, "<a x=\"v\">t</a>"},
      {{E("div", {E("br", {A("c", "1"), A("c", "2")})})}, html, "<div><br c=\"2\"></div>"},
  });
}

TEST(SerializerTest, CommentsAndInstructionsStayWellFormed) {
  RootNode root(nullptr);
  root.appendChild(CommentNode::makeOwned("a--b-"));
  root.appendChild(ProcessingInstructionNode::makeOwned("pi", "x?>y"));
  TextBuffer out;
  Serializer(out).copyNode(&root);
  EXPECT_EQ(out.view(), "<!--a- -b- --><?pi x? >y?>");
}

// A processing instruction and a comment, then the element a.
std::string renderWithProlog(Configure configure) {
  RootNode root(nullptr);
  root.appendChild(ProcessingInstructionNode::makeOwned("pi", "a=\"1\""));
  root.appendChild(CommentNode::makeOwned("c"));
  make(&root, E("a"));
  TextBuffer out;
  {
    Serializer s(out);
    configure(s.settings());
    s.copyNode(&root);
  }
  return std::string(out.view());
}

TEST(SerializerTest, KnownMethodWritesThePrologueBeforeAnything) {
  struct Case {
    Configure configure;
    const char* expected;
  };
  const Case cases[] = {
      // the XML declaration first; the document type names the element, so waits for it
      {[](OutputSettings& s) {
         s.method = OutputMethod::Xml;
         s.doctypeSystem = String("a.dtd");
       },
       "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<?pi a=\"1\"?><!--c--><!DOCTYPE a SYSTEM "
       "\"a.dtd\">\n<a/>"},
      // HTML's document type comes first; its processing instructions end with ">"
      {[](OutputSettings& s) {
         s.method = OutputMethod::Html;
         s.doctypePublic = String("-//P//EN");
       },
       "<!DOCTYPE html PUBLIC \"-//P//EN\">\n<?pi a=\"1\"><!--c--><a></a>"},
      // an undecided method waits for the first element
      {[](OutputSettings&) {},
       "<?pi a=\"1\"?><!--c--><?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a/>"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(renderWithProlog(c.configure), c.expected);
}

TEST(SerializerTest, KnownXmlMethodDeclaresTextOnlyOutput) {
  TextBuffer out;
  {
    Serializer s(out);
    s.settings().method = OutputMethod::Xml;
    s.write("t");
  }
  EXPECT_EQ(out.view(), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\nt");
}

TEST(SerializerTest, HtmlMethod) {
  checkCases({
      {{E("div", {E("br", {A("c", "x")})})}, html, "<div><br c=\"x\"></div>"},
      {{E("BR")}, html, "<BR>"},
      {{E("p")}, html, "<p></p>"},
      {{E("script", {A("src", "a.js")})}, html, "<script src=\"a.js\"></script>"},
      {{E("div", {E("SCRIPT", {T("a<b&&c")}), E("style", {T("p>q")}), T("<")})},
       html,
       "<div>\n<SCRIPT>a<b&&c</SCRIPT><style>p>q</style>&lt;</div>"},
      // attribute values: "<", ">" and "&{" kept, boolean attributes minimised
      {{E("p", {A("title", "a<b>&c&{d}\""), A("x", "&")})},
       html,
       "<p title=\"a<b>&amp;c&{d}&quot;\" x=\"&amp;\"></p>"},
      {{E("option", {A("selected", "SELECTED"), A("value", "value"), A("checked", "no")})},
       html,
       "<option selected value=\"value\" checked></option>"},
      // namespaced elements are not HTML
      {{E("{urn:x}x:br")}, html, "<x:br xmlns:x=\"urn:x\"/>"},
      // unset method becomes html at an html root
      {{E("HTML", {E("br")})}, declaration, "<HTML><br></HTML>"},
      // but not for a namespaced html root
      {{E("{urn:h}html", {E("br")})}, nullptr, "<html xmlns=\"urn:h\"><br xmlns=\"\"/></html>"},
  });
}

TEST(SerializerTest, PrologueAndMethods) {
  checkCases({
      {{E("a")}, declaration, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a/>"},
      // text before the first element precedes the declaration
      {{T("t"), E("a")}, declaration, "t<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a/>"},
      {{E("a")},
       [](OutputSettings& s) {
         s.omitXmlDeclaration = false;
         s.standalone = true;
         s.version = String("1.1");
       },
       "<?xml version=\"1.1\" encoding=\"utf-8\" standalone=\"yes\"?>\n<a/>"},
      {{E("doc", {E("a")})},
       [](OutputSettings& s) {
         s.doctypePublic = String("-//P//EN");
         s.doctypeSystem = String("d.dtd");
       },
       "<!DOCTYPE doc PUBLIC \"-//P//EN\" \"d.dtd\">\n<doc><a/></doc>"},
      {{E("doc")},
       [](OutputSettings& s) { s.doctypeSystem = String("d.dtd"); },
       "<!DOCTYPE doc SYSTEM \"d.dtd\">\n<doc/>"},
      // XML needs the system identifier
      {{E("doc")}, [](OutputSettings& s) { s.doctypePublic = String("-//P//EN"); }, "<doc/>"},
      // HTML may have the public one alone, and names the document type html
      {{E("root")},
       [](OutputSettings& s) {
         s.method = OutputMethod::Html;
         s.doctypePublic = String("-//W3C//DTD HTML 4.0 Transitional");
       },
       "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.0 Transitional\">\n<root></root>"},
      {{E("HTML")},
       [](OutputSettings& s) {
         s.method = OutputMethod::Html;
         s.doctypeSystem = String("h.dtd");
       },
       "<!DOCTYPE html SYSTEM \"h.dtd\">\n<HTML></HTML>"},
      // HTML5's legacy-compatible identifier stands for the document type without one
      {{E("html")},
       [](OutputSettings& s) {
         s.method = OutputMethod::Html;
         s.doctypeSystem = String("about:legacy-compat");
       },
       "<!DOCTYPE html>\n<html></html>"},
      {{E("html")},
       [](OutputSettings& s) {
         s.doctypePublic = String("-//P//EN");
         s.doctypeSystem = String("h.dtd");
       },
       "<!DOCTYPE html PUBLIC \"-//P//EN\" \"h.dtd\">\n<html></html>"},
      {{E("a", {A("x", "1"), T("<&"), E("b", {T("]]>")})})},
       [](OutputSettings& s) {
         s.method = OutputMethod::Text;
         s.omitXmlDeclaration = false;
       },
       "<&]]>"},
  });
}

TEST(SerializerTest, CdataSections) {
  checkCases({
      {{E("a", {E("c", {T("<&")})})}, cdataC, "<a><c><![CDATA[<&]]></c></a>"},
      // only its own text
      {{E("c", {E("d", {T("<")})})}, cdataC, "<c><d>&lt;</d></c>"},
      {{E("c", {T("a]]>b")})}, cdataC, "<c><![CDATA[a]]]]><![CDATA[>b]]></c>"},
      // the key holds the namespace name
      {{E("{urn:p}p:c", {T("x")})},
       [](OutputSettings& s) { s.addCdataSectionElement("urn:p/c"); },
       "<p:c xmlns:p=\"urn:p\"><![CDATA[x]]></p:c>"},
      {{E("c", {T("<")})},
       [](OutputSettings& s) {
         cdataC(s);
         html(s);
       },
       "<c>&lt;</c>"},
  });
}

TEST(SerializerTest, NamespaceDeclarations) {
  checkCases({
      // declared once on the outermost element; the serializer knows no XSLT namespace
      // (the stylesheet marks what its literal result elements leave out)
      {{E("a", {N("xsl", kXslt), N("p", "urn:p"), E("b", {E("c")})})},
       nullptr,
       "<a xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" xmlns:p=\"urn:p\"><b><c/></b></a>"},
      // prefix bound again to another name
      {{E("{urn:1}p:a", {N("p", "urn:1"), E("{urn:2}p:b", {N("p", "urn:2"), E("{urn:2}p:c")})})},
       nullptr,
       "<p:a xmlns:p=\"urn:1\"><p:b xmlns:p=\"urn:2\"><p:c/></p:b></p:a>"},
      {{E("{urn:p}p:a", {E("{urn:p}p:b")})}, nullptr, "<p:a xmlns:p=\"urn:p\"><p:b/></p:a>"},
      // default namespace undone for a child in no namespace
      {{E("{urn:d}a", {E("b")})}, nullptr, "<a xmlns=\"urn:d\"><b xmlns=\"\"/></a>"},
      // copy without prefix borrows the one in scope
      {{E("{urn:p}a", {N("p", "urn:p")})}, nullptr, "<p:a xmlns:p=\"urn:p\"/>"},
      {{E("a", {A("{urn:q}q:x", "1")})}, nullptr, "<a xmlns:q=\"urn:q\" q:x=\"1\"/>"},
      // attribute prefix taken by the element is renamed
      {{E("{urn:1}p:a", {A("{urn:2}p:x", "1")})},
       nullptr,
       "<p:a xmlns:p=\"urn:1\" xmlns:ns0=\"urn:2\" ns0:x=\"1\"/>"},
      // attribute without prefix uses a bound one
      {{E("{urn:p}p:a", {A("{urn:p}x", "1")})}, nullptr, "<p:a xmlns:p=\"urn:p\" p:x=\"1\"/>"},
      {{E("a", {A("{http://www.w3.org/XML/1998/namespace}xml:lang", "en")})},
       nullptr,
       "<a xml:lang=\"en\"/>"},
      // the xml prefix is never declared: not the root's implicit node, nor an explicit one
      {{E("a", {N("xml", "http://www.w3.org/XML/1998/namespace"), E("b")})},
       nullptr,
       "<a><b/></a>"},
  });
}

TEST(SerializerTest, LiteralElementsDeclareTheirTemplatesNamespacesEachTime) {
  // Literal result elements are handed over one by one; their template is not written.
  RootNode stylesheet(nullptr);
  Node* t = make(&stylesheet,
                 E(kXslTemplate, {N("xsl", kXslt), N("p", "urn:p"), E("a"), E("b", {E("c")})}));
  Node* a = t->firstChild();
  Node* b = a->nextSibling();
  // As the stylesheet compiler marks the XSLT namespace for its literal result elements.
  static_cast<NamespaceNode*>(t->firstNamespace())->setExcluded();
  TextBuffer out;
  {
    Serializer s(out);
    s.settings().omitXmlDeclaration = true;
    s.endNode(s.startNode(a));
    std::uint8_t flag = s.startNode(b);
    s.endNode(s.startNode(b->firstChild()));
    s.endNode(flag);
  }
  EXPECT_EQ(out.view(), "<a xmlns:p=\"urn:p\"/><b xmlns:p=\"urn:p\"><c/></b>");
}

TEST(SerializerTest, EventsAndFlags) {
  RootNode root(nullptr);
  Node* a = make(&root, E("a", {E("b")}));
  std::unique_ptr<Node> late(AttributeNode::makeOwned(emptyName(), emptyName(), intern("z"), "1"));
  TextBuffer out;
  {
    Serializer s(out);
    std::uint8_t flagA = s.startNode(a);
    EXPECT_EQ(flagA, 0);
    s.write("x<", 2);
    EXPECT_FALSE(s.setDisableOutputEscaping(true));
    s.write("<y/>");
    EXPECT_TRUE(s.setDisableOutputEscaping(false));
    std::uint8_t flagB = s.startNode(a->firstChild());
    s.endNode(flagB);
    s.endNode(s.startNode(late.get()));  // after content: cannot join the start tag any more
    s.endNode(flagA);
    s.write("\n");
    s.endNode(s.startNode(late.get()));  // no element open: written as it is (XPath mode)
  }
  EXPECT_EQ(out.view(),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a>x&lt;<y/><b/></a>\n z=\"1\"");
}

TEST(SerializerTest, DeepTreeIsCopiedWithoutRecursion) {
  constexpr int kDepth = 100000;
  RootNode root(nullptr);
  std::vector<Node*> chain{&root};
  for (int i = 0; i < kDepth; ++i)
    chain.push_back(make(chain.back(), E("e")));
  make(chain.back(), T("x"));
  std::string expected;
  for (int i = 0; i < kDepth; ++i)
    expected += "<e>";
  expected += "x";
  for (int i = 0; i < kDepth; ++i)
    expected += "</e>";
  TextBuffer out;
  {
    Serializer s(out);
    s.settings().omitXmlDeclaration = true;
    s.copyNode(&root);
  }
  EXPECT_EQ(out.view(), expected);
  // Node destructors free subtrees recursively: take the chain apart from the bottom.
  for (std::size_t i = chain.size() - 1; i > 1; --i) {
    static_cast<ElementNode*>(chain[i - 1])->children().remove(chain[i]);
    delete chain[i];
  }
}

TEST(SerializerTest, StreamGetsThePrologueOnceAcrossRuns) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  {
    Serializer s(file);
    ElementNode a(emptyName(), intern("a"), emptyName(), 1, true);
    for (int run = 0; run < 2; ++run) {
      s.settings() = OutputSettings();  // what each run of a transformation does
      s.endNode(s.startNode(&a));
    }
  }
  std::rewind(file);
  char data[128] = {};
  std::size_t size = std::fread(data, 1, sizeof data - 1, file);
  std::fclose(file);
  EXPECT_EQ(std::string(data, size), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a/><a/>");
}

// Records the size of every piece handed on.
class PieceRecorder : public Output {
 public:
  void write(const char*, std::size_t length) override { pieces.push_back(length); }
  void flush() override {}
  std::vector<std::size_t> pieces;
};

TEST(SerializerTest, BufferIsWrittenInWholePieces) {
  PieceRecorder out;
  {
    Serializer s(out);
    for (int i = 0; i < 9; ++i)
      s.write(std::string(1000, 'a'));
  }
  EXPECT_EQ(out.pieces, (std::vector<std::size_t>{4096, 4096, 808}));
}

TEST(SerializerTest, OutputEncodings) {
  struct Case {
    const char* encoding;
    const char* text;      // UTF-8
    const char* expected;  // bytes
  };
  constexpr Case kCases[] = {
      {"ISO-8859-1", "\xC3\xA9\xE2\x82\xAC", "\xE9&#8364;"},
      // Latin-1 is converted without iconv: its last character, the first beyond it, one
      // of four bytes, ASCII around them; its other names.
      {"ISO-8859-1", "a\xC3\xBF\xC4\x80" "b\xF0\x9F\x98\x80" "c", "a\xFF&#256;b&#128512;c"},
      {"latin1", "\xC2\xA0\xC3\x80", "\xA0\xC0"},
      {"iso_8859-1", "\xC3\xA9", "\xE9"},
      {"ISO-8859-2", "\xC5\x91\xC3\xA9\xE2\x82\xAC", "\xF5\xE9&#8364;"},
      {"us-ascii", "a\xC3\xA9", "a&#233;"},
  };
  for (const Case& c : kCases) {
    RootNode root(nullptr);
    make(&root, E("a", {A("x", c.text), T(c.text)}));
    TextBuffer out;
    {
      Serializer s(out);
      s.settings().omitXmlDeclaration = true;
      s.settings().encoding = String(c.encoding);
      s.copyNode(&root);
    }
    EXPECT_EQ(out.view(), std::string("<a x=\"") + c.expected + "\">" + c.expected + "</a>")
        << c.encoding;
  }
}

TEST(SerializerTest, Utf16HasByteOrderMarkAndDeclaresItsName) {
  std::string out = render({E("a", {T("\xC3\xA9")})}, [](OutputSettings& s) {
    s.encoding = String("UTF-16");
    s.omitXmlDeclaration = false;
  });
  std::string expected = "\xFF\xFE";
  for (char c : std::string("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<a>\xE9</a>")) {
    expected += c;
    expected += '\0';
  }
  EXPECT_EQ(out, expected);
}

TEST(SerializerTest, UnrepresentableCharacterSplitsCdataSection) {
  std::string out = render({E("c", {T("a\xC3\xA9z")})}, [](OutputSettings& s) {
    s.encoding = String("US-ASCII");
    cdataC(s);
  });
  EXPECT_EQ(out, "<c><![CDATA[a]]>&#233;<![CDATA[z]]></c>");
}

TEST(SerializerTest, UnrepresentableNameCharacterIsAnError) {
  TextBuffer out;
  Serializer s(out);
  s.settings().encoding = String("US-ASCII");
  ElementNode e(emptyName(), intern("caf\xC3\xA9"), emptyName(), 7, true);
  try {
    s.startNode(&e);
    FAIL() << "no exception";
  } catch (const StylesheetException& error) {
    EXPECT_STREQ(
        error.message().c_str(),
        "ovra: error: Character U+00E9 of a name cannot be written in output encoding US-ASCII");
  }
}

// indent="yes" and HTML's default indentation, as xsltproc writes them (XSLT 16.1, 16.2
// leave the white space to the processor).
TEST(SerializerTest, Indentation) {
  checkCases({
      // XML: two spaces a level; an element holding text keeps all of its content as it
      // is, the elements in it included.
      {{E("doc", {E("a", {E("b", {T("text")}), E("c"),
                          E("d", {T("mixed "), E("e", {T("in")}), T(" tail")}),
                          E("f", {E("g", {E("h")})})})})},
       indentXml,
       "<doc>\n  <a>\n    <b>text</b>\n    <c/>\n    <d>mixed <e>in</e> tail</d>\n    <f>\n"
       "      <g>\n        <h/>\n      </g>\n    </f>\n  </a>\n</doc>"},
      // Text after element children, white space too, takes back what was indented.
      {{E("r", {E("a", {E("b"), E("c")}), T("tail")})}, indentXml, "<r><a><b/><c/></a>tail</r>"},
      {{E("r", {E("x"), T(" "), E("y")})}, indentXml, "<r><x/> <y/></r>"},
      // HTML: newlines, no spaces: after a start tag followed by two children or more, the
      // first no text; after the end tag of a block element that no text follows; none in
      // inline, unknown or p... elements.
      {{E("html",
          {E("head", {E("title", {T("T")})}),
           E("body", {E("p", {T("a "), E("b", {T("b")})}),
                      E("ul", {E("li", {T("x")}), E("li", {T("y")})}), E("span", {T("s")}),
                      E("div"), E("foo", {E("div"), E("div")}), E("pre", {E("div"), E("div")})})})},
       html,
       "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
       "<title>T</title>\n</head>\n<body>\n<p>a <b>b</b></p>\n<ul>\n<li>x</li>\n<li>y</li>\n"
       "</ul>\n<span>s</span><div></div>\n<foo><div></div>\n<div></div></foo><pre><div></div>"
       "<div></div></pre>\n</body>\n</html>"},
      {{E("html", {E("head"), E("body", {E("div"), E("div")})})},
       htmlNoIndent,
       "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
       "</head><body><div></div><div></div></body></html>"},
  });
}

// HTML: the Content-Type meta heads the head of the html element (and takes the place of
// one the result has), URI attributes %-escape their non-ASCII characters (XSLT 16.2).
TEST(SerializerTest, HtmlMetaAndUriAttributes) {
  checkCases({
      {{E("html", {E("head", {E("meta", {A("http-equiv", "content-type"), A("content", "x")}),
                              E("meta", {A("name", "n")})})})},
       htmlNoIndent,
       "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
       "<meta name=\"n\"></head></html>"},
      // Only the head of the document element html.
      {{E("div", {E("head")}), E("body", {E("head")})},
       htmlNoIndent,
       "<div><head></head></div><body><head></head></body>"},
      {{E("a",
          {A("href", "\xC3\xA9 x.html#\xC3\xBC"), A("name", "\xC3\xA9"), A("title", "\xC3\xA9")}),
        E("img", {A("SRC", "\xE2\x82\xAC")}), E("q", {A("name", "\xC3\xA9")})},
       htmlNoIndent,
       "<a href=\"%C3%A9 x.html#%C3%BC\" name=\"%C3%A9\" title=\"\xC3\xA9\"></a>"
       "<img SRC=\"%E2%82%AC\"><q name=\"\xC3\xA9\"></q>"},
      // An XHTML 1.0 document gets what libxml2's XHTML mode writes for xsltproc: the
      // meta, an id beside a name, lang and xml:lang each beside the other.
      {{E("{http://www.w3.org/1999/xhtml}html",
          {N("", "http://www.w3.org/1999/xhtml"), E("{http://www.w3.org/1999/xhtml}head"),
           E("{http://www.w3.org/1999/xhtml}body",
             {A("lang", "de"), E("{http://www.w3.org/1999/xhtml}a", {A("name", "n")}),
              E("{http://www.w3.org/1999/xhtml}b",
                {A("name", "n"), A("{http://www.w3.org/XML/1998/namespace}lang", "fr")})})})},
       xhtmlDocument,
       "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
       "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\n"
       "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><meta http-equiv=\"Content-Type\" "
       "content=\"text/html; charset=utf-8\"/></head><body lang=\"de\" xml:lang=\"de\">"
       "<a name=\"n\" id=\"n\"/><b name=\"n\" xml:lang=\"fr\" lang=\"fr\"/></body></html>"},
      // Quotes stay in HTML text, not in XML text.
      {{E("p", {T("\"q\" & <")})}, htmlNoIndent, "<p>\"q\" &amp; &lt;</p>"},
      {{E("p", {T("\"q\"")})}, nullptr, "<p>&quot;q&quot;</p>"},
  });
}

// A character the encoding lacks has no reference to stand for it in text output, a
// comment or a processing instruction: an error naming it (XSLT 16.1, 16.3).
TEST(SerializerTest, UnwritableCharactersWithoutReferencesAreErrors) {
  struct Case {
    std::vector<Tree> trees;
    Configure configure;
    const char* message;
  };
  const Case cases[] = {
      {{T("a\xE2\x82\xAC")},
       [](OutputSettings& s) {
         s.encoding = String("us-ascii");
         s.method = OutputMethod::Text;
       },
       "ovra: error: Character U+20AC of text output cannot be written in output encoding "
       "us-ascii"},
      // Content takes a reference.
      {{E("r", {T("\xE2\x82\xAC")})},
       [](OutputSettings& s) { s.encoding = String("us-ascii"); },
       ""},
  };
  for (const Case& c : cases) {
    std::string message;
    try {
      render(c.trees, c.configure);
    } catch (const XSLException& error) {
      message = error.message().c_str();
    }
    EXPECT_EQ(message, c.message);
  }
  for (bool comment : {true, false}) {
    RootNode root(nullptr);
    auto* element = new ElementNode(emptyName(), intern("r"), emptyName(), 1, true);
    root.appendChild(element);
    if (comment)
      element->appendChild(CommentNode::makeOwned("\xC3\xA9"));
    else
      element->appendChild(ProcessingInstructionNode::makeOwned("p", "\xC3\xA9"));
    TextBuffer out;
    Serializer serializer(out);
    serializer.settings().encoding = String("us-ascii");
    std::string message;
    try {
      serializer.copyNode(&root);
    } catch (const OutputException& error) {
      message = error.message().c_str();
    }
    EXPECT_EQ(message, comment ? "ovra: error: Character U+00E9 of a comment cannot be written in "
                                 "output encoding us-ascii"
                               : "ovra: error: Character U+00E9 of a processing instruction cannot "
                                 "be written in output encoding us-ascii");
  }
}

}  // namespace
}  // namespace ovra
