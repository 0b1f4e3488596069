#include "xslt/imports.h"

#include "base/exceptions.h"
#include "tree/location.h"
#include "xslt/result_sink.h"
#include "xslt/stylesheet.h"
#include "xslt/transform.h"
#include "xslt/variable_scope.h"

namespace ovra {

static constexpr char kContent[] = "An apply-imports instruction must be empty";
static constexpr char kNoCurrentRule[] =
    "An apply-imports instruction can only be used in a template rule";

ApplyImportsInstruction::ApplyImportsInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  if (element->firstChild() != nullptr)
    throw StylesheetException(locationOf(element), kContent);
}

ApplyImportsInstruction::~ApplyImportsInstruction() = default;

void ApplyImportsInstruction::execute(const Focus& focus, ResultSink& sink) const {
  Transformation& run = sink.run();
  const Template* current = run.currentRule();
  if (current == nullptr)
    fail(kNoCurrentRule);
  // The chosen template sees the globals only, as with xsl:apply-templates.
  CleanVariableScope clean(sink);
  Transformation::TemplateScope scope(run, element());
  const TemplateRules& rules = stylesheet().rules();
  if (const Template* chosen =
          rules.findImported(focus.node, current->mode(), current->lowestImported(),
                             current->precedence(), &clean.stack()))
    TemplateRules::apply(*chosen, focus, sink);
  else
    rules.applyBuiltIn(focus, current->mode(), sink);
}

}  // namespace ovra
