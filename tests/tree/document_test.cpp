#include "base/exceptions.h"
#include "tests/support/collected_warnings.h"
#include "tests/support/scratch_files.h"
#include "tests/support/test_document.h"
#include "tree/document.h"
#include "tree/document_registry.h"
#include "tree/name_pool.h"
#include "tree/node.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>

namespace ovra {
namespace {

namespace fs = std::filesystem;

constexpr const char* kXslt = "http://www.w3.org/1999/XSL/Transform";

// A fresh directory per test, removed afterwards.
class DocumentFileTest : public ScratchDirTest {};

std::string messageOf(Document& document) {
  try {
    document.parseAll();
  } catch (const DocumentParseException& error) {
    return error.message().c_str();
  }
  return "(no error)";
}

// An element whose text content makes the whole document exactly size bytes long.
std::string documentOfSize(std::size_t size) {
  std::string head = "<r>", tail = "</r>";
  return head + std::string(size - head.size() - tail.size(), 'x') + tail;
}

// <r> with count <item> children, about 40 bytes each.
std::string manyItems(int count) {
  std::string text = "<r>\n";
  for (int i = 0; i < count; ++i)
    text += "<item n='" + std::to_string(i) + "'>text " + std::to_string(i) + "</item>\n";
  return text;
}

// ---- Chunks and laziness ----

TEST_F(DocumentFileTest, FirstElementOfALargeFileNeedsOneChunk) {
  std::string path = write("big.xml", manyItems(100000) + "</r>");
  ASSERT_GT(fs::file_size(path), 3000000u);
  Document document(path.c_str(), Document::kSourceBufferSize, false);
  EXPECT_EQ(document.root(), nullptr);
  ASSERT_TRUE(document.parseChunk());
  Node* r = document.root()->firstChild();
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->localName().view(), "r");
  EXPECT_FALSE(r->isComplete());
  EXPECT_EQ(document.chunksParsed(), 1u);

  EXPECT_EQ(r->lastChild()->kind(), NodeKind::Text);  // the line end before </r>
  EXPECT_TRUE(r->isComplete());
  EXPECT_GT(document.chunksParsed(), 40u);
}

TEST_F(DocumentFileTest, MalformedTailFailsOnlyWhenNavigationReachesIt) {
  std::string text = manyItems(10000) + "<broken></r>";
  std::string path = write("tail.xml", "<?xml version='1.0'?>\n" + text);
  Document document(path.c_str(), Document::kSourceBufferSize, false);
  Node* r = nullptr;
  ASSERT_NO_THROW(document.parseChunk());
  ASSERT_NO_THROW(r = document.root()->firstChild());
  EXPECT_EQ(r->firstAttribute(), nullptr);
  ASSERT_NO_THROW(r->firstChild());  // the first item is in the first chunk
  try {
    r->lastChild();
    FAIL() << "the malformed tail was not reported";
  } catch (const DocumentParseException& error) {
    EXPECT_EQ(error.message().view(), path + ":10003:11: error: mismatched tag: expected </broken> "
                                             "(to close <broken> from line 10003), found </r>");
  }
  // What was read before the error stays usable; nothing parses any more.
  EXPECT_TRUE(document.isFinished());
  EXPECT_FALSE(document.parseChunk());
  Node* item = r->firstChild();
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->nextSibling()->stringValue().view(), "text 0");
}

TEST_F(DocumentFileTest, ChunkCountFollowsTheShortReadRule) {
  struct {
    std::size_t size;
    std::size_t chunks;
  } cases[] = {
      {65535, 1},
      {65536, 2},  // one full chunk, then an empty final one
      {65537, 2},
      {131072, 3},
  };
  for (auto c : cases) {
    std::string path = write("sized.xml", documentOfSize(c.size));
    ASSERT_EQ(fs::file_size(path), c.size);
    Document document(path.c_str(), Document::kSourceBufferSize, false);
    document.parseAll();
    EXPECT_EQ(document.chunksParsed(), c.chunks) << c.size;
    EXPECT_EQ(document.root()->firstChild()->stringValue().length(), c.size - 7) << c.size;
  }
}

TEST_F(DocumentFileTest, LastChildOfAHalfReadElementReadsToItsEndTag) {
  std::string trailer = "<!--" + std::string(300000, 'c') + "-->";
  std::string path = write("half.xml", manyItems(5000) + "<last/></r>" + trailer);
  Document document(path.c_str(), Document::kSourceBufferSize, false);
  document.parseChunk();
  Node* r = document.root()->firstChild();
  ASSERT_FALSE(r->isComplete());
  Node* last = r->lastChild();
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->localName().view(), "last");
  EXPECT_TRUE(r->isComplete());
  EXPECT_FALSE(document.isFinished());  // the long comment after </r> is still unread
  EXPECT_EQ(document.root()->lastChild()->kind(), NodeKind::Comment);
  EXPECT_TRUE(document.isFinished());
}

