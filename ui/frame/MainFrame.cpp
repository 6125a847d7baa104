#include "MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDBusConnection>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QToolBar>

#include "app/MainDoc.h"
#include "platform/qt/DesktopNotifications.h"
#include "platform/qt/QtText.h"
#include "settings/ConfigDoc.h"
#include "store/MultiUserMgr.h"
#include "ui/panels/WebPanels.h"
#include "ui/push/PushFrame.h"
#include "zenuModule/src/CatchApp.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/ProcessValues.h"

namespace {
CMainFrame* g_mainFrame = nullptr;

// Qt signals reach the core through the same last-chance handler as the loop's tasks.
void Guarded(const std::function<void()>& task) { CCatchApp::Dispatch(task); }

QIcon AppIcon() {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(QColor(43, 108, 176));
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(2, 2, 60, 60);
  painter.setPen(Qt::white);
  QFont font = painter.font();
  font.setPixelSize(40);
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("V"));
  return QIcon(pixmap);
}

QIcon ToolIcon(const char* themeName, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(QString::fromLatin1(themeName), qApp->style()->standardIcon(fallback));
}
}  // namespace

CMainFrame::CMainFrame(EventSink sink) : m_sink(std::move(sink)) {
  if (!m_sink) {
    m_sink = [](const SMainFrameEvent& evt) { CMainDoc::GetInstance()->OnMainFrameEvent(evt); };
  }
  setWindowTitle(QStringFromGBK(kDisplayName));
  setWindowIcon(AppIcon());
  m_mdi = new QMdiArea(this);
  m_mdi->setFrameShape(QFrame::NoFrame);
  setCentralWidget(m_mdi);
  CreateToolbar();
  CreateStatusBar();
  CreateTray();
  resize(1100, 720);
  g_mainFrame = this;
}

CMainFrame::~CMainFrame() {
  if (m_tray) m_tray->hide();
  if (g_mainFrame == this) g_mainFrame = nullptr;
}

CMainFrame* CMainFrame::GetInstance() { return g_mainFrame; }

void CMainFrame::CreateToolbar() {
  m_wndToolBar = new QToolBar(QStringLiteral("Vadeko"), this);
  m_wndToolBar->setObjectName(QStringLiteral("mainToolBar"));
  m_wndToolBar->setMovable(false);
  m_wndToolBar->setFloatable(false);
  m_wndToolBar->setIconSize(QSize(48, 48));
  m_wndToolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  m_wndToolBar->toggleViewAction()->setVisible(false);
  addToolBar(Qt::TopToolBarArea, m_wndToolBar);

  struct SButton {
    int iCommand;
    const char* text;
    const char* tip;
    const char* theme;
    QStyle::StandardPixmap fallback;
    bool checkable;
  };
  const SButton buttons[] = {
      {kCmdPush, "推送", "电影推送与下载", "go-down", QStyle::SP_ArrowDown, true},
      {kCmdSearch, "搜索", "搜索电影", "edit-find", QStyle::SP_FileDialogContentsView, true},
      {kCmdFriend, "好友", "查看好友", "system-users", QStyle::SP_DirHomeIcon, true},
      {kCmdConfig, "设置", "设置选项", "preferences-system", QStyle::SP_FileDialogDetailedView,
       false},
      {kCmdHelp, "帮助", "帮助", "help-browser", QStyle::SP_DialogHelpButton, true},
  };
  for (const SButton& b : buttons) {
    QAction* action =
        m_wndToolBar->addAction(ToolIcon(b.theme, b.fallback), QString::fromUtf8(b.text));
    action->setToolTip(QString::fromUtf8(b.tip));
    action->setCheckable(b.checkable);
    action->setData(b.iCommand);
    const int iCommand = b.iCommand;
    connect(action, &QAction::triggered, this, [this, iCommand] {
      Guarded([this, iCommand] { OnCommand(iCommand); });
      SyncToolbarChecks();
    });
  }
  SyncToolbarChecks();
}

void CMainFrame::CreateStatusBar() {
  for (int i = 0; i < 3; ++i) {
    m_panes[i] = new QLabel(this);
    m_panes[i]->setObjectName(QStringLiteral("statusPane%1").arg(i + 1));
    m_panes[i]->setMinimumWidth(kStatusWidths[i]);
    m_panes[i]->setFrameShape(QFrame::StyledPanel);
    m_panes[i]->setFrameShadow(QFrame::Sunken);
    statusBar()->addWidget(m_panes[i]);
  }
  m_sharePane = new QLabel(this);
  m_sharePane->setObjectName(QStringLiteral("statusPane4"));
  m_sharePane->setFrameShape(QFrame::StyledPanel);
  m_sharePane->setFrameShadow(QFrame::Sunken);
  m_sharePane->hide();
  statusBar()->addPermanentWidget(m_sharePane);
}

