#include "xslt/exslt/exslt.h"

#include "base/exceptions.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "xslt/exslt/exslt_impl.h"

#include <algorithm>
#include <string>

namespace ovra {

namespace {

using ModuleRegistration = void (*)(FunctionRegistry& registry);

constexpr ModuleRegistration kModules[] = {
    registerCommonModule, registerDatesModule, registerDynamicModule,
    registerMathModule,   registerSetsModule,  registerStringsModule,
};

}  // namespace

void registerExsltModules(FunctionRegistry& registry) {
  for (ModuleRegistration registerModule : kModules)
    registerModule(registry);
}

// ---- Helpers of the modules ----

std::span<Node* const> nodeSetArgument(const Token& call, const char* function,
                                       const ArgumentList& args, std::size_t index) {
  const Value& value = args[index];
  switch (value.kind()) {
  case ValueKind::None:
  case ValueKind::NodeSet:
    return nodeMembers(value);
  case ValueKind::TreeFragment:
  case ValueKind::Number:
  case ValueKind::Boolean:
  case ValueKind::String:
    break;
  }
  std::string text =
      "Argument " + std::to_string(index + 1) + " of " + function + "() must be a node-set, not a ";
  switch (value.kind()) {
  case ValueKind::TreeFragment:
    text += "result tree fragment: convert it with exsl:node-set()";
    break;
  case ValueKind::Number:
    text += "number";
    break;
  case ValueKind::Boolean:
    text += "boolean";
    break;
  default:
    text += "string";
    break;
  }
  throw EvaluateException(call.position, String(text));
}

Value nodeSetSharing(const Value& value, NodeVector nodes) {
  return value.nodeSetSharingTree(std::move(nodes));
}

ResultTreeBuilder::ResultTreeBuilder(const EvalContext& context) : root_(new RootNode(nullptr)) {
  if (context.host != nullptr)
    context.host->keepTree(root_);
}

Node* ResultTreeBuilder::addElement(std::string_view localName, std::string_view text,
                                    std::string_view namespaceURI, std::string_view prefix) {
  auto* element = new ElementNode(intern(namespaceURI), intern(localName), intern(prefix), 0, true);
  root_->appendChild(element);
  if (!text.empty())
    element->appendChild(TextNode::makeOwned(text));
  element->markComplete();
  elements_.push_back(element);
  return element;
}

Value ResultTreeBuilder::finish() {
  return Value::makeNodeSet(std::move(elements_), std::move(root_));
}

Value ResultTreeBuilder::finish(NodeVector nodes) {
  std::sort(nodes.begin(), nodes.end(), precedesInDocumentOrder);
  nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
  return Value::makeNodeSet(std::move(nodes), std::move(root_));
}

}  // namespace ovra
