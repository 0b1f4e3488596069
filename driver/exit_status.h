// The exit statuses of the ovra program, one per class of failure, so that a script can
// tell them apart. Where xsltproc documents a status for the same failure, the number is
// xsltproc's.
#pragma once

namespace ovra {

enum class ExitStatus : int {
  Success = 0,
  NoArguments = 1,           // nothing after the program name
  UsageError = 2,            // a word is missing, extra or malformed
  UnknownOption = 3,         // a word starting with '-' that is no option
  StylesheetUnreadable = 4,  // a stylesheet module cannot be read or is not well-formed
  StylesheetError = 5,       // the stylesheet (or -p expression) does not compile
  DocumentError = 6,         // a source document cannot be read or is not well-formed
  RuntimeError = 9,          // the transformation or evaluation failed
  Terminated = 10,           // xsl:message terminate="yes" ended the transformation
  OutputError = 11,          // the result cannot be written
};

inline int toInt(ExitStatus status) {
  return static_cast<int>(status);
}

}  // namespace ovra
