#include "xpath/syntax.h"

#include "tree/name_pool.h"

namespace ovra {

namespace {

// The token as kept by a node: the text it pointed at belongs to the expression buffer,
// which is gone once parsing returns.
Token detached(const Token& token) {
  Token copy = token;
  copy.text = nullptr;
  return copy;
}

String tokenText(const Token& token) {
  return String(token.text, token.length);
}

}  // namespace

// ---- SyntaxNode and ExprList ----

SyntaxNode::SyntaxNode(SyntaxKind kind, const Token& token)
    : token_(detached(token)), kind_(kind) {}

SyntaxNode::~SyntaxNode() = default;

void SyntaxNode::appendDump(std::string&) const {}

void SyntaxNode::dump(std::FILE* stream) const {
  std::string text = dumpString();
  std::fputs(text.c_str(), stream);
}

std::string SyntaxNode::dumpString() const {
  std::string out;
  appendDump(out);
  return out;
}

double SyntaxNode::defaultPriority() const {
  return 0.5;
}

bool SyntaxNode::collectNames(std::vector<StringRef>&) const {
  return false;
}

ExprList::~ExprList() = default;

void ExprList::appendDump(std::string& out) const {
  out += '(';
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (i > 0)
      out += ',';
    items_[i]->appendDump(out);
  }
  out += ')';
}

// ---- BinaryOpNode ----

BinaryOpNode::BinaryOpNode(TokenKind op, std::unique_ptr<SyntaxNode> left,
                           std::unique_ptr<SyntaxNode> right)
    : SyntaxNode(SyntaxKind::BinaryOp, Token{op, nullptr, 0, 0}), left_(std::move(left)),
      right_(std::move(right)) {}

BinaryOpNode::~BinaryOpNode() {
  auto isChain = [](const std::unique_ptr<SyntaxNode>& node) {
    return node && node->kind() == SyntaxKind::BinaryOp;
  };
  if (!isChain(left_) && !isChain(right_))
    return;
  // Every operator node taken off the list has its operands moved out before it dies,
  // so no destructor below this one recurses.
  std::vector<std::unique_ptr<SyntaxNode>> pending;
  pending.push_back(std::move(left_));
  pending.push_back(std::move(right_));
  while (!pending.empty()) {
    std::unique_ptr<SyntaxNode> node = std::move(pending.back());
    pending.pop_back();
    if (isChain(node)) {
      auto* op = static_cast<BinaryOpNode*>(node.get());
      pending.push_back(std::move(op->left_));
      pending.push_back(std::move(op->right_));
    }
  }
}

namespace {

// The operator nodes down the left side of a chain, top first; their left operands nest
// as deeply as the chain is long, so these walks avoid recursion.
std::vector<const BinaryOpNode*> leftSpine(const BinaryOpNode& top, const SyntaxNode*& leftmost) {
  std::vector<const BinaryOpNode*> spine;
  const SyntaxNode* node = &top;
  while (node->kind() == SyntaxKind::BinaryOp) {
    auto* op = static_cast<const BinaryOpNode*>(node);
    spine.push_back(op);
    node = &op->left();
  }
  leftmost = node;
  return spine;
}

}  // namespace

void BinaryOpNode::appendDump(std::string& out) const {
  const SyntaxNode* leftmost = nullptr;
  std::vector<const BinaryOpNode*> spine = leftSpine(*this, leftmost);
  out.append(spine.size(), '(');
  leftmost->appendDump(out);
  for (auto it = spine.rbegin(); it != spine.rend(); ++it) {
    out += ',';
    (*it)->right().appendDump(out);
    out += ',';
    out += std::to_string(int((*it)->op()));
    out += ')';
  }
}

bool BinaryOpNode::collectNames(std::vector<StringRef>& names) const {
  // A union answers for its left operand and then, if that succeeded, for its right one.
  const SyntaxNode* leftmost = nullptr;
  std::vector<const BinaryOpNode*> spine = leftSpine(*this, leftmost);
  for (const BinaryOpNode* op : spine) {
    if (op->op() != TokenKind::Union)
      return false;
  }
  if (!leftmost->collectNames(names))
    return false;
  for (auto it = spine.rbegin(); it != spine.rend(); ++it) {
    if (!(*it)->right().collectNames(names))
      return false;
  }
  return true;
}

// ---- Steps and node tests ----

AxisNode::AxisNode(const Token& token) : SyntaxNode(SyntaxKind::Axis, token) {}

AxisNode::~AxisNode() = default;

TokenKind AxisNode::axis() const {
  switch (token().kind) {
  case TokenKind::At:
    return TokenKind::AxisAttribute;
  case TokenKind::Dot:
    return TokenKind::AxisSelf;
  case TokenKind::DotDot:
    return TokenKind::AxisParent;
  default:
    return token().kind;
  }
}

void AxisNode::appendDump(std::string& out) const {
  out += "axis";
}

NodeTestNode::~NodeTestNode() = default;

LiteralNode::LiteralNode(const Token& token)
    : SyntaxNode(SyntaxKind::Literal, token), text_(tokenText(token)) {}

LiteralNode::~LiteralNode() = default;

void LiteralNode::appendDump(std::string& out) const {
  out += "literal";
}

NumberNode::NumberNode(const Token& token)
    : SyntaxNode(SyntaxKind::Number, token), text_(tokenText(token)) {}

NumberNode::~NumberNode() = default;

void NumberNode::appendDump(std::string& out) const {
  out += "number";
}

