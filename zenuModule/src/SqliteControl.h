#pragma once
#include <cstdint>
#include <vector>

#include "Types.h"

struct sqlite3;

// Rows of a query, each a list of column texts; NULL arrives as "".
using CSqlRows = std::vector<std::vector<CString>>;

// A value for one statement parameter, bound in order to the statement's '?'.
struct SSqlParam {
  enum EKind { SP_NULL, SP_INT, SP_REAL, SP_TEXT };
  EKind eKind = SP_NULL;
  int64_t iValue = 0;
  double fValue = 0.0;
  CString strValue;

  static SSqlParam Null() { return SSqlParam(); }
  static SSqlParam Int(int64_t v) {
    SSqlParam p;
    p.eKind = SP_INT;
    p.iValue = v;
    return p;
  }
  static SSqlParam Real(double v) {
    SSqlParam p;
    p.eKind = SP_REAL;
    p.fValue = v;
    return p;
  }
  static SSqlParam Text(const CString& v) {
    SSqlParam p;
    p.eKind = SP_TEXT;
    p.strValue = v;
    return p;
  }
};
using CSqlParams = std::vector<SSqlParam>;

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
  // One statement with its values bound as parameters, so that no value is ever
  // read as SQL. Rows of a query are appended to *result when it is given.
  BOOL ExecuteBound(const CString& sql, const CSqlParams& params, CSqlRows* result = nullptr);

  sqlite3* GetHandle() const { return m_pDB; }

 private:
  sqlite3* m_pDB = nullptr;
};

class CIntfSqliteControl final : public CSqliteControl {
 public:
  BOOL Connect(const CString& path) { return CSqliteControl::Connect(path); }
  int Close() { return CSqliteControl::Close(); }
  BOOL Execute(const CString& sql, CSqlRows* result) { return CSqliteControl::Execute(sql, result); }
  BOOL ExecuteBound(const CString& sql, const CSqlParams& params, CSqlRows* result = nullptr) {
    return CSqliteControl::ExecuteBound(sql, params, result);
  }
};
