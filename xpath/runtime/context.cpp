#include "xpath/runtime/context.h"

#include "tree/node.h"

#include <utility>

namespace ovra {

HostFunction::~HostFunction() = default;

EvaluationHost::~EvaluationHost() = default;

const HostFunction* EvaluationHost::function(StringRef, StringRef) const {
  return nullptr;
}

DocumentRegistry* EvaluationHost::documents() {
  return nullptr;
}

void EvaluationHost::keepTree(std::shared_ptr<Node> tree) {
  keptTrees_.push_back(std::move(tree));
}

}  // namespace ovra
