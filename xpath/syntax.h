// The syntax tree the parser builds from an expression or match pattern. It is compiled
// into an Expr (or a pattern matcher) and then thrown away, except that a template keeps
// the tree of its match pattern. Every node owns its children.
//
// The tree does not point into the expression text: names are interned, literal and
// number texts are copied, and the tokens the nodes keep have their text pointer cleared.
// So the text may be freed as soon as parsing returns.
#pragma once

#include "base/string.h"
#include "tree/qname.h"
#include "xpath/expr.h"
#include "xpath/runtime/token.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace ovra {

class PatternMatcher;
struct FunctionEntry;

// Which class a node is, so the compilers can switch instead of casting blindly.
enum class SyntaxKind {
  BinaryOp,
  Path,
  Step,
  Axis,
  NodeTypeTest,
  NameTest,
  FunctionCall,
  Group,
  Variable,
  Literal,
  Number,
};

class SyntaxNode {
 public:
  SyntaxNode(const SyntaxNode&) = delete;
  SyntaxNode& operator=(const SyntaxNode&) = delete;
  virtual ~SyntaxNode();

  SyntaxKind kind() const { return kind_; }
  // The token the node was made from, for error positions; its text pointer is null.
  const Token& token() const { return token_; }

  // One-line rendering of the subtree with every operator, axis, name and value spelled
  // out: (- (number 1) (number 2)), (path / (step child (name {urn:p}a) [(number 1)])).
  // Predicates are in brackets; "//" shows as the descendant-or-self step it stands for;
  // a name in a namespace is {uri}local. The base writes nothing.
  virtual void appendDump(std::string& out) const;
  void dump(std::FILE* stream) const;
  std::string dumpString() const;

  // The compiled expression; the base compiles to an expression that yields nothing.
  virtual std::unique_ptr<Expr> compile() const;
  // A matcher for the pattern; the base throws "Invalid match pattern" at the token.
  virtual std::unique_ptr<PatternMatcher> compilePattern() const;
  // The priority of a template whose match pattern is this tree; the base answers 0.5.
  virtual double defaultPriority() const;
  // Appends the local names of the elements the pattern matches and answers true when
  // the pattern matches exactly the elements of those names; the base answers false.
  virtual bool collectNames(std::vector<StringRef>& names) const;

 protected:
  SyntaxNode(SyntaxKind kind, const Token& token);

 private:
  Token token_;
  SyntaxKind kind_;
};

// An ordered list of expressions: the predicates of a step or filter, or the arguments
// of a function call.
class ExprList {
 public:
  ExprList() = default;
  ExprList(ExprList&&) noexcept = default;
  ExprList& operator=(ExprList&&) noexcept = default;
  ~ExprList();

  void append(std::unique_ptr<SyntaxNode> node) { items_.push_back(std::move(node)); }
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  const SyntaxNode& operator[](std::size_t i) const { return *items_[i]; }
  const std::vector<std::unique_ptr<SyntaxNode>>& items() const { return items_; }

  // Each item after a space, in brackets when bracketed (predicates).
  void appendDump(std::string& out, bool bracketed) const;

 private:
  std::vector<std::unique_ptr<SyntaxNode>> items_;
};

// left op right, for the binary operators 6 (|) to 19 (or).
class BinaryOpNode : public SyntaxNode {
 public:
  BinaryOpNode(TokenKind op, std::unique_ptr<SyntaxNode> left, std::unique_ptr<SyntaxNode> right);
  // Long operator chains nest as deeply as they have operands; they are taken apart
  // without recursion.
  ~BinaryOpNode() override;

  TokenKind op() const { return token().kind; }
  const SyntaxNode& left() const { return *left_; }
  const SyntaxNode& right() const { return *right_; }

  void appendDump(std::string& out) const override;
  bool collectNames(std::vector<StringRef>& names) const override;

 private:
  std::unique_ptr<SyntaxNode> left_;
  std::unique_ptr<SyntaxNode> right_;
};

// The axis of a step: an axis name, "@" (attribute), "." (self) or ".." (parent).
class AxisNode : public SyntaxNode {
 public:
  explicit AxisNode(const Token& token);
  ~AxisNode() override;

  // One of the axis codes 44 to 56.
  TokenKind axis() const;

  void appendDump(std::string& out) const override;
};

// The node test of a step: a node-type test or a name test.
class NodeTestNode : public SyntaxNode {
 public:
  ~NodeTestNode() override;

  // What the default priority of a one-step pattern depends on.
  virtual bool isPlainName() const = 0;
  virtual bool isProcessingInstructionWithLiteral() const = 0;
  virtual bool isPrefixedWildcard() const = 0;

 protected:
  using SyntaxNode::SyntaxNode;
};

class LiteralNode : public SyntaxNode {
 public:
  explicit LiteralNode(const Token& token);  // copies the token's text
  ~LiteralNode() override;

  // Without the quotes.
  const String& text() const { return text_; }

  void appendDump(std::string& out) const override;

 private:
  String text_;
};

class NumberNode : public SyntaxNode {
 public:
  explicit NumberNode(const Token& token);  // copies the token's text
  ~NumberNode() override;

  // As written: digits with an optional ".".
  const String& text() const { return text_; }

  void appendDump(std::string& out) const override;

 private:
  String text_;
};

// comment(), text(), node(), processing-instruction(['target']), and the node() implied
// by the abbreviated steps "." and "..".
class NodeTypeTestNode : public NodeTestNode {
 public:
  // target: the processing-instruction target, or null.
  NodeTypeTestNode(const Token& token, std::unique_ptr<LiteralNode> target);
  ~NodeTypeTestNode() override;

