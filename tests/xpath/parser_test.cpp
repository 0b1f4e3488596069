#include "base/exceptions.h"
#include "base/platform.h"
#include "tests/support/xpath_helpers.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "xpath/parser.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace ovra {
namespace {

// An element declaring p and q and a default namespace, to resolve prefixes against.
class NamespaceContext {
 public:
  NamespaceContext()
      : element_(std::make_unique<ElementNode>(emptyName(), intern("e"), emptyName(), 1, true)) {
    element_->appendNamespace(new NamespaceNode(intern("p"), intern("urn:p")));
    element_->appendNamespace(new NamespaceNode(intern("q"), intern("urn:q")));
    element_->appendNamespace(new NamespaceNode(emptyName(), intern("urn:default")));
  }
  const Node* node() const { return element_.get(); }

 private:
  std::unique_ptr<ElementNode> element_;
};

std::string dumpOf(const char* expression, const Node* context = nullptr) {
  return parseXPath(expression, context)->dumpString();
}

// The message of the XPathParseException the expression raises, or "" when it parses.
std::string errorOf(std::string_view expression) {
  try {
    parseXPath(expression, nullptr);
  } catch (const XPathParseException& error) {
    return textAt(error);
  }
  return "";
}

struct DumpCase {
  const char* expression;
  const char* dump;
};

constexpr DumpCase kPrecedenceCases[] = {
    {"1 - 2 - 3", "(- (- (number 1) (number 2)) (number 3))"},
    {"2 - 1", "(- (number 2) (number 1))"},
    {"1 or 2 and 3", "(or (number 1) (and (number 2) (number 3)))"},
    {"1 and 2 or 3", "(or (and (number 1) (number 2)) (number 3))"},
    {"1 + 2 * 3", "(+ (number 1) (* (number 2) (number 3)))"},
    {"1 * 2 + 3", "(+ (* (number 1) (number 2)) (number 3))"},
    {"1 div 2 mod 3 * 4", "(* (mod (div (number 1) (number 2)) (number 3)) (number 4))"},
    {"1 < 2 = 3 > 4", "(= (< (number 1) (number 2)) (> (number 3) (number 4)))"},
    {"1 = 2 != 3", "(!= (= (number 1) (number 2)) (number 3))"},
    {"1 <= 2 >= 3", "(>= (<= (number 1) (number 2)) (number 3))"},
    {"1 + 2 | 3", "(+ (number 1) (| (number 2) (number 3)))"},
    // A negation takes in the union after it, and no more.
    {"- 1 | 2", "(negate (| (number 1) (number 2)))"},
    {"- a | b * 2",
     "(* (negate (| (path (step child (name a))) (path (step child (name b))))) (number 2))"},
    {"1 - - a | b", "(- (number 1) (negate (| (path (step child (name a))) "
                    "(path (step child (name b))))))"},
    {"a - b", "(- (path (step child (name a))) (path (step child (name b))))"},
    {"@x - 1", "(- (path (step attribute (name x))) (number 1))"},
    {"1 or 2 = 3 + 4 * 5 | 6 and 7",
     "(or (number 1) (and (= (number 2) (+ (number 3) (* (number 4) (| (number 5) (number 6)))))"
     " (number 7)))"},
};

TEST(ParserTest, OperatorsAreLeftAssociativeByPrecedence) {
  for (const DumpCase& c : kPrecedenceCases)
    EXPECT_EQ(dumpOf(c.expression), c.dump) << c.expression;
}

constexpr DumpCase kShapeCases[] = {
    {"/", "(path /)"},
    {"a/b", "(path (step child (name a)) (step child (name b)))"},
    {"//a", "(path / (step descendant-or-self (node)) (step child (name a)))"},
    {"/ / a", "(path / (step child (name a)))"},  // two slashes, no "//": taken as "/a"
    {"a//b", "(path (step child (name a)) (step descendant-or-self (node)) (step child (name b)))"},
    {"child::text()", "(path (step child (text)))"},
    {"processing-instruction('x')", "(path (step child (processing-instruction \"x\")))"},
    {"processing-instruction()", "(path (step child (processing-instruction)))"},
    {"comment()", "(path (step child (comment)))"},
    {"..", "(path (step parent (node)))"},
    {"./*", "(path (step self (node)) (step child (name *)))"},
    {"@*", "(path (step attribute (name *)))"},
    {"following-sibling::node()", "(path (step following-sibling (node)))"},
    {"a[1][b]", "(path (step child (name a) [(number 1)] [(path (step child (name b)))]))"},
    {"f()", "(call f)"},
    {"f(1, 'x')[2]", "(call f (number 1) (literal \"x\") [(number 2)])"},
    {"concat(\"it's\", '\"')", "(call concat (literal \"it's\") (literal '\"'))"},
    {"(1)[2]", "(group (number 1) [(number 2)])"},
    {"(1)/a", "(path (group (number 1)) (step child (name a)))"},
    {"$v[1]/b", "(path (variable v [(number 1)]) (step child (name b)))"},
    {"'x'", "(literal \"x\")"},
    {"2.50", "(number 2.50)"},  // as written
    {".5", "(number .5)"},
    {"--1", "(number 1)"},
    {"-a", "(negate (path (step child (name a))))"},
    {"div div div", "(div (path (step child (name div))) (path (step child (name div))))"},
};

TEST(ParserTest, TreeShapes) {
  for (const DumpCase& c : kShapeCases)
    EXPECT_EQ(dumpOf(c.expression), c.dump) << c.expression;
}

TEST(ParserTest, PathFlags) {
  struct {
    const char* expression;
    bool absolute, negated;
    std::vector<bool> descendant;  // per step
  } cases[] = {
      {"/", true, false, {}},           {"/a", true, false, {false}},
      {"//a", true, false, {true}},     {"a//b", false, false, {false, true}},
      {"-a", false, true, {false}},     {"--a", false, false, {false}},
      {"- - -/a", true, true, {false}}, {"$v//b", false, false, {true}},
      {"(a)/b", false, false, {false}},
  };
  for (const auto& c : cases) {
    std::unique_ptr<SyntaxNode> root = parseXPath(c.expression, nullptr);
    ASSERT_EQ(root->kind(), SyntaxKind::Path) << c.expression;
    const auto& path = static_cast<const PathNode&>(*root);
    EXPECT_EQ(path.isAbsolute(), c.absolute) << c.expression;
    EXPECT_EQ(path.isNegated(), c.negated) << c.expression;
    ASSERT_EQ(path.steps().size(), c.descendant.size()) << c.expression;
    for (std::size_t i = 0; i < c.descendant.size(); ++i)
      EXPECT_EQ(path.steps()[i]->isDescendant(), c.descendant[i]) << c.expression << " " << i;
  }
}

TEST(ParserTest, AccessorsCarryWhatTheCompilerNeeds) {
  NamespaceContext context;
  std::unique_ptr<SyntaxNode> root =
      parseXPath("-p:f(\"lit\", 2.50)[$q:v] | ancestor::p:*[1]/@a", context.node());
  // The negation holds the union.
  const auto& negation = static_cast<const PathNode&>(*root);
  EXPECT_TRUE(negation.isNegated());
  EXPECT_TRUE(negation.steps().empty());
  const auto& top = static_cast<const BinaryOpNode&>(*negation.filter());
  EXPECT_EQ(top.op(), TokenKind::Union);

  const auto& left = static_cast<const PathNode&>(top.left());
  EXPECT_FALSE(left.isNegated());
  ASSERT_EQ(left.filter()->kind(), SyntaxKind::FunctionCall);
  const auto& call = static_cast<const FunctionCallNode&>(*left.filter());
  EXPECT_STREQ(call.name().c_str(), "p:f");
  EXPECT_EQ(call.token().position, 1);
  EXPECT_EQ(call.token().text, nullptr);  // the expression text is gone
  ASSERT_EQ(call.arguments().size(), 2u);
  const SyntaxNode* literal = static_cast<const PathNode&>(call.arguments()[0]).filter();
  EXPECT_STREQ(static_cast<const LiteralNode*>(literal)->text().c_str(), "lit");
  const SyntaxNode* number = static_cast<const PathNode&>(call.arguments()[1]).filter();
  EXPECT_STREQ(static_cast<const NumberNode*>(number)->text().c_str(), "2.50");
  const auto& variable = static_cast<const VariableNode&>(
      *static_cast<const PathNode&>(call.predicates()[0]).filter());
  EXPECT_EQ(variable.name().namespaceURI, intern("urn:q"));
  EXPECT_EQ(variable.name().localName, intern("v"));

  const auto& right = static_cast<const PathNode&>(top.right());
  ASSERT_EQ(right.steps().size(), 2u);
  const StepNode& ancestor = *right.steps()[0];
  EXPECT_EQ(ancestor.axis(), TokenKind::AxisAncestor);
  EXPECT_EQ(ancestor.predicates().size(), 1u);
  const auto& wildcard = static_cast<const NameTestNode&>(ancestor.nodeTest());
  EXPECT_TRUE(wildcard.isWildcard());
  EXPECT_EQ(wildcard.namespaceURI(), intern("urn:p"));
  const StepNode& attribute = *right.steps()[1];
  EXPECT_EQ(attribute.axis(), TokenKind::AxisAttribute);
  EXPECT_EQ(attribute.token().kind, TokenKind::At);
}

TEST(ParserTest, AbbreviatedAndDefaultAxes) {
  struct {
    const char* expression;
    TokenKind axis;
    TokenKind nodeType;  // None for a name test
  } cases[] = {
      {".", TokenKind::AxisSelf, TokenKind::NodeTypeNode},
      {"..", TokenKind::AxisParent, TokenKind::NodeTypeNode},
      {"a", TokenKind::AxisChild, TokenKind::None},
      {"comment()", TokenKind::AxisChild, TokenKind::NodeTypeComment},
      {"following-sibling::node()", TokenKind::AxisFollowingSibling, TokenKind::NodeTypeNode},
      {"namespace::*", TokenKind::AxisNamespace, TokenKind::None},
  };
  for (const auto& c : cases) {
    std::unique_ptr<SyntaxNode> root = parseXPath(c.expression, nullptr);
    const StepNode& step = *static_cast<const PathNode&>(*root).steps().at(0);
    EXPECT_EQ(step.axis(), c.axis) << c.expression;
    if (c.nodeType == TokenKind::None) {
      EXPECT_EQ(step.nodeTest().kind(), SyntaxKind::NameTest) << c.expression;
    } else {
      ASSERT_EQ(step.nodeTest().kind(), SyntaxKind::NodeTypeTest) << c.expression;
      EXPECT_EQ(static_cast<const NodeTypeTestNode&>(step.nodeTest()).nodeType(), c.nodeType);
    }
  }
}

TEST(ParserTest, PrefixesResolveThroughTheContextButUnprefixedNamesStayInNoNamespace) {
  NamespaceContext context;
  constexpr DumpCase cases[] = {
      {"a", "(path (step child (name a)))"},  // the default declaration does not apply
      {"p:a", "(path (step child (name {urn:p}a)))"},
      {"q:*", "(path (step child (name {urn:q}*)))"},
      {"@p:x", "(path (step attribute (name {urn:p}x)))"},
      {"$q:v", "(variable {urn:q}v)"},
      {"xml:lang", "(path (step child (name {http://www.w3.org/XML/1998/namespace}lang)))"},
  };
  for (const DumpCase& c : cases)
    EXPECT_EQ(dumpOf(c.expression, context.node()), c.dump) << c.expression;
}

// A memo keeps one tree per text and set of declarations in scope: a text under another
// declaration of its prefix is parsed anew, and a text that fails keeps failing.
TEST(ParserTest, ParseMemoParsesATextOncePerNamespaceScope) {
  auto element = [](const char* name, const char* uri) {
    auto* made = new ElementNode(emptyName(), intern(name), emptyName(), 1, true);
    if (uri != nullptr)
      made->appendNamespace(new NamespaceNode(intern("p"), intern(uri)));
    return made;
  };
  RootNode root(nullptr);
  ElementNode* top = element("top", "urn:a");  // declares p
  ElementNode* plain = element("plain", nullptr);
  ElementNode* redeclares = element("redeclares", "urn:b");
  ElementNode* below = element("below", nullptr);
  root.appendChild(top);
  top->appendChild(plain);
  top->appendChild(redeclares);
  redeclares->appendChild(below);

  ParseMemo memo;
  struct Case {
    const Node* context;
    const char* dump;
    const Node* sharesWith;  // parsed for this context already: the same tree
  };
  const Case cases[] = {
      {top, "(path (step child (name {urn:a}x)))", nullptr},
      {plain, "(path (step child (name {urn:a}x)))", top},
      {redeclares, "(path (step child (name {urn:b}x)))", nullptr},
      {below, "(path (step child (name {urn:b}x)))", redeclares},
  };
  for (const Case& c : cases) {
    const SyntaxNode& tree = memo.tree("p:x", c.context, coreFunctions());
    EXPECT_EQ(tree.dumpString(), c.dump) << c.context->localName().c_str();
    if (c.sharesWith != nullptr)
      EXPECT_EQ(&tree, &memo.tree("p:x", c.sharesWith, coreFunctions()));
    else
      EXPECT_NE(&tree, &memo.tree("p:x", top == c.context ? redeclares : top, coreFunctions()));
  }
  EXPECT_EQ(ParseMemo::current(), &memo);
  EXPECT_NE(compileXPath("p:x", below), nullptr);
  for (int i = 0; i < 2; ++i)
    EXPECT_THROW(compileXPath("q:x", top), XPathParseException);
}

struct ErrorCase {
  const char* expression;
  const char* message;
};

constexpr ErrorCase kErrorCases[] = {
    // Without a context no prefix but xml is declared.
    {"p:a", "Undeclared namespace prefix, p at 0"},
    {"a/p:*", "Undeclared namespace prefix, p at 2"},
    {"$p:v", "Undeclared namespace prefix, p at 0"},
    {"p:f()", "Undeclared namespace prefix, p at 0"},
    {"", "Uncompilable expression at 0"},
    {"  \t", "Uncompilable expression at 3"},
    {"1 +", "Missing path expression at 3"},
    {"f(,a)", "Missing path expression at 2"},
    {"a[]", "Missing path expression at 2"},
    {"(1) or", "Missing path expression at 6"},
    {"child::", "Missing path expression at 0"},  // axis tokens carry position 0
    {"//", "'//' must be followed by a path step at 0"},
    {"a//", "'//' must be followed by a path step at 1"},
    {"a/", "'/' must be followed by a path step at 1"},
    {"a/b/", "'/' must be followed by a path step at 3"},
    {"$v/", "'/' must be followed by a path step at 2"},
    {"a[1", "Missing ']' after predicate at 3"},
    {"a[1)", "Missing ']' after predicate at 3"},
    {"(1", "Missing ')' after expression at 2"},
    {"(1]", "Missing ')' after expression at 2"},
    {"f(a b)", "Missing ',' after function argument at 4"},
    {"f(a", "Missing ',' after function argument at 3"},
    {"f(a,)", "Missing function argument after ',' at 4"},
    {"concat('a', 'b',)", "Missing function argument after ',' at 16"},
    {"f(a,", "Missing ',' after function argument at 4"},
    {"comment('x')", "Only processing instruction node tests can have arguments at 8"},
    {"text(1)", "Only processing instruction node tests can have arguments at 5"},
    {"processing-instruction(1)", "Processing instruction node tests must be literals at 23"},
    {"processing-instruction('x' 'y')", "Expecting ')' at end of nodetest at 23"},
    {"'x'[1]", "Syntax error in expression at 3"},  // literals take no predicates
    {".[1]", "Syntax error in expression at 1"},
    {"foo::bar", "Syntax error in expression at 3"},
    {"1 2", "Syntax error in expression at 2"},
    {"a = #", "Syntax error in expression at 4"},
    {"'open", "Syntax error in expression at 0"},
    {"a  !", "Syntax error in expression at 3"},  // an offset into the text: blanks count
};

TEST(ParserTest, ErrorMessagesAndPositions) {
  for (const ErrorCase& c : kErrorCases)
    EXPECT_EQ(errorOf(c.expression), c.message) << c.expression;
}

TEST(ParserTest, EmbeddedZeroIsASyntaxError) {
  EXPECT_EQ(errorOf(std::string_view("a\0b", 3)), "Syntax error in expression at 1");
}

TEST(ParserTest, NestingIsLimited) {
  auto nested = [](int depth, const char* open, const char* close) {
    std::string text;
    for (int i = 0; i < depth; ++i)
      text += open;
    text += "1";
    for (int i = 0; i < depth; ++i)
      text += close;
    return text;
  };
  // The fixed limit, where the stack is large enough for it (as the program's is): a
  // sanitizer build's frames would not let a default thread stack reach it.
  runOnLargeStack([&] {
    EXPECT_EQ(errorOf(nested(kMaxExpressionNesting, "(", ")")), "");
    EXPECT_EQ(errorOf(nested(kMaxExpressionNesting, "a[", "]")), "");
    EXPECT_EQ(errorOf(nested(kMaxExpressionNesting, "f(", ")")), "");
    EXPECT_EQ(errorOf(nested(kMaxExpressionNesting + 1, "(", ")")),
              "Expression nested too deeply at " + std::to_string(kMaxExpressionNesting));
  });
  // On this thread's default stack, in every build: an error, never an overflow.
  EXPECT_EQ(errorOf(nested(100000, "a[", "]")).substr(0, 28), "Expression nested too deeply");
  EXPECT_EQ(errorOf(std::string(100000, '(')).substr(0, 28), "Expression nested too deeply");
  // On a thread whose stack cannot hold the nesting the fixed limit allows, the stack
  // sets the limit: an error, never an overflow.
  std::string onSmallStack;
  runOnLargeStack([&] { onSmallStack = errorOf(nested(kMaxExpressionNesting, "f(", ")")); },
                  std::size_t(256) << 10);
  EXPECT_EQ(onSmallStack.substr(0, 28), "Expression nested too deeply");
}

TEST(ParserTest, LongFlatExpressionsKeepTheirShape) {
  const int operands = 50000;
  std::string sum = "1";
  for (int i = 1; i < operands; ++i)
    sum += i % 2 ? "+1" : "-1";
  std::unique_ptr<SyntaxNode> root = parseXPath(sum, nullptr);
  // Left-associative: the chain descends on the left, every right operand is a number.
  int depth = 0;
  const SyntaxNode* node = root.get();
  while (node->kind() == SyntaxKind::BinaryOp) {
    const auto& op = static_cast<const BinaryOpNode&>(*node);
    ASSERT_EQ(op.right().kind(), SyntaxKind::Path);
    node = &op.left();
    ++depth;
  }
  EXPECT_EQ(depth, operands - 1);
  std::string opening = "(+ (- (+ (- ";
  EXPECT_EQ(root->dumpString().substr(0, opening.size()), opening);
  std::string closing = " (number 1)) (number 1))";
  std::string dump = root->dumpString();
  EXPECT_EQ(dump.substr(dump.size() - closing.size()), closing);

  std::string path = "a";
  for (int i = 1; i < operands; ++i)
    path += "/a";
  EXPECT_EQ(static_cast<const PathNode&>(*parseXPath(path, nullptr)).steps().size(),
            std::size_t(operands));

  std::string unions = "a";
  for (int i = 1; i < operands; ++i)
    unions += "|a";
  std::vector<StringRef> names;
  EXPECT_TRUE(parseXPath(unions, nullptr)->collectNames(names));
  EXPECT_EQ(names.size(), std::size_t(operands));
}

struct PatternCase {
  const char* pattern;
  double priority;
  const char* names;  // the collected names joined by spaces; null when collectNames is false
};

constexpr PatternCase kPatternCases[] = {
    {"a", 0, "a"},
    {"child::a", 0, "a"},
    {"p:a", 0, nullptr},  // in a namespace
    {"*", -0.5, nullptr},
    {"p:*", -0.25, nullptr},
    {"@p:*", -0.25, nullptr},
    {"a/b", 0.5, nullptr},
    {"a//b", 0.5, nullptr},
    {"//a", 0.5, nullptr},
    {"/a", 0.5, nullptr},
    {"/", 0.5, nullptr},
    {"a[1]", 0.5, nullptr},
    {"@id", 0, nullptr},
    {"attribute::*", -0.5, nullptr},
    {"text()", -0.5, nullptr},
    {"node()", -0.5, nullptr},
    {"comment()", -0.5, nullptr},
    {"processing-instruction('x')", 0, nullptr},
    {"processing-instruction()", -0.5, nullptr},
    {"self::a", 0.5, nullptr},
    {".", 0.5, nullptr},
    {"a | b", 0.5, "a b"},
    {"a | b | c", 0.5, "a b c"},
    {"a | @b", 0.5, nullptr},
    {"a = b", 0.5, nullptr},
    {"$v", 0.5, nullptr},
    {"id('x')", 0.5, nullptr},
    {"id('x')/a", 0.5, nullptr},
};

TEST(ParserTest, PatternPriorityAndNames) {
  NamespaceContext context;
  for (const PatternCase& c : kPatternCases) {
    std::unique_ptr<SyntaxNode> root = parseXPath(c.pattern, context.node());
    EXPECT_EQ(root->defaultPriority(), c.priority) << c.pattern;
    std::vector<StringRef> names;
    bool collected = root->collectNames(names);
    EXPECT_EQ(collected, c.names != nullptr) << c.pattern;
    if (collected) {
      std::string joined;
      for (const StringRef& name : names) {
        EXPECT_EQ(name, intern(name.view())) << c.pattern;  // interned
        if (!joined.empty())
          joined += ' ';
        joined += name.view();
      }
      EXPECT_EQ(joined, c.names) << c.pattern;
    }
  }
}

}  // namespace
}  // namespace ovra
