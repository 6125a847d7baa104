#include "store/MultiUserMgr.h"

#include <gtest/gtest.h>

#include "tests/support/FakeMessageBox.h"
#include "tests/support/TempHome.h"
#include "zenuModule/src/ProgramException.h"
#include "zenuModule/src/TextCodec.h"
#include "zenuModule/src/desktop/FileSystem.h"
#include "zenuModule/src/desktop/IniFile.h"

namespace {
class MultiUserMgrTest : public ::testing::Test {
 protected:
  void SetUp() override { CMultiUserMgr::ResetInstance(); }
  void TearDown() override { CMultiUserMgr::ResetInstance(); }
  CString Home() const { return Utf8ToGBK(home.Path()); }

  CTempHome home;
  CFakeMessageBox box;
};
}  // namespace

TEST_F(MultiUserMgrTest, NamesAreCheckedByCharacter) {
  auto* mgr = CMultiUserMgr::GetInstance();
  EXPECT_FALSE(mgr->CreateUserDirectory(""));
  ASSERT_EQ(box.texts.size(), 1u);
  EXPECT_EQ(box.texts[0], "用户名不能为空");
  const CString refused = "用户名不能包含以下的符号\\/:*?\"<>|";
  for (const CString name : {"a/b", "say\"hi\"", "c:d", "x|y", "a\\b", "?", "..", "<>"}) {
    box.texts.clear();
    EXPECT_FALSE(mgr->CreateUserDirectory(name)) << name;
    ASSERT_EQ(box.texts.size(), 1u) << name;
    EXPECT_EQ(box.texts[0], refused);
  }
  EXPECT_EQ(ListFolder(Home() + "users").size(), 0u);

  // GBK characters whose second bytes are '\\' (0x955C) and '|' (0x957C).
  const CString tricky = "\x95\x5C\x95\x7C" "ab";
  box.texts.clear();
  EXPECT_TRUE(mgr->CreateUserDirectory(tricky));
  EXPECT_TRUE(box.texts.empty());
  EXPECT_TRUE(IsFolder(Home() + "users/" + tricky));
  EXPECT_TRUE(mgr->CreateUserDirectory("张三"));
  EXPECT_TRUE(IsFolder(Home() + "users/张三"));
}

TEST_F(MultiUserMgrTest, CredentialsRoundTripAndFolderDeletion) {
  auto* mgr = CMultiUserMgr::GetInstance();
  CString name = "x";
  CString digest = "y";
  mgr->GetDefaultUser(&name, &digest);
  EXPECT_EQ(name, "");
  EXPECT_EQ(digest, "");
  EXPECT_EQ(mgr->GetLoginingUserPath(), Home() + "users/DefaultUser/config.ini");
  mgr->GetPwd("nobody", &digest);
  EXPECT_EQ(digest, "");

  const CString md5 = "0123456789abcdef0123456789abcdef";
  mgr->SaveAccountAndPwd("小明", md5);
  mgr->GetDefaultUser(&name, &digest);
  EXPECT_EQ(name, "小明");
  EXPECT_EQ(digest, md5);
  EXPECT_EQ(home.ReadFile(GBKToUtf8("users/小明/passwd.txt")), md5);
  CString stored;
  mgr->GetPwd("小明", &stored);
  EXPECT_EQ(stored, md5);
  EXPECT_EQ(mgr->GetLoginingUserPath(), Home() + "users/小明/config.ini");
  EXPECT_EQ(IniGetString(Home() + "config.ini", "defaultuser", "USER", ""), "小明");

  // A second user becomes the default; the first keeps its digest.
  mgr->SaveAccountAndPwd("b", "ffffffffffffffffffffffffffffffff");
  mgr->GetDefaultUser(&name, &digest);
  EXPECT_EQ(name, "b");
  mgr->GetPwd("小明", &stored);
  EXPECT_EQ(stored, md5);

  ASSERT_TRUE(WriteWholeFile(Home() + "users/小明/db.dat", "data"));
  mgr->DeleteUserDirectory("小明");
  EXPECT_FALSE(PathExists(Home() + "users/小明"));
  EXPECT_TRUE(PathExists(Home() + "users/b/passwd.txt"));
  mgr->DeleteUserDirectory("..");
  mgr->DeleteUserDirectory("");
  EXPECT_TRUE(PathExists(Home() + "users/b/passwd.txt"));
  EXPECT_TRUE(PathExists(Home() + "config.ini"));
}

TEST_F(MultiUserMgrTest, UnwritableDigestRaises) {
  auto* mgr = CMultiUserMgr::GetInstance();
  ASSERT_TRUE(MakeFolder(Home() + "users"));
  ASSERT_TRUE(MakeFolder(Home() + "users/c"));
  ASSERT_TRUE(MakeFolder(Home() + "users/c/passwd.txt"));  // a folder in the way
  CProgramException* error = nullptr;
  try {
    mgr->SaveAccountAndPwd("c", "00000000000000000000000000000000");
  } catch (CProgramException* e) {
    error = e;
  }
  ASSERT_NE(error, nullptr);
  EXPECT_NE(error->GetError().find("passwd.txt"), CString::npos);
  error->Delete();
}
