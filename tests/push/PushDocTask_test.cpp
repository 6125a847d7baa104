#include <deque>
#include <fstream>
#include <mutex>
#include <utility>

#include "app/MainDoc.h"
#include "eval/EvalDoc.h"
#include "prompt/PromptMgrDoc.h"
#include "settings/ConfigDoc.h"
#include "store/MultiUserMgr.h"
#include "tests/push/PushFixture.h"
#include "tests/support/HttpWait.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/RecordingMainFrame.h"
#include "tests/support/ScriptedPromptDialogs.h"
#include "tests/support/VirtualLoop.h"
#include "zenuModule/src/IntfScheduleControl.h"
#include "zenuModule/src/IntfUpdateControl.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/TimerControl.h"
#include "zenuModule/src/desktop/HtmlDialog.h"
#include "zenuModule/src/desktop/IniFile.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
// Page dialogs and the new-movie question: they record what they show and run
// the test's script while the page is open.
class CScriptedPages final : public IHtmlDialogView, public INewTaskDialog {
 public:
  struct SOpen {
    CString name, url;
    int width, height;
  };
  CScriptedPages() {
    SetHtmlDialogView(this);
    SetNewTaskDialog(this);
  }
  ~CScriptedPages() override {
    SetHtmlDialogView(nullptr);
    SetNewTaskDialog(nullptr);
  }
  void Open(CCenterHTMLDialog* dlg, const CString& url, int w, int h) override {
    opens.push_back({dlg->GetName(), url, w, h});
    ++open;
    auto script = scripts.count(dlg->GetName()) ? scripts[dlg->GetName()]
                                                : [](CCenterHTMLDialog* d) { d->EndDialog(1); };
    CPlatform::Loop()->Post([script, dlg] { script(dlg); });
  }
  void Close(CCenterHTMLDialog*) override { --open; }
  int DoModal(const CString& text) override {
    questions.push_back(text);
    if (whileOpen) std::exchange(whileOpen, nullptr)();
    if (answers.empty()) return IDOK;
    int a = answers.front();
    answers.pop_front();
    return a;
  }
  std::map<CString, std::function<void(CCenterHTMLDialog*)>> scripts;
  std::vector<SOpen> opens;
  std::vector<CString> questions;
  std::deque<int> answers;
  std::function<void()> whileOpen;
  int open = 0;
};

CString Movie(const CString& gid, const CString& title, const CString& expect = "3.5") {
  return "<movie gid=\"" + gid +
         "\" file_name=\"f.rmvb\" bt_seed_url=\"http://h/t\" "
         "task_display_name=\"" +
         title + "\" expect_eval=\"" + expect +
         "\" size=\"700M\" bulletin_url=\"http://h/b\" use_public_torrent=\"1\" "
         "store_name=\"s\" fetch_method=\"1\" fetch_url=\"http://f\"/>";
}
CString Doc(const CString& movies) { return "<tasks>" + movies + "</tasks>"; }
std::vector<uint32_t> G2(uint32_t a, uint32_t b) { return {a, b}; }
}  // namespace

