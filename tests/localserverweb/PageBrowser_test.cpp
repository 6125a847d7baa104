#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <cstdlib>
#include <memory>

#include "WebRig.h"

namespace {
// A page that keeps the script errors it reports.
class CRecordingPage final : public QWebEnginePage {
 public:
  QStringList errors;

 protected:
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                int line, const QString& source) override {
    if (level == ErrorMessageLevel)
      errors << QStringLiteral("%1:%2: %3").arg(source).arg(line).arg(message);
  }
};

class PageBrowser : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    page = new CRecordingPage();
    // A thunder:// link must not leave the test for the desktop's handler.
    page->settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
    QObject::connect(page, &QWebEnginePage::loadingChanged, [](const QWebEngineLoadingInfo& info) {
      if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) return;
      lastStatus = info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain
                       ? info.errorCode()
                       : (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus ? 200 : -1);
      loaded = true;
    });
  }
  static void TearDownTestSuite() {
    delete page;
    page = nullptr;
  }
  void SetUp() override {
    rig = &CWebRig::Get();
    ASSERT_TRUE(rig->Ok()) << rig->Error();
    rig->ClearList("alice");
    page->errors.clear();
  }
  void TearDown() override {
    EXPECT_TRUE(page->errors.isEmpty()) << page->errors.join("\n").toStdString();
  }

  // Loads a page of the component; the HTTP status it came with.
  int Load(const std::string& path) {
    loaded = false;
    lastStatus = 0;
    page->load(QUrl(QString::fromStdString(rig->BaseUrl() + path)));
    if (!WaitFor([] { return loaded; }, 15000)) return -2;
    return lastStatus;
  }
  QVariant Js(const std::string& script) {
    QVariant result;
    bool done = false;
    page->runJavaScript(QString::fromStdString(script), [&](const QVariant& v) {
      result = v;
      done = true;
    });
    WaitFor([&] { return done; }, 8000);
    return result;
  }
  // Generous: a page's round trips through the local server and the service are slow on a
  // busy machine, and the wait ends as soon as the condition holds.
  bool WaitJs(const std::string& condition, int ms = 20000) {
    return WaitFor([&] { return Js("!!(" + condition + ")").toBool(); }, ms);
  }
  void Click(const std::string& selector) {
    ASSERT_TRUE(Js("(function(){var e=document.querySelector('" + selector +
                   "'); if(!e) return false; e.click(); return true;})()")
                    .toBool())
        << selector;
  }
  size_t Mark() const { return rig->Orvex().commands.size(); }

  static CRecordingPage* page;
  static bool loaded;
  static int lastStatus;
  CWebRig* rig = nullptr;
};
CRecordingPage* PageBrowser::page = nullptr;
bool PageBrowser::loaded = false;
int PageBrowser::lastStatus = 0;
}  // namespace

TEST_F(PageBrowser, SearchFindsAMovieAndPushNowSendsItToTheClient) {
  ASSERT_EQ(Load("/search_home.html"), 200);
  ASSERT_TRUE(WaitJs("document.querySelectorAll('#kindChips .chip').length === 12"));
  const int movie = rig->BtMovie();
  const std::string title = rig->TitleOf(movie);
  Js("document.getElementById('q').value = '" + title + "'");
  Click("#searchButton");
  const std::string button = "#results .push[data-id=\"" + std::to_string(movie) + "\"]";
  ASSERT_TRUE(WaitJs("document.querySelector('" + button + "')"));
  const size_t from = Mark();
  Click(button);
  Json::Value cmd;
  ASSERT_TRUE(rig->WaitCommand(2, from, cmd));
  EXPECT_EQ(cmd["DICT_MOVIE"]["INT_MOVIE_ID"].asInt(), movie);
  EXPECT_EQ(cmd["DICT_MOVIE"]["UTF8_MOVIE_NAME"].asString(), title);
  EXPECT_EQ(cmd["DICT_MOVIE"]["INT_FETCH_METHOD"].asInt(), 1);
  EXPECT_TRUE(WaitJs("document.querySelector('" + button + "').textContent === '已推送'"));
  // Once it is in the client's list, a search says so and offers no push.
  ASSERT_TRUE(rig->PutInList("alice", movie));
  Click("#searchButton");
  EXPECT_TRUE(WaitJs("document.querySelector('" + button + "') && document.querySelector('" +
                     button + "').textContent === '已在列表中' && document.querySelector('" +
                     button + "').disabled"));
}

