#pragma once
#include <cstdint>
#include <map>

#include "zenuModule/src/Types.h"

enum ERecordStatus : int32_t {
  RS_DELETED = 1,
  RS_DOWNLOADED = 2,
  RS_DOWNLOADING = 4,
  RS_FLAG_QUEUED = 8,
  RS_QUEUED = 12,
  RS_FLAG_STOPPED = 16,
  RS_STOPPED = 20,
  RS_NEW = 32,
  RS_THUNDER = 64,
};

// The text of a status in the record list; empty for unknown values.
CString RecordStatusText(int32_t eStatus);

// One pushed movie: stored attributes plus the run-time figures of a download.
class CRecord final {
 public:
  CRecord();
  CRecord(const CRecord& other);
  CRecord& operator=(const CRecord& other);
  ~CRecord() = default;

  void InitMap();
  void SetValByString(const CString& name, const CString& value);

  int32_t GetStatus() const { return eStatus; }
  void SetStatus(int32_t v) { eStatus = v; }
  RecordGID GetGID() const { return ulGID; }
  void SetGID(RecordGID v) { ulGID = v; }
  int32_t GetChooseDownload() const { return iChooseDownload; }
  void SetChooseDownload(int32_t v) { iChooseDownload = v; }
  bool GetNeedShow() const { return bNeedShow; }
  void SetNeedShow(bool v) { bNeedShow = v; }
  int32_t GetEval() const { return iEval; }
  void SetEval(int32_t v) { iEval = v; }
  int64_t GetFinishedTime() const { return tlFinishedTime; }
  void SetFinishedTime(int64_t v) { tlFinishedTime = v; }
  int64_t GetStartDownloadTime() const { return tlStartDownloadTime; }
  void SetStartDownloadTime(int64_t v) { tlStartDownloadTime = v; }
  int64_t GetPushed() const { return tlPushed; }
  void SetPushed(int64_t v) { tlPushed = v; }
  double GetExpectEval() const { return fExpectEval; }
  void SetExpectEval(double v) { fExpectEval = v; }
  double GetDownloadedPercent() const { return fDownloadedPercent; }
  void SetDownloadedPercent(double v) { fDownloadedPercent = v; }
  // The bulletin address with the remote service port after the host.
  CString GetBulletinUrl() const;
  void SetBulletinUrl(const CString& v) { strBulletinUrl = v; }
  CString GetBTSeedUrl() const { return strBTSeedUrl; }
  void SetBTSeedUrl(const CString& v) { strBTSeedUrl = v; }
  uint32_t GetSize() const { return ulSize; }
  void SetSize(uint32_t v) { ulSize = v; }
  CString GetFileName() const { return strFileName; }
  void SetFileName(const CString& v) { strFileName = v; }
  CString GetMediaFormat() const { return strMediaFormat; }
  void SetMediaFormat(const CString& v) { strMediaFormat = v; }
  int32_t GetTorrentType() const { return iTorrentType; }
  void SetTorrentType(int32_t v) { iTorrentType = v; }
  CString GetStorePath() const { return strStorePath; }
  void SetStorePath(const CString& v) { strStorePath = v; }
  CString GetTaskDisplayName() const { return strTaskDisPlayName; }
  void SetTaskDisPlayName(const CString& v) { strTaskDisPlayName = v; }
  CString GetLocalAbsPath() const { return strLocalAbsPath; }
  void SetLocalAbsPath(const CString& v) { strLocalAbsPath = v; }
  double GetRate() const { return fRate; }
  void SetRate(double v) { fRate = v; }
  int64_t GetLeftTime() const { return tlLeftTime; }
  void SetLeftTime(int64_t v) { tlLeftTime = v; }
  int32_t GetPeerConn() const { return iPeerConn; }
  void SetPeerConn(int32_t v) { iPeerConn = v; }
  int32_t GetPeerTotal() const { return iPeerTotal; }
  void SetPeerTotal(int32_t v) { iPeerTotal = v; }
  CString GetActivity() const { return strActivity; }
  void SetActivity(const CString& v) { strActivity = v; }
  CString GetError() const { return strError; }
  void SetError(const CString& v) { strError = v; }
  int32_t GetHealth() const { return iHealth; }
  void SetHealth(int32_t v) { iHealth = v; }
  int64_t GetDownloadingTime() const { return tlDownloadingTime; }
  void SetDownloadingTime(int64_t v) { tlDownloadingTime = v; }
  int32_t GetFetchMethod() const { return iFetchMethod; }
  void SetFetchMethod(int32_t v) { iFetchMethod = v; }
  void SetFetchUrl(const CString& v) { strFetchUrl = v; }
  CString GetTrackerInfo() const { return strTrackerInfo; }
  void SetTrackerInfo(const CString& v) { strTrackerInfo = v; }

  // The stored fetch address (the store writes it; the push engine never reads it back).
  const CString& FetchUrl() const { return strFetchUrl; }
  // The raw bulletin address as pushed, without the port rule.
  const CString& RawBulletinUrl() const { return strBulletinUrl; }

 private:
  struct SField {
    void* pField;
    unsigned uBytes;
  };

  std::map<CString, SField> m_mapAttr;
  int32_t eStatus = RS_NEW;
  RecordGID ulGID = 0;
  int32_t iChooseDownload = 0;
  bool bNeedShow = false;
  int32_t iEval = 0;
  int64_t tlFinishedTime = 0;
  int64_t tlStartDownloadTime = 0;
  int64_t tlPushed = 0;
  double fDownloadedPercent = 0.0;
  CString strBulletinUrl;
  CString strBTSeedUrl;
  uint32_t ulSize = 0;
  CString strFileName;
  CString strMediaFormat;
  int32_t iTorrentType = 0;
  CString strStorePath;
  CString strTaskDisPlayName;
  CString strLocalAbsPath;
  double fRate = -1.0;
  int64_t tlLeftTime = -100;
  int32_t iPeerConn = 0;
  int32_t iPeerTotal = 0;
  CString strActivity;
  CString strError;
  int32_t iHealth = 0;
  double fExpectEval = 0.0;
  int64_t tlDownloadingTime = 0;
  int32_t iFetchMethod = 0;
  CString strFetchUrl;
  CString strTrackerInfo;
};
