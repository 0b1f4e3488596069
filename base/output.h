// The character sink that text buffers, values and the serializer write to. A leaf
// header: it includes nothing of ours, so every floor can write to an Output.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace ovra {

class Output {
 public:
  Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  virtual ~Output();

  // Writes text as character data (the serializer escapes it as its state requires).
  virtual void write(const char* text, std::size_t length) = 0;
  // Hands buffered bytes on; in-memory sinks do nothing.
  virtual void flush() = 0;

  void write(std::string_view text) { write(text.data(), text.size()); }
  void write(const char* text) {
    if (text != nullptr)
      write(text, std::strlen(text));
  }
};

}  // namespace ovra
