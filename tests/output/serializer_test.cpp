#include "base/exceptions.h"
#include "output/serializer.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "tree/text_buffer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ovra {
namespace {

constexpr const char* kXslt = "http://www.w3.org/1999/XSL/Transform";

// Builds result trees by hand. Names are "prefix:local" or "local".
ElementNode* element(Node* parent, std::string_view qname, std::string_view uri = "") {
  std::size_t colon = qname.find(':');
  std::string_view prefix = colon == std::string_view::npos ? "" : qname.substr(0, colon);
  std::string_view local = colon == std::string_view::npos ? qname : qname.substr(colon + 1);
  auto* node = new ElementNode(intern(uri), intern(local), intern(prefix), 1, true);
  if (parent != nullptr)
    parent->appendChild(node);
  return node;
}

void attribute(Node* owner, std::string_view qname, std::string_view value,
               std::string_view uri = "") {
  std::size_t colon = qname.find(':');
  std::string_view prefix = colon == std::string_view::npos ? "" : qname.substr(0, colon);
  std::string_view local = colon == std::string_view::npos ? qname : qname.substr(colon + 1);
  owner->appendAttribute(
      AttributeNode::makeOwned(intern(uri), intern(prefix), intern(local), value));
}

void declare(Node* owner, std::string_view prefix, std::string_view uri) {
  owner->appendNamespace(new NamespaceNode(intern(prefix), intern(uri)));
}

void text(Node* parent, std::string_view content) {
  parent->appendChild(TextNode::makeOwned(content));
}

// Serializes the tree that build makes under a fresh root, by copyNode of the root.
std::string render(const std::function<void(Node*)>& build,
                   const std::function<void(OutputSettings&)>& configure = {}) {
  RootNode root(nullptr);
  build(&root);
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

struct RenderCase {
  const char* name;
  std::function<void(Node*)> build;
  std::function<void(OutputSettings&)> configure;
  const char* expected;
};

void checkCases(const std::vector<RenderCase>& cases) {
  for (const RenderCase& c : cases)
    EXPECT_EQ(render(c.build, c.configure), c.expected) << c.name;
}

TEST(SerializerTest, MarkupAndEscaping) {
  checkCases({
      {"empty element", [](Node* r) { element(r, "a"); }, {}, "<a/>"},
      {"attribute and text",
       [](Node* r) {
         Node* a = element(r, "a");
         attribute(a, "x", "1");
         text(a, "t");
       },
       {},
       "<a x=\"1\">t</a>"},
      {"text escapes & < \" but not >",
       [](Node* r) { text(element(r, "a"), "a&b<c\"d>e"); },
       {},
       "<a>a&amp;b&lt;c&quot;d>e</a>"},
      {"attribute escapes",
       [](Node* r) { attribute(element(r, "a"), "x", "<&\">]]>"); },
       {},
       "<a x=\"&lt;&amp;&quot;>]]>\"/>"},
      {"]]> in text", [](Node* r) { text(element(r, "a"), "x]]>y]>"); }, {}, "<a>x]]&gt;y]></a>"},
      {"]]> across two text nodes",
       [](Node* r) {
         Node* a = element(r, "a");
         text(a, "x]]");
         text(a, ">");
       },
       {},
       "<a>x]]&gt;</a>"},
      {"markup between brackets and >",
       [](Node* r) {
         Node* a = element(r, "a");
         text(a, "]]");
         element(a, "b");
         text(a, ">");
       },
       {},
       "<a>]]<b/>></a>"},
      {"comment and processing instruction",
       [](Node* r) {
         Node* a = element(r, "a");
         a->appendChild(CommentNode::makeOwned(" c "));
         a->appendChild(ProcessingInstructionNode::makeOwned("pi", "d"));
       },
       {},
       "<a><!-- c --><?pi d?></a>"},
      {"comment and instruction kept well-formed",
       [](Node* r) {
         r->appendChild(CommentNode::makeOwned("a--b-"));
         r->appendChild(ProcessingInstructionNode::makeOwned("pi", "x?>y"));
       },
       {},
       "<!--a- -b- --><?pi x? >y?>"},
  });
}

TEST(SerializerTest, HtmlMethod) {
  checkCases({
      {"void element keeps attributes and has no end tag",
       [](Node* r) { attribute(element(element(r, "div"), "br"), "class", "x"); }, html,
       "<div><br class=\"x\"></div>"},
      {"void element names ignore case", [](Node* r) { element(r, "BR"); }, html, "<BR>"},
      {"empty non-void element gets an end tag", [](Node* r) { element(r, "p"); }, html, "<p></p>"},
      {"empty script with src", [](Node* r) { attribute(element(r, "script"), "src", "a.js"); },
       html, "<script src=\"a.js\"></script>"},
      {"script and style text is raw",
       [](Node* r) {
         Node* d = element(r, "div");
         text(element(d, "SCRIPT"), "a<b&&c");
         text(element(d, "style"), "p>q");
         text(d, "<");
       },
       html, "<div><SCRIPT>a<b&&c</SCRIPT><style>p>q</style>&lt;</div>"},
      {"namespaced elements are not HTML", [](Node* r) { element(r, "x:br", "urn:x"); }, html,
       "<x:br xmlns:x=\"urn:x\"/>"},
      {"unset method becomes html at an html root",
       [](Node* r) { element(element(r, "HTML"), "br"); },
       [](OutputSettings& s) { s.omitXmlDeclaration = false; }, "<HTML><br></HTML>"},
      {"unset method stays xml for a namespaced html root",
       [](Node* r) { element(element(r, "html", "http://www.w3.org/1999/xhtml"), "br"); },
       {},
       "<html xmlns=\"http://www.w3.org/1999/xhtml\"><br xmlns=\"\"/></html>"},
  });
}

TEST(SerializerTest, PrologueAndMethods) {
  auto withDeclaration = [](OutputSettings& s) { s.omitXmlDeclaration = false; };
  checkCases({
      {"default declaration", [](Node* r) { element(r, "a"); }, withDeclaration,
       "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a/>"},
      {"text before the first element precedes the declaration",
       [](Node* r) {
         text(r, "t");
         element(r, "a");
       },
       withDeclaration, "t<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a/>"},
      {"standalone and version", [](Node* r) { element(r, "a"); },
       [](OutputSettings& s) {
         s.omitXmlDeclaration = false;
         s.standalone = true;
         s.version = String("1.1");
       },
       "<?xml version=\"1.1\" encoding=\"utf-8\" standalone=\"yes\"?>\n<a/>"},
      {"public and system identifiers", [](Node* r) { element(element(r, "doc"), "a"); },
       [](OutputSettings& s) {
         s.doctypePublic = String("-//P//EN");
         s.doctypeSystem = String("d.dtd");
       },
       "<!DOCTYPE doc PUBLIC \"-//P//EN\" \"d.dtd\">\n<doc><a/></doc>"},
      {"system identifier only", [](Node* r) { element(r, "doc"); },
       [](OutputSettings& s) { s.doctypeSystem = String("d.dtd"); },
       "<!DOCTYPE doc SYSTEM \"d.dtd\">\n<doc/>"},
      {"public identifier alone gives no doctype", [](Node* r) { element(r, "doc"); },
       [](OutputSettings& s) { s.doctypePublic = String("p"); }, "<doc/>"},
      {"text method writes text only",
       [](Node* r) {
         Node* a = element(r, "a");
         attribute(a, "x", "1");
         text(a, "<&");
         a->appendChild(CommentNode::makeOwned("c"));
         text(element(a, "b"), "]]>");
       },
       [](OutputSettings& s) {
         s.method = OutputMethod::Text;
         s.omitXmlDeclaration = false;
       },
       "<&]]>"},
  });
}

TEST(SerializerTest, CdataSections) {
  auto cdataFor = [](const char* key) {
    return [key](OutputSettings& s) {
      s.method = OutputMethod::Xml;
      s.addCdataSectionElement(key);
    };
  };
  checkCases({
      {"named element", [](Node* r) { text(element(element(r, "a"), "c"), "<&"); }, cdataFor("/c"),
       "<a><c><![CDATA[<&]]></c></a>"},
      {"only its own text", [](Node* r) { text(element(element(r, "c"), "d"), "<"); },
       cdataFor("/c"), "<c><d>&lt;</d></c>"},
      {"key holds the namespace name", [](Node* r) { text(element(r, "p:c", "urn:p"), "x"); },
       cdataFor("urn:p/c"), "<p:c xmlns:p=\"urn:p\"><![CDATA[x]]></p:c>"},
      {"]]> splits the section", [](Node* r) { text(element(r, "c"), "a]]>b"); }, cdataFor("/c"),
       "<c><![CDATA[a]]]]><![CDATA[>b]]></c>"},
      {"decided xml method applies to the first element",
       [](Node* r) { text(element(r, "c"), "x"); },
       [](OutputSettings& s) { s.addCdataSectionElement("/c"); }, "<c><![CDATA[x]]></c>"},
      {"not for html", [](Node* r) { text(element(r, "c"), "<"); },
       [](OutputSettings& s) {
         s.method = OutputMethod::Html;
         s.addCdataSectionElement("/c");
       },
       "<c>&lt;</c>"},
  });
}

TEST(SerializerTest, NamespaceDeclarations) {
  checkCases({
      {"xslt namespace left out, others declared once on the outermost element",
       [](Node* r) {
         Node* a = element(r, "a");
         declare(a, "xsl", kXslt);
         declare(a, "p", "urn:p");
         element(element(a, "b"), "c");
       },
       {},
       "<a xmlns:p=\"urn:p\"><b><c/></b></a>"},
      {"prefix bound again to another name",
       [](Node* r) {
         Node* a = element(r, "p:a", "urn:1");
         declare(a, "p", "urn:1");
         Node* b = element(a, "p:b", "urn:2");
         declare(b, "p", "urn:2");
         element(b, "p:c", "urn:2");
       },
       {},
       "<p:a xmlns:p=\"urn:1\"><p:b xmlns:p=\"urn:2\"><p:c/></p:b></p:a>"},
      {"element without namespace node gets one",
       [](Node* r) { element(element(r, "p:a", "urn:p"), "p:b", "urn:p"); },
       {},
       "<p:a xmlns:p=\"urn:p\"><p:b/></p:a>"},
      {"default namespace undone for a child in no namespace",
       [](Node* r) { element(element(r, "a", "urn:d"), "b"); },
       {},
       "<a xmlns=\"urn:d\"><b xmlns=\"\"/></a>"},
      {"copy without prefix borrows the one in scope",
       [](Node* r) {
         Node* a = element(r, "a", "urn:p");
         declare(a, "p", "urn:p");
       },
       {},
       "<p:a xmlns:p=\"urn:p\"/>"},
      {"attribute in a namespace gets its declaration",
       [](Node* r) { attribute(element(r, "a"), "q:x", "1", "urn:q"); },
       {},
       "<a xmlns:q=\"urn:q\" q:x=\"1\"/>"},
      {"attribute prefix taken by the element is renamed",
       [](Node* r) { attribute(element(r, "p:a", "urn:1"), "p:x", "1", "urn:2"); },
       {},
       "<p:a xmlns:p=\"urn:1\" xmlns:ns0=\"urn:2\" ns0:x=\"1\"/>"},
      {"attribute without prefix uses a bound one",
       [](Node* r) { attribute(element(r, "p:a", "urn:p"), "x", "1", "urn:p"); },
       {},
       "<p:a xmlns:p=\"urn:p\" p:x=\"1\"/>"},
      {"xml prefix never declared",
       [](Node* r) {
         attribute(element(r, "a"), "xml:lang", "en", "http://www.w3.org/XML/1998/namespace");
       },
       {},
       "<a xml:lang=\"en\"/>"},
  });
}

TEST(SerializerTest, LiteralElementsDeclareTheirTemplatesNamespacesEachTime) {
  // Literal result elements are handed over one by one; their template is not written.
  RootNode stylesheet(nullptr);
  Node* t = element(&stylesheet, "xsl:template", kXslt);
  declare(t, "xsl", kXslt);
  declare(t, "p", "urn:p");
  Node* a = element(t, "a");
  Node* b = element(t, "b");
  Node* c = element(b, "c");
  TextBuffer out;
  {
    Serializer s(out);
    s.settings().omitXmlDeclaration = true;
    s.endNode(s.startNode(a));
    std::uint8_t flag = s.startNode(b);
    s.endNode(s.startNode(c));
    s.endNode(flag);
  }
  EXPECT_EQ(out.view(), "<a xmlns:p=\"urn:p\"/><b xmlns:p=\"urn:p\"><c/></b>");
}

TEST(SerializerTest, EventsAndFlags) {
  TextBuffer out;
  {
    Serializer s(out);
    RootNode root(nullptr);
    Node* a = element(&root, "a");
    Node* b = element(a, "b");
    std::uint8_t flagA = s.startNode(a);
    EXPECT_EQ(flagA, 0);
    s.write("x<", 2);
    EXPECT_FALSE(s.setDisableOutputEscaping(true));
    s.write("<y/>");
    EXPECT_TRUE(s.setDisableOutputEscaping(false));
    std::uint8_t flagB = s.startNode(b);
    s.endNode(flagB);
    // An attribute after content cannot join the start tag any more.
    auto* late = AttributeNode::makeOwned(emptyName(), emptyName(), intern("z"), "1");
    s.endNode(s.startNode(late));
    delete late;
    s.endNode(flagA);
    s.write("\n");
  }
  EXPECT_EQ(out.view(), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a>x&lt;<y/><b/></a>\n");
}

TEST(SerializerTest, DeepTreeIsCopiedWithoutRecursion) {
  constexpr int kDepth = 100000;
  RootNode root(nullptr);
  std::vector<ElementNode*> chain;
  Node* parent = &root;
  for (int i = 0; i < kDepth; ++i) {
    chain.push_back(element(parent, "e"));
    parent = chain.back();
  }
  text(parent, "x");
  TextBuffer out;
  {
    Serializer s(out);
    s.settings().omitXmlDeclaration = true;
    s.copyNode(&root);
  }
  std::string expected;
  for (int i = 0; i < kDepth; ++i)
    expected += "<e>";
  expected += "x";
  for (int i = 0; i < kDepth; ++i)
    expected += "</e>";
  EXPECT_EQ(out.view(), expected);
  // Node destructors free subtrees recursively: take the chain apart from the bottom.
  for (std::size_t i = chain.size() - 1; i > 0; --i) {
    chain[i - 1]->children().remove(chain[i]);
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
  void write(const char* text, std::size_t length) override {
    pieces.push_back(length);
    data.append(text, length);
  }
  void flush() override {}
  std::vector<std::size_t> pieces;
  std::string data;
};

TEST(SerializerTest, BufferIsWrittenInWholePieces) {
  PieceRecorder out;
  {
    Serializer s(out);
    std::string chunk(1000, 'a');
    for (int i = 0; i < 9; ++i)
      s.write(chunk);
  }
  EXPECT_EQ(out.pieces, (std::vector<std::size_t>{4096, 4096, 808}));
  EXPECT_EQ(out.data.size(), 9000u);
}

struct EncodingCase {
  const char* encoding;
  const char* text;      // UTF-8
  const char* expected;  // bytes, after the start tag
};

TEST(SerializerTest, OutputEncodings) {
  constexpr EncodingCase kCases[] = {
      {"ISO-8859-1", "\xC3\xA9\xE2\x82\xAC", "\xE9&#8364;"},
      {"us-ascii", "a\xC3\xA9", "a&#233;"},
      {"UTF-8", "\xE2\x82\xAC", "\xE2\x82\xAC"},
      {"utf8", "\xE2\x82\xAC", "\xE2\x82\xAC"},
  };
  for (const EncodingCase& c : kCases) {
    std::string out = render(
        [&](Node* r) {
          Node* a = element(r, "a");
          attribute(a, "x", c.text);
          text(a, c.text);
        },
        [&](OutputSettings& s) { s.encoding = String(c.encoding); });
    EXPECT_EQ(out, std::string("<a x=\"") + c.expected + "\">" + c.expected + "</a>") << c.encoding;
  }
}

TEST(SerializerTest, Utf16HasByteOrderMarkAndDeclaresItsName) {
  std::string out = render([](Node* r) { text(element(r, "a"), "\xC3\xA9"); },
                           [](OutputSettings& s) {
                             s.encoding = String("UTF-16");
                             s.omitXmlDeclaration = false;
                           });
  std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<a>\xE9</a>";
  std::string expected = "\xFF\xFE";
  for (char c : declaration) {
    expected += c;
    expected += '\0';
  }
  EXPECT_EQ(out, expected);
}

TEST(SerializerTest, UnrepresentableCharacterSplitsCdataSection) {
  std::string out = render([](Node* r) { text(element(r, "c"), "a\xC3\xA9z"); },
                           [](OutputSettings& s) {
                             s.encoding = String("US-ASCII");
                             s.addCdataSectionElement("/c");
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
    EXPECT_STREQ(error.message().c_str(),
                 "Character U+00E9 of a name cannot be written in output encoding US-ASCII on "
                 "line 7 in \n");
  }
}

}  // namespace
}  // namespace ovra