TEST_F(PageBrowser, BulletinRatingIsPickedWrittenThenSentAndShownAgain) {
  const int movie = rig->BtMovie();
  ASSERT_EQ(Load("/Bulletin?strAction=View&iMovieID=" + std::to_string(movie)), 200);
  EXPECT_EQ(Js("typeof window.StartThunderDownload").toString(), "undefined");
  EXPECT_EQ(Js("document.querySelector('h1').textContent")
                .toString()
                .toStdString()
                .find(rig->TitleOf(movie)),
            0u);
  EXPECT_TRUE(Js("document.getElementById('btnRate').disabled").toBool());

  // Picking a score sends nothing: the comment may still be written.
  size_t from = Mark();
  Click("#score4");
  EXPECT_TRUE(WaitJs("document.getElementById('score4').classList.contains('chosen')"));
  Js("document.getElementById('comment').value = '配乐很棒'; "
     "document.getElementById('recommendAll').checked = true;");
  Click("#btnRate");
  Json::Value cmd;
  ASSERT_TRUE(rig->WaitCommand(10, from, cmd));
  EXPECT_EQ(rig->Orvex().Of(10, from).size(), 1u);
  EXPECT_EQ(cmd["INT_MOVIE_ID"].asInt(), movie);
  EXPECT_EQ(cmd["INT_EVAL"].asInt(), 4);
  EXPECT_EQ(cmd["INT_IS_RMD_ALL"].asInt(), 1);
  EXPECT_EQ(cmd["UTF8_COMMENT"].asString(), "配乐很棒");
  // Saved only once the service has it (here the test reports it, as the client would).
  EXPECT_FALSE(Js("document.getElementById('rateStatus').classList.contains('ok')").toBool());
  ASSERT_TRUE(rig->Rate("alice", movie, 4, true, "配乐很棒"));
  EXPECT_TRUE(WaitJs("document.getElementById('rateStatus').classList.contains('ok')", 15000));
  EXPECT_TRUE(WaitJs("document.getElementById('average').textContent.indexOf('1人评价') >= 0"));

  // Opened again: the user's own rating is there.
  ASSERT_EQ(Load("/Bulletin?strAction=View&iMovieID=" + std::to_string(movie)), 200);
  EXPECT_TRUE(Js("document.getElementById('score4').classList.contains('chosen')").toBool());
  EXPECT_EQ(Js("document.getElementById('comment').value").toString(), QStringLiteral("配乐很棒"));
  EXPECT_TRUE(Js("document.getElementById('myRating').textContent.indexOf('您已评价：4分') === 0")
                  .toBool());

  // The page says what the client did, as the list shows it: a start...
  ASSERT_TRUE(rig->PutInList("alice", movie, 32));
  ASSERT_EQ(Load("/Bulletin?strAction=View&iMovieID=" + std::to_string(movie)), 200);
  from = Mark();
  Click("#btnDownload");
  ASSERT_TRUE(rig->WaitCommand(20, from, cmd));
  EXPECT_EQ(cmd["INT_CLIENT_ID"].asInt(), 1);
  EXPECT_EQ(cmd["INT_FETCH_METHOD"].asInt(), 1);
  EXPECT_TRUE(WaitJs("document.getElementById('status').textContent.indexOf('等待') >= 0"));
  ASSERT_TRUE(rig->PutInList("alice", movie, 4));
  EXPECT_TRUE(
      WaitJs("document.getElementById('status').textContent === 'Vadeko "
             "正在下载这部电影，进度见“正下载”。'"));
  EXPECT_TRUE(Js("document.getElementById('btnThunder') === null").toBool());

  // ...or a refusal (the client told the user why in its own window).
  ASSERT_TRUE(rig->PutInList("alice", movie, 32));
  ASSERT_EQ(Load("/Bulletin?strAction=View&iMovieID=" + std::to_string(movie)), 200);
  Js("document.body.setAttribute('data-wait-ms', '1500')");
  from = Mark();
  Click("#btnThunder");
  ASSERT_TRUE(rig->WaitCommand(20, from, cmd));
  EXPECT_EQ(cmd["INT_CLIENT_ID"].asInt(), 0);
  EXPECT_TRUE(
      WaitJs("document.getElementById('status').textContent === "
             "'Vadeko 没有把这部电影交给迅雷，请看 Vadeko 窗口中的提示。'"));
  EXPECT_TRUE(Js("document.getElementById('status').textContent.indexOf('已请求') < 0").toBool());

  // A downloaded movie offers no download: it is played from the list.
  ASSERT_TRUE(rig->PutInList("alice", movie, 2));
  ASSERT_EQ(Load("/Bulletin?strAction=View&iMovieID=" + std::to_string(movie)), 200);
  EXPECT_TRUE(Js("document.getElementById('btnDownload') === null && "
                 "document.getElementById('btnThunder') === null")
                  .toBool());
  EXPECT_TRUE(Js("document.getElementById('status').textContent.indexOf('双击') > 0").toBool());
  EXPECT_TRUE(Js("document.getElementById('btnStream') === null").toBool());

  // While our own download runs, "边下边播" asks the client to open its player.
  ASSERT_TRUE(rig->PutInList("alice", movie, 4));
  ASSERT_EQ(Load("/Bulletin?strAction=View&iMovieID=" + std::to_string(movie)), 200);
  from = Mark();
  Click("#btnStream");
  ASSERT_TRUE(rig->WaitCommand(21, from, cmd));
  EXPECT_EQ(cmd["INT_MOVIE_ID"].asInt(), movie);
  EXPECT_TRUE(WaitJs("document.getElementById('status').textContent.indexOf('已请 Vadeko') === 0"));
  // Stopped meanwhile: the local server refuses, and the page says why.
  ASSERT_TRUE(rig->PutInList("alice", movie, 20));
  Js("document.getElementById('btnStream').disabled = false");
  Click("#btnStream");
  EXPECT_TRUE(
      WaitJs("document.getElementById('status').textContent === "
             "'这部电影不在下载中，不能边下边播'"));
}

