// Match patterns run from the candidate node upwards: the last step must produce the
// node from some context (its parent for the child axis, its element for attributes),
// and the steps before it must match that context, or, after "//", one of its ancestors.
#include "xpath/pattern.h"

#include "base/exceptions.h"
#include "tree/node.h"
#include "xpath/expr_impl.h"
#include "xpath/syntax.h"

#include <algorithm>

namespace ovra {

PatternMatcher::~PatternMatcher() = default;

namespace {

constexpr const char* kInvalidMatchPattern = "Invalid match pattern";
constexpr const char* kVariableInPattern = "Variable references are not allowed in match patterns";

struct PatternStep {
  TokenKind axis;
  NodeTest test;
  std::vector<std::unique_ptr<Expr>> predicates;
  bool positional;        // some predicate depends on the node's position
  bool afterDoubleSlash;  // "//" came before this step
};

class PathPattern : public PatternMatcher {
 public:
  PathPattern(std::vector<PatternStep> steps, bool absolute)
      : steps_(std::move(steps)), absolute_(absolute) {}

  bool matches(Node* node, const EvalContext& context) const override {
    if (steps_.empty())
      return absolute_ && node->kind() == NodeKind::Root;
    return matchStep(steps_.size() - 1, node, context);
  }

 private:
  static NodeKind principalKind(TokenKind axis) {
    if (axis == TokenKind::AxisAttribute)
      return NodeKind::Attribute;
    if (axis == TokenKind::AxisNamespace)
      return NodeKind::Namespace;
    return NodeKind::Element;
  }

  // The context from which step's axis could have produced node, or null.
  static Node* contextOf(const PatternStep& step, Node* node) {
    switch (step.axis) {
    case TokenKind::AxisChild:
      return node->isChildKind() ? node->parent() : nullptr;
    case TokenKind::AxisAttribute:
      return node->kind() == NodeKind::Attribute ? node->parent() : nullptr;
    case TokenKind::AxisNamespace:
      return node->kind() == NodeKind::Namespace ? node->parent() : nullptr;
    case TokenKind::AxisSelf:
      return node;
    default:
      return nullptr;
    }
  }

  bool passesPredicates(const PatternStep& step, Node* node, Node* parent,
                        const EvalContext& base) const {
    if (step.predicates.empty())
      return true;
    EvalContext context = base;
    context.contextNode = node;
    context.position = 1;
    context.size = 1;
    if (!step.positional) {
      return std::all_of(step.predicates.begin(), step.predicates.end(),
                         [&](const auto& p) { return predicateHolds(*p, context); });
    }
    // Positions count among the nodes the axis yields from the context that pass the
    // node test, each predicate among what the ones before it kept.
    NodeKind principal = principalKind(step.axis);
    NodeVector list;
    if (step.axis == TokenKind::AxisSelf) {
      list.push_back(node);
    } else {
      Node* first = step.axis == TokenKind::AxisChild       ? parent->firstChild()
                    : step.axis == TokenKind::AxisAttribute ? parent->firstAttribute()
                                                            : parent->firstNamespace();
      for (Node* candidate = first; candidate != nullptr; candidate = candidate->nextSibling())
        if (step.test.matches(candidate, principal))
          list.push_back(candidate);
    }
    for (const auto& predicate : step.predicates) {
      NodeVector kept;
      context.size = std::int32_t(list.size());
      for (std::size_t i = 0; i < list.size(); ++i) {
        context.contextNode = list[i];
        context.position = std::int32_t(i + 1);
        if (predicateHolds(*predicate, context))
          kept.push_back(list[i]);
      }
      list = std::move(kept);
    }
    return std::find(list.begin(), list.end(), node) != list.end();
  }

