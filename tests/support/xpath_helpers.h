// Helpers for the XPath tests: compile an expression, evaluate it at a node and show what
// it yields as one line of labels, so that tables of cases read like the documents.
#pragma once

#include "xpath/expr.h"
#include "xpath/runtime/functions.h"
#include "xpath/runtime/value.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace ovra {

class ElementNode;
class XSLException;

class Node;

// One short label per node:
//   element    its id attribute's value, or its local name when it has none
//   attribute  @name=value          text        t:text
//   comment    !text                processing instruction  ?target
//   namespace  xmlns:prefix=uri     root        /
std::string nodeLabel(Node* node);
// The labels of nodes joined by single spaces.
std::string labelsOf(const NodeVector& nodes);

// An XPath error as the expression tests pin it: its text and " at " its offset in the
// expression (the text alone when no place is known), without the location and caret
// lines the program prints.
std::string textAt(const XSLException& error);

// The first element below top (top included) whose id attribute is id; null when none.
Node* findById(Node* top, std::string_view id);
// A node named by a short path from the root:
//   "/"  the root          "id"  the element with that id
//   "id@name"  its attribute         "id/1"  its first child     "id#1"  its first namespace node
Node* findNode(Node* root, std::string_view where);

// Variables bound by name (no namespace) for the tests.
class TestVariables : public EvaluationHost {
 public:
  void bind(const std::string& name, Value value) { values_[name] = std::move(value); }
  const Value* variable(StringRef namespaceURI, StringRef localName,
                        const EvalContext& context) override;

 private:
  std::map<std::string, Value> values_;
};

// Evaluates expression at context: a node-set as its labels, a scalar as its string value,
// an error as "error: " and the message. Checks on the way that evaluate(), select() and
// evaluateBoolean() agree and that node-sets come in document order without duplicates.
std::string evaluateAt(Node* context, std::string_view expression,
                       const Node* namespaceContext = nullptr, EvaluationHost* variables = nullptr);

// Calls the function of that name in no namespace that registry holds, as a call at
// position kTestCallPosition, checking the argument count against its bounds.
inline constexpr std::int32_t kTestCallPosition = 7;
Value callFunction(const FunctionRegistry& registry, std::string_view name, ArgumentList args,
                   const EvalContext& context = {});
// The message of the EvaluateException the call throws, or "no error".
std::string callError(const FunctionRegistry& registry, std::string_view name, ArgumentList args,
                      const EvalContext& context = {});

// A heap element appended to parent, holding text when it is not empty.
ElementNode* appendElement(Node* parent, StringRef namespaceURI, std::string_view prefix,
                           std::string_view name, std::string_view text = {});

}  // namespace ovra
