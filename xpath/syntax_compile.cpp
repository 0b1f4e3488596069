// Compilation of syntax trees into expressions and pattern matchers.
#include "base/exceptions.h"
#include "xpath/parser.h"
#include "xpath/syntax.h"

namespace ovra {

namespace {
constexpr const char* kInvalidMatchPattern = "Invalid match pattern";
}  // namespace

// Placeholder until expressions can be compiled: nothing is produced.
std::unique_ptr<Expr> SyntaxNode::compile() const {
  return nullptr;
}

std::unique_ptr<PatternMatcher> SyntaxNode::compilePattern() const {
  throw XPathParseException(token(), kInvalidMatchPattern);
}

std::unique_ptr<Expr> compileXPath(std::string_view text, const Node* namespaceContext) {
  return parseXPath(text, namespaceContext)->compile();
}

}  // namespace ovra
