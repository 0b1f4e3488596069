// Match patterns run from the candidate node upwards: the last step must produce the
// node from some context (its parent for the child axis, its element for attributes),
// and the steps before it must match that context, or, after "//", one of its ancestors.
#include "xpath/pattern.h"

#include "base/exceptions.h"
#include "tree/node.h"
#include "xpath/expr_impl.h"
#include "xpath/syntax.h"

#include <algorithm>
#include <span>
#include <string_view>
#include <unordered_set>

namespace ovra {

PatternMatcher::~PatternMatcher() = default;

namespace {

constexpr const char* kInvalidMatchPattern = "Invalid match pattern";

struct PatternStep {
  TokenKind axis;
  NodeTest test;
  std::vector<std::unique_ptr<Expr>> predicates;
  bool positional;        // some predicate depends on the node's position
  bool needsSize;         // some predicate asks the context size
  std::int32_t position;  // constantPosition of the first predicate
  bool afterDoubleSlash;  // "//" came before this step
};

class PathPattern : public PatternMatcher {
 public:
  // anchor, when not null, is the id() or key() call the pattern starts from.
  PathPattern(std::vector<PatternStep> steps, bool absolute, std::unique_ptr<Expr> anchor)
      : steps_(std::move(steps)), anchor_(std::move(anchor)), absolute_(absolute) {
    std::size_t searches = 0;
    for (std::size_t i = 1; i < steps_.size(); ++i)
      searches += steps_[i].afterDoubleSlash ? 1 : 0;
    nestedSearches_ = searches > 1;
  }

  bool matches(Node* node, const EvalContext& context) const override {
    if (steps_.empty()) {
      if (anchor_)
        return isAnchored(node, /*orAncestor=*/false, context);
      return absolute_ && node->kind() == NodeKind::Root;
    }
    if (!nestedSearches_)
      return matchStep(steps_.size() - 1, node, context, nullptr);
    Failures failures(steps_.size());
    return matchStep(steps_.size() - 1, node, context, &failures);
  }

 private:
  // By step index, the nodes from which a search up the ancestors for a match of the
  // steps up to that index is known to fail. Kept during one match when "//" searches
  // nest: the inner search would otherwise climb the same ancestors again for every
  // node the outer one tries. A search that succeeds ends the whole match, so a node is
  // marked as soon as its own attempt fails.
  using Failures = std::vector<std::unordered_set<const Node*>>;

  // Whether node, or with orAncestor one of its ancestors, is among the nodes the
  // anchor call selects; the call is made from node, so that it looks in node's tree.
  bool isAnchored(Node* node, bool orAncestor, const EvalContext& base) const {
    EvalContext context = base;
    context.contextNode = node;
    context.position = 1;
    context.size = 1;
    Value anchors = anchor_->evaluate(context);
    std::span<Node* const> members;
    if (anchors.kind() == ValueKind::NodeSet)
      members = {anchors.nodes().begin(), anchors.nodes().end()};
    if (members.empty())
      return false;
    for (Node* candidate = node; candidate != nullptr;
         candidate = orAncestor ? candidate->parent() : nullptr) {
      // Node-sets come in document order.
      if (std::binary_search(members.begin(), members.end(), candidate, precedesInDocumentOrder))
        return true;
    }
    return false;
  }

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

