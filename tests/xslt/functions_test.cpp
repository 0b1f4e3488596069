#include "base/exceptions.h"
#include "tests/support/scratch_files.h"
#include "tests/support/test_transform.h"
#include "tree/document.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "xpath/expr.h"
#include "xpath/parser.h"
#include "xslt/functions.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

namespace ovra {
namespace {

constexpr std::int32_t kCallPosition = 7;

Value S(const char* text) {
  return Value::makeString(text);
}
Value N(double number) {
  return Value::makeNumber(number);
}

// Calls the function of that name in no namespace, as xsltFunctions() holds it.
Value call(std::string_view name, ArgumentList args, const EvalContext& context = {}) {
  const FunctionEntry* entry = xsltFunctions().find("", name);
  if (entry == nullptr) {
    ADD_FAILURE() << "no function " << name;
    return Value();
  }
  EXPECT_GE(args.size(), entry->minArguments) << name;
  EXPECT_LE(args.size(), entry->maxArguments) << name;
  Token token{TokenKind::FunctionName, name.data(), std::int32_t(name.size()), kCallPosition};
  return entry->function(token, context, args);
}

std::string errorOf(std::string_view name, ArgumentList args, const EvalContext& context = {}) {
  try {
    call(name, std::move(args), context);
  } catch (const EvaluateException& error) {
    return error.message().c_str();
  }
  return "no error";
}

ElementNode* appendElement(Node* parent, StringRef namespaceURI, std::string_view prefix,
                           std::string_view name, std::string_view text = {}) {
  auto* element = new ElementNode(namespaceURI, intern(name), intern(prefix), 0, true);
  parent->appendChild(element);
  if (!text.empty())
    element->appendChild(TextNode::makeOwned(text));
  return element;
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
    {"function-available('nope:x')", "ERROR: Undeclared namespace prefix, nope at 0 on line 1 in "
                                     "s.xsl"},
    // An unknown extension function compiles; only calling it is an error.
    {"'guarded'", "guarded"},
    {"concat(function-available('my:f'), substring(my:f(), 1, 0))",
     "ERROR: Unsupported function, my:f at 44 on line 1 in s.xsl"},
    {"my:f(1, 2, 3)", "ERROR: Unsupported function, my:f at 0 on line 1 in s.xsl"},
    // An unknown function in no namespace is an error at once.
    {"f()", "ERROR: Unsupported function, f at 0 on line 1 in s.xsl"},
    // Arity bounds, core and extension alike.
    {"substring('abc')", "ERROR: Wrong number of arguments to function, substring at 0 on "
                         "line 1 in s.xsl"},
    {"exsl:node-set()", "ERROR: Wrong number of arguments to function, exsl:node-set at 0 on "
                        "line 1 in s.xsl"},
    {"str:padding(1, 'a', 'b')", "ERROR: Wrong number of arguments to function, str:padding "
                                 "at 0 on line 1 in s.xsl"},
    // concat() takes any number of arguments from two on.
    {"concat('a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l')", "abcdefghijkl"},
    {"concat('a')", "ERROR: Wrong number of arguments to function, concat at 0 on line 1 in "
                    "s.xsl"},
    // A prefix that nothing binds, in a function name, a name test or a variable.
    {"nope:f()", "ERROR: Undeclared namespace prefix, nope at 0 on line 1 in s.xsl"},
    {"count(//nope:a)", "ERROR: Undeclared namespace prefix, nope at 8 on line 1 in s.xsl"},
    {"count(//nope:*)", "ERROR: Undeclared namespace prefix, nope at 8 on line 1 in s.xsl"},
    {"$nope:v", "ERROR: Undeclared namespace prefix, nope at 0 on line 1 in s.xsl"},
    {"count(//xml:a)", "0"},
};

TEST(FunctionCallsTest, ResolveByExpandedNameAndCheckArity) {
  for (const CallCase& c : kCallCases) {
    std::string expected = c.expected;
    if (expected.starts_with("ERROR: "))
      expected += "\n";
    EXPECT_EQ(valueOfExpression(c.expression), expected) << c.expression;
  }
}

TEST(FunctionCallsTest, UnboundPrefixInAPatternIsAnError) {
  EXPECT_EQ(transformOrError(stylesheetOf("<xsl:template match='nope:a'/>"), "<r/>"),
            "ERROR: Undeclared namespace prefix, nope at 0 on line 1 in s.xsl\n");
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
  ASSERT_EQ(current.kind, ValueKind::NodeSet);
  EXPECT_EQ(current.nodes, NodeVector{c});
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

  EXPECT_EQ(errorOf("document", {N(1)}, context),
            "The first argument of document() must be a nodeset or string at 7");
  EXPECT_EQ(errorOf("document", {S("x.xml"), set({})}, context),
            "The second argument of document() must be a nodeset containing at least one "
            "entry at 7");
  EXPECT_EQ(errorOf("document", {S("x.xml"), N(1)}, context),
            "The second argument of document() must be a nodeset containing at least one "
            "entry at 7");
  // Hand-built trees belong to no Document, so there is nothing to resolve against.
  EXPECT_EQ(errorOf("document", {S("x.xml")}, context),
            "document() has no document to resolve a reference against at 7");
}

TEST_F(XsltFunctionsTest, DocumentOfAnEmptyNodeSetIsNoValue) {
  EvalContext context;
  context.stylesheetElement = prefixed;
  EXPECT_EQ(call("document", {set({})}, context).kind, ValueKind::None);
}

// Files in a fresh folder: dir/s.xsl, and dir/sub/ holding one.xml, two.xml and
// list.xml, whose f elements name the other two relative to sub/.
class DocumentFunctionTest : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    std::filesystem::create_directories(dir_ / "sub");
    write("s.xsl", "<s/>");
    write("sub/one.xml", "<one/>");
    write("sub/two.xml", "<two/>");
    write("sub/list.xml", "<l><f>two.xml</f><f>one.xml</f></l>");
    stylesheet_ = std::make_unique<Document>(String((dir_ / "s.xsl").c_str()), 4096, true);
    stylesheet_->parseAll();
    context_.stylesheetElement = stylesheet_->root()->firstChild();
  }

