// The arena hands out aligned, disjoint memory across its change from heap blocks to
// huge-page blocks, and for requests bigger than any block.
#include "tree/node_arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ovra {
namespace {

struct Piece {
  std::byte* data;
  std::size_t size;
  unsigned char fill;
};

TEST(NodeArenaTest, PiecesStayAlignedAndDisjointPastTheHugeBlockSwitch) {
  struct {
    std::size_t size;
    std::size_t align;
  } pattern[] = {{1, 1}, {48, 8}, {136, 8}, {7, 1}, {24, 16}, {4096, 64}};

  NodeArena arena;
  std::vector<Piece> pieces;
  std::size_t total = 0;
  unsigned char fill = 1;
  // 24 MB in small pieces, with a few requests larger than a huge block in between.
  for (std::size_t i = 0; total < (std::size_t(24) << 20); ++i) {
    const auto& p = pattern[i % std::size(pattern)];
    std::size_t size = i % 5000 == 4999 ? (std::size_t(3) << 20) : p.size;
    auto* data = static_cast<std::byte*>(arena.allocate(size, p.align));
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(data) % p.align, 0u) << i;
    std::memset(data, fill, size);
    pieces.push_back(Piece{data, size, fill});
    fill = static_cast<unsigned char>(fill % 251 + 1);
    total += size;
  }
  // Any overlap would have overwritten an earlier piece's first or last byte.
  for (const Piece& piece : pieces) {
    ASSERT_EQ(static_cast<unsigned char>(piece.data[0]), piece.fill);
    ASSERT_EQ(static_cast<unsigned char>(piece.data[piece.size - 1]), piece.fill);
  }
  EXPECT_GT(arena.blockCount(), 10u);
}

TEST(NodeArenaTest, CopiedTextsAreTerminatedCopies) {
  NodeArena arena;
  std::string longText(std::size_t(5) << 20, 'x');
  for (std::string_view text : {std::string_view(), std::string_view("abc"),
                                std::string_view(longText), std::string_view("after")}) {
    const char* copy = arena.copyText(text);
    EXPECT_EQ(std::string_view(copy), text);
    EXPECT_NE(static_cast<const void*>(copy), static_cast<const void*>(text.data()));
  }
}

}  // namespace
}  // namespace ovra
