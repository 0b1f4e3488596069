#include "base/exceptions.h"

#include "tree/document.h"
#include "tree/node.h"

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

XSLException::~XSLException() = default;

DocumentParseException::DocumentParseException(String message) : XSLException(std::move(message)) {}

String DocumentParseException::message() const {
  return message_;
}

OutputException::OutputException(String message) : XSLException(std::move(message)) {}

String OutputException::message() const {
  return message_;
}

String locateToken(const Token& token, const ConstString& text) {
  String result(text);
  if (token.kind == TokenKind::End)
    result.append("  at end of expression");
  else
    result.append(formatMessage(" at %d", token.position));
  return result;
}

XPathParseException::XPathParseException(const Token& token, const ConstString& text)
    : XSLException(locateToken(token, text)) {}

String XPathParseException::message() const {
  return message_;
}

EvaluateException::EvaluateException(const Token& token, const ConstString& text)
    : XSLException(locateToken(token, text)) {}

String EvaluateException::message() const {
  return message_;
}

static String fileNameOf(const Node* node) {
  if (node == nullptr)
    return String();
  const Document* document = node->document();
  return document ? document->fileName() : String();
}

StylesheetException::StylesheetException(const Node* node, const ConstString& text)
    : XSLException(String(text)), fileName_(fileNameOf(node)),
      line_(node ? node->lineNumber() : 0) {}

StylesheetException::StylesheetException(const Node* node, const XSLException& cause)
    : StylesheetException(node, cause.message()) {}

String StylesheetException::message() const {
  return formatMessage("%s on line %d in %s\n", message_.c_str(), line_, fileName_.c_str());
}

}  // namespace ovra
