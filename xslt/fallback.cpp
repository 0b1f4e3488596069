#include "xslt/fallback.h"

#include "tree/name_pool.h"
#include "xpath/runtime/number_format.h"

#include <string_view>

namespace ovra {

static const char kNoFallback[] = "Unrecognised stylesheet instruction";

FallbackInstruction::~FallbackInstruction() = default;

FallbackHostInstruction::~FallbackHostInstruction() = default;

void FallbackHostInstruction::execute(const Focus& focus, ResultSink& sink) const {
  bool found = false;
  for (Node* child = element()->firstChild(); child != nullptr; child = child->nextSibling()) {
    if (classify(child) != InstructionKind::Fallback)
      continue;
    found = true;
    sink.executeChildren(child, focus);
  }
  if (!found)
    fail(kNoFallback);
}

bool isForwardsCompatible(const Node* element) {
  for (const Node* holder = element; holder != nullptr; holder = holder->parent()) {
    if (holder->kind() != NodeKind::Element)
      continue;
    // The stylesheet element says it in an attribute of no namespace, literal result
    // elements in one of the XSLT namespace.
    bool isStylesheet = classify(holder) == InstructionKind::Stylesheet;
    for (const Node* attribute = holder->firstAttribute(); attribute != nullptr;
         attribute = attribute->rawNextSibling()) {
      if (attribute->localName().view() != "version")
        continue;
      if (isStylesheet ? !attribute->namespaceURI().empty()
                       : !(attribute->namespaceURI() == xsltNamespaceName()))
        continue;
      return parseNumber(attributeValue(attribute)) != 1.0;
    }
  }
  return false;
}

}  // namespace ovra