NodeTypeTestNode::NodeTypeTestNode(const Token& token, std::unique_ptr<LiteralNode> target)
    : NodeTestNode(SyntaxKind::NodeTypeTest, token), target_(std::move(target)) {}

NodeTypeTestNode::~NodeTypeTestNode() = default;

TokenKind NodeTypeTestNode::nodeType() const {
  TokenKind kind = token().kind;
  return kind == TokenKind::Dot || kind == TokenKind::DotDot ? TokenKind::NodeTypeNode : kind;
}

bool NodeTypeTestNode::isProcessingInstructionWithLiteral() const {
  return nodeType() == TokenKind::NodeTypeProcessingInstruction && target_ != nullptr;
}

void NodeTypeTestNode::appendDump(std::string& out) const {
  out += "nodetype";
  if (target_)
    target_->appendDump(out);
}

NameTestNode::NameTestNode(const Token& token, const ExpandedName& name)
    : NodeTestNode(SyntaxKind::NameTest, token), name_(name) {}

NameTestNode::~NameTestNode() = default;

bool NameTestNode::isWildcard() const {
  return name_.localName == starName();
}

bool NameTestNode::isPrefixedWildcard() const {
  return isWildcard() && !name_.namespaceURI.empty();
}

void NameTestNode::appendDump(std::string& out) const {
  out += "name(";
  out += name_.namespaceURI.view();
  out += ',';
  out += name_.localName.view();
  out += ')';
}

bool NameTestNode::collectNames(std::vector<StringRef>& names) const {
  if (!name_.namespaceURI.empty() || isWildcard())
    return false;
  names.push_back(name_.localName);
  return true;
}

StepNode::StepNode(const Token& token, std::unique_ptr<AxisNode> axis,
                   std::unique_ptr<NodeTestNode> nodeTest, ExprList predicates)
    : SyntaxNode(SyntaxKind::Step, token), axis_(std::move(axis)), nodeTest_(std::move(nodeTest)),
      predicates_(std::move(predicates)) {}

StepNode::~StepNode() = default;

TokenKind StepNode::axis() const {
  return axis_ ? axis_->axis() : TokenKind::AxisChild;
}

void StepNode::appendDump(std::string& out) const {
  out += "step(";
  if (axis_)
    axis_->appendDump(out);
  out += ',';
  nodeTest_->appendDump(out);
  out += ',';
  predicates_.appendDump(out);
  out += ')';
}

double StepNode::defaultPriority() const {
  if (!predicates_.empty())
    return 0.5;
  TokenKind axisCode = axis();
  if (axisCode != TokenKind::AxisChild && axisCode != TokenKind::AxisAttribute)
    return 0.5;
  if (nodeTest_->isPlainName() || nodeTest_->isProcessingInstructionWithLiteral())
    return 0;
  if (nodeTest_->isPrefixedWildcard())
    return -0.25;
  return -0.5;
}

bool StepNode::collectNames(std::vector<StringRef>& names) const {
  if (!predicates_.empty() || axis() != TokenKind::AxisChild)
    return false;
  return nodeTest_->collectNames(names);
}

// ---- Paths and filter expressions ----

PathNode::PathNode(const Token& token, std::vector<std::unique_ptr<StepNode>> steps,
                   std::unique_ptr<SyntaxNode> filter, bool negated, bool absolute)
    : SyntaxNode(SyntaxKind::Path, token), steps_(std::move(steps)), filter_(std::move(filter)),
      negated_(negated), absolute_(absolute) {}

PathNode::~PathNode() = default;

void PathNode::appendDump(std::string& out) const {
  out += "path(";
  if (filter_)
    filter_->appendDump(out);
  out += ',';
  for (std::size_t i = 0; i < steps_.size(); ++i) {
    if (i > 0)
      out += ',';
    steps_[i]->appendDump(out);
  }
  out += ')';
}

double PathNode::defaultPriority() const {
  if (steps_.size() == 1 && !filter_ && !absolute_)
    return steps_[0]->defaultPriority();
  return 0.5;
}

bool PathNode::collectNames(std::vector<StringRef>& names) const {
  if (steps_.size() != 1 || filter_ || absolute_)
    return false;
  return steps_[0]->collectNames(names);
}

FunctionCallNode::FunctionCallNode(const Token& token, const ExpandedName& name,
                                   const FunctionEntry* entry, ExprList arguments,
                                   ExprList predicates)
    : SyntaxNode(SyntaxKind::FunctionCall, token), name_(tokenText(token)), expandedName_(name),
      entry_(entry), arguments_(std::move(arguments)), predicates_(std::move(predicates)) {}

FunctionCallNode::~FunctionCallNode() = default;

void FunctionCallNode::appendDump(std::string& out) const {
  out += "function";
  arguments_.appendDump(out);
  predicates_.appendDump(out);
}

GroupNode::GroupNode(const Token& token, std::unique_ptr<SyntaxNode> inner, ExprList predicates)
    : SyntaxNode(SyntaxKind::Group, token), inner_(std::move(inner)),
      predicates_(std::move(predicates)) {}

GroupNode::~GroupNode() = default;

void GroupNode::appendDump(std::string& out) const {
  out += "group(";
  inner_->appendDump(out);
  predicates_.appendDump(out);
  out += ')';
}

VariableNode::VariableNode(const Token& token, const ExpandedName& name, ExprList predicates)
    : SyntaxNode(SyntaxKind::Variable, token), name_(name), predicates_(std::move(predicates)) {}

VariableNode::~VariableNode() = default;

void VariableNode::appendDump(std::string& out) const {
  out += "variable";
}

}  // namespace ovra
