#include "base/exceptions.h"
#include "tree/document.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "xpath/expr.h"
#include "xpath/parser.h"
#include "xpath/runtime/functions.h"
#include "xpath/runtime/number_format.h"
#include "tests/support/scratch_files.h"
#include "tests/support/xpath_helpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <set>
#include <string>

namespace ovra {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

Value S(const char* text) {
  return Value::makeString(text);
}
Value N(double number) {
  return Value::makeNumber(number);
}
Value B(bool flag) {
  return Value::makeBoolean(flag);
}

Value fragment() {
  auto root = std::make_shared<RootNode>(nullptr);
  root->appendChild(TextNode::makeOwned("1"));
  return Value::makeFragment(root);
}

Value call(std::string_view name, ArgumentList args, const EvalContext& context = {}) {
  return callFunction(coreFunctions(), name, std::move(args), context);
}

std::string errorOf(std::string_view name, ArgumentList args, const EvalContext& context = {}) {
  return callError(coreFunctions(), name, std::move(args), context);
}

// Source: <r xmlns:p="urn:p"><a id="1">5</a><p:b p:at="x">10</p:b><c>abc</c><?pi d?>tail</r>
// Stylesheet: <xsl:t xmlns:xsl="XSLT"/> and <t xmlns="XSLT"/>.
class FunctionsTest : public ::testing::Test {
 protected:
  FunctionsTest() {
    r = appendElement(&source_, emptyName(), "", "r");
    ns = new NamespaceNode(intern("p"), intern("urn:p"));
    r->appendNamespace(ns);
    a = appendElement(r, emptyName(), "", "a", "5");
    id = AttributeNode::makeOwned(emptyName(), emptyName(), intern("id"), "1");
    a->appendAttribute(id);
    b = appendElement(r, intern("urn:p"), "p", "b", "10");
    at = AttributeNode::makeOwned(intern("urn:p"), intern("p"), intern("at"), "x");
    b->appendAttribute(at);
    c = appendElement(r, emptyName(), "", "c", "abc");
    pi = ProcessingInstructionNode::makeOwned("pi", "d");
    r->appendChild(pi);
    tail = TextNode::makeOwned("tail");
    r->appendChild(tail);

    prefixed = appendElement(&stylesheet_, xsltNamespaceName(), "xsl", "t");
    prefixed->appendNamespace(new NamespaceNode(intern("xsl"), xsltNamespaceName()));
    defaulted = appendElement(&stylesheet_, xsltNamespaceName(), "", "t");
    defaulted->appendNamespace(new NamespaceNode(emptyName(), xsltNamespaceName()));
  }

  Value set(std::initializer_list<Node*> nodes) const { return Value::makeNodeSet(nodes); }

