// Where template bodies write: node events and text, either straight to the Serializer
// or into a result tree (variables, attribute and processing-instruction content,
// messages). Instructions never know which.
#pragma once

#include "base/string.h"
#include "xpath/runtime/value.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ovra {

class Instruction;
class Node;
class RootNode;
class Serializer;
class Transformation;
class VariableStack;

// The node an instruction runs for, with its position in the node list being processed
// (1-based) and that list's size (0 when not known).
struct Focus {
  Node* node = nullptr;
  std::int32_t position = 1;
  std::int32_t size = 1;
};

class ResultSink {
 public:
  // variables and run are not owned and outlive the sink.
  ResultSink(VariableStack* variables, Transformation* run) : variables_(variables), run_(run) {}
  ResultSink(const ResultSink&) = delete;
  ResultSink& operator=(const ResultSink&) = delete;
  virtual ~ResultSink();

  // Runs the children of a stylesheet element as a template body: instructions execute,
  // literal result elements and text are copied (attribute value templates expanded,
  // attributes in the XSLT namespace left out), stylesheet comments and processing
  // instructions are skipped. The variables bound by the children go out of scope at the
  // end. Throws StylesheetException when bodies nest deeper than the stack allows.
  void executeChildren(Node* element, const Focus& focus);

  // Begins a copy of node in the result: an element's start (its attributes and
  // namespace nodes follow as their own start/end pairs), or a whole text, attribute,
  // comment or processing instruction. Attribute values are taken literally. The flag
  // goes back to the matching endNode.
  virtual std::uint8_t startNode(Node* node) = 0;
  virtual void endNode(std::uint8_t flag, Node* node) = 0;
  // Writes the string value of value as text.
  virtual void writeValue(const Value& value, bool disableOutputEscaping) = 0;
  // Returns the previous state; result trees ignore it.
  virtual bool setDisableOutputEscaping(bool disable) = 0;
  // False when the declarations of a copied element need not be handed in: the
  // serializer declares what an element needs from the element's own ancestry, so a
  // copy need not collect the namespaces in scope (a walk up through every ancestor) to
  // hand them over. A namespace node copied on its own is handed in either way.
  virtual bool takesNamespaceNodes() const { return true; }
  // Whether an attribute handed in now would belong to an element: one is being built
  // and has no children yet.
  virtual bool acceptsAttribute() const = 0;

  // node with everything below it (attributes and namespace nodes of elements
  // included); a root contributes its children. Never recurses on the input's depth.
  void copyDeep(Node* node);

  VariableStack* variables() const { return variables_; }
  // The calling instructions swap in a stack of their own for the duration of a call.
  VariableStack* setVariables(VariableStack* variables) {
    VariableStack* previous = variables_;
    variables_ = variables;
    return previous;
  }
  Transformation& run() const { return *run_; }

  // A literal result element of the stylesheet: its start, its attributes (values with
  // braces expanded), its namespace nodes, its children run as a body, its end. first,
  // when given, runs right after the start, so that the attributes it adds (those of
  // attribute sets) come before the element's own.
  void copyLiteralElement(Node* element, const Focus& focus, const Instruction* first = nullptr);

 private:
  VariableStack* variables_;
  Transformation* run_;
};

class SerializerResultSink : public ResultSink {
 public:
  SerializerResultSink(Serializer& serializer, VariableStack* variables, Transformation* run)
      : ResultSink(variables, run), serializer_(serializer) {}
  ~SerializerResultSink() override;

  std::uint8_t startNode(Node* node) override;
  void endNode(std::uint8_t flag, Node* node) override;
  void writeValue(const Value& value, bool disableOutputEscaping) override;
  bool setDisableOutputEscaping(bool disable) override;
  bool takesNamespaceNodes() const override { return false; }
  bool acceptsAttribute() const override;

 private:
  Serializer& serializer_;  // not owned
};

// Builds a result tree fragment from heap clones of what it is handed.
class TreeResultSink : public ResultSink {
 public:
  TreeResultSink(VariableStack* variables, Transformation* run);
  ~TreeResultSink() override;

  std::uint8_t startNode(Node* node) override;
  void endNode(std::uint8_t flag, Node* node) override;
  void writeValue(const Value& value, bool disableOutputEscaping) override;
  // Marks the text nodes built while set; they keep the mark through copies.
  bool setDisableOutputEscaping(bool disable) override;
  bool acceptsAttribute() const override;

  // The tree built so far (an empty root when nothing was written); the caller owns it.
  std::shared_ptr<Node> takeTree();
  // The concatenated text of every text node built, in document order.
  std::string textContent() const;

 private:
  void ensureRoot();
  void appendText(std::string_view text, bool escapingDisabled);
  // Makes the text written since the last node a text node of the current element.
  void flushText();
  void copyNamespaces(const Node* original, Node* clone) const;
  static bool isImplicitNamespace(const Node* ns);
  static bool hasNamespace(const Node* element, StringRef prefix);

  std::shared_ptr<Node> root_;
  Node* current_ = nullptr;  // the element (or root) that receives the next node
  // The nodes whose clones are open, outermost first.
  std::vector<const Node*> originals_;
  bool noEscape_ = false;
  // Text written since the last node, and whether its escaping is disabled.
  std::string pendingText_;
  bool pendingNoEscape_ = false;
};

}  // namespace ovra
