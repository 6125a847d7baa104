#include "zenuModule/src/desktop/Autostart.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/TempHome.h"
#include "zenuModule/src/TextCodec.h"
#include "zenuModule/src/desktop/FileSystem.h"

namespace {
// Points XDG_CONFIG_HOME into the test's folder for its lifetime.
class CConfigHome final {
 public:
  explicit CConfigHome(const CString& path) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    m_had = old != nullptr;
    if (old) m_old = old;
    setenv("XDG_CONFIG_HOME", path.c_str(), 1);
  }
  ~CConfigHome() {
    if (m_had) {
      setenv("XDG_CONFIG_HOME", m_old.c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
  }
  CConfigHome(const CConfigHome&) = delete;
  CConfigHome& operator=(const CConfigHome&) = delete;

 private:
  bool m_had = false;
  CString m_old;
};
}  // namespace

TEST(Autostart, EntryIsWrittenReadAndRemovedUnderXdgConfigHome) {
  CTempHome home;
  CConfigHome config(home.Path() + "cfg");
  EXPECT_EQ(AutostartEntryPath("zenu"), Utf8ToGBK(home.Path()) + "cfg/autostart/zenu.desktop");
  CString command;
  EXPECT_FALSE(ReadAutostartCommand("zenu", &command));
  EXPECT_FALSE(RemoveAutostartEntry("zenu"));

  ASSERT_TRUE(WriteAutostartEntry("zenu", "Vadeko冬季版", "/opt/vadeko/vadeko",
                                  " -AUTO   -server_port 88 "));
  const CString file = home.ReadFile("cfg/autostart/zenu.desktop");
  EXPECT_NE(file.find("[Desktop Entry]\nType=Application\n"), CString::npos) << file;
  EXPECT_NE(file.find("\nExec=/opt/vadeko/vadeko  -AUTO   -server_port 88 \n"), CString::npos);
  EXPECT_NE(file.find(GBKToUtf8("Name=Vadeko冬季版\n")), CString::npos);
  ASSERT_TRUE(ReadAutostartCommand("zenu", &command));
  EXPECT_EQ(command, "/opt/vadeko/vadeko  -AUTO   -server_port 88 ");

  EXPECT_TRUE(RemoveAutostartEntry("zenu"));
  EXPECT_FALSE(ReadAutostartCommand("zenu", &command));
}

TEST(Autostart, ProgramPathsThatNeedQuotingRoundTrip) {
  CTempHome home;
  CConfigHome config(home.Path() + "cfg");
  const CString program = "/home/user/My Apps/100% \"电影\"/vadeko";
  ASSERT_TRUE(WriteAutostartEntry("zenu", "V", program, " -AUTO  "));
  const CString file = home.ReadFile("cfg/autostart/zenu.desktop");
  EXPECT_NE(file.find(GBKToUtf8("Exec=\"/home/user/My Apps/100%% \\\\\"电影\\\\\"/vadeko\"  -AUTO  \n")),
            CString::npos)
      << file;
  CString command;
  ASSERT_TRUE(ReadAutostartCommand("zenu", &command));
  EXPECT_EQ(command, program + "  -AUTO  ");
}

TEST(Autostart, DisabledOrForeignEntriesDoNotCount) {
  CTempHome home;
  CConfigHome config(home.Path() + "cfg");
  ASSERT_TRUE(WriteAutostartEntry("zenu", "V", "/p/vadeko", "-AUTO"));
  const CString path = AutostartEntryPath("zenu");
  CString command;
  ASSERT_TRUE(WriteWholeFile(path, "[Desktop Entry]\nType=Application\nExec=/p/vadeko\nHidden=true\n"));
  EXPECT_FALSE(ReadAutostartCommand("zenu", &command));
  ASSERT_TRUE(WriteWholeFile(path, "[Desktop Entry]\nType=Link\nExec=/p/vadeko\n"));
  EXPECT_FALSE(ReadAutostartCommand("zenu", &command));
  ASSERT_TRUE(WriteWholeFile(path, "[Other]\nExec=/p/vadeko\n[Desktop Entry]\nType=Application\n"));
  EXPECT_FALSE(ReadAutostartCommand("zenu", &command));
  ASSERT_TRUE(WriteWholeFile(path, "# c\n[Desktop Entry]\r\nType=Application\r\nExec=a\\sb\r\n"));
  ASSERT_TRUE(ReadAutostartCommand("zenu", &command));
  EXPECT_EQ(command, "a b");
}
