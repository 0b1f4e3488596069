// Compilation of syntax trees into expressions: location paths into step chains,
// operator chains into flat lists, function names into table entries.
#include "base/exceptions.h"
#include "tree/node.h"
#include "xpath/expr_impl.h"
#include "xpath/parser.h"
#include "xpath/runtime/functions.h"
#include "xpath/runtime/number_format.h"
#include "xpath/syntax.h"

#include <algorithm>
#include <utility>

namespace ovra {

namespace {

constexpr const char* kUnsupportedFunction = "Unsupported function, ";
constexpr const char* kWrongArgumentCount = "Wrong number of arguments to function, ";

class EmptyExpr : public Expr {
 public:
  Value evaluate(const EvalContext&) const override { return Value(); }
};

std::vector<std::unique_ptr<Expr>> compileList(const ExprList& list) {
  std::vector<std::unique_ptr<Expr>> compiled;
  compiled.reserve(list.size());
  for (const auto& item : list.items())
    compiled.push_back(item->compile());
  return compiled;
}

// token: where the primary expression starts, for the error when it is not a node-set.
std::unique_ptr<Expr> withPredicates(std::unique_ptr<Expr> primary, const Token& token,
                                     const ExprList& predicates) {
  if (predicates.empty())
    return primary;
  return std::make_unique<PathExpr>(std::move(primary), token, compileList(predicates),
                                    /*absolute=*/false, std::vector<Step>());
}

}  // namespace

NodeTest compileNodeTest(const NodeTestNode& node) {
  NodeTest test;
  if (node.kind() == SyntaxKind::NameTest) {
    const auto& name = static_cast<const NameTestNode&>(node);
    test.namespaceURI = name.namespaceURI();
    test.localName = name.localName();
    // A prefix that no declaration binds leaves the namespace name empty, as for p:a; so
    // p:* is told from * by its prefix, not by its namespace name.
    if (!name.isWildcard())
      test.kind = NodeTest::Kind::Name;
    else if (!name.name().prefix.empty())
      test.kind = NodeTest::Kind::NamespaceWildcard;
    else
      test.kind = NodeTest::Kind::AnyName;
    return test;
  }
  const auto& type = static_cast<const NodeTypeTestNode&>(node);
  switch (type.nodeType()) {
  case TokenKind::NodeTypeComment:
    test.kind = NodeTest::Kind::Comment;
    break;
  case TokenKind::NodeTypeText:
    test.kind = NodeTest::Kind::Text;
    break;
  case TokenKind::NodeTypeProcessingInstruction:
    test.kind = NodeTest::Kind::ProcessingInstruction;
    if (type.target() != nullptr)
      test.target = type.target()->text();
    break;
  default:
    test.kind = NodeTest::Kind::AnyNode;
    break;
  }
  return test;
}

namespace {

Step descendantOrSelfStep() {
  Step step;
  step.axis = TokenKind::AxisDescendantOrSelf;
  return step;
}

// "//" stands for /descendant-or-self::node()/. A child step without predicates after it
// is the descendant axis itself, which streams and prunes by name.
void appendSteps(const StepNode& node, std::vector<Step>& steps) {
  Step step;
  step.axis = node.axis();
  step.test = compileNodeTest(node.nodeTest());
  step.predicates = compileList(node.predicates());
  if (node.isDescendant()) {
    bool positional = std::any_of(step.predicates.begin(), step.predicates.end(),
                                  [](const auto& p) { return p->isPositional(); });
    if (node.axisNode() == nullptr && !positional)
      step.axis = TokenKind::AxisDescendant;
    else
      steps.push_back(descendantOrSelfStep());
  }
  steps.push_back(std::move(step));
}

std::unique_ptr<Expr> compilePath(const PathNode& node) {
  std::unique_ptr<Expr> result;
  std::unique_ptr<Expr> filter = node.filter() ? node.filter()->compile() : nullptr;
  if (filter != nullptr && node.steps().empty()) {
    result = std::move(filter);
  } else {
    std::vector<Step> steps;
    for (const auto& step : node.steps())
      appendSteps(*step, steps);
    Token filterToken = node.filter() ? node.filter()->token() : node.token();
    result = std::make_unique<PathExpr>(std::move(filter), filterToken,
                                        std::vector<std::unique_ptr<Expr>>(), node.isAbsolute(),
                                        std::move(steps));
  }
  if (node.isNegated())
    result = std::make_unique<NegateExpr>(std::move(result));
  return result;
}

// The left spine of an operator tree becomes one flat chain: ((a op b) op c) evaluates
// left to right, whatever the operators' levels, and nothing recurses on its length.
std::unique_ptr<Expr> compileOperators(const BinaryOpNode& top) {
  std::vector<const BinaryOpNode*> spine;
  const SyntaxNode* node = &top;
  while (node->kind() == SyntaxKind::BinaryOp) {
    spine.push_back(static_cast<const BinaryOpNode*>(node));
    node = &spine.back()->left();
  }
  std::unique_ptr<Expr> first = node->compile();
  std::vector<BinaryExpr::Operation> rest;
  rest.reserve(spine.size());
  for (auto it = spine.rbegin(); it != spine.rend(); ++it)
    rest.push_back({(*it)->op(), (*it)->token(), (*it)->right().compile()});
  return std::make_unique<BinaryExpr>(std::move(first), std::move(rest));
}

// A call of a function in a namespace that the registry does not hold: a function the
// host defines while it runs (a stylesheet's own), or an extension function this
// processor lacks, an error only when the call is evaluated, so that a stylesheet can
// guard it with function-available() (XSLT 1.0 section 14.2).
class UnknownExtensionCall : public Expr {
 public:
  UnknownExtensionCall(const Token& token, const FunctionCallNode& node,
                       std::vector<std::unique_ptr<Expr>> arguments)
      : token_(token), namespaceURI_(node.expandedName().namespaceURI),
        localName_(node.expandedName().localName), name_(node.name()),
        arguments_(std::move(arguments)) {}
  Value evaluate(const EvalContext& context) const override {
    const HostFunction* function =
        context.host != nullptr ? context.host->function(namespaceURI_, localName_) : nullptr;
    if (function == nullptr)
      throw EvaluateException(token_.position, String(kUnsupportedFunction).append(name_));
    ArgumentList values;
    evaluateArguments(arguments_, context, values);
    return function->call(token_, context, values);
  }
  // What the host's function reads of the context is not known here.
  bool usesContextSize() const override { return true; }

