// EXSLT sets (http://exslt.org/sets). Node-set values hold their members in document
// order without duplicates, so two of them are compared in one merging walk.
#include "tree/node.h"
#include "xslt/exslt/exslt.h"
#include "xslt/exslt/exslt_impl.h"

#include <algorithm>
#include <string>
#include <unordered_set>

namespace ovra {

namespace {

using Members = std::span<Node* const>;

// Walks first and second together and keeps the members of first that are in second
// (keepShared) or that are not.
NodeVector mergeFilter(Members first, Members second, bool keepShared) {
  NodeVector kept;
  auto other = second.begin();
  for (Node* node : first) {
    while (other != second.end() && precedesInDocumentOrder(*other, node))
      ++other;
    bool shared = other != second.end() && *other == node;
    if (shared == keepShared)
      kept.push_back(node);
  }
  return kept;
}

// The nodes of the first argument that are not in the second.
Value differenceFunction(const Token& call, const EvalContext&, ArgumentList& args) {
  Members first = nodeSetArgument(call, "set:difference", args, 0);
  Members second = nodeSetArgument(call, "set:difference", args, 1);
  return nodeSetSharing(args[0], mergeFilter(first, second, false));
}

// The nodes of the first argument that are also in the second.
Value intersectionFunction(const Token& call, const EvalContext&, ArgumentList& args) {
  Members first = nodeSetArgument(call, "set:intersection", args, 0);
  Members second = nodeSetArgument(call, "set:intersection", args, 1);
  return nodeSetSharing(args[0], mergeFilter(first, second, true));
}

// Of the nodes with equal string values, the first in document order.
Value distinctFunction(const Token& call, const EvalContext&, ArgumentList& args) {
  Members members = nodeSetArgument(call, "set:distinct", args, 0);
  std::unordered_set<std::string> seen;
  NodeVector kept;
  for (Node* node : members) {
    if (seen.insert(std::string(node->stringValue().view())).second)
      kept.push_back(node);
  }
  return nodeSetSharing(args[0], std::move(kept));
}

Value hasSameNodeFunction(const Token& call, const EvalContext&, ArgumentList& args) {
  Members first = nodeSetArgument(call, "set:has-same-node", args, 0);
  Members second = nodeSetArgument(call, "set:has-same-node", args, 1);
  auto other = second.begin();
  for (Node* node : first) {
    while (other != second.end() && precedesInDocumentOrder(*other, node))
      ++other;
    if (other == second.end())
      break;
    if (*other == node)
      return Value::makeBoolean(true);
  }
  return Value::makeBoolean(false);
}

// set:leading and set:trailing: the nodes of the first argument before (after) the first
// node of the second; all of the first when the second is empty, none when the first
// does not hold that node.
Value splitAtFirst(const Token& call, ArgumentList& args, bool leading) {
  const char* function = leading ? "set:leading" : "set:trailing";
  Members first = nodeSetArgument(call, function, args, 0);
  Members second = nodeSetArgument(call, function, args, 1);
  if (second.empty())
    return nodeSetSharing(args[0], NodeVector(first.begin(), first.end()));
  auto at = std::lower_bound(first.begin(), first.end(), second.front(), precedesInDocumentOrder);
  if (at == first.end() || *at != second.front())
    return Value::makeNodeSet(NodeVector());
  if (leading)
    return nodeSetSharing(args[0], NodeVector(first.begin(), at));
  return nodeSetSharing(args[0], NodeVector(at + 1, first.end()));
}

Value leadingFunction(const Token& call, const EvalContext&, ArgumentList& args) {
  return splitAtFirst(call, args, true);
}

Value trailingFunction(const Token& call, const EvalContext&, ArgumentList& args) {
  return splitAtFirst(call, args, false);
}

constexpr NamedFunction kFunctions[] = {
    {"difference", {2, 2, differenceFunction, FunctionResult::NodeSet}},
    {"distinct", {1, 1, distinctFunction, FunctionResult::NodeSet}},
    {"has-same-node", {2, 2, hasSameNodeFunction, FunctionResult::Boolean}},
    {"intersection", {2, 2, intersectionFunction, FunctionResult::NodeSet}},
    {"leading", {2, 2, leadingFunction, FunctionResult::NodeSet}},
    {"trailing", {2, 2, trailingFunction, FunctionResult::NodeSet}},
};

}  // namespace

void registerSetsModule(FunctionRegistry& registry) {
  registry.add(kExsltSetsNamespace, kFunctions);
}

}  // namespace ovra
