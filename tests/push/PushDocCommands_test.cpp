#include <sys/stat.h>
#include <unistd.h>

#include <deque>

#include "settings/ConfigDoc.h"
#include "tests/push/DownloadFixture.h"
#include "tests/support/ScriptedPromptDialogs.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/TextCodec.h"
#include "zenuModule/src/desktop/RecordDialogs.h"

namespace {
class CScriptedRecordDialogs final : public IDeleteTaskDialog, public ISelectFileDialog {
 public:
  CScriptedRecordDialogs() {
    SetDeleteTaskDialog(this);
    SetSelectFileDialog(this);
  }
  ~CScriptedRecordDialogs() override {
    SetDeleteTaskDialog(nullptr);
    SetSelectFileDialog(nullptr);
  }
  int DoModal(const CString& question, int* pbDeleteFiles) override {
    questions.push_back(question);
    *pbDeleteFiles = bTickFiles ? 1 : 0;
    return iDeleteAnswer;
  }
  int DoModal(const std::vector<CString>& names, CString& chosen) override {
    lists.push_back(names);
    chosen = names.empty() ? CString() : names.back();
    return IDOK;
  }
  std::vector<CString> questions;
  std::vector<std::vector<CString>> lists;
  bool bTickFiles = true;
  int iDeleteAnswer = IDOK;
};

void WriteBytes(const CString& gbkPath, size_t bytes) {
  std::ofstream out(ToSysPath(gbkPath), std::ios::binary);
  out << CString(bytes, 'x');
}
}  // namespace

class CommandsTest : public DownloadTest {
 protected:
  // A downloaded record whose folder holds files of these sizes.
  CString Downloaded(uint32_t gid, std::vector<size_t> sizes) {
    Add(gid, RS_DOWNLOADED);
    const CString folder = Get(gid).GetLocalAbsPath();
    RemoveFile(folder + "/movie.mkv");
    for (size_t i = 0; i < sizes.size(); ++i)
      WriteBytes(StringFormat("%s/part%zu.mkv", folder.c_str(), i + 1), sizes[i]);
    return folder;
  }
  void SelectGIDs(const std::vector<uint32_t>& gids) {
    CRowList rows;
    for (uint32_t gid : gids)
      for (size_t r = 0; r < doc->GetGIDs().size(); ++r)
        if (doc->GetGIDs()[r] == gid) rows.push_back(static_cast<uint32_t>(r));
    Select(rows);
  }
  void SetPath(uint32_t gid, const CString& path) {
    Exec("update records set strLocalAbsPath = '" + path +
         "' where ulGID = " + std::to_string(gid));
  }

  CScriptedRecordDialogs dialogs;
  CRecordingShell shell;
};

