// The instructions that put text or copies of existing nodes into the result:
// xsl:value-of, xsl:text, xsl:copy and xsl:copy-of, and xsl:message, which writes to
// standard error instead and may end the run.
#pragma once

#include "xslt/instruction.h"

#include <memory>
#include <vector>

namespace ovra {

class ValueOfInstruction : public Instruction {
 public:
  // A bad select is reported as a StylesheetException at the element.
  ValueOfInstruction(const Stylesheet& stylesheet, Node* element);
  ~ValueOfInstruction() override;

  // Writes the string value of the select (of its first node, for a node-set). Errors of
  // the evaluation come back as StylesheetException at the element.
  void execute(const Focus& focus, ResultSink& sink) const override;

 private:
  std::unique_ptr<Expr> select_;
  bool disableOutputEscaping_ = false;
};

class TextInstruction : public Instruction {
 public:
  TextInstruction(const Stylesheet& stylesheet, Node* element);
  ~TextInstruction() override;

  void execute(const Focus& focus, ResultSink& sink) const override;

 private:
  bool disableOutputEscaping_ = false;
};

class CopyInstruction : public Instruction {
 public:
  CopyInstruction(const Stylesheet& stylesheet, Node* element);
  ~CopyInstruction() override;

  // An element is copied with its namespace nodes but not its attributes, and the body
  // runs inside it, after the attributes of the use-attribute-sets; a root runs the body
  // only; any other node is copied as it is and the body is not run.
  void execute(const Focus& focus, ResultSink& sink) const override;

 private:
  std::vector<ExpandedName> attributeSets_;  // use-attribute-sets
};

class CopyOfInstruction : public Instruction {
 public:
  CopyOfInstruction(const Stylesheet& stylesheet, Node* element);
  ~CopyOfInstruction() override;

  // Nodes are copied deeply in document order, a tree fragment by its children; any
  // other value is written as text.
  void execute(const Focus& focus, ResultSink& sink) const override;

 private:
  std::unique_ptr<Expr> select_;
};

class MessageInstruction : public Instruction {
 public:
  MessageInstruction(const Stylesheet& stylesheet, Node* element);
  ~MessageInstruction() override;

  // Serializes the body to standard error with default output settings; with
  // terminate="yes" then throws TerminateException.
  void execute(const Focus& focus, ResultSink& sink) const override;

 private:
  bool terminate_ = false;
};

}  // namespace ovra
