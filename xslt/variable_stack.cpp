#include "xslt/variable_stack.h"

#include "xslt/stylesheet.h"
#include "xslt/transform.h"
#include "xslt/variables.h"

#include <vector>

namespace ovra {

namespace {

// The binding arrays of finished invocations, for the next ones: every template call has a
// stack of its own, and allocating its array (and growing it past a few parameters) was a
// tenth of the work of call-heavy stylesheets. Per thread, as runs are.
thread_local std::vector<std::vector<Binding>> spareBindings;
constexpr std::size_t kSpareLimit = 64;

}  // namespace

VariableStack::VariableStack(GlobalVariables* globals)
    : globals_(globals), run_(globals != nullptr ? &globals->run() : nullptr) {
  if (spareBindings.capacity() == 0)
    spareBindings.reserve(kSpareLimit);  // the destructor must not allocate
  if (!spareBindings.empty()) {
    bindings_ = std::move(spareBindings.back());
    spareBindings.pop_back();
  }
}

VariableStack::~VariableStack() {
  if (bindings_.capacity() == 0 || spareBindings.size() >= kSpareLimit)
    return;
  bindings_.clear();
  spareBindings.push_back(std::move(bindings_));
}

DocumentRegistry* VariableStack::documents() {
  return run_ != nullptr ? &run_->documents() : nullptr;
}

void VariableStack::keepTree(std::shared_ptr<Node> tree) {
  if (run_ != nullptr)
    run_->keepTree(std::move(tree));
  else
    EvaluationHost::keepTree(std::move(tree));
}

const Value* VariableStack::variable(StringRef namespaceURI, StringRef localName,
                                     const EvalContext&) {
  for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it) {
    // Passed parameters are seen through the callee's xsl:param only.
    if (it->kind != BindingKind::Parameter && it->name.localName == localName &&
        it->name.namespaceURI == namespaceURI)
      return &it->value;
  }
  return globals_ == nullptr ? nullptr : globals_->lookup(namespaceURI, localName);
}

const Binding* VariableStack::findLocal(const ExpandedName& name) const {
  for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it) {
    if (it->name == name)
      return &*it;
  }
  return nullptr;
}

bool VariableStack::hasGlobal(const ExpandedName& name) const {
  return globals_ != nullptr && globals_->contains(name);
}

void VariableStack::push(ExpandedName name, Value value, BindingKind kind, const Node* scopeOwner) {
  // A template's stack holds a few bindings: room for them at once.
  if (bindings_.capacity() == 0)
    bindings_.reserve(4);
  bindings_.emplace_back(name, std::move(value), kind, scopeOwner);
}

void VariableStack::popScope(const Node* owner) {
  while (!bindings_.empty() && bindings_.back().scopeOwner == owner)
    bindings_.pop_back();
}

const HostFunction* VariableStack::function(StringRef namespaceURI, StringRef localName) const {
  return run_ != nullptr ? run_->stylesheet().functions().find(namespaceURI, localName) : nullptr;
}

}  // namespace ovra
