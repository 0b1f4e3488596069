// The two ways of invoking templates: xsl:apply-templates (by pattern, for selected
// nodes) and xsl:call-template (by name, for the current node).
#pragma once

#include "tree/qname.h"
#include "xpath/expr.h"
#include "xslt/instruction.h"
#include "xslt/sort.h"

#include <memory>

namespace ovra {

class ApplyTemplatesInstruction : public Instruction {
 public:
  ApplyTemplatesInstruction(const Stylesheet& stylesheet, Node* element);
  ~ApplyTemplatesInstruction() override;

  // Computes the xsl:with-param values in the caller's scope, then applies templates in
  // the mode to each selected node in document order or the order of the xsl:sort
  // children, with its 1-based position and the number of nodes selected. The callee
  // sees the globals and the parameters only.
  void execute(const Focus& focus, ResultSink& sink) const override;

  const ExpandedName& mode() const { return mode_; }

 private:
  std::unique_ptr<Expr> select_;  // "node()" when the attribute is absent
  ExpandedName mode_;
  std::unique_ptr<SortKeys> sortKeys_;  // null without xsl:sort children
};

class CallTemplateInstruction : public Instruction {
 public:
  CallTemplateInstruction(const Stylesheet& stylesheet, Node* element);
  ~CallTemplateInstruction() override;

  // Runs the template of that name for the current focus, with the xsl:with-param values
  // computed in the caller's scope. The stylesheet refuses to load when no template has
  // the name.
  void execute(const Focus& focus, ResultSink& sink) const override;

  const ExpandedName& templateName() const { return name_; }

 private:
  ExpandedName name_;
};

}  // namespace ovra
