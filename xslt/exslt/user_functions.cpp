// func:function and func:result (EXSLT functions).
#include "xslt/exslt/user_functions.h"

#include "base/exceptions.h"
#include "tree/location.h"
#include "tree/node.h"
#include "xpath/runtime/context.h"
#include "xpath/runtime/functions.h"
#include "xpath/runtime/value.h"
#include "xslt/exslt/elements.h"
#include "xslt/exslt/exslt.h"
#include "xslt/functions.h"
#include "xslt/result_sink.h"
#include "xslt/transform.h"
#include "xslt/variable_stack.h"
#include "xslt/variables.h"

#include <utility>
#include <vector>

namespace ovra {

static constexpr char kNoName[] = "A name attribute must be provided for a func:function";
static constexpr char kNameInNoNamespace[] =
    "The name of a func:function must have a prefix bound to a namespace, not '%s'";
static constexpr char kDefinedTwice[] =
    "func:function %s is defined twice with the same import precedence";
static constexpr char kTooManyArguments[] =
    "%s() is given %d arguments, more than the %d parameters of its func:function";
static constexpr char kWritesResult[] =
    "func:function %s writes to the result tree: a function gives its value by func:result only";
static constexpr char kOutsideFunction[] = "func:result stands outside any func:function";
static constexpr char kInBinding[] =
    "func:result is not allowed inside a variable, parameter or other func:result";
static constexpr char kNotLast[] = "Only xsl:fallback may follow a func:result";
static constexpr char kSelectAndContent[] =
    "func:result has both a select attribute and content";
static constexpr char kTwoResults[] = "func:result is evaluated a second time in one function call";

namespace {

bool isNamed(const Node* node, std::string_view localName) {
  return node != nullptr && node->kind() == NodeKind::Element &&
         node->namespaceURI().view() == kExsltFunctionsNamespace &&
         node->localName().view() == localName;
}

std::string keyOf(std::string_view namespaceURI, std::string_view localName) {
  std::string key(localName);
  key.push_back('\0');
  key.append(namespaceURI);
  return key;
}

// The sink of a function's body: the body may compute, but not write to the result; it
// keeps what func:result gives.
class FunctionBodySink : public ResultSink {
 public:
  FunctionBodySink(VariableStack* variables, Transformation* run, const Node* function,
                   const String& name)
      : ResultSink(variables, run), function_(function), name_(name) {}

  std::uint8_t startNode(Node*) override { refuse(); }
  void endNode(std::uint8_t, Node*) override {}
  void writeValue(const Value&, bool) override { refuse(); }
  bool setDisableOutputEscaping(bool) override { return false; }
  // So that an xsl:attribute comes here to be refused rather than be left out.
  bool acceptsAttribute() const override { return true; }

  bool hasResult() const { return hasResult_; }
  void setResult(Value value) {
    result_ = std::move(value);
    hasResult_ = true;
  }
  // Without a func:result, the empty string.
  Value takeResult() {
    return hasResult_ ? std::move(result_) : Value::makeString(String());
  }

 private:
  [[noreturn]] void refuse() const {
    throw StylesheetException(locationOf(function_), formatMessage(kWritesResult, name_.c_str()));
  }

  const Node* function_;
  const String& name_;
  Value result_;
  bool hasResult_ = false;
};

}  // namespace

bool isFunctionDeclaration(const Node* element) {
  return isNamed(element, "function");
}

bool isFunctionResult(const Node* element) {
  return isNamed(element, "result");
}

// One func:function: its parameters are its xsl:param children, in order; a call passes
// its arguments to the first of them, the others take their defaults.
class UserFunctions::Function : public HostFunction {
 public:
  Function(Node* element, String name, std::int32_t precedence)
      : element_(element), name_(std::move(name)), precedence_(precedence) {
    for (Node* child = element->firstChild(); child != nullptr; child = child->nextSibling()) {
      if (classify(child) != InstructionKind::Param || child->instruction() == nullptr)
        continue;
      parameters_.push_back(static_cast<const VariableInstruction*>(child->instruction())->name());
    }
  }

