#include "base/string.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

TEST(StringTest, EmptyStringsShareTheSentinel) {
  String fromNull(nullptr);
  String fromEmpty("");
  EXPECT_EQ(fromNull.length(), 0u);
  EXPECT_EQ(fromEmpty.length(), 0u);
  EXPECT_EQ(fromNull.c_str(), emptyText());
  EXPECT_EQ(fromEmpty.c_str(), emptyText());
}

TEST(StringTest, CapacityIsSmallestMultipleOfEightAboveLengthPlusOne) {
  struct {
    std::size_t length, capacity;
  } cases[] = {{0, 8}, {6, 8}, {7, 16}, {14, 16}, {15, 24}};
  for (auto c : cases)
    EXPECT_EQ(String::capacity(c.length), c.capacity) << c.length;
}

TEST(StringTest, AppendingReallocatesOnlyWhenRoomIsNotStrictlyLarger) {
  String s("abcdef");  // length 6, buffer 8, free room 1
  const char* before = s.c_str();
  s.append("g");
  EXPECT_NE(s.c_str(), before);
  EXPECT_STREQ(s.c_str(), "abcdefg");
  String t("abcde");  // length 5, buffer 8, free room 2
  before = t.c_str();
  t.append("f");
  EXPECT_EQ(t.c_str(), before);
  EXPECT_STREQ(t.c_str(), "abcdef");
}

TEST(StringTest, ExplicitCountCopiesExactlyThatMany) {
  String s("abcdef", 3);
  EXPECT_EQ(s.length(), 3u);
  EXPECT_STREQ(s.c_str(), "abc");
}

TEST(StringTest, AppendingItselfIsSafe) {
  String s("abcdef");
  s.append(s);
  EXPECT_STREQ(s.c_str(), "abcdefabcdef");
}

}  // namespace
}  // namespace ovra