class PushTaskTest : public PushTest {
 protected:
  PushTaskTest() {
    CPlatform::SetMainWindowCreated(true);
    CTimerControl::ResetInstance();
    CIntfScheduleControl::ResetInstance();
    CEvalDoc::ResetInstance();
    CMainDoc::GetInstance()->SetMainFrame(&main);
    CPushDoc::GetInstance()->SetSession(CMainDoc::GetInstance());
    CEvalDoc::GetInstance()->SetSession(CMainDoc::GetInstance());
    CPromptMgrDoc::GetInstance()->SetSession(CMainDoc::GetInstance());
    server.Server().Get("/ReqTask", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(m_mutex);
      requests.push_back(req.target);
      res.set_content(answer, "application/json");
    });
    EXPECT_TRUE(server.Start());
    CProcessValues::SetLocalSrvBaseUrl("http://127.0.0.1:" + std::to_string(server.Port()));
    CProcessValues::SetRemoteSrvHost("127.0.0.1");
    CProcessValues::SetRemoteSrvPort(server.Port());
    std::ofstream(home.Path() + "UI.ini")
        << "[CalcProgressDlg]\nwidth=400\nheight=300\n[ChooseMDlg]\nwidth=600\nheight=420\n"
           "[ChooseMovieTypeDlg]\nwidth=640\nheight=480\n";
  }
  ~PushTaskTest() override {
    CPushDoc::ResetInstance();
    CIntfUpdateControl::ResetInstance();
    EXPECT_TRUE(WaitForWorkers());
    CMainDoc::GetInstance()->SetMainFrame(nullptr);
    CIntfScheduleControl::ResetInstance();
    CTimerControl::ResetInstance();
    CEvalDoc::ResetInstance();
    CPlatform::SetMainWindowCreated(false);
  }
  std::vector<CString> Requests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return requests;
  }
  CString Pane(int pane) {
    for (auto it = main.events.rbegin(); it != main.events.rend(); ++it)
      if (it->iType == 4 && it->iParam == pane) return it->strText;
    return "<none>";
  }
  void Event(int id, const CString& text = "") {
    CString copy(text);  // the service copies the text at posting
    CIntfScheduleControl::GetInstance()->AddTask(id, &copy);
    loop.RunPending();
  }

  CVirtualLoop loop;
  CRecordingMainFrame main;
  CScriptedPages pages;
  CLoopbackHttpServer server;
  CString answer = "[1]";
  std::vector<CString> requests;

 private:
  std::mutex m_mutex;
};

TEST_F(PushTaskTest, RequestFormsAndTheCalcFlag) {
  doc->StartRequesting("quick", 0);
  doc->StartRequesting("normal", 5);
  doc->RequestNewMovie();
  EXPECT_EQ(1, CEvalDoc::GetInstance()->GetCalcFlag());
  doc->RequestNewMovie();  // still calculating: nothing sent
  doc->EndCalcDlg(35);
  EXPECT_EQ(0, CEvalDoc::GetInstance()->GetCalcFlag());
  Insert(1, RS_NEW);
  doc->RequestNewMovie();
  doc->StartRequesting("reqnewmov", 8);  // exact match only
  EXPECT_EQ((std::vector<CString>{"/ReqTask?strAction=StartReqTask&strType=quick",
                                  "/ReqTask?strAction=StartReqTask&strType=normal",
                                  "/ReqTask?strAction=ReqNewMov&strType=NewUser",
                                  "/ReqTask?strAction=ReqNewMov&strType=OldUser",
                                  "/ReqTask?strAction=StartReqTask&strType=reqnewmov"}),
            Requests());
  EXPECT_TRUE(box.texts.empty());
}

TEST_F(PushTaskTest, AcknowledgementFailures) {
  answer = "[0]";
  EXPECT_EQ("请求任务本地返回异常，可能需要重启",
            RaisedText([&] { doc->StartRequesting("quick", 0); }));
  answer = "{\"a\": 1}";
  EXPECT_EQ("请求任务本地返回异常，可能需要重启",
            RaisedText([&] { doc->StartRequesting("quick", 0); }));
  answer = "[2] // accepted";
  EXPECT_EQ("", RaisedText([&] { doc->StartRequesting("quick", 0); }));
  answer = "busy";
  EXPECT_EQ("请求任务本地解析异常，可能需要重启",
            RaisedText([&] { doc->StartRequesting("quick", 0); }));
  server.Stop();
  EXPECT_EQ("请求任务本地网络异常，可能需要重启",
            RaisedText([&] { doc->StartRequesting("quick", 0); }));
}

