#include "base/exceptions.h"
#include "xslt/output_declaration.h"
#include "tree/name_pool.h"
#include "tree/node.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ovra {
namespace {

constexpr const char* kXslt = "http://www.w3.org/1999/XSL/Transform";

// An xsl:output element on line 5 with the given attributes in no namespace.
std::unique_ptr<ElementNode>
outputElement(const std::vector<std::pair<const char*, const char*>>& attributes) {
  auto element =
      std::make_unique<ElementNode>(intern(kXslt), intern("output"), intern("xsl"), 5, true);
  for (const auto& [name, value] : attributes)
    element->appendAttribute(
        AttributeNode::makeOwned(emptyName(), emptyName(), intern(name), value));
  return element;
}

// The message readOutputDeclaration throws for these attributes, or "" when it accepts them.
std::string readError(const std::vector<std::pair<const char*, const char*>>& attributes) {
  OutputSettings settings;
  try {
    readOutputDeclaration(settings, outputElement(attributes).get());
  } catch (const StylesheetException& error) {
    return error.message().c_str();
  }
  return "";
}

TEST(OutputDeclarationTest, InvalidAttributesAreReportedAtTheElementLine) {
  struct Case {
    const char* name;
    const char* value;
    const char* expected;
  };
  constexpr Case kCases[] = {
      {"method", "HTML", "ovra: error: Unknown output method"},
      {"method", "", "ovra: error: Unknown output method"},
      {"method", "x ml", "ovra: error: Unknown output method"},
      // A method in a namespace is accepted (with a warning) and writes XML.
      {"method", "p:xhtml", ""},
      {"omit-xml-declaration", "true",
       "ovra: error: Expecting omit-xml-declartion attribute to have value 'yes' or 'no'"},
      {"standalone", "Yes",
       "ovra: error: Expecting standalone attribute to have value 'yes' or 'no'"},
      {"indent", "1", "ovra: error: Expecting indent attribute to have value 'yes' or 'no'"},
      {"encoding", "no-such-encoding",
       "ovra: error: Unsupported output encoding, no-such-encoding"},
      {"encoding", "ISO-8859-1//TRANSLIT",
       "ovra: error: Unsupported output encoding, ISO-8859-1//TRANSLIT"},
      {"cdata-section-elements", "a q:b",
       "ovra: error: Undeclared namespace prefix in cdata-section-elements, q:b"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(readError({{c.name, c.value}}), c.expected) << c.name << "=" << c.value;
}

TEST(OutputDeclarationTest, ValuesAreStored) {
  OutputSettings s;
  readOutputDeclaration(s, outputElement({{"method", "text"},
                        {"version", "1.1"},
                        {"encoding", "us-ascii"},
                        {"omit-xml-declaration", "yes"},
                        {"standalone", "yes"},
                        {"doctype-public", "-//P//EN"},
                        {"doctype-system", "d.dtd"},
                        {"media-type", "text/plain"},
                        {"indent", "yes"}})
             .get());
  EXPECT_EQ(s.method, OutputMethod::Text);
  EXPECT_STREQ(s.version.c_str(), "1.1");
  EXPECT_STREQ(s.encoding.c_str(), "us-ascii");
  EXPECT_TRUE(s.omitXmlDeclaration);
  EXPECT_TRUE(s.standalone);
  EXPECT_STREQ(s.doctypePublic.c_str(), "-//P//EN");
  EXPECT_STREQ(s.doctypeSystem.c_str(), "d.dtd");
  EXPECT_STREQ(s.mediaType.c_str(), "text/plain");
  EXPECT_TRUE(s.indent);
  EXPECT_EQ(readError({{"method", "xml"}, {"method", "html"}, {"encoding", "UTF-16"}}), "");
}

TEST(OutputDeclarationTest, SeveralElementsAccumulate) {
  OutputSettings s;
  readOutputDeclaration(
      s, outputElement({{"encoding", "iso-8859-1"}, {"cdata-section-elements", "a"}}).get());
  readOutputDeclaration(s, outputElement({{"method", "xml"}, {"cdata-section-elements", "b"}}).get());
  EXPECT_STREQ(s.encoding.c_str(), "iso-8859-1");
  EXPECT_EQ(s.method, OutputMethod::Xml);
  EXPECT_TRUE(s.isCdataSectionElement("/a"));
  EXPECT_TRUE(s.isCdataSectionElement("/b"));

  OutputSettings copy;
  copy = s;
  EXPECT_TRUE(copy.isCdataSectionElement("/a"));
  EXPECT_STREQ(copy.encoding.c_str(), "iso-8859-1");
}

TEST(OutputDeclarationTest, CdataNamesAreSplitAndResolvedAtTheElement) {
  RootNode root(nullptr);
  auto* stylesheet = new ElementNode(intern(kXslt), intern("stylesheet"), intern("xsl"), 1, true);
  root.appendChild(stylesheet);
  stylesheet->appendNamespace(new NamespaceNode(intern("p"), intern("urn:p")));
  stylesheet->appendNamespace(new NamespaceNode(emptyName(), intern("urn:d")));
  auto* output = new ElementNode(intern(kXslt), intern("output"), intern("xsl"), 2, true);
  stylesheet->appendChild(output);
  output->appendAttribute(AttributeNode::makeOwned(
      emptyName(), emptyName(), intern("cdata-section-elements"), " p:a\t  b\n\r\tp:c xml:d "));
  // Attributes in a namespace are not the processor's: neither read nor refused.
  output->appendAttribute(
      AttributeNode::makeOwned(intern("urn:x"), intern("x"), intern("method"), "html"));
  output->appendAttribute(
      AttributeNode::makeOwned(intern("urn:x"), intern("x"), intern("other"), "1"));
  OutputSettings s;
  readOutputDeclaration(s, output);
  EXPECT_EQ(s.method, OutputMethod::Unset);
  EXPECT_EQ(s.cdataSectionElements.size(), 4u);
  EXPECT_TRUE(s.isCdataSectionElement("urn:p/a"));
  EXPECT_TRUE(s.isCdataSectionElement("urn:d/b"));  // the default namespace applies
  EXPECT_TRUE(s.isCdataSectionElement("urn:p/c"));
  EXPECT_TRUE(s.isCdataSectionElement("http://www.w3.org/XML/1998/namespace/d"));
  EXPECT_FALSE(s.isCdataSectionElement("/b"));
}

}  // namespace
}  // namespace ovra
