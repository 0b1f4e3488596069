#include "xslt/template_calls.h"

#include "base/exceptions.h"
#include "tree/location.h"
#include "tree/node.h"
#include "xpath/parser.h"
#include "xslt/result_sink.h"
#include "xslt/stylesheet.h"
#include "xslt/transform.h"
#include "xslt/variable_stack.h"
#include "xslt/variables.h"

#include <cassert>
#include <utility>
#include <vector>

namespace ovra {

static constexpr char kApplyUnknownElement[] = "Unrecognized element in apply-template, ";
static constexpr char kApplyNotNodes[] =
    "The select expression of a apply-templates must only return nodes";
static constexpr char kCallWithoutName[] = "A name attribute must be provided for a call-template";
static constexpr char kCallUnknownElement[] = "Unrecognized element in call-template, ";

namespace {

// The variable stack of one invocation: the globals and the passed parameters. The
// parameters are evaluated in the caller's scope straight into it; from activate() until
// it dies it is the sink's current stack.
class CalleeStack {
 public:
  explicit CalleeStack(ResultSink& sink) : sink_(sink), stack_(sink.variables()->globals()) {}
  CalleeStack(const CalleeStack&) = delete;
  CalleeStack& operator=(const CalleeStack&) = delete;
  ~CalleeStack() {
    if (active_)
      sink_.setVariables(previous_);
  }

  // The values of the xsl:with-param children of a calling instruction, computed in the
  // caller's scope. Other element children are refused with unknownElement followed by
  // their local name: all of them (strict), or only those in no namespace.
  void collectParameters(const Instruction& caller, const Focus& focus, const char* unknownElement,
                         bool strict) {
    for (Node* child = caller.element()->firstChild(); child != nullptr;
         child = child->nextSibling()) {
      if (child->kind() != NodeKind::Element)
        continue;
      InstructionKind kind = classify(child);
      if (kind == InstructionKind::Sort)
        continue;  // read by the instruction itself
      // A literal element that a namespace alias put into the XSLT namespace has nothing
      // attached.
      if (kind == InstructionKind::WithParam && child->instruction() != nullptr) {
        const auto* parameter = static_cast<const VariableInstruction*>(child->instruction());
        stack_.push(parameter->name(), parameter->evaluate(focus, sink_), BindingKind::Parameter,
                    caller.element());
        continue;
      }
      if (strict || child->namespaceURI().empty())
        throw StylesheetException(locationOf(caller.element()),
                                  String(unknownElement).append(child->localName()));
    }
  }

  void activate() {
    previous_ = sink_.setVariables(&stack_);
    active_ = true;
  }

 private:
  ResultSink& sink_;
  VariableStack stack_;
  VariableStack* previous_ = nullptr;
  bool active_ = false;
};

}  // namespace

// ---- xsl:apply-templates ----

ApplyTemplatesInstruction::ApplyTemplatesInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  if (const Node* select = attribute("select"))
    select_ = compileExpression(select);
  if (const Node* mode = attribute("mode"))
    mode_ = readQName(mode);
  if (!select_)
    select_ = compileXPath("node()", element);
  auto keys = std::make_unique<SortKeys>(element);
  if (!keys->empty())
    sortKeys_ = std::move(keys);
}

ApplyTemplatesInstruction::~ApplyTemplatesInstruction() = default;

void ApplyTemplatesInstruction::execute(const Focus& focus, ResultSink& sink) const {
  CalleeStack callee(sink);
  callee.collectParameters(*this, focus, kApplyUnknownElement, /*strict=*/true);
  EvalContext context = evalContext(focus, sink);
  Value selected = select_->evaluate(context);
  NodeVector nodes;
  switch (selected.kind()) {
  case ValueKind::NodeSet:
    nodes = selected.takeNodes();
    break;
  case ValueKind::None:
    break;
  case ValueKind::TreeFragment:
  case ValueKind::Number:
  case ValueKind::Boolean:
  case ValueKind::String:
    fail(kApplyNotNodes);
  }
  if (sortKeys_)
    sortKeys_->sort(nodes, context);
  callee.activate();
  const TemplateRules& rules = stylesheet().rules();
  auto size = std::int32_t(nodes.size());
  for (std::int32_t i = 0; i < size; ++i) {
    Transformation::TemplateScope scope(sink.run(), element());
    rules.applyTemplates(Focus{nodes[std::size_t(i)], i + 1, size}, mode_, sink);
  }
}

// ---- xsl:call-template ----

CallTemplateInstruction::CallTemplateInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  const Node* name = attribute("name");
  if (name != nullptr)
    name_ = readQName(name);
  if (name_.empty())
    throw StylesheetException(locationOf(element), kCallWithoutName);
}

CallTemplateInstruction::~CallTemplateInstruction() = default;

void CallTemplateInstruction::execute(const Focus& focus, ResultSink& sink) const {
  CalleeStack callee(sink);
  callee.collectParameters(*this, focus, kCallUnknownElement, /*strict=*/false);
  const Template* called = stylesheet().rules().findByName(name_);
  assert(called != nullptr && "the stylesheet checks every call-template when it loads");
  callee.activate();
  Transformation::TemplateScope scope(sink.run(), element());
  // A named template runs as part of the current template rule.
  sink.executeChildren(called->element(), focus);
}

}  // namespace ovra
