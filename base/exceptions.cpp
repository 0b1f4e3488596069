#include "base/exceptions.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace ovra {

String formatMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  int needed = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (needed <= 0) {
    va_end(args);
    return String();
  }
  std::vector<char> buffer(std::size_t(needed) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  va_end(args);
  return String(buffer.data(), needed);
}

XSLException::XSLException(SourceLocation where, String text, std::int32_t position)
    : location_(std::move(where)), text_(std::move(text)), position_(position) {}

XSLException::~XSLException() = default;

void XSLException::setLocation(const SourceLocation& where) {
  if (location_.file.empty())
    location_ = where;
}

void XSLException::setExpression(std::string_view expression) {
  if (expression_.empty())
    expression_ = String(expression);
}

// The expression on one line (line ends and tabs would break the caret's alignment),
// and the caret under the character that starts at byte `position`: each character of
// UTF-8 counts once, whatever its length in bytes.
static void appendCaret(String& out, const String& expression, std::int32_t position) {
  out.append("\n  ");
  std::string_view text = expression.view();
  String line;
  for (char c : text)
    line.append(c == '\n' || c == '\r' || c == '\t' ? std::string_view(" ")
                                                    : std::string_view(&c, 1));
  out.append(line);
  if (position < 0)
    return;
  out.append("\n  ");
  std::size_t end = std::min<std::size_t>(std::size_t(position), text.size());
  for (std::size_t i = 0; i < end; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
      out.append(" ");
  }
  out.append("^");
}

String XSLException::message() const {
  String out = formatLocation(location_);
  out.append("error: ");
  out.append(text_);
  if (!expression_.empty())
    appendCaret(out, expression_, position_);
  return out;
}

DocumentParseException::DocumentParseException(String text)
    : XSLException(SourceLocation(), std::move(text)) {}

DocumentParseException::DocumentParseException(SourceLocation where, String text)
    : XSLException(std::move(where), std::move(text)) {}

XPathParseException::XPathParseException(std::int32_t position, const ConstString& text)
    : XSLException(SourceLocation(), String(text), position) {}

EvaluateException::EvaluateException(std::int32_t position, const ConstString& text)
    : XSLException(SourceLocation(), String(text), position) {}

StylesheetException::StylesheetException(SourceLocation where, const ConstString& text)
    : XSLException(std::move(where), String(text)) {}

StylesheetException::StylesheetException(SourceLocation where, const XSLException& cause)
    : XSLException(cause.location().file.empty() ? std::move(where) : cause.location(),
                   cause.text(), cause.position()) {
  setExpression(cause.expression().view());
}

OutputException::OutputException(String text) : XSLException(SourceLocation(), std::move(text)) {}

}  // namespace ovra
