#include "base/exceptions.h"
#include "tests/support/scratch_files.h"
#include "tests/support/test_document.h"
#include "tests/support/test_transform.h"
#include "tests/support/xpath_helpers.h"
#include "tree/document.h"
#include "tree/document_registry.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "xpath/expr.h"
#include "xpath/parser.h"
#include "xslt/functions.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>

namespace ovra {
namespace {


Value S(const char* text) {
  return Value::makeString(text);
}
Value N(double number) {
  return Value::makeNumber(number);
}

// Calls the function of that name in no namespace, as xsltFunctions() holds it.
Value call(std::string_view name, ArgumentList args, const EvalContext& context = {}) {
  return callFunction(xsltFunctions(), name, std::move(args), context);
}

std::string errorOf(std::string_view name, ArgumentList args, const EvalContext& context = {}) {
  return callError(xsltFunctions(), name, std::move(args), context);
}

// ---- The registry ----

Value constantOne(const Token&, const EvalContext&, ArgumentList&) {
  return Value::makeNumber(1);
}
Value constantTwo(const Token&, const EvalContext&, ArgumentList&) {
  return Value::makeNumber(2);
}

TEST(FunctionRegistryTest, FindsByNamespaceAndLocalName) {
  FunctionRegistry registry;
  registry.add("", "f", {0, 0, constantOne});
  registry.add("urn:a", "f", {1, 2, constantTwo});
  ASSERT_NE(registry.find("", "f"), nullptr);
  EXPECT_EQ(registry.find("", "f")->function, constantOne);
  ASSERT_NE(registry.find("urn:a", "f"), nullptr);
  EXPECT_EQ(registry.find("urn:a", "f")->function, constantTwo);
  EXPECT_EQ(registry.find("urn:a", "f")->maxArguments, 2u);
  EXPECT_EQ(registry.find("urn:b", "f"), nullptr);
  EXPECT_EQ(registry.find("", "g"), nullptr);
  // A later entry replaces an earlier one of the same name.
  registry.add("urn:a", "f", {0, 0, constantOne});
  EXPECT_EQ(registry.find("urn:a", "f")->function, constantOne);
  EXPECT_EQ(registry.size(), 2u);
}

TEST(FunctionRegistryTest, LayersHoldWhatTheyRegister) {
  EXPECT_EQ(coreFunctions().size(), 27u);
  EXPECT_EQ(coreFunctions().find("", "key"), nullptr);
  EXPECT_EQ(coreFunctions().find("", "document"), nullptr);
  for (const char* name :
       {"current", "document", "element-available", "format-number", "function-available",
        "generate-id", "key", "system-property", "unparsed-entity-uri", "concat", "last"})
    EXPECT_NE(xsltFunctions().find("", name), nullptr) << name;
  for (const char* missing : {"Count", "count ", "current-group"})
    EXPECT_EQ(xsltFunctions().find("", missing), nullptr) << missing;
}

// ---- Calls in stylesheets ----

struct CallCase {
  const char* expression;  // as valueOfExpression() runs it
  const char* expected;    // the output, or "ERROR: " and the message
};

constexpr CallCase kCallCases[] = {
    // Any prefix bound to a namespace finds its functions.
    {"exsl:object-type(1)", "number"},
    {"common:object-type(1)", "number"},
    {"function-available('exsl:node-set')", "true"},
    {"function-available('common:node-set')", "true"},
    {"function-available('str:padding')", "true"},
    {"function-available('my:node-set')", "false"},
    {"function-available('concat')", "true"},
    {"function-available('key')", "true"},
    {"function-available('node-set')", "false"},
    {"function-available('nope:x')", "ERROR: s.xsl:1: error: Undeclared namespace prefix, nope"},
    {"system-property('nope:version')", "ERROR: s.xsl:1: error: Undeclared namespace prefix, nope"},
    {"format-number(1, '0', 'nope:f')", "ERROR: s.xsl:1: error: Undeclared namespace prefix, nope"},
    // An unknown extension function compiles; only calling it is an error.
    {"'guarded'", "guarded"},
    {"concat(function-available('my:f'), substring(my:f(), 1, 0))",
     "ERROR: s.xsl:1: error: Unsupported function, my:f"},
    {"my:f(1, 2, 3)", "ERROR: s.xsl:1: error: Unsupported function, my:f"},
    // An unknown function in no namespace is an error at once.
    {"f()", "ERROR: s.xsl:1: error: Unsupported function, f\n  f()\n  ^"},
    // Arity bounds, core and extension alike.
    {"substring('abc')", "ERROR: s.xsl:1: error: Wrong number of arguments to function, substring\n"
                         "  substring('abc')\n  ^"},
    {"exsl:node-set()",
     "ERROR: s.xsl:1: error: Wrong number of arguments to function, exsl:node-set\n"
     "  exsl:node-set()\n  ^"},
    {"str:padding(1, 'a', 'b')",
     "ERROR: s.xsl:1: error: Wrong number of arguments to function, str:padding\n"
     "  str:padding(1, 'a', 'b')\n  ^"},
    // concat() takes any number of arguments from two on.
    {"concat('a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l')", "abcdefghijkl"},
    {"concat('a')",
     "ERROR: s.xsl:1: error: Wrong number of arguments to function, concat\n  concat('a')\n  ^"},
    // A prefix that nothing binds, in a function name, a name test or a variable.
    {"nope:f()", "ERROR: s.xsl:1: error: Undeclared namespace prefix, nope\n  nope:f()\n  ^"},
    {"count(//nope:a)",
     "ERROR: s.xsl:1: error: Undeclared namespace prefix, nope\n  count(//nope:a)\n          ^"},
    {"count(//nope:*)",
     "ERROR: s.xsl:1: error: Undeclared namespace prefix, nope\n  count(//nope:*)\n          ^"},
    {"$nope:v", "ERROR: s.xsl:1: error: Undeclared namespace prefix, nope\n  $nope:v\n  ^"},
    {"count(//xml:a)", "0"},
};

TEST(FunctionCallsTest, ResolveByExpandedNameAndCheckArity) {
  for (const CallCase& c : kCallCases) {
    EXPECT_EQ(valueOfExpression(c.expression), c.expected) << c.expression;
  }
}

TEST(FunctionCallsTest, UnboundPrefixInAPatternIsAnError) {
  EXPECT_EQ(transformOrError(stylesheetOf("<xsl:template match='nope:a'/>"), "<r/>"),
            "ERROR: s.xsl:1: error: Undeclared namespace prefix, nope\n"
            "  nope:a\n"
            "  ^");
}

// ---- The XSLT functions ----

// Source: <r><a>5</a><b>10</b><c>abc</c>tail</r>
// Stylesheet: <xsl:t xmlns:xsl="XSLT"/> and <t xmlns="XSLT"/>.
class XsltFunctionsTest : public ::testing::Test {
 protected:
  XsltFunctionsTest() {
    r = appendElement(&source_, emptyName(), "", "r");
    a = appendElement(r, emptyName(), "", "a", "5");
    b = appendElement(r, emptyName(), "", "b", "10");
    c = appendElement(r, emptyName(), "", "c", "abc");
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
  Node* a;
  Node* b;
  Node* c;
  Node* tail;
  Node* prefixed;
  Node* defaulted;
};

struct Case {
  const char* function;
  ArgumentList args;
  const char* expected;  // the result's string value
};

TEST_F(XsltFunctionsTest, CurrentAndGeneratedIds) {
  EvalContext context;
  context.contextNode = b;
  context.currentNode = c;
  Value current = call("current", {}, context);
  ASSERT_EQ(current.kind(), ValueKind::NodeSet);
  EXPECT_EQ(current.nodes(), NodeVector{c});
  EXPECT_EQ(stringOf(call("generate-id", {}, context)).view(),
            stringOf(call("generate-id", {set({b})})).view());
  EXPECT_EQ(stringOf(call("generate-id", {set({})})).view(), "");
  EXPECT_EQ(stringOf(call("generate-id", {S("a")})).view(), "");
}

TEST_F(XsltFunctionsTest, GeneratedIdsAreDistinctLowercaseHex) {
  std::set<std::string> ids;
  for (Node* node : {r, a, b, c, tail}) {
    std::string text = stringOf(call("generate-id", {set({node, c})})).c_str();
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text[0], 'N');
    EXPECT_EQ(text.find_first_not_of("0123456789abcdef", 1), std::string::npos) << text;
    ids.insert(text);
  }
  EXPECT_EQ(ids.size(), 5u);
}

TEST_F(XsltFunctionsTest, AvailabilityOfFunctionsAndInstructions) {
  EvalContext context;
  context.stylesheetElement = prefixed;
  const Case cases[] = {
      {"function-available", {S("concat")}, "true"},
      {"function-available", {S("format-number")}, "true"},
      {"function-available", {S("frobnicate")}, "false"},
      {"function-available", {S("last")}, "true"},
      {"function-available", {S("xsl:concat")}, "false"},
      {"function-available", {S("generate-id")}, "true"},
      {"element-available", {S("xsl:value-of")}, "true"},
      {"element-available", {S("xsl:processing-instruction")}, "true"},
      {"element-available", {S("xsl:comment")}, "true"},
      {"element-available", {S("xsl:fallback")}, "true"},
      {"element-available", {S("xsl:frobnicate")}, "false"},
      // Known to the compiler, but no instructions.
      {"element-available", {S("xsl:template")}, "false"},
      {"element-available", {S("xsl:decimal-format")}, "false"},
      {"element-available", {S("xsl:sort")}, "false"},
      {"element-available", {S("value-of")}, "false"},
  };
  for (Case c : cases) {
    std::string label = stringOf(c.args[0]).c_str();
    EXPECT_EQ(stringOf(call(c.function, std::move(c.args), context)).view(), c.expected) << label;
  }
  EXPECT_EQ(errorOf("element-available", {S("p:value-of")}, context),
            "Undeclared namespace prefix, p at 7");
  context.stylesheetElement = defaulted;
  EXPECT_TRUE(booleanOf(call("element-available", {S("value-of")}, context)));
  context.stylesheetElement = nullptr;
  EXPECT_EQ(errorOf("element-available", {S("xsl:value-of")}, context),
            "Undeclared namespace prefix, xsl at 7");
}

TEST_F(XsltFunctionsTest, DocumentErrorsCarryTheCallPosition) {
  EvalContext context;
  context.stylesheetElement = prefixed;
  EXPECT_EQ(
      errorOf("document", {S("x.xml"), set({})}, context),
      "The second argument of document() must be a nodeset containing at least one entry at 7");
  EXPECT_EQ(
      errorOf("document", {S("x.xml"), N(1)}, context),
      "The second argument of document() must be a nodeset containing at least one entry at 7");
  // Hand-built trees belong to no Document, so there is nothing to resolve against.
  EXPECT_EQ(errorOf("document", {S("x.xml")}, context),
            "document() has no document to resolve a reference against at 7");
  EXPECT_EQ(call("document", {set({})}, context).kind(), ValueKind::NodeSet);
}

// document() in stylesheets run from a fresh folder holding a.xml, b.xml, sp ace/c.xml
// and list.xml (naming a.xml twice and b.xml); the stylesheet s.xsl resolves relative
// references against the current folder, which the test makes the fresh one.
class DocumentFunctionTest : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    std::filesystem::create_directories(dir_ / "sp ace");
    write("a.xml", "<a>A</a>");
    write("b.xml", "<b>B</b>");
    write("sp ace/c.xml", "<c>C</c>");
    write("list.xml", "<l><f>b.xml</f><f>a.xml</f><f>a.xml</f></l>");
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    ScratchDirTest::TearDown();
  }

