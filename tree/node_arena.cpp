#include "tree/node_arena.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>

namespace ovra {

namespace {

// Once a document has grown past kHugeAfter bytes, blocks are 2 MB huge pages where the
// system offers them: a large parse spends more time in page faults than in expat, and a
// huge page is one fault instead of 512. Small documents keep small heap blocks, so they
// touch and hold no more memory than they use.
constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t kHugeAfter = std::size_t(4) << 20;

std::byte* mapHugeBlock() {
  // Twice the size, so a 2 MB aligned stretch can be cut out of it.
  void* raw = ::mmap(nullptr, 2 * kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                     -1, 0);
  if (raw == MAP_FAILED)
    return nullptr;
  auto start = reinterpret_cast<std::uintptr_t>(raw);
  std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
  if (aligned > start)
    ::munmap(raw, aligned - start);
  std::uintptr_t end = start + 2 * kHugePage;
  if (end > aligned + kHugePage)
    ::munmap(reinterpret_cast<void*>(aligned + kHugePage), end - aligned - kHugePage);
  ::madvise(reinterpret_cast<void*>(aligned), kHugePage, MADV_HUGEPAGE);
  return reinterpret_cast<std::byte*>(aligned);
}

}  // namespace

NodeArena::~NodeArena() {
  for (const Block& block : blocks_) {
    if (block.mapped)
      ::munmap(block.data, block.size);
    else
      delete[] block.data;
  }
}

void* NodeArena::allocateInNewBlock(std::size_t size, std::size_t align) {
  std::size_t blockSize = size + align > kBlockSize ? size + align : kBlockSize;
  // Room first, so a full list never loses a block it could not record.
  if (blocks_.size() == blocks_.capacity())
    blocks_.reserve(blocks_.size() * 2 + 8);
  std::byte* data = nullptr;
  bool mapped = false;
  if (allocatedBytes_ >= kHugeAfter && size + align <= kHugePage) {
    data = mapHugeBlock();
    if (data != nullptr) {
      blockSize = kHugePage;
      mapped = true;
    }
  }
  // Not zero-filled: touching every page up front costs a third of a full parse, and
  // pages a small document never reaches are never touched.
  if (data == nullptr)
    data = new std::byte[blockSize];
  blocks_.push_back(Block{data, blockSize, mapped});
  allocatedBytes_ += blockSize;
  cursor_ = data;
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
