// Pushed movies becoming rows: the media-info task list and the movie pushed at once.
#include <json/json.h>
#include <tinyxml2.h>

#include <cstdlib>
#include <ctime>

#include "store/Database2.h"
#include "store/PushedValues.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/TextCodec.h"

namespace {
const char kInsertPushed[] =
    "insert or ignore into records VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?);";
const char kInsertPushNow[] =
    "insert into records (ulGID,strFileName,strBTSeedUrl,tlStartDownloadTime,tlFinishedTime,"
    "eStatus,strTaskDisplayName,strLocalAbsPath,strMediaFormat,tlPushed,fExpectEval,iSize,"
    "strBulletinUrl,iTorrentType,fDownloadedPercent,iEval,iChooseDownload,bNeedShow,"
    "strStorePath,iFetchMethod,strFetchUrl) values "
    "(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";

CString Attr(const tinyxml2::XMLElement* element, const char* name) {
  const char* value = element->Attribute(name);
  return value ? CString(value) : CString();
}

int32_t Now32() { return static_cast<int32_t>(static_cast<uint32_t>(std::time(nullptr))); }

// A key's text: strings as they are, numbers and flags as jsoncpp writes them,
// anything else (or a missing key) empty.
CString JsonText(const Json::Value& task, const char* key) {
  if (!task.isMember(key)) return CString();
  const Json::Value& v = task[key];
  if (v.isString() || v.isNumeric() || v.isBool()) return v.asString();
  return CString();
}

int JsonInt(const Json::Value& task, const char* key) {
  if (!task.isMember(key)) return 0;
  const Json::Value& v = task[key];
  if (v.isInt()) return v.asInt();
  if (v.isNumeric() || v.isBool()) return ReadInt(StringFormat("%.0f", v.asDouble()));
  if (v.isString()) return ReadInt(v.asString());
  return 0;
}

RecordGID JsonGID(const Json::Value& task) {
  if (!task.isMember("INT_MOVIE_ID")) return 0;
  const Json::Value& v = task["INT_MOVIE_ID"];
  if (v.isUInt()) return v.asUInt() == kReservedGID ? 0 : v.asUInt();
  if (v.isString()) return ParseGID(v.asString());
  return 0;
}
// The columns of a new record that differ between a pushed list and a movie
// pushed now; the rest start alike.
struct SNewRecord {
  RecordGID gid = 0;
  CString strFileName;
  CString strSeedUrl;
  CString strTitle;
  CString strTargetPath;
  SSqlParam expectEval;
  SSqlParam sizeMB;
  CString strBulletinUrl;
  int iTorrentType = 0;
  SSqlParam downloadedPercent;
  CString strStoreName;
  int iFetchMethod = 0;
  CString strFetchUrl;
};

// In the column order of records.
CSqlParams NewRecordParams(const SNewRecord& r) {
  return {SSqlParam::Int(r.gid),
          SSqlParam::Text(r.strFileName),
          SSqlParam::Text(r.strSeedUrl),
          SSqlParam::Int(0),
          SSqlParam::Int(0),
          SSqlParam::Int(RS_NEW),
          SSqlParam::Text(r.strTitle),
          SSqlParam::Text(r.strTargetPath),
          SSqlParam::Text("rmvb"),
          SSqlParam::Int(Now32()),
          r.expectEval,
          r.sizeMB,
          SSqlParam::Text(r.strBulletinUrl),
          SSqlParam::Int(r.iTorrentType),
          r.downloadedPercent,
          SSqlParam::Int(0),
          SSqlParam::Int(0),
          SSqlParam::Int(0),
          SSqlParam::Text(r.strStoreName),
          SSqlParam::Int(r.iFetchMethod),
          SSqlParam::Text(r.strFetchUrl)};
}

}  // namespace

CString CDatabase2::TargetPath(const CString& saveFolder, const CString& title, RecordGID gid) {
  CString folder = saveFolder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return StringFormat("%s/%s", folder.c_str(), SafePathElement(title, gid).c_str());
}

