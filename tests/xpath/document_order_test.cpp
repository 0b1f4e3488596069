#include "tests/support/test_document.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "xpath/expr.h"
#include "xpath/parser.h"
#include "xpath/runtime/functions.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace ovra {
namespace {

// The nodes of a node-set result, space-separated: an element by its local name, an
// attribute as @name, a namespace node as ns:prefix, the root as /; any other result as
// its string value.
std::string evaluateAt(Node* context, std::string_view expression) {
  registerCoreFunctions();
  std::unique_ptr<Expr> expr = compileXPath(expression, context);
  EvalContext evalContext;
  evalContext.contextNode = context;
  evalContext.size = 1;
  Value value = expr->evaluate(evalContext);
  if (value.kind != ValueKind::NodeSet)
    return std::string(stringOf(value).view());
  std::string out;
  for (Node* node : value.nodes) {
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

TEST(DocumentOrderTest, NamespaceNodesFollowTheirElementAndComeOnce) {
  TestDocument doc("<r xmlns:p='urn:p' a='1'><e xmlns:q='urn:q' b='2'/><f/></r>");
  struct Case {
    const char* expression;
    const char* expected;
  };
  constexpr Case kCases[] = {
      // Every element has the xml namespace in scope, held by the root.
      {"/r/namespace::*", "ns:xml ns:p"},
      {"/r/e/namespace::*", "ns:xml ns:p ns:q"},
      {"/r/namespace::xml", "ns:xml"},
      {"string(/r/f/namespace::xml)", "http://www.w3.org/XML/1998/namespace"},
      {"name(/r/f/namespace::*[1])", "p"},  // the nearest declaration first
      // A declaration in scope on several elements is one node.
      {"//*/namespace::*", "ns:xml ns:p ns:q"},
      {"count(//namespace::*)", "3"},
      // An element, then its namespace nodes, then its attributes, then its children.
      {"/r/e/@* | /r/e/namespace::* | /r/e | /r/@*", "ns:xml ns:p @a e ns:q @b"},
      {"/r/e/namespace::q | /r/e/@b | /r/e", "e ns:q @b"},
      {"/r/namespace::* | /r/@* | /r | /r/e", "ns:xml r ns:p @a e"},
      {"(/r/namespace::p | /r/e/namespace::*)/..", "/ r e"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(evaluateAt(doc.root(), c.expression), c.expected) << c.expression;
}

}  // namespace
}  // namespace ovra
