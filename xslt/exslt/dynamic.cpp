// EXSLT dynamic (http://exslt.org/dynamic): expressions given as strings, compiled at run
// time with the namespaces in scope where the call is written and evaluated with the
// call's context, variables included. A string that is no expression gives what EXSLT
// says (an empty node-set, or NaN for the numeric functions) and a warning. A run
// compiles each string once per element it is evaluated from.
#include "base/diagnostics.h"
#include "base/exceptions.h"
#include "tree/document.h"
#include "tree/node.h"
#include "xpath/parser.h"
#include "xslt/exslt/exslt.h"
#include "xslt/exslt/exslt_impl.h"
#include "xslt/functions.h"
#include "xslt/instruction.h"
#include "xslt/transform.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace ovra {

namespace {

constexpr const char* kNotAnExpression = "%s(): '%s' is no expression (%s); its value is %s";
constexpr const char* kClosureNotNodes =
    "dyn:closure() was given an expression that does not give a node-set, '%s'";
constexpr const char* kClosureEndless =
    "dyn:closure() does not end: its expression keeps making new nodes";

// More trees made for one closure than any expression that ends needs: one that keeps
// finding new nodes by making them would run until memory is gone.
constexpr std::size_t kMaxClosureTrees = std::size_t(1) << 16;

// The strings of a run, compiled, by the element they were evaluated from (whose
// namespaces they use) and their text; null for a text that is no expression.
class CompiledStrings : public Transformation::ExtensionState {
 public:
  // The entry of key; found tells whether it was there already.
  std::pair<const std::string, std::unique_ptr<Expr>>& entry(std::string key, bool& found) {
    auto [at, inserted] = compiled_.try_emplace(std::move(key));
    found = !inserted;
    return *at;
  }

 private:
  std::unordered_map<std::string, std::unique_ptr<Expr>> compiled_;
};

// Where dyn's entry is kept in a run.
constexpr char kStateKey = 0;

void warnAtCall(const EvalContext& context, std::string_view text) {
  if (context.stylesheetElement != nullptr)
    warnAt(context.stylesheetElement, text);
  else
    warning(SourceLocation{}, text);
}

// An expression compiled for one call; null when the text is none (reported, saying
// what the call answers then).
class DynamicExpression {
 public:
  DynamicExpression(const char* function, const EvalContext& context, std::string_view text,
                    const char* instead = "an empty node-set")
      : function_(function), instead_(instead) {
    Transformation* run = runningTransformation(context);
    if (run == nullptr) {
      owned_ = compile(context, text);
      expr_ = owned_.get();
      return;
    }
    auto* strings = static_cast<CompiledStrings*>(run->extensionState(&kStateKey));
    if (strings == nullptr)
      strings = static_cast<CompiledStrings*>(
          &run->setExtensionState(&kStateKey, std::make_unique<CompiledStrings>()));
    // The element's address, then the text: the key keeps the text that the compiled
    // expression's tokens point into.
    std::string key(reinterpret_cast<const char*>(&context.stylesheetElement),
                    sizeof context.stylesheetElement);
    key.append(text);
    bool found = false;
    auto& [stored, compiled] = strings->entry(std::move(key), found);
    if (!found)
      compiled =
          compile(context, std::string_view(stored).substr(sizeof context.stylesheetElement));
    expr_ = compiled.get();
  }

  const Expr* get() const { return expr_; }

 private:
  std::unique_ptr<Expr> compile(const EvalContext& context, std::string_view text) const {
    try {
      return compileXPath(text, context.stylesheetElement, xsltFunctions());
    } catch (const XSLException& error) {
      warnAtCall(context, formatMessage(kNotAnExpression, function_, String(text).c_str(),
                                        error.text().c_str(), instead_)
                              .view());
      return nullptr;
    }
  }

  const char* function_;
  const char* instead_;
  std::unique_ptr<Expr> owned_;
  const Expr* expr_ = nullptr;
};

// The value of expr for each node of nodes, as its context node with its position among
// them; each passed to use(node value).
template <typename Use>
void evaluateForEach(const Expr& expr, const EvalContext& context, std::span<Node* const> nodes,
                     Use&& use) {
  EvalContext each = context;
  each.size = std::int32_t(nodes.size());
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    each.contextNode = nodes[i];
    each.position = std::int32_t(i + 1);
    use(expr.evaluate(each));
  }
}

// A node-set's nodes may lie in a tree only the value keeps: the run keeps it too, for
// the nodes gathered from many values.
void keepTreeOf(const Value& value, const EvalContext& context) {
  if (context.host == nullptr)
    return;
  if (std::shared_ptr<Node> tree = value.tree())
    context.host->keepTree(std::move(tree));
}

Value emptyNodeSet() {
  return Value::makeNodeSet(NodeVector());
}

Value evaluateFunction(const Token&, const EvalContext& context, ArgumentList& args) {
  StringArg text(args[0]);
  DynamicExpression expr("dyn:evaluate", context, text.view());
  if (expr.get() == nullptr)
    return emptyNodeSet();
  return expr.get()->evaluate(context);
}

// Numbers as EXSLT wants them written in exsl:number: the infinities as the largest
// finite numbers, so that number() reads them back as numbers.
std::string numberText(double number) {
  if (std::isinf(number))
    number = number > 0 ? DBL_MAX : -DBL_MAX;
  return stringOf(Value::makeNumber(number)).c_str();
}

