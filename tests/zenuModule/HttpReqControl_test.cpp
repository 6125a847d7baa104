#include "zenuModule/src/HttpReqControl.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <thread>

#include "tests/support/Bombs.h"
#include "tests/support/HttpWait.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/RawHttpServer.h"
#include "tests/support/TempHome.h"
#include "zenuModule/src/HttpErrorText.h"
#include "zenuModule/src/IntfHttpReq.h"
#include "zenuModule/src/ProgramException.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/NetworkSense.h"

namespace {

std::string Pattern(size_t size) {
  std::string body(size, '\0');
  for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>('a' + (i * 7) % 26);
  return body;
}

std::string Text(const CBuffer& buf) { return std::string(buf.GetBufAddr(), buf.GetBufSize()); }

class HttpReqControlTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CHttpReqControl::SetStallSeconds(30);
    EXPECT_TRUE(WaitForWorkers());
  }
  CTempHome home;
  CIntfHttpReq* http = CIntfHttpReq::GetInstance();
};

CString RaisedText(const std::function<void()>& action) {
  try {
    action();
  } catch (CProgramException* e) {
    const CString text = e->GetError();
    e->Delete();
    return text;
  }
  return "(nothing raised)";
}

}  // namespace

TEST_F(HttpReqControlTest, BodyArrivesWithTheRequestLineAndTheFiveHeaders) {
  const std::string body = Pattern(300000);
  CRawHttpServer server([&](CRawHttpServer&, int fd, const std::string&) {
    CRawHttpServer::SendAll(fd, CRawHttpServer::Head(static_cast<long long>(body.size())) + body);
  });
  const unsigned long id =
      http->HttpRequest("http://127.0.0.1/files/a%20b.bin?x=1&y=2", server.Port());
  ASSERT_GT(id, 0u);
  SHttpOutcome outcome = WaitForRequest(id);
  ASSERT_TRUE(outcome.bDone);
  ASSERT_FALSE(outcome.bError) << outcome.strError;
  EXPECT_EQ(Text(outcome.buf), body);

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string expected =
      "GET /files/a%20b.bin?x=1&y=2 HTTP/1.1\r\n"
      "Host: 127.0.0.1:" +
      std::to_string(server.Port()) +
      "\r\n"
      "Accept: */*\r\n"
      "Accept-Language: zh-cn\r\n"
      "Accept-Encoding: gzip, deflate\r\n"
      "User-Agent: zenu\r\n"
      "Connection: Keep-Alive\r\n\r\n";
  EXPECT_EQ(requests[0], expected);

  // The entry went with the body: a second Receive finds nothing, and polling reports it gone.
  CBuffer again;
  EXPECT_FALSE(http->ReceiveHttp(id, again));
  CString error;
  EXPECT_TRUE(http->GetHttpError(id, error));
  EXPECT_EQ(error, "Can not find http info");
  SHttpState state;
  EXPECT_EQ(RaisedText([&] { http->GetHttpState(id, state); }),
            "调用对象," + std::to_string(id) + ",丢失数据!");
}