  RootNode source_{nullptr};
  RootNode stylesheet_{nullptr};
  Node* r;
  Node* ns;
  Node* a;
  Node* id;
  Node* b;
  Node* at;
  Node* c;
  Node* pi;
  Node* tail;
  Node* prefixed;
  Node* defaulted;
};

struct Case {
  const char* function;
  ArgumentList args;
  const char* expected;  // the result's string value
};

TEST_F(FunctionsTest, ResultsOfCalls) {
  const Case cases[] = {
      {"contains", {S("abc"), S("")}, "true"},
      {"starts-with", {S(""), S("")}, "true"},
      {"substring-before", {S("abc"), S("")}, ""},
      {"substring-after", {S("abc"), S("")}, "abc"},
      {"substring-before", {S("1999/04/01"), S("/")}, "1999"},
      {"substring-before", {S("1999/04/01"), S("04")}, "1999/"},
      {"substring-after", {S("1999/04/01"), S("19")}, "99/04/01"},
      {"string-length", {S("\xC3\xA9")}, "1"},
      {"string-length", {S("a\xE2\x82\xAC\xF0\x9D\x84\x9E")}, "3"},
      {"normalize-space", {S("  a a \t\n b  ")}, "a a b"},
      {"normalize-space", {S("a\v\fb")}, "a\v\fb"},  // not XPath white space
      {"translate", {S("bar"), S("abc"), S("ABC")}, "BAr"},
      {"translate", {S("--aaa--"), S("abc-"), S("ABC")}, "AAA"},
      {"translate", {S("a"), S("aa"), S("bc")}, "b"},
      {"translate", {S("a\xC3\xA9z"), S("\xC3\xA9z"), S("e")}, "ae"},
      {"translate", {S("xyz"), S("x"), S("\xC3\xA9")}, "\xC3\xA9yz"},
      {"translate", {S("\u00e9a"), S("\u00e9a\u00e9a"), S("xyzw")}, "xy"},
      {"translate", {S("\xC3\xA9" "a-b"), S("ab-"), S("AB")}, "\xC3\xA9" "AB"},
      {"translate", {S("aXa"), S("aXa"), S("bY")}, "bYb"},
      // The same from and to again, then the same from with another to.
      {"translate", {S("\xC3\xA9t\xC3\xA9"), S("\xC3\xA9t"), S("ET")}, "ETE"},
      {"translate", {S("t\xC3\xA9"), S("\xC3\xA9t"), S("ET")}, "TE"},
      {"translate", {S("t\xC3\xA9"), S("\xC3\xA9t"), S("E")}, "E"},
      {"concat", {S("a"), N(1.5), B(true), set({b, c})}, "a1.5true10"},
      {"string", {N(1.0 / 3)}, "0.3333333333333333"},
      {"string", {set({c, a})}, "abc"},
      {"round", {N(2.5)}, "3"},
      {"round", {N(-2.5)}, "-2"},
      {"round", {N(-0.4)}, "0"},
      {"round", {N(kNaN)}, "NaN"},
      {"floor", {N(-1.5)}, "-2"},
      {"floor", {N(-0.0)}, "0"},
      {"number", {S(" 7  ")}, "7"},
      {"number", {S("0x10")}, "NaN"},
      {"number", {set({b})}, "10"},
      {"boolean", {S("0")}, "true"},
      {"not", {set({})}, "true"},
      {"count", {set({a, b, c})}, "3"},
      {"count", {Value::makeNode(a)}, "1"},
      {"sum", {set({a, b})}, "15"},
      {"sum", {set({})}, "0"},
      {"sum", {set({a, c})}, "NaN"},
  };
  for (Case c : cases) {
    std::string label = std::string(c.function) + " -> " + c.expected;
    EXPECT_EQ(stringOf(call(c.function, std::move(c.args))).view(), c.expected) << label;
  }
}

TEST_F(FunctionsTest, SubstringRoundsAndHandlesNaNAndInfinities) {
  const Case cases[] = {
      {"substring", {S("abcde"), N(1.5), N(2.6)}, "bcd"},
      {"substring", {S("abcde"), N(0), N(3)}, "ab"},
      {"substring", {S("abc"), N(5)}, ""},
      {"substring", {S("abc"), N(0)}, "abc"},
      {"substring", {S("abc"), N(-1)}, "abc"},
      {"substring", {S("abc"), N(2)}, "bc"},
      {"substring", {S("abc"), N(2), N(-1)}, ""},
      {"substring", {S("abcde"), N(kNaN), N(3)}, ""},
      {"substring", {S("abcde"), N(1), N(kNaN)}, ""},
      {"substring", {S("abcde"), N(-42), N(kInfinity)}, "abcde"},
      {"substring", {S("abcde"), N(-kInfinity), N(kInfinity)}, ""},
      {"substring", {S("abc"), N(1), N(kInfinity)}, "abc"},
      {"substring", {S("abc"), N(-3e9)}, "abc"},
      {"substring", {S("abc"), N(kInfinity)}, ""},
      {"substring", {S("abcde"), S(" 2 "), S("2")}, "bc"},
      {"substring", {S("a\xC3\xA9z"), N(2), N(1)}, "\xC3\xA9"},
      {"substring", {S("a\xC3\xA9z"), N(2)}, "\xC3\xA9z"},
      {"substring", {S("abc"), N(kNaN)}, ""},
  };
  for (Case c : cases) {
    std::string label = std::string(stringOf(c.args[1]).view()) + ", " +
                        (c.args.size() > 2 ? stringOf(c.args[2]).c_str() : "-");
    EXPECT_EQ(stringOf(call(c.function, std::move(c.args))).view(), c.expected) << label;
  }
}

TEST_F(FunctionsTest, MissingArgumentMeansTheContextNode) {
  EvalContext context;
  context.contextNode = b;
  context.position = 3;
  EXPECT_EQ(stringOf(call("string", {}, context)).view(), "10");
  EXPECT_EQ(numberOf(call("number", {}, context)), 10);
  EXPECT_EQ(numberOf(call("string-length", {}, context)), 2);
  EXPECT_EQ(stringOf(call("name", {}, context)).view(), "p:b");
  EXPECT_EQ(stringOf(call("local-name", {}, context)).view(), "b");
  EXPECT_EQ(stringOf(call("namespace-uri", {}, context)).view(), "urn:p");
  EXPECT_EQ(numberOf(call("position", {}, context)), 3);

  context.contextNode = r;
  EXPECT_EQ(stringOf(call("normalize-space", {}, context)).view(), "510abctail");
}

TEST_F(FunctionsTest, NamesOfEveryNodeKind) {
  struct NameCase {
    const char* label;
    Node* node;
    const char* name;
    const char* localName;
    const char* namespaceURI;
  };
  const NameCase cases[] = {
      {"prefixed element", b, "p:b", "b", "urn:p"},
      {"element", a, "a", "a", ""},
      {"prefixed attribute", at, "p:at", "at", "urn:p"},
      {"attribute", id, "id", "id", ""},
      {"processing instruction", pi, "pi", "pi", ""},
      {"namespace node", ns, "p", "p", ""},
      {"text", tail, "", "", ""},
      {"root", &source_, "", "", ""},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(stringOf(call("name", {set({c.node})})).view(), c.name) << c.label;
    EXPECT_EQ(stringOf(call("local-name", {set({c.node})})).view(), c.localName) << c.label;
    EXPECT_EQ(stringOf(call("namespace-uri", {set({c.node})})).view(), c.namespaceURI) << c.label;
  }
  for (const char* function : {"name", "local-name", "namespace-uri"}) {
    EXPECT_EQ(stringOf(call(function, {set({})})).view(), "") << function;
    EXPECT_EQ(stringOf(call(function, {S("a")})).view(), "") << function;
  }
}

TEST_F(FunctionsTest, ErrorMessagesCarryTheCallPosition) {
  EXPECT_EQ(errorOf("count", {N(1)}), "You can only count the members of a nodeset at 7");
  EXPECT_EQ(errorOf("count", {fragment()}), "You can only count the members of a nodeset at 7");
  EXPECT_EQ(errorOf("sum", {S("1")}), "You can only sum the members of a nodeset at 7");
}

TEST(Utf8Test, TruncatedSequencesNeverReadPastTheText) {
  // A lead byte announcing more bytes than remain counts as one character.
  ArgumentList args{Value::makeString("ab\xF0")};
  Token token{TokenKind::FunctionName, "string-length", 13, 0};
  EvalContext context;
  EXPECT_EQ(numberOf(coreFunctions().find("", "string-length")->function(token, context, args)), 3);
  ArgumentList translateArgs{Value::makeString("a\xE2"), Value::makeString("\xE2"),
                             Value::makeString("b")};
  EXPECT_EQ(stringOf(coreFunctions().find("", "translate")->function(token, context, translateArgs))
                .view(),
            "ab");
}

TEST(ArgumentListTest, HoldsAndBorrowsValuesInCallOrder) {
  Value borrowed = Value::makeString("b");
  ArgumentList args;
  args.push_back(Value::makeString("a"));
  args.borrow(borrowed);
  for (int i = 0; i < 8; ++i)  // past the inline room of both the list and concat
    args.push_back(Value::makeNumber(i));
  ASSERT_EQ(args.size(), 10u);
  EXPECT_EQ(&args[1], &borrowed);
  ArgumentList copy(args);
  Token token{TokenKind::FunctionName, "concat", 6, 0};
  EvalContext context;
  EXPECT_EQ(stringOf(coreFunctions().find("", "concat")->function(token, context, copy)).view(),
            "ab01234567");
  EXPECT_EQ(stringOf(coreFunctions().find("", "concat")->function(token, context, args)).view(),
            "ab01234567");
}

}  // namespace
}  // namespace ovra
