#include "xslt/variables.h"

#include "base/exceptions.h"
#include "tree/location.h"
#include "tree/node.h"
#include "xslt/exslt/user_functions.h"
#include "xslt/parameters.h"
#include "xslt/result_sink.h"
#include "xslt/transform.h"
#include "xslt/variable_stack.h"

#include <cassert>

namespace ovra {

static constexpr char kParamNotFirst[] = "param elements must come first in a template";
static constexpr char kNameMissing[] = "A name attribute must be provided for a variable";
static constexpr char kBodyAndSelect[] =
    "A template body can only be given if there is no select attribute on a variable";
static constexpr char kDefinedTwice[] = "Variable can't be defined twice with overlapping scope";
static constexpr char kCircular[] = "Circular reference to global variable ";

// ---- xsl:variable, xsl:param, xsl:with-param ----

VariableInstruction::VariableInstruction(const Stylesheet& stylesheet, Node* element,
                                         InstructionKind kind)
    : Instruction(stylesheet, element), kind_(kind) {
  const Node* name = attribute("name");
  if (name != nullptr)
    name_ = readQName(name);
  if (const Node* select = attribute("select"))
    select_ = compileExpression(select);
  // XSLT 1.0 section 11.6: the parameters of a template come before its body.
  if (kind == InstructionKind::Param && (classify(element->parent()) == InstructionKind::Template ||
                                         isFunctionDeclaration(element->parent()))) {
    for (Node* before = element->previousSibling(); before != nullptr;
         before = before->previousSibling()) {
      if (before->kind() != NodeKind::Comment &&
          before->kind() != NodeKind::ProcessingInstruction &&
          classify(before) != InstructionKind::Param)
        throw StylesheetException(locationOf(element), kParamNotFirst);
    }
  }
  bool hasBody = element->firstChild() != nullptr;
  if (hasBody && select_)
    throw StylesheetException(locationOf(element), kBodyAndSelect);
  if (name == nullptr || name_.empty())
    throw StylesheetException(locationOf(element), kNameMissing);
}

VariableInstruction::~VariableInstruction() = default;

Value VariableInstruction::evaluate(const Focus& focus, ResultSink& sink) const {
  if (select_)
    return select_->evaluate(evalContext(focus, sink));
  // Neither select nor body: the empty string, not an empty fragment (which would be
  // true as a boolean).
  if (element()->firstChild() == nullptr)
    return Value::makeString(String());
  TreeResultSink tree(sink.variables(), &sink.run());
  tree.executeChildren(element(), focus);
  return Value::makeFragment(tree.takeTree());
}

void VariableInstruction::execute(const Focus& focus, ResultSink& sink) const {
  if (kind_ == InstructionKind::WithParam)
    return;
  VariableStack& variables = *sink.variables();
  if (const Binding* found = variables.findLocal(name_)) {
    if (found->kind == BindingKind::Local)
      fail(kDefinedTwice);
    if (kind_ == InstructionKind::Param) {
      // The caller passed a value: it becomes the parameter's, and the default is not
      // even computed. (A passed value is visible through its xsl:param only.)
      Value passed = found->value;
      variables.push(name_, std::move(passed), BindingKind::Local, element()->parent());
      return;
    }
  }
  Value value = evaluate(focus, sink);
  variables.push(name_, std::move(value), BindingKind::Local, element()->parent());
}

// ---- Global variables ----

GlobalVariables::GlobalVariables(Transformation& run) : run_(run) {}

GlobalVariables::~GlobalVariables() = default;

void GlobalVariables::define(const std::vector<Node*>& elements) {
  entries_.clear();
  entries_.reserve(elements.size());
  for (Node* element : elements) {
    const auto* instruction = static_cast<const VariableInstruction*>(element->instruction());
    assert(instruction != nullptr && "top-level variable without its compiled instruction");
    if (contains(instruction->name()))
      throw StylesheetException(locationOf(element), kDefinedTwice);
    entries_.push_back(Entry{instruction, Value(), State::Pending});
  }
}

GlobalVariables::Entry* GlobalVariables::find(StringRef namespaceURI, StringRef localName) {
  for (Entry& entry : entries_) {
    const ExpandedName& name = entry.instruction->name();
    if (name.localName == localName && name.namespaceURI == namespaceURI)
      return &entry;
  }
  return nullptr;
}

bool GlobalVariables::contains(const ExpandedName& name) const {
  for (const Entry& entry : entries_) {
    if (entry.instruction->name() == name)
      return true;
  }
  return false;
}

std::size_t GlobalVariables::evaluatedCount() const {
  std::size_t count = 0;
  for (const Entry& entry : entries_)
    count += entry.state == State::Done ? 1 : 0;
  return count;
}

const Value* GlobalVariables::lookup(StringRef namespaceURI, StringRef localName) {
  Entry* entry = find(namespaceURI, localName);
  if (entry == nullptr)
    return nullptr;
  if (entry->state != State::Done)
    evaluate(*entry);
  return &entry->value;
}

const ExternalParameter*
GlobalVariables::passedParameter(const VariableInstruction& instruction) const {
  // A top-level xsl:variable keeps its value whatever is passed.
  const Parameters* parameters = run_.parameters();
  if (parameters == nullptr || instruction.kind() != InstructionKind::Param)
    return nullptr;
  return parameters->find(instruction.name());
}

void GlobalVariables::evaluate(Entry& entry) {
  Node* element = entry.instruction->element();
  if (entry.state == State::Evaluating) {
    const ExpandedName& name = entry.instruction->name();
    String text(kCircular);
    if (!name.prefix.empty())
      text.append(name.prefix).append(":");
    throw StylesheetException(locationOf(element), text.append(name.localName));
  }
  entry.state = State::Evaluating;
  try {
    Transformation::TemplateScope scope(run_, element);
    // No template rule is current in a global's definition.
    Transformation::RuleScope rule(run_, nullptr);
    // A global sees the other globals only, and the source root as its context.
    VariableStack variables(this);
    TreeResultSink sink(&variables, &run_);
    Focus focus{run_.sourceRoot(), 1, 1};
    if (const ExternalParameter* given = passedParameter(*entry.instruction)) {
      EvalContext context;
      context.contextNode = context.currentNode = focus.node;
      context.size = 1;
      context.host = &variables;
      context.stylesheetElement = element;
      entry.value = given->evaluate(context);
    } else {
      entry.value = entry.instruction->evaluate(focus, sink);
    }
  } catch (const XPathParseException& error) {
    entry.state = State::Pending;
    throw StylesheetException(locationOf(element), error);
  } catch (const EvaluateException& error) {
    entry.state = State::Pending;
    throw StylesheetException(locationOf(element), error);
  } catch (...) {
    entry.state = State::Pending;
    throw;
  }
  entry.state = State::Done;
}

}  // namespace ovra
