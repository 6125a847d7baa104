#include "Database2.h"

#include <cstdlib>

#include "store/MultiUserMgr.h"
#include "store/PushedValues.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/TextCodec.h"
#include "zenuModule/src/desktop/FileSystem.h"

namespace {
int32_t Low32(int64_t t) { return static_cast<int32_t>(static_cast<uint32_t>(t)); }
}  // namespace

CDatabase2::~CDatabase2() {
  if (m_bOpen || m_sqlite.GetHandle()) m_sqlite.Close();
}

const char* CDatabase2::CreateTableSql() {
  return "Create table records(ulGID INTEGER PRIMARY KEY, strFileName VARCHAR(252), strBTSeedUrl "
         "TEXT, tlStartDownloadTime INTEGER, tlFinishedTime INTEGER, eStatus INTEGER, "
         "strTaskDisplayName VARCHAR(252), strLocalAbsPath VARCHAR(252), strMediaFormat "
         "VARCHAR(252), tlPushed INTEGER, fExpectEval REAL, iSize INTEGER, strBulletinUrl TEXT, "
         "iTorrentType INTEGER, fDownloadedPercent REAL, iEval INTEGER, iChooseDownload INTEGER, "
         "bNeedShow INTEGER, strStorePath VARCHAR(252), iFetchMethod INTEGER, strFetchUrl TEXT); ";
}

CString CDatabase2::GetDBFilePath() {
  OP_BEGIN("CDatabase2::GetDBFilePath")
  CString name;
  CMultiUserMgr::GetInstance()->GetDefaultUser(&name, nullptr);
  if (name.empty()) return CString();
  return GetExePath(0) + StringFormat("users/%s/db.dat", name.c_str());
  OP_END
}

BOOL CDatabase2::LoadDB() {
  OP_BEGIN("CDatabase2::LoadDB")
  const CString path = GetDBFilePath();
  const CString folder = LeftInStr(path, "/", TRUE);
  if (path.empty()) RAISE_ERROR("没有用户数据路径");
  // A second load (another user) must not leave the first connection open.
  if (m_sqlite.GetHandle()) m_sqlite.Close();
  m_bOpen = false;
  if (PathExists(path)) {
    ZTRACE(1, zenuOpName_, "连接存在的数据库文件");
    SetCurrentFolder(folder);
    if (!m_sqlite.Connect(GBKToUtf8(path))) RAISE_ERROR("连接用户数据文件出错");
    SetCurrentFolder(GetExePath(0));
    m_bOpen = true;
    return TRUE;
  }
  CheckFolder(folder, 4);
  SetCurrentFolder(folder);
  const BOOL connected = m_sqlite.Connect(GBKToUtf8(path));
  SetCurrentFolder(GetExePath(0));
  if (connected) {
    m_bOpen = true;
    m_sqlite.Execute(CreateTableSql(), nullptr);
    ZTRACE(1, zenuOpName_, "创建了新的数据库文件");
  }
  TransDBFormat();
  return connected;
  OP_END
}

void CDatabase2::UpdateRecord(const CRecord& rec) {
  OP_BEGIN("CDatabase2::UpdateRecord")
  if (rec.GetGID() == 0) {
    ZTRACE(1, zenuOpName_, "出现了错误的 GID!");
    return;
  }
  CString sql = "update records set ";
  sql += StringFormat("tlStartDownloadTime = %d, ", Low32(rec.GetStartDownloadTime()));
  sql += StringFormat("tlFinishedTime = %d, ", Low32(rec.GetFinishedTime()));
  sql += StringFormat("iEval = %d, ", rec.GetEval());
  sql += StringFormat("eStatus = %d, ", rec.GetStatus());
  sql += StringFormat("fDownloadedPercent = %.2f ", rec.GetDownloadedPercent());
  sql += StringFormat("where ulGID = %u;", rec.GetGID());
  m_sqlite.Execute(sql, nullptr);
  m_mapCache[rec.GetGID()] = rec;
  OP_END
}

