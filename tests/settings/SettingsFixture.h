#pragma once
#include <gtest/gtest.h>

#include <cstdlib>

#include "settings/ConfigDoc.h"
#include "store/MultiUserMgr.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/TempHome.h"
#include "zenuModule/src/CmdParams.h"
#include "zenuModule/src/TextCodec.h"

// A temporary program folder with its own XDG config folder and fresh singletons.
class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    m_hadConfig = old != nullptr;
    if (old) m_oldConfig = old;
    setenv("XDG_CONFIG_HOME", (home.Path() + "xdg").c_str(), 1);
    ResetAll();
  }
  ~SettingsTest() override {
    ResetAll();
    if (m_hadConfig) {
      setenv("XDG_CONFIG_HOME", m_oldConfig.c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
  }
  static void ResetAll() {
    CConfigDoc::ResetInstance();
    CMultiUserMgr::ResetInstance();
    CCmdParams::ResetInstance();
  }
  CString Home() const { return Utf8ToGBK(home.Path()); }
  CString Entry() const { return home.ReadFile("xdg/autostart/zenu.desktop"); }

  CTempHome home;
  CFakeMessageBox box;

 private:
  bool m_hadConfig = false;
  CString m_oldConfig;
};