TEST_F(HttpReqControlTest, IdsCountUpAndEntriesLeaveTheTable) {
  CLoopbackHttpServer server;
  server.Server().Get("/x", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("xyz", "application/octet-stream");
  });
  ASSERT_TRUE(server.Start());
  const size_t before = CHttpReqControl::GetRequestCount();
  std::set<unsigned long> ids;
  unsigned long previous = 0;
  for (int i = 0; i < 5; ++i) {
    const unsigned long id = CHttpReqControl::GetInstance()->Request(server.Url("/x"));
    ASSERT_GT(id, 0u);
    if (previous) {
      EXPECT_EQ(id, previous + 1);
    }
    previous = id;
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 5u);
  EXPECT_EQ(CHttpReqControl::GetRequestCount(), before + 5);
  int received = 0;
  for (unsigned long id : ids) {
    SHttpOutcome outcome = WaitForRequest(id);
    ASSERT_TRUE(outcome.bDone);
    EXPECT_FALSE(outcome.bError) << outcome.strError;
    received += Text(outcome.buf) == "xyz";
  }
  EXPECT_EQ(received, 5);
  EXPECT_EQ(CHttpReqControl::GetRequestCount(), before);
  // A finished request leaves its final state readable until the body is taken.
  const unsigned long id = http->HttpRequest(server.Url("/x"), 80);
  EXPECT_EQ(id, previous + 1);
  for (int i = 0; i < 5000; ++i) {
    SHttpState state;
    ASSERT_TRUE(http->GetHttpState(id, state));
    if (state.dReceivedKB > 0) {
      EXPECT_DOUBLE_EQ(state.dReceivedKB, 3.0 / 1024);
      EXPECT_DOUBLE_EQ(state.dTotalKB, 3.0 / 1024);
      EXPECT_DOUBLE_EQ(state.dSpeedKB, 3.0 / 1024);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(WaitForRequest(id).bDone);
  // DelRequestInfo removes an entry outright.
  const unsigned long dropped = http->HttpRequest(server.Url("/x"), 80);
  http->DelRequestInfo(dropped);
  CString error;
  EXPECT_TRUE(http->GetHttpError(dropped, error));
  EXPECT_EQ(error, "Can not find http info");
}

TEST_F(HttpReqControlTest, StatusAndLengthRulesAndIllegalUrls) {
  CLoopbackHttpServer server;
  int followed = 0;
  server.Server().Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("text/plain", [](size_t, httplib::DataSink& sink) {
      sink.write("body without length", 19);
      sink.done();
      return true;
    });
  });
  server.Server().Get("/empty", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("", "text/plain");
  });
  server.Server().Get("/moved", [](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("/target");
  });
  server.Server().Get("/target", [&](const httplib::Request&, httplib::Response& res) {
    ++followed;
    res.set_content("target", "text/plain");
  });
  // Text is sent gzip-compressed for the Accept-Encoding of the request.
  server.Server().Get("/ok", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(std::string(5000, 'f') + "fine", "text/plain");
  });
  ASSERT_TRUE(server.Start());

  auto errorOf = [&](const CString& url) {
    SHttpOutcome outcome = WaitForRequest(http->HttpRequest(url, 80));
    EXPECT_TRUE(outcome.bDone && outcome.bError) << url;
    return outcome.strError;
  };
  EXPECT_EQ(errorOf(server.Url("/chunked")), "Request File Length is 0");
  EXPECT_EQ(errorOf(server.Url("/empty")), "Request File Length is 0");
  EXPECT_EQ(
      errorOf(server.Url("/moved")),
      server.Url("/moved") + ",\nSendRequest() has a Exception.QueryInfoStatusCode() Return:302");
  EXPECT_EQ(followed, 0);
  const CString missing = server.Url("/no%25such");
  EXPECT_EQ(errorOf(missing),
            missing + ",\nSendRequest() has a Exception.QueryInfoStatusCode() Return:404");
  EXPECT_EQ(errorOf("ftp://127.0.0.1/file"), "Illegal Url:ftp://127.0.0.1/file");
  EXPECT_EQ(errorOf("no url at all"), "Illegal Url:no url at all");
  EXPECT_EQ(errorOf("gopher://127.0.0.1/x"), "Illegal Url:gopher://127.0.0.1/x");
  // The full text, with the worker's call-stack line, is in the error log.
  EXPECT_NE(home.ErrorLog().find("CallStack: HttpReqControl.cpp, CHttpReqControl::HttpThread"),
            CString::npos);

  // The synchronous form: same exchange, its own texts.
  CString result;
  EXPECT_TRUE(http->HttpRequestSync("http://127.0.0.1/ok", server.Port(), result));
  EXPECT_EQ(result, std::string(5000, 'f') + "fine");
  SHttpOutcome decoded = WaitForRequest(http->HttpRequest(server.Url("/ok"), 80));
  EXPECT_EQ(Text(decoded.buf), std::string(5000, 'f') + "fine");
  EXPECT_FALSE(http->HttpRequestSync(server.Url("/moved"), 80, result));
  EXPECT_EQ(result, "OpenUrlSync: " + server.Url("/moved") + ", error::302");
  EXPECT_EQ(followed, 0);
  EXPECT_EQ(RaisedText([&] { http->HttpRequestSync(server.Url("/chunked"), 80, result); }),
            "Request File Length is 0");
  EXPECT_EQ(RaisedText([&] { http->HttpRequestSync("ftp://127.0.0.1/f", 80, result); }),
            "Illegal Url:ftp://127.0.0.1/f");
  const int closed = CLoopbackHttpServer::UnusedPort();
  EXPECT_FALSE(http->HttpRequestSync("http://127.0.0.1/ok", closed, result));
  // A server that cannot be reached is named with the reason, for the user.
  const CString refused = StringFormat("Error 7: 无法连接服务器 127.0.0.1:%d：连接被拒绝", closed);
  EXPECT_EQ(result, refused);
  EXPECT_EQ(errorOf("http://127.0.0.1:" + std::to_string(closed) + "/ok"), refused);
  EXPECT_EQ(HttpErrorForUser(refused), refused.substr(9));
  EXPECT_EQ(HttpErrorForUser("Error 56: Recv failure"), "网络错误");
  EXPECT_EQ(UnreachableServerText("http://movies.lan/u", CURLE_COULDNT_RESOLVE_HOST, 0, false),
            "无法连接服务器 movies.lan:80：找不到该主机名");
  EXPECT_EQ(
      UnreachableServerText("http://[fd00::5]:88/", CURLE_COULDNT_CONNECT, EHOSTUNREACH, false),
      "无法连接服务器 [fd00::5]:88：没有到该主机的路由");
  EXPECT_EQ(UnreachableServerText("http://h:1/", CURLE_OPERATION_TIMEDOUT, 0, false),
            "无法连接服务器 h:1：连接超时");
  EXPECT_EQ(UnreachableServerText("http://h:1/", CURLE_OPERATION_TIMEDOUT, 0, true), "");
  // A certificate that does not verify is named likewise, never passed over.
  const CString untrusted =
      TlsFailureText("https://movies.lan/u", CURLE_PEER_FAILED_VERIFICATION, 20, "SSL problem");
  EXPECT_EQ(untrusted, "证书无法验证：movies.lan:443：证书的颁发机构不受信任");
  EXPECT_EQ(HttpErrorForUser("Error 60: " + untrusted), untrusted);
  EXPECT_EQ(TlsFailureText("https://h:2/", CURLE_PEER_FAILED_VERIFICATION, 9999, "odd"),
            "证书无法验证：h:2：odd");
}

