// A warning sink for tests: installed for its lifetime, it gathers every warning of the
// thread as "TEXT on line N in FILE\n", in the order reported.
#pragma once

#include "base/diagnostics.h"

#include <string>
#include <string_view>

namespace ovra {

class CollectedWarnings : public DiagnosticSink {
 public:
  CollectedWarnings() : installed_(this) {}
  void warning(const SourceLocation& where, std::string_view text) override {
    text_ += text;
    text_ += " on line " + std::to_string(where.line) + " in ";
    text_ += where.file.view();
    text_ += '\n';
  }
  const std::string& text() const { return text_; }
  // The warnings so far, forgotten.
  std::string take() { return std::exchange(text_, std::string()); }

 private:
  std::string text_;
  ScopedDiagnosticSink installed_;
};

}  // namespace ovra