void CMainFrame::CreateTray() {
  m_tray = new QSystemTrayIcon(AppIcon(), this);
  m_tray->setToolTip(QStringFromGBK(kDisplayName));
  m_trayMenu = new QMenu(QStringLiteral("Vadeko"), this);
  connect(m_trayMenu, &QMenu::aboutToShow, this, [this] { BuildTrayMenu(); });
  connect(m_tray, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger) OnTrayNotification(kTrayLeftDown);
            if (reason == QSystemTrayIcon::Context) OnTrayNotification(kTrayRightUp);
          });
  connect(m_tray, &QSystemTrayIcon::messageClicked, this,
          [this] { OnTrayNotification(kTrayBalloonClick); });
  m_notifications = new CDesktopNotifications(QDBusConnection::sessionBus(), this);
  connect(m_notifications, &CDesktopNotifications::clicked, this,
          [this] { OnTrayNotification(kTrayBalloonClick); });
  connect(m_notifications, &CDesktopNotifications::failed, this,
          [this](const QString& title, const QString& text) {
            m_tray->showMessage(title, text, QSystemTrayIcon::Information, kBalloonMs);
          });
  m_tray->show();
}

QMenu* CMainFrame::BuildTrayMenu() {
  m_trayMenu->clear();
  CString strUser;
  Guarded([&] { CMultiUserMgr::GetInstance()->GetDefaultUser(&strUser, nullptr); });
  QAction* user = m_trayMenu->addAction(QStringFromGBK(strUser));
  QAction* open = m_trayMenu->addAction(style()->standardIcon(QStyle::SP_TitleBarMaxButton),
                                        QStringLiteral("打开窗口"));
  QAction* about = m_trayMenu->addAction(style()->standardIcon(QStyle::SP_MessageBoxInformation),
                                         QStringLiteral("关于Vadeko"));
  QAction* quit = m_trayMenu->addAction(style()->standardIcon(QStyle::SP_DialogCloseButton),
                                        QStringLiteral("退出程序"));
  const std::pair<QAction*, int> commands[] = {
      {user, kCmdPopupShow}, {open, kCmdPopupShow}, {about, kCmdAbout}, {quit, kExitCommand}};
  for (const auto& [action, iCommand] : commands) {
    action->setData(iCommand);
    const int id = iCommand;
    connect(action, &QAction::triggered, this,
            [this, id] { Guarded([this, id] { OnCommand(id); }); });
  }
  return m_trayMenu;
}

QAction* CMainFrame::ToolAction(int iCommandId) const {
  for (QAction* action : m_wndToolBar->actions()) {
    if (action->data().toInt() == iCommandId) return action;
  }
  return nullptr;
}

QMdiSubWindow* CMainFrame::Pane(int iFrame) const {
  return iFrame >= 0 && iFrame < 4 ? m_frames[iFrame] : nullptr;
}

QString CMainFrame::StatusText(int iPane) const {
  if (iPane == 4) return m_sharePane->text();
  return iPane >= 1 && iPane <= 3 ? m_panes[iPane - 1]->text() : QString();
}

void CMainFrame::SyncToolbarChecks() {
  const std::pair<int, int> checks[] = {{kCmdPush, kPushFrame},
                                        {kCmdSearch, kSearchFrame},
                                        {kCmdFriend, kFriendFrame},
                                        {kCmdHelp, kHelpFrame}};
  for (const auto& [iCommand, iFrame] : checks) {
    if (QAction* action = ToolAction(iCommand)) action->setChecked(m_iCurFrame == iFrame);
  }
}

void CMainFrame::OnUpdate(const SMainDocEvent& event) {
  switch (event.iType) {
    case 0:
      ShowBalloonTip(QStringFromGBK(event.strInfo1), QStringFromGBK(event.strInfo2));
      break;
    case 1:
      m_bLoginDone = 1;
      m_tray->setContextMenu(m_trayMenu);
      break;
    case 2:
      OnSwitchHelpFrm();
      break;
    case 3:
      OnSwitchPushFrm();
      break;
    case 4:
      if (event.iParam >= 1 && event.iParam <= 3) {
        m_panes[event.iParam - 1]->setText(QStringFromGBK(event.strText));
      } else if (event.iParam == 4) {
        m_sharePane->setText(QStringFromGBK(event.strText));
        m_sharePane->setVisible(!event.strText.empty());
      }
      break;
    case 5:
      m_bCloseForReal = true;
      close();
      break;
    default:
      break;
  }
}

void CMainFrame::ShowMaximizedAndRaise() {
  showMaximized();
  raise();
  activateWindow();
}

void CMainFrame::ShowAfterLogin(bool bHidden) {
  if (bHidden) {
    hide();
  } else {
    showMaximized();
  }
}

void CMainFrame::PostCommand(int iCommandId) {
  QMetaObject::invokeMethod(
      this, [this, iCommandId] { Guarded([this, iCommandId] { OnCommand(iCommandId); }); },
      Qt::QueuedConnection);
}