TEST_F(HttpReqControlTest, MisbehavingServersEndWithAnErrorAfterABoundedStall) {
  CHttpReqControl::SetStallSeconds(1);
  // Fewer bytes than announced, then the end of the connection.
  CRawHttpServer shortBody([](CRawHttpServer&, int fd, const std::string&) {
    CRawHttpServer::SendAll(fd, CRawHttpServer::Head(100) + std::string(40, 'x'));
    ::shutdown(fd, SHUT_RDWR);
  });
  // Accepts, reads the request, and says nothing.
  CRawHttpServer silent([](CRawHttpServer& self, int, const std::string&) { self.Pause(60000); });
  // Stops in the middle of the body and keeps the connection open.
  CRawHttpServer midBody([](CRawHttpServer& self, int fd, const std::string&) {
    CRawHttpServer::SendAll(fd, CRawHttpServer::Head(100000) + std::string(50000, 'y'));
    self.Pause(60000);
  });

  const auto start = std::chrono::steady_clock::now();
  SHttpOutcome cut = WaitForRequest(http->HttpRequest(shortBody.Url("/f"), 80));
  ASSERT_TRUE(cut.bDone);
  EXPECT_TRUE(cut.bError);
  EXPECT_EQ(cut.strError.rfind("Error 18: ", 0), 0u) << cut.strError;

  const unsigned long quietId = http->HttpRequest(silent.Url("/f"), 80);
  const unsigned long stuckId = http->HttpRequest(midBody.Url("/f"), 80);
  SHttpOutcome quiet = WaitForRequest(quietId);
  SHttpOutcome stuck = WaitForRequest(stuckId);
  ASSERT_TRUE(quiet.bDone && stuck.bDone);
  EXPECT_EQ(quiet.strError.rfind("Error 28: ", 0), 0u) << quiet.strError;
  EXPECT_EQ(stuck.strError.rfind("Error 28: ", 0), 0u) << stuck.strError;

  CString result;
  EXPECT_FALSE(http->HttpRequestSync(silent.Url("/f"), 80, result));
  EXPECT_EQ(result.rfind("Error 28: ", 0), 0u) << result;
  EXPECT_FALSE(http->HttpRequestSync(shortBody.Url("/f"), 80, result));
  EXPECT_EQ(result.rfind("Error 18: ", 0), 0u) << result;
  // Every one of them ended on the one-second bound, far from the default 30 s.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST_F(HttpReqControlTest, HostileAnswersEndAtTheirCapWithAClearText) {
  // A gzip body that would grow to a gigabyte, and an endless header section.
  const std::string bomb = GzipZeros(size_t(1) << 30);
  CRawHttpServer inflating([&bomb](CRawHttpServer&, int fd, const std::string&) {
    CRawHttpServer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
                                    std::to_string(bomb.size()) + "\r\n\r\n" + bomb);
  });
  CRawHttpServer headers([](CRawHttpServer& self, int fd, const std::string&) {
    std::string block = "HTTP/1.1 200 OK\r\n";
    while (block.size() < 64 * 1024) block += "X-Flood: " + std::string(100, 'h') + "\r\n";
    for (int i = 0; i < 4096 && !self.Stopping(); ++i) {
      if (!CRawHttpServer::SendAll(fd, block)) break;
    }
  });
  const CString tooLarge = "服务器返回的数据超过了16 MB的上限，已停止接收";
  long grown = 0;  // the most one exchange made the peak grow
  auto measured = [&grown](const std::function<void()>& exchange) {
    ResetPeakRss();
    const long before = PeakRssKb();
    exchange();
    grown = std::max(grown, PeakRssKb() - before);
  };
  for (CRawHttpServer* server : {&inflating, &headers}) {
    measured([&] {
      const SHttpOutcome outcome =
          WaitForRequest(http->HttpRequest(server->Url("/update.ini"), 80));
      ASSERT_TRUE(outcome.bDone);
      EXPECT_TRUE(outcome.bError);
      EXPECT_EQ(outcome.strError, tooLarge);
    });
    measured([&] {
      CString result;
      EXPECT_FALSE(http->HttpRequestSync(server->Url("/update.ini"), 80, result));
      EXPECT_EQ(result, tooLarge);
    });
  }
