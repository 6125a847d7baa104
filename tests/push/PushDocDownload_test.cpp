#include "settings/ConfigDoc.h"
#include "store/MultiUserMgr.h"
#include "tests/push/DownloadFixture.h"
#include "zenuModule/src/desktop/IniFile.h"

namespace {
const int kStatuses[] = {RS_DELETED, RS_DOWNLOADED, RS_DOWNLOADING, RS_QUEUED,
                         RS_STOPPED, RS_NEW,        RS_THUNDER};
// The status each event leaves, by row of kStatuses and event; 0 = unchanged.
// Thunder is installed and the component reports 50 percent.
const int kAfter[7][8] = {
    // STOP        REFRESH START           DELETE      THUNDER     TO_STOPPED  TO_QUEUED  OPEN
    {0, 0, RS_DOWNLOADING, 0, RS_THUNDER, 0, 0, 0},                             // 1
    {0, 0, 0, RS_DELETED, 0, 0, 0, 0},                                          // 2
    {RS_STOPPED, 0, 0, RS_DELETED, RS_THUNDER, RS_STOPPED, RS_QUEUED, 0},       // 4
    {RS_STOPPED, 0, RS_DOWNLOADING, RS_DELETED, RS_THUNDER, RS_STOPPED, 0, 0},  // 12
    {0, 0, RS_DOWNLOADING, RS_DELETED, RS_THUNDER, 0, RS_QUEUED, 0},            // 20
    {0, 0, RS_DOWNLOADING, RS_DELETED, RS_THUNDER, 0, 0, 0},                    // 32
    {0, 0, RS_DOWNLOADING, RS_DELETED, RS_THUNDER, 0, 0, 0},                    // 64
};
}  // namespace

TEST_F(DownloadTest, EveryCellOfTheStateTable) {
  CScriptedApps apps;
  apps.InstallThunder();
  CRecordingShell shell;
  bt.percent = 50;
  uint32_t gid = 100;
  for (int row = 0; row < 7; ++row) {
    for (int event = TE_STOP; event <= TE_OPEN; ++event) {
      ++gid;
      CPushDoc::ResetInstance();
      doc = CPushDoc::GetInstance();
      const int status = kStatuses[row];
      if (status == RS_DOWNLOADING) {
        Add(gid, RS_NEW);
        Event(gid, TE_START);
        ASSERT_EQ(Status(gid), RS_DOWNLOADING);
      } else {
        Add(gid, status);
      }
      const size_t starts = bt.starts.size();
      const int exits = bt.iExits;
      Event(gid, event);
      const int want = kAfter[row][event] ? kAfter[row][event] : status;
      EXPECT_EQ(Status(gid), want) << "status " << status << " event " << event;
      const bool started = want == RS_DOWNLOADING && status != RS_DOWNLOADING;
      EXPECT_EQ(bt.starts.size(), starts + (started ? 1 : 0)) << status << "/" << event;
      // Only a way out of a running download through the machine ends the job.
      const bool leftRunning = status == RS_DOWNLOADING &&
                               (event == TE_STOP || event == TE_DELETE || event == TE_THUNDER);
      EXPECT_EQ(bt.iExits, exits + (leftRunning ? 1 : 0)) << status << "/" << event;
      if (status == RS_DOWNLOADING && event == TE_REFRESH)
        EXPECT_EQ(Get(gid).GetDownloadedPercent(), 50) << "the poll writes the percentage";
      if (status == RS_NEW && event == TE_START) EXPECT_NE(Get(gid).GetStartDownloadTime(), 0);
      if (status == RS_STOPPED && event == TE_START) EXPECT_EQ(Get(gid).GetStartDownloadTime(), 0);
    }
  }
  EXPECT_TRUE(boxes.texts.empty()) << boxes.texts.front();
  // Six Thunder cells hand their torrent over; the open cell plays the file.
  EXPECT_EQ(shell.opened.size(), 7u);
}