TEST_F(CommandsTest, DeleteAsksOnceAndRemovesOnlyTheRecordsOwnFolders) {
  const CString a = Downloaded(1, {10});
  const CString b = Downloaded(2, {10});
  const CString c = Downloaded(3, {10});
  doc->ChangeDownloadedEx(0);
  SelectGIDs({1, 2, 3});
  doc->OnDeleteRecord();
  EXPECT_EQ(dialogs.questions, std::vector<CString>{"是否删除3个电影？"});
  for (uint32_t gid : {1u, 2u, 3u}) EXPECT_EQ(Status(gid), RS_DELETED);
  EXPECT_FALSE(PathExists(a));
  EXPECT_FALSE(PathExists(GetExePath(0) + "data/2"));
  EXPECT_TRUE(IsFolder(Save())) << "the save folder itself stays";
  EXPECT_TRUE(doc->GetGIDs().empty()) << "the shown list follows the deletion";

  // Unticked: files stay, for this and later deletions, until ticked again.
  const CString d = Downloaded(4, {10});
  const CString e = Downloaded(5, {10});
  doc->ChangeDownloadedEx(4);
  dialogs.bTickFiles = false;
  doc->OnDeleteRecord();
  EXPECT_EQ(dialogs.questions.back(), "是否要删除电影“电影4”？");
  EXPECT_EQ(doc->GetDeleteFiles(), 0);
  EXPECT_TRUE(PathExists(d));
  doc->TaskStatusMachine(5, TE_DELETE, nullptr);
  EXPECT_TRUE(PathExists(e));
  // Cancel changes nothing, not even the remembered choice.
  dialogs.bTickFiles = true;
  dialogs.iDeleteAnswer = IDCANCEL;
  Add(6, RS_NEW);
  doc->ChangeNewTaskEx(6);
  doc->OnDeleteRecord();
  EXPECT_EQ(Status(6), RS_NEW);
  EXPECT_EQ(doc->GetDeleteFiles(), 0);

  // Stored paths that are not this record's own folder are never removed.
  dialogs.iDeleteAnswer = IDOK;
  doc->ChangeNewTaskEx(6);
  doc->OnDeleteRecord();  // ticked again
  ASSERT_EQ(doc->GetDeleteFiles(), 1);
  const CString outside = CString(home.Path()) + "elsewhere/keep";
  CheckFolder(outside, 1);
  WriteBytes(outside + "/mine.txt", 3);
  Add(7, RS_DOWNLOADED);
  SetPath(7, CString(home.Path()) + "elsewhere");
  Add(8, RS_DOWNLOADED);
  SetPath(8, Save());
  Add(9, RS_DOWNLOADED);
  SetPath(9, Save() + "../elsewhere");
  // A link inside the save folder: the link goes, its target stays.
  Add(10, RS_DOWNLOADED);
  const CString link = Get(10).GetLocalAbsPath();
  DeleteDirectory(link);
  ASSERT_EQ(::symlink(ToSysPath(outside).c_str(), ToSysPath(link).c_str()), 0);
  // An earlier save folder: the record's own folder is removed, a foreign one is not.
  const CString old = CString(home.Path()) + "旧目录/";
  Add(11, RS_DOWNLOADED);
  CheckFolder(old + "电影11", 1);
  WriteBytes(old + "电影11/a.mkv", 5);
  SetPath(11, old + "电影11");
  CheckFolder(old + "别的", 1);
  Add(12, RS_DOWNLOADED);
  SetPath(12, old + "别的");
  for (uint32_t gid = 7; gid <= 12; ++gid) doc->TaskStatusMachine(gid, TE_DELETE, nullptr);
  EXPECT_TRUE(PathExists(outside + "/mine.txt"));
  EXPECT_TRUE(IsFolder(Save()));
  EXPECT_FALSE(PathExists(link));
  EXPECT_FALSE(PathExists(old + "电影11"));
  EXPECT_TRUE(IsFolder(old + "别的"));
  EXPECT_NE(home.TraceLog().find("保留了不属于该电影的目录"), CString::npos);
}

TEST_F(CommandsTest, DeletingAnUnratedRecordAsksForARatingFirst) {
  CScriptedEvalDialog eval;
  eval.selections.push_back(1);  // score 2
  SRow r;
  r.gid = 40;
  r.eval = 0;
  r.name = "未评";
  Insert(r);
  doc->ChangeNewTaskEx(40);
  doc->OnDeleteRecord();
  ASSERT_EQ(eval.shown.size(), 1u);
  EXPECT_EQ(Status(40), RS_DELETED);
  EXPECT_EQ(Get(40).GetEval(), 2);
}

