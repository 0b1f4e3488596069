#include "xslt/avt.h"

#include "base/exceptions.h"
#include "xpath/parser.h"
#include "xslt/functions.h"

#include <algorithm>
#include <cstdint>

namespace ovra {

static constexpr char kUnmatchedOpening[] = "Unmatched '{' in attribute value template";
static constexpr char kUnmatchedClosing[] = "Unmatched '}' in attribute value template";

// Braces are reported at their place in the value, as expression errors are.
[[noreturn]] static void failAt(std::string_view value, std::size_t position, const char* message) {
  XPathParseException error(std::int32_t(std::min<std::size_t>(position, INT32_MAX)), message);
  error.setExpression(value);
  throw error;
}

// The end of the expression that starts at begin: the first closing brace outside a
// string literal, or npos when the value ends first.
static std::size_t findExpressionEnd(std::string_view value, std::size_t begin) {
  char quote = 0;
  for (std::size_t i = begin; i < value.size(); ++i) {
    char c = value[i];
    if (quote != 0) {
      if (c == quote)
        quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '}') {
      return i;
    }
  }
  return std::string_view::npos;
}

AttributeValueTemplate::AttributeValueTemplate(std::string_view value,
                                               const Node* namespaceContext) {
  String literal;
  auto flushLiteral = [&] {
    if (!literal.empty()) {
      parts_.push_back(Part{std::move(literal), nullptr});
      literal = String();
    }
  };
  std::size_t i = 0;
  while (i < value.size()) {
    char c = value[i];
    if (c == '{') {
      if (i + 1 < value.size() && value[i + 1] == '{') {
        literal.append("{");
        i += 2;
        continue;
      }
      std::size_t end = findExpressionEnd(value, i + 1);
      if (end == std::string_view::npos)
        failAt(value, i, kUnmatchedOpening);
      flushLiteral();
      parts_.push_back(Part{String(), compileXPath(value.substr(i + 1, end - i - 1),
                                                   namespaceContext, xsltFunctions())});
      i = end + 1;
    } else if (c == '}') {
      // XSLT 1.0 section 7.6.2: outside an expression a closing brace comes doubled.
      if (i + 1 == value.size() || value[i + 1] != '}')
        failAt(value, i, kUnmatchedClosing);
      literal.append("}");
      i += 2;
    } else {
      std::size_t next = value.find_first_of("{}", i + 1);
      if (next == std::string_view::npos)
        next = value.size();
      literal.append(value.substr(i, next - i));
      i = next;
    }
  }
  flushLiteral();
}

AttributeValueTemplate::~AttributeValueTemplate() = default;

String AttributeValueTemplate::expand(const EvalContext& context) const {
  if (parts_.size() == 1 && !parts_[0].expr)
    return parts_[0].text;
  String result;
  for (const Part& part : parts_) {
    if (part.expr)
      result.append(stringOf(part.expr->evaluate(context)));
    else
      result.append(part.text);
  }
  return result;
}

}  // namespace ovra