TEST_F(DownloadTest, QueueFinishStopAndDownloaderError) {
  for (uint32_t gid : {30u, 17u, 5u, 8u}) Add(gid, RS_NEW);
  Event(30, TE_START);
  Event(17, TE_START);
  Event(5, TE_START);
  EXPECT_EQ(Status(30), RS_DOWNLOADING);
  EXPECT_EQ(Status(17), RS_QUEUED);
  EXPECT_EQ(Status(5), RS_QUEUED);
  EXPECT_EQ(doc->GetCurCategory(), PC_DOWNLOADING);
  ASSERT_EQ(bt.starts.size(), 1u);
  EXPECT_EQ(bt.starts[0].find("--responsefile \"" + CString(home.Path()) +
                              "data/30/30.torrent\" "
                              "--saveas \"" +
                              Save() + "电影30\" --minport "),
            0u)
      << bt.starts[0];
  EXPECT_NE(home.TraceLog().find("下载参数 --responsefile"), CString::npos);

  // Stopping a queued record leaves the downloader alone; TE_START on the
  // running one does nothing.
  Event(5, TE_STOP);
  EXPECT_EQ(Status(5), RS_STOPPED);
  Event(30, TE_START);
  EXPECT_EQ(bt.starts.size(), 1u);
  EXPECT_EQ(bt.iExits, 0);
  Event(5, TE_START);
  EXPECT_EQ(Status(5), RS_QUEUED);

  // Progress, then finished: prompt, next in ascending id order.
  bt.percent = 42.5;
  Tick();
  EXPECT_EQ(Get(30).GetRate(), 512.5);
  bt.percent = 99.999999995;
  Tick();
  EXPECT_EQ(Status(30), RS_DOWNLOADED);
  EXPECT_EQ(bt.iExits, 1);
  EXPECT_EQ(Balloons(), std::vector<CString>{"电影:\"电影30\"下载已经完成"});
  EXPECT_EQ(CPromptMgrDoc::GetInstance()->GetCloseBallonEvent(), 2);
  EXPECT_EQ(doc->GetLastFinishedGID(), 30u);
  EXPECT_EQ(Status(5), RS_DOWNLOADING);
  EXPECT_EQ(Status(17), RS_QUEUED);
  EXPECT_EQ(doc->GetDownloadingGID(), 5u);
  EXPECT_EQ(doc->GetRunningCount(), 1);

  // A click on the prompt shows the finished movie selected in "已下载".
  doc->SetFocusOnNewDownloaded();
  EXPECT_EQ(doc->GetCurCategory(), PC_DOWNLOADED);
  EXPECT_EQ(doc->GetSelectedGIDs(), std::vector<uint32_t>{30});
  EXPECT_EQ(doc->GetBulletinGID(), 30u);
  EXPECT_EQ(doc->GetLastFinishedGID(), kReservedGID);

  // The user stops the running record: the next queued one starts.
  bt.percent = 10;
  doc->ChangeDownloadingEx(5);
  doc->OnStopRecord();
  EXPECT_EQ(Status(5), RS_STOPPED);
  EXPECT_DOUBLE_EQ(Get(5).GetRate(), -0.1);
  EXPECT_EQ(Get(5).GetTrackerInfo(), "");
  EXPECT_EQ(Status(17), RS_DOWNLOADING);

  // The downloader reports an error: stopped, its text shown, poll ended.
  bt.percent = -1;
  bt.lastError = "磁盘空间不足";
  Tick();
  EXPECT_EQ(Status(17), RS_STOPPED);
  EXPECT_EQ(boxes.texts, std::vector<CString>{"磁盘空间不足"});
  EXPECT_FALSE(CTimerControl::GetInstance()->IsRegistered(&doc->BTTimer()));
  EXPECT_EQ(doc->GetRunningCount(), 0);

  // After a finish with nothing queued the poll ticks on and changes nothing.
  bt.percent = 100;
  Event(8, TE_START);
  Tick();
  EXPECT_EQ(Status(8), RS_DOWNLOADED);
  const size_t updates = view.updates.size();
  for (int i = 0; i < 3; ++i) Tick();
  EXPECT_TRUE(CTimerControl::GetInstance()->IsRegistered(&doc->BTTimer()));
  EXPECT_EQ(view.updates.size(), updates);
  EXPECT_EQ(home.ErrorLog(), "");
}

