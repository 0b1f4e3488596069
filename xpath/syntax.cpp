#include "xpath/syntax.h"

#include "tree/name_pool.h"

#include <iterator>
#include <string_view>

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

// ---- Dump helpers ----

std::string_view operatorName(TokenKind op) {
  switch (op) {
  case TokenKind::Union:
    return "|";
  case TokenKind::Multiply:
    return "*";
  case TokenKind::Div:
    return "div";
  case TokenKind::Mod:
    return "mod";
  case TokenKind::Minus:
    return "-";
  case TokenKind::Plus:
    return "+";
  case TokenKind::Less:
    return "<";
  case TokenKind::LessOrEqual:
    return "<=";
  case TokenKind::Greater:
    return ">";
  case TokenKind::GreaterOrEqual:
    return ">=";
  case TokenKind::Equal:
    return "=";
  case TokenKind::NotEqual:
    return "!=";
  case TokenKind::And:
    return "and";
  case TokenKind::Or:
    return "or";
  default:
    return "?";
  }
}

// Indexed by axis code: the axis names as XPath spells them.
constexpr std::string_view kAxisNames[] = {
    "ancestor",  "ancestor-or-self",  "attribute", "child",  "descendant", "descendant-or-self",
    "following", "following-sibling", "namespace", "parent", "preceding",  "preceding-sibling",
    "self",
};
static_assert(std::size(kAxisNames) == 13);

std::string_view axisName(TokenKind axis) {
  return kAxisNames[int(axis) - int(TokenKind::AxisAncestor)];
}

// A name in no namespace as it is; one in a namespace as {uri}local.
void appendName(std::string& out, const ExpandedName& name) {
  if (!name.namespaceURI.empty()) {
    out += '{';
    out += name.namespaceURI.view();
    out += '}';
  }
  out += name.localName.view();
}

// In double quotes, or in single quotes when the text holds a double quote.
void appendQuoted(std::string& out, std::string_view text) {
  char quote = text.find('"') == std::string_view::npos ? '"' : '\'';
  out += quote;
  out += text;
  out += quote;
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

void ExprList::appendDump(std::string& out, bool bracketed) const {
  for (const auto& item : items_) {
    out += bracketed ? " [" : " ";
    item->appendDump(out);
    if (bracketed)
      out += ']';
  }
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
  for (const BinaryOpNode* op : spine) {
    out += '(';
    out += operatorName(op->op());
    out += ' ';
  }
  leftmost->appendDump(out);
  for (auto it = spine.rbegin(); it != spine.rend(); ++it) {
    out += ' ';
    (*it)->right().appendDump(out);
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
  out += axisName(axis());
}

NodeTestNode::~NodeTestNode() = default;

LiteralNode::LiteralNode(const Token& token)
    : SyntaxNode(SyntaxKind::Literal, token), text_(tokenText(token)) {}

LiteralNode::~LiteralNode() = default;

void LiteralNode::appendDump(std::string& out) const {
  out += "(literal ";
  appendQuoted(out, text_.view());
  out += ')';
}

NumberNode::NumberNode(const Token& token)
    : SyntaxNode(SyntaxKind::Number, token), text_(tokenText(token)) {}

NumberNode::~NumberNode() = default;

void NumberNode::appendDump(std::string& out) const {
  out += "(number ";
  out += text_.view();
  out += ')';
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
  switch (nodeType()) {
  case TokenKind::NodeTypeComment:
    out += "(comment";
    break;
  case TokenKind::NodeTypeText:
    out += "(text";
    break;
  case TokenKind::NodeTypeProcessingInstruction:
    out += "(processing-instruction";
    if (target_) {
      out += ' ';
      appendQuoted(out, target_->text().view());
    }
    break;
  default:
    out += "(node";
    break;
  }
  out += ')';
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
  out += "(name ";
  appendName(out, name_);
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
  // "//" stands for /descendant-or-self::node()/: the dump spells it out.
  if (descendant_)
    out += "(step descendant-or-self (node)) ";
  out += "(step ";
  out += axisName(axis());
  out += ' ';
  nodeTest_->appendDump(out);
  predicates_.appendDump(out, /*bracketed=*/true);
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
  if (negated_)
    out += "(negate ";
  if (filter_ != nullptr && steps_.empty()) {
    filter_->appendDump(out);  // a filter expression alone is no path
  } else {
    out += "(path";
    if (absolute_)
      out += " /";
    if (filter_ != nullptr) {
      out += ' ';
      filter_->appendDump(out);
    }
    for (const auto& step : steps_) {
      out += ' ';
      step->appendDump(out);
    }
    out += ')';
  }
  if (negated_)
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
  out += "(call ";
  appendName(out, expandedName_);
  arguments_.appendDump(out, /*bracketed=*/false);
  predicates_.appendDump(out, /*bracketed=*/true);
  out += ')';
}

GroupNode::GroupNode(const Token& token, std::unique_ptr<SyntaxNode> inner, ExprList predicates)
    : SyntaxNode(SyntaxKind::Group, token), inner_(std::move(inner)),
      predicates_(std::move(predicates)) {}

GroupNode::~GroupNode() = default;

void GroupNode::appendDump(std::string& out) const {
  out += "(group ";
  inner_->appendDump(out);
  predicates_.appendDump(out, /*bracketed=*/true);
  out += ')';
}

VariableNode::VariableNode(const Token& token, const ExpandedName& name, ExprList predicates)
    : SyntaxNode(SyntaxKind::Variable, token), name_(name), predicates_(std::move(predicates)) {}

VariableNode::~VariableNode() = default;

void VariableNode::appendDump(std::string& out) const {
  out += "(variable ";
  appendName(out, name_);
  predicates_.appendDump(out, /*bracketed=*/true);
  out += ')';
}

}  // namespace ovra
