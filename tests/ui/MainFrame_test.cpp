// The main window's reactions to the session controller's records, its toolbar,
// close-to-tray and tray menu, with the events it sends recorded.
#include "ui/frame/MainFrame.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QWebEnginePage>
#include <cstdlib>

#include "platform/qt/DesktopNotifications.h"
#include "platform/qt/QtMessageBox.h"
#include "platform/qt/QtText.h"
#include "store/MultiUserMgr.h"
#include "tests/support/TempHome.h"
#include "ui/panels/WebPanels.h"
#include "ui/push/PushFrame.h"
#include "zenuModule/src/ProcessValues.h"

namespace {
class MainFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CMultiUserMgr::ResetInstance();
    // Nothing listens there: the web panes only have to exist.
    CProcessValues::SetLocalSrvBaseUrl("http://127.0.0.1:9");
    frame =
        std::make_unique<CMainFrame>([this](const SMainFrameEvent& e) { sent.push_back(e.iType); });
    frame->InitFirstPane();
  }
  void TearDown() override {
    frame.reset();
    CMultiUserMgr::ResetInstance();
    CProcessValues::Reset();
  }
  static SMainDocEvent Event(int iType, int iParam = 0, const CString& text = "") {
    SMainDocEvent e;
    e.iType = iType;
    e.iParam = iParam;
    e.strText = text;
    return e;
  }
  void Trigger(int iCommand) {
    QAction* action = frame->ToolAction(iCommand);
    ASSERT_NE(action, nullptr);
    action->trigger();
  }
  std::vector<bool> Checks() {
    std::vector<bool> out;
    for (int id : {CMainFrame::kCmdPush, CMainFrame::kCmdSearch, CMainFrame::kCmdFriend,
                   CMainFrame::kCmdConfig, CMainFrame::kCmdHelp}) {
      out.push_back(frame->ToolAction(id)->isChecked());
    }
    return out;
  }

  CTempHome home;
  std::vector<int> sent;
  std::unique_ptr<CMainFrame> frame;
};
}  // namespace

TEST_F(MainFrameTest, ToolbarHasTheFiveButtonsInOrderAndStartsOnThePushPane) {
  QStringList texts;
  QStringList tips;
  for (QAction* a : frame->ToolBar()->actions()) {
    texts << a->text();
    tips << a->toolTip();
  }
  EXPECT_EQ(texts, (QStringList{"推送", "搜索", "好友", "设置", "帮助"}));
  EXPECT_EQ(tips, (QStringList{"电影推送与下载", "搜索电影", "查看好友", "设置选项", "帮助"}));
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("Vadeko2012冬季版"));
  EXPECT_EQ(frame->CurFrame(), CMainFrame::kPushFrame);
  ASSERT_NE(frame->Pane(CMainFrame::kPushFrame), nullptr);
  EXPECT_NE(qobject_cast<CPushFrame*>(frame->Pane(CMainFrame::kPushFrame)->widget()), nullptr);
  EXPECT_EQ(Checks(), (std::vector<bool>{true, false, false, false, false}));
  EXPECT_TRUE(frame->isHidden());  // created hidden; login shows it
}