TEST_F(DownloadTest, CommandsOnTheSelection) {
  for (uint32_t gid : {1u, 2u}) Add(gid, RS_NEW);
  doc->ChangeNewTaskEx(0);
  doc->OnDownloadRecord();  // nothing selected: nothing happens
  doc->OnRunningThunder();
  EXPECT_TRUE(boxes.texts.empty());
  Select({0, 1});
  doc->OnDownloadRecord();
  doc->OnRunningThunder();
  EXPECT_EQ(boxes.texts, (std::vector<CString>{"请选择单个电影下载", "一次只能下载一个"}));
  EXPECT_TRUE(bt.starts.empty());
  // From a page that started the manager itself: only the record changes.
  Select({1});
  doc->OnRunningThunderEx(0);
  EXPECT_EQ(Status(doc->GetSelectedGIDs().front()), RS_THUNDER);

  // Unknown fetch method and a manager-only movie without a manager installed.
  Add(3, RS_NEW, 7);
  Add(4, RS_NEW, 5);
  boxes.texts.clear();
  Event(3, TE_START);
  Event(4, TE_START);
  EXPECT_EQ(boxes.texts[0], "未知的资源下载类型,无法下载");
  EXPECT_EQ(boxes.texts[1], "该电影是迅雷专用下载资源，将启动迅雷进行下载");
  EXPECT_EQ(Status(3), RS_NEW);
  EXPECT_EQ(Status(4), RS_NEW);
}

TEST_F(DownloadTest, AutomaticStart) {
  // Left downloading by the previous run: both queue, the smaller id starts.
  Add(9, RS_DOWNLOADING);
  Add(4, RS_DOWNLOADING);
  Add(2, RS_QUEUED);
  const char* argv[] = {"vadeko", "-AUTO"};
  CCmdParams::GetInstance()->ParseCommandLine(2, argv);
  doc->AutoStartDownload();
  EXPECT_EQ(Status(9), RS_QUEUED);
  EXPECT_EQ(Status(4), RS_QUEUED);
  EXPECT_TRUE(bt.starts.empty());
  loop.AdvanceBy(59000);
  EXPECT_TRUE(bt.starts.empty());
  loop.AdvanceBy(1000);
  EXPECT_EQ(Status(4), RS_DOWNLOADING) << "the first left-over one, 60 s after an automatic start";
  EXPECT_EQ(Status(2), RS_QUEUED);
  EXPECT_EQ(Status(9), RS_QUEUED);

  // Started by hand with nothing left downloading: the first queued one at once.
  CPushDoc::ResetInstance();
  CCmdParams::ResetInstance();
  doc = CPushDoc::GetInstance();
  Add(20, RS_QUEUED);
  Add(21, RS_STOPPED);
  CIntfDB::GetInstance()->UpdateRecord([&] {
    CRecord r = Get(4);
    r.SetStatus(RS_QUEUED);
    return r;
  }());
  doc->AutoStartDownload();
  EXPECT_EQ(Status(2), RS_DOWNLOADING);

  // Automatic download off: every record of the download group stops.
  CPushDoc::ResetInstance();
  doc = CPushDoc::GetInstance();
  IniWriteString(CMultiUserMgr::GetInstance()->GetLoginingUserPath(), "User", "AutoDownload", "0");
  CConfigDoc::GetInstance()->LoadConfig();
  ASSERT_EQ(CConfigDoc::GetInstance()->GetAutoDownload(), 0);
  const size_t starts = bt.starts.size();
  doc->AutoStartDownload();
  for (uint32_t gid : {2u, 4u, 9u, 20u, 21u}) EXPECT_EQ(Status(gid), RS_STOPPED) << gid;
  EXPECT_EQ(bt.starts.size(), starts);
}

