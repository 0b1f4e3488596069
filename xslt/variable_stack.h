// The variable bindings of one run. Each template invocation (apply-templates,
// call-template) gets a stack of its own that sees the run's globals; values live in
// the stack entries, so a recursive invocation never disturbs the caller's bindings.
#pragma once

#include "tree/qname.h"
#include "xpath/expr.h"
#include "xpath/runtime/value.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace ovra {

class Node;
class GlobalVariables;
class Transformation;

enum class BindingKind : std::uint8_t {
  Global = 0,     // top-level xsl:variable and xsl:param
  Local = 1,      // xsl:variable and xsl:param inside a template
  Parameter = 2,  // xsl:with-param: a value passed to the template about to run
};

struct Binding {
  // Spelled out for compilers without C++20's parenthesised aggregate initialisation
  // (clang before 16 builds the fuzzers).
  Binding(ExpandedName name, Value value, BindingKind kind, const Node* scopeOwner)
      : name(name), value(std::move(value)), kind(kind), scopeOwner(scopeOwner) {}

  ExpandedName name;
  Value value;
  BindingKind kind;
  const Node* scopeOwner;  // the element whose children hold the binding; null for globals
};

// The evaluation host inside a transformation: the XSLT functions find the run through it.
class VariableStack : public EvaluationHost {
 public:
  // globals may be null (the XPath mode has none).
  explicit VariableStack(GlobalVariables* globals = nullptr);
  ~VariableStack() override;

  // Locals from the top down, then the globals (evaluated on first use). Passed
  // parameters are skipped: a template sees them through its xsl:param only.
  const Value* variable(StringRef namespaceURI, StringRef localName,
                        const EvalContext& context) override;
  // Into the run's keeping: values of this stack's bindings outlive it.
  void keepTree(std::shared_ptr<Node> tree) override;
  // The run's; null without globals.
  DocumentRegistry* documents() override;
  // The stylesheet's func:function of that name; null without globals.
  const HostFunction* function(StringRef namespaceURI, StringRef localName) const override;
  // The run the globals belong to; null without globals.
  Transformation* run() const { return run_; }

  // The innermost binding of name, passed parameters included, or null; globals are not
  // searched.
  const Binding* findLocal(const ExpandedName& name) const;
  // Whether a global of that name exists.
  bool hasGlobal(const ExpandedName& name) const;

  void push(ExpandedName name, Value value, BindingKind kind, const Node* scopeOwner);
  // Removes entries from the top while their scope owner is owner.
  void popScope(const Node* owner);

  GlobalVariables* globals() const { return globals_; }
  std::size_t size() const { return bindings_.size(); }

 private:
  GlobalVariables* globals_;  // not owned; lives for the run
  Transformation* run_;       // not owned; null without globals
  std::vector<Binding> bindings_;
};

}  // namespace ovra