TEST_F(DocumentFileTest, RootFirstChildReadsThroughALongProlog) {
  std::string prolog = "<?xml version='1.0'?>" + std::string(200000, '\n') + "<!DOCTYPE r [" +
                       std::string(100000, ' ') + "]>";
  std::string path = write("prolog.xml", prolog + "<r/>");
  Document document(path.c_str(), Document::kSourceBufferSize, false);
  document.parseChunk();
  Node* first = document.root()->firstChild();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->localName().view(), "r");
  EXPECT_GE(document.chunksParsed(), 5u);
}

// ---- Errors ----

TEST_F(DocumentFileTest, ErrorMessagesAreExact) {
  struct {
    const char* content;
    const char* message;  // after the file name
  } cases[] = {
      {"", ":1:1: error: no element found"},
      {"<r>\n<a>\n</b></r>",
       ":3:3: error: mismatched tag: expected </a> (to close <a> from line 2), found </b>"},
      {"<r>\n<p:a xmlns:p='urn:p'>\n</p:b></r>",
       ":3:3: error: mismatched tag: expected </p:a> (to close <p:a> from line 2), found </p:b>"},
      {"<r/>\n<s/>", ":2:1: error: junk after document element"},
      {"<r>&undefined;</r>", ":1:4: error: undefined entity 'undefined'"},
      {"<r a='1' a='2'/>", ":1:10: error: duplicate attribute"},
      {"<p:r/>", ":1:1: error: unbound prefix"},
      {"<r>\n\n", ":3:1: error: no element found"},
  };
  for (auto c : cases) {
    std::string path = write("bad.xml", c.content);
    Document document(path.c_str(), Document::kSourceBufferSize, false);
    EXPECT_EQ(messageOf(document), path + c.message) << c.content;
    EXPECT_TRUE(document.isFinished());
  }
}

TEST_F(DocumentFileTest, MissingFileAndDirectoryAreReported) {
  std::string missing = (dir_ / "missing.xml").string();
  Document absent(missing.c_str(), Document::kSourceBufferSize, false);
  const std::string notFound =
      "ovra: error: Could not open file, " + missing + ": No such file or directory";
  EXPECT_EQ(messageOf(absent), notFound);
  EXPECT_EQ(absent.root(), nullptr);
  // Asking again reports the same, rather than pretending the document is empty.
  EXPECT_EQ(messageOf(absent), notFound);

  // A directory opens like a file here and fails at the first read.
  Document directory(dir_.c_str(), Document::kSourceBufferSize, false);
  EXPECT_EQ(messageOf(directory),
            "ovra: error: Could not read file, " + dir_.string() + ": Is a directory");
  EXPECT_TRUE(directory.isFinished());
}

TEST_F(DocumentFileTest, ExternalEntitiesOfAnInMemoryDocumentAreNeverFetched) {
  std::string secret = write("secret.txt", "SECRET");
  CollectedWarnings warnings;
  TestDocument doc("<!DOCTYPE r [<!ENTITY e SYSTEM '" + secret + "'>]><r>a&e;b</r>");
  EXPECT_EQ(doc.render(), "<r>\"ab\"</r>");
  EXPECT_EQ(warnings.text(), "external entity not read: " + secret +
                                 ": reading external files is turned off on line 1 in test.xml\n");
}

std::shared_ptr<const LoadSettings> settingsWith(ExternalAccess access) {
  auto settings = std::make_shared<LoadSettings>();
  settings->entityAccess = access;
  return settings;
}