  void write(const char* name, const char* text) {
    std::FILE* file = std::fopen((dir_ / name).c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs(text, file);
    std::fclose(file);
  }

  // The names of the document elements of the roots in a result.
  static std::string documentElements(const Value& value) {
    std::string names;
    auto add = [&names](Node* root) {
      names += names.empty() ? "" : " ";
      names += root->firstChild()->localName().view();
    };
    if (value.kind == ValueKind::Node)
      add(value.node);
    for (Node* root : value.nodes)
      add(root);
    return names;
  }

  std::unique_ptr<Document> stylesheet_;
  EvalContext context_;
};

TEST_F(DocumentFunctionTest, MembersNameDocumentsRelativeToTheirOwnDocument) {
  Value list = call("document", {S("sub/list.xml")}, context_);
  ASSERT_EQ(list.kind, ValueKind::Node);
  Node* l = list.node->firstChild();
  Value names = Value::makeNodeSet({l->firstChild(), l->lastChild()});
  Value roots = call("document", {names}, context_);
  // Every document named, in document order (the order they were opened in).
  EXPECT_EQ(roots.kind, ValueKind::NodeSet);
  EXPECT_EQ(documentElements(roots), "two one");
  // One member gives one root.
  EXPECT_EQ(documentElements(call("document", {Value::makeNode(l->firstChild())}, context_)),
            "two");
  // A second argument sets the base for every member: the stylesheet's folder has no
  // two.xml.
  EXPECT_THROW(call("document", {names, Value::makeNode(context_.stylesheetElement)}, context_),
               DocumentParseException);
  EXPECT_EQ(documentElements(call("document", {S("one.xml"), Value::makeNode(l)}, context_)),
            "one");
}

TEST_F(DocumentFunctionTest, StepsFromSeveralDocumentsKeepTheirOrder) {
  // two.xml's root is made before one.xml's, and both before either is read: the
  // document elements come in the order of their roots.
  std::unique_ptr<Expr> expr = compileXPath("document(document('sub/list.xml')/l/f)/*",
                                            context_.stylesheetElement, xsltFunctions());
  EvalContext context = context_;
  context.contextNode = context_.stylesheetElement;
  Value elements = expr->evaluate(context);
  std::string names;
  for (Node* element : elements.nodes)
    names += std::string(element->localName().view()) + " ";
  EXPECT_EQ(names, "two one ");
}

}  // namespace
}  // namespace ovra
