#include "tree/node_arena.h"

#include <cstdint>
#include <cstring>

namespace ovra {

void* NodeArena::allocateInNewBlock(std::size_t size, std::size_t align) {
  std::size_t blockSize = size + align > kBlockSize ? size + align : kBlockSize;
  // Not zero-filled: touching every page up front costs a third of a full parse, and
  // pages a small document never reaches are never touched.
  blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(blockSize));
  cursor_ = blocks_.back().get();
  room_ = blockSize;
  std::size_t padding = (0 - reinterpret_cast<std::uintptr_t>(cursor_)) & (align - 1);
  std::byte* result = cursor_ + padding;
  cursor_ = result + size;
  room_ -= size + padding;
  return result;
}

const char* NodeArena::copyText(std::string_view text) {
  char* copy = static_cast<char*>(allocate(text.size() + 1, 1));
  if (!text.empty())
    std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

}  // namespace ovra
