#pragma once
#include <QWidget>
#include <map>

#include "push/PushViews.h"

class QAction;
class QActionGroup;
class QMenu;
class QSplitter;
class QToolBar;
class CBulletinView;
class CRecordListView;

// The push pane: category, push-now, record and rating toolbars over a
// splitter with the record list above the bulletin page.
class CPushFrame final : public QWidget, public IPushFrameView {
  Q_OBJECT

 public:
  enum ECommand {
    kCmdDownloaded = 32780,
    kCmdDownloading = 32779,
    kCmdDeleted = 32781,
    kCmdNewTask = 32785,
    kCmdUneval = 32824,
    kCmdThunder = 32798,
    kCmdPushNow = 32823,
    kCmdDownload = 32783,
    kCmdThunderDownload = 32794,
    kCmdStop = 32782,
    kCmdDelete = 32784,
    kCmdPlay = 32799,
    kCmdStreamPlay = 32830,
    kCmdEval1 = 32786,
  };
  static constexpr int kListHeight = 200;

  explicit CPushFrame(QWidget* parent = nullptr);
  ~CPushFrame() override;

  // The push frame once created; null otherwise.
  static CPushFrame* GetInstance();

  void OnPushFrameUpdate(const SPushFrameData& data) override;
  void SetToolbarButton(int iIndex, int iValue);
  // Builds the context menu; shown at the cursor unless told otherwise.
  QMenu* BuildPopupMenu();
  void OnRightPopupmenu();

  QAction* Action(int iCommand) const;
  int CurCategory() const { return m_iCurCategory; }
  CRecordListView* RecordView() const { return m_pRecordView; }
  CBulletinView* BulletinView() const { return m_pBulletin; }
  QToolBar* RecordBar() const { return m_wndRecordBar; }
  QToolBar* EvalBar() const { return m_wndEvalBar; }
  // Runs a command as the toolbar or the menu would.
  void OnCommand(int iCommand);

 private:
  QToolBar* NewBar(int iIconSize);
  QAction* AddCommand(QToolBar* bar, int iCommand, const QString& text);
  void SyncChecks();

  QSplitter* m_wndSplitter = nullptr;
  QToolBar* m_wndCategoryBar = nullptr;
  QToolBar* m_wndPushBar = nullptr;
  QToolBar* m_wndRecordBar = nullptr;
  QToolBar* m_wndEvalBar = nullptr;
  CRecordListView* m_pRecordView = nullptr;
  CBulletinView* m_pBulletin = nullptr;
  QActionGroup* m_categoryGroup = nullptr;
  std::map<int, QAction*> m_actions;
  int m_iCurCategory = -1;
  // Four record button states of the category, then whether the selection streams.
  int m_arrBtnState[5] = {0, 0, 0, 0, 0};
  // The record commands act on the selection; without one they are off.
  bool m_bHasSelection = false;
};