TEST_F(PushTaskTest, PushMethodPagesThenRequest) {
  doc->InitFrame(FALSE);
  loop.RunPending();
  // The page reports "by movie type" while open, then the user confirms it.
  pages.scripts["ChooseMDlg"] = [](CCenterHTMLDialog* dlg) {
    CIntfScheduleControl::GetInstance()->AddTask(112, nullptr);
    CPlatform::Loop()->Post([dlg] { dlg->EndDialog(IDOK); });
  };
  doc->CheckPushMethod(FALSE);
  ASSERT_EQ(2u, pages.opens.size());
  const CString base = CProcessValues::GetLocalSrvBaseUrl();
  EXPECT_EQ("ChooseMDlg", pages.opens[0].name);
  EXPECT_EQ(base + "/dialog/choose_push_method.htm", pages.opens[0].url);
  EXPECT_EQ(600, pages.opens[0].width);
  EXPECT_EQ(420, pages.opens[0].height);
  EXPECT_EQ("ChooseMovieTypeDlg", pages.opens[1].name);
  EXPECT_EQ(base + "/dialog/choose_movie_type.htm", pages.opens[1].url);
  EXPECT_EQ(0, pages.open);
  EXPECT_EQ("1", CConfigDoc::GetInstance()->LoadUserConfigItem("Prompt", "ChoosePushMethod"));
  EXPECT_EQ(std::vector<CString>{"/ReqTask?strAction=ReqNewMov&strType=NewUser"}, Requests());

  // Confirmed: no page, a request at once (after the calculation ended).
  doc->EndCalcDlg(35);
  doc->CheckPushMethod(FALSE);
  EXPECT_EQ(2u, pages.opens.size());
  EXPECT_EQ(2u, Requests().size());
  // Forced (event 130): the page again; a page left with Cancel stores nothing new.
  pages.scripts["ChooseMDlg"] = [](CCenterHTMLDialog* dlg) {
    CIntfScheduleControl::GetInstance()->AddTask(111, nullptr);
    CPlatform::Loop()->Post([dlg] { dlg->EndDialog(0); });
  };
  doc->EndCalcDlg(35);
  Event(130);
  EXPECT_EQ(3u, pages.opens.size());
  EXPECT_EQ(3u, Requests().size());
}

TEST_F(PushTaskTest, PageSizeMissingFromUIConfig) {
  std::ofstream(home.Path() + "UI.ini") << "[ChooseMDlg]\nwidth=600\n";
  EXPECT_EQ("读取UI.ini文件失败", RaisedText([&] { doc->CheckPushMethod(TRUE); }));
  EXPECT_TRUE(pages.opens.empty());
}

TEST_F(PushTaskTest, CalculatingPageEndsOnCommand) {
  doc->InitFrame(FALSE);
  // While the page is open another event 40 arrives, then command 35.
  pages.scripts["CalcProgressDlg"] = [this](CCenterHTMLDialog*) {
    EXPECT_FALSE(doc->IsAllHTMLDlgEnd());
    Event(40);
    CPlatform::Loop()->Post([this] { doc->EndCalcDlg(35); });
  };
  Event(40);
  ASSERT_EQ(1u, pages.opens.size());
  EXPECT_EQ(CProcessValues::GetLocalSrvBaseUrl() + "/dialog/calc_progress.htm", pages.opens[0].url);
  EXPECT_EQ(400, pages.opens[0].width);
  EXPECT_EQ(2u, Requests().size());
  EXPECT_EQ(0, CEvalDoc::GetInstance()->GetCalcFlag());
  EXPECT_TRUE(doc->IsAllHTMLDlgEnd());
  EXPECT_TRUE(box.texts.empty());

  // Nothing left to push: the flag is cleared and the user told, page or not.
  CEvalDoc::GetInstance()->SetCalcFlag(1);
  doc->EndCalcDlg(36);
  EXPECT_EQ(0, CEvalDoc::GetInstance()->GetCalcFlag());
  ASSERT_EQ(1u, box.texts.size());
  EXPECT_EQ(
      "对不起，指定推送方式的电影都已推送完，请稍后再试。\n\n如果您是按电影类型推送，可以尝试放宽限"
      "制条件。",
      box.texts[0]);

  // At quit every open page ends.
  pages.scripts["CalcProgressDlg"] = [this](CCenterHTMLDialog*) { doc->EndAllHTMLDialog(); };
  doc->DisplayCalcDlg();
  EXPECT_TRUE(doc->IsAllHTMLDlgEnd());
}

