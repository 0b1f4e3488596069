// An Output that collects text in memory: string values, concatenations, fragments.
#pragma once

#include "base/output.h"
#include "base/string.h"

#include <cstddef>
#include <memory>
#include <string_view>

namespace ovra {

// Starts at 64 bytes and doubles until an append fits.
class TextBuffer : public Output {
 public:
  static constexpr std::size_t kInitialCapacity = 64;

  TextBuffer() = default;
  ~TextBuffer() override;

  void write(const char* text, std::size_t length) override;
  void flush() override {}
  using Output::write;

  std::string_view view() const { return {data_.get(), size_}; }
  std::size_t size() const { return size_; }
  String toString() const { return String(view()); }
  void clear() { size_ = 0; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace ovra
