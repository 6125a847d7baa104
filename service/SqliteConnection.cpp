#include <sqlite3.h>
#include <time.h>

#include <algorithm>
#include <stdexcept>

#include "SqlDatabase.h"

namespace zenu {
namespace {

// SQLite's own busy handler sleeps 1, 2, 5, 10 ... 100 ms between tries; writers of a busy
// service holding the lock for a fraction of a millisecond each would spend their time asleep.
// Short waits instead, still giving up after about 10 s.
int RetryBusy(void*, int tries) {
  constexpr int kMaxWaitMicros = 1000;
  constexpr int kGiveUpTries = 10000;
  if (tries >= kGiveUpTries) return 0;
  const long micros = std::min(kMaxWaitMicros, 50 << std::min(tries, 5));
  timespec wait{0, micros * 1000};
  nanosleep(&wait, nullptr);
  return 1;
}

class SqliteStatement final : public SqlStatement {
 public:
  SqliteStatement(sqlite3* db, const std::string& sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr) !=
        SQLITE_OK) {
      throw std::runtime_error(std::string("sqlite prepare: ") + sqlite3_errmsg(db));
    }
  }
  ~SqliteStatement() override { sqlite3_finalize(stmt_); }

  SqlStatement& Bind(int i, int64_t v) override {
    sqlite3_bind_int64(stmt_, i, v);
    return *this;
  }
  SqlStatement& Bind(int i, double v) override {
    sqlite3_bind_double(stmt_, i, v);
    return *this;
  }
  SqlStatement& BindText(int i, const std::string& v) override {
    sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  SqlStatement& BindBlob(int i, const std::string& v) override {
    sqlite3_bind_blob(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  SqlStatement& BindNull(int i) override {
    sqlite3_bind_null(stmt_, i);
    return *this;
  }
  bool Step() override {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) {
      changes_ = sqlite3_changes(db_);
      return false;
    }
    throw std::runtime_error(std::string("sqlite step: ") + sqlite3_errmsg(db_));
  }
  void Reset() override {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  int64_t Int(int col) override { return sqlite3_column_int64(stmt_, col); }
  double Real(int col) override { return sqlite3_column_double(stmt_, col); }
  std::string Text(int col) override {
    const void* data = sqlite3_column_blob(stmt_, col);
    int size = sqlite3_column_bytes(stmt_, col);
    return data ? std::string(static_cast<const char*>(data), size) : std::string();
  }
  int64_t Changes() override { return changes_; }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  int64_t changes_ = 0;
};

class SqliteConnection final : public SqlConnection {
 public:
  explicit SqliteConnection(const std::string& path) {
    // One connection a thread at a time (the pool lends it), so no mutex of SQLite's own.
    if (sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
      std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw std::runtime_error("cannot open " + path + ": " + message);
    }
    sqlite3_busy_handler(db_, RetryBusy, nullptr);
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=NORMAL");
  }
  ~SqliteConnection() override { sqlite3_close(db_); }

  SqlDialect Dialect() const override { return SqlDialect::kSqlite; }
  std::unique_ptr<SqlStatement> Prepare(const std::string& sql) override {
    return std::make_unique<SqliteStatement>(db_, sql);
  }
  void Exec(const std::string& sql) override {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      std::string message = error ? error : "unknown error";
      sqlite3_free(error);
      throw std::runtime_error("sqlite: " + message);
    }
  }
  void Begin() override { Exec("BEGIN IMMEDIATE"); }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace

std::unique_ptr<SqlConnection> OpenSqliteConnection(const std::string& path) {
  return std::make_unique<SqliteConnection>(path);
}

}  // namespace zenu