  bool matchStep(std::size_t index, Node* node, const EvalContext& context) const {
    const PatternStep& step = steps_[index];
    if (!step.test.matches(node, principalKind(step.axis)))
      return false;
    Node* parent = contextOf(step, node);
    if (parent == nullptr)
      return false;
    if (!passesPredicates(step, node, parent, context))
      return false;
    if (index == 0) {
      if (!absolute_)
        return true;
      if (!step.afterDoubleSlash)
        return parent->kind() == NodeKind::Root;
      return true;  // the root is an ancestor-or-self of every context
    }
    if (!step.afterDoubleSlash)
      return matchStep(index - 1, parent, context);
    for (Node* ancestor = parent; ancestor != nullptr; ancestor = ancestor->parent())
      if (matchStep(index - 1, ancestor, context))
        return true;
    return false;
  }

  std::vector<PatternStep> steps_;
  bool absolute_;
};

class UnionPattern : public PatternMatcher {
 public:
  UnionPattern(std::unique_ptr<PatternMatcher> left, std::unique_ptr<PatternMatcher> right)
      : left_(std::move(left)), right_(std::move(right)) {}
  bool matches(Node* node, const EvalContext& context) const override {
    return left_->matches(node, context) || right_->matches(node, context);
  }

 private:
  std::unique_ptr<PatternMatcher> left_;
  std::unique_ptr<PatternMatcher> right_;
};

// Variables have no bindings when templates are selected, so a pattern may not use them.
void rejectVariables(const SyntaxNode& node);

void rejectVariables(const ExprList& list) {
  for (const auto& item : list.items())
    rejectVariables(*item);
}

void rejectVariables(const SyntaxNode& node) {
  switch (node.kind()) {
  case SyntaxKind::Variable:
    throw XPathParseException(node.token(), kVariableInPattern);
  case SyntaxKind::BinaryOp: {
    const auto& op = static_cast<const BinaryOpNode&>(node);
    rejectVariables(op.left());
    rejectVariables(op.right());
    break;
  }
  case SyntaxKind::Path: {
    const auto& path = static_cast<const PathNode&>(node);
    if (path.filter())
      rejectVariables(*path.filter());
    for (const auto& step : path.steps())
      rejectVariables(step->predicates());
    break;
  }
  case SyntaxKind::FunctionCall: {
    const auto& call = static_cast<const FunctionCallNode&>(node);
    rejectVariables(call.arguments());
    rejectVariables(call.predicates());
    break;
  }
  case SyntaxKind::Group: {
    const auto& group = static_cast<const GroupNode&>(node);
    rejectVariables(group.inner());
    rejectVariables(group.predicates());
    break;
  }
  default:
    break;
  }
}

std::unique_ptr<PatternMatcher> compilePathPattern(const PathNode& path) {
  if (path.filter() != nullptr || path.isNegated())
    throw XPathParseException(path.token(), kInvalidMatchPattern);
  std::vector<PatternStep> steps;
  for (const auto& node : path.steps()) {
    PatternStep step;
    step.axis = node->axis();
    if (step.axis != TokenKind::AxisChild && step.axis != TokenKind::AxisAttribute &&
        step.axis != TokenKind::AxisNamespace && step.axis != TokenKind::AxisSelf)
      throw XPathParseException(node->token(), kInvalidMatchPattern);
    rejectVariables(node->predicates());
    step.test = compileNodeTest(node->nodeTest());
    for (const auto& p : node->predicates().items())
      step.predicates.push_back(p->compile());
    step.positional = std::any_of(step.predicates.begin(), step.predicates.end(),
                                  [](const auto& p) { return p->isPositional(); });
    step.afterDoubleSlash = node->isDescendant();
    steps.push_back(std::move(step));
  }
  return std::make_unique<PathPattern>(std::move(steps), path.isAbsolute());
}

}  // namespace

std::unique_ptr<PatternMatcher> SyntaxNode::compilePattern() const {
  if (kind_ == SyntaxKind::BinaryOp) {
    const auto* op = static_cast<const BinaryOpNode*>(this);
    if (op->op() != TokenKind::Union)
      throw XPathParseException(token(), kInvalidMatchPattern);
    return std::make_unique<UnionPattern>(op->left().compilePattern(),
                                          op->right().compilePattern());
  }
  if (kind_ != SyntaxKind::Path)
    throw XPathParseException(token(), kInvalidMatchPattern);
  return compilePathPattern(*static_cast<const PathNode*>(this));
}

}  // namespace ovra
