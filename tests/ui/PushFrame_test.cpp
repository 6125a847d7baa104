// The push pane against a real record database: the list shows the engine's
// cells, header clicks and selections reach the engine, the category buttons
// switch it; the page dialog ends when its page confirms.
#include "ui/push/PushFrame.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QWebEngineView>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "platform/qt/QtMessageLoop.h"
#include "platform/qt/QtText.h"
#include "push/PushDoc.h"
#include "push/RecordCellText.h"
#include "tests/store/StoreFixture.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/LoopbackHttpServer.h"
#include "ui/dialogs/QtHtmlDialog.h"
#include "ui/push/BulletinView.h"
#include "ui/push/PercentDelegate.h"
#include "ui/push/RecordListView.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/desktop/MessageBox.h"
#include "zenuModule/src/desktop/Platform.h"
#include "zenuModule/src/desktop/Shell.h"

namespace {
CString Movie(const CString& gid, const CString& title, const CString& expect) {
  return "<movie gid=\"" + gid +
         "\" file_name=\"f.rmvb\" bt_seed_url=\"http://h/t\" "
         "task_display_name=\"" +
         title + "\" expect_eval=\"" + expect +
         "\" size=\"700M\" bulletin_url=\"http://h/b\" use_public_torrent=\"1\" "
         "store_name=\"s\" fetch_method=\"1\" fetch_url=\"http://f\"/>";
}

class PushFrameTest : public StoreTest {
 protected:
  PushFrameTest() {
    CPushDoc::ResetInstance();
    db = Login();
    CGIDList gids;
    db->AddPushedRecord("<tasks>" + Movie("11", "Bravo", "4.5") + Movie("12", "Alpha", "2.0") +
                            Movie("13", "Charlie", "3.0") + "</tasks>",
                        Saveas(), &gids);
    EXPECT_EQ(3u, gids.size());
    doc = CPushDoc::GetInstance();
    frame = std::make_unique<CPushFrame>();
    list = frame->RecordView();
    frame->resize(900, 600);
  }
  ~PushFrameTest() override {
    frame.reset();
    CPushDoc::ResetInstance();
  }
  QString Cell(int row, int col) {
    return list->Model()->data(list->Model()->index(row, col), Qt::DisplayRole).toString();
  }
  QStringList Names() {
    QStringList names;
    for (int r = 0; r < list->Model()->rowCount(); ++r) names << Cell(r, 0);
    return names;
  }

  CIntfDB* db = nullptr;
  CPushDoc* doc = nullptr;
  std::unique_ptr<CPushFrame> frame;
  CRecordListView* list = nullptr;
};
}  // namespace

TEST_F(PushFrameTest, StartsWithNothingCheckedAndRecordButtonsDisabled) {
  EXPECT_EQ(frame.get(), CPushFrame::GetInstance());
  EXPECT_EQ(-1, frame->CurCategory());
  for (int cmd : {CPushFrame::kCmdDownloaded, CPushFrame::kCmdDownloading, CPushFrame::kCmdDeleted,
                  CPushFrame::kCmdNewTask, CPushFrame::kCmdUneval, CPushFrame::kCmdThunder})
    EXPECT_FALSE(frame->Action(cmd)->isChecked()) << cmd;
  for (int cmd : {CPushFrame::kCmdPlay, CPushFrame::kCmdStop, CPushFrame::kCmdDownload,
                  CPushFrame::kCmdDelete})
    EXPECT_FALSE(frame->Action(cmd)->isEnabled()) << cmd;
  // Without a selection no record command has anything to act on.
  EXPECT_FALSE(frame->Action(CPushFrame::kCmdThunderDownload)->isEnabled());
  EXPECT_FALSE(frame->Action(CPushFrame::kCmdEval1)->isEnabled());
  EXPECT_EQ(QStringLiteral("新推送"), frame->Action(CPushFrame::kCmdNewTask)->text());
  EXPECT_EQ(QStringLiteral("立即推送"), frame->Action(CPushFrame::kCmdPushNow)->text());
  EXPECT_EQ(0, list->Model()->rowCount());
}

