#include "PushFrame.h"

#include <QAction>
#include <QActionGroup>
#include <QCursor>
#include <QHBoxLayout>
#include <QMenu>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>

#include "BulletinView.h"
#include "RecordListView.h"
#include "push/PushDoc.h"
#include "zenuModule/src/CatchApp.h"
#include "zenuModule/src/Log.h"

namespace {
CPushFrame* g_frame = nullptr;

struct SCategoryButton {
  int iCommand;
  const char* text;
  int iCategory;
};
// Button order of the category bar and the category each one shows.
const SCategoryButton kCategories[] = {
    {CPushFrame::kCmdDownloaded, "已下载", PC_DOWNLOADED},
    {CPushFrame::kCmdDownloading, "正下载", PC_DOWNLOADING},
    {CPushFrame::kCmdDeleted, "已删除", PC_DELETED},
    {CPushFrame::kCmdNewTask, "新推送", PC_NEWTASK},
    {CPushFrame::kCmdUneval, "未评价", PC_UNEVAL},
    {CPushFrame::kCmdThunder, "迅雷下载", PC_THUNDER},
};

struct SRecordButton {
  int iCommand;
  const char* tooltip;
  const char* menuText;
  int iStateIndex;  // -1 = always enabled
};
const SRecordButton kRecordButtons[] = {
    {CPushFrame::kCmdDownload, "用Vadeko下载", "用Vadeko下载", 2},
    {CPushFrame::kCmdThunderDownload, "使用迅雷下载（推荐）", "用迅雷下载（推荐）", -1},
    {CPushFrame::kCmdStop, "停止下载", "停止下载", 1},
    {CPushFrame::kCmdDelete, "删除电影", "删除电影", 3},
    {CPushFrame::kCmdPlay, "播放电影", "播放已下载电影", 0},
    {CPushFrame::kCmdStreamPlay, "边下边播", "边下边播", 4},
};

const char* const kEvalTips[] = {"1分，类似的不要推送", "2分，类似的减少推送", "3分，感觉一般",
                                 "4分，类似的可以适当推送", "5分，类似的推送更多"};
const char* const kEvalMenu[] = {"类似的不要推送", "类似的减少推送", "感觉一般",
                                 "类似的可以适当推送", "类似的推送更多"};

void Doc(const std::function<void(CPushDoc*)>& call) {
  CCatchApp::Dispatch([&] { call(CPushDoc::GetInstance()); });
}
}  // namespace

CPushFrame* CPushFrame::GetInstance() { return g_frame; }

CPushFrame::CPushFrame(QWidget* parent) : QWidget(parent) {
  g_frame = this;
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* bars = new QHBoxLayout;
  bars->setContentsMargins(0, 0, 0, 0);
  bars->setSpacing(1);
  layout->addLayout(bars);

  m_wndCategoryBar = NewBar(25);
  m_categoryGroup = new QActionGroup(this);
  m_categoryGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  bool first = true;
  for (const SCategoryButton& b : kCategories) {
    if (!first) m_wndCategoryBar->addSeparator();
    first = false;
    QAction* a = AddCommand(m_wndCategoryBar, b.iCommand, QString::fromUtf8(b.text));
    a->setCheckable(true);
    m_categoryGroup->addAction(a);
  }
  m_wndPushBar = NewBar(25);
  AddCommand(m_wndPushBar, kCmdPushNow, QStringLiteral("立即推送"));
  m_wndRecordBar = NewBar(24);
  for (const SRecordButton& b : kRecordButtons)
    AddCommand(m_wndRecordBar, b.iCommand, QString::fromUtf8(b.tooltip));
  m_wndEvalBar = NewBar(20);
  for (int i = 0; i < 5; ++i)
    AddCommand(m_wndEvalBar, kCmdEval1 + i, QString::fromUtf8(kEvalTips[i]))
        ->setIconText(QString::number(i + 1) + QStringLiteral("分"));
  for (QToolBar* bar : {m_wndCategoryBar, m_wndPushBar, m_wndRecordBar, m_wndEvalBar})
    bars->addWidget(bar);
  bars->addStretch(1);

  m_wndSplitter = new QSplitter(Qt::Vertical, this);
  m_pRecordView = new CRecordListView(m_wndSplitter);
  m_pBulletin = new CBulletinView(m_wndSplitter);
  m_wndSplitter->addWidget(m_pRecordView);
  m_wndSplitter->addWidget(m_pBulletin);
  m_wndSplitter->setStretchFactor(0, 0);
  m_wndSplitter->setStretchFactor(1, 1);
  m_wndSplitter->setSizes({kListHeight, 400});
  layout->addWidget(m_wndSplitter, 1);

  m_wndRecordBar->hide();
  m_wndEvalBar->hide();
  SyncChecks();
  m_pBulletin->OnBulletinViewUpdate(SBulletinViewData());
  CPushDoc::GetInstance()->SetPushFrame(this);
}

CPushFrame::~CPushFrame() {
  if (CPushDoc::HasInstance()) CPushDoc::GetInstance()->SetPushFrame(nullptr);
  if (g_frame == this) g_frame = nullptr;
}

QToolBar* CPushFrame::NewBar(int iIconSize) {
  auto* bar = new QToolBar(this);
  bar->setIconSize(QSize(iIconSize, iIconSize));
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  return bar;
}

QAction* CPushFrame::AddCommand(QToolBar* bar, int iCommand, const QString& text) {
  QAction* a = bar->addAction(text);
  a->setToolTip(text);
  m_actions[iCommand] = a;
  connect(a, &QAction::triggered, this, [this, iCommand] { OnCommand(iCommand); });
  return a;
}

