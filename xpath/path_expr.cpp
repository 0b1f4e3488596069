// Location paths: steps walk their axis from each context node, keep what the node
// test and predicates let through, and feed the next step. Paths whose shape keeps
// document order without duplicates stream node by node, so a query answered early
// reads no more of a lazily parsed document than it needs; the others are gathered
// step by step and sorted.
#include "base/exceptions.h"
#include "tree/node.h"
#include "xpath/expr_impl.h"
#include "xpath/runtime/axis_iterators.h"

#include <algorithm>
#include <cmath>

namespace ovra {

namespace {
constexpr const char* kStepOnNonNodeSet =
    "A location step or predicate can only follow a node-set, not a ";
constexpr const char* kStepOnTreeFragment =
    "A location step or predicate can only follow a node-set, not a result tree fragment: "
    "convert it with exsl:node-set()";
}  // namespace

// ---- Node tests ----

// A name test against an element's or attribute's name record: no virtual call per node.
static bool hasTestedName(const QualifiedName* name, const NodeTest& test) {
  return name->localName == test.localName && name->namespaceURI == test.namespaceURI;
}

bool NodeTest::matches(Node* node, NodeKind principal) const {
  switch (kind) {
  case Kind::AnyNode:
    return true;
  case Kind::Text:
    return node->kind() == NodeKind::Text;
  case Kind::Comment:
    return node->kind() == NodeKind::Comment;
  case Kind::ProcessingInstruction:
    return node->kind() == NodeKind::ProcessingInstruction &&
           (target.empty() ||
            std::string_view(static_cast<ProcessingInstructionNode*>(node)->target()) ==
                target.view());
  case Kind::AnyName:
    return node->kind() == principal;
  case Kind::NamespaceWildcard:
    // A namespace node's name is its prefix, in no namespace.
    return node->kind() == principal && principal != NodeKind::Namespace &&
           node->namespaceURI() == namespaceURI;
  case Kind::Name: {
    if (node->kind() != principal)
      return false;
    if (principal == NodeKind::Namespace)
      return node->localName() == localName && namespaceURI.empty();
    return hasTestedName(principal == NodeKind::Element
                             ? static_cast<ElementNode*>(node)->qualifiedName()
                             : static_cast<AttributeNode*>(node)->qualifiedName(),
                         *this);
  }
  }
  return false;
}

bool NodeTest::onlyMatchesElements(NodeKind principal) const {
  return principal == NodeKind::Element &&
         (kind == Kind::Name || kind == Kind::AnyName || kind == Kind::NamespaceWildcard);
}

NodeKind Step::principalKind() const {
  if (axis == TokenKind::AxisAttribute)
    return NodeKind::Attribute;
  if (axis == TokenKind::AxisNamespace)
    return NodeKind::Namespace;
  return NodeKind::Element;
}

NameMask Step::nameMask() const {
  if (test.kind == NodeTest::Kind::Name && principalKind() == NodeKind::Element)
    return test.localName.bit();
  return kAllNames;
}

std::int32_t constantPosition(const Expr& predicate) {
  auto* number = dynamic_cast<const NumberExpr*>(&predicate);
  if (number == nullptr)
    return 0;
  double n = number->number();
  // No position equals a non-integer or one below 1: stop at once.
  if (!(n >= 1) || n != std::floor(n))
    return -1;
  return n > 2147483647.0 ? 0 : std::int32_t(n);
}

// A position bound from a constant: the last integer position p with p < n (strict) or
// p <= n; -1 when there is none, 0 when it is too large to matter.
static std::int32_t boundBelow(double n, bool strict) {
  double last = strict ? std::ceil(n) - 1 : std::floor(n);
  if (!(last >= 1))  // NaN too
    return -1;
  return last > 2147483647.0 ? 0 : std::int32_t(last);
}

std::int32_t lastPassingPosition(const Expr& predicate) {
  if (std::int32_t position = constantPosition(predicate))
    return position;
  auto* comparison = dynamic_cast<const BinaryExpr*>(&predicate);
  if (comparison == nullptr || comparison->rest().size() != 1)
    return 0;
  const BinaryExpr::Operation& operation = comparison->rest().front();
  const Expr* left = &comparison->first();
  const Expr* right = operation.operand.get();
  TokenKind op = operation.op;
  if (op != TokenKind::Less && op != TokenKind::LessOrEqual && op != TokenKind::Greater &&
      op != TokenKind::GreaterOrEqual)
    return 0;
  // Written the other way round (4 > position()): mirror it.
  if (dynamic_cast<const NumberExpr*>(left) != nullptr) {
    std::swap(left, right);
    op = mirror(op);
  }
  auto* call = dynamic_cast<const FunctionCallExpr*>(left);
  auto* number = dynamic_cast<const NumberExpr*>(right);
  if (call == nullptr || number == nullptr || !call->isPositionCall())
    return 0;
  if (op == TokenKind::Less)
    return boundBelow(number->number(), true);
  if (op == TokenKind::LessOrEqual)
    return boundBelow(number->number(), false);
  return 0;
}

PredicateStops::PredicateStops(const std::vector<std::unique_ptr<Expr>>& predicates) {
  for (std::size_t i = 0; i < predicates.size(); ++i) {
    std::int32_t bound = lastPassingPosition(*predicates[i]);
    passesNone_ = passesNone_ || bound < 0;
    if (bound > 0) {
      bounds_.resize(i + 1, 0);
      bounds_[i] = bound;
    }
  }
}

static bool hasConstantPosition(const std::vector<std::unique_ptr<Expr>>& predicates) {
  return std::any_of(predicates.begin(), predicates.end(),
                     [](const auto& p) { return constantPosition(*p) != 0; });
}

void Step::prepare() {
  onePerContext = hasConstantPosition(predicates);
  stops = PredicateStops(predicates);
  needsSize = std::any_of(predicates.begin(), predicates.end(),
                          [](const auto& p) { return p->usesContextSize(); });
}

// Keeps the nodes that pass every predicate, each predicate counting positions among
// what the ones before it kept. The list is in the axis's own order.
static void filterList(NodeVector& nodes, const std::vector<std::unique_ptr<Expr>>& predicates,
                       const EvalContext& base) {
  for (const auto& predicate : predicates) {
    NodeVector kept;
    EvalContext context = base;
    context.size = std::int32_t(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      context.contextNode = nodes[i];
      context.position = std::int32_t(i + 1);
      if (predicateHolds(*predicate, context))
        kept.push_back(nodes[i]);
    }
    nodes = std::move(kept);
  }
}

namespace {

// Applies one step to one context node at a time, in the axis's order. Made for every
// evaluation of a step, so it allocates nothing for up to kInlineCounters predicates.
class StepWalker {
 public:
  explicit StepWalker(const Step& step)
      : step_(step), axis_(makeAxisIteratorIn(step.axis, axisStorage_)),
        principal_(step.principalKind()),
        elementName_(step.test.kind == NodeTest::Kind::Name && principal_ == NodeKind::Element),
        counterCount_(step.predicates.size()), childAxis_(step.axis == TokenKind::AxisChild) {
    axis_->setNameMask(step.nameMask());
    if (counterCount_ > kInlineCounters) {
      extraCounters_ = std::make_unique<std::int32_t[]>(counterCount_);
      counters_ = extraCounters_.get();
    }
  }
  StepWalker(const StepWalker&) = delete;
  StepWalker& operator=(const StepWalker&) = delete;
  ~StepWalker() { axis_->~AxisIterator(); }

