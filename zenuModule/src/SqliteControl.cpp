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
