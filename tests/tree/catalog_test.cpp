#include "base/exceptions.h"
#include "tests/support/collected_warnings.h"
#include "tests/support/scratch_files.h"
#include "tests/support/test_document.h"
#include "tree/catalog.h"
#include "tree/document.h"
#include "tree/document_registry.h"
#include "tree/node.h"
#include "tree/resources.h"
#include "tree/uri.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace ovra {
namespace {

namespace fs = std::filesystem;

constexpr const char* kOpen = "<catalog xmlns='urn:oasis:names:tc:entity:xmlns:xml:catalog'";

class CatalogTest : public ScratchDirTest {
 protected:
  std::string uriOf(const std::string& name) const { return fileURI((dir_ / name).string()); }

  // A catalog of every entry kind, a delegate catalog and a chain of two next catalogs.
  void writeCatalogs() {
    write(
        "main.xml",
        std::string("<?xml version='1.0'?>\n"
                    "<!DOCTYPE catalog PUBLIC '-//OASIS//DTD XML Catalogs V1.0//EN' "
                    "'http://www.oasis-open.org/committees/entity/release/1.0/catalog.dtd'>\n") +
            kOpen +
            " prefer='public'>"
            "<public publicId='-//T//DTD Pub//EN' uri='pub.dtd'/>"
            "<system systemId='http://e.org/sys.dtd' uri='sys.dtd'/>"
            "<rewriteSystem systemIdStartString='http://e.org/rw/' rewritePrefix='rw/'/>"
            "<rewriteSystem systemIdStartString='http://e.org/rw/deeper/' rewritePrefix='deep/'/>"
            "<systemSuffix systemIdSuffix='/suffix.dtd' uri='suffix.dtd'/>"
            "<uri name='http://e.org/a.xsl' uri='a.xsl'/>"
            "<rewriteURI uriStartString='http://e.org/xsl/' rewritePrefix='xsl/'/>"
            "<uriSuffix uriSuffix='/end.xsl' uri='end.xsl'/>"
            "<group xml:base='grouped/' prefer='system'>"
            "<public publicId='-//T//DTD Grouped//EN' uri='g.dtd'/>"
            "<system systemId='http://e.org/g.dtd' uri='g2.dtd'/>"
            "</group>"
            "<system systemId='http://e.org/based.dtd' uri='b.dtd' xml:base='http://mirror.org/'/>"
            "<other:system xmlns:other='urn:x' systemId='http://e.org/other.dtd' uri='no.dtd'/>"
            "<delegatePublic publicIdStartString='-//D//' catalog='sub/delegate.xml'/>"
            "<delegateSystem systemIdStartString='http://d.org/' catalog='sub/delegate.xml'/>"
            "<delegateURI uriStartString='http://d.org/' catalog='sub/delegate.xml'/>"
            "<nextCatalog catalog='next.xml'/>"
            "</catalog>");
    write("sub/delegate.xml", std::string(kOpen) +
                                  "><public publicId='-//D//DTD X//EN' uri='d.dtd'/>"
                                  "<system systemId='http://d.org/x.dtd' uri='dx.dtd'/>"
                                  "<uri name='http://d.org/x.xsl' uri='dx.xsl'/></catalog>");
    write("next.xml", std::string(kOpen) +
                          "><system systemId='http://n.org/n.dtd' uri='n.dtd'/>"
                          "<public publicId='-//D//DTD Other//EN' uri='never.dtd'/>"
                          "<nextCatalog catalog='missing.xml'/><nextCatalog catalog='next2.xml'/>"
                          "</catalog>");
    write("next2.xml",
          std::string(kOpen) + "><uri name='http://n.org/n2.xsl' uri='n2.xsl'/></catalog>");
  }
};

TEST_F(CatalogTest, EveryEntryKindResolves) {
  writeCatalogs();
  CatalogSet catalogs({(dir_ / "main.xml").string()});
  struct Case {
    const char* publicId;
    const char* systemId;  // or the URI, for a URI lookup
    bool isURI;
    std::string expected;  // empty: not mapped
  };
  const Case cases[] = {
      {"-//T//DTD Pub//EN", "", false, uriOf("pub.dtd")},
      {"  -//T//DTD \n Pub//EN ", "", false, uriOf("pub.dtd")},  // white space normalized
      // prefer="public": the public entry serves although a system identifier is given
      {"-//T//DTD Pub//EN", "http://other.org/x.dtd", false, uriOf("pub.dtd")},
      // system entries come first
      {"-//T//DTD Pub//EN", "http://e.org/sys.dtd", false, uriOf("sys.dtd")},
      {"", "http://e.org/rw/a/b.dtd", false, uriOf("rw/a/b.dtd")},
      {"", "http://e.org/rw/deeper/c.dtd", false, uriOf("deep/c.dtd")},  // the longest prefix
      {"", "http://x.org/any/suffix.dtd", false, uriOf("suffix.dtd")},
      // a group's base and preference
      {"-//T//DTD Grouped//EN", "", false, uriOf("grouped/g.dtd")},
      {"-//T//DTD Grouped//EN", "http://other.org/y.dtd", false, ""},
      {"", "http://e.org/g.dtd", false, uriOf("grouped/g2.dtd")},
      {"", "http://e.org/based.dtd", false, "http://mirror.org/b.dtd"},
      // elements of other namespaces are no entries
      {"", "http://e.org/other.dtd", false, ""},
      // delegation: only the delegate catalogs are asked, then resolution ends
      {"-//D//DTD X//EN", "", false, uriOf("sub/d.dtd")},
      {"-//D//DTD Other//EN", "", false, ""},
      {"", "http://d.org/x.dtd", false, uriOf("sub/dx.dtd")},
      // the next catalogs, in order, a missing one skipped
      {"", "http://n.org/n.dtd", false, uriOf("n.dtd")},
      // a public identifier wrapped in a URN, as either identifier
      {"", "urn:publicid:-:T:DTD+Pub:EN", false, uriOf("pub.dtd")},
      {"urn:publicid:-:T:DTD+Pub:EN", "", false, uriOf("pub.dtd")},
      {"", "http://nothing.org/x.dtd", false, ""},
      // URIs
      {"", "http://e.org/a.xsl", true, uriOf("a.xsl")},
      {"", "http://e.org/xsl/html/docbook.xsl", true, uriOf("xsl/html/docbook.xsl")},
      {"", "http://z.org/q/end.xsl", true, uriOf("end.xsl")},
      {"", "http://d.org/x.xsl", true, uriOf("sub/dx.xsl")},
      {"", "http://d.org/y.xsl", true, ""},
      {"", "http://n.org/n2.xsl", true, uriOf("n2.xsl")},
      {"", "urn:publicid:-:T:DTD+Pub:EN", true, uriOf("pub.dtd")},
      {"", "http://e.org/sys.dtd", true, ""},  // system entries are not URI entries
  };
  for (const Case& c : cases) {
    std::string mapped = c.isURI ? catalogs.resolveURI(c.systemId)
                                 : catalogs.resolveExternalId(c.publicId, c.systemId);
    EXPECT_EQ(mapped, c.expected) << "'" << c.publicId << "' '" << c.systemId << "'";
  }
}

TEST_F(CatalogTest, CatalogsThatReferToEachOtherInACircleAreAnError) {
  write("loop1.xml", std::string(kOpen) + "><nextCatalog catalog='loop2.xml'/></catalog>");
  write("loop2.xml", std::string(kOpen) + "><delegateURI uriStartString='http://' "
                                          "catalog='loop1.xml'/></catalog>");
  CatalogSet catalogs({(dir_ / "loop1.xml").string()});
  std::string expected = "XML catalogs refer to each other in a circle: " + uriOf("loop1.xml") +
                         " -> " + uriOf("loop2.xml") + " -> " + uriOf("loop1.xml");
  for (int attempt = 0; attempt < 2; ++attempt) {  // the same once the files are read
    try {
      catalogs.resolveURI("http://x.org/a.xsl");
      FAIL() << "no error";
    } catch (const DocumentParseException& error) {
      EXPECT_EQ(error.text().view(), expected);
    }
  }
  // Not a circle: both files reached by two paths.
  write("diamond.xml", std::string(kOpen) + "><nextCatalog catalog='next2.xml'/>"
                                            "<nextCatalog catalog='next2.xml'/></catalog>");
  write("next2.xml", std::string(kOpen) + "></catalog>");
  EXPECT_EQ(CatalogSet({(dir_ / "diamond.xml").string()}).resolveURI("http://a.org/"), "");
}

TEST_F(CatalogTest, FilesThatAreNoCatalogsAreSkippedWithAWarning) {
  write("plain.xml", "<catalog/>");
  write("broken.xml", std::string(kOpen) + "><uri");
  write("good.xml", std::string(kOpen) + "><uri name='http://a.org/' uri='a.xsl'/></catalog>");
  CollectedWarnings warnings;
  CatalogSet catalogs({(dir_ / "missing.xml").string(), (dir_ / "plain.xml").string(),
                       (dir_ / "broken.xml").string(), uriOf("good.xml")});
  EXPECT_EQ(catalogs.resolveURI("http://a.org/"), uriOf("a.xsl"));
  std::string plain = (dir_ / "plain.xml").string(), broken = (dir_ / "broken.xml").string();
  EXPECT_EQ(warnings.text(), "not an XML catalog, ignored on line 0 in " + plain +
                                 "\nXML catalog ignored: unclosed token on line 1 in " + broken +
                                 "\n");
}

TEST(CatalogFilesTest, DefaultFilesComeFromTheEnvironment) {
  const char* saved = std::getenv("XML_CATALOG_FILES");
  std::string restore = saved ? saved : "";
  ::setenv("XML_CATALOG_FILES", "  /a/one.xml file:///b/two.xml\t/c ", 1);
  EXPECT_EQ(CatalogSet::defaultFiles(),
            (std::vector<std::string>{"/a/one.xml", "file:///b/two.xml", "/c"}));
  ::unsetenv("XML_CATALOG_FILES");
  EXPECT_EQ(CatalogSet::defaultFiles(), std::vector<std::string>{"/etc/xml/catalog"});
  if (saved)
    ::setenv("XML_CATALOG_FILES", restore.c_str(), 1);
}

// Documents find their DTDs, and document() its files, through the catalogs; what no
// catalog maps is never fetched.
TEST_F(CatalogTest, DocumentsReadWhatTheCatalogsMap) {
  write("dtd/book.dtd", "<!ENTITY nbsp '&#160;'><!ENTITY % more SYSTEM 'more.ent'> %more;");
  write("dtd/more.ent", "<!ATTLIST book lang CDATA 'en'>");
  write("data/other.xml", "<other/>");
  write("cat.xml", std::string(kOpen) +
                       "><public publicId='-//T//DTD Book//EN' uri='dtd/book.dtd'/>"
                       "<rewriteURI uriStartString='http://data.org/' rewritePrefix='data/'/>"
                       "</catalog>");
  auto settings = std::make_shared<LoadSettings>();
  settings->catalogs = std::make_shared<CatalogSet>(std::vector<std::string>{uriOf("cat.xml")});
  write("doc/book.xml", "<!DOCTYPE book PUBLIC '-//T//DTD Book//EN' "
                        "'http://www.t.org/book.dtd'><book>a&nbsp;b</book>");
  Document document((dir_ / "doc/book.xml").c_str(), Document::kSourceBufferSize, false);
  document.setSettings(settings);
  document.parseAll();
  EXPECT_EQ(renderTree(document.root()), "<book lang=\"en\">\"a\xC2\xA0"
                                         "b\"</book>");
  DocumentRegistry registry;
  String reason;
  Document* other = registry.load("http://data.org/other.xml", document, reason);
  ASSERT_NE(other, nullptr) << reason.c_str();
  EXPECT_EQ(renderTree(other->root()), "<other/>");
  EXPECT_EQ(registry.load("http://elsewhere.org/x.xml", document, reason), nullptr);
  EXPECT_EQ(reason.view(), "http://elsewhere.org/x.xml: ovra reads no network resources (an XML "
                           "catalog can map it to a local file)");
  // A document named by a URI, its DTD relative to that URI.
  write("data/named.xml", "<!DOCTYPE n SYSTEM 'named.dtd'><n>&e;</n>");
  write("data/named.dtd", "<!ENTITY e 'from the DTD'>");
  Document named("http://data.org/named.xml", Document::kSourceBufferSize, false);
  named.setSettings(settings);
  named.parseAll();
  EXPECT_EQ(renderTree(named.root()), "<n>\"from the DTD\"</n>");
  // and what document() opens from it
  write("data/more.xml", "<more/>");
  Document* more = registry.load("more.xml", named, reason);
  ASSERT_NE(more, nullptr) << reason.c_str();
  EXPECT_EQ(renderTree(more->root()), "<more/>");
}

TEST(UriTest, ReferencesResolveAgainstTheirBase) {
  struct Case {
    const char* base;
    const char* reference;
    const char* expected;
  };
  constexpr Case cases[] = {
      {"/a/b/c.xml", "d.dtd", "/a/b/d.dtd"},
      {"/a/b/c.xml", "../d.dtd", "/a/d.dtd"},
      {"/a/b/c.xml", "./x/../d.dtd", "/a/b/d.dtd"},
      {"/a/b/c.xml", "/abs.dtd", "/abs.dtd"},
      {"/a/b/c.xml", "http://h.org/x", "http://h.org/x"},
      {"file:///a/b/c.xml", "d.dtd", "file:///a/b/d.dtd"},
      {"file:///a/b/c.xml", "../../../d.dtd", "file:///d.dtd"},
      {"http://h.org/x/y.xsl", "../z.xsl", "http://h.org/z.xsl"},
      {"http://h.org", "z.xsl", "http://h.org/z.xsl"},
      {"http://h.org/x/y.xsl", "//g.org/z", "http://g.org/z"},
      {"/a/b/", "c/", "/a/b/c/"},
      {"/a/b/c.xml", "..", "/a/"},
      {"/a/b/c.xml", "file:d/e.xsl", "/a/b/d/e.xsl"},
      {"file:///a/b/c.xml", "file:d/e.xsl", "file:///a/b/d/e.xsl"},
      {"/a/b/c.xml", "file:///d/e.xsl", "file:///d/e.xsl"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(resolveURI(c.base, c.reference), c.expected) << c.base << " " << c.reference;

  EXPECT_EQ(localPath("file:///a%20b/c.dtd"), "/a b/c.dtd");
  EXPECT_EQ(localPath("file://localhost/a"), "/a");
  EXPECT_EQ(localPath("file:/a"), "/a");
  EXPECT_EQ(localPath("/a"), "/a");
  EXPECT_EQ(localPath("file://host/a"), std::nullopt);
  EXPECT_EQ(localPath("http://h.org/a"), std::nullopt);
  EXPECT_EQ(localPath("a.dtd"), std::nullopt);
  EXPECT_EQ(fileURI("/a b/%c#.dtd"), "file:///a%20b/%25c%23.dtd");
  EXPECT_TRUE(isNetworkURI("HTTPS://h.org/"));
  EXPECT_TRUE(isNetworkURI("ftp://h.org/"));
  EXPECT_FALSE(isNetworkURI("File:///a"));
  EXPECT_FALSE(isNetworkURI("C:/windows"));  // a drive letter is no scheme
  EXPECT_FALSE(isNetworkURI("a/b:c"));
}

}  // namespace
}  // namespace ovra
