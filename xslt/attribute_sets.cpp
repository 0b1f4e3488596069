#include "xslt/attribute_sets.h"

#include "base/exceptions.h"
#include "tree/location.h"
#include "xslt/result_sink.h"
#include "xslt/stylesheet.h"
#include "xslt/variable_scope.h"

#include <string_view>

namespace ovra {

static constexpr char kWithoutName[] = "A name attribute must be provided for a attribute-set";
static constexpr char kBadContent[] = "An attribute-set may only contain attribute elements";

std::vector<ExpandedName> readAttributeSetNames(const Node* element, const Node* attribute) {
  std::vector<ExpandedName> names;
  std::string_view list = attributeValue(attribute);
  forEachToken(list, [&](std::string_view name) { names.push_back(resolveQName(element, name)); });
  return names;
}

void useAttributeSets(const Stylesheet& stylesheet, const std::vector<ExpandedName>& names,
                      const Focus& focus, ResultSink& sink) {
  if (names.empty())
    return;
  // Attribute sets are top-level: the element's local variables are out of their reach.
  CleanVariableScope clean(sink);
  for (const ExpandedName& name : names) {
    const std::vector<Node*>* definitions = stylesheet.attributeSet(name);
    if (definitions == nullptr)
      continue;
    for (const Node* definition : *definitions)
      static_cast<const Instruction*>(definition->instruction())->execute(focus, sink);
  }
}

// ---- xsl:attribute-set ----

AttributeSetInstruction::AttributeSetInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  if (const Node* name = attribute("name"))
    name_ = readQName(name);
  if (const Node* uses = attribute("use-attribute-sets"))
    uses_ = readAttributeSetNames(element, uses);
  if (name_.empty())
    throw StylesheetException(locationOf(element), kWithoutName);
  for (Node* child = element->firstChild(); child != nullptr; child = child->nextSibling()) {
    if (classify(child) != InstructionKind::Attribute)
      throw StylesheetException(locationOf(child), kBadContent);
  }
}

AttributeSetInstruction::~AttributeSetInstruction() = default;

void AttributeSetInstruction::execute(const Focus& focus, ResultSink& sink) const {
  useAttributeSets(stylesheet(), uses_, focus, sink);
  sink.executeChildren(element(), focus);
}

// ---- Literal result elements with xsl:use-attribute-sets ----

LiteralElementInstruction::LiteralElementInstruction(const Stylesheet& stylesheet, Node* element,
                                                     const Node* attribute)
    : Instruction(stylesheet, element),
      sets_(stylesheet, element, readAttributeSetNames(element, attribute)) {}

LiteralElementInstruction::~LiteralElementInstruction() = default;

void LiteralElementInstruction::execute(const Focus& focus, ResultSink& sink) const {
  sink.copyLiteralElement(element(), focus, &sets_);
}

LiteralElementInstruction::SetsUse::~SetsUse() = default;

void LiteralElementInstruction::SetsUse::execute(const Focus& focus, ResultSink& sink) const {
  useAttributeSets(stylesheet(), names_, focus, sink);
}

}  // namespace ovra