TEST_F(PushFrameTest, CategoryButtonsSwitchTheEngineAndTheListShowsItsCells) {
  frame->Action(CPushFrame::kCmdDownloaded)->trigger();
  EXPECT_EQ(PC_DOWNLOADED, doc->GetCurCategory());
  EXPECT_EQ(PC_DOWNLOADED, frame->CurCategory());
  EXPECT_TRUE(frame->Action(CPushFrame::kCmdDownloaded)->isChecked());
  EXPECT_EQ(0, list->Model()->rowCount());

  frame->Action(CPushFrame::kCmdNewTask)->trigger();
  EXPECT_EQ(PC_NEWTASK, doc->GetCurCategory());
  EXPECT_TRUE(frame->Action(CPushFrame::kCmdNewTask)->isChecked());
  EXPECT_FALSE(frame->Action(CPushFrame::kCmdDownloaded)->isChecked());
  ASSERT_EQ(3, list->Model()->rowCount());
  EXPECT_EQ(kRecordColumnCount, list->Model()->columnCount());
  EXPECT_EQ(QStringFromGBK(RecordColumnTitle(0)),
            list->Model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString());
  EXPECT_EQ(QStringLiteral("电影名"),
            list->Model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString());
  // Every cell is the engine's raw text through the display rule.
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < kRecordColumnCount; ++c) {
      SRecordViewEvent evt;
      evt.iType = 6;
      evt.iRow = r;
      evt.iColumn = c;
      doc->OnRecordViewEvent(evt);
      EXPECT_EQ(QStringFromGBK(DisplayPretty(c, evt.strText)), Cell(r, c)) << r << "," << c;
    }
  }
  QStringList names = Names();
  names.sort();
  EXPECT_EQ((QStringList{"Alpha", "Bravo", "Charlie"}), names);

  // Stripes stay with the rows.
  const QModelIndex first = list->Model()->index(0, 3);
  const QModelIndex second = list->Model()->index(1, 3);
  EXPECT_EQ(QColor(214, 231, 255), list->Model()->data(first, Qt::BackgroundRole).value<QColor>());
  EXPECT_EQ(QColor(253, 253, 253), list->Model()->data(second, Qt::BackgroundRole).value<QColor>());

  // A category switch by the engine itself checks the matching button.
  doc->OnChangeUneval();
  EXPECT_TRUE(frame->Action(CPushFrame::kCmdUneval)->isChecked());
  EXPECT_FALSE(frame->Action(CPushFrame::kCmdNewTask)->isChecked());
}

TEST_F(PushFrameTest, HeaderClicksSortThroughTheEngine) {
  frame->Action(CPushFrame::kCmdNewTask)->trigger();
  QHeaderView* header = list->horizontalHeader();
  emit header->sectionClicked(0);
  SSortStatus s = doc->GetSortStatus(PC_NEWTASK);
  EXPECT_TRUE(s.bSort);
  EXPECT_EQ(0, s.iColumn);
  EXPECT_FALSE(s.bAsc);
  EXPECT_EQ((QStringList{"Charlie", "Bravo", "Alpha"}), Names());
  EXPECT_TRUE(header->isSortIndicatorShown());
  EXPECT_EQ(Qt::DescendingOrder, header->sortIndicatorOrder());

  emit header->sectionClicked(0);
  EXPECT_TRUE(doc->GetSortStatus(PC_NEWTASK).bAsc);
  EXPECT_EQ((QStringList{"Alpha", "Bravo", "Charlie"}), Names());
  EXPECT_EQ(Qt::AscendingOrder, header->sortIndicatorOrder());

  emit header->sectionClicked(7);
  EXPECT_EQ(7, doc->GetSortStatus(PC_NEWTASK).iColumn);
  EXPECT_EQ((QStringList{"Bravo", "Charlie", "Alpha"}), Names());
  EXPECT_EQ(7, header->sortIndicatorSection());
}

