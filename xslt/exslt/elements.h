// The extension elements of the EXSLT modules (XSLT 1.0 section 14.1): instructions of
// the table in xslt/instruction.cpp, one row each, compiled where the stylesheet's
// extension-element-prefixes designate their namespace.
#pragma once

#include "xslt/avt.h"
#include "xslt/instruction.h"

#include <memory>
#include <vector>

namespace ovra {

// exsl:document (common): its content written as a document of its own, to the file its
// href names, serialized as its xsl:output attributes say (each an attribute value
// template; none is taken from the stylesheet's xsl:output). The file is held back with
// the run's other result documents until the run has succeeded.
class ExsltDocumentInstruction : public Instruction {
 public:
  ExsltDocumentInstruction(const Stylesheet& stylesheet, Node* element);
  ~ExsltDocumentInstruction() override;

  void execute(const Focus& focus, ResultSink& sink) const override;

 private:
  struct Setting {
    const Node* attribute;
    std::unique_ptr<AttributeValueTemplate> value;
  };

  std::unique_ptr<AttributeValueTemplate> href_;  // null: an error when run
  std::vector<Setting> settings_;                 // in document order
};

// func:result (functions): the value of the func:function call it is evaluated in, from
// its select expression or its content (a result tree fragment), else the empty string.
class ExsltResultInstruction : public Instruction {
 public:
  // Throws StylesheetException where EXSLT forbids a result: outside a func:function,
  // inside a variable binding, before anything but xsl:fallback, with both select and
  // content.
  ExsltResultInstruction(const Stylesheet& stylesheet, Node* element);
  ~ExsltResultInstruction() override;

  void execute(const Focus& focus, ResultSink& sink) const override;

 private:
  std::unique_ptr<Expr> select_;
};

}  // namespace ovra
