#include "zenuModule/src/Log.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/FakeMessageBox.h"
#include "tests/support/TempHome.h"
#include "zenuModule/src/desktop/MessageBox.h"
#include "zenuModule/src/desktop/Platform.h"

TEST(Log, TraceLevelsAndLineFormat) {
  CTempHome home;
  ZTRACE(0, "CQuiet::Run", "Begin the Function");
  EXPECT_EQ(home.TraceLog(), "");
  ZTRACE(1, "CUApp::InitInstance", "localsrv port: %d", 8123);
  ZTRACE(1, "CNext::Step", "中文 %s", "文本");
  const std::regex lines(
      "\n\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d:CUApp::InitInstance\\(\\): localsrv port: 8123"
      "\n\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d:CNext::Step\\(\\): [^\n]+");
  EXPECT_TRUE(std::regex_match(home.TraceLog(), lines)) << home.TraceLog();
  EXPECT_NE(home.TraceLog().find("中文 文本"), CString::npos);
}

TEST(Log, FirstWriteCreatesFoldersLaterWritesAppend) {
  CTempHome home;
  const CString path = home.Path() + "a/b/c/log.txt";
  WriteLog("one", path);
  WriteLog("\ntwo", path);
  EXPECT_EQ(home.ReadFile("a/b/c/log.txt"), "one\ntwo");
  WriteErrorLog("\n==========\nboom");
  EXPECT_EQ(home.ErrorLog(), "\n==========\nboom");
}

TEST(Log, UnwritableFileIsReportedByMessageBoxAndNestedWritesAreDropped) {
  CTempHome home;
  CFakeMessageBox boxes;
  // A message box pumps messages; a callback logging meanwhile must not write.
  struct CReentrantBox final : IMessageBox {
    CString target;
    int shown = 0;
    int Show(const CString&, unsigned) override {
      ++shown;
      WriteLog("nested", target);
      return IDOK;
    }
  } reentrant;
  reentrant.target = home.Path() + "other.log";
  CPlatform::SetMessageBox(&reentrant);
  const CString folderAsFile = home.Path() + "blocked";
  WriteLog("x", folderAsFile);  // creates a file named "blocked"
  WriteLog("y", folderAsFile + "/inner.log");
  EXPECT_EQ(reentrant.shown, 1);
  EXPECT_EQ(home.ReadFile("other.log"), "");
  CPlatform::SetMessageBox(&boxes);
  WriteLog("z", folderAsFile + "/inner.log");
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(boxes.texts[0], "Error in open error log file: " + folderAsFile + "/inner.log");
  // The guard is released after a failure.
  WriteLog("w", home.Path() + "other.log");
  EXPECT_EQ(home.ReadFile("other.log"), "w");
}

TEST(Log, ConcurrentWritersLoseNothingAndNeverInterleave) {
  CTempHome home;
  constexpr int kThreads = 8;
  constexpr int kLines = 400;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) {
        ZTRACE(1, "CWorker::Run", "thread %d line %d %s", t, i, CString(200, 'a' + t).c_str());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::istringstream in(home.TraceLog());
  std::string line;
  std::set<std::pair<int, int>> seen;
  const std::regex shape(
      "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d:CWorker::Run\\(\\): thread (\\d) line (\\d+) "
      "([a-z])\\3{199}");
  std::getline(in, line);  // every line starts with a line break
  EXPECT_EQ(line, "");
  while (std::getline(in, line)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
    EXPECT_EQ(m[3].str()[0], 'a' + std::stoi(m[1]));
    seen.insert({std::stoi(m[1]), std::stoi(m[2])});
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
}