TEST_F(CommandsTest, PlayPicksTheMovieFiles) {
  const CString one = Downloaded(1, {3 << 20, 1024});
  const CString two = Downloaded(2, {3 << 20, 2 << 20, 10});
  const CString tiny = Downloaded(3, {100, 5000, 20});
  const CString none = Downloaded(4, {});
  Add(5, RS_DOWNLOADED);
  DeleteDirectory(Get(5).GetLocalAbsPath());
  doc->ChangeDownloadedEx(1);
  doc->OnPlay();
  EXPECT_EQ(shell.opened, std::vector<CString>{one + "/part1.mkv"});
  doc->ChangeDownloadedEx(2);
  doc->OnPlay();
  ASSERT_EQ(dialogs.lists.size(), 1u);
  EXPECT_EQ(dialogs.lists[0], (std::vector<CString>{"part1.mkv", "part2.mkv"}));
  EXPECT_EQ(shell.opened.back(), two + "/part2.mkv");
  doc->ChangeDownloadedEx(3);
  doc->OnPlay();
  EXPECT_EQ(shell.opened.back(), tiny + "/part2.mkv") << "a tiny torrent plays its largest file";
  doc->ChangeDownloadedEx(4);
  doc->OnPlay();
  doc->ChangeDownloadedEx(5);
  doc->OnPlay();
  EXPECT_EQ(boxes.texts,
            (std::vector<CString>{"找不到任何资源文件,可能被删除", "该资源的目录已经被删除"}));
  // Play is for downloaded records only.
  Add(6, RS_NEW);
  doc->ChangeNewTaskEx(6);
  doc->OnPlay();
  EXPECT_EQ(shell.opened.size(), 3u);
}

TEST_F(CommandsTest, DoubleClickPlaysADownloadedMovieAndStartsANewPush) {
  const CString one = Downloaded(1, {3 << 20});
  Add(2, RS_NEW);
  Add(3, RS_THUNDER);
  auto doubleClick = [&](uint32_t row) {
    SRecordViewEvent evt;
    evt.iType = kRecordViewDoubleClick;
    evt.arrRows = {row};
    doc->OnRecordViewEvent(evt);
  };
  doc->ChangeDownloadedEx(1);
  doubleClick(0);
  EXPECT_EQ(shell.opened, std::vector<CString>{one + "/part1.mkv"});
  doc->ChangeNewTaskEx(2);
  doubleClick(0);
  EXPECT_EQ(Status(2), RS_DOWNLOADING);
  EXPECT_EQ(bt.starts.size(), 1u);
  // Other rows, and rows of a list that changed meanwhile, keep their state.
  doc->ChangeThunderTaskEx(3);
  doubleClick(0);
  doubleClick(7);
  EXPECT_EQ(Status(3), RS_THUNDER);
  EXPECT_EQ(bt.starts.size(), 1u);
  EXPECT_EQ(shell.opened.size(), 1u);
  EXPECT_TRUE(boxes.texts.empty());
  EXPECT_EQ(home.ErrorLog(), "");
}

TEST_F(CommandsTest, BulletinFollowsTheSelection) {
  struct CView final : IBulletinView {
    std::vector<SBulletinViewData> shown;
    void OnBulletinViewUpdate(const SBulletinViewData& d) override { shown.push_back(d); }
  } bulletin;
  doc->SetBulletinView(&bulletin);
  CProcessValues::SetLocalSrvBaseUrl("http://127.0.0.1:9");
  Add(3000000000u, RS_NEW);
  Add(5, RS_NEW);
  doc->ChangeNewTaskEx(5);
  EXPECT_EQ(bulletin.shown.back().strUrl, "http://127.0.0.1:9/Bulletin?strAction=View&iMovieID=5");
  SelectGIDs({3000000000u});  // as the arrow keys would
  EXPECT_EQ(bulletin.shown.back().strUrl,
            "http://127.0.0.1:9/Bulletin?strAction=View&iMovieID=3000000000");
  EXPECT_EQ(doc->GetBulletinGID(), 3000000000u);
  EXPECT_EQ(frame.updates.back().iType, 1);
  EXPECT_EQ(frame.updates.back().iShow, 5) << "one record: the rating bar too";
  // An empty category shows no movie and hides the record commands.
  doc->OnChangeDownloaded();
  EXPECT_EQ(bulletin.shown.back().strUrl, "");
  EXPECT_EQ(doc->GetBulletinGID(), 0u);
  EXPECT_TRUE(doc->GetSelectedGIDs().empty());
  // From elsewhere (a page's link): the movie's category and its bulletin.
  doc->FindAndDisplayMovie(5);
  EXPECT_EQ(doc->GetCurCategory(), PC_NEWTASK);
  EXPECT_EQ(doc->GetSelectedGIDs(), std::vector<uint32_t>{5});
  doc->SetBulletinView(nullptr);
}

