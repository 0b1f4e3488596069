// Every element has its own namespace nodes, which follow it in document order: a
// namespace step over elements in document order keeps that order, and no two elements
// share a node.
#include "tests/support/test_document.h"
#include "tree/node.h"
#include "xpath/expr.h"
#include "xpath/parser.h"
#include "xpath/runtime/value.h"

#include <gtest/gtest.h>

#include <string>

namespace ovra {
namespace {

// Node-sets as the string values of their nodes joined by spaces, in the order given.
std::string evaluateAtRoot(const TestDocument& doc, const char* expression) {
  std::unique_ptr<Expr> compiled = compileXPath(expression, doc.root());
  EvalContext context;
  context.contextNode = context.currentNode = context.stylesheetElement = doc.root();
  Value value = compiled->evaluate(context);
  if (value.kind() != ValueKind::NodeSet)
    return stringOf(value).c_str();
  std::string text;
  for (Node* node : value.nodes()) {
    if (!text.empty())
      text += ' ';
    text += node->stringValue().view();
  }
  return text;
}

struct NamespaceCase {
  const char* expression;
  const char* expected;
};

constexpr NamespaceCase kNamespaceCases[] = {
    {"count(//*/namespace::*)", "10"},  // r 2, x 2, z 3, w 3
    {"count(//*[count(ancestor::*) >= 0]/namespace::*)", "10"},
    {"//*/namespace::p", "urn:p urn:p urn:p urn:p"},
    {"/r/z/namespace::*", "http://www.w3.org/XML/1998/namespace urn:p urn:q"},
    {"/r/z/namespace::*[1]", "http://www.w3.org/XML/1998/namespace"},
    {"/r/z/namespace::*[last()]", "urn:q"},
    {"count(//w/namespace::* | //x/namespace::*)", "5"},
    {"count(//w/namespace::* | //w/namespace::*)", "3"},
};

TEST(NamespaceStepTest, StepsGiveDocumentOrderWithoutDuplicates) {
  TestDocument doc("<r xmlns:p='urn:p'><x/><z xmlns:q='urn:q'><w/></z></r>", /*bufferSize=*/7);
  for (const NamespaceCase& c : kNamespaceCases)
    EXPECT_EQ(evaluateAtRoot(doc, c.expression), c.expected) << c.expression;
}

// The nodes of a node-set result, space-separated: an element by its local name, an
// attribute as @name, a namespace node as ns:prefix, the root as /; any other result as
// its string value.
std::string labelsAt(Node* context, std::string_view expression) {
  std::unique_ptr<Expr> expr = compileXPath(expression, context);
  EvalContext evalContext;
  evalContext.contextNode = context;
  evalContext.size = 1;
  Value value = expr->evaluate(evalContext);
  if (value.kind() != ValueKind::NodeSet)
    return std::string(stringOf(value).view());
  std::string out;
  for (Node* node : value.nodes()) {
    if (!out.empty())
      out += ' ';
    switch (node->kind()) {
    case NodeKind::Attribute:
      out += '@';
      break;
    case NodeKind::Namespace:
      out += "ns:";
      break;
    case NodeKind::Root:
      out += '/';
      break;
    default:
      break;
    }
    out += node->localName().view();
  }
  return out;
}

TEST(NamespaceStepTest, NamespaceNodesFollowTheirElement) {
  TestDocument doc("<r xmlns:p='urn:p' a='1'><e xmlns:q='urn:q' b='2'/><f/></r>");
  struct Case {
    const char* expression;
    const char* expected;
  };
  constexpr Case kCases[] = {
      {"/r/namespace::*", "ns:xml ns:p"},
      {"/r/e/namespace::*", "ns:xml ns:p ns:q"},
      {"/r/namespace::xml", "ns:xml"},
      {"string(/r/f/namespace::xml)", "http://www.w3.org/XML/1998/namespace"},
      {"name(/r/f/namespace::*[2])", "p"},
      {"//*/namespace::*", "ns:xml ns:p ns:xml ns:p ns:q ns:xml ns:p"},
      {"count(//namespace::*)", "7"},
      // An element, then its namespace nodes, then its attributes, then its children.
      {"/r/e/@* | /r/e/namespace::* | /r/e | /r/@*", "@a e ns:xml ns:p ns:q @b"},
      {"/r/e/namespace::q | /r/e/@b | /r/e", "e ns:q @b"},
      {"/r/namespace::* | /r/@* | /r | /r/e", "r ns:xml ns:p @a e"},
      {"(/r/namespace::p | /r/e/namespace::*)/..", "r e"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(labelsAt(doc.root(), c.expression), c.expected) << c.expression;
}

}  // namespace
}  // namespace ovra