QAction* CPushFrame::Action(int iCommand) const {
  auto it = m_actions.find(iCommand);
  return it == m_actions.end() ? nullptr : it->second;
}

void CPushFrame::OnCommand(int iCommand) {
  m_pRecordView->FlushSelection();
  switch (iCommand) {
    case kCmdDownloaded:
      Doc([](CPushDoc* d) { d->OnChangeDownloaded(); });
      break;
    case kCmdDownloading:
      Doc([](CPushDoc* d) { d->OnChangeDownloading(); });
      break;
    case kCmdDeleted:
      Doc([](CPushDoc* d) { d->OnChangeDeleted(); });
      break;
    case kCmdNewTask:
      Doc([](CPushDoc* d) { d->OnChangeNewTask(); });
      break;
    case kCmdUneval:
      Doc([](CPushDoc* d) { d->OnChangeUneval(); });
      break;
    case kCmdThunder:
      Doc([](CPushDoc* d) { d->OnChangeThunder(); });
      break;
    case kCmdPushNow:
      Doc([](CPushDoc* d) { d->OnPushingGuide(); });
      break;
    case kCmdDownload:
      Doc([](CPushDoc* d) { d->OnDownloadRecord(); });
      break;
    case kCmdThunderDownload:
      Doc([](CPushDoc* d) { d->OnRunningThunder(); });
      break;
    case kCmdStop:
      Doc([](CPushDoc* d) { d->OnStopRecord(); });
      break;
    case kCmdDelete:
      Doc([](CPushDoc* d) { d->OnDeleteRecord(); });
      break;
    case kCmdPlay:
      Doc([](CPushDoc* d) { d->OnPlay(); });
      break;
    case kCmdStreamPlay:
      Doc([](CPushDoc* d) { d->OnStreamPlay(); });
      break;
    case kCmdEval1:
      Doc([](CPushDoc* d) { d->OnEvalDisgust(); });
      break;
    case kCmdEval1 + 1:
      Doc([](CPushDoc* d) { d->OnEvalDislike(); });
      break;
    case kCmdEval1 + 2:
      Doc([](CPushDoc* d) { d->OnEvalSoso(); });
      break;
    case kCmdEval1 + 3:
      Doc([](CPushDoc* d) { d->OnEvalLike(); });
      break;
    case kCmdEval1 + 4:
      Doc([](CPushDoc* d) { d->OnEvalFond(); });
      break;
    default:
      ZTRACE(1, "CPushFrame::OnCommand", "no handler: %d", iCommand);
      break;
  }
  // The document decides the checked category; undo a toggle it did not make.
  SyncChecks();
}

void CPushFrame::OnPushFrameUpdate(const SPushFrameData& data) {
  switch (data.iType) {
    case 0:
      m_wndRecordBar->setVisible(data.iShow != 0);
      m_bHasSelection = data.iShow != 0;
      SyncChecks();
      break;
    case 1:
      m_wndEvalBar->setVisible(data.iShow != 0);
      if (layout()) layout()->activate();
      break;
    case 2:
      m_iCurCategory = data.iCategory;
      SyncChecks();
      break;
    case 3:
      OnRightPopupmenu();
      break;
    case 4:
      SetToolbarButton(data.iIndex, data.iValue);
      break;
    case 5:
      m_arrBtnState[4] = data.iValue;
      SyncChecks();
      break;
    default:
      break;
  }
}

void CPushFrame::SetToolbarButton(int iIndex, int iValue) {
  if (iIndex < 0 || iIndex > 3) return;
  m_arrBtnState[iIndex] = iValue;
  SyncChecks();
}

void CPushFrame::SyncChecks() {
  for (const SCategoryButton& b : kCategories)
    m_actions[b.iCommand]->setChecked(b.iCategory == m_iCurCategory);
  for (const SRecordButton& b : kRecordButtons)
    m_actions[b.iCommand]->setEnabled(m_bHasSelection &&
                                      (b.iStateIndex < 0 || m_arrBtnState[b.iStateIndex] != 0));
  for (int i = 0; i < 5; ++i) m_actions[kCmdEval1 + i]->setEnabled(m_bHasSelection);
}

QMenu* CPushFrame::BuildPopupMenu() {
  auto* menu = new QMenu(QStringLiteral("右键菜单"), this);
  for (const SRecordButton& b : kRecordButtons) {
    QAction* src = m_actions[b.iCommand];
    QAction* item = menu->addAction(QString::fromUtf8(b.menuText));
    item->setEnabled(src->isEnabled());
    connect(item, &QAction::triggered, src, &QAction::trigger);
  }
  menu->addSeparator();
  QMenu* eval = menu->addMenu(QStringLiteral("评价"));
  for (int i = 0; i < 5; ++i) {
    QAction* src = m_actions[kCmdEval1 + i];
    QAction* item = eval->addAction(QString::fromUtf8(kEvalMenu[i]));
    item->setEnabled(src->isEnabled());
    connect(item, &QAction::triggered, src, &QAction::trigger);
  }
  QAction* dismiss = menu->addAction(QStringLiteral("不感兴趣"));
  dismiss->setToolTip(QStringLiteral("不再推荐这部电影，并把它移到已删除"));
  dismiss->setEnabled(m_bHasSelection);
  connect(dismiss, &QAction::triggered, this, [this] {
    m_pRecordView->FlushSelection();
    Doc([](CPushDoc* d) { d->OnDismissRecord(); });
  });
  return menu;
}

void CPushFrame::OnRightPopupmenu() {
  QMenu* menu = BuildPopupMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(QCursor::pos());
}