#ifndef __SANITIZE_ADDRESS__
  // AddressSanitizer keeps freed blocks for a while: the figure means something only without it.
  std::printf("hostile answers: peak memory grew by %ld kB at most\n", grown);
  EXPECT_LT(grown, 100 * 1024);
#else
  (void)grown;
#endif
}

TEST_F(HttpReqControlTest, ExitSignsStopLargeAndStalledTransfers) {
  // An endless body at a steady pace: only the exit sign can end it.
  CRawHttpServer endless([](CRawHttpServer& self, int fd, const std::string&) {
    if (!CRawHttpServer::SendAll(fd, CRawHttpServer::Head(1LL << 40))) return;
    const std::string piece(64 * 1024, 'z');
    while (self.Pause(2) && CRawHttpServer::SendAll(fd, piece)) {
    }
  });
  CRawHttpServer silent([](CRawHttpServer& self, int, const std::string&) { self.Pause(60000); });

  unsigned long ids[3];
  for (auto& id : ids) id = http->HttpRequest(endless.Url("/big"), 80);
  const unsigned long quietId = http->HttpRequest(silent.Url("/quiet"), 80);
  EXPECT_EQ(CHttpReqControl::GetThreadCount(), 4);
  for (unsigned long id : ids) {
    SHttpState state;
    for (int i = 0; i < 5000 && state.dReceivedKB < 256; ++i) {
      ASSERT_TRUE(http->GetHttpState(id, state));
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_GE(state.dReceivedKB, 256.0);
    EXPECT_DOUBLE_EQ(state.dTotalKB, static_cast<double>(1LL << 40) / 1024);
    EXPECT_GT(state.dSpeedKB, 0.0);
  }
  CString error;
  EXPECT_FALSE(http->GetHttpError(ids[0], error));

  // One request alone first, then all of them: the silent one ends too, long before
  // its 30-second stall bound.
  const auto start = std::chrono::steady_clock::now();
  http->ExitHTTP(quietId);
  SHttpOutcome quiet = WaitForRequest(quietId);
  EXPECT_EQ(quiet.strError, "下载线程根据指令提前结束数据接收");
  http->ExitAllHTTP();
  ASSERT_TRUE(WaitForWorkers());
  EXPECT_EQ(CHttpReqControl::GetThreadCount(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  for (unsigned long id : ids) {
    // The entries stay until somebody removes them.
    EXPECT_TRUE(http->GetHttpError(id, error));
    EXPECT_EQ(error, "下载线程根据指令提前结束数据接收");
    http->DelRequestInfo(id);
  }
}

namespace {
class CScriptedSense final : public INetworkSense {
 public:
  CScriptedSense() { SetNetworkSense(this); }
  ~CScriptedSense() override { SetNetworkSense(nullptr); }
  bool IsNetworkAlive() override {
    ++calls;
    return alive;
  }
  bool alive = false;
  int calls = 0;
};
}  // namespace

TEST_F(HttpReqControlTest, CheckNetAsksTheNetworkSense) {
  {
    CScriptedSense sense;
    EXPECT_EQ(http->CheckNet(), FALSE);
    sense.alive = true;
    EXPECT_EQ(http->CheckNet(), TRUE);
    EXPECT_EQ(sense.calls, 2);
  }
  // Without a fake the system's answer is used; the loopback interface alone never counts.
  EXPECT_EQ(&NetworkSense(), &SystemNetworkSense());
}
