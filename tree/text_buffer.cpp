#include "tree/text_buffer.h"

#include <cstring>

namespace ovra {

TextBuffer::~TextBuffer() = default;

void TextBuffer::write(const char* text, std::size_t length) {
  if (size_ + length > capacity_) {
    std::size_t capacity = capacity_ == 0 ? kInitialCapacity : capacity_;
    while (size_ + length > capacity)
      capacity *= 2;
    auto grown = std::make_unique<char[]>(capacity);
    if (size_ != 0)
      std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = capacity;
  }
  if (length != 0)
    std::memcpy(data_.get() + size_, text, length);
  size_ += length;
}

}  // namespace ovra
