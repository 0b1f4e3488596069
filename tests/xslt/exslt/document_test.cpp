// exsl:document: the files it writes, what it takes from its attributes, and what it
// refuses. Each case runs in a folder of its own, passed in as $dir.
#include "tests/support/test_transform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace ovra {
namespace {

namespace fs = std::filesystem;

struct File {
  const char* name;  // relative to the case's folder
  const char* content;
};

struct Case {
  const char* body;               // of the template for the root
  const char* expected;           // as transformOrError answers
  std::vector<File> files = {};   // exactly the files written
  std::vector<File> before = {};  // files there before the run
};

std::string stylesheet(const std::string& body) {
  return "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
         "xmlns:exsl='http://exslt.org/common' xmlns:c='http://exslt.org/common' "
         "extension-element-prefixes='exsl'><xsl:output omit-xml-declaration='yes'/>"
         "<xsl:param name='dir'/><xsl:template match='/'>" +
         body + "</xsl:template></xsl:stylesheet>";
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void runCase(const Case& c) {
  char pattern[] = "/tmp/ovra-document-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  fs::path folder(pattern);
  for (const File& file : c.before)
    std::ofstream(folder / file.name) << file.content;
  EXPECT_EQ(
      transformOrError(stylesheet(c.body), "<r><a>1</a><a>2</a></r>", {{"dir", folder.c_str()}}),
      c.expected)
      << c.body;
  std::vector<std::string> written;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file())
      written.push_back(fs::relative(entry.path(), folder).string());
  }
  std::vector<std::string> expected;
  for (const File& file : c.files) {
    expected.push_back(file.name);
    EXPECT_EQ(readFile(folder / file.name), file.content) << c.body << "\n" << file.name;
  }
  std::sort(written.begin(), written.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(written, expected) << c.body;
  fs::remove_all(folder);
}

TEST(ExsltDocumentTest, WritesFiles) {
  const Case cases[] = {
      // Each document takes its own output attributes, none of the stylesheet's.
      {"<o><exsl:document href='{$dir}/a.xml'><a><xsl:value-of select='r/a'/></a>"
       "</exsl:document></o>",
       "<o/>",
       {{"a.xml", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a>1</a>"}}},
      {"<exsl:document href='{$dir}/a.txt' method='{substring(\"textual\", 1, 4)}'>"
       "<a>x<b>y</b></a></exsl:document>",
       "",
       {{"a.txt", "xy"}}},
      {"<exsl:document href='{$dir}/a.xml' omit-xml-declaration='yes' indent='yes' "
       "doctype-system='a.dtd' cdata-section-elements='b'><a><b>&lt;</b></a></exsl:document>",
       "",
       {{"a.xml", "<!DOCTYPE a SYSTEM \"a.dtd\">\n<a>\n  <b><![CDATA[<]]></b>\n</a>\n"}}},
      {"<exsl:document href='{$dir}/a.xml' encoding='ISO-8859-1' standalone='yes'>"
       "<a>&#233;&#x20AC;</a></exsl:document>",
       "",
       {{"a.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\"?>\n"
                  "<a>\xE9&#8364;</a>"}}},
      // An html element first makes it HTML, as for the main result.
      {"<exsl:document href='{$dir}/a.html'><html><br/></html></exsl:document>",
       "",
       {{"a.html", "<html><br></html>\n"}}},
      // Folders are made; a document inside another resolves against it; %20 is a space.
      {"<exsl:document href='{$dir}/x/y/a.xml' omit-xml-declaration='yes'><a>"
       "<exsl:document href='../b%20c.xml' omit-xml-declaration='yes'><b/></exsl:document>"
       "</a></exsl:document>",
       "",
       {{"x/y/a.xml", "<a/>"}, {"x/b c.xml", "<b/>"}}},
      // The last document written to a name wins; a file there before is replaced.
      {"<xsl:for-each select='r/a'><exsl:document href='file://{$dir}/a.xml' "
       "omit-xml-declaration='yes'><a><xsl:value-of select='.'/></a></exsl:document>"
       "</xsl:for-each>",
       "",
       {{"a.xml", "<a>2</a>"}},
       {{"a.xml", "old"}}},
      // Variables in scope reach the content; its own go out of scope at its end.
      {"<xsl:variable name='v' select='7'/><exsl:document href='{$dir}/a.txt' method='text'>"
       "<xsl:variable name='w' select='$v + 1'/><xsl:value-of select='$w'/></exsl:document>"
       "<xsl:variable name='w' select='1'/><xsl:value-of select='$w'/>",
       "1",
       {{"a.txt", "8"}}},
      // Any prefix of the extension namespace; xsl:fallback inside does nothing.
      {"<c:document href='{$dir}/a.txt' method='text'>a<xsl:fallback>no</xsl:fallback>"
       "</c:document>",
       "",
       {{"a.txt", "a"}}},
      {"<xsl:value-of select='element-available(\"exsl:document\")'/>"
       "<xsl:value-of select='element-available(\"c:document\")'/>"
       "<xsl:value-of select='element-available(\"exsl:documents\")'/>",
       "truetruefalse"},
      {"<exsl:document href='{$dir}/a.txt' method='text' frob='1'>a</exsl:document>",
       "WARNING: Unrecognized attribute on exsl:document, frob on line 1 in s.xsl\n",
       {{"a.txt", "a"}}},
  };
  for (const Case& c : cases)
    runCase(c);
}

// A run that fails writes nothing and replaces nothing, whatever documents it wrote
// before the failure; the folders it made are gone again.
TEST(ExsltDocumentTest, ErrorsLeaveFilesAlone) {
  const Case cases[] = {
      {"<exsl:document href='{$dir}/a.xml'><a/></exsl:document>"
       "<exsl:document href='{$dir}/new/b.xml'><b/></exsl:document><xsl:value-of select='$no'/>",
       "ERROR: s.xsl:1: error: Reference to undefined variable, $no",
       {{"a.xml", "old"}},
       {{"a.xml", "old"}}},
      {"<exsl:document><a/></exsl:document>",
       "ERROR: s.xsl:1: error: A href attribute must be provided for a exsl:document"},
      {"<exsl:document href='{substring(\"a\", 2)}'><a/></exsl:document>",
       "ERROR: s.xsl:1: error: The href computed for a exsl:document is empty"},
      {"<exsl:document href='http://example.org/a.xml'><a/></exsl:document>",
       "ERROR: s.xsl:1: error: exsl:document writes local files only, not "
       "http://example.org/a.xml"},
      {"<exsl:document href='{$dir}/a.xml' method='{\"fancy\"}'><a/></exsl:document>",
       "ERROR: s.xsl:1: error: Unknown output method"},
      {"<exsl:document href='{$dir}/a.xml' indent='maybe'><a/></exsl:document>",
       "ERROR: s.xsl:1: error: Expecting indent attribute to have value 'yes' or 'no'"},
      {"<exsl:document href='{$dir}/a.xml' encoding='x-none'><a/></exsl:document>",
       "ERROR: s.xsl:1: error: Unsupported output encoding, x-none"},
      {"<exsl:document href='{$dir}/a.xml'><exsl:document href='a.xml'/></exsl:document>",
       "ERROR: s.xsl:1: error: A document can not replace one it is inside of, "},
      {"<exsl:document href='{$dir}/a.xml/b.xml'><a/></exsl:document>",
       "ERROR: s.xsl:1: error: Could not create output file, ",
       {{"a.xml", "old"}},
       {{"a.xml", "old"}}},
  };
  for (const Case& c : cases) {
    if (std::string(c.expected).ends_with(", ")) {
      // Messages that name the case's folder: only their start is compared.
      Case start = c;
      char pattern[] = "/tmp/ovra-document-XXXXXX";
      ASSERT_NE(::mkdtemp(pattern), nullptr);
      fs::path folder(pattern);
      for (const File& file : c.before)
        std::ofstream(folder / file.name) << file.content;
      std::string result = transformOrError(stylesheet(c.body), "<r/>", {{"dir", folder.c_str()}});
      EXPECT_TRUE(result.starts_with(c.expected)) << result;
      for (const File& file : c.before)
        EXPECT_EQ(readFile(folder / file.name), file.content);
      EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()),
                std::ptrdiff_t(c.before.size()));
      fs::remove_all(folder);
      continue;
    }
    runCase(c);
  }
}

}  // namespace
}  // namespace ovra
