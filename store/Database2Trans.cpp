// The one-time conversion of a user's old XML records into the new table.
#include "store/Database.h"
#include "store/Database2.h"
#include "store/PushedValues.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/FileSystem.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
const char kInsertOld[] =
    "insert or ignore into records VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?);";
constexpr long kLongConversionBytes = 20000;

int32_t Low32(int64_t t) { return static_cast<int32_t>(static_cast<uint32_t>(t)); }
}  // namespace

void CDatabase2::TransDBFormat() {
  OP_BEGIN("CDatabase2::TransDBFormat")
  const CString xmlPath =
      StringFormat("%s/%s", LeftInStr(GetDBFilePath(), "/", TRUE).c_str(), "database.xml");
  if (!PathExists(xmlPath)) return;
  long size = 0;
  if (FILE* f = OpenFile(xmlPath, "rb")) {
    std::fseek(f, 0, SEEK_END);
    size = std::ftell(f);
    std::fclose(f);
  }
  ZTRACE(1, zenuOpName_, "xml file size is: %ld", size);
  if (size > kLongConversionBytes) {
    ShowMessageBox("需要将旧格式的数据文件进行一次性转换，可能要等待一段时间");
  }
  CDatabase db;
  const BOOL loaded = db.LoadDB();
  ZTRACE(1, zenuOpName_, "After db.LoadDB");
  CGIDList gids;
  db.GetGIDList(0, &gids, 1);
  // The old file goes only once every record it held is committed.
  const bool inTransaction = loaded && m_sqlite.Execute("begin", nullptr);
  bool converted = inTransaction;
  for (const RecordGID gid : gids) {
    CRecord r;
    if (!db.GetOneRecordData(gid, &r)) continue;
    CSqlParams p;
    p.reserve(21);
    p.push_back(SSqlParam::Int(static_cast<RecordGID>(r.GetGID() + kTransGIDShift)));
    p.push_back(SSqlParam::Text(TrimWhite(r.GetFileName())));
    p.push_back(SSqlParam::Text(TrimWhite(r.GetBTSeedUrl())));
    p.push_back(SSqlParam::Int(Low32(r.GetStartDownloadTime())));
    p.push_back(SSqlParam::Int(Low32(r.GetFinishedTime())));
    p.push_back(SSqlParam::Int(r.GetStatus()));
    p.push_back(SSqlParam::Text(TrimWhite(r.GetTaskDisplayName())));
    p.push_back(SSqlParam::Text(r.GetLocalAbsPath()));
    p.push_back(SSqlParam::Text(r.GetMediaFormat()));
    p.push_back(SSqlParam::Int(Low32(r.GetPushed())));
    p.push_back(SSqlParam::Real(RoundAsStored(r.GetExpectEval())));
    p.push_back(SSqlParam::Int(static_cast<int32_t>(r.GetSize())));
    p.push_back(SSqlParam::Text(TrimWhite(r.GetBulletinUrl())));
    p.push_back(SSqlParam::Int(r.GetTorrentType()));
    p.push_back(SSqlParam::Real(RoundAsStored(r.GetDownloadedPercent())));
    p.push_back(SSqlParam::Int(r.GetEval()));
    p.push_back(SSqlParam::Int(r.GetChooseDownload()));
    p.push_back(SSqlParam::Int(r.GetNeedShow() ? 1 : 0));
    p.push_back(SSqlParam::Text(TrimWhite(r.GetStorePath())));
    p.push_back(SSqlParam::Int(1));
    p.push_back(SSqlParam::Text(""));
    if (converted && !m_sqlite.ExecuteBound(kInsertOld, p)) converted = false;
  }
  if (converted) converted = m_sqlite.Execute("commit", nullptr);
  if (!converted && inTransaction) m_sqlite.Execute("rollback", nullptr);
  if (!converted) {
    const CString kept = xmlPath + ".unconverted";
    const bool renamed = RenamePath(xmlPath, kept);
    ZTRACE(1, zenuOpName_, "database.xml could not be converted, kept as %s",
           renamed ? kept.c_str() : xmlPath.c_str());
    return;
  }
  if (db.GetSkippedCount() > 0) {
    // What could not be read stays for a later look.
    const CString kept = xmlPath + ".unconverted";
    ZTRACE(1, zenuOpName_, "%d records of database.xml were not converted, kept as %s",
           db.GetSkippedCount(), RenamePath(xmlPath, kept) ? kept.c_str() : xmlPath.c_str());
  } else {
    RemoveFile(xmlPath);
  }
  // The torrents kept under the old identifiers no longer match any record.
  // The folder is shared by every user of the machine: only the converted
  // identifiers' folders go.
  const CString data = GetExePath(0) + "data";
  for (const RecordGID gid : gids) {
    const CString folder = StringFormat("%s/%u", data.c_str(), gid);
    if (IsFolder(folder)) DeleteDirectory(folder);
  }
  CheckFolder(data, 4);
  ZTRACE(1, zenuOpName_, "TransDBFormat() end");
  OP_END
}
