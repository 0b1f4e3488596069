// The instructions that decide whether and how often a body runs: xsl:if, xsl:choose
// with its xsl:when and xsl:otherwise branches, and xsl:for-each. They write nothing
// themselves; their bodies run through the sink they are given.
#pragma once

#include "xslt/instruction.h"
#include "xslt/sort.h"

#include <memory>

namespace ovra {

class IfInstruction : public Instruction {
 public:
  IfInstruction(const Stylesheet& stylesheet, Node* element);
  ~IfInstruction() override;

  void execute(const Focus& focus, ResultSink& sink) const override;

 private:
  std::unique_ptr<Expr> test_;
};

// Only checks its children; the branches decide for themselves whether they hold.
class ChooseInstruction : public Instruction {
 public:
  ChooseInstruction(const Stylesheet& stylesheet, Node* element);
  ~ChooseInstruction() override;

  // Runs the first branch, in document order, whose test holds (the otherwise, last,
  // always holds).
  void execute(const Focus& focus, ResultSink& sink) const override;
};

// xsl:when and xsl:otherwise; the element's local name tells which.
class WhenInstruction : public Instruction {
 public:
  WhenInstruction(const Stylesheet& stylesheet, Node* element);
  ~WhenInstruction() override;

  // True for an otherwise, else the test's boolean value at focus.
  bool holds(const Focus& focus, const ResultSink& sink) const;
  // A branch run on its own (outside xsl:choose) runs its body when it holds.
  void execute(const Focus& focus, ResultSink& sink) const override;

 private:
  std::unique_ptr<Expr> test_;  // null for xsl:otherwise
};

class ForEachInstruction : public Instruction {
 public:
  ForEachInstruction(const Stylesheet& stylesheet, Node* element);
  ~ForEachInstruction() override;

  // Runs the body once per selected node, in document order or the order of the
  // xsl:sort children, with positions 1 to n and size n. A selected value that is not a
  // node-set throws StylesheetException.
  void execute(const Focus& focus, ResultSink& sink) const override;

 private:
  std::unique_ptr<Expr> select_;
  std::unique_ptr<SortKeys> sortKeys_;  // null without xsl:sort children
};

}  // namespace ovra