// The document is dir/sub/doc.xml. Its external DTD subset and external entities are read
// from any local file, from files in sub/ or below, or not at all; what is not read is
// said, and so are the references it would have defined.
TEST_F(DocumentFileTest, ExternalDtdAndEntitiesAreReadAsTheAccessSettingAllows) {
  fs::create_directories(dir_ / "sub/dtd");
  write("sub/here.dtd", "<!ENTITY e 'E&#233;'><!ENTITY % more SYSTEM 'dtd/more.dtd'> %more;");
  // relative to the file that refers to it, not to the document
  write("sub/dtd/more.dtd", "<!ENTITY f 'F'><!ENTITY % deeper SYSTEM 'deeper.ent'> %deeper;");
  write("sub/dtd/deeper.ent", "<!ATTLIST r d CDATA 'default'>");
  write("sub/part.xml", "<p>&f;</p>");
  write("outside.dtd", "<!ENTITY e 'OUT'><!ENTITY f 'G'>");
  write("sub/self.dtd", "<!ENTITY % self SYSTEM 'self.dtd'> %self;");
  write("sub/bad.dtd", "<!ENTITY e 'E' <bad");
  write("sub/lacking.dtd", "<!ENTITY e 'E'>");
  std::string folder = (dir_ / "sub").string() + "/";
  std::string outside = (dir_ / "outside.dtd").string();
  std::string doc = folder + "doc.xml";
  constexpr ExternalAccess kAnywhere = ExternalAccess::Anywhere;
  constexpr ExternalAccess kFolder = ExternalAccess::DocumentFolder;
  constexpr ExternalAccess kNothing = ExternalAccess::Nothing;
  struct Case {
    ExternalAccess access;
    std::string doctype;
    std::string expected;  // the rendered tree, or the error message
    std::string warnings;  // as CollectedWarnings writes them, the file left out
  };
  const std::string read = "<r d=\"default\">\"[E\xC3\xA9|F]\"</r>";
  const std::string noNetwork = ": ovra reads no network resources (an XML catalog can map "
                                "it to a local file)";
  const Case cases[] = {
      {kAnywhere, "<!DOCTYPE r SYSTEM 'here.dtd'>", read, ""},
      {kAnywhere, "<!DOCTYPE r SYSTEM '" + folder + "here.dtd'>", read, ""},
      {kAnywhere, "<!DOCTYPE r SYSTEM 'sub/../here.dtd'>", read, ""},
      {kAnywhere, "<!DOCTYPE r SYSTEM 'file://" + folder + "here.dtd'>", read, ""},
      // an external general entity becomes content
      {kAnywhere, "<!DOCTYPE r [<!ENTITY e SYSTEM 'part.xml'><!ENTITY f 'F'>]>",
       "<r>\"[\"<p>\"F\"</p>\"|F]\"</r>", ""},
      // any local file
      {kAnywhere, "<!DOCTYPE r SYSTEM '../outside.dtd'>", "<r>\"[OUT|G]\"</r>", ""},
      {kAnywhere, "<!DOCTYPE r SYSTEM 'file://" + outside + "'>", "<r>\"[OUT|G]\"</r>", ""},
      // never the network, never a missing file, and never silently
      {kAnywhere, "<!DOCTYPE r SYSTEM 'http://localhost/here.dtd'>", "<r>\"[|]\"</r>",
       "DTD not read: http://localhost/here.dtd" + noNetwork +
           " on line 1\n"
           "undefined entity 'e': DTD not read: http://localhost/here.dtd" +
           noNetwork +
           " on line 1\n"
           "undefined entity 'f': DTD not read: http://localhost/here.dtd" +
           noNetwork + " on line 1\n"},
      {kAnywhere, "<!DOCTYPE r SYSTEM 'none.dtd'>", "<r>\"[|]\"</r>",
       "DTD not read: " + folder +
           "none.dtd: No such file or directory on line 1\n"
           "undefined entity 'e': DTD not read: " +
           folder +
           "none.dtd: No such file or directory "
           "on line 1\n"
           "undefined entity 'f': DTD not read: " +
           folder +
           "none.dtd: No such file or directory "
           "on line 1\n"},
      {kAnywhere, "<!DOCTYPE r [<!ENTITY e SYSTEM 'none.ent'><!ENTITY f 'F'>]>", "<r>\"[|F]\"</r>",
       "external entity not read: " + folder + "none.ent: No such file or directory on line 1\n"},
      // a DTD read in full that lacks a declaration: an error
      {kAnywhere, "<!DOCTYPE r SYSTEM 'lacking.dtd'>", doc + ":1:42: error: undefined entity 'f'",
       ""},
      // a standalone document does not read its external subset
      {kAnywhere,
       "<?xml version='1.0' standalone='yes'?><!DOCTYPE r SYSTEM 'here.dtd' [<!ENTITY e 'S'>"
       "<!ENTITY f 'T'>]>",
       "<r>\"[S|T]\"</r>", ""},
      // errors in what is read name the file they are in; endless inclusion too
      {kAnywhere, "<!DOCTYPE r SYSTEM 'self.dtd'>",
       folder + "self.dtd:1:36: error: recursive entity reference", ""},
      {kAnywhere, "<!DOCTYPE r SYSTEM 'bad.dtd'>", folder + "bad.dtd:1:16: error: syntax error",
       ""},
      // only in the folder
      {kFolder, "<!DOCTYPE r SYSTEM 'here.dtd'>", read, ""},
      {kFolder, "<!DOCTYPE r SYSTEM '../outside.dtd'>", "<r>\"[|]\"</r>",
       "undefined entity 'e': DTD not read: " + outside +
           ": outside the folder of the document "
           "on line 1\n"
           "undefined entity 'f': DTD not read: " +
           outside +
           ": outside the folder of the document "
           "on line 1\n"},
      {kFolder, "<!DOCTYPE r [<!ENTITY e SYSTEM '/etc/passwd'><!ENTITY f 'F'>]>", "<r>\"[|F]\"</r>",
       "external entity not read: /etc/passwd: outside the folder of the document on line 1\n"},
      // nothing at all
      {kNothing, "<!DOCTYPE r SYSTEM 'here.dtd'>", "<r>\"[|]\"</r>",
       "undefined entity 'e': DTD not read: " + folder +
           "here.dtd: reading external files is "
           "turned off on line 1\n"
           "undefined entity 'f': DTD not read: " +
           folder +
           "here.dtd: reading external files is "
           "turned off on line 1\n"},
  };
  for (const Case& c : cases) {
    std::string path = write("sub/doc.xml", c.doctype + "<r>[&e;|&f;]</r>");
    CollectedWarnings warnings;
    Document document(path.c_str(), Document::kSourceBufferSize, false);
    document.setSettings(settingsWith(c.access));
    std::string message = messageOf(document);
    if (message == "(no error)")
      EXPECT_EQ(renderTree(document.root()), c.expected) << c.doctype;
    else
      EXPECT_EQ(message, c.expected) << c.doctype;
    std::string reported = warnings.text();
    for (std::size_t at; (at = reported.find(" in " + path + "\n")) != std::string::npos;)
      reported.erase(at, path.size() + 4);
    EXPECT_EQ(reported, c.warnings) << c.doctype;
  }
}