  void start(Node* context) {
    stopped_ = step_.stops.passesNone();
    std::fill(counters_, counters_ + counterCount_, 0);
    if (context != nullptr && axis_->isSubtreeAxis() &&
        !mayContainName(context, axis_->nameMask())) {
      context = nullptr;
    }
    // A document has exactly one element child, so once it has been seen nothing after
    // it can match, whether it matched or not; looking further would read to the end.
    singleElement_ = step_.axis == TokenKind::AxisChild && context != nullptr &&
                     context->kind() == NodeKind::Root && context->document() != nullptr &&
                     step_.test.onlyMatchesElements(principal_);
    axis_->reset(context);
  }

  // The next node that passes; with needsSize, the next that passes the node test (the
  // caller filters the whole list).
  Node* next(const EvalContext& base) {
    while (!stopped_) {
      Node* node = childAxis_ ? axis_->nextChild() : axis_->next();
      if (node == nullptr)
        return nullptr;
      if (singleElement_ && node->kind() == NodeKind::Element)
        stopped_ = true;
      if (!passesTest(node))
        continue;
      if (step_.needsSize)
        return node;
      if (passes(node, base))
        return node;
    }
    return nullptr;
  }

  // Every node of the current context, in document order.
  void collect(const EvalContext& base, NodeVector& out) {
    std::size_t first = out.size();
    while (Node* node = next(base))
      out.push_back(node);
    if (step_.needsSize) {
      NodeVector list(out.begin() + std::ptrdiff_t(first), out.end());
      filterList(list, step_.predicates, base);
      out.resize(first);
      out.insert(out.end(), list.begin(), list.end());
    }
    if (axis_->isReverseAxis())
      std::reverse(out.begin() + std::ptrdiff_t(first), out.end());
  }

