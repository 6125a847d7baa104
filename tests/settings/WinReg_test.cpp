#include "settings/WinReg.h"

#include "tests/settings/SettingsFixture.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/desktop/Autostart.h"
#include "zenuModule/src/desktop/FileSystem.h"

using WinRegTest = SettingsTest;

TEST_F(WinRegTest, EntryHoldsTheCommandLineAndIsRecognised) {
  CWinReg reg;
  EXPECT_FALSE(reg.IsAutoStart());
  EXPECT_FALSE(reg.CleanAutoStart());
  ASSERT_TRUE(reg.SetAutoStart());
  const CString program = GetExePath(1);
  // Without a port on the command line the configured service address decides
  // at the next start: the entry pins none.
  EXPECT_EQ(CWinReg::AutoStartCommand(), program + "  -AUTO  ");
  EXPECT_NE(Entry().find("\nTryExec=" + GBKToUtf8(program) + "\n"), CString::npos) << Entry();
  EXPECT_TRUE(reg.IsAutoStart());

  const char* withPort[] = {"vadeko", "-server_port", "8088"};
  CCmdParams::GetInstance()->ParseCommandLine(3, withPort);
  ASSERT_TRUE(reg.ProcessAutoStartFlag(TRUE));
  const CString expected = program + "  -AUTO   -server_port 8088 ";
  EXPECT_NE(Entry().find("\nExec=" + GBKToUtf8(expected) + "\n"), CString::npos) << Entry();
  EXPECT_TRUE(reg.IsAutoStart());

  // Port 80 leaves out the port part.
  const char* argv[] = {"vadeko", "-server_port", "80"};
  CCmdParams::GetInstance()->ParseCommandLine(3, argv);
  ASSERT_TRUE(reg.ProcessAutoStartFlag(TRUE));
  CString command;
  ASSERT_TRUE(ReadAutostartCommand("zenu", &command));
  EXPECT_EQ(command, program + "  -AUTO  ");
  EXPECT_TRUE(reg.IsAutoStart());

  ASSERT_TRUE(reg.ProcessAutoStartFlag(FALSE));
  EXPECT_FALSE(PathExists(AutostartEntryPath("zenu")));
  EXPECT_FALSE(reg.IsAutoStart());
}

TEST_F(WinRegTest, EntriesLackingPathOrFlagDoNotCount) {
  CWinReg reg;
  const CString program = GetExePath(1);
  ASSERT_TRUE(WriteAutostartEntry("zenu", "V", program, "-server_port 88"));
  EXPECT_FALSE(reg.IsAutoStart());  // no " -AUTO "
  ASSERT_TRUE(WriteAutostartEntry("zenu", "V", "/elsewhere/vadeko", " -AUTO "));
  EXPECT_FALSE(reg.IsAutoStart());  // another program
  // Case does not matter on either side.
  CString lower = program;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ASSERT_TRUE(WriteAutostartEntry("zenu", "V", lower, " -auto "));
  EXPECT_TRUE(reg.IsAutoStart());
}