  Value call(const Token& call, const EvalContext& context, ArgumentList& args) const override {
    Transformation* run = runningTransformation(context);
    auto* caller = dynamic_cast<VariableStack*>(context.host);
    if (run == nullptr || caller == nullptr)
      throw EvaluateException(call.position, String("Unsupported function, ").append(name_));
    if (args.size() > parameters_.size())
      throw EvaluateException(call.position,
                              formatMessage(kTooManyArguments, name_.c_str(), int(args.size()),
                                            int(parameters_.size())));
    // A function nests like a template, and is limited alike.
    Transformation::TemplateScope scope(*run, element_);
    // The body sees the globals and its parameters only.
    VariableStack variables(caller->globals());
    for (std::size_t i = 0; i < args.size(); ++i)
      variables.push(parameters_[i], Value(args[i]), BindingKind::Parameter, element_);
    FunctionBodySink body(&variables, run, element_, name_);
    body.executeChildren(element_, Focus{context.contextNode, context.position, context.size});
    return body.takeResult();
  }

  std::int32_t precedence() const { return precedence_; }

 private:
  Node* element_;
  String name_;  // as written, for messages
  std::int32_t precedence_;
  std::vector<ExpandedName> parameters_;
};

UserFunctions::UserFunctions() = default;

UserFunctions::~UserFunctions() = default;

void UserFunctions::add(Node* element, std::int32_t precedence) {
  const Node* attribute = xsltAttribute(element, "name");
  if (attribute == nullptr || attributeValue(attribute).empty())
    throw StylesheetException(locationOf(element), kNoName);
  ExpandedName name = readQNameAttribute(element, attribute);
  String written(attributeValue(attribute));
  if (name.namespaceURI.empty())
    throw StylesheetException(locationOf(element),
                              formatMessage(kNameInNoNamespace, written.c_str()));
  auto made = std::make_unique<Function>(element, written, precedence);
  std::unique_ptr<Function>& slot =
      functions_[keyOf(name.namespaceURI.view(), name.localName.view())];
  if (slot && slot->precedence() == precedence)
    throw StylesheetException(locationOf(element), formatMessage(kDefinedTwice, written.c_str()));
  slot = std::move(made);
}

const HostFunction* UserFunctions::find(StringRef namespaceURI, StringRef localName) const {
  if (functions_.empty())
    return nullptr;
  auto it = functions_.find(keyOf(namespaceURI.view(), localName.view()));
  return it == functions_.end() ? nullptr : it->second.get();
}

// ---- func:result ----

ExsltResultInstruction::ExsltResultInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  // Within the function, a result may not stand where its value would be a variable's.
  Node* ancestor = element->parent();
  for (; ancestor != nullptr && !isFunctionDeclaration(ancestor); ancestor = ancestor->parent()) {
    InstructionKind kind = classify(ancestor);
    if (kind == InstructionKind::Variable || kind == InstructionKind::Param ||
        kind == InstructionKind::WithParam || isFunctionResult(ancestor))
      throw StylesheetException(locationOf(element), kInBinding);
  }
  if (ancestor == nullptr)
    throw StylesheetException(locationOf(element), kOutsideFunction);
  // It is the last thing its parent evaluates.
  for (Node* after = element->nextSibling(); after != nullptr; after = after->nextSibling()) {
    if (after->kind() == NodeKind::Comment || after->kind() == NodeKind::ProcessingInstruction)
      continue;
    if (classify(after) != InstructionKind::Fallback)
      throw StylesheetException(locationOf(element), kNotLast);
  }
  if (const Node* select = attribute("select"))
    select_ = compileExpression(select);
  if (select_ && element->firstChild() != nullptr)
    throw StylesheetException(locationOf(element), kSelectAndContent);
}

ExsltResultInstruction::~ExsltResultInstruction() = default;

void ExsltResultInstruction::execute(const Focus& focus, ResultSink& sink) const {
  auto* body = dynamic_cast<FunctionBodySink*>(&sink);
  if (body == nullptr)
    fail(kOutsideFunction);
  if (body->hasResult())
    fail(kTwoResults);
  if (select_) {
    body->setResult(select_->evaluate(evalContext(focus, sink)));
  } else if (element()->firstChild() == nullptr) {
    body->setResult(Value::makeString(String()));
  } else {
    TreeResultSink tree(sink.variables(), &sink.run());
    tree.executeChildren(element(), focus);
    body->setResult(Value::makeFragment(tree.takeTree()));
  }
}

}  // namespace ovra
