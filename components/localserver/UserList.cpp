#include "UserList.h"

#include <sqlite3.h>

namespace {
// The client may be writing; a page does not wait long for it.
constexpr int kBusyMs = 300;
constexpr size_t kMaxIds = 200;
}  // namespace

std::set<uint32_t> CUserList::Holding(const std::string& dbFile, const std::vector<uint32_t>& ids) {
  std::set<uint32_t> found;
  if (dbFile.empty() || ids.empty() || ids.size() > kMaxIds) return found;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(dbFile.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    return found;
  }
  sqlite3_busy_timeout(db, kBusyMs);
  std::string sql = "SELECT ulGID FROM records WHERE ulGID IN (";
  for (size_t i = 0; i < ids.size(); ++i) sql += i ? ",?" : "?";
  sql += ")";
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
    for (size_t i = 0; i < ids.size(); ++i) {
      sqlite3_bind_int64(stmt, static_cast<int>(i + 1), static_cast<sqlite3_int64>(ids[i]));
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      found.insert(static_cast<uint32_t>(sqlite3_column_int64(stmt, 0)));
    }
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return found;
}

int CUserList::Status(const std::string& dbFile, uint32_t id) {
  if (dbFile.empty()) return 0;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(dbFile.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    return 0;
  }
  sqlite3_busy_timeout(db, kBusyMs);
  int status = 0;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT eStatus FROM records WHERE ulGID = ?", -1, &stmt, nullptr) ==
      SQLITE_OK) {
    sqlite3_bind_int64(stmt, 1, static_cast<sqlite3_int64>(id));
    if (sqlite3_step(stmt) == SQLITE_ROW) status = sqlite3_column_int(stmt, 0);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return status;
}
