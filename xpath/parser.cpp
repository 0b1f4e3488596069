#include "xpath/parser.h"

#include "base/platform.h"

#include "base/exceptions.h"
#include "tree/qname.h"
#include "xpath/lexer.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <string>
#include <utility>
#include <vector>

namespace ovra {

namespace {

constexpr const char* kMissingBracket = "Missing ']' after predicate";
constexpr const char* kMissingFunctionParen = "Missing '(' after function";
constexpr const char* kMissingComma = "Missing ',' after function argument";
constexpr const char* kMissingArgument = "Missing function argument after ','";
constexpr const char* kMissingParen = "Missing ')' after expression";
constexpr const char* kOnlyProcessingInstructionArguments =
    "Only processing instruction node tests can have arguments";
constexpr const char* kProcessingInstructionLiteral =
    "Processing instruction node tests must be literals";
constexpr const char* kNodeTestParen = "Expecting ')' at end of nodetest";
constexpr const char* kDoubleSlashNeedsStep = "'//' must be followed by a path step";
constexpr const char* kSlashNeedsStep = "'/' must be followed by a path step";
constexpr const char* kMissingPath = "Missing path expression";
constexpr const char* kSyntaxError = "Syntax error in expression";
constexpr const char* kUncompilable = "Uncompilable expression";
constexpr const char* kNestedTooDeeply = "Expression nested too deeply";
constexpr const char* kUndeclaredPrefix = "Undeclared namespace prefix, ";

// ---- Operator precedence ----

// The binary operator codes of each level, from the loosest binding to the tightest.
struct PrecedenceLevel {
  TokenKind lowest;
  TokenKind highest;
};

constexpr PrecedenceLevel precedenceTable[] = {
    {TokenKind::Or, TokenKind::Or},          {TokenKind::And, TokenKind::And},
    {TokenKind::Equal, TokenKind::NotEqual}, {TokenKind::Less, TokenKind::GreaterOrEqual},
    {TokenKind::Minus, TokenKind::Plus},     {TokenKind::Multiply, TokenKind::Mod},
    {TokenKind::Union, TokenKind::Union},
};

int precedenceLevel(TokenKind op) {
  for (int level = 0; level < int(std::size(precedenceTable)); ++level) {
    if (op >= precedenceTable[level].lowest && op <= precedenceTable[level].highest)
      return level;
  }
  assert(false && "every binary operator has a precedence level");
  return 0;
}

// Arranges operands[0] operators[0] operands[1] ... into a tree: the loosest operator
// nearest the right end is the root, with both sides arranged the same way, so every
// operator is left-associative (1 - 2 - 3 is (1 - 2) - 3). Built with two stacks rather
// than by splitting recursively, so a long chain costs linear time and no stack depth.
std::unique_ptr<SyntaxNode> resolvePrecedence(std::vector<std::unique_ptr<SyntaxNode>> operands,
                                              const std::vector<TokenKind>& operators) {
  assert(operands.size() == operators.size() + 1);
  std::vector<std::unique_ptr<SyntaxNode>> built;
  std::vector<TokenKind> waiting;
  auto reduce = [&] {
    std::unique_ptr<SyntaxNode> right = std::move(built.back());
    built.pop_back();
    std::unique_ptr<SyntaxNode> left = std::move(built.back());
    built.pop_back();
    built.push_back(
        std::make_unique<BinaryOpNode>(waiting.back(), std::move(left), std::move(right)));
    waiting.pop_back();
  };
  built.push_back(std::move(operands[0]));
  for (std::size_t i = 0; i < operators.size(); ++i) {
    int level = precedenceLevel(operators[i]);
    // An operator binding at least as tightly to the left takes its right operand first.
    while (!waiting.empty() && precedenceLevel(waiting.back()) >= level)
      reduce();
    waiting.push_back(operators[i]);
    built.push_back(std::move(operands[i + 1]));
  }
  while (!waiting.empty())
    reduce();
  return std::move(built.back());
}

// ---- Parser ----

bool isSlash(TokenKind kind) {
  return kind == TokenKind::Slash || kind == TokenKind::DoubleSlash;
}

bool isNodeType(TokenKind kind) {
  return kind >= TokenKind::NodeTypeComment && kind <= TokenKind::NodeTypeNode;
}

std::string_view textOf(const Token& token) {
  return {token.text, std::size_t(token.length)};
}

// Consumes the token queue from the front. Errors leave at once; the unique_ptrs release
// whatever was built so far.
class Parser {
 public:
  Parser(TokenQueue& queue, const Node* namespaceContext, const FunctionRegistry& functions)
      : queue_(queue), namespaceContext_(namespaceContext), functions_(functions) {
    // The parse may take a quarter of the stack left: compiling, evaluating and freeing
    // the tree recurse as deep again. Frames differ a great deal between builds (a
    // sanitizer's are several times larger), so a fixed nesting limit alone cannot keep
    // every build off the end of a default thread stack.
    std::size_t usable = 0;
    if (std::uintptr_t bottom = findStackBottom(usable)) {
      std::uintptr_t here = stackPosition();
      if (here > bottom)
        stackLimit_ = here - (here - bottom) / 4;
    }
  }