  // A reverse axis hands its nodes out nearest first and they must be turned round; the
  // parent axis yields at most one, so it needs no turning.
  bool buffers() const {
    return (axis_->isReverseAxis() && step_.axis != TokenKind::AxisParent) || step_.needsSize;
  }

 private:
  // The commonest test, an element name on an element axis, without the general
  // dispatch: this runs for every node an axis hands out.
  bool passesTest(Node* node) const {
    if (elementName_)
      return node->kind() == NodeKind::Element &&
             hasTestedName(static_cast<ElementNode*>(node)->qualifiedName(), step_.test);
    return step_.test.matches(node, principal_);
  }

  bool passes(Node* node, const EvalContext& base) {
    EvalContext context = base;
    context.contextNode = node;
    context.size = 0;  // not known while streaming
    bool pass = true;
    for (std::size_t i = 0; i < counterCount_; ++i) {
      context.position = ++counters_[i];
      if (!predicateHolds(*step_.predicates[i], context)) {
        pass = false;
        break;
      }
    }
    if (step_.stops.isOver(counters_))
      stopped_ = true;
    return pass;
  }

  static constexpr std::size_t kInlineCounters = 4;

  const Step& step_;
  AxisIteratorStorage axisStorage_;
  AxisIterator* axis_;
  NodeKind principal_;
  bool elementName_;  // the test is a name and the axis's principal kind is element
  std::int32_t inlineCounters_[kInlineCounters] = {};
  std::unique_ptr<std::int32_t[]> extraCounters_;  // more predicates than that
  std::int32_t* counters_ = inlineCounters_;
  std::size_t counterCount_;
  bool childAxis_;
  bool stopped_ = false;
  bool singleElement_ = false;
};

// One step over a stream of context nodes that the path's shape keeps in document
// order: forward axes pass nodes straight through, reverse axes buffer per context.
class StepStream : public NodeStream {
 public:
  StepStream(const Step& step, std::unique_ptr<NodeStream> input, const EvalContext& base)
      : walker_(step), input_(std::move(input)), base_(base) {}

  Node* next() override {
    for (;;) {
      if (index_ < buffer_.size())
        return buffer_[index_++];
      if (active_) {
        if (!walker_.buffers()) {
          if (Node* node = walker_.next(base_))
            return node;
        } else {
          buffer_.clear();
          index_ = 0;
          walker_.collect(base_, buffer_);
        }
        active_ = false;
        continue;
      }
      Node* context = input_->next();
      if (context == nullptr)
        return nullptr;
      walker_.start(context);
      active_ = true;
    }
  }

 private:
  StepWalker walker_;
  std::unique_ptr<NodeStream> input_;
  EvalContext base_;
  NodeVector buffer_;
  std::size_t index_ = 0;
  bool active_ = false;
};

// The child step over context nodes in document order that may lie inside one another
// (after a descendant step, say). A context's children are interleaved with those of
// the contexts inside it, which arrive later from the input although their children
// come earlier: a stack of walkers, one per open context, merges them by serial.
class NestedChildStream : public NodeStream {
 public:
  NestedChildStream(const Step& step, std::unique_ptr<NodeStream> input, const EvalContext& base)
      : step_(step), input_(std::move(input)), base_(base) {}