TEST_F(PageBrowser, DownloadManagerMoviesDefineStartThunderDownload) {
  const int movie = rig->ThunderMovie();
  ASSERT_EQ(Load("/Bulletin?strAction=View&iMovieID=" + std::to_string(movie)), 200);
  EXPECT_EQ(Js("typeof window.StartThunderDownload").toString(), "function");
  EXPECT_EQ(Js("document.getElementById('btnDownload')").isNull(), true);
  const size_t from = Mark();
  Click("#btnThunder");
  Json::Value cmd;
  ASSERT_TRUE(rig->WaitCommand(20, from, cmd));
  EXPECT_EQ(cmd["INT_CLIENT_ID"].asInt(), 0);
  EXPECT_EQ(cmd["INT_FETCH_METHOD"].asInt(), 5);
  // What the client's bulletin view calls; the link goes to the download manager.
  EXPECT_EQ(Js("StartThunderDownload()").toBool(), true);
  EXPECT_TRUE(WaitJs("document.getElementById('status').classList.contains('ok')"));
  page->errors.clear();  // the refused thunder: link is reported as an error
}

TEST_F(PageBrowser, UnknownMovieIsA404) {
  EXPECT_EQ(Load("/Bulletin?strAction=View&iMovieID=999999"), 404);
  page->errors.clear();
}

