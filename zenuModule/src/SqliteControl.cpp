#include "SqliteControl.h"

#include <sqlite3.h>

#include "Log.h"
#include "StringHelpers.h"

BOOL CSqliteControl::Connect(const CString& path) {
  if (sqlite3_open(path.c_str(), &m_pDB) != SQLITE_OK) {
    ZTRACE(1, "CSqliteControl::Connect", "sqlite无法打开数据库: %s", sqlite3_errmsg(m_pDB));
    return FALSE;
  }
  return TRUE;
}

int CSqliteControl::Close() {
  const int rc = sqlite3_close(m_pDB);
  if (rc == SQLITE_OK) m_pDB = nullptr;
  return rc;
}

BOOL CSqliteControl::Execute(const CString& sql, CSqlRows* result) {
  const CString statement = TrimWhite(sql);
  char* message = nullptr;
  if (statement.compare(0, 6, "select") == 0) {
    char** table = nullptr;
    int rows = 0;
    int columns = 0;
    if (sqlite3_get_table(m_pDB, statement.c_str(), &table, &rows, &columns, &message) !=
        SQLITE_OK) {
      sqlite3_free_table(table);
      ZTRACE(1, "CSqliteControl::Execute", "sqlite查询失败: %s\n Sql:%s",
             message ? message : sqlite3_errmsg(m_pDB), statement.c_str());
      sqlite3_free(message);
      return FALSE;
    }
    if (result) {
      for (int r = 1; r <= rows; ++r) {
        std::vector<CString> row;
        row.reserve(static_cast<size_t>(columns));
        for (int c = 0; c < columns; ++c) {
          const char* cell = table[r * columns + c];
          row.emplace_back(cell ? cell : "");
        }
        result->push_back(std::move(row));
      }
    }
    sqlite3_free_table(table);
    return TRUE;
  }
  if (sqlite3_exec(m_pDB, statement.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    ZTRACE(1, "CSqliteControl::Execute", "sqlite处理失败: %s\n Sql:%s",
           message ? message : sqlite3_errmsg(m_pDB), statement.c_str());
    sqlite3_free(message);
    return FALSE;
  }
  return TRUE;
}

BOOL CSqliteControl::ExecuteBound(const CString& sql, const CSqlParams& params,
                                  CSqlRows* result) {
  const CString statement = TrimWhite(sql);
  const bool isQuery = statement.compare(0, 6, "select") == 0;
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(m_pDB, statement.c_str(), static_cast<int>(statement.size()), &stmt,
                              nullptr);
  for (size_t i = 0; rc == SQLITE_OK && i < params.size(); ++i) {
    const SSqlParam& p = params[i];
    const int at = static_cast<int>(i) + 1;
    switch (p.eKind) {
      case SSqlParam::SP_NULL:
        rc = sqlite3_bind_null(stmt, at);
        break;
      case SSqlParam::SP_INT:
        rc = sqlite3_bind_int64(stmt, at, p.iValue);
        break;
      case SSqlParam::SP_REAL:
        rc = sqlite3_bind_double(stmt, at, p.fValue);
        break;
      case SSqlParam::SP_TEXT:
        rc = sqlite3_bind_text(stmt, at, p.strValue.data(), static_cast<int>(p.strValue.size()),
                               SQLITE_TRANSIENT);
        break;
    }
  }
  CSqlRows rows;
  while (rc == SQLITE_OK || rc == SQLITE_ROW) {
    rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW) break;
    const int columns = sqlite3_column_count(stmt);
    std::vector<CString> row;
    row.reserve(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
      row.emplace_back(text ? CString(text, static_cast<size_t>(sqlite3_column_bytes(stmt, c)))
                            : CString());
    }
    rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) {
    const CString message = sqlite3_errmsg(m_pDB);
    sqlite3_finalize(stmt);
    ZTRACE(1, "CSqliteControl::ExecuteBound", isQuery ? "sqlite查询失败: %s\n Sql:%s"
                                                        : "sqlite处理失败: %s\n Sql:%s",
           message.c_str(), statement.c_str());
    return FALSE;
  }
  sqlite3_finalize(stmt);
  if (result) {
    for (auto& row : rows) result->push_back(std::move(row));
  }
  return TRUE;
}