  static Node* firstOfAxis(const PatternStep& step, Node* parent) {
    switch (step.axis) {
    case TokenKind::AxisChild:
      return parent->firstChild();
    case TokenKind::AxisAttribute:
      return parent->firstAttribute();
    default:
      return parent->kind() == NodeKind::Element
                 ? static_cast<ElementNode*>(parent)->firstNamespaceNode()
                 : nullptr;
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
    // node test, each predicate among what the ones before it kept. Unless a predicate
    // asks the size, the nodes after this one cannot change its fate, so they are
    // neither looked at nor read.
    NodeKind principal = principalKind(step.axis);
    NodeVector list;
    std::size_t first = 0;
    if (step.axis == TokenKind::AxisSelf) {
      list.push_back(node);
    } else if (step.position != 0) {
      // The usual a[n]: only the n-th passes the first predicate, so count back.
      if (step.position < 0)
        return false;
      std::int32_t before = 0;
      for (Node* sibling = node->previousSibling(); sibling != nullptr && before < step.position;
           sibling = sibling->previousSibling()) {
        if (step.test.matches(sibling, principal))
          ++before;
      }
      if (before != step.position - 1)
        return false;
      list.push_back(node);
      first = 1;
    } else {
      for (Node* candidate = firstOfAxis(step, parent); candidate != nullptr;
           candidate = candidate->nextSibling()) {
        if (step.test.matches(candidate, principal))
          list.push_back(candidate);
        if (candidate == node && !step.needsSize)
          break;
      }
    }
    for (std::size_t p = first; p < step.predicates.size(); ++p) {
      NodeVector kept;
      context.size = std::int32_t(list.size());
      for (std::size_t i = 0; i < list.size(); ++i) {
        context.contextNode = list[i];
        context.position = std::int32_t(i + 1);
        if (predicateHolds(*step.predicates[p], context))
          kept.push_back(list[i]);
      }
      list = std::move(kept);
    }
    return std::find(list.begin(), list.end(), node) != list.end();
  }

  bool matchStep(std::size_t index, Node* node, const EvalContext& context,
                 Failures* failures) const {
    const PatternStep& step = steps_[index];
    if (!step.test.matches(node, principalKind(step.axis)))
      return false;
    Node* parent = contextOf(step, node);
    if (parent == nullptr)
      return false;
    if (!passesPredicates(step, node, parent, context))
      return false;
    if (index == 0) {
      if (anchor_)
        return isAnchored(parent, step.afterDoubleSlash, context);
      if (!absolute_)
        return true;
      if (!step.afterDoubleSlash)
        return parent->kind() == NodeKind::Root;
      return true;  // the root is an ancestor-or-self of every context
    }
    if (!step.afterDoubleSlash)
      return matchStep(index - 1, parent, context, failures);
    auto* failed = failures != nullptr ? &(*failures)[index - 1] : nullptr;
    for (Node* ancestor = parent; ancestor != nullptr; ancestor = ancestor->parent()) {
      if (failed != nullptr && failed->contains(ancestor))
        break;
      if (matchStep(index - 1, ancestor, context, failures))
        return true;
      if (failed != nullptr)
        failed->insert(ancestor);
    }
    return false;
  }

  std::vector<PatternStep> steps_;
  std::unique_ptr<Expr> anchor_;
  bool absolute_;
  bool nestedSearches_;
};

// Alternatives held in a flat list, so that a union of thousands of paths is built,
// matched and destroyed without recursion.
class UnionPattern : public PatternMatcher {
 public:
  explicit UnionPattern(std::vector<std::unique_ptr<PatternMatcher>> alternatives)
      : alternatives_(std::move(alternatives)) {}
  bool matches(Node* node, const EvalContext& context) const override {
    return std::any_of(alternatives_.begin(), alternatives_.end(),
                       [&](const auto& a) { return a->matches(node, context); });
  }