  Node* next() override {
    for (;;) {
      if (depth_ == 0) {
        Node* context = pending_ != nullptr ? pending_ : pull();
        pending_ = nullptr;
        if (context == nullptr)
          return nullptr;
        push(context);
        continue;
      }
      Level& top = levels_[depth_ - 1];
      if (!top.peeked) {
        top.candidate = top.walker->next(base_);
        top.peeked = true;
      }
      if (top.candidate == nullptr) {
        --depth_;
        continue;
      }
      if (pending_ == nullptr)
        pending_ = pull();
      // A later context before this candidate lies inside top's context, ahead of the
      // candidate, and so do all its children. (A context in another document may have
      // a lower serial too, when that document was read later: it is not inside.)
      if (pending_ != nullptr && pending_->serial() < top.candidate->serial() &&
          isInside(pending_, top.context)) {
        push(pending_);
        pending_ = nullptr;
        continue;
      }
      top.peeked = false;
      return top.candidate;
    }
  }

 private:
  struct Level {
    std::unique_ptr<StepWalker> walker;
    Node* context = nullptr;
    Node* candidate = nullptr;
    bool peeked = false;
  };

  // Whether node is a descendant of context. Ancestors have lower serials than their
  // descendants, so the climb stops as soon as it passes context's serial.
  static bool isInside(const Node* node, const Node* context) {
    for (const Node* above = node->parent(); above != nullptr; above = above->parent()) {
      if (above == context)
        return true;
      if (above->serial() < context->serial())
        return false;
    }
    return false;
  }

  Node* pull() {
    if (inputDone_)
      return nullptr;
    Node* node = input_->next();
    inputDone_ = node == nullptr;
    return node;
  }

  void push(Node* context) {
    if (depth_ == levels_.size())
      levels_.push_back(Level{std::make_unique<StepWalker>(step_)});
    Level& level = levels_[depth_++];
    level.context = context;
    level.walker->start(context);
    level.peeked = false;
  }

  const Step& step_;
  std::unique_ptr<NodeStream> input_;
  EvalContext base_;
  std::vector<Level> levels_;  // walkers are kept for reuse beyond depth_
  std::size_t depth_ = 0;
  Node* pending_ = nullptr;  // pulled from the input, not yet a context
  bool inputDone_ = false;
};

// The predicates of a filter expression, counting positions over the whole input.
class FilterStream : public NodeStream {
 public:
  FilterStream(const std::vector<std::unique_ptr<Expr>>& predicates, const PredicateStops& stops,
               std::unique_ptr<NodeStream> input, const EvalContext& base)
      : predicates_(predicates), stops_(stops), input_(std::move(input)), base_(base),
        counters_(predicates.size()) {}

  Node* next() override {
    while (!stopped_) {
      Node* node = input_->next();
      if (node == nullptr)
        return nullptr;
      EvalContext context = base_;
      context.contextNode = node;
      context.size = 0;  // not known while streaming
      bool pass = true;
      for (std::size_t i = 0; i < counters_.size(); ++i) {
        context.position = ++counters_[i];
        if (!predicateHolds(*predicates_[i], context)) {
          pass = false;
          break;
        }
      }
      if (stops_.isOver(counters_.data()))
        stopped_ = true;
      if (pass)
        return node;
    }
    return nullptr;
  }

