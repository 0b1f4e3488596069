#include "xslt/control_flow.h"

#include "base/exceptions.h"
#include "tree/location.h"
#include "xslt/transform.h"

#include <string_view>

namespace ovra {

static const char kIfWithoutTest[] = "A test attribute must be provided for a if instruction";
static const char kBadChooseChild[] =
    "Only when and otherwise elements can be children of a choose";
static const char kChooseWithoutWhen[] = "A choose must hold at least one when";
static const char kOtherwiseNotLast[] = "An otherwise can only be the last child of a choose";
static const char kWhenWithoutTest[] = "when instructructions must have a test attribute";
static const char kForEachWithoutSelect[] =
    "A select attribute must be provided for a for-each instruction";
static const char kForEachNotNodes[] = "The select expression of a for-each must only return nodes";

// ---- xsl:if ----

IfInstruction::IfInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  if (const Node* test = attribute("test"))
    test_ = compileExpression(test);
  if (!test_)
    throw StylesheetException(locationOf(element), kIfWithoutTest);
}

IfInstruction::~IfInstruction() = default;

void IfInstruction::execute(const Focus& focus, ResultSink& sink) const {
  if (test_->evaluateBoolean(evalContext(focus, sink)))
    sink.executeChildren(element(), focus);
}

// ---- xsl:choose ----

ChooseInstruction::ChooseInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  // Text children are not checked. XSLT 1.0 section 9.2: one or more xsl:when, then at
  // most one xsl:otherwise.
  bool hasWhen = false;
  const Node* otherwise = nullptr;
  for (Node* child = element->firstChild(); child != nullptr; child = child->nextSibling()) {
    if (child->kind() != NodeKind::Element)
      continue;
    InstructionKind kind = classify(child);
    if (kind != InstructionKind::When && kind != InstructionKind::Otherwise)
      throw StylesheetException(locationOf(element), kBadChooseChild);
    if (otherwise != nullptr)
      throw StylesheetException(locationOf(otherwise), kOtherwiseNotLast);
    if (kind == InstructionKind::Otherwise)
      otherwise = child;
    hasWhen = hasWhen || kind == InstructionKind::When;
  }
  if (!hasWhen)
    throw StylesheetException(locationOf(element), kChooseWithoutWhen);
}

ChooseInstruction::~ChooseInstruction() = default;

void ChooseInstruction::execute(const Focus& focus, ResultSink& sink) const {
  // Each branch is asked and then run here, so no branch records at run time whether it
  // fired: a recursive run of the same choose cannot disturb an outer one.
  for (Node* child = element()->firstChild(); child != nullptr; child = child->nextSibling()) {
    const auto* branch = dynamic_cast<const WhenInstruction*>(child->instruction());
    if (branch != nullptr && branch->holds(focus, sink)) {
      sink.executeChildren(child, focus);
      return;
    }
  }
}

// ---- xsl:when and xsl:otherwise ----

WhenInstruction::WhenInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  // xsl:otherwise takes no test: one written on it was reported and is passed over.
  if (classify(element) == InstructionKind::Otherwise)
    return;
  if (const Node* test = attribute("test"))
    test_ = compileExpression(test);
  if (!test_)
    throw StylesheetException(locationOf(element), kWhenWithoutTest);
}

WhenInstruction::~WhenInstruction() = default;

bool WhenInstruction::holds(const Focus& focus, const ResultSink& sink) const {
  return !test_ || test_->evaluateBoolean(evalContext(focus, sink));
}

void WhenInstruction::execute(const Focus& focus, ResultSink& sink) const {
  if (holds(focus, sink))
    sink.executeChildren(element(), focus);
}

// ---- xsl:for-each ----

ForEachInstruction::ForEachInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  const Node* selectAttribute = attribute("select");
  if (selectAttribute == nullptr)
    throw StylesheetException(locationOf(element), kForEachWithoutSelect);
  select_ = compileExpression(selectAttribute);
  auto keys = std::make_unique<SortKeys>(element);
  if (!keys->empty())
    sortKeys_ = std::move(keys);
}

ForEachInstruction::~ForEachInstruction() = default;

void ForEachInstruction::execute(const Focus& focus, ResultSink& sink) const {
  EvalContext context = evalContext(focus, sink);
  // The whole node-set is taken first: the body may ask for last(), and the list then
  // belongs to this execution alone, whatever the body runs.
  Value selected = select_->evaluate(context);
  NodeVector nodes;
  if (selected.kind() == ValueKind::NodeSet)
    nodes = selected.takeNodes();
  else if (selected.kind() != ValueKind::None)
    fail(kForEachNotNodes);
  // A single node needs no sorting.
  if (sortKeys_ && nodes.size() > 1)
    sortKeys_->sort(nodes, context);
  const auto size = std::int32_t(nodes.size());
  // Inside the body no template rule is current: xsl:apply-imports has none to go on from.
  Transformation::RuleScope rule(sink.run(), nullptr);
  for (std::int32_t index = 0; index < size; ++index)
    sink.executeChildren(element(), Focus{nodes[std::size_t(index)], index + 1, size});
}

}  // namespace ovra
