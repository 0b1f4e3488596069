// The XSLT functions. Those that read the run (key(), format-number()) reach the
// transformation through the evaluation host; without one they answer as a stylesheet
// without declarations would.
#include "xslt/functions.h"

#include "base/diagnostics.h"
#include "base/exceptions.h"
#include "tree/document.h"
#include "tree/document_registry.h"
#include "tree/location.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "tree/qname.h"
#include "xpath/runtime/decimal_format.h"
#include "xslt/exslt/exslt.h"
#include "xslt/instruction.h"
#include "xslt/keys.h"
#include "xslt/stylesheet.h"
#include "xslt/transform.h"
#include "xslt/variable_stack.h"

#include <algorithm>
#include <string>

namespace ovra {

namespace {

constexpr const char* kDocumentBaseNotNodeSet =
    "The second argument of document() must be a nodeset containing at least one entry";
constexpr const char* kUndeclaredKeyPrefix = "Undeclared namespace prefix in key name, ";
constexpr const char* kUnknownDecimalFormat = "Unknown decimal format, ";
constexpr const char* kDocumentWithoutBase =
    "document() has no document to resolve a reference against";
constexpr const char* kNoDocuments = "document() cannot load documents here";
constexpr const char* kDocumentNotLoaded = "Could not load document '";
constexpr const char* kUndeclaredNamePrefix = "Undeclared namespace prefix, ";

// What a stylesheet may learn about the processor running it.
constexpr std::string_view kVendor = "ovra";
constexpr std::string_view kVendorUrl = "https://ovra.example/";

Value makeText(std::string_view text) {
  return Value::makeString(String(text));
}

// A QName argument expanded at the element the expression was written in; a prefix
// that no declaration binds there is an error.
ExpandedName expandArgument(const Token& call, const EvalContext& context, std::string_view qname,
                            bool useDefaultNamespace) {
  ExpandedName name = resolveQName(context.stylesheetElement, qname, useDefaultNamespace);
  if (!name.prefix.empty() && name.namespaceURI.empty())
    throw EvaluateException(call.position, String(kUndeclaredNamePrefix).append(name.prefix));
  return name;
}

// ---- The current node and identifiers ----

Value currentFunction(const Token&, const EvalContext& context, ArgumentList&) {
  NodeVector nodes;
  if (context.currentNode != nullptr)
    nodes.push_back(context.currentNode);
  return Value::makeNodeSet(std::move(nodes));
}

// "N" and the node's creation serial in lowercase hexadecimal: unique per node for the
// run, and the same from run to run of one input, unlike an address.
Value generateIdFunction(const Token&, const EvalContext& context, ArgumentList& args) {
  Node* node = args.empty() ? context.contextNode : firstNode(args[0]);
  if (node == nullptr)
    return Value::makeString(String());
  return Value::makeString(formatMessage("N%x", unsigned(node->serial())));
}

// The key name is a QName resolved at the stylesheet element of the call; the lookup
// itself belongs to the transformation, which knows the xsl:key declarations.
Value keyFunction(const Token& call, const EvalContext& context, ArgumentList& args) {
  StringArg text(args[0]);
  ExpandedName name = resolveQName(context.stylesheetElement, text.view());
  name.prefix = intern(qnamePrefix(text.view()));
  if (!name.prefix.empty() && name.namespaceURI.empty())
    throw EvaluateException(call.position, String(kUndeclaredKeyPrefix).append(text.view()));
  Transformation* run = runningTransformation(context);
  if (run == nullptr)
    throw EvaluateException(call.position, unknownKeyMessage(name));
  return run->keys().lookup(call, name, args[1], context);
}

// The URI of the unparsed entity of that name declared in the context node's document,
// or the empty string.
Value unparsedEntityUriFunction(const Token&, const EvalContext& context, ArgumentList& args) {
  StringArg name(args[0]);
  Document* document = context.contextNode != nullptr ? context.contextNode->document() : nullptr;
  const String* uri = document != nullptr ? document->unparsedEntityURI(name.view()) : nullptr;
  return Value::makeString(uri != nullptr ? String(*uri) : String());
}

// ---- Availability ----

// Whether a call of that name would find a function: the same lookup by expanded name
// that compiling the call does, so any prefix bound to the namespace answers alike.
Value functionAvailableFunction(const Token& call, const EvalContext& context, ArgumentList& args) {
  StringArg name(args[0]);
  ExpandedName expanded = expandArgument(call, context, name.view(), false);
  if (xsltFunctions().find(expanded.namespaceURI.view(), expanded.localName.view()) != nullptr)
    return Value::makeBoolean(true);
  // The stylesheet's own functions (func:function).
  Transformation* run = runningTransformation(context);
  return Value::makeBoolean(
      run != nullptr &&
      run->stylesheet().functions().find(expanded.namespaceURI, expanded.localName) != nullptr);
}

// Answers for the XSLT instructions and extension elements the stylesheet compiler
// knows: the table of elements it compiles is the one truth about them.
Value elementAvailableFunction(const Token& call, const EvalContext& context, ArgumentList& args) {
  StringArg name(args[0]);
  ExpandedName expanded = expandArgument(call, context, name.view(), true);
  return Value::makeBoolean(
      isAvailableInstruction(expanded.namespaceURI.view(), expanded.localName.view()));
}

// ---- Processor facts and number formatting ----

Value systemPropertyFunction(const Token& call, const EvalContext& context, ArgumentList& args) {
  String name = stringOf(args[0]);
  ExpandedName expanded = expandArgument(call, context, name.view(), false);
  if (expanded.namespaceURI.view() != kXsltNamespace)
    return Value::makeString(String());
  std::string_view local = expanded.localName.view();
  if (local == "version")
    return Value::makeNumber(1.0);
  if (local == "vendor")
    return makeText(kVendor);
  if (local == "vendor-url")
    return makeText(kVendorUrl);
  return Value::makeString(String());
}

Value formatNumberFunction(const Token& call, const EvalContext& context, ArgumentList& args) {
  static const DecimalFormat kDefaultFormat;
  double number = numberOf(args[0]);
  StringArg pattern(args[1]);
  const DecimalFormat* format = nullptr;
  if (args.size() > 2) {
    String name = stringOf(args[2]);
    ExpandedName expanded = expandArgument(call, context, name.view(), false);
    if (Transformation* run = runningTransformation(context))
      format = run->stylesheet().decimalFormat(expanded.namespaceURI, expanded.localName);
    if (format == nullptr)
      throw EvaluateException(call.position, String(kUnknownDecimalFormat).append(name));
  } else {
    if (Transformation* run = runningTransformation(context))
      format = run->stylesheet().decimalFormat(emptyName(), emptyName());
    if (format == nullptr)
      format = &kDefaultFormat;
  }
  std::string text;
  if (const char* fault = formatDecimal(number, pattern.view(), *format, text))
    throw EvaluateException(call.position, fault);
  return makeText(text);
}

// ---- Documents ----

// The root of the document reference names, relative to the location of resolving; null
// after a warning when it cannot be read, which a stylesheet may use to test whether a
// file exists (XSLT 1.0 section 12.1 allows this recovery). A fragment identifier is
// ignored; an empty reference names resolving itself.
Node* loadReferenced(const Token& call, const EvalContext& context, Document* resolving,
                     std::string_view reference) {
  if (resolving == nullptr)
    throw EvaluateException(call.position, kDocumentWithoutBase);
  if (reference.substr(0, reference.find('#')).empty()) {
    if (resolving->root() == nullptr)
      resolving->parseChunk();
    return resolving->root();
  }
  DocumentRegistry* documents = context.host != nullptr ? context.host->documents() : nullptr;
  if (documents == nullptr)
    throw EvaluateException(call.position, kNoDocuments);
  String reason;
  Document* loaded = documents->load(reference, *resolving, reason);
  if (loaded == nullptr) {
    String text(kDocumentNotLoaded);
    text.append(reference).append("': ").append(reason);
    warning(locationOf(context.stylesheetElement), text.view());
    return nullptr;
  }
  return loaded->root();
}

// The roots of the documents the first argument names: a node-set's members each name
// one, relative to the member's own document (a result tree's node: the stylesheet's);
// any other value is converted to a string, relative to the stylesheet module. A second
// argument's first node gives the base for all. The roots come in document order, each
// once.
Value documentFunction(const Token& call, const EvalContext& context, ArgumentList& args) {
  Document* stylesheet =
      context.stylesheetElement != nullptr ? context.stylesheetElement->document() : nullptr;
  bool hasBase = args.size() > 1;
  Document* base = nullptr;
  if (hasBase) {
    Node* baseNode = firstNode(args[1]);
    if (baseNode == nullptr)
      throw EvaluateException(call.position, kDocumentBaseNotNodeSet);
    base = baseNode->document() != nullptr ? baseNode->document() : stylesheet;
  }

  NodeVector roots;
  const Value& reference = args[0];
  if (reference.kind() == ValueKind::NodeSet) {
    for (Node* member : nodeMembers(reference)) {
      Document* resolving = base;
      if (!hasBase)
        resolving = member->document() != nullptr ? member->document() : stylesheet;
      if (Node* root = loadReferenced(call, context, resolving, member->stringValue().view()))
        roots.push_back(root);
    }
  } else {
    StringArg text(reference);
    if (Node* root = loadReferenced(call, context, hasBase ? base : stylesheet, text.view()))
      roots.push_back(root);
  }
  if (roots.size() > 1) {
    std::sort(roots.begin(), roots.end(), precedesInDocumentOrder);
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
  }
  return Value::makeNodeSet(std::move(roots));
}

constexpr FunctionResult kAny = FunctionResult::Any;
constexpr FunctionResult kNodeSet = FunctionResult::NodeSet;
constexpr FunctionResult kString = FunctionResult::String;
constexpr FunctionResult kBoolean = FunctionResult::Boolean;

constexpr NamedFunction kXsltFunctions[] = {
    {"current", {0, 0, currentFunction, kNodeSet}},
    {"document", {1, 2, documentFunction, kNodeSet}},
    {"element-available", {1, 1, elementAvailableFunction, kBoolean}},
    {"format-number", {2, 3, formatNumberFunction, kString}},
    {"function-available", {1, 1, functionAvailableFunction, kBoolean}},
    {"generate-id", {0, 1, generateIdFunction, kString}},
    {"key", {2, 2, keyFunction, kAny}},
    {"system-property", {1, 1, systemPropertyFunction, kAny}},
    {"unparsed-entity-uri", {1, 1, unparsedEntityUriFunction, kString}},
};

}  // namespace

void registerXsltFunctions(FunctionRegistry& registry) {
  registry.add("", kXsltFunctions);
}

const FunctionRegistry& xsltFunctions() {
  static const FunctionRegistry registry = [] {
    FunctionRegistry all;
    registerCoreFunctions(all);
    registerXsltFunctions(all);
    registerExsltModules(all);
    return all;
  }();
  return registry;
}

Transformation* runningTransformation(const EvalContext& context) {
  auto* stack = dynamic_cast<VariableStack*>(context.host);
  return stack != nullptr ? stack->run() : nullptr;
}

}  // namespace ovra
