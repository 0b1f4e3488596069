#include "base/exceptions.h"
#include "tests/support/test_document.h"
#include "tests/support/xpath_helpers.h"
#include "tree/node.h"
#include "xpath/expr.h"
#include "xpath/parser.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace ovra {
namespace {

// The p:b and p:a elements are in the namespace urn:p; b5 lies below two a elements.
constexpr const char* kTree =
    "<r xmlns:p='urn:p'><a id='a1'><b id='b1'/><b id='b2' x='1'><c id='c1'/></b></a>"
    "<a id='a2' x='2'><b id='b3'/><p:b id='pb'/></a><p:a id='pa'/>"
    "<d id='d1'><a id='a3'><a id='a4'><b id='b5'/></a><b id='b4'/></a></d></r>";

struct EvalCase {
  const char* expression;
  const char* expected;  // node labels (see nodeLabel), a string value, or "error: " + message
};

void expectAll(Node* context, const EvalCase* begin, const EvalCase* end,
               const Node* namespaceContext = nullptr, EvaluationHost* variables = nullptr) {
  for (const EvalCase* c = begin; c != end; ++c)
    EXPECT_EQ(evaluateAt(context, c->expression, namespaceContext, variables), c->expected)
        << c->expression;
}

template <std::size_t N>
void expectAll(Node* context, const EvalCase (&cases)[N], const Node* namespaceContext = nullptr,
               EvaluationHost* variables = nullptr) {
  expectAll(context, cases, cases + N, namespaceContext, variables);
}

constexpr EvalCase kOrderCases[] = {
    {"//b/..", "a1 a2 a3 a4"},
    {"count(//b/..)", "4"},
    // Counted as they stream: duplicates from several paths still count once.
    {"count(//a//b)", "5"},
    {"count(//b/ancestor::* | //a)", "6"},
    {"count((//b)[1]/following::*)", "11"},
    {"//b[@id='b5']/ancestor::*", "r d1 a3 a4"},
    {"//a/ancestor::*", "r d1 a3"},
    {"//a//b", "b1 b2 b3 b5 b4"},  // b5 is reached from a3 and from a4
    // a4 lies inside a3: its children come between a3's.
    {"//a/b", "b1 b2 b3 b5 b4"},
    {"//a/*", "b1 b2 b3 pb a4 b5 b4"},
    {"//a/*[1]", "b1 b3 a4 b5"},
    {"//a/*[2]", "b2 pb b4"},
    {"//*/a", "a1 a2 a3 a4"},
    {"//a/b/../b", "b1 b2 b3 b5 b4"},
    {"//b | //a", "a1 b1 b2 a2 b3 a3 a4 b5 b4"},
    {"//a | //a", "a1 a2 a3 a4"},
    {"//c | /r", "r c1"},
    {"(//c | /r)/@*", "@id=c1"},
    {"//b/following-sibling::*", "b2 pb"},
    {"//*[@x]/preceding-sibling::*", "a1 b1"},
    {"//b/@*", "@id=b1 @id=b2 @x=1 @id=b3 @id=b5 @id=b4"},
    {"//b[@id='b5']/ancestor-or-self::*/following::*", "b4"},
    {"/", "/"},
    {"..", ""},
    {"/r/a/self::node()", "a1 a2"},
};

constexpr EvalCase kPredicateCases[] = {
    {"/r/a[@x][1]", "a2"},  // each predicate counts among what the one before kept
    {"/r/a[1][@x]", ""},
    {"/r/a[2]", "a2"},
    {"/r/a[3]", ""},
    {"/r/a[0]", ""},
    {"/r/a[1.5]", ""},
    {"//a[1]", "a1 a3 a4"},  // the first a child of each parent
    {"(//a)[1]", "a1"},
    {"(//a)[3]", "a3"},
    {"(//a)[@x]", "a2"},
    {"(//b)[@x][1]", "b2"},
    // A later predicate's position bound ends the walk once reached; what passes stays.
    {"(//b)[@id][2]", "b2"},
    {"(//b)[@id][position() <= 2][2]", "b2"},
    {"(//b)[@id][3][1]", "b3"},
    {"//a/b[@id][1]", "b1 b3 b5 b4"},
    {"//b[@id='b5']/ancestor::*[@id][2]", "a3"},
    {"(//b)[@id][position() < 1]", ""},
    {"//b[2]", "b2"},
    {"//b[position() = 1]", "b1 b3 b5 b4"},
    {"//b[../@x]", "b3"},
    {"//a[.//c]", "a1"},
    {"//*[count(*) = 2]", "a1 a2 a3"},
    // Reverse axes count positions nearest first; results still come in document order.
    {"//c/ancestor::*[1]", "b2"},
    {"//c/ancestor::a[1]", "a1"},
    {"//b[@id='b5']/ancestor::a[1]", "a4"},
    {"//b[@id='b5']/ancestor::a[2]", "a3"},
    {"//b[@id='b5']/ancestor::*[position() < 3]", "a3 a4"},
    {"//b[@id='b5']/ancestor-or-self::*[2]", "a4"},
    {"//b[@id='b4']/preceding-sibling::*[1]", "a4"},
    {"//b[@id='b2']/preceding-sibling::b[1]", "b1"},
    {"//b/preceding-sibling::*[1]", "b1 a4"},
    {"//b[@id='b3']/preceding::*[1]", "c1"},
    {"//b[@id='b3']/preceding::*[2]", "b2"},
    {"//b[@id='b3']/preceding::b[2]", "b1"},
    {"//b[@id='b4']/preceding::*", "a1 b1 b2 c1 a2 b3 pb pa a4 b5"},
    {"//b[@id='b4']/preceding::*[position() <= 2]", "a4 b5"},
    {"//c/following::*[1]", "a2"},
    {"//b[@id='b4']/../preceding::*[1]", "pa"},
    // position() against a constant bounds the positions that pass, in either order and
    // with fractions; the axis stops there, and what passes must not change.
    {"/r/a[position() < 2]", "a1"},
    {"/r/a[position() <= 1.5]", "a1"},
    {"/r/a[position() < 2.5]", "a1 a2"},
    {"/r/a[3 > position()]", "a1 a2"},
    {"/r/a[1 >= position()]", "a1"},
    {"/r/a[position() < 1]", ""},
    {"/r/a[position() > 1]", "a2"},
    {"/r/*[position() < 3][2]", "a2"},
    {"/r/*[position() <= 3][last()]", "pa"},
    {"//a[position() < 2]", "a1 a3 a4"},
    {"(//a)[position() <= 3]", "a1 a2 a3"},
    {"(//a)[4 > position()][2]", "a2"},
    {"//b[@id='b4']/preceding-sibling::*[position() < 2]", "a4"},
    {"//b[@id='b5']/ancestor::*[2 >= position()]", "a3 a4"},
};

TEST(EvaluationTest, NodeSetsComeInDocumentOrderWithoutDuplicates) {
  TestDocument doc(kTree);
  expectAll(doc.root(), kOrderCases);
}

TEST(EvaluationTest, NodeTests) {
  TestDocument doc("<r><?x a?><?y b?><!--c-->t<e a='1' b='2'/>u</r>");
  constexpr EvalCase cases[] = {
      {"/r/node()", "?x ?y !c t:t e t:u"},
      {"/r/*", "e"},
      {"/r/text()", "t:t t:u"},
      {"/r/comment()", "!c"},
      {"/r/processing-instruction()", "?x ?y"},
      {"/r/processing-instruction('y')", "?y"},
      {"/r/processing-instruction('z')", ""},
      {"/r/e/@node()", "@a=1 @b=2"},
      {"/r/e/@*", "@a=1 @b=2"},
      {"/r/e/attribute::text()", ""},
      {"/r/e/@b/self::node()", "@b=2"},
      {"/r/e/@b/self::*", ""},  // an attribute is not of the child axis' principal kind
      {"/r/e/@b/parent::*", "e"},
      {"/r/e/@a/following-sibling::node()", ""},
      {"/r/processing-instruction('x')/following-sibling::node()[1]", "?y"},
      {"/r/text()[2]/preceding-sibling::node()[2]", "t:t"},
      {"//text()/..", "r"},
      {"/r/e/node()", ""},
  };
  expectAll(doc.root(), cases);
}

TEST(EvaluationTest, EveryElementHasItsOwnNamespaceNodes) {
  TestDocument doc("<r xmlns:p='urn:p' xmlns='urn:d'><e xmlns:q='urn:q'/><f xmlns=''/>"
                   "<g xmlns:p='urn:p2' xmlns:xml='http://www.w3.org/XML/1998/namespace'/></r>");
  constexpr const char* kXml = "xmlns:xml=http://www.w3.org/XML/1998/namespace";
  const std::string cases[][2] = {
      // The xml prefix first, then what is inherited, then the element's own.
      {"/*/*[1]/namespace::*", std::string(kXml) + " xmlns:=urn:d xmlns:p=urn:p xmlns:q=urn:q"},
      {"count(/*/*/namespace::*)", "9"},  // e 4, f 2 (xmlns='' takes the default away), g 3
      {"count(//namespace::*)", "12"},
      {"count(//namespace::p)", "4"},
      {"count(//namespace::p/..)", "4"},
      {"name(/*/*[2]/namespace::p/..)", "f"},
      {"/*/*[3]/namespace::p", "xmlns:p=urn:p2"},  // the nearer declaration wins
      {"count(/*/*[3]/namespace::xml)", "1"},      // declaring xml adds no second node
      {"name(/*/*[1]/namespace::*[1])", "xml"},
      {"name(/*/*[1]/namespace::*[last()])", "q"},
      // Namespace nodes come after their element, before its attributes and children.
      {"/*/*[1] | /*/*[1]/namespace::q | /*/namespace::p | /*/*[3]/@*",
       "xmlns:p=urn:p e xmlns:q=urn:q"},
      {"(/*/*[1]/namespace::q | /*/*[1])[1]", "e"},
      {"count(/*/namespace::p/following::*)", "3"},
      {"count(/*/namespace::p/preceding::*)", "0"},
      {"count(/*/namespace::p/ancestor::node())", "2"},
      {"namespace-uri(/*/namespace::p)", ""},
      {"local-name(/*/namespace::p)", "p"},
      {"string(/*/namespace::p)", "urn:p"},
  };
  for (const auto& [expression, expected] : cases) {
    std::string first = evaluateAt(doc.root(), expression);
    EXPECT_EQ(first, expected) << expression;
    EXPECT_EQ(evaluateAt(doc.root(), expression), first) << expression << ": the same nodes again";
  }
}

TEST(EvaluationTest, PredicatesFilterOneAfterAnother) {
  TestDocument doc(kTree);
  expectAll(doc.root(), kPredicateCases);
}

TEST(EvaluationTest, RelativePathsStartAtTheContextNode) {
  TestDocument doc(kTree);
  Node* a3 = findById(doc.root(), "a3");
  constexpr EvalCase cases[] = {
      {"b", "b4"},       {"*", "a4 b4"},           {".//b", "b5 b4"}, {"../..", "r"},
      {"/r/a", "a1 a2"}, {"ancestor::*[1]", "d1"}, {"@*", "@id=a3"},  {"count(//b)", "5"},
      {"self::a", "a3"}, {"self::b", ""},          {"a/b", "b5"},     {"string(@id)", "a3"},
  };
  expectAll(a3, cases);
}

TEST(EvaluationTest, WildcardsAndPrefixes) {
  TestDocument doc(kTree);
  Node* r = doc.root()->firstChild();  // declares p
  constexpr EvalCase cases[] = {
      {"/r/*", "a1 a2 pa d1"},                      // * matches any namespace
      {"/r/a[2]/*", "b3 pb"},  {"//p:*", "pb pa"},  // p:* only urn:p
      {"//p:b", "pb"},         {"//b[not(../p:b)]", "b1 b2 b5 b4"},
      {"count(//a)", "4"},  // an unprefixed name is in no namespace
  };
  expectAll(doc.root(), cases, r);
  // A prefix must be declared where the expression is written, for p:* as for p:b.
  EXPECT_EQ(evaluateAt(doc.root(), "//p:b"), "error: Undeclared namespace prefix, p at 2");
  EXPECT_EQ(evaluateAt(doc.root(), "/r/a[2]/p:*"), "error: Undeclared namespace prefix, p at 8");
}

TEST(EvaluationTest, Operators) {
  TestDocument doc(kTree);
  constexpr EvalCase cases[] = {
      {"7 mod -2", "1"},
      {"-7 mod 2", "-1"},
      {"1 div 0", "Infinity"},
      {"-1 div 0", "-Infinity"},
      {"0 div 0", "NaN"},
      {"-(1)", "-1"},
      {"- - 2", "2"},
      {"1 - 2 - 3", "-4"},
      {"2 + 3 * 4", "14"},
      {"0.1 + 0.2", "0.30000000000000004"},  // the shortest digits that read back
      {"1 div 3", "0.3333333333333333"},
      {"-count(//b)", "-5"},
      {"- //a[@x]/@x | //b[@x]/@x", "-1"},  // the negation of the union's first node
      // Arithmetic converts every kind of operand, left to right, as number() does.
      {"'3' - 1", "2"},
      {"-'x'", "NaN"},
      {"true() + true() * 2", "3"},
      {"//c/@id * 1", "NaN"},
      {"/r/a[@x]/@x - -1", "3"},
      {"(1 + 2) * -(3 - 1) div 4", "-1.5"},
      {"floor(-'2.5') + 1 mod 0", "NaN"},
      {"0 - 0 = -0", "true"},
      {"1 div (0 * -1)", "-Infinity"},
      {"2 * $nope", "error: Reference to undefined variable, $nope at 4"},
      {"count(//b) > 4 and count(//a) = 4", "true"},
      {"1 < 2 = (2 < 1)", "false"},
      // and/or decide on their left operand when they can.
      {"false() and $nope", "false"},
      {"true() or $nope", "true"},
      {"1 = 2 and $nope or true()", "true"},
      {"true() and $nope", "error: Reference to undefined variable, $nope at 11"},
      // Operator tokens carry no position.
      {"'a' | //b", "error: Both operands of '|' must be node-sets at 0"},
      {"//b | 1", "error: Both operands of '|' must be node-sets at 0"},
  };
  expectAll(doc.root(), cases);
}

TEST(EvaluationTest, NumbersFromTextRoundingAndNegativeZero) {
  TestDocument doc("<r><v>+1</v><v>1e2</v><v> -3 </v><w>1</w><w>2</w></r>");
  constexpr EvalCase cases[] = {
      // number(): an optional minus sign, digits and one point; white space around.
      {"number('+1')", "NaN"},
      {"number('1e2')", "NaN"},
      {"number('1.5E-1')", "NaN"},
      {"number(' -3 ')", "-3"},
      {"number('-.5')", "-0.5"},
      {"'+1' = 1", "false"},
      {"//v = 100", "false"},
      {"//v = -3", "true"},
      {"sum(//v)", "NaN"},
      {"sum(//w)", "3"},
      {"-'1e2'", "NaN"},
      // round(): halves up, -0 for -0.5 <= x < 0.
      {"round(0.49999999999999994)", "0"},
      {"round(4503599627370497)", "4503599627370497"},
      {"round(2.5)", "3"},
      {"round(-2.5)", "-2"},
      {"round(-0.6)", "-1"},
      {"1 div round(-0.5)", "-Infinity"},
      {"1 div round(-0.4)", "-Infinity"},
      {"1 div round(0.4)", "Infinity"},
      {"round(1 div 0)", "Infinity"},
      {"round(0 div 0)", "NaN"},
      // Negative zero is 0 wherever it meets text.
      {"0 * -1", "0"},
      {"string(0 * -1) = '0'", "true"},
      {"concat(-0, '|', ceiling(-0.5), '|', round(-0.2))", "0|0|0"},
      {"0 * -1 = 0", "true"},
      {"1 div (0 * -1)", "-Infinity"},
      {"number('-0') = 0", "true"},
  };
  expectAll(doc.root(), cases);
}

TEST(EvaluationTest, Variables) {
  TestDocument doc(kTree);
  TestVariables variables;
  variables.bind("nodes",
                 Value::makeNodeSet({findById(doc.root(), "a1"), findById(doc.root(), "a2")}));
  variables.bind("s", Value::makeString("abc"));
  variables.bind("n", Value::makeNumber(2));
  constexpr EvalCase cases[] = {
      {"$nodes/b", "b1 b2 b3"},  // children of the variable's nodes, not of the root
      {"$nodes[2]", "a2"},
      {"$nodes[@x]/b", "b3"},
      {"$nodes/..", "r"},
      {"count($nodes)", "2"},
      {"$nodes | //c", "a1 c1 a2"},
      {"/r/a[$n]", "a2"},  // a number variable is a position
      {"//b[$s]", "b1 b2 b3 b5 b4"},
      {"$s", "abc"},
      {"$n + 1", "3"},
      {"$missing", "error: Reference to undefined variable, $missing at 0"},
      {"1 + $missing", "error: Reference to undefined variable, $missing at 4"},
      {"//b[$missing]", "error: Reference to undefined variable, $missing at 4"},
  };
  expectAll(doc.root(), cases, nullptr, &variables);
  EXPECT_EQ(evaluateAt(doc.root(), "$s"), "error: Reference to undefined variable, $s at 0")
      << "no lookup at all";
}

TEST(EvaluationTest, StepsAndPredicatesNeedANodeSet) {
  TestDocument doc(kTree);
  TestVariables variables;
  variables.bind("s", Value::makeString("abc"));
  variables.bind("n", Value::makeNumber(2));
  variables.bind("nodes", Value::makeNodeSet({findById(doc.root(), "a1")}));
  auto fragment = std::make_shared<RootNode>(nullptr);
  variables.bind("fragment", Value::makeFragment(fragment));
  constexpr const char* kNotNodeSet =
      "error: A location step or predicate can only follow a node-set, not a ";
  const std::string cases[][2] = {
      {"'abc'/x", std::string(kNotNodeSet) + "string at 0"},
      {"(1)[1]", std::string(kNotNodeSet) + "number at 0"},
      {"1 + (1)[1]", std::string(kNotNodeSet) + "number at 4"},
      {"$s/x", std::string(kNotNodeSet) + "string at 0"},
      {"$n[1]", std::string(kNotNodeSet) + "number at 0"},
      {"string(/)//b", std::string(kNotNodeSet) + "string at 0"},
      {"true()[1]", std::string(kNotNodeSet) + "boolean at 0"},
      {"count((2)/x)", std::string(kNotNodeSet) + "number at 6"},
      {"$fragment/x",
       "error: A location step or predicate can only follow a node-set, not a result tree "
       "fragment: convert it with exsl:node-set() at 0"},
      // Node-sets, also empty ones, take steps and predicates.
      {"$nodes/b[2]", "b2"},
      {"(//z)/b", ""},
      {"(//a)[2]/b", "b3"},
      // Never evaluated, so never an error.
      {"false() and $s/x", "false"},
  };
  for (const auto& [expression, expected] : cases)
    EXPECT_EQ(evaluateAt(doc.root(), expression, nullptr, &variables), expected) << expression;
}

TEST(EvaluationTest, FunctionNamesAndArgumentCountsAreCheckedWhenCompiling) {
  constexpr EvalCase cases[] = {
      {"foo()", "Unsupported function, foo at 0"},
      {"1 + foo(2)", "Unsupported function, foo at 4"},
      {"lst()", "Unsupported function, lst at 0"},
      {"count()", "Wrong number of arguments to function, count at 0"},
      {"1 + substring('a')", "Wrong number of arguments to function, substring at 4"},
      {"concat('a')", "Wrong number of arguments to function, concat at 0"},
      {"true(1)", "Wrong number of arguments to function, true at 0"},
      {"//b[not()]", "Wrong number of arguments to function, not at 4"},
  };
  for (const EvalCase& c : cases) {
    try {
      compileXPath(c.expression, nullptr);
      ADD_FAILURE() << c.expression << " compiled";
    } catch (const EvaluateException& error) {
      EXPECT_EQ(textAt(error), c.expected) << c.expression;
    }
  }
}

// <list> with count <item> children, each with a name and a price.
std::string manyItems(int count) {
  std::string text = "<?xml version='1.0'?>\n<list>\n";
  for (int i = 0; i < count; ++i) {
    std::string n = std::to_string(i);
    text += "  <item id='i" + n + "'><name>Item " + n + "</name><price>" + n + "</price></item>\n";
  }
  return text + "</list>\n";
}

TEST(EvaluationTest, QueriesAnsweredEarlyReadLittle) {
  const std::string text = manyItems(20000);
  constexpr std::size_t kBuffer = 256;
  const std::size_t allChunks = text.size() / kBuffer;
  constexpr EvalCase cases[] = {
      {"/*/*[1]", "i0"},
      {"/list/item[2]/name", "name"},
      {"(//item)[1]", "i0"},
      {"(//price)[3]", "price"},
      {"/*/*[2]/following-sibling::*[1]", "i2"},
      {"/nope", ""},
      {"/*[1]/item[1]/@id", "@id=i0"},
      {"(//item)[position() < 3]", "i0 i1"},
      {"/*/*[3 >= position()]", "i0 i1 i2"},
  };
  for (const EvalCase& c : cases) {
    TestDocument doc(text, kBuffer);
    EXPECT_EQ(evaluateAt(doc.root(), c.expression), c.expected) << c.expression;
    EXPECT_LE(doc.document().chunksParsed(), 4u) << c.expression;
  }
  // A stream pulls only as far as its caller asks.
  for (const char* expression : {"//item[@id='i7']", "//item[price > 3]/name", "/list/item"}) {
    TestDocument doc(text, kBuffer);
    EvalContext context;
    context.contextNode = doc.root();
    std::unique_ptr<Expr> expr = compileXPath(expression, nullptr);
    std::unique_ptr<NodeStream> nodes = expr->select(context);
    ASSERT_NE(nodes->next(), nullptr) << expression;
    EXPECT_LE(doc.document().chunksParsed(), 4u) << expression;
  }
  TestDocument doc(text, kBuffer);
  EXPECT_EQ(evaluateAt(doc.root(), "count(//item)"), "20000");
  EXPECT_GE(doc.document().chunksParsed(), allChunks);
}

TEST(EvaluationTest, NameFiltersNeverHideAName) {
  // More names than filter bits, so some share a bit. (Strings are appended one by one:
  // g++ 12 warns falsely about "literal" + std::string.)
  std::string text = "<r>";
  for (int i = 0; i < 40; ++i) {
    std::string n = std::to_string(i), g = std::to_string(i % 5);
    text.append("<g").append(g).append("><n").append(n).append(" id='n").append(n);
    text.append("'/></g").append(g).append(">");
  }
  TestDocument doc(text + "</r>");
  for (int i = 0; i < 40; ++i) {
    std::string name = std::string("n").append(std::to_string(i));
    EXPECT_EQ(evaluateAt(doc.root(), std::string("//").append(name)), name);
    EXPECT_EQ(evaluateAt(doc.root(), std::string("count(/r/*[").append(name).append("])")), "1")
        << name;
    EXPECT_EQ(evaluateAt(doc.root(), std::string("/r/*/").append(name)), name);
  }
  EXPECT_EQ(evaluateAt(doc.root(), "//zz-absent"), "");
}

TEST(EvaluationTest, CompiledExpressionsKeepNoEvaluationState) {
  TestDocument doc(kTree);
  std::unique_ptr<Expr> expr = compileXPath("//b", nullptr);
  EvalContext context;
  context.contextNode = doc.root();
  std::unique_ptr<NodeStream> first = expr->select(context);
  std::unique_ptr<NodeStream> second = expr->select(context);
  NodeVector interleaved;
  for (int i = 0; i < 4; ++i) {
    interleaved.push_back(first->next());
    interleaved.push_back(second->next());
  }
  EXPECT_EQ(labelsOf(interleaved), "b1 b1 b2 b2 b3 b3 b5 b5");
  EXPECT_EQ(labelsOf(expr->evaluate(context).nodes()), "b1 b2 b3 b5 b4");
  EXPECT_EQ(second->next(), findById(doc.root(), "b4"));
  EXPECT_EQ(second->next(), nullptr);
}

TEST(EvaluationTest, LongOperatorChainsNeitherRecurseNorOverflow) {
  std::string sum = "1";
  for (int i = 1; i < 100000; ++i)
    sum += "+1";
  TestDocument doc("<r/>");
  EXPECT_EQ(evaluateAt(doc.root(), sum), "100000");
  std::string alternatives = "//r";
  for (int i = 1; i < 20000; ++i)
    alternatives += "|//r";
  EXPECT_EQ(evaluateAt(doc.root(), alternatives), "r");
}

// Binds $probe to true() and counts how often it is looked up.
class CountingProbe : public EvaluationHost {
 public:
  const Value* variable(StringRef, StringRef, const EvalContext&) override {
    ++lookups;
    return &value_;
  }
  int lookups = 0;

