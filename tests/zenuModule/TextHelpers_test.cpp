#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "tests/support/TempHome.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/TextCodec.h"
#include "zenuModule/src/desktop/FileSystem.h"

TEST(TextCodec, CoreLiteralsAreGbkAndSurviveAChineseFileName) {
  const CString movie = "电影";
  // 电 = B5E7, 影 = D3B0 in GBK.
  EXPECT_EQ(movie, "\xB5\xE7\xD3\xB0");
  EXPECT_EQ(GBKToUtf8(movie), "\xE7\x94\xB5\xE5\xBD\xB1");
  CString roundTrip = GBKToUtf8(movie);
  ConvertUtf8ToGBK(roundTrip);
  EXPECT_EQ(roundTrip, movie);

  CTempHome home;
  const CString folder = Utf8ToGBK(home.Path()) + "用户/电影";
  CheckFolder(folder, 1);
  const CString file = folder + "/片名.txt";
  ASSERT_TRUE(WriteWholeFile(file, "内容 content"));
  // The file system sees UTF-8 names.
  std::ifstream utf8Name(home.Path() + "\xE7\x94\xA8\xE6\x88\xB7/\xE7\x94\xB5\xE5\xBD\xB1/"
                         "\xE7\x89\x87\xE5\x90\x8D.txt");
  EXPECT_TRUE(utf8Name.good());
  CString content;
  ASSERT_TRUE(ReadWholeFile(file, content));
  EXPECT_EQ(content, "内容 content");
  const auto names = ListFolder(folder);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0], "片名.txt");
}

TEST(TextCodec, InvalidBytesBecomeQuestionMarks) {
  EXPECT_EQ(GBKToUtf8("a\xFF" "b"), "a?b");
  EXPECT_EQ(Utf8ToGBK("x\xF0\x9F\x98\x80y"), "x?y");  // an emoji has no GBK form
  EXPECT_EQ(Utf8ToGBK("ok\xC3"), "ok?");              // cut in the middle of a character
  EXPECT_EQ(Utf8ToGBK(""), "");
}

TEST(StringHelpers, UrlEncodeLeftInStrUrlAndPortFEqual) {
  EXPECT_EQ(URLEncode("a b/c~"), "a%20b/c%7E");
  EXPECT_EQ(URLEncode("Az09-._/"), "Az09-._/");
  EXPECT_EQ(URLEncode("电影"), "%B5%E7%D3%B0");

  EXPECT_EQ(LeftInStr("c:/a/b/c.log", "/", TRUE), "c:/a/b");
  EXPECT_EQ(LeftInStr("c:/a/b/c.log", "/", FALSE), "c:");
  EXPECT_EQ(LeftInStr("c:/a/b/c.log", "|", TRUE), "");
  EXPECT_EQ(LeftInStr("one--two--three", "--", TRUE), "one--two");

  EXPECT_EQ(UrlAndPort("http://host/a/b?x=1", 88), "http://host:88/a/b?x=1");
  EXPECT_EQ(UrlAndPort("http://host", 88), "http://host:88");
  EXPECT_EQ(UrlAndPort("http://host?q=/x", 88), "http://host:88?q=/x");
  EXPECT_EQ(UrlAndPort("http://host:81/a", 80), "http://host:81/a");

  EXPECT_TRUE(FEqual(1.0, 1.000009));
  EXPECT_FALSE(FEqual(1.0, 1.00002));
  EXPECT_TRUE(FEqual(200.0, 200.0));
  EXPECT_FALSE(FEqual(1.0, 1.00001 + 1e-12));

  EXPECT_EQ(TrimWhite(" \r\n select 1 \t\n"), "select 1");
  EXPECT_EQ(StringFormat("%s:%d", "x", 5), "x:5");
}

TEST(PathHelpers, ProgramFolderFolderCreationAndDeletion) {
  CTempHome home;
  EXPECT_EQ(GetExePath(0), Utf8ToGBK(home.Path()));
  EXPECT_NE(GetExePath(1).find("core_tests"), CString::npos);

  const CString root = home.Path() + "x/y/z";
  CheckFolder(root, 1);
  EXPECT_TRUE(IsFolder(root));

  // A link inside the tree is removed, never followed.
  const CString outside = home.Path() + "outside";
  MakeFolder(outside);
  ASSERT_TRUE(WriteWholeFile(outside + "/keep.txt", "keep"));
  ASSERT_EQ(::symlink(outside.c_str(), (root + "/link").c_str()), 0);
  ASSERT_TRUE(WriteWholeFile(root + "/file.bin", "data"));
  EXPECT_TRUE(DeleteDirectory(home.Path() + "x"));
  EXPECT_FALSE(PathExists(home.Path() + "x"));
  EXPECT_TRUE(PathExists(outside + "/keep.txt"));
  EXPECT_TRUE(DeleteDirectory(home.Path() + "never-existed"));
}
