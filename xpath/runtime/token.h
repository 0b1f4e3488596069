// The XPath lexer's token record and its integer codes, which the runtime shares: the
// axis codes select the axis iterators, the operator codes the comparisons, and a
// function call's token locates its errors. A leaf header: it includes nothing of ours.
#pragma once

#include <cstdint>

namespace ovra {

// Codes not listed are never produced. The operators are exactly 3 to 19; the binary
// operators the parser accepts between operands are 6 to 19. The axis codes 44 to 56
// also select the axis iterator.
enum class TokenKind : std::int32_t {
  None = 0,
  End = 1,                     // appended after the last token
  Slash = 3,                   // "/"
  DoubleSlash = 4,             // "//"
  Union = 6,                   // "|"
  Multiply = 7,                // "*" (only after the post-pass)
  Div = 8,                     // "div"
  Mod = 9,                     // "mod"
  Minus = 10,                  // "-"
  Plus = 11,                   // "+"
  Less = 12,                   // "<"
  LessOrEqual = 13,            // "<="
  Greater = 14,                // ">"
  GreaterOrEqual = 15,         // ">="
  Equal = 16,                  // "="
  NotEqual = 17,               // "!="
  And = 18,                    // "and"
  Or = 19,                     // "or"
  LeftParen = 21,              // "("
  RightParen = 22,             // ")"
  Dot = 23,                    // "."
  DotDot = 24,                 // ".."
  LeftBracket = 25,            // "["
  RightBracket = 26,           // "]"
  At = 27,                     // "@"
  Comma = 28,                  // ","
  DoubleColon = 29,            // "::"
  NodeTypeComment = 31,        // "comment" before "("
  NodeTypeText = 32,           // "text" before "("
  NodeTypeProcessingInstruction = 33,  // "processing-instruction" before "("
  NodeTypeNode = 34,           // "node" before "("
  NCName = 36,                 // intermediate only; never queued
  QName = 37,                  // intermediate only; never queued
  VariableReference = 38,      // "$" QName; text excludes the "$"
  NameTest = 39,               // "*", NCName ":" "*", or QName
  Literal = 40,                // text excludes the quotes
  Number = 41,                 // digits ["." digits] | "." digits
  FunctionName = 42,           // a name test followed by "(" that is not a node type
  AxisAncestor = 44,
  AxisAncestorOrSelf = 45,
  AxisAttribute = 46,
  AxisChild = 47,
  AxisDescendant = 48,
  AxisDescendantOrSelf = 49,
  AxisFollowing = 50,
  AxisFollowingSibling = 51,
  AxisNamespace = 52,
  AxisParent = 53,
  AxisPreceding = 54,
  AxisPrecedingSibling = 55,
  AxisSelf = 56,
};

static_assert(int(TokenKind::AxisSelf) - int(TokenKind::AxisAncestor) == 12);

// Copied by value. text points into the expression buffer (not a copy, not terminated).
// Tokens that the post-pass turns into operators, node types or axes carry no text and
// length 0.
struct Token {
  TokenKind kind = TokenKind::None;
  const char* text = nullptr;
  std::int32_t length = 0;
  // The byte offset of the token in the expression (the end token: of the end), where
  // error messages put their caret.
  std::int32_t position = 0;
};

inline bool isOperator(TokenKind kind) {
  return int(kind) >= 3 && int(kind) <= 19;
}
inline bool isBinaryOperator(TokenKind kind) {
  return int(kind) >= 6 && int(kind) <= 19;
}
inline bool isAxis(TokenKind kind) {
  return int(kind) >= 44 && int(kind) <= 56;
}

}  // namespace ovra
