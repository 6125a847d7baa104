#include "zenuModule/src/Log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/FakeMessageBox.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualLoop.h"
#include "zenuModule/src/TextCodec.h"
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
  // GBK inside, UTF-8 in the file.
  EXPECT_NE(home.ReadFile("trace.log").find(GBKToUtf8("中文 文本")), CString::npos);
  EXPECT_NE(home.TraceLog().find("中文 文本"), CString::npos);
  // No line is cut short.
  const CString longText(70000, 'x');
  ZTRACE(1, "CLong::Line", "%s|", longText.c_str());
  EXPECT_NE(home.TraceLog().find("CLong::Line(): " + longText + "|"), CString::npos);
  EXPECT_EQ(UrlForTrace("http://h:88/urls/UserLogin?username=a&md5_passwd=0123abcd&version=172"),
            "http://h:88/urls/UserLogin?username=a&md5_passwd=*&version=172");
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

TEST(Log, AFullDiskIsToldOnceThroughTheLoopAndWritingResumes) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  CTempHome home;
  CVirtualLoop loop;
  CFakeMessageBox boxes;
  ResetLogFailureNotice();
  // Every write to /dev/full fails with ENOSPC, as on a full file system.
  const CString trace = home.Path() + "trace.log";
  ASSERT_EQ(::symlink("/dev/full", trace.c_str()), 0);
  ASSERT_EQ(::symlink("/dev/full", (home.Path() + "error.log").c_str()), 0);

  // A worker's failure waits for the loop's thread.
  std::thread([] { ZTRACE(1, "CWorker::Run", "lost"); }).join();
  loop.RunPending();
  EXPECT_TRUE(boxes.texts.empty());
  // Nothing is shown from inside the work that logs (a transaction, say).
  for (int i = 0; i < 3; ++i) ZTRACE(1, "CStore::Add", "line %d", i);
  WriteErrorLog("\n==========\nboom");
  EXPECT_TRUE(boxes.texts.empty());
  loop.RunPending();
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(boxes.texts[0], "Error in open error log file: " + trace);
  EXPECT_EQ(boxes.types[0], static_cast<unsigned>(MB_ICONWARNING));

  // Once per run.
  ZTRACE(1, "CStore::Add", "again");
  loop.RunPending();
  EXPECT_EQ(boxes.texts.size(), 1u);

  // Space again: the next line is written.
  ASSERT_EQ(::unlink(trace.c_str()), 0);
  ZTRACE(1, "CStore::Add", "resumed");
  EXPECT_NE(home.TraceLog().find("CStore::Add(): resumed"), CString::npos);
  loop.RunPending();
  EXPECT_EQ(boxes.texts.size(), 1u);
  ResetLogFailureNotice();
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
