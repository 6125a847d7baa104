#include "zenuModule/src/HTTPDownLoadDoc.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/FakeMessageBox.h"
#include "tests/support/HttpWait.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualLoop.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/TextCodec.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/DownloadProgressDialog.h"
#include "zenuModule/src/desktop/FileSystem.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {

// The progress dialog as a script: it pumps the virtual loop (with a little real
// time for the worker) until the document ends it.
class CScriptedProgressDialog final : public IDownloadProgressDialog {
 public:
  explicit CScriptedProgressDialog(CVirtualLoop& loop) : m_loop(loop) {
    SetDownloadProgressDialog(this);
  }
  ~CScriptedProgressDialog() override { SetDownloadProgressDialog(nullptr); }

  int DoModal() override {
    ++opened;
    m_ended = false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!m_ended && !m_loop.QuitRequested() && std::chrono::steady_clock::now() < end) {
      m_loop.AdvanceBy(1000);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return m_result;
  }
  void SetText(const CString& text) override { texts.push_back(text); }
  void EndDialog(int result) override {
    m_ended = true;
    m_result = result;
    ++ended;
  }

  std::vector<CString> texts;
  int opened = 0;
  int ended = 0;

 private:
  CVirtualLoop& m_loop;
  bool m_ended = false;
  int m_result = 0;
};

class HTTPDownLoadDocTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CPlatform::SetMainWindowCreated(true);
    CTimerControl::ResetInstance();
    server.Server().Get("/data/7.torrent", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(body, "application/x-bittorrent");
    });
    server.Server().Get("/nolength", [](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("application/x-bittorrent",
                                       [](size_t, httplib::DataSink& sink) {
                                         sink.write("d4:infoe", 8);
                                         sink.done();
                                         return true;
                                       });
    });
    ASSERT_TRUE(server.Start());
    CProcessValues::SetRemoteSrvPort(server.Port());
    folder = Utf8ToGBK(home.Path());
  }
  void TearDown() override {
    CHTTPDownLoadDoc::ResetInstance();
    EXPECT_TRUE(WaitForWorkers());
    CTimerControl::ResetInstance();
    CPlatform::SetMainWindowCreated(false);
    CProcessValues::Reset();
  }
  CTempHome home;
  CVirtualLoop loop;
  CFakeMessageBox box;
  CScriptedProgressDialog dialog{loop};
  CLoopbackHttpServer server;
  std::string body;
  CString folder;
};

}  // namespace

TEST_F(HTTPDownLoadDocTest, WritesIntoNewFoldersAndReplacesExistingFiles) {
  body.assign(400000, 'd');
  for (size_t i = 0; i < body.size(); i += 97) body[i] = static_cast<char>(i % 251);
  const CString target = folder + "电影/data/7/7.torrent";
  auto* doc = CHTTPDownLoadDoc::GetInstance();
  EXPECT_EQ(doc->DownFile("http://127.0.0.1/data/7.torrent", target), 1);
  CString written;
  ASSERT_TRUE(ReadWholeFile(target, written));
  EXPECT_EQ(written, body);
  EXPECT_EQ(dialog.opened, 1);
  EXPECT_EQ(dialog.ended, 1);
  // The three lines: the URL as asked for (the port goes in on the way out), speed, progress.
  ASSERT_GE(dialog.texts.size(), 2u);
  const CString expected =
      "文件名:http://127.0.0.1/data/7.torrent\n下载速度:" + StringFormat("%.2f", 400000.0 / 1024) +
      "kB\n下载进度:100.00%\n";
  EXPECT_EQ(dialog.texts.back(), expected);

  // An existing, longer file is replaced, not appended to.
  body = "short";
  EXPECT_EQ(doc->DownFile("http://127.0.0.1/data/7.torrent", target), 1);
  ASSERT_TRUE(ReadWholeFile(target, written));
  EXPECT_EQ(written, "short");
  EXPECT_TRUE(box.texts.empty());
}

TEST_F(HTTPDownLoadDocTest, FailuresReturnZeroOrEndTheProgram) {
  auto* doc = CHTTPDownLoadDoc::GetInstance();
  const CString target = folder + "nolength.torrent";
  EXPECT_EQ(doc->DownFile("http://127.0.0.1/nolength", target), 0);
  EXPECT_FALSE(PathExists(target));
  EXPECT_EQ(dialog.ended, 1);
  EXPECT_TRUE(box.texts.empty());

  // A target below a plain file cannot be written: the program-level error.
  body = "abc";
  ASSERT_TRUE(WriteWholeFile(folder + "plain", "x"));
  EXPECT_EQ(doc->DownFile("http://127.0.0.1/data/7.torrent", folder + "plain/7.torrent"), 0);
  EXPECT_EQ(dialog.ended, 2);
  EXPECT_TRUE(loop.QuitRequested());
  ASSERT_EQ(box.texts.size(), 2u);
  EXPECT_EQ(box.texts[0].rfind("糟糕，出错了：\n", 0), 0u);
  EXPECT_NE(box.texts[0].find("Error: 写文件失败"), CString::npos);
  EXPECT_NE(home.ErrorLog().find("写文件失败"), CString::npos);
}