TEST_F(PushTaskTest, ArrivalsStoreTellAndSwitch) {
  doc->InitFrame(FALSE);
  loop.RunPending();
  EXPECT_EQ("服务器未连接", Pane(2));
  EXPECT_EQ("软件用法：评价一个电影后将按您喜好推送新电影", Pane(1));

  Event(37, Doc(Movie("11", "甲") + Movie("12", "乙")));
  EXPECT_EQ(G2(11, 12), doc->GetGIDs());
  ASSERT_EQ(1u, box.texts.size());
  EXPECT_EQ("为您推送了2个电影", box.texts[0]);
  EXPECT_TRUE(pages.questions.empty());
  EXPECT_EQ(PC_NEWTASK, doc->GetCurCategory());
  EXPECT_EQ(11u, doc->GetFocusGID());
  SSortStatus s = doc->GetSortStatus(PC_NEWTASK);
  EXPECT_EQ(1, s.bSort);
  EXPECT_EQ(3, s.iColumn);
  EXPECT_EQ(0, s.bAsc);
  EXPECT_EQ("服务器已连接，2个新电影", Pane(2));
  EXPECT_EQ("评价一个电影后将按您喜好推送新电影（2个未评价）", Pane(1));
  EXPECT_EQ("", Pane(3));
  EXPECT_EQ(1, main.iRaised);
  EXPECT_TRUE(CTimerControl::GetInstance()->IsRegistered(&doc->PromptUsageCaller()));
  EXPECT_EQ("1", CConfigDoc::GetInstance()->LoadUserConfigItem("Prompt", "FirstRun"));

  // Later arrivals ask; Cancel keeps the focus.
  pages.answers = {IDCANCEL, IDOK, IDOK};
  Event(37, Doc(Movie("13", "丙", "300")));
  Event(37, Doc(Movie("14", "丁", "100")));
  Event(37, Doc(Movie("15", "戊", "200")));
  EXPECT_EQ((std::vector<CString>{"有好友推荐新电影“丙”，是否立即查看？",
                                  "有定制推送新电影“丁”，是否立即查看？",
                                  "有新电影“戊”，是否立即查看？"}),
            pages.questions);
  EXPECT_EQ(15u, doc->GetFocusGID());
  EXPECT_EQ(1u, box.texts.size());

  // Known movies only: nothing said, nothing switched.
  const size_t events = main.events.size();
  Event(37, Doc(Movie("11", "甲")));
  EXPECT_EQ(3u, pages.questions.size());
  EXPECT_EQ(events, main.events.size());

  // Movies arriving while a question is open join the list unasked.
  doc->OnChangeDownloaded();
  pages.answers = {IDCANCEL};
  pages.whileOpen = [&] { Event(37, Doc(Movie("16", "己"))); };
  Event(37, Doc(Movie("17", "庚")));
  EXPECT_EQ(4u, pages.questions.size());
  doc->OnChangeNewTask();
  EXPECT_EQ(7u, doc->GetGIDs().size());
}

TEST_F(PushTaskTest, MoviePushedNow) {
  doc->InitFrame(FALSE);
  Json::Value movie(Json::objectValue);
  movie["INT_MOVIE_ID"] = 77;
  movie["UTF8_MOVIE_NAME"] = GBKToUtf8("搜到的");
  movie["ASC_BULLETIN_URL"] = "http://h/b";
  movie["INT_FETCH_METHOD"] = 1;
  doc->ReceiveNewTask2(movie);
  EXPECT_EQ(std::vector<CString>{"有新电影“搜到的”，是否立即查看？"}, pages.questions);
  EXPECT_EQ(77u, doc->GetFocusGID());
  EXPECT_EQ(PC_NEWTASK, doc->GetCurCategory());
  EXPECT_EQ(G2(77, 77).front(), doc->GetGIDs().front());

  doc->ReceiveNewTask2(movie);
  ASSERT_EQ(1u, box.texts.size());
  EXPECT_EQ("电影  搜到的  已经存在，您可以马上查看", box.texts[0]);
  EXPECT_EQ(1u, pages.questions.size());
}

TEST_F(PushTaskTest, ServerPaneTexts) {
  doc->OnRequestRecordStatus(0, 0);
  EXPECT_EQ("服务器未连接，3分钟内重连", Pane(2));
  doc->OnRequestRecordStatus(2, 0);
  EXPECT_EQ("正在连接服务器", Pane(2));
  doc->OnRequestRecordStatus(1, 0);
  EXPECT_EQ("服务器已连接", Pane(2));
  doc->OnRequestRecordStatus(7, 3);
  EXPECT_EQ("服务器已连接", Pane(2));
  doc->OnRequestRecordStatus(-1, 0);
  EXPECT_EQ("服务器未连接", Pane(2));
}

