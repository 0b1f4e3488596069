#include "tests/support/xpath_helpers.h"

#include "base/exceptions.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "xpath/parser.h"
#include "xslt/functions.h"

#include <gtest/gtest.h>

#include <memory>

namespace ovra {

static Node* attributeNamed(Node* element, std::string_view name) {
  for (Node* attribute = element->firstAttribute(); attribute != nullptr;
       attribute = attribute->rawNextSibling()) {
    if (attribute->localName().view() == name)
      return attribute;
  }
  return nullptr;
}

std::string nodeLabel(Node* node) {
  // Built by appending: g++ 12 warns falsely about "literal" + std::string.
  std::string label;
  switch (node->kind()) {
  case NodeKind::Root:
    return "/";
  case NodeKind::Element:
    if (Node* id = attributeNamed(node, "id"))
      return static_cast<AttributeNode*>(id)->value();
    return label.append(node->localName().view());
  case NodeKind::Attribute:
    return label.append("@")
        .append(node->localName().view())
        .append("=")
        .append(static_cast<AttributeNode*>(node)->value());
  case NodeKind::Text:
    return label.append("t:").append(static_cast<CharacterNode*>(node)->textView());
  case NodeKind::Comment:
    return label.append("!").append(static_cast<CharacterNode*>(node)->textView());
  case NodeKind::ProcessingInstruction:
    return label.append("?").append(static_cast<ProcessingInstructionNode*>(node)->target());
  case NodeKind::Namespace:
    return label.append("xmlns:")
        .append(node->localName().view())
        .append("=")
        .append(node->namespaceURI().view());
  }
  return "?";
}

std::string labelsOf(const NodeVector& nodes) {
  std::string out;
  for (Node* node : nodes) {
    if (!out.empty())
      out += ' ';
    out += nodeLabel(node);
  }
  return out;
}

Node* findById(Node* top, std::string_view id) {
  for (Node* node = top; node != nullptr; node = nextInDocumentOrder(node, top)) {
    if (node->kind() == NodeKind::Element) {
      Node* attribute = attributeNamed(node, "id");
      if (attribute != nullptr && static_cast<AttributeNode*>(attribute)->value() == id)
        return node;
    }
  }
  return nullptr;
}

Node* findNode(Node* root, std::string_view where) {
  if (where == "/")
    return root;
  std::size_t mark = where.find_first_of("@/#");
  Node* element = findById(root, where.substr(0, mark));
  if (element == nullptr || mark == std::string_view::npos)
    return element;
  std::string_view rest = where.substr(mark + 1);
  switch (where[mark]) {
  case '@':
    return attributeNamed(element, rest);
  case '/':
    return element->firstChild();
  default:
    return element->kind() == NodeKind::Element
               ? static_cast<ElementNode*>(element)->firstNamespaceNode()
               : nullptr;
  }
}

const Value* TestVariables::variable(StringRef namespaceURI, StringRef localName,
                                     const EvalContext&) {
  if (!namespaceURI.empty())
    return nullptr;
  auto found = values_.find(std::string(localName.view()));
  return found == values_.end() ? nullptr : &found->second;
}

static bool inDocumentOrder(const NodeVector& nodes) {
  for (std::size_t i = 1; i < nodes.size(); ++i) {
    if (!precedesInDocumentOrder(nodes[i - 1], nodes[i]))
      return false;
  }
  return true;
}

std::string evaluateAt(Node* context, std::string_view expression, const Node* namespaceContext,
                       EvaluationHost* variables) {
  try {
    std::unique_ptr<Expr> compiled = compileXPath(expression, namespaceContext, xsltFunctions());
    EvalContext eval;
    eval.contextNode = eval.currentNode = context;
    eval.stylesheetElement = const_cast<Node*>(namespaceContext);
    eval.host = variables;
    Value value = compiled->evaluate(eval);
    EXPECT_EQ(compiled->evaluateBoolean(eval), booleanOf(value))
        << expression << ": evaluateBoolean and evaluate";
    if (value.kind() != ValueKind::NodeSet)
      return stringOf(value).c_str();
    EXPECT_TRUE(inDocumentOrder(value.nodes()))
        << expression << " gave " << labelsOf(value.nodes()) << " out of document order";
    NodeVector streamed;
    if (std::unique_ptr<NodeStream> nodes = compiled->select(eval)) {
      while (Node* node = nodes->next())
        streamed.push_back(node);
    }
    EXPECT_EQ(labelsOf(streamed), labelsOf(value.nodes())) << expression << ": select and evaluate";
    return labelsOf(value.nodes());
  } catch (const XSLException& error) {
    return "error: " + textAt(error);
  }
}

Value callFunction(const FunctionRegistry& registry, std::string_view name, ArgumentList args,
                   const EvalContext& context) {
  const FunctionEntry* entry = registry.find("", name);
  if (entry == nullptr) {
    ADD_FAILURE() << "no function " << name;
    return Value();
  }
  EXPECT_GE(args.size(), entry->minArguments) << name;
  EXPECT_LE(args.size(), entry->maxArguments) << name;
  Token token{TokenKind::FunctionName, name.data(), std::int32_t(name.size()), kTestCallPosition};
  return entry->function(token, context, args);
}

std::string callError(const FunctionRegistry& registry, std::string_view name, ArgumentList args,
                      const EvalContext& context) {
  try {
    callFunction(registry, name, std::move(args), context);
  } catch (const EvaluateException& error) {
    return textAt(error);
  }
  return "no error";
}

ElementNode* appendElement(Node* parent, StringRef namespaceURI, std::string_view prefix,
                           std::string_view name, std::string_view text) {
  auto* element = new ElementNode(namespaceURI, intern(name), intern(prefix), 0, true);
  parent->appendChild(element);
  if (!text.empty())
    element->appendChild(TextNode::makeOwned(text));
  return element;
}

std::string textAt(const XSLException& error) {
  std::string text(error.text().view());
  if (error.position() >= 0)
    text += " at " + std::to_string(error.position());
  return text;
}

}  // namespace ovra