// The loading options of the command line, one row each.
TEST_F(DocumentFileTest, LoadSettingsChangeWhatIsRead) {
  fs::create_directories(dir_ / "elsewhere");
  write("defaults.dtd", "<!ENTITY e 'E'><!ATTLIST r d CDATA 'default'>");
  write("elsewhere/found.dtd", "<!ENTITY e 'found'>");
  struct Case {
    const char* label;
    std::function<void(LoadSettings&)> set;
    bool stylesheet;  // read as a stylesheet
    std::string text;
    std::string expected;  // the rendered tree or the error message
    std::string warnings;  // the file left out
  };
  const Case cases[] = {
      {"defaults", [](LoadSettings&) {}, false,
       "<!DOCTYPE r SYSTEM 'defaults.dtd'><r a='1'>&e;</r>", "<r a=\"1\" d=\"default\">\"E\"</r>",
       ""},
      {"no default attributes", [](LoadSettings& s) { s.defaultAttributes = false; }, false,
       "<!DOCTYPE r SYSTEM 'defaults.dtd'><r a='1'>&e;</r>", "<r a=\"1\">\"E\"</r>", ""},
      {"no external subset", [](LoadSettings& s) { s.readExternalSubset = false; }, false,
       "<!DOCTYPE r SYSTEM 'defaults.dtd' [<!ENTITY f 'F'>]><r>&e;&f;</r>", "<r>\"F\"</r>",
       "undefined entity 'e': DTD not read: reading the external DTD subset is turned off on "
       "line 1\n"},
      {"depth limit", [](LoadSettings& s) { s.maxDepth = 2; }, false, "<r><a><b/></a></r>",
       ":1:7: error: elements nested deeper than 2", ""},
      {"depth within the limit", [](LoadSettings& s) { s.maxDepth = 3; }, false,
       "<r><a><b/></a></r>", "<r><a><b/></a></r>", ""},
      {"forced encoding", [](LoadSettings& s) { s.encoding = "ISO-8859-15"; }, false,
       "<?xml version='1.0' encoding='UTF-8'?><r>\xA4</r>", "<r>\"\xE2\x82\xAC\"</r>", ""},
      // a stylesheet is read in the encoding it declares
      {"forced encoding, stylesheet", [](LoadSettings& s) { s.encoding = "ISO-8859-15"; }, true,
       "<r>\xE2\x82\xAC</r>", "<r>\"\xE2\x82\xAC\"</r>", ""},
      {"search path", [&](LoadSettings& s) { s.searchPath = {(dir_ / "elsewhere").string()}; },
       false, "<!DOCTYPE r SYSTEM 'http://x.org/dtd/found.dtd'><r>&e;</r>", "<r>\"found\"</r>", ""},
      {"stylesheet entities not limited",
       [](LoadSettings& s) { s.entityAccess = ExternalAccess::Nothing; }, true,
       "<!DOCTYPE r SYSTEM 'defaults.dtd'><r>&e;</r>", "<r d=\"default\">\"E\"</r>", ""},
      {"stylesheet entities limited",
       [](LoadSettings& s) { s.stylesheetEntityAccess = ExternalAccess::Nothing; }, true,
       "<!DOCTYPE r SYSTEM 'missing.dtd'><r/>", "<r/>", ""},
  };
  for (const Case& c : cases) {
    std::string path = write("doc.xml", c.text);
    auto settings = std::make_shared<LoadSettings>();
    c.set(*settings);
    CollectedWarnings warnings;
    Document document(path.c_str(), Document::kSourceBufferSize, c.stylesheet);
    document.setSettings(settings);
    std::string message = messageOf(document);
    if (message == "(no error)")
      EXPECT_EQ(renderTree(document.root()), c.expected) << c.label;
    else
      EXPECT_EQ(message, path + c.expected) << c.label;
    std::string reported = warnings.text();
    for (std::size_t at; (at = reported.find(" in " + path + "\n")) != std::string::npos;)
      reported.erase(at, path.size() + 4);
    EXPECT_EQ(reported, c.warnings) << c.label;
  }
}