Value mapFunction(const Token& call, const EvalContext& context, ArgumentList& args) {
  std::span<Node* const> nodes = nodeSetArgument(call, "dyn:map", args, 0);
  StringArg text(args[1]);
  DynamicExpression expr("dyn:map", context, text.view());
  if (expr.get() == nullptr)
    return emptyNodeSet();
  ResultTreeBuilder made(context);
  NodeVector result;
  evaluateForEach(*expr.get(), context, nodes, [&](Value value) {
    switch (value.kind()) {
    case ValueKind::None:
      break;
    case ValueKind::NodeSet:
      keepTreeOf(value, context);
      for (Node* node : nodeMembers(value))
        result.push_back(node);
      break;
    case ValueKind::TreeFragment:
      // A fragment stands for its root, as exsl:node-set() makes it.
      keepTreeOf(value, context);
      result.push_back(value.fragmentRoot());
      break;
    case ValueKind::Number:
      result.push_back(
          made.addElement("number", numberText(numberOf(value)), kExsltCommonNamespace, "exsl"));
      break;
    case ValueKind::Boolean:
      result.push_back(made.addElement("boolean", booleanOf(value) ? "true" : "",
                                       kExsltCommonNamespace, "exsl"));
      break;
    case ValueKind::String:
      result.push_back(
          made.addElement("string", stringOf(value).view(), kExsltCommonNamespace, "exsl"));
      break;
    }
  });
  return made.finish(std::move(result));
}

// dyn:min, dyn:max and dyn:sum: the values of the expression for the nodes, as numbers,
// combined by fold; NaN when the text is no expression, and what empty answers for no
// nodes.
template <typename Fold>
Value foldNumbers(const char* function, const Token& call, const EvalContext& context,
                  ArgumentList& args, double empty, Fold&& fold) {
  std::span<Node* const> nodes = nodeSetArgument(call, function, args, 0);
  StringArg text(args[1]);
  DynamicExpression expr(function, context, text.view(), "NaN");
  if (expr.get() == nullptr)
    return Value::makeNumber(std::numeric_limits<double>::quiet_NaN());
  if (nodes.empty())
    return Value::makeNumber(empty);
  bool first = true;
  double result = 0;
  evaluateForEach(*expr.get(), context, nodes, [&](const Value& value) {
    double number = numberOf(value);
    result = first ? number : fold(result, number);
    first = false;
  });
  return Value::makeNumber(result);
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A NaN among the values makes the minimum and the maximum NaN, as math:min has it.
Value minFunction(const Token& call, const EvalContext& context, ArgumentList& args) {
  return foldNumbers("dyn:min", call, context, args, kNaN, [](double a, double b) {
    return std::isnan(a) || std::isnan(b) ? kNaN : std::min(a, b);
  });
}

Value maxFunction(const Token& call, const EvalContext& context, ArgumentList& args) {
  return foldNumbers("dyn:max", call, context, args, kNaN, [](double a, double b) {
    return std::isnan(a) || std::isnan(b) ? kNaN : std::max(a, b);
  });
}

Value sumFunction(const Token& call, const EvalContext& context, ArgumentList& args) {
  return foldNumbers("dyn:sum", call, context, args, 0.0, [](double a, double b) { return a + b; });
}

// The expression applied to the nodes, then to the nodes that gave that were new, and so
// on until no new node turns up: every node found on the way.
Value closureFunction(const Token& call, const EvalContext& context, ArgumentList& args) {
  std::span<Node* const> start = nodeSetArgument(call, "dyn:closure", args, 0);
  StringArg text(args[1]);
  DynamicExpression expr("dyn:closure", context, text.view());
  if (expr.get() == nullptr)
    return emptyNodeSet();
  std::unordered_set<const Node*> seen;
  // The trees the values came in: a document's nodes are finite, but an expression that
  // makes a tree for each node it is given never runs out of new ones.
  std::unordered_set<const Node*> trees;
  NodeVector found;
  NodeVector current(start.begin(), start.end());
  while (!current.empty()) {
    NodeVector next;
    bool nodeSets = true;
    evaluateForEach(*expr.get(), context, current, [&](const Value& value) {
      if (!value.isNodeSet() && !value.isNone()) {
        nodeSets = false;
        return;
      }
      if (std::shared_ptr<Node> tree = value.tree()) {
        if (trees.insert(tree.get()).second && trees.size() > kMaxClosureTrees)
          throw EvaluateException(call.position, kClosureEndless);
        keepTreeOf(value, context);
      }
      for (Node* node : nodeMembers(value)) {
        if (seen.insert(node).second)
          next.push_back(node);
      }
    });
    if (!nodeSets) {
      warnAtCall(context, formatMessage(kClosureNotNodes, String(text.view()).c_str()).view());
      return emptyNodeSet();
    }
    std::sort(next.begin(), next.end(), precedesInDocumentOrder);
    found.insert(found.end(), next.begin(), next.end());
    current = std::move(next);
  }
  std::sort(found.begin(), found.end(), precedesInDocumentOrder);
  return Value::makeNodeSet(std::move(found));
}

constexpr FunctionResult kAny = FunctionResult::Any;
constexpr FunctionResult kNodeSet = FunctionResult::NodeSet;
constexpr FunctionResult kNumber = FunctionResult::Number;

constexpr NamedFunction kFunctions[] = {
    // The expression may ask the call's position and size.
    {"evaluate", {1, 1, evaluateFunction, kAny, ContextUse::Size}},
    {"map", {2, 2, mapFunction, kNodeSet}},
    {"min", {2, 2, minFunction, kNumber}},
    {"max", {2, 2, maxFunction, kNumber}},
    {"sum", {2, 2, sumFunction, kNumber}},
    {"closure", {2, 2, closureFunction, kNodeSet}},
};

}  // namespace

void registerDynamicModule(FunctionRegistry& registry) {
  registry.add(kExsltDynamicNamespace, kFunctions);
}

}  // namespace ovra
