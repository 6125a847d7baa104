#pragma once
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "store/Record.h"
#include "zenuModule/src/SqliteControl.h"
#include "zenuModule/src/Types.h"

namespace Json {
class Value;
}

using CGIDList = std::vector<RecordGID>;
using CSqlRow = std::vector<CString>;

// The logged-in user's records in the SQLite file users/<name>/db.dat, with a
// cache of the run-time download figures that are never written to the file.
class CDatabase2 {
 public:
  CDatabase2() = default;
  CDatabase2(const CDatabase2&) = delete;
  CDatabase2& operator=(const CDatabase2&) = delete;
  virtual ~CDatabase2();

  BOOL LoadDB();
  BOOL SaveDB() { return TRUE; }
  void UpdateRecord(const CRecord& rec);
  // saveFolder is the folder a new movie is downloaded into, below which each
  // new record's target path is made.
  void AddPushedRecord(const CString& xmlText, const CString& saveFolder, CGIDList* newGIDs);
  BOOL AddPushedRecord2(const Json::Value* task, const CString& saveFolder, CRecord* rec);
  BOOL GetOneRecordData(RecordGID ulGID, CRecord* rec);
  void GetGIDList(uint32_t status, CGIDList* out, BOOL bFlag);
  void GetGIDListBySql(const CString& sql, CGIDList* out);
  BOOL GetOneRecordBySql(const CString& sql, CSqlRow* out);
  int GetCount();

  static CString ReplaceBackSlash(const CString& text);
  // users/<default user>/db.dat below the program folder; empty without a user.
  static CString GetDBFilePath();
  static const char* CreateTableSql();

 protected:
  void TransDBFormat();

 private:
  bool Exists(RecordGID ulGID);
  // The target path of a pushed movie: the save folder and its safe title.
  static CString TargetPath(const CString& saveFolder, const CString& title, RecordGID gid);

  std::unordered_map<RecordGID, CRecord> m_mapCache;
  CIntfSqliteControl m_sqlite;
  bool m_bOpen = false;
};
