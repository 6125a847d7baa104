#pragma once
#include <vector>

#include "Types.h"

struct sqlite3;

// Rows of a query, each a list of column texts; NULL arrives as "".
using CSqlRows = std::vector<std::vector<CString>>;

// One SQLite connection. Never throws: failures are a FALSE result and a trace line.
class CSqliteControl {
 public:
  CSqliteControl() = default;
  CSqliteControl(const CSqliteControl&) = delete;
  CSqliteControl& operator=(const CSqliteControl&) = delete;
  // The owner closes the connection; destruction alone does not.
  virtual ~CSqliteControl() = default;

  // path is UTF-8.
  BOOL Connect(const CString& path);
  int Close();
  // A statement starting with "select" is a query whose rows are appended to
  // *result; anything else is executed.
  BOOL Execute(const CString& sql, CSqlRows* result);

  sqlite3* GetHandle() const { return m_pDB; }

 private:
  sqlite3* m_pDB = nullptr;
};

class CIntfSqliteControl final : public CSqliteControl {
 public:
  BOOL Connect(const CString& path) { return CSqliteControl::Connect(path); }
  int Close() { return CSqliteControl::Close(); }
  BOOL Execute(const CString& sql, CSqlRows* result) { return CSqliteControl::Execute(sql, result); }
};
