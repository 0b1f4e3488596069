// EXSLT common (http://exslt.org/common): exsl:node-set and exsl:object-type. The
// exsl:document element belongs to the instruction table, not here.
#include "base/exceptions.h"
#include "tree/node.h"
#include "xslt/exslt/exslt.h"

#include <memory>

namespace ovra {

namespace {

// A node-set as it is; a result tree fragment as the node-set of its root, so that paths
// can walk it; a string, number or boolean as a node-set of one text node holding its
// string value. A tree made here lives as long as the value and the evaluation's host:
// paths keep nodes of it after the value is gone.
Value nodeSetFunction(const Token&, const EvalContext& context, ArgumentList& args) {
  const Value& argument = args[0];
  switch (argument.kind()) {
  case ValueKind::NodeSet:
    return argument;
  case ValueKind::TreeFragment:
    return argument.nodeSetSharingTree(NodeVector{argument.fragmentRoot()});
  case ValueKind::None:
    return Value::makeNodeSet(NodeVector());
  case ValueKind::Number:
  case ValueKind::Boolean:
  case ValueKind::String:
    break;
  }
  auto root = std::shared_ptr<Node>(new RootNode(nullptr));
  String text = stringOf(argument);
  Node* textNode = TextNode::makeOwned(text.view());
  root->appendChild(textNode);
  if (context.host != nullptr)
    context.host->keepTree(root);
  return Value::makeNodeSet(NodeVector{textNode}, std::move(root));
}

// The type of the argument's value as EXSLT names it.
Value objectTypeFunction(const Token&, const EvalContext&, ArgumentList& args) {
  const char* type = "string";
  switch (args[0].kind()) {
  case ValueKind::None:
  case ValueKind::NodeSet:
    type = "node-set";
    break;
  case ValueKind::TreeFragment:
    type = "RTF";
    break;
  case ValueKind::Number:
    type = "number";
    break;
  case ValueKind::Boolean:
    type = "boolean";
    break;
  case ValueKind::String:
    break;
  }
  return Value::makeString(String(type));
}

constexpr NamedFunction kFunctions[] = {
    {"node-set", {1, 1, nodeSetFunction, FunctionResult::NodeSet}},
    {"object-type", {1, 1, objectTypeFunction, FunctionResult::String}},
};

}  // namespace

void registerCommonModule(FunctionRegistry& registry) {
  registry.add(kExsltCommonNamespace, kFunctions);
}

}  // namespace ovra
