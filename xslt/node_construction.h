// The instructions that build new result nodes: xsl:element, xsl:attribute,
// xsl:processing-instruction and xsl:comment. Each hands the sink a temporary node exactly as a
// literal node would be handed, so no sink needs a special case for them.
#pragma once

#include "xslt/avt.h"
#include "xslt/instruction.h"

#include <memory>
#include <vector>

namespace ovra {

class ElementInstruction : public Instruction {
 public:
  ElementInstruction(const Stylesheet& stylesheet, Node* element);
  ~ElementInstruction() override;

  // Starts an element of the computed name, runs the body inside it and ends it.
  void execute(const Focus& focus, ResultSink& sink) const override;

 private:
  std::unique_ptr<AttributeValueTemplate> name_;
  std::unique_ptr<AttributeValueTemplate> namespace_;  // null when not given
  std::vector<ExpandedName> attributeSets_;            // use-attribute-sets
};

class AttributeInstruction : public Instruction {
 public:
  AttributeInstruction(const Stylesheet& stylesheet, Node* element);
  ~AttributeInstruction() override;

  // The value is the text the body writes, taken literally.
  void execute(const Focus& focus, ResultSink& sink) const override;

 private:
  std::unique_ptr<AttributeValueTemplate> name_;
  std::unique_ptr<AttributeValueTemplate> namespace_;  // null when not given
};

class ProcessingInstructionInstruction : public Instruction {
 public:
  ProcessingInstructionInstruction(const Stylesheet& stylesheet, Node* element);
  ~ProcessingInstructionInstruction() override;

  // The target is the computed name, the data the text the body writes.
  void execute(const Focus& focus, ResultSink& sink) const override;

 private:
  std::unique_ptr<AttributeValueTemplate> name_;
};

class CommentInstruction : public Instruction {
 public:
  CommentInstruction(const Stylesheet& stylesheet, Node* element);
  ~CommentInstruction() override;

  // The text is what the body writes as text nodes; nodes of other kinds are ignored.
  void execute(const Focus& focus, ResultSink& sink) const override;
};

// text made fit for a comment: a space after every "-" that another "-" follows or that
// ends the text.
std::string commentSafeText(std::string_view text);

}  // namespace ovra
