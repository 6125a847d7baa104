#pragma once
#include <array>
#include <cstdint>
#include <ctime>
#include <memory>
#include <unordered_map>
#include <vector>

#include "eval/EvalEventSink.h"
#include "push/BTDownload.h"
#include "push/HandOffWatch.h"
#include "push/OtherDownload.h"
#include "push/PushViews.h"
#include "push/ShareKeeper.h"
#include "settings/PushMethodSink.h"
#include "zenuModule/src/PushEngine.h"
#include "zenuModule/src/Session.h"
#include "zenuModule/src/Singleton.h"
#include "zenuModule/src/TemplIntfScheduleControlCaller.h"
#include "zenuModule/src/TemplIntfUpdateControlCaller.h"
#include "zenuModule/src/TemplTimerCaller.h"
#include "zenuModule/src/desktop/HtmlDialog.h"

class CRecord;

// The categories of the record list; 6 = none shown yet.
enum EPushCategory {
  PC_DOWNLOADED = 0,
  PC_DOWNLOADING = 1,
  PC_DELETED = 2,
  PC_NEWTASK = 3,
  PC_THUNDER = 4,
  PC_UNEVAL = 5,
  PC_NONE = 6,
};

// Marks "keep the remembered value" in list operations; a focus id keeps the
// selection with kReservedGID instead, which no record has.
constexpr int kKeepValue = -1000;

// Events of the download status machine.
enum ETaskEvent {
  TE_STOP = 0,
  TE_REFRESH = 1,
  TE_START = 2,
  TE_DELETE = 3,
  TE_THUNDER = 4,
  TE_TO_STOPPED = 5,
  TE_TO_QUEUED = 6,
  TE_OPEN = 7,
};

// One-shot timer that shows the usage hint after new movies arrived.
class CPromptUsageTimerCaller final : public CTemplTimerCaller {
 public:
  void TimerCallBack() override;
};

// The one-second poll of the running download.
class CBTTimerCaller final : public CTemplTimerCaller {
 public:
  void TimerCallBack() override;
};

// The delayed first download after an automatic program start.
class CWaitStartingDownload final : public CTemplTimerCaller {
 public:
  void SetProcessGID(RecordGID ulGID) { m_ulGID = ulGID; }
  void TimerCallBack() override;

 private:
  RecordGID m_ulGID = kReservedGID;
};

// Asks again for the downloader component while it cannot be made (its name
// held by another process): the first queued record is started again.
class CDownloaderRetry final : public CTemplTimerCaller {
 public:
  static constexpr int kSeconds = 5;
  void TimerCallBack() override;
};

// The result of the file choice dialog.
struct SSelectFileResult {
  int iType = 0;
  RecordGID ulGID = 0;
  CString strFile;
};

