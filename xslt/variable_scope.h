// A variable stack of its own for a template run from inside another: it sees the run's
// globals and none of the caller's locals, and is the sink's current stack while the scope
// lives.
#pragma once

#include "xslt/result_sink.h"
#include "xslt/variable_stack.h"

namespace ovra {

class CleanVariableScope {
 public:
  explicit CleanVariableScope(ResultSink& sink)
      : sink_(sink), stack_(sink.variables()->globals()), previous_(sink.setVariables(&stack_)) {}
  CleanVariableScope(const CleanVariableScope&) = delete;
  CleanVariableScope& operator=(const CleanVariableScope&) = delete;
  ~CleanVariableScope() { sink_.setVariables(previous_); }

  VariableStack& stack() { return stack_; }

 private:
  ResultSink& sink_;
  VariableStack stack_;
  VariableStack* previous_;
};

}  // namespace ovra