// What document() opens reads its own entities under the rule for document(), and in the
// encoding it declares.
TEST_F(DocumentFileTest, DocumentsOpenedThroughTheRegistryFollowTheRuleForDocuments) {
  fs::create_directories(dir_ / "sub");
  write("x.dtd", "<!ENTITY x 'X'>");
  write("sub/data.xml", "<?xml version='1.0' encoding='UTF-8'?><!DOCTYPE d SYSTEM '../x.dtd'>"
                        "<d>&x;\xE2\x82\xAC</d>");
  std::string path = write("sub/doc.xml", "<r/>");
  auto settings = std::make_shared<LoadSettings>();
  settings->encoding = "ISO-8859-15";
  settings->documentAccess = ExternalAccess::DocumentFolder;
  Document document(path.c_str(), Document::kSourceBufferSize, false);
  document.setSettings(settings);
  document.parseAll();
  CollectedWarnings warnings;
  DocumentRegistry registry;
  String reason;
  Document* data = registry.load("data.xml", document, reason);
  ASSERT_NE(data, nullptr) << reason.c_str();
  EXPECT_EQ(renderTree(data->root()), "<d>\"\xE2\x82\xAC\"</d>");
  EXPECT_NE(
      warnings.text().find("undefined entity 'x': DTD not read: " + (dir_ / "x.dtd").string() +
                           ": outside the folder of the document"),
      std::string::npos)
      << warnings.text();
  try {
    registry.load("../x.dtd", document, reason);
    FAIL() << "no error";
  } catch (const DocumentParseException& error) {
    EXPECT_EQ(error.text().view(),
              (dir_ / "x.dtd").string() + ": outside the folder of the document");
  }
}

TEST(DocumentTest, EntityExpansionBombIsRefused) {
  std::string text = "<!DOCTYPE r [<!ENTITY a0 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx'>";
  for (int i = 1; i <= 10; ++i) {
    std::string previous = "&a" + std::to_string(i - 1) + ";";
    text += "<!ENTITY a" + std::to_string(i) + " '";
    for (int j = 0; j < 10; ++j)
      text += previous;
    text += "'>";
  }
  text += "]><r>&a10;</r>";
  auto document = Document::fromText(text, "bomb.xml", Document::kSourceBufferSize, false);
  EXPECT_THROW(document->parseAll(), DocumentParseException);
}

// ---- Text ----

TEST(DocumentTest, CharacterDataAroundReferencesIsOneTextNode) {
  const char* text = "<r>a&amp;b&#65;c<![CDATA[<d>]]>e&lt;</r>";
  for (std::size_t buffer : {1, 2, 7, 65536}) {
    TestDocument doc(text, buffer);
    EXPECT_EQ(doc.render(), "<r>\"a&bAc<d>e<\"</r>") << buffer;
  }
}

// xml:space stays an attribute while it steers stripping.
#define XML_SPACE "xml:space{http://www.w3.org/XML/1998/namespace}"