namespace {
// Desktop entries and a torrent default of the test's own: XDG folders and an
// xdg-mime on PATH that answers what the test wrote.
class CFakeDesktop final {
 public:
  explicit CFakeDesktop(const CString& root) : m_root(root) {
    m_oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    for (const char* dir : {"home/applications/sub", "dirs/applications", "bin"})
      CheckFolder(Utf8ToGBK(root + dir), 1);
    setenv("XDG_DATA_HOME", (root + "home").c_str(), 1);
    setenv("XDG_DATA_DIRS", (root + "dirs").c_str(), 1);
    setenv("PATH", (root + "bin:" + m_oldPath).c_str(), 1);
  }
  ~CFakeDesktop() {
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_DATA_DIRS");
    setenv("PATH", m_oldPath.c_str(), 1);
  }
  void Entry(const CString& relative, const CString& body) {
    std::ofstream(m_root + relative) << "[Desktop Entry]\nType=Application\n" << body;
  }
  void Default(const CString& id) {
    const CString script = m_root + "bin/xdg-mime";
    std::ofstream(script) << "#!/bin/sh\n[ \"$3\" = application/x-bittorrent ] && echo '" << id
                          << "'\n";
    ::chmod(script.c_str(), 0755);
  }
  // xdg-open notes what it was asked to open and ends with the code.
  void XdgOpen(int code) {
    const CString script = m_root + "bin/xdg-open";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << m_root << "opened.txt'\nexit "
                          << code << "\n";
    ::chmod(script.c_str(), 0755);
  }
  // Nothing on PATH answers for the desktop.
  void NoXdgMime() {
    std::remove((m_root + "bin/xdg-mime").c_str());
    setenv("PATH", (m_root + "bin").c_str(), 1);
  }

 private:
  CString m_root;
  CString m_oldPath;
};
}  // namespace