  // Expr ::= PathExpr (BinaryOperator PathExpr)*
  // Null when the queue holds nothing but the end token.
  std::unique_ptr<SyntaxNode> parseExpr();

 private:
  // Counts the parentheses, brackets and argument lists open around the current
  // expression; one too many is reported at its opening token.
  class NestingGuard {
   public:
    NestingGuard(Parser& parser, const Token& opening) : parser_(parser) {
      if (++parser_.nesting_ > kMaxExpressionNesting || stackPosition() < parser_.stackLimit_) {
        --parser_.nesting_;
        throw XPathParseException(opening.position, kNestedTooDeeply);
      }
    }
    ~NestingGuard() { --parser_.nesting_; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;

   private:
    Parser& parser_;
  };

  std::unique_ptr<PathNode> parseUnary();
  std::unique_ptr<PathNode> parsePath(bool negated);
  std::unique_ptr<SyntaxNode> parseFilter();
  std::unique_ptr<StepNode> parseStep();
  std::unique_ptr<NodeTypeTestNode> parseNodeTypeTest();
  ExprList parseArguments();
  ExprList parsePredicates();
  // A prefix must be bound where the expression is written; xml always is.
  ExpandedName resolve(const Token& token) const {
    ExpandedName name =
        resolveQName(namespaceContext_, textOf(token), /*useDefaultNamespace=*/false);
    if (!name.prefix.empty() && name.namespaceURI.empty())
      throw XPathParseException(token.position, String(kUndeclaredPrefix).append(name.prefix));
    return name;
  }

  const Token& front() const { return queue_.front(); }
  bool at(TokenKind kind) const { return queue_.front().kind == kind; }