TEST_F(MainFrameTest, ToolbarSwitchesPanesAndKeepsEachPane) {
  frame->show();
  Trigger(CMainFrame::kCmdSearch);
  EXPECT_EQ(frame->CurFrame(), CMainFrame::kSearchFrame);
  QMdiSubWindow* search = frame->Pane(CMainFrame::kSearchFrame);
  ASSERT_NE(search, nullptr);
  auto* view = qobject_cast<CWebPanelView*>(search->widget());
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return view->url() == QUrl("http://127.0.0.1:9/search_home.html"); }, 10000));
  EXPECT_EQ(Checks(), (std::vector<bool>{false, true, false, false, false}));

  // Again: the same pane is brought forward, no second one.
  Trigger(CMainFrame::kCmdSearch);
  EXPECT_EQ(frame->Pane(CMainFrame::kSearchFrame), search);
  EXPECT_EQ(frame->Panes()->subWindowList().size(), 2);
  EXPECT_EQ(Checks(), (std::vector<bool>{false, true, false, false, false}));

  Trigger(CMainFrame::kCmdFriend);
  EXPECT_EQ(frame->CurFrame(), CMainFrame::kFriendFrame);
  auto* friends = qobject_cast<CWebPanelView*>(frame->Pane(CMainFrame::kFriendFrame)->widget());
  ASSERT_NE(friends, nullptr);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return friends->url() == QUrl("http://127.0.0.1:9/friend_search.html"); }, 10000));
  EXPECT_TRUE(search->isHidden());
  // A hidden pane does not keep its page loaded.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return view->page()->lifecycleState() == QWebEnginePage::LifecycleState::Discarded; },
      10000));

  Trigger(CMainFrame::kCmdHelp);
  EXPECT_EQ(frame->CurFrame(), CMainFrame::kHelpFrame);
  EXPECT_EQ(Checks(), (std::vector<bool>{false, false, false, false, true}));

  // Settings opens a dialog and never changes the pane.
  Trigger(CMainFrame::kCmdConfig);
  EXPECT_EQ(frame->CurFrame(), CMainFrame::kHelpFrame);
  EXPECT_EQ(Checks(), (std::vector<bool>{false, false, false, false, true}));

  Trigger(CMainFrame::kCmdPush);
  EXPECT_EQ(frame->CurFrame(), CMainFrame::kPushFrame);
  EXPECT_FALSE(frame->Pane(CMainFrame::kPushFrame)->isHidden());
  EXPECT_TRUE(frame->Pane(CMainFrame::kHelpFrame)->isHidden());
  EXPECT_EQ(frame->Panes()->subWindowList().size(), 4);
  EXPECT_TRUE(sent.empty());

  // Shown again, the page comes back.
  Trigger(CMainFrame::kCmdSearch);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return view->page()->lifecycleState() == QWebEnginePage::LifecycleState::Active; },
      10000));
  EXPECT_EQ(view->url(), QUrl("http://127.0.0.1:9/search_home.html"));
}

TEST_F(MainFrameTest, SessionRecordsSetPanesStatusAndBalloons) {
  frame->OnUpdate(Event(4, 1, GBKFromQString("正在推送")));
  frame->OnUpdate(Event(4, 2, GBKFromQString("已连接服务器")));
  frame->OnUpdate(Event(4, 3, GBKFromQString("评价发送成功")));
  frame->OnUpdate(Event(4, 5, "ignored"));
  frame->OnUpdate(Event(4, 0, "ignored"));
  EXPECT_EQ(frame->StatusText(1), QStringLiteral("正在推送"));
  EXPECT_EQ(frame->StatusText(2), QStringLiteral("已连接服务器"));
  EXPECT_EQ(frame->StatusText(3), QStringLiteral("评价发送成功"));
  // The sharing pane sits at the right end beside the others, shown only while it has a word.
  auto* share = frame->findChild<QLabel*>(QStringLiteral("statusPane4"));
  ASSERT_NE(share, nullptr);
  EXPECT_TRUE(share->isHidden());
  frame->OnUpdate(Event(4, 4, GBKFromQString("正在分享 3 部电影 ↑ 512 KB/s")));
  EXPECT_EQ(frame->StatusText(4), QStringLiteral("正在分享 3 部电影 ↑ 512 KB/s"));
  EXPECT_FALSE(share->isHidden());
  EXPECT_EQ(frame->StatusText(3), QStringLiteral("评价发送成功"));
  frame->OnUpdate(Event(4, 4, ""));
  EXPECT_TRUE(share->isHidden());

  SMainDocEvent balloon = Event(0);
  balloon.strInfo1 = GBKFromQString("下载完成");
  balloon.strInfo2 = GBKFromQString("电影已下载");
  frame->OnUpdate(balloon);
  EXPECT_EQ(frame->LastBalloon(), (QStringList{"下载完成", "电影已下载"}));

  frame->OnUpdate(Event(2));
  EXPECT_EQ(frame->CurFrame(), CMainFrame::kHelpFrame);
  frame->OnUpdate(Event(3));
  EXPECT_EQ(frame->CurFrame(), CMainFrame::kPushFrame);
  frame->OnUpdate(Event(42));
  EXPECT_EQ(frame->CurFrame(), CMainFrame::kPushFrame);
  EXPECT_TRUE(sent.empty());
}

