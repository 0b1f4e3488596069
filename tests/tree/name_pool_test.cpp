#include "tree/name_pool.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

namespace ovra {
namespace {

std::string numbered(const char* stem, int i) {
  std::string name(stem);
  name.append(std::to_string(i));
  return name;
}

TEST(NamePoolTest, EqualTextsShareAddressAndBitAcrossGrowth) {
  NamePool pool;
  StringRef first = pool.intern("name0");
  std::vector<StringRef> names{first};
  for (int i = 1; i < 1200; ++i) {
    names.push_back(pool.intern(numbered("name", i)));
    if (i == 511) {
      EXPECT_EQ(pool.bucketCount(), 1024u);  // 512 names fill exactly half
    }
    if (i == 512) {
      EXPECT_EQ(pool.bucketCount(), 2048u);
    }
  }
  EXPECT_EQ(pool.bucketCount(), 4096u);
  EXPECT_EQ(pool.size(), 1200u);
  for (int i = 0; i < 1200; ++i) {
    StringRef again = pool.intern(numbered("name", i));
    EXPECT_EQ(again.c_str(), names[i].c_str()) << i;
    EXPECT_EQ(again.bit(), names[i].bit()) << i;
    EXPECT_EQ(again.view(), numbered("name", i));
  }
}

TEST(NamePoolTest, BitsDependOnTheTextAloneAndSpreadOverTheMask) {
  NamePool pool;
  NamePool reversed;  // the same names interned in the opposite order
  for (int i = 69; i >= 0; --i)
    reversed.intern(numbered("n", i));
  NameMask seen = 0;
  for (int i = 0; i < 70; ++i) {
    StringRef name = pool.intern(numbered("n", i));
    EXPECT_EQ(std::popcount(name.bit()), 1) << i;
    EXPECT_EQ(name.bit(), reversed.intern(numbered("n", i)).bit()) << i;
    EXPECT_EQ(name.bit(), NamePool::bitOf(numbered("n", i))) << i;
    seen |= name.bit();
  }
  // Seventy names by order of arrival would fill a 32-bit mask twice over; spread by
  // hash they leave few of the 64 bits unused.
  EXPECT_GE(std::popcount(seen), 40);
}

TEST(NamePoolTest, EmptyNameAndLongNamesAreInterned) {
  NamePool pool;
  StringRef empty = pool.intern("");
  EXPECT_EQ(empty.c_str()[0], '\0');
  EXPECT_EQ(pool.intern("").c_str(), empty.c_str());
  std::string longName(300000, 'n');  // larger than a pool block
  StringRef name = pool.intern(longName);
  EXPECT_EQ(name.view(), longName);
  EXPECT_EQ(pool.intern(longName).c_str(), name.c_str());
}

TEST(NamePoolTest, GlobalPoolStartsWithTheFixedNames) {
  EXPECT_EQ(emptyName().bit(), NamePool::bitOf(""));
  EXPECT_EQ(starName().bit(), NamePool::bitOf("*"));
  EXPECT_EQ(intern("*"), starName());
  EXPECT_EQ(xsltNamespaceName().view(), kXsltNamespace);
}

}  // namespace
}  // namespace ovra
