#include "base/diagnostics.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace ovra {

namespace {

thread_local DiagnosticSink* currentSink = nullptr;
thread_local std::FILE* currentStream = nullptr;  // null: standard error

std::FILE* reportStream() {
  return currentStream != nullptr ? currentStream : stderr;
}
std::atomic<bool> verbose{false};

// "FILE:LINE:COLUMN: warning: TEXT".
void writeToStandardError(const SourceLocation& where, std::string_view text) {
  String line = formatLocation(where);
  line.append("warning: ");
  line.append(text);
  line.append("\n");
  std::fwrite(line.c_str(), 1, line.length(), reportStream());
}

}  // namespace

String formatLocation(const SourceLocation& where) {
  if (where.file.empty())
    return String("ovra: ");
  String text(where.file);
  text.append(":");
  if (where.line > 0) {
    text.append(std::to_string(where.line));
    text.append(":");
    if (where.column > 0) {
      text.append(std::to_string(where.column));
      text.append(":");
    }
  }
  text.append(" ");
  return text;
}

DiagnosticSink::~DiagnosticSink() = default;

void DiagnosticSink::note(std::string_view /*text*/) {}

static void writeMessage(std::string_view text) {
  std::FILE* stream = reportStream();
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

void DiagnosticSink::message(std::string_view text) {
  writeMessage(text);
}

void message(std::string_view text) {
  if (currentSink != nullptr)
    currentSink->message(text);
  else
    writeMessage(text);
}

ScopedReportStream::ScopedReportStream(std::FILE* stream) : previous_(currentStream) {
  currentStream = stream;
}

ScopedReportStream::~ScopedReportStream() {
  currentStream = previous_;
}

void setVerbose(bool on) {
  verbose.store(on, std::memory_order_relaxed);
}

bool isVerbose() {
  return verbose.load(std::memory_order_relaxed);
}

void note(std::string_view text) {
  if (!isVerbose())
    return;
  if (currentSink != nullptr) {
    currentSink->note(text);
    return;
  }
  String line("ovra: ");
  line.append(text);
  line.append("\n");
  std::fwrite(line.c_str(), 1, line.length(), reportStream());
}

void warning(const SourceLocation& where, std::string_view text) {
  if (currentSink != nullptr)
    currentSink->warning(where, text);
  else
    writeToStandardError(where, text);
}

ScopedDiagnosticSink::ScopedDiagnosticSink(DiagnosticSink* sink) : previous_(currentSink) {
  currentSink = sink;
}

ScopedDiagnosticSink::~ScopedDiagnosticSink() {
  currentSink = previous_;
}

}  // namespace ovra
