#include "base/exceptions.h"
#include "output/serializer.h"
#include "tree/catalog.h"
#include "tree/document.h"
#include "tree/resources.h"
#include "tree/text_buffer.h"
#include "xslt/stylesheet.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace ovra {
namespace {

struct File {
  const char* name;      // relative to a fresh folder; "main.xsl" is the one loaded
  const char* topLevel;  // the content of its xsl:stylesheet element
};

struct ImportCase {
  const char* label;
  std::vector<File> files;
  const char* expected;  // the output, or "ERROR: " and the message without its place
};

// Writes the files into a fresh folder, loads main.xsl from there and runs it against
// a small source.
std::string run(const std::vector<File>& files) {
  std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("ovra-imports-" + std::to_string(::getpid()));
  std::filesystem::remove_all(folder);
  for (const File& file : files) {
    std::filesystem::path path = folder / file.name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "<xsl:stylesheet version='1.0' "
                           "xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                        << file.topLevel << "</xsl:stylesheet>";
  }
  std::string result;
  try {
    Stylesheet stylesheet((folder / "main.xsl").string().c_str());
    stylesheet.load();
    std::unique_ptr<Document> source = Document::fromText("<doc><a>A</a><b>B</b></doc>", "in.xml",
                                                          Document::kSourceBufferSize, false);
    TextBuffer buffer;
    Serializer serializer(buffer);
    stylesheet.transform(*source, serializer);
    serializer.flush();
    result = buffer.view();
  } catch (const XSLException& error) {
    result = "ERROR: " + std::string(error.text().view());
  }
  std::filesystem::remove_all(folder);
  return result;
}

#define OMIT "<xsl:output omit-xml-declaration='yes'/>"
#define ROOT_APPLY                                                                                 \
  "<xsl:template match='/'><out><xsl:apply-templates select='doc/*'/></out></xsl:template>"

#define FUNC(name, value)                                                                          \
  "<func:function xmlns:func='http://exslt.org/functions' xmlns:my='urn:my' name='my:" name       \
  "'><func:result select='" value "'/></func:function>"
#define CALL_FUNCTIONS                                                                             \
  "<xsl:template match='/' xmlns:my='urn:my'><xsl:value-of select='concat(my:f(), my:g())'/>"     \
  "</xsl:template>"

const ImportCase kCases[] = {
    {"func:function: the highest import precedence wins, an include counts as its includer",
     {{"main.xsl", "<xsl:import href='lib.xsl'/><xsl:include href='inc.xsl'/>" OMIT
                   CALL_FUNCTIONS FUNC("f", "\"main\"")},
      {"lib.xsl", FUNC("f", "\"lib\"") FUNC("g", "\"lib\"")},
      {"inc.xsl", FUNC("g", "\"inc\"")}},
     "maininc"},
    {"func:function: two of one name and precedence",
     {{"main.xsl", "<xsl:include href='inc.xsl'/>" OMIT CALL_FUNCTIONS FUNC("f", "1")},
      {"inc.xsl", FUNC("f", "2") FUNC("g", "3")}},
     "ERROR: func:function my:f is defined twice with the same import precedence"},
    {"import precedence beats priority",
     {{"main.xsl", "<xsl:import href='lib.xsl'/>" OMIT ROOT_APPLY
                   "<xsl:template match='a'>main</xsl:template>"},
      {"lib.xsl", "<xsl:template match='a' priority='5'>lib</xsl:template>"
                  "<xsl:template match='*' priority='9'>star</xsl:template>"}},
     "<out>mainstar</out>"},
    {"an included file has the includer's precedence: priority decides",
     {{"main.xsl", OMIT "<xsl:include href='inc.xsl'/>" ROOT_APPLY
                        "<xsl:template match='a' priority='1'>main</xsl:template>"},
      {"inc.xsl", "<xsl:template match='a' priority='2'>included</xsl:template>"}},
     "<out>includedB</out>"},
    {"the later import has the higher precedence, and an importer outranks its imports",
     {{"main.xsl", "<xsl:import href='x.xsl'/><xsl:import href='y.xsl'/>" OMIT ROOT_APPLY},
      {"x.xsl", "<xsl:import href='z.xsl'/><xsl:template match='a'>x</xsl:template>"},
      {"y.xsl", "<xsl:template match='b'>y</xsl:template>"},
      {"z.xsl", "<xsl:template match='a|b'>z</xsl:template>"}},
     "<out>xy</out>"},
    {"apply-imports reaches only the current rule's own imports",
     {{"main.xsl", "<xsl:import href='x.xsl'/><xsl:import href='y.xsl'/>" OMIT ROOT_APPLY},
      {"x.xsl", "<xsl:template match='a'>x</xsl:template>"},
      {"y.xsl", "<xsl:template match='a'>[<xsl:apply-imports/>]</xsl:template>"}},
     "<out>[A]B</out>"},
    {"apply-imports goes down the chain, in the current mode",
     {{"main.xsl", "<xsl:import href='x.xsl'/>" OMIT
                   "<xsl:template match='/'><xsl:apply-templates select='doc/a' mode='m'/>"
                   "</xsl:template><xsl:template match='a' mode='m'>1<xsl:apply-imports/>"
                   "</xsl:template>"},
      {"x.xsl", "<xsl:import href='z.xsl'/><xsl:template match='a' mode='m'>2<xsl:apply-imports/>"
                "</xsl:template><xsl:template match='a'>no</xsl:template>"},
      {"z.xsl", "<xsl:template match='*' mode='m'>3</xsl:template>"}},
     "123"},
    {"name-indexed templates of several precedences",
     {{"main.xsl", "<xsl:import href='x.xsl'/>" OMIT ROOT_APPLY
                   "<xsl:template match='b'>(<xsl:apply-imports/>)</xsl:template>"
                   "<xsl:template match='*' priority='-1'>star</xsl:template>"},
      {"x.xsl", "<xsl:template match='a'>xa</xsl:template><xsl:template match='b'>xb"
                "</xsl:template>"}},
     "<out>star(xb)</out>"},
    {"files are found relative to the file that names them",
     {{"main.xsl", "<xsl:import href='lib/one.xsl'/>" OMIT ROOT_APPLY},
      {"lib/one.xsl", "<xsl:include href='sub/two.xsl'/>"},
      {"lib/sub/two.xsl", "<xsl:template match='a'>two</xsl:template>"}},
     "<out>twoB</out>"},
    {"globals: the highest precedence wins",
     {{"main.xsl", "<xsl:import href='lib.xsl'/>" OMIT "<xsl:variable name='v' select='1'/>"
                   "<xsl:template match='/'><xsl:value-of select='$v + $w'/></xsl:template>"},
      {"lib.xsl", "<xsl:variable name='v' select='10'/><xsl:param name='w' select='100'/>"}},
     "101"},
    {"globals: two of one name at one precedence",
     {{"main.xsl", "<xsl:include href='inc.xsl'/><xsl:variable name='v' select='1'/>"
                   "<xsl:template match='/'><xsl:value-of select='$v'/></xsl:template>"},
      {"inc.xsl", "<xsl:variable name='v' select='2'/>"}},
     "ERROR: Variable can't be defined twice with overlapping scope"},
    {"output settings merge attribute by attribute",
     {{"main.xsl", "<xsl:import href='lib.xsl'/><xsl:output method='xml'/>"
                   "<xsl:template match='/'><out/></xsl:template>"},
      {"lib.xsl", "<xsl:output method='text' omit-xml-declaration='yes'/>"}},
     "<out/>"},
    {"import after another top-level element",
     {{"main.xsl", "<xsl:template match='/'/><xsl:import href='lib.xsl'/>"}, {"lib.xsl", ""}},
     "ERROR: An import must come before all other elements at the top level of a stylesheet"},
    {"a file that includes itself through another",
     {{"main.xsl", "<xsl:include href='a.xsl'/>"}, {"a.xsl", "<xsl:include href='main.xsl'/>"}},
     "ERROR: A stylesheet can not import or include itself, main.xsl"},
    {"a file that imports itself",
     {{"main.xsl", "<xsl:import href='./main.xsl'/>"}},
     "ERROR: A stylesheet can not import or include itself, ./main.xsl"},
    {"a missing file",
     {{"main.xsl", "<xsl:include href='nowhere.xsl'/>"}},
     "ERROR: Could not open included stylesheet, nowhere.xsl"},
    {"a folder is no stylesheet",
     {{"main.xsl", "<xsl:import href='lib'/>"}, {"lib/x.xsl", ""}},
     "ERROR: Could not open imported stylesheet, lib"},
    {"an import without href",
     {{"main.xsl", "<xsl:import/>"}},
     "ERROR: A href attribute must be provided for a import"},
    {"apply-imports outside a template rule",
     {{"main.xsl", "<xsl:variable name='v'><xsl:apply-imports/></xsl:variable>"
                   "<xsl:template match='/'><xsl:value-of select='$v'/></xsl:template>"}},
     "ERROR: An apply-imports instruction can only be used in a template rule"},
    {"apply-imports inside xsl:for-each",
     {{"main.xsl", "<xsl:template match='/'><xsl:for-each select='*'><xsl:apply-imports/>"
                   "</xsl:for-each></xsl:template>"}},
     "ERROR: An apply-imports instruction can only be used in a template rule"},
    {"apply-imports takes no parameters",
     {{"main.xsl", "<xsl:template match='/'><xsl:apply-imports><xsl:with-param name='p'/>"
                   "</xsl:apply-imports></xsl:template>"}},
     "ERROR: An apply-imports instruction must be empty"},
};

TEST(ImportsTest, PrecedenceApplyImportsAndErrors) {
  for (const ImportCase& c : kCases)
    EXPECT_EQ(run(c.files), c.expected) << c.label;
}

TEST(ImportsTest, ImportedSimplifiedStylesheet) {
  std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("ovra-simplified-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "s.xsl")
      << "<out xsl:version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
         "<xsl:value-of select='count(//*)'/></out>";
  std::ofstream(folder / "main.xsl")
      << "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
         "<xsl:import href='s.xsl'/><xsl:output omit-xml-declaration='yes'/>"
         "</xsl:stylesheet>";
  Stylesheet stylesheet((folder / "main.xsl").string().c_str());
  stylesheet.load();
  EXPECT_EQ(stylesheet.moduleCount(), 2u);
  std::unique_ptr<Document> source =
      Document::fromText("<doc><a/></doc>", "in.xml", Document::kSourceBufferSize, false);
  TextBuffer buffer;
  Serializer serializer(buffer);
  stylesheet.transform(*source, serializer);
  serializer.flush();
  EXPECT_EQ(std::string(buffer.view()), "<out>2</out>");
  std::filesystem::remove_all(folder);
}

// A module named by a URI that a catalog maps is read from the local copy (the way DocBook
// customizations import their base); one that no catalog maps is never fetched.
TEST(ImportsTest, ModulesAreFoundThroughCatalogs) {
  namespace fs = std::filesystem;
  fs::path folder =
      fs::temp_directory_path() / ("ovra-catalog-imports-" + std::to_string(::getpid()));
  fs::create_directories(folder / "local/html");
  auto stylesheet = [](const std::string& topLevel) {
    return "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>" +
           topLevel + "</xsl:stylesheet>";
  };
  std::ofstream(folder / "local/html/base.xsl")
      << stylesheet("<xsl:include href='../common.xsl'/><xsl:template match='/'>base "
                    "<xsl:call-template name='common'/></xsl:template>");
  std::ofstream(folder / "local/common.xsl")
      << stylesheet("<xsl:template name='common'>common</xsl:template>");
  std::ofstream(folder / "catalog.xml")
      << "<catalog xmlns='urn:oasis:names:tc:entity:xmlns:xml:catalog'><rewriteURI "
         "uriStartString='http://ex.org/xsl/' rewritePrefix='local/'/></catalog>";
  auto settings = std::make_shared<LoadSettings>();
  settings->catalogs =
      std::make_shared<CatalogSet>(std::vector<std::string>{(folder / "catalog.xml").string()});
  struct Case {
    const char* import;
    const char* expected;
  };
  constexpr Case cases[] = {
      {"http://ex.org/xsl/html/base.xsl", "base common"},
      {"http://elsewhere.org/base.xsl",
       "ERROR: Could not open imported stylesheet, http://elsewhere.org/base.xsl: ovra reads no "
       "network resources (an XML catalog can map it to a local file)"},
  };
  for (const Case& c : cases) {
    std::ofstream(folder / "main.xsl") << stylesheet(std::string("<xsl:import href='") + c.import +
                                                     "'/><xsl:output method='text'/>");
    std::string result;
    try {
      Stylesheet compiled((folder / "main.xsl").string().c_str());
      compiled.document().setSettings(settings);
      compiled.load();
      std::unique_ptr<Document> source =
          Document::fromText("<doc/>", "in.xml", Document::kSourceBufferSize, false);
      TextBuffer buffer;
      Serializer serializer(buffer);
      compiled.transform(*source, serializer);
      serializer.flush();
      result = buffer.view();
    } catch (const XSLException& error) {
      result = "ERROR: " + std::string(error.text().view());
    }
    EXPECT_EQ(result, c.expected) << c.import;
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace ovra