 private:
  const std::vector<std::unique_ptr<Expr>>& predicates_;
  const PredicateStops& stops_;
  std::unique_ptr<NodeStream> input_;
  EvalContext base_;
  std::vector<std::int32_t> counters_;
  bool stopped_ = false;
};

class EmptyStream : public NodeStream {
 public:
  Node* next() override { return nullptr; }
};

NodeVector drain(NodeStream& stream) {
  NodeVector nodes;
  while (Node* node = stream.next())
    nodes.push_back(node);
  return nodes;
}

// The steps from index on, from one context node: visit(node) for each result in
// document order while it answers true. Each level's walker lives on the stack. With
// anyOrder a reverse axis hands its nodes on nearest first, unbuffered.
template <bool anyOrder, class Visit>
bool walkSteps(const std::vector<Step>& steps, std::size_t index, Node* context,
               const EvalContext& base, Visit& visit) {
  StepWalker walker(steps[index]);
  walker.start(context);
  bool last = index + 1 == steps.size();
  auto onward = [&](Node* node) {
    return last ? visit(node) : walkSteps<anyOrder>(steps, index + 1, node, base, visit);
  };
  if (anyOrder ? steps[index].needsSize : walker.buffers()) {
    NodeVector nodes;
    walker.collect(base, nodes);
    for (Node* node : nodes) {
      if (!onward(node))
        return false;
    }
    return true;
  }
  while (Node* node = walker.next(base)) {
    if (!onward(node))
      return false;
  }
  return true;
}

constexpr std::size_t kMaxStreamedSteps = 64;

// What the shape of a path guarantees about the nodes flowing between its steps.
struct Order {
  bool single;  // at most one node
  bool peer;    // in document order, no duplicates, none an ancestor of another
  bool sorted;  // in document order, no duplicates
};

// The order after a step; sorted false when it must be sorted. Marks a child step that
// keeps document order only by merging (nestedContexts).
Order orderAfter(Step& step, Order in) {
  bool oneEach = step.onePerContext;
  step.nestedContexts = false;
  switch (step.axis) {
  case TokenKind::AxisSelf:
    return {in.single, in.peer, in.sorted};
  case TokenKind::AxisParent:
    if (in.single)
      return {true, true, true};
    break;
  case TokenKind::AxisChild:
  case TokenKind::AxisFollowingSibling:
  case TokenKind::AxisPrecedingSibling:
    if (in.single || (in.peer && step.axis == TokenKind::AxisChild))
      return {in.single && oneEach, true, true};
    if (in.sorted && step.axis == TokenKind::AxisChild && !step.needsSize) {
      step.nestedContexts = true;
      return {false, false, true};
    }
    break;
  case TokenKind::AxisAttribute:
  case TokenKind::AxisNamespace:
    // Each element has its own, which follow it and come before its children.
    if (in.sorted)
      return {in.single && oneEach, true, true};
    break;
  case TokenKind::AxisDescendant:
  case TokenKind::AxisDescendantOrSelf:
    if (in.peer)
      return {in.single && oneEach, false, true};
    break;
  case TokenKind::AxisAncestor:
  case TokenKind::AxisAncestorOrSelf:
  case TokenKind::AxisFollowing:
  case TokenKind::AxisPreceding:
    if (in.single)
      return {oneEach, false, true};
    break;
  default:
    break;
  }
  return {false, false, false};
}

}  // namespace

PathExpr::PathExpr(std::unique_ptr<Expr> filter, const Token& filterToken,
                   std::vector<std::unique_ptr<Expr>> filterPredicates, bool absolute,
                   std::vector<Step> steps)
    : filter_(std::move(filter)), filterToken_(filterToken),
      filterPredicates_(std::move(filterPredicates)), absolute_(absolute),
      steps_(std::move(steps)) {
  if (!filterPredicates_.empty()) {
    filterOneNode_ = hasConstantPosition(filterPredicates_);
    filterStops_ = PredicateStops(filterPredicates_);
    filterNeedsSize_ = std::any_of(filterPredicates_.begin(), filterPredicates_.end(),
                                   [](const auto& p) { return p->usesContextSize(); });
  }
  for (Step& step : steps_)
    step.prepare();
  Order order = filter_ ? Order{filterOneNode_, filterOneNode_, true} : Order{true, true, true};
  for (Step& step : steps_) {
    order = orderAfter(step, order);
    if (!order.sorted)
      break;
  }
  // Streamed steps pull from one another recursively, one stack frame per step; a path
  // longer than any written by hand is gathered step by step instead.
  streamable_ = order.sorted && steps_.size() <= kMaxStreamedSteps;
  walkable_ = streamable_ && std::none_of(steps_.begin(), steps_.end(),
                                          [](const Step& step) { return step.nestedContexts; });
}

bool PathExpr::usesContextSize() const {
  return filter_ != nullptr && filter_->usesContextSize();
}

bool PathExpr::usesPosition() const {
  return filter_ != nullptr && filter_->usesPosition();
}

std::unique_ptr<NodeStream> PathExpr::source(const EvalContext& context) const {
  if (filter_ == nullptr) {
    Node* start = context.contextNode;
    if (start != nullptr && absolute_)
      start = start->root();
    if (start == nullptr)
      return std::make_unique<EmptyStream>();
    return std::make_unique<SingleNodeStream>(start);
  }
  std::unique_ptr<NodeStream> nodes = filter_->select(context);
  if (nodes == nullptr)
    throwNotNodeSet(context);
  if (filterPredicates_.empty())
    return nodes;
  if (filterNeedsSize_) {
    NodeVector list = drain(*nodes);
    filterList(list, filterPredicates_, context);
    return std::make_unique<VectorStream>(std::move(list));
  }
  if (filterStops_.passesNone())
    return std::make_unique<EmptyStream>();
  return std::make_unique<FilterStream>(filterPredicates_, filterStops_, std::move(nodes), context);
}

// Only reached on the way to an error, so evaluating the filter again costs nothing
// that matters.
void PathExpr::throwNotNodeSet(const EvalContext& context) const {
  Value scratch;
  const Value& value = valueOf(*filter_, context, scratch);
  const char* what = "";
  switch (value.kind()) {
  case ValueKind::TreeFragment:
    throw EvaluateException(filterToken_.position, kStepOnTreeFragment);
  case ValueKind::String:
    what = "string";
    break;
  case ValueKind::Number:
    what = "number";
    break;
  case ValueKind::Boolean:
    what = "boolean";
    break;
  case ValueKind::None:
  case ValueKind::NodeSet:
    what = "value";
    break;
  }
  throw EvaluateException(filterToken_.position, String(kStepOnNonNodeSet).append(what));
}

std::unique_ptr<NodeStream> PathExpr::select(const EvalContext& context) const {
  if (!streamable_)
    return std::make_unique<VectorStream>(evaluateSteps(drain(*source(context)), context));
  std::unique_ptr<NodeStream> stream = source(context);
  for (const Step& step : steps_) {
    if (step.nestedContexts)
      stream = std::make_unique<NestedChildStream>(step, std::move(stream), context);
    else
      stream = std::make_unique<StepStream>(step, std::move(stream), context);
  }
  return stream;
}

template <bool anyOrder, class Visit>
bool PathExpr::walk(const EvalContext& context, Visit& visit) const {
  auto fromSource = [&](Node* node) {
    return steps_.empty() ? visit(node) : walkSteps<anyOrder>(steps_, 0, node, context, visit);
  };
  if (filter_ == nullptr) {
    Node* start = context.contextNode;
    if (start != nullptr && absolute_)
      start = start->root();
    return start == nullptr || fromSource(start);
  }
  std::unique_ptr<NodeStream> nodes = source(context);
  while (Node* node = nodes->next()) {
    if (!fromSource(node))
      return false;
  }
  return true;
}

Value PathExpr::evaluate(const EvalContext& context) const {
  if (walkable_) {
    NodeVector nodes;
    auto keep = [&nodes](Node* node) {
      nodes.push_back(node);
      return true;
    };
    walk(context, keep);
    return Value::makeNodeSet(std::move(nodes));
  }
  if (streamable_)
    return Value::makeNodeSet(drain(*select(context)));
  return Value::makeNodeSet(evaluateSteps(drain(*source(context)), context));
}

Node* PathExpr::selectFirst(const EvalContext& context) const {
  if (!walkable_)
    return Expr::selectFirst(context);
  Node* first = nullptr;
  auto take = [&first](Node* node) {
    first = node;
    return false;
  };
  walk(context, take);
  return first;
}

bool PathExpr::evaluateBoolean(const EvalContext& context) const {
  // Recursion deep enough for every path written by hand; longer ones are gathered.
  if (steps_.size() > kMaxStreamedSteps)
    return selectFirst(context) != nullptr;
  auto found = [](Node*) { return false; };
  return !walk</*anyOrder=*/true>(context, found);
}

NodeVector PathExpr::evaluateSteps(NodeVector contexts, const EvalContext& base) const {
  for (const Step& step : steps_) {
    StepWalker walker(step);
    NodeVector out;
    for (Node* context : contexts) {
      walker.start(context);
      walker.collect(base, out);
    }
    sortDocumentOrder(out);
    contexts = std::move(out);
  }
  return contexts;
}

}  // namespace ovra