TEST_F(CommandsTest, HandOffDecisionsOnDesktopEntries) {
  // UTF-8 entries, read through the system's lookup.
  CFakeDesktop desktop(home.Path());
  desktop.Default(u8"xunlei.bittorrent.desktop");
  COtherDownload other;
  CString icon = "unchanged";
  int kind = 7;
  EXPECT_FALSE(other.DetectThunder(&icon, &kind));
  EXPECT_EQ(kind, 7);
  EXPECT_EQ(icon, "unchanged");
  // Named like Thunder but without "迅雷" in a name: the search goes on.
  desktop.Entry("home/applications/thunder_fake.desktop", "Name=Thunder Player\n");
  EXPECT_FALSE(other.DetectThunder(&icon, &kind));
  struct SCase {
    const char* name;
    const char* extra;
    int kind;
  };
  const SCase cases[] = {
      {u8"网页迅雷", u8"Icon=web\n", 0},
      {u8"迅雷5", "", 1},
      {u8"迅雷5", "Icon=t5\n", 2},
      {u8"迅雷7", "", 3},
      {u8"迷你迅雷", "", 4},
      {u8"迅雷精简版", "", 5},
      {u8"迅雷X", "", 6},
  };
  for (const SCase& c : cases) {
    desktop.Entry("dirs/applications/minithunder.desktop",
                  CString("Name=Thunder\nName[zh_CN]=") + c.name + "\n" + c.extra);
    kind = 7;
    EXPECT_TRUE(other.DetectThunder(&icon, &kind)) << c.name;
    EXPECT_EQ(kind, c.kind) << c.name;
  }
  // The user's own folder takes precedence, a hidden entry hides, subfolders name ids.
  desktop.Entry("home/applications/minithunder.desktop", "Name=X\nHidden=true\n");
  EXPECT_FALSE(other.DetectThunder(&icon, &kind));
  desktop.Entry("home/applications/sub/webthunder.desktop", u8"Name=迅雷7\nIcon=t7\n");
  kind = 7;
  EXPECT_TRUE(other.DetectThunder(&icon, &kind));
  EXPECT_EQ(kind, 3);
  EXPECT_EQ(icon, "t7");

  // A BitTorrent movie goes to the manager as a torrent file.
  Add(1, RS_NEW);
  doc->TaskStatusMachine(1, TE_THUNDER, nullptr);
  EXPECT_EQ(Status(1), RS_THUNDER);
  EXPECT_EQ(shell.opened, std::vector<CString>{GetExePath(0) + "data/1/1.torrent"});
  // Another program owns torrents: the record stays, the torrent is kept.
  desktop.Default("org.qbittorrent.qBittorrent.desktop");
  Add(2, RS_STOPPED);
  doc->TaskStatusMachine(2, TE_THUNDER, nullptr);
  EXPECT_EQ(Status(2), RS_STOPPED);
  EXPECT_EQ(boxes.texts.back().find("1. 未安装迅雷\n2. "), 0u);
  desktop.NoXdgMime();
  doc->TaskStatusMachine(2, TE_THUNDER, nullptr);
  EXPECT_EQ(boxes.texts.back(), ".torrent键不存在，需要重装迅雷解决此问题");
  // The lite edition refuses torrents, but a manager-only movie still goes to its page.
  desktop.Entry("home/applications/sub/webthunder.desktop", u8"Name=迅雷精简版\n");
  doc->TaskStatusMachine(2, TE_THUNDER, nullptr);
  EXPECT_EQ(boxes.texts.back().find("您安装的是迅雷精简版，不支持BT方式下载"), 0u);
  EXPECT_EQ(Status(2), RS_STOPPED);
  struct CView final : IBulletinView {
    std::vector<int> types;
    void OnBulletinViewUpdate(const SBulletinViewData& d) override { types.push_back(d.iType); }
  } bulletin;
  doc->SetBulletinView(&bulletin);
  Add(3, RS_NEW, 5);
  doc->TaskStatusMachine(3, TE_THUNDER, nullptr);
  EXPECT_EQ(bulletin.types, std::vector<int>{2});
  EXPECT_EQ(Status(3), RS_THUNDER);
  // Nothing installed at all.
  desktop.Entry("home/applications/sub/webthunder.desktop", "Name=Other\n");
  boxes.texts.clear();
  doc->TaskStatusMachine(2, TE_THUNDER, nullptr);
  EXPECT_EQ(boxes.texts, std::vector<CString>{"找不到迅雷程序,请先安装"});
  doc->SetBulletinView(nullptr);
}

TEST_F(CommandsTest, LinuxBuildsOfTheManagerAreFoundAndAFailedOpenLeavesTheRecord) {
  CFakeDesktop desktop(home.Path());
  desktop.Entry("home/applications/com.xunlei.download.desktop", u8"Name=迅雷\nIcon=xl\n");
  desktop.Default("com.xunlei.download.desktop");
  CString name;
  CString id;
  ASSERT_TRUE(COtherDownload::FindThunder(&name, &id));
  EXPECT_EQ(name, "迅雷");
  EXPECT_EQ(id, "com.xunlei.download.desktop");
  CString icon;
  int kind = 7;
  EXPECT_TRUE(COtherDownload().DetectThunder(&icon, &kind));
  EXPECT_EQ(kind, 6);

  // The system's opener: it says nothing opens torrents.
  SetShell(nullptr);
  desktop.XdgOpen(4);
  Add(1, RS_NEW);
  doc->TaskStatusMachine(1, TE_THUNDER, nullptr);
  EXPECT_EQ(Status(1), RS_NEW);
  EXPECT_EQ(boxes.texts,
            std::vector<CString>{"迅雷没有打开torrent文件，请确认迅雷能正常启动后再试"});
  desktop.XdgOpen(0);
  doc->TaskStatusMachine(1, TE_THUNDER, nullptr);
  EXPECT_EQ(Status(1), RS_THUNDER);
  EXPECT_EQ(home.ReadFile("opened.txt"), GBKToUtf8(GetExePath(0) + "data/1/1.torrent"));
  EXPECT_EQ(boxes.texts.size(), 1u);
  SetShell(&shell);
}