TEST_F(PushTaskTest, PushHintPane) {
  SRow rated;
  rated.gid = 1;
  rated.eval = 5;
  Insert(rated);
  doc->ProcessPushInfo();
  EXPECT_EQ("可点击“立即推送”获得新推送电影", Pane(1));
  Insert(2, RS_DELETED);
  doc->ProcessPushInfo();
  EXPECT_EQ("评价一个电影后将按您喜好推送新电影（1个未评价）", Pane(1));
}

TEST_F(PushTaskTest, AcceptedRatingAsksQuicklyAndWaits) {
  Insert(1, RS_DOWNLOADED);
  doc->OnChangeDownloaded();
  view.updates.clear();
  pages.scripts["CalcProgressDlg"] = [this](CCenterHTMLDialog*) { doc->EndCalcDlg(35); };
  SEvalDocEvent evt;
  evt.record = Get(1);
  doc->OnEvalDocEvent(evt);
  ASSERT_EQ(1u, view.updates.size());
  EXPECT_EQ(1, view.updates[0].data.iType);
  EXPECT_EQ(std::vector<CString>{"/ReqTask?strAction=StartReqTask&strType=quick"}, Requests());
  EXPECT_EQ(1u, pages.opens.size());
  evt.iType = 1;
  doc->OnEvalDocEvent(evt);
  EXPECT_EQ(1u, Requests().size());
}

TEST_F(PushTaskTest, InitFrameShowsNewPushesAndListensForEvents) {
  SRow a;
  a.gid = 1;
  a.pushed = 100;
  Insert(a);
  a.gid = 2;
  a.pushed = 200;
  Insert(a);
  // Left downloading by the previous run, with automatic download off: stopped.
  a.gid = 3;
  a.status = RS_DOWNLOADING;
  Insert(a);
  IniWriteString(CMultiUserMgr::GetInstance()->GetLoginingUserPath(), "User", "AutoDownload", "0");
  CConfigDoc::GetInstance()->LoadConfig();
  doc->InitFrame(TRUE);
  EXPECT_EQ(RS_STOPPED, Get(3).GetStatus());
  EXPECT_EQ(PC_NEWTASK, doc->GetCurCategory());
  EXPECT_EQ(G2(2, 1), doc->GetGIDs());
  EXPECT_EQ(1, main.iRaised);
  EXPECT_EQ("评价一个电影后将按您喜好推送新电影（3个未评价）", Pane(1));
  EXPECT_EQ("服务器未连接", Pane(2));

  // Event 111 (push by rating) requests at once without a page.
  Event(111);
  EXPECT_TRUE(pages.opens.empty());
  EXPECT_EQ(std::vector<CString>{"/ReqTask?strAction=ReqNewMov&strType=OldUser"}, Requests());
  // Unknown events are ignored.
  Event(41);
  EXPECT_EQ(1u, Requests().size());
}

TEST_F(PushTaskTest, StartedAutomaticallyStaysInTheBackground) {
  const char* argv[] = {"vadeko", "-auto"};
  CCmdParams::GetInstance()->ParseCommandLine(2, argv);
  doc->InitFrame(TRUE);
  EXPECT_EQ(PC_NEWTASK, doc->GetCurCategory());
  EXPECT_EQ(0, main.iRaised);
}

TEST_F(PushTaskTest, UsageHintFollowsAnArrivalAfterThirtySeconds) {
  CScriptedPromptDialog hint;
  hint.results.push_back(IDCANCEL);  // "知道了，不再提示" ticked
  doc->InitFrame(FALSE);
  Event(37, "not xml");
  EXPECT_TRUE(CTimerControl::GetInstance()->IsRegistered(&doc->PromptUsageCaller()));
  loop.AdvanceBy(29000);
  EXPECT_TRUE(hint.shown.empty());
  loop.AdvanceBy(2000);
  ASSERT_EQ(1u, hint.shown.size());
  EXPECT_EQ("软件使用提示", hint.shown[0].strTitle);
  EXPECT_FALSE(CTimerControl::GetInstance()->IsRegistered(&doc->PromptUsageCaller()));
  EXPECT_EQ("1", CConfigDoc::GetInstance()->LoadUserConfigItem("Prompt", "Usuage"));
  // Later arrivals show no hint.
  Event(37, "not xml");
  loop.AdvanceBy(31000);
  EXPECT_EQ(1u, hint.shown.size());
  EXPECT_TRUE(box.texts.empty());
}
