#include "base/exceptions.h"
#include "tests/support/test_document.h"
#include "tests/support/xpath_helpers.h"
#include "tree/node.h"
#include "xpath/expr.h"
#include "xpath/parser.h"
#include "xpath/pattern.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace ovra {
namespace {

constexpr const char* kDocument =
    "<r xmlns:p='urn:p'><a id='a1' x='1'><b id='b1'>t1</b><b id='b2'/></a>"
    "<a id='a2'><b id='b3'/><?x d?><?y d?><!--k--></a><p:a id='pa'/>"
    "<d id='d1'><a id='a3'><a id='a4'/></a></d></r>";

// Every node of the tree but namespace nodes, in document order.
NodeVector allNodes(Node* root) {
  NodeVector nodes;
  for (Node* node = root; node != nullptr; node = nextInDocumentOrder(node, root)) {
    nodes.push_back(node);
    for (Node* attribute = node->firstAttribute(); attribute != nullptr;
         attribute = attribute->rawNextSibling())
      nodes.push_back(attribute);
  }
  return nodes;
}

// The labels of the nodes the pattern matches, or "error: " and the message.
std::string matchesOf(const char* pattern, Node* root, const Node* namespaceContext = nullptr) {
  std::unique_ptr<PatternMatcher> matcher;
  try {
    matcher = parseXPath(pattern, namespaceContext)->compilePattern();
  } catch (const XSLException& error) {
    return "error: " + textAt(error);
  }
  EvalContext context;
  NodeVector matched;
  for (Node* node : allNodes(root)) {
    if (matcher->matches(node, context))
      matched.push_back(node);
  }
  return labelsOf(matched);
}

struct PatternCase {
  const char* pattern;
  const char* expected;  // labels of the matching nodes in document order, or the error
};

constexpr PatternCase kPatternCases[] = {
    {"a", "a1 a2 a3 a4"},
    {"a/b", "b1 b2 b3"},
    {"d/a", "a3"},
    {"d//a", "a3 a4"},
    {"r//a", "a1 a2 a3 a4"},
    {"r//a/a", "a4"},
    {"//a", "a1 a2 a3 a4"},
    {"/a", ""},
    {"/r", "r"},
    {"/r/a", "a1 a2"},
    {"/", "/"},
    {"a[1]", "a1 a3 a4"},  // the first a child of its parent
    {"b[2]", "b2"},
    {"*[2]", "b2 a2"},
    {"a[@x]", "a1"},
    {"a[position() = 2]", "a2"},
    {"a[b][2]", "a2"},  // positions among the a children that have a b
    {"b[1][@id = 'b3']", "b3"},
    {"@id", "@id=a1 @id=b1 @id=b2 @id=a2 @id=b3 @id=pa @id=d1 @id=a3 @id=a4"},
    {"@*", "@id=a1 @x=1 @id=b1 @id=b2 @id=a2 @id=b3 @id=pa @id=d1 @id=a3 @id=a4"},
    {"a/@x", "@x=1"},
    {"@x[1]", "@x=1"},
    {"text()", "t:t1"},
    {"processing-instruction('x')", "?x"},
    {"processing-instruction()", "?x ?y"},
    {"comment()", "!k"},
    {"node()", "r a1 b1 t:t1 b2 a2 b3 ?x ?y !k pa d1 a3 a4"},  // never the root or attributes
    {"*", "r a1 b1 b2 a2 b3 pa d1 a3 a4"},
    {"a | b", "a1 b1 b2 a2 b3 a3 a4"},
    {"d//a | b[2] | /", "/ b2 a3 a4"},
};

TEST(PatternTest, MatchesFromTheNodeUpwards) {
  TestDocument doc(kDocument);
  for (const PatternCase& c : kPatternCases)
    EXPECT_EQ(matchesOf(c.pattern, doc.root()), c.expected) << c.pattern;
}

TEST(PatternTest, PrefixesResolveAtTheNamespaceContext) {
  TestDocument doc(kDocument);
  Node* r = doc.root()->firstChild();
  EXPECT_EQ(matchesOf("p:*", doc.root(), r), "pa");
  EXPECT_EQ(matchesOf("p:a", doc.root(), r), "pa");
  EXPECT_EQ(matchesOf("p:a | a[1]", doc.root(), r), "a1 pa a3 a4");
}

TEST(PatternTest, RejectsWhatIsNoPattern) {
  // Positions count no white space, and axis and operator tokens carry none.
  constexpr PatternCase cases[] = {
      {"$v", "error: Invalid match pattern at 0"},
      {"1 + 2", "error: Invalid match pattern at 0"},
      {"ancestor::a", "error: Invalid match pattern at 0"},
      {"a/following-sibling::b", "error: Invalid match pattern at 2"},
      {"count(a)", "error: Invalid match pattern at 0"},
      {"-a", "error: Invalid match pattern at 1"},
      {"(a)", "error: Invalid match pattern at 0"},
  };
  TestDocument doc(kDocument);
  for (const PatternCase& c : cases)
    EXPECT_EQ(matchesOf(c.pattern, doc.root()), c.expected) << c.pattern;
}

TEST(PatternTest, FindsVariableReferencesAnywhere) {
  constexpr std::pair<const char*, bool> cases[] = {
      {"a[$v]", true},        {"a | b[$v = 1]", true}, {"a[b[$v]]", true},
      {"key('k', $v)", true}, {"a[f(1, $v)]", true},   {"($v)[1]/a", true},
      {"a[@v = 'v']", false}, {"a | b[1]", false},     {"id('v')/a", false},
  };
  for (const auto& [pattern, expected] : cases)
    EXPECT_EQ(refersToVariable(*parseXPath(pattern, nullptr)), expected) << pattern;
}

TEST(PatternTest, PositionsNeedOnlyTheSiblingsBefore) {
  std::string text = "<r>";
  for (int i = 0; i < 5000; ++i)
    text += "<a><b/></a>";
  TestDocument doc(text + "</r>", 64);
  Node* first = doc.root()->firstChild()->firstChild();
  Node* second = first->nextSibling();
  EvalContext context;
  for (const char* pattern : {"a[1]", "a[2]", "a[b][2]", "r/a[position() = 2]"}) {
    std::unique_ptr<PatternMatcher> matcher = parseXPath(pattern, nullptr)->compilePattern();
    EXPECT_NE(matcher->matches(first, context), matcher->matches(second, context)) << pattern;
  }
  EXPECT_LE(doc.document().chunksParsed(), 2u) << "matching read the later siblings";
}

TEST(PatternTest, NestedSearchesOverDeepAncestryEnd) {
  constexpr int kDepth = 100000;
  std::string text;
  for (int i = 0; i < kDepth; ++i)
    text += "<a>";
  text += "<c/>";
  for (int i = 0; i < kDepth; ++i)
    text += "</a>";
  TestDocument doc(text);
  Node* c = doc.root();
  while (Node* child = c->firstChild())
    c = child;
  EvalContext context;
  constexpr PatternCase cases[] = {
      {"b//a//c", "no"}, {"a//a//c", "yes"}, {"/a//a//a//c", "yes"}, {"a//b//a//c", "no"}};
  for (const PatternCase& p : cases) {
    bool matched = parseXPath(p.pattern, nullptr)->compilePattern()->matches(c, context);
    EXPECT_EQ(matched ? "yes" : "no", std::string(p.expected)) << p.pattern;
  }
}

TEST(PatternTest, LongPatternsNeedNoRecursion) {
  TestDocument doc(kDocument);
  std::string alternatives = "x0";
  for (int i = 1; i < 100000; ++i)
    alternatives += "|x" + std::to_string(i % 1000);
  EXPECT_EQ(matchesOf((alternatives + "|d").c_str(), doc.root()), "d1");
  std::string sum = "a[1";
  for (int i = 1; i < 100000; ++i)
    sum += "+1";
  EXPECT_FALSE(refersToVariable(*parseXPath(sum + "]", nullptr)));
  EXPECT_TRUE(refersToVariable(*parseXPath(sum + "+$v]", nullptr)));
}

}  // namespace
}  // namespace ovra