  TokenQueue& queue_;
  const Node* namespaceContext_;  // not owned; may be null
  const FunctionRegistry& functions_;
  int nesting_ = 0;
  std::uintptr_t stackLimit_ = 0;  // below it, nesting is refused as too deep
};

std::unique_ptr<SyntaxNode> Parser::parseExpr() {
  if (at(TokenKind::End))
    return nullptr;
  std::vector<std::unique_ptr<SyntaxNode>> operands;
  std::vector<TokenKind> operators;
  for (;;) {
    std::unique_ptr<PathNode> operand = parseUnary();
    if (!operand)
      throw XPathParseException(front().position, kMissingPath);
    operands.push_back(std::move(operand));
    if (!isBinaryOperator(front().kind))
      break;
    operators.push_back(queue_.pop().kind);
  }
  if (operands.size() == 1)
    return std::move(operands[0]);
  return resolvePrecedence(std::move(operands), operators);
}

// UnaryExpr ::= "-"* UnionExpr, where UnionExpr ::= PathExpr ("|" PathExpr)*
// Null when neither a filter nor a step is found. Each operand of an expression is parsed
// here, so a "-" after a path is a binary operator, not a negation of what follows. A
// negation takes in the whole union after it: - a | b is -(a | b).
std::unique_ptr<PathNode> Parser::parseUnary() {
  bool negated = false;
  while (at(TokenKind::Minus)) {
    queue_.pop();
    negated = !negated;  // two minus signs cancel
  }
  Token start = front();
  std::unique_ptr<PathNode> path = parsePath(negated);
  if (!negated || path == nullptr || !at(TokenKind::Union))
    return path;
  path->setNegated(false);
  std::vector<std::unique_ptr<SyntaxNode>> operands;
  std::vector<TokenKind> operators;
  operands.push_back(std::move(path));
  while (at(TokenKind::Union)) {
    operators.push_back(queue_.pop().kind);
    std::unique_ptr<PathNode> operand = parsePath(/*negated=*/false);
    if (!operand)
      throw XPathParseException(front().position, kMissingPath);
    operands.push_back(std::move(operand));
  }
  return std::make_unique<PathNode>(start, std::vector<std::unique_ptr<StepNode>>(),
                                    resolvePrecedence(std::move(operands), operators),
                                    /*negated=*/true, /*absolute=*/false);
}

// PathExpr ::= FilterExpr | FilterExpr ("/" | "//") Steps | ["/" | "//"] Steps | "/"
// Steps    ::= Step (("/" | "//") Step)*
// Null when neither a filter nor a step is found.
std::unique_ptr<PathNode> Parser::parsePath(bool negated) {
  std::unique_ptr<SyntaxNode> filter = parseFilter();
  std::vector<std::unique_ptr<StepNode>> steps;
  bool absolute = false;
  Token pathToken = front();

  if (!isSlash(pathToken.kind)) {
    if (filter)
      return std::make_unique<PathNode>(pathToken, std::move(steps), std::move(filter), negated,
                                        false);
    std::unique_ptr<StepNode> step = parseStep();
    if (!step)
      return nullptr;
    steps.push_back(std::move(step));
  } else {
    queue_.pop();
    std::unique_ptr<StepNode> step = parseStep();
    if (step) {
      if (pathToken.kind == TokenKind::DoubleSlash)
        step->setDescendant();
      steps.push_back(std::move(step));
    } else if (pathToken.kind == TokenKind::DoubleSlash) {
      throw XPathParseException(pathToken.position, kDoubleSlashNeedsStep);
    } else if (filter) {
      // Only "/" alone stands for the root; after a filter it needs a step like anywhere.
      throw XPathParseException(pathToken.position, kSlashNeedsStep);
    }
    // After a filter the steps continue from the filter's nodes, not from the root.
    absolute = !filter;
  }

  while (isSlash(front().kind)) {
    Token slash = queue_.pop();
    std::unique_ptr<StepNode> step = parseStep();
    if (!step)
      throw XPathParseException(slash.position, slash.kind == TokenKind::DoubleSlash
                                                    ? kDoubleSlashNeedsStep
                                                    : kSlashNeedsStep);
    if (slash.kind == TokenKind::DoubleSlash)
      step->setDescendant();
    steps.push_back(std::move(step));
    pathToken = slash;
  }
  return std::make_unique<PathNode>(pathToken, std::move(steps), std::move(filter), negated,
                                    absolute);
}

// FilterExpr ::= Literal | Number | VariableReference Predicates
//              | FunctionName "(" Arguments ")" Predicates | "(" Expr ")" Predicates
// Null when the front token starts none of these (nothing is consumed then).
std::unique_ptr<SyntaxNode> Parser::parseFilter() {
  switch (front().kind) {
  case TokenKind::Literal:
    // No predicates: a literal followed by "[" is left for the caller to reject.
    return std::make_unique<LiteralNode>(queue_.pop());
  case TokenKind::Number:
    return std::make_unique<NumberNode>(queue_.pop());
  case TokenKind::VariableReference: {
    Token token = queue_.pop();
    ExprList predicates = parsePredicates();
    return std::make_unique<VariableNode>(token, resolve(token), std::move(predicates));
  }
  case TokenKind::FunctionName: {
    Token token = queue_.pop();
    ExpandedName name = resolve(token);
    const FunctionEntry* entry = functions_.find(name.namespaceURI.view(), name.localName.view());
    ExprList arguments = parseArguments();
    ExprList predicates = parsePredicates();
    return std::make_unique<FunctionCallNode>(token, name, entry, std::move(arguments),
                                              std::move(predicates));
  }
  case TokenKind::LeftParen: {
    Token token = queue_.pop();
    std::unique_ptr<SyntaxNode> inner;
    {
      NestingGuard guard(*this, token);
      inner = parseExpr();
    }
    if (!at(TokenKind::RightParen))
      throw XPathParseException(front().position, kMissingParen);
    queue_.pop();
    ExprList predicates = parsePredicates();
    return std::make_unique<GroupNode>(token, std::move(inner), std::move(predicates));
  }
  default:
    return nullptr;
  }
}

// Arguments ::= "(" [Expr ("," Expr)*] ")"
ExprList Parser::parseArguments() {
  if (!at(TokenKind::LeftParen))
    throw XPathParseException(front().position, kMissingFunctionParen);
  NestingGuard guard(*this, queue_.pop());
  ExprList arguments;
  while (!at(TokenKind::RightParen)) {
    // Null only at the end of the expression, which the checks below then report.
    if (std::unique_ptr<SyntaxNode> argument = parseExpr())
      arguments.append(std::move(argument));
    if (at(TokenKind::RightParen))
      break;
    if (!at(TokenKind::Comma))
      throw XPathParseException(front().position, kMissingComma);
    queue_.pop();
    if (at(TokenKind::RightParen))
      throw XPathParseException(front().position, kMissingArgument);
  }
  queue_.pop();
  return arguments;
}

// Predicates ::= ("[" Expr "]")*
ExprList Parser::parsePredicates() {
  ExprList predicates;
  while (at(TokenKind::LeftBracket)) {
    NestingGuard guard(*this, queue_.pop());
    std::unique_ptr<SyntaxNode> predicate = parseExpr();
    if (!at(TokenKind::RightBracket))
      throw XPathParseException(front().position, kMissingBracket);
    queue_.pop();
    predicates.append(std::move(predicate));
  }
  return predicates;
}

// Step ::= "." | ".." | [AxisName "::" | "@"] NodeTest Predicates
// Null, with nothing consumed, when no node test follows.
std::unique_ptr<StepNode> Parser::parseStep() {
  Token first = front();
  if (first.kind == TokenKind::Dot || first.kind == TokenKind::DotDot) {
    // Abbreviated steps take no predicates.
    queue_.pop();
    return std::make_unique<StepNode>(first, std::make_unique<AxisNode>(first),
                                      std::make_unique<NodeTypeTestNode>(first, nullptr),
                                      ExprList());
  }

  std::size_t mark = queue_.mark();
  std::unique_ptr<AxisNode> axis;
  if (isAxis(first.kind)) {
    queue_.pop();
    queue_.pop();  // the "::" the lexer saw behind the axis name
    axis = std::make_unique<AxisNode>(first);
  } else if (first.kind == TokenKind::At) {
    queue_.pop();
    axis = std::make_unique<AxisNode>(first);
  }

  std::unique_ptr<NodeTestNode> nodeTest;
  if (at(TokenKind::NameTest)) {
    Token name = queue_.pop();
    nodeTest = std::make_unique<NameTestNode>(name, resolve(name));
  } else if (isNodeType(front().kind)) {
    nodeTest = parseNodeTypeTest();
  }
  if (!nodeTest) {
    queue_.rewind(mark);
    return nullptr;
  }
  ExprList predicates = parsePredicates();
  return std::make_unique<StepNode>(first, std::move(axis), std::move(nodeTest),
                                    std::move(predicates));
}

// NodeTypeTest ::= NodeType "(" ")" | "processing-instruction" "(" Literal ")"
// All three complaints point at the token just after "(".
std::unique_ptr<NodeTypeTestNode> Parser::parseNodeTypeTest() {
  Token type = queue_.pop();
  if (!at(TokenKind::LeftParen)) {
    // Cannot happen with the lexer's tokens: node types are only recognised before "(".
    queue_.pushFront(type);
    return nullptr;
  }
  queue_.pop();
  std::unique_ptr<LiteralNode> target;
  if (!at(TokenKind::RightParen)) {
    Token argument = front();
    if (type.kind != TokenKind::NodeTypeProcessingInstruction)
      throw XPathParseException(argument.position, kOnlyProcessingInstructionArguments);
    if (argument.kind != TokenKind::Literal)
      throw XPathParseException(argument.position, kProcessingInstructionLiteral);
    target = std::make_unique<LiteralNode>(queue_.pop());
    if (!at(TokenKind::RightParen))
      throw XPathParseException(argument.position, kNodeTestParen);
  }
  queue_.pop();
  return std::make_unique<NodeTypeTestNode>(type, std::move(target));
}

// The offset of the first byte that does not begin a well-formed UTF-8 sequence (no
// overlong forms, no surrogates, nothing above U+10FFFF), or the text's size. Such bytes
// can come only from the command line, since parsed documents hold valid UTF-8; taken as
// name characters they would match nothing and, in a literal, reach the output broken.
std::size_t invalidUtf8Offset(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length;
    unsigned char low = 0x80, high = 0xbf;  // range of the second byte
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xc2 && lead <= 0xdf) {
      length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
      length = 3;
      if (lead == 0xe0)
        low = 0xa0;
      else if (lead == 0xed)
        high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
      length = 4;
      if (lead == 0xf0)
        low = 0x90;
      else if (lead == 0xf4)
        high = 0x8f;
    } else {
      return i;
    }
    if (text.size() - i < length)
      return i;
    for (std::size_t k = 1; k < length; ++k) {
      auto byte = static_cast<unsigned char>(text[i + k]);
      if (byte < (k == 1 ? low : 0x80) || byte > (k == 1 ? high : 0xbf))
        return i;
    }
    i += length;
  }
  return i;
}

[[noreturn]] void throwSyntaxErrorAt(std::size_t offset) {
  throw XPathParseException(std::int32_t(std::min<std::size_t>(offset, INT32_MAX)), kSyntaxError);
}

}  // namespace

std::unique_ptr<SyntaxNode> parseXPath(std::string_view text, const Node* namespaceContext,
                                       const FunctionRegistry& functions) {
  try {
    // The tokens point into this terminated copy; the tree copies what it keeps of them.
    std::string buffer(text);
    // Tokenising stops at a malformed byte as at any character it cannot take.
    buffer.resize(invalidUtf8Offset(buffer));
    TokenQueue queue;
    const char* stop = tokenize(buffer.c_str(), queue);
    if (stop != buffer.c_str() + buffer.size())
      throwSyntaxErrorAt(std::size_t(stop - buffer.c_str()));
    if (buffer.size() != text.size())
      throwSyntaxErrorAt(buffer.size());

    Parser parser(queue, namespaceContext, functions);
    std::unique_ptr<SyntaxNode> root = parser.parseExpr();
    if (queue.size() > 1)
      throw XPathParseException(queue.front().position, kSyntaxError);
    if (!root)
      throw XPathParseException(queue.front().position, kUncompilable);
    return root;
  } catch (XSLException& error) {
    // The caller knows the text only as a whole; the message shows it with the caret.
    error.setExpression(text);
    throw;
  }
}

}  // namespace ovra
