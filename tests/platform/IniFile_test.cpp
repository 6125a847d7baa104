#include "zenuModule/src/desktop/IniFile.h"

#include <gtest/gtest.h>

#include "tests/support/TempHome.h"
#include "zenuModule/src/TextCodec.h"
#include "zenuModule/src/desktop/FileSystem.h"

namespace {
CString Gbk(const CTempHome& home, const char* name) { return Utf8ToGBK(home.Path()) + name; }
}  // namespace

TEST(IniFile, MissingFileSectionOrKeyGivesTheDefault) {
  CTempHome home;
  const CString file = Gbk(home, "none.ini");
  EXPECT_EQ(IniGetString(file, "sys", "First", "1"), "1");
  EXPECT_EQ(IniGetInt(file, "sys", "First", 7), 7);
  EXPECT_FALSE(PathExists(file));

  ASSERT_TRUE(WriteWholeFile(file, "[sys]\nPort=\nAutoLogin = 0 \n; First=5\n"));
  EXPECT_EQ(IniGetString(file, "sys", "First", "1"), "1");     // a comment is no key
  EXPECT_EQ(IniGetString(file, "other", "Port", "x"), "x");    // other section
  EXPECT_EQ(IniGetString(file, "sys", "Port", "9"), "");       // present but empty
  EXPECT_EQ(IniGetInt(file, "sys", "Port", 9), 0);
  EXPECT_EQ(IniGetString(file, "sys", "AutoLogin", "1"), "0");  // blanks trimmed
}

TEST(IniFile, NamesAreCaseInsensitiveAndQuotesAndBufferApply) {
  CTempHome home;
  const CString file = Gbk(home, "a.ini");
  ASSERT_TRUE(WriteWholeFile(file, "[User]\r\nSaveas=\"/home/x/电影\"\r\nEvalDays=60\r\n"
                                   "[用户]\r\n键=甲\r\n"));
  EXPECT_EQ(IniGetString(file, "USER", "saveas", ""), "/home/x/电影");
  EXPECT_EQ(IniGetInt(file, "user", "EVALDAYS", 0), 60);
  EXPECT_EQ(IniGetString(file, "用户", "键", ""), "甲");
  // GBK names whose second bytes differ only by ASCII case stay distinct.
  const CString upper = "\x81\x41";
  const CString lower = "\x81\x61";
  ASSERT_TRUE(IniWriteString(file, "g", upper, "A"));
  EXPECT_EQ(IniGetString(file, "G", lower, "none"), "none");
  EXPECT_EQ(IniGetString(file, "G", upper, "none"), "A");

  const CString longValue(400, 'v');
  ASSERT_TRUE(IniWriteString(file, "sys", "long", longValue));
  EXPECT_EQ(IniGetString(file, "sys", "long", "").size(), 254u);
  EXPECT_EQ(IniGetString(file, "sys", "long", "", 1000), longValue);
  EXPECT_EQ(IniGetString(file, "sys", "nothing", longValue).size(), 254u);
}

TEST(IniFile, WriteTouchesOnlyItsKey) {
  CTempHome home;
  const CString file = Gbk(home, "w.ini");
  ASSERT_TRUE(IniWriteString(file, "sys", "AutoLogin", "1"));
  EXPECT_EQ(home.ReadFile("w.ini"), "[sys]\nAutoLogin=1\n");
  ASSERT_TRUE(IniWriteString(file, "sys", "First", "0"));
  ASSERT_TRUE(IniWriteString(file, "SYS", "autologin", "0"));
  ASSERT_TRUE(IniWriteString(file, "DefaultUser", "user", "张三"));
  ASSERT_TRUE(IniWriteString(file, "sys", "Port", "0"));
  EXPECT_EQ(home.ReadFile("w.ini"), CString("[sys]\nautologin=0\nFirst=0\nPort=0\n"
                                              "[DefaultUser]\nuser=张三\n"));

  // Foreign lines, comments, blank lines and CRLF ends survive a write.
  const CString foreign = "; settings\r\n[a]\r\nx=1\r\n\r\n[b]\r\ny = 2\r\nz=3";
  ASSERT_TRUE(WriteWholeFile(file, foreign));
  ASSERT_TRUE(IniWriteString(file, "b", "Y", "5"));
  EXPECT_EQ(home.ReadFile("w.ini"), "; settings\r\n[a]\r\nx=1\r\n\r\n[b]\r\nY=5\r\nz=3");
  ASSERT_TRUE(IniWriteString(file, "a", "n", "new"));
  ASSERT_TRUE(IniWriteString(file, "b", "w", "last"));
  EXPECT_EQ(home.ReadFile("w.ini"),
            "; settings\r\n[a]\r\nx=1\r\nn=new\r\n\r\n[b]\r\nY=5\r\nz=3\r\nw=last\r\n");
  EXPECT_EQ(IniGetString(file, "a", "x", ""), "1");
  EXPECT_EQ(IniGetString(file, "b", "z", ""), "3");

  ASSERT_TRUE(IniDeleteKey(file, "B", "y"));
  EXPECT_EQ(IniGetString(file, "b", "y", "gone"), "gone");
  EXPECT_EQ(IniGetString(file, "b", "w", ""), "last");
}

TEST(IniFile, RefusedWritesChangeNothing) {
  CTempHome home;
  const CString file = Gbk(home, "r.ini");
  ASSERT_TRUE(IniWriteString(file, "s", "k", "v"));
  const CString before = home.ReadFile("r.ini");
  EXPECT_FALSE(IniWriteString(file, "s", "k", "v\n[evil]\nk=1"));
  EXPECT_FALSE(IniWriteString(file, "s\r", "k", "v"));
  EXPECT_FALSE(IniWriteString(file, "s", "", "v"));
  EXPECT_EQ(home.ReadFile("r.ini"), before);
  // The file is created, never its folder.
  EXPECT_FALSE(IniWriteString(Gbk(home, "missing/r.ini"), "s", "k", "v"));
  EXPECT_FALSE(PathExists(Gbk(home, "missing")));
  EXPECT_TRUE(ListFolder(Utf8ToGBK(home.Path())).size() >= 1u);
  for (const auto& name : ListFolder(Utf8ToGBK(home.Path()))) {
    EXPECT_EQ(name.find(".tmp"), CString::npos) << name;
  }
}