TEST_F(PageBrowser, PushMethodPageShowsTheCurrentMethodAndMayKeepIt) {
  // No method yet: one must be chosen, so there is nothing to confirm before.
  ASSERT_EQ(Load("/dialog/choose_push_method.htm"), 200);
  EXPECT_FALSE(WaitJs("document.getElementById('ButtonOK')", 1500));
  // The dialog cannot be closed yet, and the page says why.
  EXPECT_TRUE(WaitJs(
      "document.getElementById('status').textContent.indexOf('请先选择一种推送方式') === 0"));
  size_t from = Mark();
  Click("#method1");
  Json::Value cmd;
  ASSERT_TRUE(rig->WaitCommand(111, from, cmd));
  EXPECT_TRUE(WaitJs("document.getElementById('ButtonOK')"));
  EXPECT_EQ(rig->ServiceJson("/api/v1/users/settings?username=alice")["push_method"].asInt(), 1);

  // Opened again: the current method is marked and OK keeps it.
  ASSERT_EQ(Load("/dialog/choose_push_method.htm"), 200);
  ASSERT_TRUE(
      WaitJs("document.getElementById('ButtonOK') && "
             "document.getElementById('ButtonOK').getAttribute('data-keep')"));
  EXPECT_TRUE(Js("document.getElementById('method1').classList.contains('current')").toBool());
  EXPECT_FALSE(Js("document.getElementById('method2').classList.contains('current')").toBool());
  // Another one still can be chosen; OK then confirms the change.
  from = Mark();
  Click("#method2");
  ASSERT_TRUE(rig->WaitCommand(112, from, cmd));
  EXPECT_TRUE(WaitJs("!document.getElementById('ButtonOK').getAttribute('data-keep')"));
  EXPECT_EQ(rig->ServiceJson("/api/v1/users/settings?username=alice")["push_method"].asInt(), 2);
  // The badge moves with the choice; once the kinds are saved (in their own
  // page) this one no longer asks for them.
  EXPECT_TRUE(Js("document.getElementById('method2').classList.contains('current') && "
                 "!document.getElementById('method1').classList.contains('current') && "
                 "document.querySelectorAll('.badge').length === 1")
                  .toBool());
  auto saved = rig->Action("kinds/save", R"({"kinds": [1, 2]})");
  ASSERT_TRUE(saved && saved->status == 200);
  EXPECT_TRUE(WaitJs(
      "document.getElementById('status').textContent.indexOf('已选择按电影类型推送：') === 0",
      15000));
}

TEST_F(PageBrowser, MovieTypePageSavesTheKindsThenShowsButtonOK) {
  ASSERT_EQ(Load("/dialog/choose_movie_type.htm"), 200);
  ASSERT_TRUE(WaitJs("document.querySelectorAll('#kinds input').length === 12"));
  EXPECT_TRUE(Js("document.getElementById('ButtonOK') === null").toBool());
  // Nothing chosen (whatever an earlier test saved): the page refuses by itself.
  Js("document.querySelectorAll('#kinds input').forEach(function (b) { b.checked = false; });");
  Click("#saveKinds");
  EXPECT_TRUE(WaitJs("document.getElementById('status').classList.contains('error')"));
  Js("document.getElementById('kind2').checked = true; document.getElementById('kind5').checked = "
     "true;");
  Click("#saveKinds");
  ASSERT_TRUE(WaitJs("document.getElementById('ButtonOK')"));
  const Json::Value settings = rig->ServiceJson("/api/v1/users/settings?username=alice");
  ASSERT_EQ(settings["kinds"].size(), 2u);
  EXPECT_EQ(settings["kinds"][0]["id"].asInt(), 2);
  EXPECT_EQ(settings["kinds"][1]["id"].asInt(), 5);
  EXPECT_EQ(settings["push_method"].asInt(), 2);
}