  // One of the node-type codes 31 to 34; "." and ".." answer node (34).
  TokenKind nodeType() const;
  const LiteralNode* target() const { return target_.get(); }

  bool isPlainName() const override { return false; }
  bool isProcessingInstructionWithLiteral() const override;
  bool isPrefixedWildcard() const override { return false; }

  void appendDump(std::string& out) const override;

 private:
  std::unique_ptr<LiteralNode> target_;
};

// A QName, "*" or prefix:*, resolved at parse time. Unprefixed names are in no namespace;
// a prefix that is not declared resolves to no namespace as well.
class NameTestNode : public NodeTestNode {
 public:
  NameTestNode(const Token& token, const ExpandedName& name);
  ~NameTestNode() override;

  // Interned; the local name is "*" for both wildcard forms.
  const ExpandedName& name() const { return name_; }
  StringRef namespaceURI() const { return name_.namespaceURI; }
  StringRef localName() const { return name_.localName; }
  bool isWildcard() const;

  bool isPlainName() const override { return !isWildcard(); }
  bool isProcessingInstructionWithLiteral() const override { return false; }
  bool isPrefixedWildcard() const override;

  void appendDump(std::string& out) const override;
  bool collectNames(std::vector<StringRef>& names) const override;

 private:
  ExpandedName name_;
};

class StepNode : public SyntaxNode {
 public:
  // axis: null means the child axis. token: the first token of the step.
  StepNode(const Token& token, std::unique_ptr<AxisNode> axis,
           std::unique_ptr<NodeTestNode> nodeTest, ExprList predicates);
  ~StepNode() override;

  // Null when no axis was written (the child axis).
  const AxisNode* axisNode() const { return axis_.get(); }
  // The axis code, child (47) when none was written.
  TokenKind axis() const;
  const NodeTestNode& nodeTest() const { return *nodeTest_; }
  const ExprList& predicates() const { return predicates_; }
  // The step was written after "//".
  bool isDescendant() const { return descendant_; }
  void setDescendant() { descendant_ = true; }

  void appendDump(std::string& out) const override;
  double defaultPriority() const override;
  bool collectNames(std::vector<StringRef>& names) const override;

 private:
  std::unique_ptr<AxisNode> axis_;
  std::unique_ptr<NodeTestNode> nodeTest_;
  ExprList predicates_;
  bool descendant_ = false;
};

// A location path, possibly starting from a filter expression, possibly negated: every
// operand of an expression is one. A plain filter expression is a path without steps.
class PathNode : public SyntaxNode {
 public:
  PathNode(const Token& token, std::vector<std::unique_ptr<StepNode>> steps,
           std::unique_ptr<SyntaxNode> filter, bool negated, bool absolute);
  ~PathNode() override;

  // In source order; empty for "/" alone and for a filter without steps.
  const std::vector<std::unique_ptr<StepNode>>& steps() const { return steps_; }
  // The filter expression the steps start from, or null.
  const SyntaxNode* filter() const { return filter_.get(); }
  // Written after an odd number of "-": the value is the negated number.
  bool isNegated() const { return negated_; }
  void setNegated(bool negated) { negated_ = negated; }
  // Starts at the root ("/" or "//" first, no filter).
  bool isAbsolute() const { return absolute_; }

  void appendDump(std::string& out) const override;
  double defaultPriority() const override;
  bool collectNames(std::vector<StringRef>& names) const override;

 private:
  std::vector<std::unique_ptr<StepNode>> steps_;
  std::unique_ptr<SyntaxNode> filter_;
  bool negated_;
  bool absolute_;
};

class FunctionCallNode : public SyntaxNode {
 public:
  // entry: the function that name finds in the registry the expression is parsed
  // against, or null when it finds none; the registry outlives the node.
  FunctionCallNode(const Token& token, const ExpandedName& name, const FunctionEntry* entry,
                   ExprList arguments, ExprList predicates);
  ~FunctionCallNode() override;

  // The QName as written.
  const String& name() const { return name_; }
  const ExpandedName& expandedName() const { return expandedName_; }
  const FunctionEntry* entry() const { return entry_; }
  const ExprList& arguments() const { return arguments_; }
  const ExprList& predicates() const { return predicates_; }

  void appendDump(std::string& out) const override;

 private:
  String name_;
  ExpandedName expandedName_;
  const FunctionEntry* entry_;
  ExprList arguments_;
  ExprList predicates_;
};

// A parenthesised expression, with the predicates written after it.
class GroupNode : public SyntaxNode {
 public:
  GroupNode(const Token& token, std::unique_ptr<SyntaxNode> inner, ExprList predicates);
  ~GroupNode() override;

  const SyntaxNode& inner() const { return *inner_; }
  const ExprList& predicates() const { return predicates_; }

  void appendDump(std::string& out) const override;

 private:
  std::unique_ptr<SyntaxNode> inner_;
  ExprList predicates_;
};

class VariableNode : public SyntaxNode {
 public:
  // name: resolved like a name test, so unprefixed names are in no namespace.
  VariableNode(const Token& token, const ExpandedName& name, ExprList predicates);
  ~VariableNode() override;

  const ExpandedName& name() const { return name_; }
  const ExprList& predicates() const { return predicates_; }

  void appendDump(std::string& out) const override;

 private:
  ExpandedName name_;
  ExprList predicates_;
};

}  // namespace ovra
