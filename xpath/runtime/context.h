// What an expression is evaluated against: the context of XPath 1.0 section 1 (node,
// position, size, variable bindings, function library) and the host that embeds the
// engine. The XPath engine reads variables through EvaluationHost and knows nothing else
// of its host; a layer above that registers functions of its own (XSLT's key(),
// document()) gives them what they need through a host class of its own deriving from
// EvaluationHost.
#pragma once

#include "base/string.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace ovra {

class ArgumentList;
class DocumentRegistry;
class Node;
struct EvalContext;
struct Token;
class Value;

// A function that a host defines while it runs (a stylesheet's own functions), beside
// those of the registry expressions are compiled against. Called with its arguments
// evaluated; errors are EvaluateExceptions at call.
class HostFunction {
 public:
  HostFunction() = default;
  HostFunction(const HostFunction&) = delete;
  HostFunction& operator=(const HostFunction&) = delete;
  virtual ~HostFunction();
  virtual Value call(const Token& call, const EvalContext& context, ArgumentList& args) const = 0;
};

// The embedding of an evaluation: variable bindings, and whatever a layer above keeps
// for the functions it registered. One host serves many evaluations; it outlives them.
class EvaluationHost {
 public:
  EvaluationHost() = default;
  EvaluationHost(const EvaluationHost&) = delete;
  EvaluationHost& operator=(const EvaluationHost&) = delete;
  virtual ~EvaluationHost();
  // The bound value, or null when no binding of that name is visible. The value lives at
  // least as long as the evaluation that asks.
  virtual const Value* variable(StringRef namespaceURI, StringRef localName,
                                const EvalContext& context) = 0;
  // Keeps a tree that a function built (exsl:node-set() of a string) alive at least as
  // long as this host: paths may hold its nodes after the value that owned it is gone.
  // The default keeps it here; a host that lives shorter than the values it sees
  // (a template's variable stack) passes it on to what outlives them.
  virtual void keepTree(std::shared_ptr<Node> tree);
  // Where the documents that expressions name (document()) are loaded, once each; null
  // when this host reads none.
  virtual DocumentRegistry* documents();
  // The function of that expanded name the host defines, for a call in a namespace that
  // the registry did not know when the expression was compiled; null when there is none
  // (the call is then an error). The default defines none.
  virtual const HostFunction* function(StringRef namespaceURI, StringRef localName) const;

 private:
  std::vector<std::shared_ptr<Node>> keptTrees_;
};

// Everything an evaluation receives.
struct EvalContext {
  Node* contextNode = nullptr;
  std::int32_t position = 1;       // context position, 1-based
  std::int32_t size = 0;           // context size; 0 when not known
  EvaluationHost* host = nullptr;  // null: no variables are bound
  // The node the host is working on, for hosts that have one (XSLT's current node,
  // current()); null otherwise.
  Node* currentNode = nullptr;
  // The element the expression was written in, for hosts that have one: function
  // arguments that are QNames resolve their prefixes there, and document() resolves
  // relative references against its base.
  Node* stylesheetElement = nullptr;
};

}  // namespace ovra