TEST_F(PageBrowser, FriendPageFollowsSeesRecommendationsAndPushesThem) {
  ASSERT_TRUE(rig->Rate("张三", rig->ThunderMovie(), 5, true, "值得一看"));
  ASSERT_EQ(Load("/friend_search.html"), 200);
  ASSERT_TRUE(WaitJs("document.querySelector('#following .empty')"));
  Js("document.getElementById('userQuery').value = '张'");
  Click("#userSearchButton");
  ASSERT_TRUE(WaitJs("document.querySelector('#userResults .follow')"));
  Click("#userResults .follow");
  ASSERT_TRUE(WaitJs("document.querySelector('#following li[data-name=\"张三\"]')"));
  const std::string push =
      "#recommendations .push[data-id=\"" + std::to_string(rig->ThunderMovie()) + "\"]";
  ASSERT_TRUE(WaitJs("document.querySelector('" + push + "')"));
  const size_t from = Mark();
  Click(push);
  Json::Value cmd;
  ASSERT_TRUE(rig->WaitCommand(2, from, cmd));
  EXPECT_EQ(cmd["DICT_MOVIE"]["INT_MOVIE_ID"].asInt(), rig->ThunderMovie());
  EXPECT_EQ(cmd["DICT_MOVIE"]["INT_FETCH_METHOD"].asInt(), 5);
  Click("#following .unfollow");
  EXPECT_TRUE(WaitJs("document.querySelector('#following .empty')"));
}

TEST_F(PageBrowser, CalcProgressPageCountsWithoutButtonOK) {
  ASSERT_EQ(Load("/dialog/calc_progress.htm"), 200);
  EXPECT_TRUE(WaitJs("Number(document.getElementById('elapsed').textContent) >= 1", 4000));
  EXPECT_TRUE(Js("document.getElementById('ButtonOK') === null").toBool());
}

// Pictures of the pages for a human eye; only when asked for.
TEST_F(PageBrowser, Screenshots) {
  const char* dir = std::getenv("VADEKO_SCREENSHOT_DIR");
  if (!dir) GTEST_SKIP() << "set VADEKO_SCREENSHOT_DIR to write screenshots";
  QWebEngineView view;
  view.resize(1000, 760);
  view.show();
  const std::vector<std::pair<std::string, std::string>> pages = {
      {"search", "/search_home.html"},
      {"friends", "/friend_search.html"},
      {"bulletin", "/Bulletin?strAction=View&iMovieID=" + std::to_string(rig->BtMovie())},
      {"bulletin_thunder",
       "/Bulletin?strAction=View&iMovieID=" + std::to_string(rig->ThunderMovie())},
      {"push_method", "/dialog/choose_push_method.htm"},
      {"movie_type", "/dialog/choose_movie_type.htm"},
      {"calc", "/dialog/calc_progress.htm"},
      {"help", "file://" + std::string(VADEKO_PROGRAM_DIR) + "/help/index.html"},
      {"null_bulletin", "file://" + std::string(VADEKO_PROGRAM_DIR) + "/DATA/NULL_BULLETIN.HTM"}};
  for (const auto& [name, path] : pages) {
    bool done = false;
    auto connection = QObject::connect(&view, &QWebEngineView::loadFinished, [&] { done = true; });
    view.load(
        QUrl(QString::fromStdString(path.rfind("file:", 0) == 0 ? path : rig->BaseUrl() + path)));
    WaitFor([&] { return done; }, 15000);
    QObject::disconnect(connection);
    if (name == "search") {
      view.page()->runJavaScript(
          "document.getElementById('q').value='喜剧';document.getElementById('searchButton').click("
          ");");
    }
    Pump(1500);
    view.grab().save(QDir(dir).filePath(QString::fromStdString(name) + ".png"));
  }
}