TEST_F(DownloadTest, PollFaultsAndADeadComponent) {
  Add(1, RS_NEW);
  Add(2, RS_NEW);
  Event(1, TE_START);
  Event(2, TE_START);
  // A transient failure is logged and the next tick polls again.
  bt.percent = 20;
  bt.bInfoFails = true;
  Tick();
  EXPECT_NE(home.ErrorLog().find("Invoke GetOtherRunInfo() failure"), CString::npos);
  bt.bInfoFails = false;
  bt.percent = 30;
  Tick();
  EXPECT_EQ(Get(1).GetDownloadedPercent(), 30);

  // The component vanishes: the record stops with a message instead of
  // reading as 0 percent, and the queue goes on with a new component.
  bt.pCreates = &automation.iCreates;
  bt.iGoneAt = automation.iCreates;
  Tick();
  EXPECT_EQ(Status(1), RS_STOPPED);
  EXPECT_EQ(Get(1).GetDownloadedPercent(), 30);
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_NE(boxes.texts[0].find("下载进程意外退出"), CString::npos);
  EXPECT_EQ(automation.iCreates, 2);
  EXPECT_EQ(Status(2), RS_DOWNLOADING);
  Tick();
  EXPECT_EQ(Get(2).GetDownloadedPercent(), 30);
}

TEST_F(DownloadTest, TitlesWithQuotesAndBackslashesStayWhole) {
  SRow r;
  r.gid = 7;
  // 淺 ends in the byte of a backslash, which must not be escaped.
  r.name = "A \"B\" \\C淺";
  r.path = Save() + "A \"B\" \\C淺";
  Insert(r);
  CheckFolder(StringFormat("%sdata/7", GetExePath(0).c_str()), 1);
  std::ofstream(ToSysPath(GetExePath(0) + "data/7/7.torrent")) << "x";
  Event(7, TE_START);
  ASSERT_EQ(bt.starts.size(), 1u);
  EXPECT_NE(bt.starts[0].find("--saveas \"" + Save() + "A \\\"B\\\" \\\\C淺\""), CString::npos)
      << bt.starts[0];
}

TEST_F(DownloadTest, ADownloaderNameHeldByAStrangerKeepsTheRecordQueuedUntilItComesFree) {
  Add(3, RS_QUEUED);
  Add(5, RS_NEW);
  automation.strangers["zenu.BTDownload"] = {4242, "/tmp/squatter"};
  doc->AutoStartDownload();
  EXPECT_EQ(Status(3), RS_QUEUED);
  // Said once, naming the holder, however often the start is tried again.
  Event(5, TE_START);
  EXPECT_EQ(Status(5), RS_QUEUED);
  loop.AdvanceBy(30000);
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_NE(boxes.texts[0].find("进程 4242 (/tmp/squatter)"), CString::npos) << boxes.texts[0];
  EXPECT_GT(automation.iCreates, 3);
  EXPECT_TRUE(bt.starts.empty());

  // A record stopped meanwhile stays stopped; the queue starts once the name is free.
  Event(5, TE_TO_STOPPED);
  automation.strangers.clear();
  loop.AdvanceBy(10000);
  EXPECT_EQ(Status(3), RS_DOWNLOADING);
  EXPECT_EQ(Status(5), RS_STOPPED);
  EXPECT_EQ(bt.starts.size(), 1u);
  EXPECT_EQ(boxes.texts.size(), 1u);

  // A downloader that cannot be started at all is said so, and not tried
  // again by itself.
  doc->CloseBTCOM();
  CPushDoc::ResetInstance();
  doc = CPushDoc::GetInstance();
  automation.components.clear();
  Event(5, TE_START);
  EXPECT_EQ(Status(5), RS_QUEUED);
  ASSERT_EQ(boxes.texts.size(), 2u);
  EXPECT_NE(boxes.texts[1].find("无法启动"), CString::npos);
  const int creates = automation.iCreates;
  loop.AdvanceBy(30000);
  EXPECT_EQ(automation.iCreates, creates);
}
