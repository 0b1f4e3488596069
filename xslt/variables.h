// Variable bindings: xsl:variable, xsl:param and xsl:with-param inside templates, and
// the top-level variables and parameters of a run, evaluated on first use.
#pragma once

#include "tree/qname.h"
#include "xpath/expr.h"
#include "xpath/runtime/value.h"
#include "xslt/instruction.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace ovra {

struct ExternalParameter;
class Transformation;

// One compiled xsl:variable, xsl:param or xsl:with-param. Immutable: the value of each
// execution goes onto the variable stack, so a recursive template never sees another
// execution's value.
class VariableInstruction : public Instruction {
 public:
  // kind is Variable, Param or WithParam (the element's own kind).
  VariableInstruction(const Stylesheet& stylesheet, Node* element, InstructionKind kind);
  ~VariableInstruction() override;

  // Binds the value in the scope of the element's parent. A variable or parameter
  // already bound in an enclosing scope of the same template throws "Variable can't be
  // defined twice with overlapping scope"; an xsl:param whose name the caller passed
  // takes the passed value instead of its default. An xsl:with-param binds nothing
  // here: the calling instruction collects its value.
  void execute(const Focus& focus, ResultSink& sink) const override;

  // The value for focus: the select expression's whole value, or the body run into a
  // result tree fragment (an empty fragment for a param that has neither).
  Value evaluate(const Focus& focus, ResultSink& sink) const;

  const ExpandedName& name() const { return name_; }
  InstructionKind kind() const { return kind_; }

 private:
  InstructionKind kind_;
  ExpandedName name_;
  std::unique_ptr<Expr> select_;  // null: the body (or nothing, for a param)
};

// The top-level variables and parameters of one run. Each is evaluated on first use,
// with the source root as context node, and keeps its value for the rest of the run. A
// parameter passed to the run (Transformation::parameters) takes that value instead of
// its default.
class GlobalVariables {
 public:
  // run is not owned and outlives this.
  explicit GlobalVariables(Transformation& run);
  GlobalVariables(const GlobalVariables&) = delete;
  GlobalVariables& operator=(const GlobalVariables&) = delete;
  ~GlobalVariables();

  // Registers the compiled top-level elements, in document order. Two of the same name
  // throw "Variable can't be defined twice with overlapping scope" at the second.
  void define(const std::vector<Node*>& elements);

  // The value of the global of that name, evaluated now if this is its first use; null
  // when there is no such global. Throws StylesheetException when the global's
  // definition refers to itself, directly or through others, and turns XPath errors of
  // its evaluation into StylesheetExceptions at its element.
  const Value* lookup(StringRef namespaceURI, StringRef localName);
  bool contains(const ExpandedName& name) const;
  // How many have been evaluated so far in this run.
  std::size_t evaluatedCount() const;
  // The run the globals belong to.
  Transformation& run() const { return run_; }

 private:
  enum class State : std::uint8_t { Pending = 0, Evaluating = 1, Done = 2 };
  struct Entry {
    const VariableInstruction* instruction;  // attached to its top-level element
    Value value;
    State state = State::Pending;
  };

  Entry* find(StringRef namespaceURI, StringRef localName);
  void evaluate(Entry& entry);
  // The value passed from outside for a top-level xsl:param, or null.
  const ExternalParameter* passedParameter(const VariableInstruction& instruction) const;

  Transformation& run_;
  std::vector<Entry> entries_;  // filled once by define, so pointers into it stay valid
};

}  // namespace ovra