TEST(DocumentTest, ReadBufferSizeDoesNotChangeTheTree) {
  std::string text = "<?xml version='1.0'?>\n<!DOCTYPE r [<!-- dtd comment --><?dtd pi?>]>\n"
                     "<!-- c1 --><?pi one two?>\n"
                     "<r xmlns='urn:d' xmlns:p='urn:p' a='1' p:b='&lt;2&gt;'>\n"
                     "  <p:e xml:space='preserve'> <x/> </p:e>text&amp;more<![CDATA[ & ]]>\n"
                     "  <f xmlns='' xmlns:q='urn:p' q:g='3'><q:h/><!--in--><?x y?></f>\n"
                     "  <long>" +
                     std::string(300, 'z') +
                     "</long>\n"
                     "</r>\n<!-- after -->";
  for (bool strip : {false, true}) {
    std::string expected = TestDocument(text, 65536, strip).render();
    for (std::size_t buffer : {1, 2, 7, 4096}) {
      TestDocument doc(text, buffer, strip);
      EXPECT_EQ(doc.render(), expected) << "buffer " << buffer << " strip " << strip;
    }
  }
  EXPECT_EQ(TestDocument(text).render(),
            "<!-- c1 --><?pi one two?>"
            "<r{urn:d} xmlns=\"urn:d\" xmlns:p=\"urn:p\" a=\"1\" p:b{urn:p}=\"<2>\">\"\n  \""
            "<p:e{urn:p} " XML_SPACE "=\"preserve\">\" \"<x{urn:d}/>\" \"</p:e>\"text&more & \n  \""
            "<f xmlns=\"\" xmlns:q=\"urn:p\" q:g{urn:p}=\"3\"><q:h{urn:p}/><!--in--><?x y?></f>"
            "\"\n  \"<long{urn:d}>\"" +
                std::string(300, 'z') + "\"</long>\"\n\"</r><!-- after -->");
}

struct RenderCase {
  const char* text;
  const char* expected;
};

// With the strip flag on (stylesheets), stripping in every element but those named keep.
constexpr RenderCase kStylesheetStripCases[] = {
    {"<r> <a> </a>\n<b>x </b> </r>", "<r><a/><b>\"x \"</b></r>"},
    // keep keeps its whitespace; its siblings lose theirs.
    {"<s> <keep> </keep> </s>", "<s><keep>\" \"</keep></s>"},
    // preserve reaches all descendants; an inner default switches stripping back on.
    {"<r> <p xml:space='preserve'> <c> </c> <d xml:space='default'> <e> </e> </d> </p> </r>",
     "<r><p " XML_SPACE "=\"preserve\">\" \"<c>\" \"</c>\" \"<d " XML_SPACE
     "=\"default\"><e/></d>\" \"</p></r>"},
    // After the preserving element ends, stripping is on again.
    {"<r><p xml:space='preserve'> </p> <q> </q></r>",
     "<r><p " XML_SPACE "=\"preserve\">\" \"</p><q/></r>"},
    // Values other than the two keywords change nothing.
    {"<r xml:space='keep'> <a xml:space='default'> </a></r>",
     "<r " XML_SPACE "=\"keep\"><a " XML_SPACE "=\"default\"/></r>"},
    // Comments and processing instructions are no part of a stylesheet: the text around
    // them is one node, whitespace-only only when all of it is.
    {"<r> <!--c--> x <?p d?> </r>", "<r>\"  x  \"</r>"},
    {"<r> <!--c--> <?p d?>\n<a/></r>", "<r><a/></r>"},
};

// With the strip flag off (source documents) and no stripping rules nothing is stripped,
// xml:space="default" or not (XSLT 1.0 section 3.4).
constexpr RenderCase kSourceStripCases[] = {
    {"<r> <a> </a> </r>", "<r>\" \"<a>\" \"</a>\" \"</r>"},
    {"<r> <a xml:space='default'> <b> </b> <c xml:space='preserve'> </c> </a> </r>",
     "<r>\" \"<a " XML_SPACE "=\"default\">\" \"<b>\" \"</b>\" \"<c " XML_SPACE
     "=\"preserve\">\" \"</c>\" \"</a>\" \"</r>"},
    {"<r xml:space='preserve'> </r>", "<r " XML_SPACE "=\"preserve\">\" \"</r>"},
    {"<r xmlns:x='http://www.w3.org/1999/XSL/Transform' xml:space='default'> <x:text> </x:text> "
     "<a> </a></r>",
     "<r xmlns:x=\"http://www.w3.org/1999/XSL/Transform\" " XML_SPACE "=\"default\">\" \""
     "<x:text{http://www.w3.org/1999/XSL/Transform}>\" \"</x:text>\" \"<a>\" \"</a></r>"},
};

