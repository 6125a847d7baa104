#include "zenuModule/src/ProgramFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "tests/support/TempHome.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/desktop/FileSystem.h"

TEST(ProgramFolder, AnInstalledLayoutLinksItsReadOnlyFilesAndLeavesTheUsersOwn) {
  CTempHome home;
  const CString prefix = home.Path() + "usr/";
  for (const char* dir : {"usr/bin", "usr/share/vadeko/root", "usr/share/vadeko/help",
                          "usr/share/vadeko/DATA", "build/program", "bare/bin"}) {
    CheckFolder(home.Path() + dir, 1);
  }
  std::ofstream(prefix + "share/vadeko/UI.ini") << "[x]\n";
  // The layout decides, not the write permission.
  EXPECT_EQ(InstalledShareFolderOf(prefix + "bin/vadeko"), prefix + "share/vadeko/");
  EXPECT_EQ(InstalledShareFolderOf(home.Path() + "build/program/vadeko"), "");
  EXPECT_EQ(InstalledShareFolderOf(home.Path() + "bare/bin/vadeko"), "");

  const CString share = prefix + "share/vadeko/";
  const CString user = home.Path() + "data/vadeko/";
  CheckFolder(user + "help", 1);  // the user's own folder of that name
  ASSERT_EQ(::symlink("/nowhere/root", (user + "root").c_str()), 0);  // from an old prefix
  LinkReadOnlyFiles(share, user);
  EXPECT_EQ(LinkTarget(user + "root"), share + "root");
  EXPECT_EQ(LinkTarget(user + "DATA"), share + "DATA");
  EXPECT_EQ(LinkTarget(user + "UI.ini"), share + "UI.ini");
  EXPECT_EQ(LinkTarget(user + "help"), "");
  EXPECT_TRUE(IsRealFolder(user + "help"));
  EXPECT_FALSE(PathExists(user + "skin"));  // nothing to link to
  // Again: nothing changes.
  LinkReadOnlyFiles(share, user);
  EXPECT_EQ(LinkTarget(user + "root"), share + "root");
}
