// The compile entry of the instructions that steer a body or produce output; the
// stylesheet's compile pass calls it for every XSLT element it classifies.
#include "xslt/control_flow.h"
#include "xslt/fallback.h"
#include "xslt/instruction.h"
#include "xslt/node_construction.h"
#include "xslt/sort.h"
#include "xslt/text_copy.h"

namespace ovra {

std::unique_ptr<Instruction> compileBodyInstruction(InstructionKind kind,
                                                    const Stylesheet& stylesheet, Node* element) {
  switch (kind) {
  case InstructionKind::If:
    return std::make_unique<IfInstruction>(stylesheet, element);
  case InstructionKind::Choose:
    return std::make_unique<ChooseInstruction>(stylesheet, element);
  case InstructionKind::When:
  case InstructionKind::Otherwise:
    return std::make_unique<WhenInstruction>(stylesheet, element);
  case InstructionKind::ForEach:
    return std::make_unique<ForEachInstruction>(stylesheet, element);
  case InstructionKind::ValueOf:
    return std::make_unique<ValueOfInstruction>(stylesheet, element);
  case InstructionKind::Text:
    return std::make_unique<TextInstruction>(stylesheet, element);
  case InstructionKind::Copy:
    return std::make_unique<CopyInstruction>(stylesheet, element);
  case InstructionKind::CopyOf:
    return std::make_unique<CopyOfInstruction>(stylesheet, element);
  case InstructionKind::Message:
    return std::make_unique<MessageInstruction>(stylesheet, element);
  case InstructionKind::Element:
    return std::make_unique<ElementInstruction>(stylesheet, element);
  case InstructionKind::Attribute:
    return std::make_unique<AttributeInstruction>(stylesheet, element);
  case InstructionKind::ProcessingInstruction:
    return std::make_unique<ProcessingInstructionInstruction>(stylesheet, element);
  case InstructionKind::Comment:
    return std::make_unique<CommentInstruction>(stylesheet, element);
  case InstructionKind::Fallback:
    return std::make_unique<FallbackInstruction>(stylesheet, element);
  case InstructionKind::Sort:
    return std::make_unique<SortInstruction>(stylesheet, element);
  case InstructionKind::Stylesheet:
  case InstructionKind::Template:
  case InstructionKind::Output:
  case InstructionKind::Key:
  case InstructionKind::ApplyTemplates:
  case InstructionKind::Variable:
  case InstructionKind::Param:
  case InstructionKind::CallTemplate:
  case InstructionKind::WithParam:
  case InstructionKind::Number:
  case InstructionKind::StripSpace:
  case InstructionKind::PreserveSpace:
  case InstructionKind::DecimalFormat:
  case InstructionKind::Unknown:
  case InstructionKind::Literal:
  case InstructionKind::Import:
  case InstructionKind::Include:
  case InstructionKind::ApplyImports:
  case InstructionKind::AttributeSet:
  case InstructionKind::NamespaceAlias:
    return nullptr;
  }
  return nullptr;
}

}  // namespace ovra