  void write(const char* name, const char* text) { std::ofstream(dir_ / name) << text; }

  std::filesystem::path previous_;
};

struct DocumentCase {
  const char* expression;
  const char* expected;  // as valueOfExpression() gives it
};

TEST_F(DocumentFunctionTest, OneDocumentPerLocation) {
  const std::string absolute = (dir_ / "a.xml").string();
  const std::string fileUri = "file://" + absolute;
  const DocumentCase cases[] = {
      {"count(document('a.xml') | document('a.xml'))", "1"},
      {"generate-id(document('a.xml')) = generate-id(document('./a.xml'))", "true"},
      {"count(document('a.xml') | document('sp%20ace/../a.xml'))", "1"},
      // A node-set names one document per member, each once, in document order.
      {"count(document(document('list.xml')/l/f))", "2"},
      {"count(document(document('list.xml')/l/f) | document('b.xml'))", "2"},
      {"count(document(/nothing))", "0"},
      {"concat(document('a.xml'), document('sp%20ace/c.xml'))", "AC"},
      {"document('a.xml#part')", "A"},
      // The empty reference is the stylesheet module.
      {"name(document('')/*)", "xsl:stylesheet"},
      {"count(document('')/*/xsl:template)", "1"},
      // Any other value is converted to a string: a result tree fragment, a number.
      {"count(document($rtf))", "WARNING: Could not load document '1': /"},
      {"count(document(exsl:node-set($rtf)/x))", "WARNING: Could not load document '1': /"},
      {"count(document(1))", "WARNING: Could not load document '1': /"},
      // What cannot be read is a warning and an empty node-set.
      {"count(document('none.xml'))", "WARNING: Could not load document 'none.xml': /"},
      {"count(document('http://example.com/a.xml'))",
       "WARNING: Could not load document 'http://example.com/a.xml': http://example.com/a.xml: "
       "ovra reads no network resources (an XML catalog can map it to a local file) on line 1 "
       "in s.xsl\n0"},
  };
  for (const DocumentCase& c : cases) {
    std::string result = valueOfExpression(c.expression);
    if (std::string_view(c.expected).ends_with("/"))
      EXPECT_TRUE(result.starts_with(c.expected)) << c.expression << ": " << result;
    else
      EXPECT_EQ(result, c.expected) << c.expression;
  }
  EXPECT_EQ(valueOfExpression("document('" + absolute + "')"), "A");
  EXPECT_EQ(valueOfExpression("document('" + fileUri + "')"), "A");
  EXPECT_EQ(valueOfExpression("count(document('" + fileUri + "') | document('a.xml'))"), "1");
  std::string missing = valueOfExpression("count(document('none.xml'))");
  EXPECT_EQ(missing, "WARNING: Could not load document 'none.xml': " +
                         (dir_ / "none.xml").string() +
                         ": No such file or directory on line 1 in s.xsl\n0");
}

// The host that gives document() a registry, as a transformation does.
class RegistryHost : public EvaluationHost {
 public:
  const Value* variable(StringRef, StringRef, const EvalContext&) override { return nullptr; }
  DocumentRegistry* documents() override { return &documents_; }
  DocumentRegistry documents_;
};

TEST_F(DocumentFunctionTest, ManyCallsReadTheFileOnce) {
  std::unique_ptr<Document> stylesheet = Document::fromText("<s/>", "s.xsl", 4096, true);
  stylesheet->parseAll();
  RegistryHost host;
  EvalContext context;
  context.host = &host;
  context.stylesheetElement = stylesheet->root()->firstChild();
  Node* first = nullptr;
  for (int i = 0; i < 3000; ++i) {
    Value result = call("document", {S("a.xml")}, context);
    ASSERT_EQ(result.nodes().size(), 1u);
    if (first == nullptr)
      first = result.nodes()[0];
    EXPECT_EQ(result.nodes()[0], first);
  }
  EXPECT_EQ(host.documents_.size(), 1u);
  EXPECT_EQ(renderTree(first), "<a>\"A\"</a>");
}

}  // namespace
}  // namespace ovra