// A desktop's notification service, on a bus connection of its own.
class CFakeNotifications final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  QStringList summaries;
  QStringList bodies;
  QList<uint> replaced;

 public slots:
  Q_SCRIPTABLE uint Notify(const QString&, uint replacesId, const QString&, const QString& summary,
                           const QString& body, const QStringList&, const QVariantMap&, int) {
    summaries << summary;
    bodies << body;
    replaced << replacesId;
    // As a desktop does: a replacement keeps its id.
    return replacesId ? replacesId : 40 + static_cast<uint>(summaries.size());
  }
};

TEST_F(MainFrameTest, BalloonsBecomeDesktopNotificationsWhoseClickReachesTheController) {
  if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) GTEST_SKIP() << "run under dbus-run-session";
  const QString name = QString::fromLatin1(CDesktopNotifications::kService);
  const QString path = QString::fromLatin1(CDesktopNotifications::kPath);
  QDBusConnection desktop =
      QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("desktop"));
  CFakeNotifications service;
  ASSERT_TRUE(desktop.registerObject(path, &service, QDBusConnection::ExportScriptableSlots));
  ASSERT_TRUE(desktop.registerService(name));

  SMainDocEvent balloon = Event(0);
  balloon.strInfo1 = GBKFromQString("下载完成");
  balloon.strInfo2 = GBKFromQString("电影已下载");
  frame->OnUpdate(balloon);
  ASSERT_TRUE(QTest::qWaitFor([&] { return service.summaries.size() == 1; }, 10000));
  EXPECT_EQ(service.summaries[0], QStringLiteral("下载完成"));
  EXPECT_EQ(service.bodies[0], QStringLiteral("电影已下载"));
  // A later balloon replaces the shown one once its id is known.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        frame->OnUpdate(balloon);
        QTest::qWait(50);
        return service.replaced.back() != 0u;
      },
      10000));
  // A notification of another program's is no click of ours; ours is.
  auto click = [&](uint id) {
    QDBusMessage signal = QDBusMessage::createSignal(path, name, QStringLiteral("ActionInvoked"));
    signal << id << QStringLiteral("default");
    desktop.send(signal);
  };
  const uint ours = service.replaced.back();
  click(ours + 100);
  click(ours);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !sent.empty(); }, 10000));
  QTest::qWait(300);
  EXPECT_EQ(sent, std::vector<int>{3});

  desktop.unregisterService(name);
  desktop.unregisterObject(path);
  QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
}

TEST_F(MainFrameTest, TrayBeforeLoginAsksForTheLoginDialogOnly) {
  frame->OnTrayNotification(CMainFrame::kTrayLeftDown);
  EXPECT_EQ(sent, std::vector<int>{4});
  EXPECT_TRUE(frame->isHidden());
  frame->OnTrayNotification(CMainFrame::kTrayRightUp);
  EXPECT_EQ(frame->TrayIcon()->contextMenu(), nullptr);
  EXPECT_EQ(sent, std::vector<int>{4});

  frame->OnUpdate(Event(1));
  EXPECT_TRUE(frame->IsLoginDone());
  frame->OnTrayNotification(CMainFrame::kTrayLeftDown);
  EXPECT_TRUE(frame->isVisible());
  EXPECT_EQ(sent, std::vector<int>{4});
  EXPECT_NE(frame->TrayIcon()->contextMenu(), nullptr);

  frame->OnTrayNotification(CMainFrame::kTrayBalloonClick);
  EXPECT_EQ(sent, (std::vector<int>{4, 3}));
}