 private:
  Value value_ = Value::makeBoolean(true);
};

TEST(EvaluationTest, ExistenceTestsStopAtTheFirstNode) {
  constexpr int kDepth = 1000;
  std::string text;
  for (int i = 0; i < kDepth; ++i)
    text += "<a>";
  for (int i = 0; i < kDepth; ++i)
    text += "</a>";
  TestDocument doc(text);
  struct Case {
    const char* expression;
    const char* expected;
    int lookups;  // of $probe: one per test, not one per node the test could see
  };
  const Case cases[] = {
      {"count(//a[ancestor::a[$probe]])", "999", 999},  // the nearest ancestor decides
      {"count(//a[ancestor::a[$probe]][1])", "999", 999},
      {"count(//a[boolean(ancestor::a[$probe])])", "999", 999},
      {"count(//a[not(ancestor::a[$probe])])", "1", 999},
      {"count(//a[ancestor::a[$probe] | following::a[$probe]])", "999", 999},
      {"count(//a[ancestor::a[$probe] or false()])", "999", 999},
      {"boolean(//a[$probe])", "true", 1},
      {"not(/descendant::a[$probe]/ancestor-or-self::a)", "false", 1},
      {"boolean((//a)[$probe])", "true", 1},
      {"false() or //a[$probe]", "true", 1},
      // A positional predicate after the probe ends the walk at its last position.
      {"count((//a)[$probe][1])", "1", 1},
      {"count(/descendant::a[$probe][1])", "1", 1},
      {"count(/a | (//a)[$probe][position() < 3])", "2", 2},
      {"count((//a)[last()]/ancestor::a[$probe][2])", "1", 2},
      // Positions on a reverse axis still count from the nearest node.
      {"count(//a[ancestor::a[2]])", "998", 0},
      {"count(//a[ancestor::a[last()]])", "999", 0},
  };
  for (const Case& c : cases) {
    CountingProbe probe;
    EvalContext context;
    context.contextNode = doc.root();
    context.host = &probe;
    EXPECT_EQ(stringOf(compileXPath(c.expression, nullptr)->evaluate(context)).view(), c.expected)
        << c.expression;
    EXPECT_EQ(probe.lookups, c.lookups) << c.expression;
  }
}

TEST(EvaluationTest, DeeplyNestedDocuments) {
  constexpr int kDepth = 100000;
  std::string text;
  for (int i = 0; i < kDepth; ++i)
    text += "<a>";
  text += "<b/>";
  for (int i = 0; i < kDepth; ++i)
    text += "</a>";
  TestDocument doc(text, 4096);
  EXPECT_EQ(evaluateAt(doc.root(), "count(//*)"), "100001");
  EXPECT_EQ(evaluateAt(doc.root(), "count(//a/..)"), "100000");
  EXPECT_EQ(evaluateAt(doc.root(), "count(//a/a)"), "99999");
  EXPECT_EQ(evaluateAt(doc.root(), "//a/b"), "b");
  EXPECT_EQ(evaluateAt(doc.root(), "count(//b/ancestor::*)"), "100000");
  EXPECT_EQ(evaluateAt(doc.root(), "count(//b/preceding::*)"), "0");
  EXPECT_EQ(evaluateAt(doc.root(), "count(/a/following::*)"), "0");
  EXPECT_EQ(evaluateAt(doc.root(), "name(//*[not(*)])"), "b");
  std::string path = "count(/a";
  for (int i = 1; i < kDepth; ++i)
    path += "/a";
  EXPECT_EQ(evaluateAt(doc.root(), path + "/b)"), "1");
  EXPECT_EQ(evaluateAt(doc.root(), path + "/following::*)"), "0");
}

}  // namespace
}  // namespace ovra
