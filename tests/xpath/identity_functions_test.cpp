// id(), lang() and unparsed-entity-uri(): the functions that read what the source's DTD
// and xml:lang attributes say.
#include "base/exceptions.h"
#include "tests/support/test_document.h"
#include "tests/support/xpath_helpers.h"
#include "tree/node.h"
#include "xpath/parser.h"
#include "xpath/pattern.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace ovra {
namespace {

// "id" is declared of type ID on a, b and p:c, "ref" on b as well; d's id is undeclared.
constexpr const char* kDeclared = R"(<?xml version="1.0"?>
<!DOCTYPE r [
  <!ATTLIST a id ID #IMPLIED>
  <!ATTLIST b id ID #IMPLIED ref ID #IMPLIED other CDATA #IMPLIED>
  <!ATTLIST p:c id ID #IMPLIED>
  <!NOTATION gif SYSTEM "viewer">
  <!ENTITY pic SYSTEM "pics/one.gif" NDATA gif>
  <!ENTITY pic SYSTEM "pics/two.gif" NDATA gif>
  <!ENTITY far SYSTEM "http://example.com/far.gif" NDATA gif>
]>
<r xml:lang="en-GB" xmlns:p="urn:p">
  <a id="a1"><refs>b1 a2</refs></a>
  <a id="a2" xml:lang="DE"><b id="b1" ref="alias" other="a1"/></a>
  <d id="d1" xml:lang="en"/>
  <p:c id="c1"/>
  <a id="dup"/><b id="dup2" ref="dup"/>
  <e xml:lang=""><f id="f1"/></e>
</r>)";

struct Case {
  const char* context;  // findNode address
  const char* expression;
  const char* expected;  // labels, a string value or "error: ..."
};

constexpr Case kCases[] = {
    // id(): tokens split on whitespace, results in document order without repeats.
    {"/", "id('a2  b1\ta1 a2')", "a1 a2 b1"},
    {"/", "id('c1')", "c1"},
    {"/", "id('alias')", "b1"},
    {"/", "id('d1')", ""},  // not declared of type ID
    {"/", "id('a1 x')/@id", "@id=a1"},
    {"/", "id('nothing')", ""},
    {"/", "id('')", ""},
    // A node-set argument: the union over its members' string values.
    {"/", "id(//refs)", "a2 b1"},
    {"/", "id(//b/@other | //refs)", "a1 a2 b1"},
    // A number is looked up as its string.
    {"/", "count(id(1))", "0"},
    // The first element with a value wins.
    {"/", "id('dup')", "dup"},
    // lang(): the nearest xml:lang, ignoring case, a sublanguage counting for its language.
    {"a1", "lang('en')", "true"},
    {"a1", "lang('EN-gb')", "true"},
    {"a1", "lang('en-US')", "false"},
    {"a1", "lang('e')", "false"},
    {"b1", "lang('de')", "true"},
    {"b1", "lang('en')", "false"},
    {"b1@ref", "lang('de')", "true"},
    {"d1", "lang('en')", "true"},
    {"d1", "lang('en-GB')", "false"},
    {"f1", "lang('en')", "false"},
    {"/", "lang('en')", "false"},
    // unparsed-entity-uri(): the first declaration, resolved against the document.
    {"/", "substring-after(unparsed-entity-uri('pic'), '/')!=''", "true"},
    {"a1", "unparsed-entity-uri('far')", "http://example.com/far.gif"},
    {"a1", "unparsed-entity-uri('none')", ""},
};

TEST(IdentityFunctionsTest, Cases) {
  TestDocument document(kDeclared);
  for (const Case& c : kCases) {
    Node* context = findNode(document.root(), c.context);
    ASSERT_NE(context, nullptr) << c.context;
    EXPECT_EQ(evaluateAt(context, c.expression), c.expected) << c.expression << " at " << c.context;
  }
}

TEST(IdentityFunctionsTest, UnparsedEntityUriIsResolvedAgainstTheDocument) {
  TestDocument document(kDeclared, Document::kSourceBufferSize, false, "dir/test.xml");
  std::string uri = evaluateAt(document.root(), "unparsed-entity-uri('pic')");
  EXPECT_TRUE(uri.starts_with("/")) << uri;
  EXPECT_TRUE(uri.ends_with("/dir/pics/one.gif")) << uri;
}

// A long document through a small buffer: id() reads only as far as the element it
// finds, and without declarations not beyond the document element's start.
std::string longDocument(bool declared) {
  std::string text = declared ? "<!DOCTYPE r [<!ATTLIST x id ID #IMPLIED>]>" : "";
  text += "<r>";
  for (int i = 0; i < 300; ++i)
    text += "<x id='x" + std::to_string(i) + "'/>";
  return text + "</r>";
}

TEST(IdentityFunctionsTest, IdReadsOnlyAsFarAsItNeeds) {
  constexpr std::size_t kBuffer = 64;
  TestDocument declared(longDocument(true), kBuffer);
  EXPECT_EQ(evaluateAt(declared.root(), "id('x3')"), "x3");
  std::size_t early = declared.document().chunksParsed();
  EXPECT_LT(early, 5u);
  EXPECT_EQ(evaluateAt(declared.root(), "id('x299 x2')"), "x2 x299");
  EXPECT_GT(declared.document().chunksParsed(), early);

  TestDocument undeclared(longDocument(false), kBuffer);
  EXPECT_EQ(evaluateAt(undeclared.root(), "id('x3')"), "");
  EXPECT_LT(undeclared.document().chunksParsed(), 3u);
}

// Patterns may start with id(): the anchor, then the steps below it.
TEST(IdentityFunctionsTest, PatternsStartingWithId) {
  TestDocument document(kDeclared);
  struct PatternCase {
    const char* pattern;
    const char* node;
    bool matches;
  };
  constexpr PatternCase kPatterns[] = {
      {"id('a2')", "a2", true},     {"id('a2')", "a1", false},
      {"id('a1 a2')", "a1", true},  {"id('a2')/b", "b1", true},
      {"id('a1')/b", "b1", false},  {"id('r')//b", "b1", false},
      {"id('a2')//b", "b1", true},  {"id('a2')/b/@ref", "b1@ref", true},
      {"x | id('c1')", "c1", true}, {"id('a2')//node()", "a2", false},
  };
  EvalContext context;
  for (const PatternCase& c : kPatterns) {
    std::unique_ptr<PatternMatcher> matcher = parseXPath(c.pattern, nullptr)->compilePattern();
    EXPECT_EQ(matcher->matches(findNode(document.root(), c.node), context), c.matches)
        << c.pattern << " on " << c.node;
  }
  for (const char* invalid : {"id(@x)", "id('a')[1]", "key('k')", "count(x)/a", "-id('a')"}) {
    EXPECT_THROW(parseXPath(invalid, nullptr)->compilePattern(), XSLException) << invalid;
  }
}

}  // namespace
}  // namespace ovra
