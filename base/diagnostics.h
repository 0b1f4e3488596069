// Warnings: reports that do not stop the run and do not change the exit status. Every
// layer reports through warning(); where the text goes is chosen by whoever runs the
// work (the program writes standard error, an embedding program may collect them), per
// thread, so that concurrent transformations keep their reports apart.
#pragma once

#include "base/string.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace ovra {

// Where a report is about. An empty file or a zero line means unknown.
struct SourceLocation {
  String file;
  std::int32_t line = 0;
  std::int32_t column = 0;
};

// How a report begins: "FILE:LINE:COLUMN: " with the parts that are known, "FILE: "
// without a line, or "ovra: " when the file is not known either.
String formatLocation(const SourceLocation& where);

class DiagnosticSink {
 public:
  DiagnosticSink() = default;
  DiagnosticSink(const DiagnosticSink&) = delete;
  DiagnosticSink& operator=(const DiagnosticSink&) = delete;
  virtual ~DiagnosticSink();
  virtual void warning(const SourceLocation& where, std::string_view text) = 0;
  // A verbose report (see note()); the default drops it.
  virtual void note(std::string_view text);
  // The text of an xsl:message, ending with a line end; the default writes it to the
  // thread's report stream.
  virtual void message(std::string_view text);
};

// Reports a warning to this thread's sink (standard error when none is installed).
void warning(const SourceLocation& where, std::string_view text);

// Verbose reports, asked for with the program's -v: what is loaded from where. Off until
// setVerbose(true), for the whole process. note() costs a test of the flag when off.
void setVerbose(bool on);
bool isVerbose();
// Reports text to this thread's sink (standard error, "ovra: TEXT", when none is
// installed) when verbose reports are on.
void note(std::string_view text);

// Reports the text of an xsl:message to this thread's sink, or writes it to the thread's
// report stream.
void message(std::string_view text);

// Makes stream (not owned) where this thread's reports go when no sink takes them, for
// the lifetime of the guard, instead of standard error: a batch keeps each document's
// reports together this way.
class ScopedReportStream {
 public:
  explicit ScopedReportStream(std::FILE* stream);
  ScopedReportStream(const ScopedReportStream&) = delete;
  ScopedReportStream& operator=(const ScopedReportStream&) = delete;
  ~ScopedReportStream();

 private:
  std::FILE* previous_;
};

// Installs sink for this thread for the lifetime of the guard, restoring the previous one.
class ScopedDiagnosticSink {
 public:
  explicit ScopedDiagnosticSink(DiagnosticSink* sink);
  ScopedDiagnosticSink(const ScopedDiagnosticSink&) = delete;
  ScopedDiagnosticSink& operator=(const ScopedDiagnosticSink&) = delete;
  ~ScopedDiagnosticSink();

 private:
  DiagnosticSink* previous_;
};

}  // namespace ovra
