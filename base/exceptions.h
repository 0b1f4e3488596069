// Input errors travel as exceptions carrying where they are (a SourceLocation, and for
// an XPath error the offset in the expression) and what is wrong. Only the driver's mode
// loops and embedding entry points catch XSLException; only the transformation catches
// TerminateException, which stands outside that tree on purpose.
#pragma once

#include "base/diagnostics.h"
#include "base/string.h"

#include <cstdint>
#include <string_view>

namespace ovra {

// printf-style formatting into a String; never truncates.
String formatMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

class XSLException {
 public:
  virtual ~XSLException();

  // The report as it is printed: "FILE:LINE:COLUMN: error: TEXT" with the parts of the
  // location that are known ("ovra: error: TEXT" when none is), then, for an error in an
  // XPath expression whose text is known, the expression on a line of its own and a
  // caret under the offending place. No final line end.
  String message() const;

  // What is wrong, without the location.
  const String& text() const { return text_; }
  const SourceLocation& location() const { return location_; }
  // The offset of the error in bytes from the start of expression(); -1: not known.
  std::int32_t position() const { return position_; }
  // The XPath expression the error is in; empty when not known (or not XPath).
  const String& expression() const { return expression_; }

  // Record where the error is and the expression it is in, unless known already: the
  // innermost code that knows tells it, outer code cannot replace it.
  void setLocation(const SourceLocation& where);
  void setExpression(std::string_view expression);

 protected:
  XSLException(SourceLocation where, String text, std::int32_t position = -1);
  XSLException(const XSLException&) = default;
  XSLException& operator=(const XSLException&) = default;

 private:
  SourceLocation location_;
  String text_;
  std::int32_t position_ = -1;
  String expression_;
};

// A source or stylesheet document cannot be opened or is not well-formed.
class DocumentParseException : public XSLException {
 public:
  // Where the file is not readable at all, the text names it.
  explicit DocumentParseException(String text);
  DocumentParseException(SourceLocation where, String text);
};

// A malformed XPath expression or match pattern, at a byte offset in its text (the
// end of the text for an error found at its end).
class XPathParseException : public XSLException {
 public:
  XPathParseException(std::int32_t position, const ConstString& text);
};

// An XPath expression failed while being compiled or evaluated; located like a parse
// error (-1 where no place in the text is to blame).
class EvaluateException : public XSLException {
 public:
  EvaluateException(std::int32_t position, const ConstString& text);
};

// An invalid stylesheet construct, at the stylesheet element or attribute it is about.
class StylesheetException : public XSLException {
 public:
  StylesheetException(SourceLocation where, const ConstString& text);
  // The cause's text, offset and expression, at where unless the cause knows its own
  // file (an error inside another document).
  StylesheetException(SourceLocation where, const XSLException& cause);
};

// The result cannot be written: its file cannot be created, or a write to it failed.
class OutputException : public XSLException {
 public:
  explicit OutputException(String text);
};

// Thrown by xsl:message terminate="yes"; ends the run quietly.
class TerminateException {};

}  // namespace ovra