BOOL CDatabase2::GetOneRecordData(RecordGID ulGID, CRecord* rec) {
  OP_BEGIN("CDatabase2::GetOneRecordData")
  CSqlRows rows;
  m_sqlite.Execute(StringFormat("select * from records where ulGID = %u", ulGID), &rows);
  if (rows.empty() || rows[0].size() < 21) return FALSE;
  const CSqlRow& r = rows[0];
  rec->SetGID(ReadGID(r[0]));
  rec->SetFileName(r[1]);
  rec->SetBTSeedUrl(r[2]);
  rec->SetStartDownloadTime(ReadInt(r[3]));
  rec->SetFinishedTime(ReadInt(r[4]));
  rec->SetStatus(ReadInt(r[5]));
  rec->SetTaskDisPlayName(r[6]);
  rec->SetLocalAbsPath(r[7]);
  rec->SetMediaFormat(r[8]);
  rec->SetPushed(ReadInt(r[9]));
  rec->SetExpectEval(std::atof(r[10].c_str()));
  rec->SetSize(static_cast<uint32_t>(ReadInt(r[11])));
  rec->SetBulletinUrl(r[12]);
  rec->SetTorrentType(ReadInt(r[13]));
  rec->SetDownloadedPercent(ReadInt(r[14]));
  rec->SetEval(ReadInt(r[15]));
  rec->SetChooseDownload(ReadInt(r[16]));
  rec->SetNeedShow(ReadInt(r[17]) != 0);
  rec->SetStorePath(r[18]);
  rec->SetFetchMethod(ReadInt(r[19]));
  rec->SetFetchUrl(r[20]);
  const auto cached = m_mapCache.find(ulGID);
  if (cached != m_mapCache.end()) {
    const CRecord& c = cached->second;
    rec->SetDownloadingTime(c.GetDownloadingTime());
    rec->SetError(c.GetError());
    rec->SetHealth(c.GetHealth());
    rec->SetLeftTime(c.GetLeftTime());
    rec->SetPeerConn(c.GetPeerConn());
    rec->SetPeerTotal(c.GetPeerTotal());
    rec->SetRate(c.GetRate());
    rec->SetActivity(c.GetActivity());
    rec->SetTrackerInfo(c.GetTrackerInfo());
  }
  return TRUE;
  OP_END
}

void CDatabase2::GetGIDList(uint32_t status, CGIDList* out, BOOL bFlag) {
  OP_BEGIN("CDatabase2::GetGIDList")
  const CString condition = bFlag == 1 ? StringFormat("eStatus & %u = %u", status, status)
                                       : StringFormat("eStatus = %u", status);
  GetGIDListBySql(StringFormat("select ulGID from records where %s;", condition.c_str()), out);
  OP_END
}

void CDatabase2::GetGIDListBySql(const CString& sql, CGIDList* out) {
  OP_BEGIN("CDatabase2::GetGIDListBySql")
  CSqlRows rows;
  m_sqlite.Execute(sql, &rows);
  out->clear();
  out->reserve(rows.size());
  for (const auto& row : rows) {
    const RecordGID gid = row.empty() ? 0 : ReadGID(row[0]);
    // A file written before the reserved id was refused may hold it; such a
    // record would read as "no record" wherever the id is kept.
    if (gid == kReservedGID) {
      ZTRACE(1, zenuOpName_, "跳过了保留的GID:%u", gid);
      continue;
    }
    out->push_back(gid);
  }
  OP_END
}

BOOL CDatabase2::GetOneRecordBySql(const CString& sql, CSqlRow* out) {
  OP_BEGIN("CDatabase2::GetOneRecordBySql")
  CSqlRows rows;
  m_sqlite.Execute(sql, &rows);
  if (rows.empty()) return FALSE;
  *out = rows[0];
  return TRUE;
  OP_END
}

int CDatabase2::GetCount() {
  OP_BEGIN("CDatabase2::GetCount")
  CSqlRows rows;
  m_sqlite.Execute("select ulGID from records", &rows);
  return static_cast<int>(rows.size());
  OP_END
}

CString CDatabase2::ReplaceBackSlash(const CString& text) {
  CString out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\\' || c == '\'' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

bool CDatabase2::Exists(RecordGID ulGID) {
  CSqlRows rows;
  m_sqlite.Execute(StringFormat("select ulGID from records where ulGID = %u;", ulGID), &rows);
  return !rows.empty();
}
