// The web panes' addresses, a real page from a loopback server, and page scripts.
#include "ui/panels/WebPanels.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "tests/support/LoopbackHttpServer.h"
#include "zenuModule/src/ProcessValues.h"

TEST(WebPanelUrls, PagesOfTheThreePanes) {
  EXPECT_EQ(HelpPageUrl("/opt/vadeko/").toString(), "file:///opt/vadeko/help/index.html");
  EXPECT_EQ(HelpPageUrl("/opt/va deko/").toString(QUrl::FullyEncoded),
            "file:///opt/va%20deko/help/index.html");
  EXPECT_EQ(SearchPageUrl("http://127.0.0.1:8123").toString(),
            "http://127.0.0.1:8123/search_home.html");
  EXPECT_EQ(FriendPageUrl("http://127.0.0.1:8123").toString(),
            "http://127.0.0.1:8123/friend_search.html");
}

namespace {
class WebPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.Server().Get("/search_home.html", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(
          "<html><head><title>search</title><script>"
          "function join(a,b){return a+'|'+b;}"
          "</script></head><body>find</body></html>",
          "text/html; charset=utf-8");
    });
    ASSERT_TRUE(server.Start());
    CProcessValues::SetLocalSrvBaseUrl("http://127.0.0.1:" + std::to_string(server.Port()));
  }
  void TearDown() override { CProcessValues::Reset(); }
  bool Load(CWebPanelView& view) {
    QSignalSpy finished(&view, &QWebEngineView::loadFinished);
    view.load(view.PageUrl());
    return finished.wait(30000) && finished.first().first().toBool();
  }
  QVariant Run(CWebPanelView& view, const QString& fn, const QStringList& params) {
    QVariant result;
    bool done = false;
    view.RunScript(fn, params, [&](const QVariant& v) {
      result = v;
      done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
    return result;
  }
  CLoopbackHttpServer server;
};
}  // namespace

TEST_F(WebPanelTest, SearchPaneLoadsFromTheLocalServerAndRunsScripts) {
  CWebPanelView view(CWebPanelView::kSearch);
  view.resize(400, 300);
  ASSERT_TRUE(Load(view));
  EXPECT_EQ(view.title(), QStringLiteral("search"));
  EXPECT_EQ(view.LastHttpError(), 0);

  // Arguments arrive in order, quotes and all.
  EXPECT_EQ(Run(view, "join", {"a", "b"}).toString(), QStringLiteral("a|b"));
  EXPECT_EQ(Run(view, "join", {"it's", "\"x\"\n"}).toString(), QStringLiteral("it's|\"x\"\n"));
  const QVariantMap missing = Run(view, "nothere", {}).toMap();
  EXPECT_TRUE(missing.value("error").toString().startsWith("JSCall Error:\n"))
      << missing.value("error").toString().toStdString();
}

TEST_F(WebPanelTest, FriendPaneReportsAMissingPage) {
  CWebPanelView view(CWebPanelView::kFriend);
  QSignalSpy finished(&view, &QWebEngineView::loadFinished);
  view.load(view.PageUrl());
  ASSERT_TRUE(finished.wait(30000));
  EXPECT_EQ(view.LastHttpError(), 404);
}
