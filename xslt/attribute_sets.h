// Attribute sets: the compiled xsl:attribute-set definitions, and their use by
// xsl:element, xsl:copy, literal result elements (xsl:use-attribute-sets) and other
// attribute sets.
#pragma once

#include "tree/qname.h"
#include "xslt/instruction.h"

#include <vector>

namespace ovra {

// The QNames of a use-attribute-sets value (white-space separated), resolved at element.
std::vector<ExpandedName> readAttributeSetNames(const Node* element, const Node* attribute);

// Adds the attributes of the named sets, in order, to the element sink has just started.
// Each set contributes its definitions, lowest import precedence first; each definition
// first the sets it uses, then its own xsl:attribute children. A later attribute of a
// name replaces an earlier one. The attributes' bodies see the global variables only.
// The names must exist (the stylesheet checks that when it loads).
void useAttributeSets(const Stylesheet& stylesheet, const std::vector<ExpandedName>& names,
                      const Focus& focus, ResultSink& sink);

// Attached to an xsl:attribute-set element; runs one definition.
class AttributeSetInstruction : public Instruction {
 public:
  // Reads name and use-attribute-sets; anything but xsl:attribute elements in the content
  // is refused.
  AttributeSetInstruction(const Stylesheet& stylesheet, Node* element);
  ~AttributeSetInstruction() override;

  void execute(const Focus& focus, ResultSink& sink) const override;

  const ExpandedName& name() const { return name_; }
  const std::vector<ExpandedName>& uses() const { return uses_; }

 private:
  ExpandedName name_;
  std::vector<ExpandedName> uses_;
};

// Attached to a literal result element that has xsl:use-attribute-sets: it is copied as
// any literal result element is, with the sets' attributes ahead of its own.
class LiteralElementInstruction : public Instruction {
 public:
  LiteralElementInstruction(const Stylesheet& stylesheet, Node* element, const Node* attribute);
  ~LiteralElementInstruction() override;

  void execute(const Focus& focus, ResultSink& sink) const override;

 private:
  // Adds the sets' attributes to the element just started.
  class SetsUse : public Instruction {
   public:
    SetsUse(const Stylesheet& stylesheet, Node* element, std::vector<ExpandedName> names)
        : Instruction(stylesheet, element), names_(std::move(names)) {}
    ~SetsUse() override;
    void execute(const Focus& focus, ResultSink& sink) const override;

   private:
    std::vector<ExpandedName> names_;
  };
  SetsUse sets_;
};

}  // namespace ovra