TEST_F(PushFrameTest, SelectionReachesTheEngineAndShowsTheToolbars) {
  frame->show();
  frame->Action(CPushFrame::kCmdNewTask)->trigger();
  emit list->horizontalHeader()->sectionClicked(0);
  emit list->horizontalHeader()->sectionClicked(0);  // Alpha, Bravo, Charlie
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));

  const QRect rowRect = list->visualRect(list->Model()->index(1, 0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowRect.center());
  EXPECT_EQ(std::vector<uint32_t>{11}, doc->GetSelectedGIDs());
  EXPECT_FALSE(frame->RecordBar()->isHidden());
  EXPECT_FALSE(frame->EvalBar()->isHidden());

  // Held Ctrl: nothing is reported until the key is released, then the whole
  // selection at once, so that a command acts on the rows the list shows.
  QTest::keyPress(list, Qt::Key_Control);
  EXPECT_FALSE(list->IsNotifyingSelection());
  const QRect third = list->visualRect(list->Model()->index(2, 0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, third.center());
  EXPECT_EQ(std::vector<uint32_t>{11}, doc->GetSelectedGIDs());
  QTest::keyRelease(list, Qt::Key_Control);
  EXPECT_EQ((std::vector<uint32_t>{11, 13}), doc->GetSelectedGIDs());
  CFakeMessageBox boxes;
  ASSERT_TRUE(frame->Action(CPushFrame::kCmdDownload)->isEnabled());
  frame->Action(CPushFrame::kCmdDownload)->trigger();
  EXPECT_EQ(boxes.texts,
            std::vector<CString>{GBKFromQString(QStringLiteral("请选择单个电影下载"))});
  // A command given while Ctrl is still down sees the rows shown as well.
  QTest::keyPress(list, Qt::Key_Control);
  const QRect top = list->visualRect(list->Model()->index(0, 0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, top.center());
  frame->Action(CPushFrame::kCmdDownload)->trigger();
  EXPECT_EQ((std::vector<uint32_t>{12, 11, 13}), doc->GetSelectedGIDs());
  EXPECT_EQ(boxes.texts.size(), 2u);
  QTest::keyRelease(list, Qt::Key_Control);

  EXPECT_TRUE(frame->Action(CPushFrame::kCmdThunderDownload)->isEnabled());
  list->clearSelection();
  EXPECT_TRUE(doc->GetSelectedGIDs().empty());
  EXPECT_TRUE(frame->RecordBar()->isHidden());
  EXPECT_TRUE(frame->EvalBar()->isHidden());
  EXPECT_FALSE(frame->Action(CPushFrame::kCmdThunderDownload)->isEnabled());

  // The selection is restored with the category.
  list->selectionModel()->select(list->Model()->index(2, 0),
                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
  frame->Action(CPushFrame::kCmdDownloaded)->trigger();
  frame->Action(CPushFrame::kCmdNewTask)->trigger();
  EXPECT_EQ((QModelIndexList{list->Model()->index(2, 0)}), list->selectionModel()->selectedRows());
}

namespace {
class CRecordingShell final : public IShell {
 public:
  CRecordingShell() { SetShell(this); }
  ~CRecordingShell() override { SetShell(nullptr); }
  bool Open(const CString& target) override {
    opened.push_back(target);
    return true;
  }
  std::vector<CString> opened;
};
}  // namespace

TEST_F(PushFrameTest, DoubleClickPlaysADownloadedMovie) {
  CRecord rec = Get(13);
  rec.SetStatus(RS_DOWNLOADED);
  db->UpdateRecord(rec);
  const CString folder = rec.GetLocalAbsPath();  // GBK
  ASSERT_TRUE(QDir().mkpath(QStringFromGBK(folder)));
  QFile film(QStringFromGBK(folder) + QStringLiteral("/film.mkv"));
  ASSERT_TRUE(film.open(QIODevice::WriteOnly));
  film.write(QByteArray(3 << 20, 'x'));
  film.close();
  CRecordingShell shell;
  frame->show();
  frame->Action(CPushFrame::kCmdDownloaded)->trigger();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
  ASSERT_EQ(1, list->Model()->rowCount());
  const QRect row = list->visualRect(list->Model()->index(0, 3));
  QSignalSpy dbl(list, &QAbstractItemView::doubleClicked);
  // A double click is a click and then the second press.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
  EXPECT_EQ(dbl.count(), 1);
  EXPECT_EQ(shell.opened, std::vector<CString>{folder + "/film.mkv"});
}

TEST_F(PushFrameTest, ListFillsItsWidthDrawsProgressAndKeepsItsColumns) {
  CRecord rec = Get(11);
  rec.SetDownloadedPercent(50);
  db->UpdateRecord(rec);
  frame->resize(1800, 600);
  frame->show();
  frame->Action(CPushFrame::kCmdNewTask)->trigger();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
  QHeaderView* header = list->horizontalHeader();
  // The name takes what the other columns leave.
  int sum = 0;
  for (int c = 0; c < header->count(); ++c) sum += header->sectionSize(c);
  EXPECT_EQ(sum, list->viewport()->width());
  EXPECT_GT(header->sectionSize(0), RecordColumnWidth(0));

  // The percent cell is a bar: its filled half differs from its empty half.
  int row = -1;
  for (int r = 0; r < 3; ++r)
    if (Cell(r, 0) == QStringLiteral("Bravo")) row = r;
  ASSERT_GE(row, 0);
  EXPECT_TRUE(Cell(row, 1).startsWith(QStringLiteral("50"))) << Cell(row, 1).toStdString();
  EXPECT_DOUBLE_EQ(
      50.0,
      list->Model()->data(list->Model()->index(row, 1), CPercentDelegate::kPercentRole).toDouble());
  const QRect cell = list->visualRect(list->Model()->index(row, 1));
  const QImage shot = list->viewport()->grab().toImage();
  const int y = cell.top() + 4;
  EXPECT_NE(shot.pixelColor(cell.left() + 5, y), shot.pixelColor(cell.right() - 5, y));

  // Widths and order come back with the next window.
  header->resizeSection(3, 222);
  header->moveSection(header->visualIndex(2), 0);
  frame.reset();
  frame = std::make_unique<CPushFrame>();
  list = frame->RecordView();
  header = list->horizontalHeader();
  EXPECT_EQ(222, header->sectionSize(3));
  EXPECT_EQ(0, header->visualIndex(2));
  EXPECT_EQ(QHeaderView::Stretch, header->sectionResizeMode(0));
}

TEST_F(PushFrameTest, HelpNamesTheCategoryButtonsAsTheyRead) {
  QFile help(
      QFileInfo(QStringLiteral(VADEKO_EXE)).dir().filePath(QStringLiteral("help/index.html")));
  ASSERT_TRUE(help.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(help.readAll());
  for (int cmd : {CPushFrame::kCmdDownloaded, CPushFrame::kCmdDownloading, CPushFrame::kCmdDeleted,
                  CPushFrame::kCmdNewTask, CPushFrame::kCmdUneval, CPushFrame::kCmdThunder}) {
    const QString name = frame->Action(cmd)->text();
    EXPECT_TRUE(text.contains(QStringLiteral("<th>%1</th>").arg(name))) << name.toStdString();
  }
  // The buttons are above the list.
  EXPECT_FALSE(text.contains(QStringLiteral("左侧的按钮")));
}

TEST_F(PushFrameTest, ContextMenuHoldsTheActionsAndTheRatings) {
  std::unique_ptr<QMenu> menu(frame->BuildPopupMenu());
  const QList<QAction*> items = menu->actions();
  ASSERT_EQ(9, items.size());
  EXPECT_EQ(QStringLiteral("用Vadeko下载"), items[0]->text());
  EXPECT_EQ(QStringLiteral("播放已下载电影"), items[4]->text());
  EXPECT_FALSE(items[4]->isEnabled());
  EXPECT_EQ(QStringLiteral("边下边播"), items[5]->text());
  EXPECT_FALSE(items[5]->isEnabled());
  EXPECT_TRUE(items[6]->isSeparator());
  ASSERT_NE(nullptr, items[7]->menu());
  EXPECT_EQ(QStringLiteral("评价"), items[7]->text());
  EXPECT_EQ(5, items[7]->menu()->actions().size());
  EXPECT_EQ(QStringLiteral("类似的推送更多"), items[7]->menu()->actions()[4]->text());

  // "边下边播" follows the engine's word on the selection.
  SPushFrameData shown;
  shown.iType = 0;
  shown.iShow = 5;
  frame->OnPushFrameUpdate(shown);
  SPushFrameData streams;
  streams.iType = 5;
  streams.iValue = 1;
  frame->OnPushFrameUpdate(streams);
  std::unique_ptr<QMenu> again(frame->BuildPopupMenu());
  EXPECT_TRUE(again->actions()[5]->isEnabled());
  streams.iValue = 0;
  frame->OnPushFrameUpdate(streams);
  std::unique_ptr<QMenu> after(frame->BuildPopupMenu());
  EXPECT_FALSE(after->actions()[5]->isEnabled());
  EXPECT_EQ(QStringLiteral("不感兴趣"), items[8]->text());
}

TEST_F(PushFrameTest, TheExpectedRatingsTooltipTellsWhyTheMovieWasPushed) {
  frame->Action(CPushFrame::kCmdNewTask)->trigger();
  ASSERT_EQ(3, list->Model()->rowCount());
  auto tip = [&](int col) {
    return list->Model()->data(list->Model()->index(0, col), Qt::ToolTipRole).toString();
  };
  EXPECT_TRUE(tip(0).isEmpty());
  // No local server to ask: said so rather than a reason made up.
  EXPECT_EQ(QStringLiteral("本地服务没有运行，暂时无法询问推荐理由"), tip(7));
  doc->OnPushReason(doc->GetGIDs()[0], true, GBKFromQString(QStringLiteral("你给《甲》打了5分")));
  EXPECT_EQ(QStringLiteral("推荐理由：你给《甲》打了5分"), tip(7));
}

TEST_F(PushFrameTest, BulletinFollowsTheSelectionOnceAndReplacesMissingPages) {
  CLoopbackHttpServer server;
  std::atomic<int> hits11{0};
  server.Server().Get("/Bulletin", [&](const httplib::Request& req, httplib::Response& res) {
    if (req.get_param_value("iMovieID") != "11") {
      res.status = 404;
      res.set_content("no such movie", "text/plain");
      return;
    }
    ++hits11;
    res.set_content(
        "<html><body style='height:5000px'>Bravo<script>"
        "function StartThunderDownload(){document.title='thunder started';}</script></body></html>",
        "text/html; charset=utf-8");
  });
  ASSERT_TRUE(server.Start());
  CProcessValues::SetLocalSrvBaseUrl("http://127.0.0.1:" + std::to_string(server.Port()));
  CBulletinView* bulletin = frame->BulletinView();
  QSignalSpy shown(bulletin, &CBulletinView::pageShown);
  frame->show();
  frame->Action(CPushFrame::kCmdNewTask)->trigger();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));

  // Rows in push order: 11, 12, 13. A click on 11 shows its page, a second does not reload.
  const QRect first = list->visualRect(list->Model()->index(0, 0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first.center());
  ASSERT_TRUE(shown.wait(10000));
  EXPECT_EQ(1, hits11.load());
  EXPECT_TRUE(bulletin->url().toString().contains(QStringLiteral("iMovieID=11")));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first.center());
  QTest::qWait(300);
  EXPECT_EQ(1, hits11.load());

  // The page's own download-manager start, on the engine's request.
  SBulletinViewData thunder;
  thunder.iType = 2;
  bulletin->OnBulletinViewUpdate(thunder);
  QTRY_COMPARE_WITH_TIMEOUT(bulletin->title(), QStringLiteral("thunder started"), 5000);

  // The arrow key moves the bulletin too; a page the server lacks shows the placeholder.
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(std::vector<uint32_t>{12}, doc->GetSelectedGIDs());
  QTRY_VERIFY_WITH_TIMEOUT(bulletin->url() == CBulletinView::PlaceholderUrl(), 10000);
  EXPECT_TRUE(bulletin->CurrentUrl().toString().contains(QStringLiteral("iMovieID=12")));

  // An empty category shows no movie.
  frame->Action(CPushFrame::kCmdDownloaded)->trigger();
  EXPECT_TRUE(bulletin->CurrentUrl().isEmpty());
  EXPECT_EQ(0u, doc->GetBulletinGID());
}

namespace {
class PageDialogTest : public SettingsTest {
 protected:
  void SetUp() override {
    server.Server().Get("/dialog/t.htm", [](const httplib::Request&, httplib::Response& res) {
      // A slow page: its window waits for it rather than showing empty.
      std::this_thread::sleep_for(std::chrono::milliseconds(800));
      res.set_content(
          "<html><head><title>Test page</title></head><body><div id='footer'></div><script>"
          "function offerKeep(){var b=document.createElement('button');b.id='ButtonOK';"
          "b.setAttribute('data-keep','1');document.getElementById('footer').appendChild(b);"
          "return 1;}"
          "</script></body></html>",
          "text/html; charset=utf-8");
    });
    ASSERT_TRUE(server.Start());
    CPlatform::SetLoop(&loop);
    SetHtmlDialogView(&host);
    dlg.SetInitInfo(
        "TestDlg", "http://127.0.0.1:" + std::to_string(server.Port()) + "/dialog/t.htm", 420, 300);
  }
  void TearDown() override {
    SetHtmlDialogView(nullptr);
    CPlatform::SetLoop(nullptr);
  }
  CLoopbackHttpServer server;
  CQtMessageLoop loop;
  CQtHtmlDialog host;
  CCenterHTMLDialog dlg;
};
}  // namespace

TEST_F(PageDialogTest, EndsWithOkOnlyThroughThePageButtonOK) {
  QSize size;
  bool stillOpen = false;
  bool hiddenWhileLoading = false;
  QString title;
  QTimer::singleShot(0, [&] {
    CHtmlDialogWindow* window = host.Window(&dlg);
    ASSERT_NE(nullptr, window);
    size = window->size();
    hiddenWhileLoading = !window->isVisible();
    // The load may finish before this runs: ask the page until it is there.
    bool ready = false;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          window->View()->page()->runJavaScript(
              "typeof offerKeep", [&](const QVariant& v) { ready = v == "function"; });
          QTest::qWait(50);
          return ready;
        },
        30000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 10000));
    title = window->windowTitle();
    // Escape and the close box leave it open.
    QTest::keyClick(window, Qt::Key_Escape);
    window->close();
    QTest::qWait(100);
    stillOpen = window->isVisible() && dlg.HasWindow();
    // A page that may be left as it is: the close box means its OK button.
    bool offered = false;
    window->View()->page()->runJavaScript("offerKeep();", [&](const QVariant&) { offered = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return offered; }, 10000));
    window->close();
  });
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&] { dlg.EndDialog(99); });
  watchdog.start(40000);
  EXPECT_EQ(IDOK, dlg.DoModal());
  EXPECT_EQ(QSize(420, 300), size);
  EXPECT_TRUE(hiddenWhileLoading);
  EXPECT_EQ(QStringLiteral("Test page"), title);
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(nullptr, host.Window(&dlg));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
