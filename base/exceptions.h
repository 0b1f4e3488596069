// Input errors travel as exceptions carrying their finished message. Only the driver's
// mode loops and embedding entry points catch XSLException; only the transformation
// catches TerminateException, which stands outside that tree on purpose.
#pragma once

#include "base/string.h"
#include "xpath/token.h"

#include <cstdint>

namespace ovra {

class Node;

// printf-style formatting into a String; never truncates.
String formatMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

class XSLException {
 public:
  virtual ~XSLException();
  // The final text of the report.
  virtual String message() const = 0;

 protected:
  explicit XSLException(String message) : message_(std::move(message)) {}
  XSLException(const XSLException&) = default;
  XSLException& operator=(const XSLException&) = default;

  String message_;
};

// A source or stylesheet document cannot be opened or is not well-formed.
class DocumentParseException : public XSLException {
 public:
  explicit DocumentParseException(String message);
  String message() const override;
};

// A malformed XPath expression or match pattern. The location (" at %d", or
// "  at end of expression" for the end token) is joined to the text at construction.
class XPathParseException : public XSLException {
 public:
  XPathParseException(const Token& token, const ConstString& text);
  String message() const override;
};

// An XPath expression failed while being compiled or evaluated; located like a parse error.
class EvaluateException : public XSLException {
 public:
  EvaluateException(const Token& token, const ConstString& text);
  String message() const override;
};

// An invalid stylesheet construct: prints "%s on line %d in %s\n" with the line and file
// name of the stylesheet node it is about.
class StylesheetException : public XSLException {
 public:
  StylesheetException(const Node* node, const ConstString& text);
  StylesheetException(const Node* node, const XSLException& cause);
  String message() const override;

  const String& fileName() const { return fileName_; }
  std::int32_t line() const { return line_; }

 private:
  String fileName_;
  std::int32_t line_ = 0;
};

// The result cannot be written: its file cannot be created, or a write to it failed.
class OutputException : public XSLException {
 public:
  explicit OutputException(String message);
  String message() const override;
};

// Thrown by xsl:message terminate="yes"; ends the run quietly.
class TerminateException {};

// The location text of an XPath error at this token.
String locateToken(const Token& token, const ConstString& text);

}  // namespace ovra
