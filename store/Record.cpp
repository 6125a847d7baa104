#include "Record.h"

#include <cstdlib>
#include <cstring>

#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/StringHelpers.h"

CString RecordStatusText(int32_t eStatus) {
  switch (eStatus) {
    case RS_DELETED:
      return "已删除";
    case RS_DOWNLOADED:
      return "已下载";
    case RS_DOWNLOADING:
      return "正下载";
    case RS_QUEUED:
      return "排队中";
    case RS_STOPPED:
      return "已停止";
    case RS_NEW:
      return "新推送";
    case RS_THUNDER:
      return "迅雷";
    default:
      return CString();
  }
}

CRecord::CRecord() { InitMap(); }

CRecord::CRecord(const CRecord& other) : CRecord() { *this = other; }

CRecord& CRecord::operator=(const CRecord& other) {
  OP_BEGIN("CRecord::operator=")
  if (this == &other) return *this;
  eStatus = other.eStatus;
  ulGID = other.ulGID;
  iChooseDownload = other.iChooseDownload;
  bNeedShow = other.bNeedShow;
  iEval = other.iEval;
  tlFinishedTime = other.tlFinishedTime;
  tlStartDownloadTime = other.tlStartDownloadTime;
  tlPushed = other.tlPushed;
  fDownloadedPercent = other.fDownloadedPercent;
  strBulletinUrl = other.strBulletinUrl;
  strBTSeedUrl = other.strBTSeedUrl;
  ulSize = other.ulSize;
  strFileName = other.strFileName;
  strMediaFormat = other.strMediaFormat;
  iTorrentType = other.iTorrentType;
  strStorePath = other.strStorePath;
  strTaskDisPlayName = other.strTaskDisPlayName;
  strLocalAbsPath = other.strLocalAbsPath;
  fRate = other.fRate;
  tlLeftTime = other.tlLeftTime;
  iPeerConn = other.iPeerConn;
  iPeerTotal = other.iPeerTotal;
  strActivity = other.strActivity;
  strError = other.strError;
  iHealth = other.iHealth;
  fExpectEval = other.fExpectEval;
  tlDownloadingTime = other.tlDownloadingTime;
  iFetchMethod = other.iFetchMethod;
  strFetchUrl = other.strFetchUrl;
  strTrackerInfo = other.strTrackerInfo;
  InitMap();
  return *this;
  OP_END
}

void CRecord::InitMap() {
  OP_BEGIN("CRecord::InitMap")
  m_mapAttr.clear();
  m_mapAttr["eStatus"] = {&eStatus, sizeof eStatus};
  m_mapAttr["iChooseDownload"] = {&iChooseDownload, sizeof iChooseDownload};
  m_mapAttr["bNeedShow"] = {&bNeedShow, sizeof bNeedShow};
  m_mapAttr["ulGID"] = {&ulGID, sizeof ulGID};
  m_mapAttr["iEval"] = {&iEval, sizeof iEval};
  m_mapAttr["tlFinishedTime"] = {&tlFinishedTime, sizeof tlFinishedTime};
  m_mapAttr["tlStartDownloadTime"] = {&tlStartDownloadTime, sizeof tlStartDownloadTime};
  m_mapAttr["fDownloadedPercent"] = {&fDownloadedPercent, sizeof fDownloadedPercent};
  m_mapAttr["strBulletinUrl"] = {&strBulletinUrl, 0};
  m_mapAttr["strBTSeedUrl"] = {&strBTSeedUrl, 0};
  m_mapAttr["ulSize"] = {&ulSize, sizeof ulSize};
  m_mapAttr["strFileName"] = {&strFileName, 0};
  m_mapAttr["strMediaFormat"] = {&strMediaFormat, 0};
  m_mapAttr["iTorrentType"] = {&iTorrentType, sizeof iTorrentType};
  m_mapAttr["strStorePath"] = {&strStorePath, 0};
  m_mapAttr["strTaskDisPlayName"] = {&strTaskDisPlayName, 0};
  m_mapAttr["strLocalAbsPath"] = {&strLocalAbsPath, 0};
  m_mapAttr["tlPushed"] = {&tlPushed, sizeof tlPushed};
  m_mapAttr["fExpectEval"] = {&fExpectEval, sizeof fExpectEval};
  OP_END
}

void CRecord::SetValByString(const CString& name, const CString& value) {
  OP_BEGIN("CRecord::SetValByString")
  const auto it = m_mapAttr.find(name);
  if (it == m_mapAttr.end()) {
    ZTRACE(1, "CRecord::SetValByString", "CRecord 没有\"%s\"的属性", name.c_str());
    return;
  }
  void* field = it->second.pField;
  if (name.compare(0, 3, "str") == 0) {
    *static_cast<CString*>(field) = value;
  } else if (name.compare(0, 1, "f") == 0) {
    *static_cast<double*>(field) = std::atof(value.c_str());
  } else {
    const auto number = static_cast<uint32_t>(std::atol(value.c_str()));
    if (it->second.uBytes == sizeof(int64_t)) {
      // Only the low half of a time value is set from text.
      auto* wide = static_cast<int64_t*>(field);
      const uint64_t high = static_cast<uint64_t>(*wide) & 0xFFFFFFFF00000000ULL;
      *wide = static_cast<int64_t>(high | number);
    } else if (it->second.uBytes == sizeof(bool)) {
      *static_cast<bool*>(field) = number != 0;
    } else {
      std::memcpy(field, &number, sizeof number);
    }
  }
  OP_END
}

CString CRecord::GetBulletinUrl() const {
  OP_BEGIN("CRecord::GetBulletinUrl")
  return UrlAndPort(strBulletinUrl, CProcessValues::GetRemoteSrvPort());
  OP_END
}
