// The namespace axis hands out every declaration in scope, the ancestors' included,
// innermost first. So one element's namespace nodes are not in document order, and the
// elements of a step share them: a path must sort what a namespace step collects.
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
  if (value.kind != ValueKind::NodeSet)
    return stringOf(value).c_str();
  std::string text;
  for (Node* node : value.nodes) {
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
    {"count(//*/namespace::*)", "3"},
    {"count(//*[count(ancestor::*) >= 0]/namespace::*)", "3"},
    {"//*/namespace::*", "http://www.w3.org/XML/1998/namespace urn:p urn:q"},
    {"/r/z/namespace::*",
     "http://www.w3.org/XML/1998/namespace urn:p urn:q"},  // document order, not the axis's
    {"/r/z/namespace::*[1]", "urn:q"},                     // positions count along the axis
    {"count(//w/namespace::* | //x/namespace::*)", "3"},
};

TEST(NamespaceStepTest, StepsGiveDocumentOrderWithoutDuplicates) {
  TestDocument doc("<r xmlns:p='urn:p'><x/><z xmlns:q='urn:q'><w/></z></r>", /*bufferSize=*/7);
  for (const NamespaceCase& c : kNamespaceCases)
    EXPECT_EQ(evaluateAtRoot(doc, c.expression), c.expected) << c.expression;
}

}  // namespace
}  // namespace ovra
