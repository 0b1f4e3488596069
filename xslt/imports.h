// xsl:apply-imports: the current node processed again by the templates of the modules
// that the current template rule's module imports.
#pragma once

#include "xslt/instruction.h"

namespace ovra {

class ApplyImportsInstruction : public Instruction {
 public:
  // Takes no attributes and no content.
  ApplyImportsInstruction(const Stylesheet& stylesheet, Node* element);
  ~ApplyImportsInstruction() override;

  // Applies the best imported template for the current node in the current rule's mode,
  // or the built-in rules when there is none. Without a current template rule (inside
  // xsl:for-each or a global variable's definition) it is an error.
  void execute(const Focus& focus, ResultSink& sink) const override;
};

}  // namespace ovra
