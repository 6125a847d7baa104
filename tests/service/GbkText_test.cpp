#include "GbkText.h"

#include <gtest/gtest.h>

#include "MovieKinds.h"

namespace zenu {
namespace {

TEST(GbkTextTest, ConvertsBothWays) {
  auto gbk = GbkText::FromUtf8("张三");
  ASSERT_TRUE(gbk);
  EXPECT_EQ(*gbk, "\xD5\xC5\xC8\xFD");
  EXPECT_EQ(GbkText::ToUtf8(*gbk).value(), "张三");
  EXPECT_FALSE(GbkText::FromUtf8("\xFF\xFE"));
}

TEST(GbkTextTest, LossyConversionKeepsTheValidCharacters) {
  EXPECT_EQ(GbkText::ToUtf8Lossy("a\xD5\xC5\xFF"), "a张\xEF\xBF\xBD");
}

TEST(GbkTextTest, EncodesLikeTheClient) {
  EXPECT_EQ(GbkText::PercentEncode("a b/c~"), "a%20b/c%7E");
  EXPECT_EQ(GbkText::PercentEncode("\xD5\xC5"), "%D5%C5");
  EXPECT_EQ(GbkText::PercentEncode("%"), "%25");
}

TEST(GbkTextTest, DecodesAndRefusesBrokenEscapes) {
  EXPECT_EQ(GbkText::PercentDecode("%D5%c5x+y").value(), "\xD5\xC5x+y");
  EXPECT_FALSE(GbkText::PercentDecode("abc%"));
  EXPECT_FALSE(GbkText::PercentDecode("abc%4"));
  EXPECT_FALSE(GbkText::PercentDecode("%G0"));
  std::string name = "\xC0\xEE \xCB\xC4";
  EXPECT_EQ(
      GbkText::PercentDecode(
          GbkText::PercentDecode(GbkText::PercentEncode(GbkText::PercentEncode(name))).value())
          .value(),
      name);
}

TEST(MovieKindsTest, ParsesIdsAndNames) {
  EXPECT_EQ(MovieKinds::Parse("1").value(), 1);
  EXPECT_EQ(MovieKinds::Parse("科幻").value(), 4);
  EXPECT_FALSE(MovieKinds::Parse("99"));
  EXPECT_FALSE(MovieKinds::Parse("武侠"));
  EXPECT_FALSE(MovieKinds::Parse(""));
}

}  // namespace
}  // namespace zenu
