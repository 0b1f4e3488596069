// Match patterns of template rules, compiled from the same syntax trees as expressions
// and run in the matching direction: from the candidate node up to its ancestors.
#pragma once

#include <memory>

namespace ovra {

class Node;
class SyntaxNode;
struct EvalContext;

class PatternMatcher {
 public:
  PatternMatcher() = default;
  PatternMatcher(const PatternMatcher&) = delete;
  PatternMatcher& operator=(const PatternMatcher&) = delete;
  virtual ~PatternMatcher();

  // Whether node matches. context supplies the variables and the stylesheet element for
  // predicates; its node and position fields are ignored.
  virtual bool matches(Node* node, const EvalContext& context) const = 0;
};

// Whether an expression or pattern refers to a variable anywhere. XSLT 1.0 forbids that
// in the match patterns of templates and keys only (sections 5.3 and 12.2): compiled
// patterns take variables from their context like any expression. Walks without
// recursion, however long the expression.
bool refersToVariable(const SyntaxNode& pattern);

}  // namespace ovra