TEST(DocumentTest, SourceModeKeepsAllWhitespaceWithoutRules) {
  for (const RenderCase& c : kSourceStripCases)
    EXPECT_EQ(TestDocument(c.text, 65536, false).render(), c.expected) << c.text;
}

// Strips in the elements whose local names start with "s".
class StripS : public WhitespaceStripping {
 public:
  bool strips(StringRef, StringRef localName) const override {
    return localName.view().starts_with("s");
  }
};

// Rules decide by the parent of each text; xml:space="preserve" in scope overrides them,
// xml:space="default" ends that again; text with other characters always stays.
constexpr RenderCase kRuleStripCases[] = {
    {"<s> <a> </a> <s2> x </s2></s>", "<s><a>\" \"</a><s2>\" x \"</s2></s>"},
    {"<s xml:space='preserve'> <s> </s><a xml:space='default'> <s> </s></a></s>",
     "<s " XML_SPACE "=\"preserve\">\" \"<s>\" \"</s><a " XML_SPACE
     "=\"default\">\" \"<s/></a></s>"},
    {"<a> <s>\n\t</s> </a>", "<a>\" \"<s/>\" \"</a>"},
};

TEST(DocumentTest, SourceModeStripsByRulesWhileBuilding) {
  StripS rules;
  for (const RenderCase& c : kRuleStripCases) {
    for (std::size_t buffer : {3, 65536}) {
      std::unique_ptr<Document> document = Document::fromText(c.text, "t.xml", buffer, false);
      document->setStripping(&rules);
      document->parseChunk();
      EXPECT_EQ(renderTree(document->root()), c.expected) << c.text << " buffer " << buffer;
    }
  }
}

// Strips everywhere but in the elements named keep.
class StripAllButKeep : public WhitespaceStripping {
 public:
  bool strips(StringRef, StringRef localName) const override {
    return localName.view() != "keep";
  }
};

TEST(DocumentTest, StylesheetModeStripsWhitespaceOutsidePreservingScopes) {
  StripAllButKeep rules;
  for (const RenderCase& c : kStylesheetStripCases) {
    for (std::size_t buffer : {3, 65536}) {
      std::unique_ptr<Document> document = Document::fromText(c.text, "s.xsl", buffer, true);
      document->setStripping(&rules);
      document->parseChunk();
      EXPECT_EQ(renderTree(document->root()), c.expected) << c.text << " buffer " << buffer;
    }
  }
}

// ---- Namespaces ----

constexpr RenderCase kPrefixCases[] = {
    {"<p:a xmlns:p='u'><p:b p:x='1' y='2'/></p:a>",
     "<p:a{u} xmlns:p=\"u\"><p:b{u} p:x{u}=\"1\" y=\"2\"/></p:a>"},
    {"<a xmlns='u'><b/></a>", "<a{u} xmlns=\"u\"><b{u}/></a>"},
    // Two prefixes for one namespace: the first declaration found, innermost first.
    {"<a xmlns:p='u' xmlns:q='u'><q:b/></a>", "<a xmlns:p=\"u\" xmlns:q=\"u\"><p:b{u}/></a>"},
    {"<p:a xmlns:p='u'><q:b xmlns:q='u'/></p:a>",
     "<p:a{u} xmlns:p=\"u\"><q:b{u} xmlns:q=\"u\"/></p:a>"},
    // An attribute never takes the default declaration.
    {"<a xmlns='u' xmlns:p='u' p:x='1'/>", "<a{u} xmlns=\"u\" xmlns:p=\"u\" p:x{u}=\"1\"/>"},
    // A prefix bound again further in no longer names the outer namespace.
    {"<a xmlns:p='u' xmlns:q='u'><q:b xmlns:p='v'/></a>",
     "<a xmlns:p=\"u\" xmlns:q=\"u\"><q:b{u} xmlns:p=\"v\"/></a>"},
    // Declarations leave the scope at their element's end tag.
    {"<r xmlns:q='u'><a xmlns:p='u'/><q:b/></r>",
     "<r xmlns:q=\"u\"><a xmlns:p=\"u\"/><q:b{u}/></r>"},
    {"<a xml:lang='en'/>", "<a xml:lang{http://www.w3.org/XML/1998/namespace}=\"en\"/>"},
    {"<p:a xmlns:p='mailto:me@example.org'/>",
     "<p:a{mailto:me@example.org} xmlns:p=\"mailto:me@example.org\"/>"},
    {"<a xmlns='u'><b xmlns=''/></a>", "<a{u} xmlns=\"u\"><b xmlns=\"\"/></a>"},
};

TEST(DocumentTest, PrefixesAreRestoredFromInScopeDeclarations) {
  for (const RenderCase& c : kPrefixCases)
    EXPECT_EQ(TestDocument(c.text).render(), c.expected) << c.text;
}

