#pragma once
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <functional>

#include "app/MainFrameView.h"
#include "zenuModule/src/MainFrameEvent.h"

class CDesktopNotifications;
class QAction;
class QActionGroup;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QSystemTrayIcon;
class QToolBar;

// The program's main window: one pane at a time (push, search, friends, help)
// switched by the toolbar, three status panes, and the tray icon that keeps the
// program reachable while the window is hidden.
class CMainFrame final : public QMainWindow, public IMainFrameView {
  Q_OBJECT

 public:
  enum EFrame { kPushFrame = 0, kSearchFrame = 1, kFriendFrame = 2, kHelpFrame = 3 };
  enum ECommand {
    kCmdPush = 32771,
    kCmdSearch = 32772,
    kCmdFriend = 32773,
    kCmdHelp = 32791,
    kCmdConfig = 32816,
    kCmdPopupShow = 32800,
    kCmdAbout = 32802,
  };
  // The tray messages as the notification area reports them.
  enum ETrayMessage { kTrayLeftDown = 513, kTrayRightUp = 517, kTrayBalloonClick = 1029 };
  static constexpr int kStatusWidths[3] = {514, 244, 244};
  static constexpr int kBalloonMs = 15000;

  using EventSink = std::function<void(const SMainFrameEvent&)>;

  // Without a sink the events go to the session controller.
  explicit CMainFrame(EventSink sink = {});
  ~CMainFrame() override;
  CMainFrame(const CMainFrame&) = delete;
  CMainFrame& operator=(const CMainFrame&) = delete;

  // The application's main window; null before creation.
  static CMainFrame* GetInstance();

  void OnUpdate(const SMainDocEvent& event) override;
  void ShowMaximizedAndRaise() override;
  void ShowAfterLogin(bool bHidden) override;
  void PostCommand(int iCommandId) override;

  // The shell's new-document command: the push pane, whatever is shown.
  void InitFirstPane();
  void ShowBalloonTip(const QString& title, const QString& text);
  void OnSwitchPushFrm();
  void OnSwitchSearchFrm();
  void OnSwitchFriendFrm();
  void OnSwitchHelpFrm();
  void OnOpenConfigDlg();
  void OnPopupShow();
  void OnAbout();
  void OnPopupExit();
  void OnTrayNotification(int iMessage);
  void OnEndSession(bool bEnding);
  void OnCommand(int iCommandId);

  int CurFrame() const { return m_iCurFrame; }
  bool IsLoginDone() const { return m_bLoginDone != 0; }
  bool IsClosedForReal() const { return m_bCloseForReal; }
  QString StatusText(int iPane) const;
  QToolBar* ToolBar() const { return m_wndToolBar; }
  QAction* ToolAction(int iCommandId) const;
  QSystemTrayIcon* TrayIcon() const { return m_tray; }
  // The last balloon asked for: title and text.
  QStringList LastBalloon() const { return m_lastBalloon; }
  // The about box while it is open; null otherwise.
  QMessageBox* AboutBox() const { return m_about; }
  // The tray menu as it is when it opens (rebuilt each time).
  QMenu* BuildTrayMenu();
  QMdiArea* Panes() const { return m_mdi; }
  // The pane of a frame, null before it was first opened.
  QMdiSubWindow* Pane(int iFrame) const;

 signals:
  // The quit sequence has ended: the program ends now.
  void closedForReal();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateToolbar();
  void CreateStatusBar();
  void CreateTray();
  // Activates the pane or opens it; the pane is kept for later switches.
  void ShowPane(int iFrame);
  QWidget* CreatePaneWidget(int iFrame);
  void SyncToolbarChecks();
  void SendEvent(int iType);

  EventSink m_sink;
  QToolBar* m_wndToolBar = nullptr;
  QLabel* m_panes[3] = {nullptr, nullptr, nullptr};
  // Pane 4, at the right end: what is shared; hidden while nothing is.
  QLabel* m_sharePane = nullptr;
  QMdiArea* m_mdi = nullptr;
  QMdiSubWindow* m_frames[4] = {nullptr, nullptr, nullptr, nullptr};
  QSystemTrayIcon* m_tray = nullptr;
  CDesktopNotifications* m_notifications = nullptr;
  QMenu* m_trayMenu = nullptr;
  int m_iCurFrame = kPushFrame;
  int m_bLoginDone = 0;
  bool m_bCloseForReal = false;
  QStringList m_lastBalloon;
  QPointer<QMessageBox> m_about;
};
