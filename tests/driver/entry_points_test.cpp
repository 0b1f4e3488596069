#include "driver/entry_points.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

TEST(EntryPointsTest, LastErrorIsSetFromTextOrStringAndNullEmptiesIt) {
  setLastError("Could not open file, a.xml");
  EXPECT_STREQ(lastErrorText(), "Could not open file, a.xml");
  setLastError(String("x on line 3 in s.xsl\n"));
  EXPECT_STREQ(lastErrorText(), "x on line 3 in s.xsl\n");
  setLastError(nullptr);
  EXPECT_STREQ(lastErrorText(), "");
  EXPECT_TRUE(lastError.isSentinel());
}

TEST(EntryPointsTest, StartUpSucceedsAndCloseDownClearsLastError) {
  EXPECT_EQ(startUp(), 1);
  setLastError("stale");
  EXPECT_EQ(closeDown(), 1);
  EXPECT_STREQ(lastErrorText(), "");
}

}  // namespace
}  // namespace ovra