TEST(DocumentTest, SerialsFollowDocumentOrder) {
  TestDocument doc("<r xmlns:p='u' xmlns:q='v' a='1' b='2'><c/></r>");
  Node* r = doc.root()->firstChild();
  Node* p = r->firstNamespace();
  Node* q = p->rawNextSibling();
  Node* a = r->firstAttribute();
  Node* b = a->rawNextSibling();
  Node* c = r->firstChild();
  EXPECT_LT(doc.root()->serial(), p->serial());
  EXPECT_LT(p->serial(), q->serial());
  EXPECT_LT(q->serial(), r->serial());
  EXPECT_LT(r->serial(), a->serial());
  EXPECT_LT(a->serial(), b->serial());
  EXPECT_LT(b->serial(), c->serial());
  EXPECT_EQ(p->parent(), r);
  EXPECT_EQ(a->parent(), r);
}

// ---- Names, lines, depth ----

TEST(DocumentTest, NameFiltersNeverRuleOutAPresentName) {
  // Eighty names, so several share a bit; every name below an element must be covered.
  std::string text = "<root>";
  for (int i = 0; i < 80; ++i)
    text += "<n" + std::to_string(i) + " a" + std::to_string(i) + "='v'>";
  text += "<x:leaf xmlns:x='urn:leaf'/>";
  for (int i = 79; i >= 0; --i)
    text += "</n" + std::to_string(i) + ">";
  text += "</root>";
  TestDocument doc(text, 5);
  std::vector<Node*> path;  // every element from root down, outermost first
  for (Node* node = doc.root()->firstChild(); node != nullptr; node = node->firstChild())
    path.push_back(node);
  ASSERT_EQ(path.size(), 82u);
  for (std::size_t i = 0; i < path.size(); ++i) {
    NameMask filter = path[i]->nameFilter();
    for (std::size_t j = i; j < path.size(); ++j) {
      EXPECT_NE(filter & path[j]->localName().bit(), 0u) << i << " " << j;
      if (Node* attribute = path[j]->firstAttribute()) {
        EXPECT_NE(filter & attribute->localName().bit(), 0u) << i << " " << j;
      }
    }
    EXPECT_NE(filter & intern("x").bit(), 0u) << "namespace prefix below " << i;
  }
  EXPECT_EQ(doc.root()->nameFilter(), kAllNames);
}

TEST(DocumentTest, LineNumbersComeFromStartTags) {
  TestDocument doc("<r>\n<a\n x='1'>t</a>\n\n<b/></r>");
  Node* a = doc.element("a");
  EXPECT_EQ(doc.root()->firstChild()->lineNumber(), 1);
  EXPECT_EQ(a->lineNumber(), 2);
  EXPECT_EQ(a->firstAttribute()->lineNumber(), 2);
  EXPECT_EQ(a->firstChild()->lineNumber(), 2);
  EXPECT_EQ(doc.element("b")->lineNumber(), 5);
  EXPECT_EQ(doc.root()->lineNumber(), 0);
}

TEST(DocumentTest, DeeplyNestedDocumentLoadsAndNavigates) {
  constexpr int kDepth = 100000;
  std::string text;
  for (int i = 0; i < kDepth; ++i)
    text += "<d xmlns:p='u'>";
  text += "bottom";
  for (int i = 0; i < kDepth; ++i)
    text += "</d>";
  TestDocument doc(text, 4096);
  Node* node = doc.root()->firstChild();
  int depth = 0;
  while (node->kind() == NodeKind::Element) {
    ++depth;
    node = node->lastChild();
  }
  EXPECT_EQ(depth, kDepth);
  EXPECT_EQ(node->stringValue().view(), "bottom");
  EXPECT_EQ(doc.root()->stringValue().view(), "bottom");
  EXPECT_EQ(doc.root()->deepStringValue().length(), kDepth * 1 + 6);
  EXPECT_EQ(doc.render().size(), kDepth * (std::string("<d xmlns:p=\"u\">").size() + 4) + 8);
}

TEST(DocumentTest, LargeTextArrivesWhole) {
  std::string content;
  for (int i = 0; i < 100000; ++i)
    content += "0123456789&amp;";
  TestDocument doc("<r>" + content + "</r>", 4096);
  Node* text = doc.root()->firstChild()->firstChild();
  EXPECT_EQ(text->rawNextSibling(), nullptr);
  EXPECT_EQ(text->stringValue().length(), 100000u * 11);
}

}  // namespace
}  // namespace ovra