TEST_F(MainFrameTest, TrayMenuNamesTheUserAndItsQuitSendsEventZero) {
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd(GBKFromQString("影迷"),
                                                  "0123456789abcdef0123456789abcdef");
  frame->OnUpdate(Event(1));
  QMenu* menu = frame->BuildTrayMenu();
  EXPECT_EQ(menu->title(), QStringLiteral("Vadeko"));
  QStringList texts;
  for (QAction* a : menu->actions()) texts << a->text();
  EXPECT_EQ(texts, (QStringList{"影迷", "打开窗口", "关于Vadeko", "退出程序"}));
  // Rebuilt each time: still four entries.
  menu = frame->BuildTrayMenu();
  ASSERT_EQ(menu->actions().size(), 4);

  menu->actions()[3]->trigger();
  EXPECT_EQ(sent, std::vector<int>{0});

  menu->actions()[2]->trigger();  // about: the window and a box with the version
  EXPECT_TRUE(frame->isVisible());
  EXPECT_NE(frame->CurFrame(), CMainFrame::kHelpFrame);
  ASSERT_NE(frame->AboutBox(), nullptr);
  EXPECT_TRUE(frame->AboutBox()->isVisible());
  EXPECT_TRUE(frame->AboutBox()->text().contains(QStringLiteral("Vadeko2012冬季版")));
  EXPECT_TRUE(frame->AboutBox()->text().contains(QStringLiteral("版本 172")));
  QMessageBox* first = frame->AboutBox();
  menu->actions()[2]->trigger();  // one box at a time
  EXPECT_EQ(frame->AboutBox(), first);
  first->close();
  EXPECT_EQ(sent, std::vector<int>{0});
}

TEST_F(MainFrameTest, CloseHidesUntilTheQuitSequenceClosesForReal) {
  QSignalSpy closed(frame.get(), &CMainFrame::closedForReal);
  frame->OnUpdate(Event(1));
  frame->ShowAfterLogin(false);
  EXPECT_TRUE(frame->isVisible());
  EXPECT_TRUE(frame->isMaximized());

  EXPECT_FALSE(frame->close());
  EXPECT_TRUE(frame->isHidden());
  EXPECT_EQ(closed.count(), 0);
  EXPECT_TRUE(sent.empty());

  // "打开窗口" brings it back maximised.
  frame->BuildTrayMenu()->actions()[1]->trigger();
  EXPECT_TRUE(frame->isVisible());
  EXPECT_TRUE(frame->isMaximized());

  frame->OnUpdate(Event(5));
  EXPECT_TRUE(frame->IsClosedForReal());
  EXPECT_TRUE(frame->isHidden());
  EXPECT_EQ(closed.count(), 1);
  EXPECT_TRUE(sent.empty());
}

TEST_F(MainFrameTest, AutomaticStartStaysHiddenAndRaiseShowsMaximised) {
  frame->ShowAfterLogin(true);
  EXPECT_TRUE(frame->isHidden());
  frame->ShowMaximizedAndRaise();
  EXPECT_TRUE(frame->isVisible());
  EXPECT_TRUE(frame->isMaximized());
}

TEST_F(MainFrameTest, PostedExitCommandAndSessionEndReachTheController) {
  frame->PostCommand(CMainFrame::kExitCommand);
  EXPECT_TRUE(sent.empty());  // queued like a menu command
  QApplication::processEvents();
  EXPECT_EQ(sent, std::vector<int>{0});

  frame->OnEndSession(false);
  EXPECT_EQ(sent, std::vector<int>{0});
  frame->OnEndSession(true);
  EXPECT_EQ(sent, (std::vector<int>{0, 1}));
}

#include "MainFrame_test.moc"

TEST(QtMessageBox, ShortTextsStillLeaveTheTitleBarRoomForTheTitle) {
  CQtMessageBox boxes;
  int width = 0;
  int titleWidth = 0;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    width = box->width();
    titleWidth = box->fontMetrics().horizontalAdvance(box->windowTitle());
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(IDOK, boxes.Show("x", 0));  // a message as short as they come
  // The title bar also holds an icon and three buttons.
  EXPECT_GE(width, titleWidth + 200);
}
