// Bump allocator for one Document's nodes and texts, freed all at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace ovra {

// A request bigger than a block gets a block of its own. Destructors of what is made
// here never run: nodes in an arena hold only pointers, integers and interned names.
class NodeArena {
 public:
  static constexpr std::size_t kBlockSize = 262144;

  NodeArena() = default;
  ~NodeArena();
  NodeArena(const NodeArena&) = delete;
  NodeArena& operator=(const NodeArena&) = delete;

  template <class T, class... Args>
  T* make(Args&&... args) {
    return ::new (allocate(sizeof(T), alignof(T))) T(std::forward<Args>(args)...);
  }
  // A NUL-terminated copy.
  const char* copyText(std::string_view text);
  // align is a power of two.
  void* allocate(std::size_t size, std::size_t align) {
    std::size_t padding = (0 - reinterpret_cast<std::uintptr_t>(cursor_)) & (align - 1);
    if (cursor_ == nullptr || room_ < size + padding)
      return allocateInNewBlock(size, align);
    std::byte* result = cursor_ + padding;
    cursor_ = result + size;
    room_ -= size + padding;
    return result;
  }
  std::size_t blockCount() const { return blocks_.size(); }

 private:
  void* allocateInNewBlock(std::size_t size, std::size_t align);

  struct Block {
    std::byte* data;
    std::size_t size;
    bool mapped;  // from mmap rather than the heap
  };
  std::vector<Block> blocks_;
  std::size_t allocatedBytes_ = 0;
  std::byte* cursor_ = nullptr;
  std::size_t room_ = 0;
};

}  // namespace ovra
