#include "tree/name_pool.h"

#include <gtest/gtest.h>

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

TEST(NamePoolTest, BitsCycleEveryThirtyTwoNames) {
  NamePool pool;
  std::vector<StringRef> names;
  for (int i = 0; i < 70; ++i)
    names.push_back(pool.intern(numbered("n", i)));
  for (int i = 0; i < 70; ++i)
    EXPECT_EQ(names[i].bit(), std::uint32_t{1} << (i % 32)) << i;
  EXPECT_EQ(names[32].bit(), names[0].bit());  // the 33rd name shares the first's bit
  EXPECT_NE(names[32].c_str(), names[0].c_str());
  // Interning a known name does not advance the bit counter.
  pool.intern("n5");
  EXPECT_EQ(pool.intern("next").bit(), std::uint32_t{1} << (70 % 32));
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
  EXPECT_EQ(emptyName().bit(), 1u);
  EXPECT_EQ(starName().bit(), 2u);
  EXPECT_EQ(xsltNamespaceName().bit(), 4u);
  EXPECT_EQ(xmlSpaceName().bit(), 8u);
  EXPECT_EQ(intern("*"), starName());
  EXPECT_EQ(xsltNamespaceName().view(), kXsltNamespace);
}

}  // namespace
}  // namespace ovra