class CPushDoc final : public IPushEngine,
                       public IEvalEventSink,
                       public IPushMethodSink,
                       public CTemplIntfScheduleControlCaller,
                       public CTemplIntfUpdateControlCaller,
                       public TSingleton<CPushDoc> {
  friend class TSingleton<CPushDoc>;

 public:
  static constexpr int kCategoryCount = 6;

  ~CPushDoc() override;
  CPushDoc(const CPushDoc&) = delete;
  CPushDoc& operator=(const CPushDoc&) = delete;

  // The views; not owned, null when absent.
  void SetRecordView(IRecordListView* view) { m_pRecordView = view; }
  void SetPushFrame(IPushFrameView* frame) { m_pPushFrame = frame; }
  void SetBulletinView(IBulletinView* view) { m_pBulletinView = view; }
  // The running session; set once at start-up, not owned.
  void SetSession(ISession* session) { m_pSession = session; }

  // Category lists.
  void DisplayCategory(int iCategory, RecordGID ulFocusGID, int iTopRow, int iScrollX);
  void ChangeDownloadedEx(RecordGID ulFocusGID);
  void ChangeDownloadingEx(RecordGID ulFocusGID);
  void ChangeDeletedEx(RecordGID ulFocusGID);
  void ChangeNewTaskEx(RecordGID ulFocusGID);
  void ChangeThunderTaskEx(RecordGID ulFocusGID);
  void OnChangeDownloaded();
  void OnChangeDownloading();
  void OnChangeDeleted();
  void OnChangeNewTask();
  void OnChangeThunder();
  void OnChangeUneval();
  void SetCategorySortStatus(const SRecordViewEvent& evt);
  void GetRecordSubItem(SRecordViewEvent& evt);
  static int CompareFunc(RecordGID gidA, const CString& textA, RecordGID gidB, const CString& textB,
                         int iColumn);
  void RefreshRecord(RecordGID ulGID);
  void SetSelectedGIDs(const CRowList& rows);
  void OnRecordViewEvent(SRecordViewEvent& evt);

  // The downloader's work folder of a movie: its torrent (and resume data).
  static CString TorrentFolder(RecordGID ulGID);

  // Base query of a category and the sort clause of a column (null when none).
  static CString CategoryQuery(int iCategory);
  static const char* SortClause(int iColumn);
  // The query a category is shown with under its sort state.
  CString CategorySql(int iCategory) const;

  int GetCurCategory() const { return m_iCurCategory; }
  const std::vector<RecordGID>& GetGIDs() const { return m_arrGIDs; }
  const std::vector<RecordGID>& GetSelectedGIDs() const { return m_arrSelectedGIDs; }
  SSortStatus GetSortStatus(int iCategory) const { return m_arrSortStatus.at(iCategory); }
  void SetSortStatus(int iCategory, const SSortStatus& s) { m_arrSortStatus.at(iCategory) = s; }
  SListScrollPos GetScrollPos(int iCategory) const { return m_arrScrollPos.at(iCategory); }
  RecordGID GetLastFinishedGID() const { return m_ulLastFinishedGID; }
  void SetLastFinishedGID(RecordGID gid) { m_ulLastFinishedGID = gid; }

  // Download status machine.
  void TaskStatusMachine(RecordGID ulGID, int event, const Json::Value* data);
  void OnStopRecord();
  void OnBTTimerCallerEvent();
  void AutoStartDownload();
  RecordGID GetDownloadingGID() const { return m_ulDownloadingGID; }
  int GetRunningCount() const { return m_iRunningCount; }
  CBTTimerCaller& BTTimer() { return m_btTimer; }
  CShareKeeper& ShareKeeper() { return m_shareKeeper; }

  // Record commands.
  void OnDeleteRecord();
  void OnDelTaskDlgEvent(const int* result);
  void OnPlay();
  // "边下边播": the downloading movie in the user's player, through the
  // component's loopback address.
  void OnStreamPlay();
  // StreamMovie, and the user told when it did not start.
  void StreamAndTell(RecordGID ulGID);
  // 0 the player was started, 1 the movie cannot be streamed (yet), 2 no
  // player could be started.
  int StreamMovie(RecordGID ulGID);
  // The address the downloading movie ulGID streams from; "" when it cannot.
  CString GetStreamUrl(RecordGID ulGID) const;
  void OnSelectFileDlgEvent(const SSelectFileResult& result);
  void OnEvalDisgust();
  void OnEvalDislike();
  void OnEvalSoso();
  void OnEvalLike();
  void OnEvalFond();
  void OnPushingGuide();
  void RepeatEval();
  void DisplayBulletin(RecordGID ulGID);
  // "不感兴趣" on the selected movies: the service is told through the local
  // server, and a record goes to 已删除 (files kept) only once it confirmed.
  void OnDismissRecord();
  void OnDismissAnswer(RecordGID ulGID, bool bDone, const CString& strError) override;
  // The tooltip of a row's 推荐指数 cell: why the service pushed the movie,
  // asked for once (answered later through OnPushReason) and then kept.
  CString ReasonTip(uint32_t iRow);
  void OnPushReason(RecordGID ulGID, bool bKnown, const CString& strReason) override;

  // Hand-offs followed to the end: a record handed to the download manager
  // whose file is seen whole keeps RS_THUNDER and gets fDownloadedPercent 100.
  static bool IsHandOffComplete(const CRecord& rec);
  // Follows every handed-off record not yet seen whole (at login).
  void WatchHandOffs();
  void OnHandOffComplete(RecordGID ulGID, const CString& strFile);
  RecordGID GetBulletinGID() const { return m_ulBulletinGID; }
  int GetDeleteFiles() const { return m_bDeleteFiles; }

  // Task acquisition.
  void RequestNewMovie();
  void AfterCheckPushMethod(int iMethod);
  void DisplayCalcDlg();
  int ReceiveNewTask(const CString& strMediaInfo);
  void ProcessPushInfo();
  void ChangeToNewTask(BOOL bActivate);
  void OnEvalDocEvent(const SEvalDocEvent& evt) override;
  void OnConfigDlgEvent(int iEvent) override;
  bool FindDownloadManager(CString* strName, CString* strId) override {
    return COtherDownload::FindThunder(strName, strId);
  }
  void OnPromptUsageTimerCallerEvent();
  CCenterHTMLDialog& CalcProgressDlg() { return m_dlgCalcProgress; }
  CCenterHTMLDialog& ChoosePushMethodDlg() { return m_dlgChoosePushMethod; }
  CCenterHTMLDialog& ChooseMovieTypeDlg() { return m_dlgChooseMovieType; }
  CPromptUsageTimerCaller& PromptUsageCaller() { return m_callerPromptUsage; }
  RecordGID GetFocusGID() const { return m_ulFocusGID; }

  int OnIntfScheduleControlEvent(int iEvent, CString* pstrData) override;
  void OnIntfUpdateControlEvent(int iEvent) override;

  // IPushEngine.
  void FindAndDisplayMovie(RecordGID ulGID) override;
  void ReceiveNewTask2(const Json::Value& dictMovie) override;
  void OnDownloadRecord() override;
  void OnRunningThunder() override;
  void OnRunningThunderEx(int iFlag) override;
  void StreamMovieFromPage(RecordGID ulGID) override;
  void OnRequestRecordStatus(int iStatus, int iFlag) override;
  void EndCalcDlg(int iIndex) override;
  void InitFrame(BOOL bShowNewTask) override;
  void CheckPushMethod(BOOL bForce) override;
  void StartRequesting(const CString& strParam, int iUserKind) override;
  void StopRefreshRecord() override;
  void CloseBTCOM() override;
  void EndAllHTMLDialog() override;
  BOOL IsAllHTMLDlgEnd() override;
  void SetFocusOnNewDownloaded() override;

 private:
  CPushDoc();
  void SendRecordView(const SRecordViewData& data);
  void SendPushFrame(const SPushFrameData& data);
  void SetCurCategoryOnFrame(int iCategory);
  void SetButtonStates(int iCategory);
  void ChangeCategoryEx(int iCategory, RecordGID ulFocusGID);
  void ShowToolbars(int iRecordBar, int iEvalBar);
  void PromptUsage();
  // Shows the current category again when arrivals may have changed it.
  void RefreshShownCategory();
  // Toolbars and bulletin as the current selection wants them.
  void FollowSelection();

  // Status machine actions.
  void StartDownload(CRecord rec);
  void DownloadNext();
  // The downloader could not be made: rec waits queued and it is tried again.
  void WaitForDownloader(CRecord rec);
  void DownloadingData(CRecord rec);
  BOOL _RefreshDownloadingData(CRecord rec);
  void DonwloadFinish(CRecord rec);
  void _StopRecord(CRecord rec);
  void UpdateStopData(CRecord rec);
  void ChangeStopStat(RecordGID ulGID);
  void ChangeQueueingStat(RecordGID ulGID);
  // The downloader failed or vanished: the record stops with its text shown.
  void StopOnDownloaderError(const CString& strError);
  // Fetches the torrent file of a record unless it is there; false when it is not.
  bool FetchTorrent(const CRecord& rec, CString& strTorrentFile);

  // Download-manager hand-off.
  void RunningThunder(CRecord rec, const Json::Value* data);
  void DownloadBTWithThunder(CRecord rec);
  void MarkThunder(CRecord rec);
  // The hand-off of the one selected record; data as the page sent it, or null.
  void RunningThunderSelected(const Json::Value* data);
  void WatchHandOff(const CRecord& rec);
  // The movie file of a handed-off record where the manager saves it; empty when unknown.
  CString HandOffFile(const CRecord& rec) const;
  // Play follows the selection in the download manager's list.
  void UpdateHandOffPlayButton();
  void OpenHandOff(const CRecord& rec);

  // Record commands.
  void DeleteRecord(CRecord rec);
  void OpenSource(RecordGID ulGID);
  void EvalSelected(int iScore);
  // Asks the component for the stream's address while a download runs.
  void RefreshStreamUrl();
  void ForgetStream();
  // Tells the frame whether "边下边播" applies to the selection.
  void SendStreamState();

  IRecordListView* m_pRecordView = nullptr;
  IPushFrameView* m_pPushFrame = nullptr;
  IBulletinView* m_pBulletinView = nullptr;
  ISession* m_pSession = nullptr;

  int m_iCurCategory = PC_NONE;
  std::vector<RecordGID> m_arrGIDs;
  std::unordered_map<RecordGID, int> m_mapGIDToRow;
  std::array<SSortStatus, kCategoryCount> m_arrSortStatus{};
  std::array<std::shared_ptr<std::vector<uint32_t>>, kCategoryCount> m_arrCategorySel;
  std::array<SListScrollPos, kCategoryCount> m_arrScrollPos{};
  std::vector<RecordGID> m_arrSelectedGIDs;

  CCenterHTMLDialog m_dlgCalcProgress;
  CCenterHTMLDialog m_dlgChoosePushMethod;
  CCenterHTMLDialog m_dlgChooseMovieType;
  CPromptUsageTimerCaller m_callerPromptUsage;
  RecordGID m_ulFocusGID = 0;
  RecordGID m_ulLastFinishedGID = kReservedGID;
  bool m_bUpdateRegistered = false;

  CBTDownload m_btDownload;
  CBTTimerCaller m_btTimer;
  CWaitStartingDownload m_waitStartingDownload;
  CDownloaderRetry m_downloaderRetry;
  COtherDownload m_otherDownload;
  CShareKeeper m_shareKeeper;
  RecordGID m_ulDownloadingGID = kReservedGID;
  int m_iRunningCount = 0;
  BOOL m_bBTCreated = FALSE;
  RecordGID m_ulBulletinGID = 0;
  int m_bDeleteFiles = 1;
  int m_bPromptUsageDone = 0;

  // Records whose "不感兴趣" awaits the service; while one is moved, no rating
  // is asked and no file removed.
  std::unordered_map<RecordGID, int> m_mapDismissing;
  bool m_bDismissing = false;
  struct SReason {
    bool bKnown = false;
    CString strText;
    time_t tlAsked = 0;
  };
  std::unordered_map<RecordGID, SReason> m_mapReasons;
  std::unique_ptr<CHandOffWatch> m_handOffs;
  CString m_strStreamUrl;
  RecordGID m_ulStreamGID = kReservedGID;
  int m_iStreamShown = -1;  // last state sent to the frame
};