 private:
  Token token_;
  StringRef namespaceURI_;
  StringRef localName_;
  String name_;
  std::vector<std::unique_ptr<Expr>> arguments_;
};

std::unique_ptr<Expr> compileFunction(const FunctionCallNode& node) {
  const FunctionEntry* entry = node.entry();
  if (entry == nullptr) {
    if (node.expandedName().namespaceURI.empty())
      throw EvaluateException(node.token().position,
                              String(kUnsupportedFunction).append(node.name()));
    return withPredicates(
        std::make_unique<UnknownExtensionCall>(node.token(), node, compileList(node.arguments())),
        node.token(), node.predicates());
  }
  std::vector<std::unique_ptr<Expr>> arguments = compileList(node.arguments());
  if (arguments.size() < entry->minArguments || arguments.size() > entry->maxArguments)
    throw EvaluateException(node.token().position, String(kWrongArgumentCount).append(node.name()));
  auto call = std::make_unique<FunctionCallExpr>(node.token(), *entry, std::move(arguments));
  return withPredicates(std::move(call), node.token(), node.predicates());
}

}  // namespace

std::unique_ptr<Expr> SyntaxNode::compile() const {
  switch (kind_) {
  case SyntaxKind::Literal:
    return std::make_unique<LiteralExpr>(static_cast<const LiteralNode*>(this)->text());
  case SyntaxKind::Number:
    return std::make_unique<NumberExpr>(
        parseNumber(static_cast<const NumberNode*>(this)->text().view()));
  case SyntaxKind::Variable: {
    const auto* variable = static_cast<const VariableNode*>(this);
    return withPredicates(std::make_unique<VariableExpr>(token(), variable->name()), token(),
                          variable->predicates());
  }
  case SyntaxKind::FunctionCall:
    return compileFunction(*static_cast<const FunctionCallNode*>(this));
  case SyntaxKind::Group: {
    const auto* group = static_cast<const GroupNode*>(this);
    return withPredicates(group->inner().compile(), token(), group->predicates());
  }
  case SyntaxKind::BinaryOp:
    return compileOperators(*static_cast<const BinaryOpNode*>(this));
  case SyntaxKind::Path:
    return compilePath(*static_cast<const PathNode*>(this));
  case SyntaxKind::Step:
  case SyntaxKind::Axis:
  case SyntaxKind::NodeTypeTest:
  case SyntaxKind::NameTest:
    break;
  }
  return std::make_unique<EmptyExpr>();
}

namespace {

thread_local ParseMemo* currentMemo = nullptr;

}  // namespace

ParseMemo::ParseMemo() : outer_(currentMemo) {
  currentMemo = this;
}

ParseMemo::~ParseMemo() {
  currentMemo = outer_;
}

ParseMemo* ParseMemo::current() {
  return currentMemo;
}

const SyntaxNode& ParseMemo::tree(std::string_view text, const Node* namespaceContext,
                                  const FunctionRegistry& functions) {
  // Prefixes resolve through the declarations of the context and its ancestors: nodes
  // below the same declaring node resolve every prefix alike.
  const Node* scope = namespaceContext;
  while (scope != nullptr && scope->firstNamespace() == nullptr)
    scope = scope->parent();
  auto found = parsed_.find(text);
  if (found != parsed_.end()) {
    for (const Parsed& parsed : found->second) {
      if (parsed.scope == scope && parsed.functions == &functions)
        return *parsed.tree;
    }
  }
  std::unique_ptr<SyntaxNode> tree = parseXPath(text, namespaceContext, functions);
  if (found == parsed_.end())
    found = parsed_.emplace(std::string(text), std::vector<Parsed>()).first;
  found->second.push_back(Parsed{scope, &functions, std::move(tree)});
  return *found->second.back().tree;
}

std::unique_ptr<Expr> compileXPath(std::string_view text, const Node* namespaceContext,
                                   const FunctionRegistry& functions) {
  std::unique_ptr<SyntaxNode> parsed;
  const SyntaxNode* syntax = nullptr;
  if (ParseMemo* memo = ParseMemo::current()) {
    syntax = &memo->tree(text, namespaceContext, functions);
  } else {
    parsed = parseXPath(text, namespaceContext, functions);
    syntax = parsed.get();
  }
  try {
    return syntax->compile();
  } catch (XSLException& error) {
    error.setExpression(text);
    throw;
  }
}

}  // namespace ovra