void CMainFrame::OnCommand(int iCommandId) {
  switch (iCommandId) {
    case kCmdPush:
      OnSwitchPushFrm();
      break;
    case kCmdSearch:
      OnSwitchSearchFrm();
      break;
    case kCmdFriend:
      OnSwitchFriendFrm();
      break;
    case kCmdHelp:
      OnSwitchHelpFrm();
      break;
    case kCmdConfig:
      OnOpenConfigDlg();
      break;
    case kCmdPopupShow:
      OnPopupShow();
      break;
    case kCmdAbout:
      OnAbout();
      break;
    case kExitCommand:
      OnPopupExit();
      break;
    default:
      break;
  }
}

void CMainFrame::ShowBalloonTip(const QString& title, const QString& text) {
  m_lastBalloon = QStringList{title, text};
  if (!m_notifications->Show(title, text, kBalloonMs)) {
    m_tray->showMessage(title, text, QSystemTrayIcon::Information, kBalloonMs);
  }
}

QWidget* CMainFrame::CreatePaneWidget(int iFrame) {
  switch (iFrame) {
    case kSearchFrame:
      return new CWebPanelView(CWebPanelView::kSearch);
    case kFriendFrame:
      return new CWebPanelView(CWebPanelView::kFriend);
    case kHelpFrame:
      return new CWebPanelView(CWebPanelView::kHelp);
    default:
      return new CPushFrame;
  }
}

void CMainFrame::ShowPane(int iFrame) {
  QMdiSubWindow*& frame = m_frames[iFrame];
  if (!frame) {
    QWidget* widget = CreatePaneWidget(iFrame);
    frame = m_mdi->addSubWindow(widget, Qt::FramelessWindowHint);
    frame->setAttribute(Qt::WA_DeleteOnClose, false);
    if (auto* web = qobject_cast<CWebPanelView*>(widget)) web->load(web->PageUrl());
  }
  for (QMdiSubWindow* other : m_frames) {
    if (other && other != frame) other->hide();
  }
  frame->showMaximized();
  m_mdi->setActiveSubWindow(frame);
  m_iCurFrame = iFrame;
  SyncToolbarChecks();
}

void CMainFrame::InitFirstPane() { ShowPane(kPushFrame); }

void CMainFrame::OnSwitchPushFrm() {
  if (m_iCurFrame == kPushFrame && m_frames[kPushFrame]) return;
  ShowPane(kPushFrame);
}

void CMainFrame::OnSwitchSearchFrm() { ShowPane(kSearchFrame); }

void CMainFrame::OnSwitchFriendFrm() { ShowPane(kFriendFrame); }

void CMainFrame::OnSwitchHelpFrm() {
  if (m_iCurFrame == kHelpFrame) return;
  ShowPane(kHelpFrame);
}

void CMainFrame::OnOpenConfigDlg() { CConfigDoc::GetInstance()->OpenConfigDlg(); }

void CMainFrame::OnPopupShow() { ShowMaximizedAndRaise(); }

void CMainFrame::OnAbout() {
  OnPopupShow();
  if (m_about) {
    m_about->raise();
    m_about->activateWindow();
    return;
  }
  // Not modal: the tray and the window keep working while it is open.
  m_about = new QMessageBox(QMessageBox::Information, QStringLiteral("关于Vadeko"),
                            QStringLiteral("%1\n版本 %2\n\n为您推送、下载和播放电影。")
                                .arg(QStringFromGBK(kDisplayName))
                                .arg(kProgramVersion),
                            QMessageBox::Ok, this);
  m_about->setTextFormat(Qt::PlainText);
  m_about->button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
  m_about->setAttribute(Qt::WA_DeleteOnClose);
  m_about->setWindowModality(Qt::NonModal);
  m_about->show();
}

void CMainFrame::OnPopupExit() { SendEvent(0); }

void CMainFrame::OnTrayNotification(int iMessage) {
  switch (iMessage) {
    case kTrayLeftDown:
      if (!m_bLoginDone) {
        SendEvent(4);
        break;
      }
      if (isMaximized()) {
        showMaximized();
      } else if (isMinimized()) {
        showNormal();
      } else {
        show();
      }
      raise();
      activateWindow();
      break;
    case kTrayRightUp:
      // The system opens the menu set at login; before login there is none.
      if (m_bLoginDone && !m_tray->contextMenu()) BuildTrayMenu()->popup(QCursor::pos());
      break;
    case kTrayBalloonClick:
      SendEvent(3);
      break;
    default:
      break;
  }
}

void CMainFrame::OnEndSession(bool bEnding) {
  if (bEnding) SendEvent(1);
}

void CMainFrame::SendEvent(int iType) {
  SMainFrameEvent evt;
  evt.iType = iType;
  Guarded([&] { m_sink(evt); });
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (!m_bCloseForReal) {
    hide();
    event->ignore();
    return;
  }
  m_tray->hide();
  event->accept();
  emit closedForReal();
}
