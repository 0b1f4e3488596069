// xsl:fallback and the elements it stands in for: XSLT elements this processor does not
// know, met in forwards-compatible mode, and extension elements, for which no
// implementation exists here.
#pragma once

#include "xslt/instruction.h"

namespace ovra {

// Inside an element that is carried out, xsl:fallback does nothing.
class FallbackInstruction : public Instruction {
 public:
  FallbackInstruction(const Stylesheet& stylesheet, Node* element)
      : Instruction(stylesheet, element) {}
  ~FallbackInstruction() override;

  void execute(const Focus&, ResultSink&) const override {}
};

// An element that cannot be carried out: its xsl:fallback children run in document order
// in its place; without any, running it is an error (compiling it is not).
class FallbackHostInstruction : public Instruction {
 public:
  FallbackHostInstruction(const Stylesheet& stylesheet, Node* element)
      : Instruction(stylesheet, element) {}
  ~FallbackHostInstruction() override;

  void execute(const Focus& focus, ResultSink& sink) const override;
};

// True when element is processed in forwards-compatible mode: the nearest version
// attribute around it (version on xsl:stylesheet, xsl:version on a literal result
// element) names a version other than 1.0.
bool isForwardsCompatible(const Node* element);

}  // namespace ovra