void CDatabase2::AddPushedRecord(const CString& xmlText, const CString& saveFolder,
                                 CGIDList* newGIDs) {
  OP_BEGIN("CDatabase2::AddPushedRecord")
  tinyxml2::XMLDocument doc;
  if (doc.Parse(xmlText.data(), xmlText.size()) != tinyxml2::XML_SUCCESS) {
    ZTRACE(1, zenuOpName_, "解析数据错误:\n%s\n", xmlText.c_str());
    return;
  }
  const tinyxml2::XMLElement* root = doc.RootElement();
  if (!root) {
    ZTRACE(1, zenuOpName_, "解析数据错误:%s", xmlText.c_str());
    return;
  }
  // One transaction for the whole list: a thousand movies cost one disk sync.
  const bool inTransaction = m_sqlite.Execute("begin", nullptr);
  for (const auto* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
    const RecordGID gid = ParseGID(Attr(e, "gid"));
    if (gid == 0) {
      ZTRACE(1, zenuOpName_, "忽略了没有有效GID的推送电影:%s", Attr(e, "gid").c_str());
      continue;
    }
    if (Exists(gid)) {
      ZTRACE(1, zenuOpName_, "过滤了已存在的推送电影,GID:%u", gid);
      continue;
    }
    const CString title = TrimWhite(Attr(e, "task_display_name"));
    const CString expect = Attr(e, "expect_eval");
    SNewRecord r;
    r.gid = gid;
    r.strFileName = TrimWhite(Attr(e, "file_name"));
    r.strSeedUrl = TrimWhite(Attr(e, "bt_seed_url"));
    r.strTitle = title;
    r.strTargetPath = TargetPath(saveFolder, title, gid);
    r.expectEval = expect.empty() ? SSqlParam::Null()
                                  : SSqlParam::Real(RoundAsStored(std::atof(expect.c_str())));
    r.sizeMB = SSqlParam::Real(RoundAsStored(ClampSizeMB(XmlTaskSizeMB(Attr(e, "size")))));
    r.strBulletinUrl = TrimWhite(Attr(e, "bulletin_url"));
    r.iTorrentType = ReadInt(Attr(e, "use_public_torrent"));
    r.downloadedPercent = SSqlParam::Real(0.0);
    r.strStoreName = TrimWhite(Attr(e, "store_name"));
    r.iFetchMethod = ReadInt(TrimWhite(Attr(e, "fetch_method")));
    r.strFetchUrl = TrimWhite(Attr(e, "fetch_url"));
    const CSqlParams p = NewRecordParams(r);
    if (m_sqlite.ExecuteBound(kInsertPushed, p)) {
      m_mapCache[gid] = CRecord();
      if (newGIDs) newGIDs->push_back(gid);
    } else {
      ZTRACE(1, zenuOpName_, "增加新的电影出错,GID:%u", gid);
      ZTRACE(1, zenuOpName_, "strSql:%s", kInsertPushed);
    }
  }
  if (inTransaction) m_sqlite.Execute("commit", nullptr);
  OP_END
}

BOOL CDatabase2::AddPushedRecord2(const Json::Value* task, const CString& saveFolder,
                                  CRecord* rec) {
  OP_BEGIN("CDatabase2::AddPushedRecord2")
  const RecordGID gid = (task && task->isObject()) ? JsonGID(*task) : 0;
  rec->SetGID(gid);
  if (gid == 0) {
    ZTRACE(1, zenuOpName_, "立即推送的电影没有有效的GID");
    RAISE_ERROR("增加立即推送的电影出错");
  }
  if (Exists(gid)) {
    ZTRACE(1, zenuOpName_, "推送电影已存在, GID:%u", gid);
    GetOneRecordData(gid, rec);
    return FALSE;
  }
  const Json::Value& t = *task;
  CString title = JsonText(t, "UTF8_MOVIE_NAME");
  ConvertUtf8ToGBK(title);
  const CString size = JsonText(t, "ASC_SIZE");
  SNewRecord r;
  r.gid = gid;
  r.strFileName = "file_name";
  r.strSeedUrl = JsonText(t, "ASC_BTSEED_URL");
  r.strTitle = title;
  r.strTargetPath = TargetPath(saveFolder, title, gid);
  r.expectEval = SSqlParam::Int(200);
  r.sizeMB = t.isMember("ASC_SIZE")
                 ? SSqlParam::Real(RoundAsStored(ClampSizeMB(PushNowSizeMB(size))))
                 : SSqlParam::Int(0);
  r.strBulletinUrl = TrimWhite(JsonText(t, "ASC_BULLETIN_URL"));
  r.iTorrentType = 1;
  r.downloadedPercent = SSqlParam::Int(0);
  r.strStoreName = "store_name";
  r.iFetchMethod = JsonInt(t, "INT_FETCH_METHOD");
  r.strFetchUrl = JsonText(t, "ASC_FETCH_URL");
  const CSqlParams p = NewRecordParams(r);
  if (!m_sqlite.ExecuteBound(kInsertPushNow, p)) {
    ZTRACE(1, zenuOpName_, "增加立即推送的电影出错,GID:%u", gid);
    ZTRACE(1, zenuOpName_, "strSql:%s", kInsertPushNow);
    RAISE_ERROR("增加立即推送的电影出错");
  }
  GetOneRecordData(gid, rec);
  return TRUE;
  OP_END
}