 private:
  std::vector<std::unique_ptr<PatternMatcher>> alternatives_;
};

// A filter expression written alone is a path without steps; its expression, else null.
const SyntaxNode* plainFilter(const SyntaxNode& node) {
  if (node.kind() != SyntaxKind::Path)
    return &node;
  const auto& path = static_cast<const PathNode&>(node);
  if (!path.steps().empty() || path.isNegated() || path.isAbsolute())
    return nullptr;
  return path.filter();
}

// id(Literal) or key(Literal, Literal), the only calls a pattern may start with.
bool isIdKeyCall(const SyntaxNode& node) {
  if (node.kind() != SyntaxKind::FunctionCall)
    return false;
  const auto& call = static_cast<const FunctionCallNode&>(node);
  std::string_view name = call.name().view();
  std::size_t arguments = name == "id" ? 1 : name == "key" ? 2 : 0;
  if (arguments == 0 || call.arguments().items().size() != arguments ||
      !call.predicates().items().empty())
    return false;
  return std::all_of(call.arguments().items().begin(), call.arguments().items().end(),
                     [](const auto& argument) {
                       const SyntaxNode* inner = plainFilter(*argument);
                       return inner != nullptr && inner->kind() == SyntaxKind::Literal;
                     });
}

std::unique_ptr<PatternMatcher> compilePathPattern(const PathNode& path) {
  // A filter (a variable, a function call, a parenthesised expression) is reported where
  // it starts, unless it is an id() or key() call.
  std::unique_ptr<Expr> anchor;
  if (path.filter() != nullptr) {
    if (path.isNegated() || !isIdKeyCall(*path.filter()))
      throw XPathParseException(path.filter()->token().position, kInvalidMatchPattern);
    anchor = path.filter()->compile();
  }
  if (path.isNegated())
    throw XPathParseException(path.token().position, kInvalidMatchPattern);
  std::vector<PatternStep> steps;
  for (const auto& node : path.steps()) {
    PatternStep step;
    step.axis = node->axis();
    if (step.axis != TokenKind::AxisChild && step.axis != TokenKind::AxisAttribute &&
        step.axis != TokenKind::AxisNamespace && step.axis != TokenKind::AxisSelf)
      throw XPathParseException(node->token().position, kInvalidMatchPattern);
    step.test = compileNodeTest(node->nodeTest());
    for (const auto& p : node->predicates().items())
      step.predicates.push_back(p->compile());
    step.positional = std::any_of(step.predicates.begin(), step.predicates.end(),
                                  [](const auto& p) { return p->isPositional(); });
    step.needsSize = std::any_of(step.predicates.begin(), step.predicates.end(),
                                 [](const auto& p) { return p->usesContextSize(); });
    step.position = step.predicates.empty() ? 0 : constantPosition(*step.predicates.front());
    step.afterDoubleSlash = node->isDescendant();
    steps.push_back(std::move(step));
  }
  return std::make_unique<PathPattern>(std::move(steps), path.isAbsolute(), std::move(anchor));
}

void pushAll(std::vector<const SyntaxNode*>& pending, const ExprList& list) {
  for (const auto& item : list.items())
    pending.push_back(item.get());
}

}  // namespace

bool refersToVariable(const SyntaxNode& pattern) {
  std::vector<const SyntaxNode*> pending{&pattern};
  while (!pending.empty()) {
    const SyntaxNode* node = pending.back();
    pending.pop_back();
    switch (node->kind()) {
    case SyntaxKind::Variable:
      return true;
    case SyntaxKind::BinaryOp: {
      const auto* op = static_cast<const BinaryOpNode*>(node);
      pending.push_back(&op->left());
      pending.push_back(&op->right());
      break;
    }
    case SyntaxKind::Path: {
      const auto* path = static_cast<const PathNode*>(node);
      for (const auto& step : path->steps())
        pending.push_back(step.get());
      if (path->filter() != nullptr)
        pending.push_back(path->filter());
      break;
    }
    case SyntaxKind::Step:
      pushAll(pending, static_cast<const StepNode*>(node)->predicates());
      break;
    case SyntaxKind::FunctionCall: {
      const auto* call = static_cast<const FunctionCallNode*>(node);
      pushAll(pending, call->arguments());
      pushAll(pending, call->predicates());
      break;
    }
    case SyntaxKind::Group: {
      const auto* group = static_cast<const GroupNode*>(node);
      pending.push_back(&group->inner());
      pushAll(pending, group->predicates());
      break;
    }
    case SyntaxKind::Axis:
    case SyntaxKind::NodeTypeTest:
    case SyntaxKind::NameTest:
    case SyntaxKind::Literal:
    case SyntaxKind::Number:
      break;
    }
  }
  return false;
}

std::unique_ptr<PatternMatcher> SyntaxNode::compilePattern() const {
  if (kind_ != SyntaxKind::BinaryOp) {
    if (kind_ == SyntaxKind::FunctionCall && isIdKeyCall(*this)) {
      return std::make_unique<PathPattern>(std::vector<PatternStep>(), /*absolute=*/false,
                                           compile());
    }
    if (kind_ != SyntaxKind::Path)
      throw XPathParseException(token().position, kInvalidMatchPattern);
    return compilePathPattern(*static_cast<const PathNode*>(this));
  }
  // a | b | c is ((a | b) | c): collect the right operands down the left side.
  std::vector<const SyntaxNode*> operands;
  const SyntaxNode* node = this;
  while (node->kind() == SyntaxKind::BinaryOp) {
    const auto* op = static_cast<const BinaryOpNode*>(node);
    if (op->op() != TokenKind::Union)
      throw XPathParseException(op->token().position, kInvalidMatchPattern);
    operands.push_back(&op->right());
    node = &op->left();
  }
  operands.push_back(node);
  std::vector<std::unique_ptr<PatternMatcher>> alternatives;
  alternatives.reserve(operands.size());
  for (auto it = operands.rbegin(); it != operands.rend(); ++it)
    alternatives.push_back((*it)->compilePattern());
  return std::make_unique<UnionPattern>(std::move(alternatives));
}

}  // namespace ovra
