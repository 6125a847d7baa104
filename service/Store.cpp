#include "Store.h"

#include <sqlite3.h>

#include <ctime>
#include <sstream>
#include <stdexcept>

namespace zenu {

class Store::Statement final {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
      throw std::runtime_error(std::string("sqlite prepare: ") + sqlite3_errmsg(db));
    }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int i, int64_t v) {
    sqlite3_bind_int64(stmt_, i, v);
    return *this;
  }
  Statement& Bind(int i, double v) {
    sqlite3_bind_double(stmt_, i, v);
    return *this;
  }
  Statement& BindText(int i, const std::string& v) {
    sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  // Names are raw client bytes, kept as blobs so no collation touches them.
  Statement& BindBlob(int i, const std::string& v) {
    sqlite3_bind_blob(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  bool Step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw std::runtime_error(std::string("sqlite step: ") + sqlite3_errmsg(db_));
  }
  void Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  int64_t Int(int col) { return sqlite3_column_int64(stmt_, col); }
  double Real(int col) { return sqlite3_column_double(stmt_, col); }
  std::string Text(int col) {
    const void* data = sqlite3_column_blob(stmt_, col);
    int size = sqlite3_column_bytes(stmt_, col);
    return data ? std::string(static_cast<const char*>(data), size) : std::string();
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS users(id INTEGER PRIMARY KEY, name BLOB NOT NULL UNIQUE,
  md5 TEXT NOT NULL, version INTEGER, created INTEGER, push_method INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS user_kinds(user_id INTEGER NOT NULL, kind INTEGER NOT NULL,
  PRIMARY KEY(user_id, kind));
CREATE TABLE IF NOT EXISTS movies(id INTEGER PRIMARY KEY, title TEXT NOT NULL, year INTEGER,
  size_bytes INTEGER, description TEXT, fetch_method INTEGER, file_name TEXT,
  has_content INTEGER, info_hash TEXT);
CREATE TABLE IF NOT EXISTS movie_kinds(movie_id INTEGER NOT NULL, kind INTEGER NOT NULL,
  PRIMARY KEY(movie_id, kind));
CREATE TABLE IF NOT EXISTS ratings(user_id INTEGER NOT NULL, movie_id INTEGER NOT NULL,
  score INTEGER NOT NULL, recommend_all INTEGER NOT NULL, comment TEXT, rated_at INTEGER,
  PRIMARY KEY(user_id, movie_id));
CREATE INDEX IF NOT EXISTS ratings_movie ON ratings(movie_id);
CREATE TABLE IF NOT EXISTS pushes(user_id INTEGER NOT NULL, movie_id INTEGER NOT NULL,
  expect_eval REAL NOT NULL, delivered INTEGER NOT NULL, from_user INTEGER NOT NULL DEFAULT 0,
  pushed_at INTEGER, PRIMARY KEY(user_id, movie_id));
CREATE TABLE IF NOT EXISTS follows(follower INTEGER NOT NULL, followee INTEGER NOT NULL,
  created INTEGER, PRIMARY KEY(follower, followee));
CREATE INDEX IF NOT EXISTS follows_followee ON follows(followee);
)sql";

// Each step brings the schema from version i to i + 1 (PRAGMA user_version); a store written
// by an older service is carried forward at open, one committed step at a time.
constexpr const char* kMigrations[] = {
    R"sql(
ALTER TABLE movies ADD COLUMN source_path TEXT;
ALTER TABLE movies ADD COLUMN mtime_ns INTEGER NOT NULL DEFAULT 0;
ALTER TABLE movies ADD COLUMN content_key TEXT NOT NULL DEFAULT '';
ALTER TABLE movies ADD COLUMN poster_path TEXT NOT NULL DEFAULT '';
ALTER TABLE movies ADD COLUMN duration INTEGER NOT NULL DEFAULT 0;
ALTER TABLE movies ADD COLUMN withdrawn INTEGER NOT NULL DEFAULT 0;
CREATE TABLE library_files(path TEXT PRIMARY KEY, size INTEGER NOT NULL,
  mtime_ns INTEGER NOT NULL, content_key TEXT NOT NULL, movie_id INTEGER NOT NULL);
)sql",
};

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace

Store::Store(const std::string& path) {
  if (sqlite3_open_v2(path.c_str(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    throw std::runtime_error("cannot open " + path + ": " + message);
  }
  sqlite3_busy_timeout(db_, 5000);
  Exec("PRAGMA journal_mode=WAL");
  Exec("PRAGMA synchronous=NORMAL");
  CreateSchema();
}

Store::~Store() { sqlite3_close(db_); }

void Store::Exec(const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    throw std::runtime_error("sqlite: " + message);
  }
}

void Store::CreateSchema() {
  Exec(kSchema);
  Migrate();
}

void Store::Migrate() {
  int64_t at = 0;
  {
    Statement version(db_, "PRAGMA user_version");
    if (version.Step()) at = version.Int(0);
  }
  const int64_t steps = static_cast<int64_t>(sizeof(kMigrations) / sizeof(kMigrations[0]));
  if (at > steps) {
    throw std::runtime_error("the store was written by a newer zenu-service (schema " +
                             std::to_string(at) + ")");
  }
  for (int64_t step = at; step < steps; ++step) {
    Exec("BEGIN IMMEDIATE");
    try {
      Exec(kMigrations[step]);
      Exec(("PRAGMA user_version = " + std::to_string(step + 1)).c_str());
      Exec("COMMIT");
    } catch (...) {
      Exec("ROLLBACK");
      throw;
    }
  }
}

bool Store::AddUser(const std::string& name, const std::string& md5, int version) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, "INSERT OR IGNORE INTO users(name, md5, version, created) VALUES(?, ?, ?, ?)");
  st.BindBlob(1, name).BindText(2, md5).Bind(3, int64_t{version}).Bind(4, Now());
  st.Step();
  return sqlite3_changes(db_) == 1;
}

std::optional<UserRecord> Store::FindUser(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, "SELECT id, name, md5, push_method FROM users WHERE name = ?");
  st.BindBlob(1, name);
  if (!st.Step()) return std::nullopt;
  return UserRecord{st.Int(0), st.Text(1), st.Text(2), static_cast<int>(st.Int(3))};
}

std::optional<UserRecord> Store::FindUserById(int64_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, "SELECT id, name, md5, push_method FROM users WHERE id = ?");
  st.Bind(1, id);
  if (!st.Step()) return std::nullopt;
  return UserRecord{st.Int(0), st.Text(1), st.Text(2), static_cast<int>(st.Int(3))};
}

std::vector<UserRecord> Store::FindUsersContaining(const std::string& part, int limit) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_,
               "SELECT id, name, md5, push_method FROM users WHERE instr(name, ?) > 0 "
               "ORDER BY name LIMIT ?");
  st.BindBlob(1, part).Bind(2, int64_t{limit});
  std::vector<UserRecord> users;
  while (st.Step()) {
    users.push_back({st.Int(0), st.Text(1), st.Text(2), static_cast<int>(st.Int(3))});
  }
  return users;
}

void Store::SetPushMethod(int64_t userId, int method) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, "UPDATE users SET push_method = ? WHERE id = ?");
  st.Bind(1, int64_t{method}).Bind(2, userId);
  st.Step();
}

void Store::SetKinds(int64_t userId, const std::vector<int>& kinds) {
  std::lock_guard<std::mutex> lock(mutex_);
  Exec("BEGIN IMMEDIATE");
  try {
    Statement del(db_, "DELETE FROM user_kinds WHERE user_id = ?");
    del.Bind(1, userId);
    del.Step();
    Statement ins(db_, "INSERT OR IGNORE INTO user_kinds(user_id, kind) VALUES(?, ?)");
    for (int kind : kinds) {
      ins.Bind(1, userId).Bind(2, int64_t{kind});
      ins.Step();
      ins.Reset();
    }
    Exec("COMMIT");
  } catch (...) {
    Exec("ROLLBACK");
    throw;
  }
}

std::vector<int> Store::Kinds(int64_t userId) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, "SELECT kind FROM user_kinds WHERE user_id = ? ORDER BY kind");
  st.Bind(1, userId);
  std::vector<int> kinds;
  while (st.Step()) kinds.push_back(static_cast<int>(st.Int(0)));
  return kinds;
}

bool Store::HasMovies() {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, "SELECT 1 FROM movies LIMIT 1");
  return st.Step();
}

void Store::AddMovies(const std::vector<Movie>& movies) {
  std::lock_guard<std::mutex> lock(mutex_);
  Exec("BEGIN IMMEDIATE");
  try {
    WriteMovies(movies);
    Exec("COMMIT");
  } catch (...) {
    Exec("ROLLBACK");
    throw;
  }
}

void Store::WriteMovies(const std::vector<Movie>& movies) {
  Statement ins(db_,
                "INSERT OR REPLACE INTO movies(id, title, year, size_bytes, description, "
                "fetch_method, file_name, has_content, info_hash, source_path, mtime_ns, "
                "content_key, poster_path, duration, withdrawn) "
                "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  Statement clear(db_, "DELETE FROM movie_kinds WHERE movie_id = ?");
  Statement kind(db_, "INSERT OR IGNORE INTO movie_kinds(movie_id, kind) VALUES(?, ?)");
  for (const Movie& m : movies) {
    ins.Bind(1, int64_t{m.id})
        .BindText(2, m.title)
        .Bind(3, int64_t{m.year})
        .Bind(4, static_cast<int64_t>(m.sizeBytes))
        .BindText(5, m.description)
        .Bind(6, int64_t{static_cast<int>(m.fetchMethod)})
        .BindText(7, m.fileName)
        .Bind(8, int64_t{m.hasContent ? 1 : 0})
        .BindText(9, m.infoHash);
    if (!m.sourcePath.empty()) ins.BindText(10, m.sourcePath);
    ins.Bind(11, m.mtimeNs)
        .BindText(12, m.contentKey)
        .BindText(13, m.posterPath)
        .Bind(14, int64_t{m.durationSeconds})
        .Bind(15, int64_t{static_cast<int>(m.withdrawal)});
    ins.Step();
    ins.Reset();
    clear.Bind(1, int64_t{m.id});
    clear.Step();
    clear.Reset();
    for (int k : m.kinds) {
      kind.Bind(1, int64_t{m.id}).Bind(2, int64_t{k});
      kind.Step();
      kind.Reset();
    }
  }
}

uint32_t Store::MaxMovieId() {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, "SELECT COALESCE(MAX(id), 0) FROM movies");
  st.Step();
  return static_cast<uint32_t>(st.Int(0));
}

void Store::ApplyScan(const std::vector<Movie>& movies,
                      const std::vector<LibraryFileRecord>& files) {
  std::lock_guard<std::mutex> lock(mutex_);
  Exec("BEGIN IMMEDIATE");
  try {
    WriteMovies(movies);
    Exec("DELETE FROM library_files");
    Statement ins(db_,
                  "INSERT OR REPLACE INTO library_files(path, size, mtime_ns, content_key, "
                  "movie_id) VALUES(?, ?, ?, ?, ?)");
    for (const LibraryFileRecord& f : files) {
      ins.BindText(1, f.path)
          .Bind(2, static_cast<int64_t>(f.size))
          .Bind(3, f.mtimeNs)
          .BindText(4, f.contentKey)
          .Bind(5, int64_t{f.movieId});
      ins.Step();
      ins.Reset();
    }
    Exec("COMMIT");
  } catch (...) {
    Exec("ROLLBACK");
    throw;
  }
}

std::vector<LibraryFileRecord> Store::LibraryFiles() {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, "SELECT path, size, mtime_ns, content_key, movie_id FROM library_files");
  std::vector<LibraryFileRecord> out;
  while (st.Step()) {
    out.push_back({st.Text(0), static_cast<uint64_t>(st.Int(1)), st.Int(2), st.Text(3),
                   static_cast<uint32_t>(st.Int(4))});
  }
  return out;
}

bool Store::SetWithdrawal(uint32_t movieId, Withdrawal withdrawal) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, "UPDATE movies SET withdrawn = ? WHERE id = ?");
  st.Bind(1, int64_t{static_cast<int>(withdrawal)}).Bind(2, int64_t{movieId});
  st.Step();
  return sqlite3_changes(db_) == 1;
}

std::vector<UserListRow> Store::UserList() {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_,
               "SELECT u.id, u.name, u.md5, u.push_method, COALESCE(u.created, 0), "
               "(SELECT COUNT(*) FROM ratings r WHERE r.user_id = u.id), "
               "(SELECT COUNT(*) FROM pushes p WHERE p.user_id = u.id) "
               "FROM users u ORDER BY u.id");
  std::vector<UserListRow> out;
  while (st.Step()) {
    UserListRow row;
    row.user = {st.Int(0), st.Text(1), st.Text(2), static_cast<int>(st.Int(3))};
    row.created = st.Int(4);
    row.ratings = static_cast<int>(st.Int(5));
    row.pushes = static_cast<int>(st.Int(6));
    out.push_back(std::move(row));
  }
  return out;
}

std::vector<Movie> Store::LoadMovies() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Movie> movies;
  Statement st(db_,
               "SELECT id, title, year, size_bytes, description, fetch_method, file_name, "
               "has_content, info_hash, COALESCE(source_path, ''), mtime_ns, content_key, "
               "poster_path, duration, withdrawn FROM movies ORDER BY id");
  while (st.Step()) {
    Movie m;
    m.id = static_cast<uint32_t>(st.Int(0));
    m.title = st.Text(1);
    m.year = static_cast<int>(st.Int(2));
    m.sizeBytes = static_cast<uint64_t>(st.Int(3));
    m.description = st.Text(4);
    m.fetchMethod = st.Int(5) == 5 ? FetchMethod::kDownloadManagerOnly : FetchMethod::kBitTorrent;
    m.fileName = st.Text(6);
    m.hasContent = st.Int(7) != 0;
    m.infoHash = st.Text(8);
    m.sourcePath = st.Text(9);
    m.mtimeNs = st.Int(10);
    m.contentKey = st.Text(11);
    m.posterPath = st.Text(12);
    m.durationSeconds = static_cast<int>(st.Int(13));
    const int64_t withdrawn = st.Int(14);
    m.withdrawal = withdrawn == 1   ? Withdrawal::kFileGone
                   : withdrawn == 2 ? Withdrawal::kRetired
                                    : Withdrawal::kNone;
    movies.push_back(std::move(m));
  }
  Statement kinds(db_, "SELECT movie_id, kind FROM movie_kinds ORDER BY movie_id, kind");
  size_t at = 0;
  while (kinds.Step()) {
    uint32_t id = static_cast<uint32_t>(kinds.Int(0));
    while (at < movies.size() && movies[at].id < id) ++at;
    if (at < movies.size() && movies[at].id == id) {
      movies[at].kinds.push_back(static_cast<int>(kinds.Int(1)));
    }
  }
  return movies;
}

void Store::SaveRating(const RatingRecord& r) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_,
               "INSERT OR REPLACE INTO ratings(user_id, movie_id, score, recommend_all, comment, "
               "rated_at) VALUES(?, ?, ?, ?, ?, ?)");
  st.Bind(1, r.userId)
      .Bind(2, int64_t{r.movieId})
      .Bind(3, int64_t{r.score})
      .Bind(4, int64_t{r.recommendAll ? 1 : 0})
      .BindText(5, r.comment)
      .Bind(6, r.ratedAt ? r.ratedAt : Now());
  st.Step();
}

namespace {
constexpr const char* kRatingColumns =
    "SELECT user_id, movie_id, score, recommend_all, comment, rated_at FROM ratings ";
}

std::vector<RatingRecord> Store::ReadRatings(Statement& st) {
  std::vector<RatingRecord> out;
  while (st.Step()) {
    out.push_back({st.Int(0), static_cast<uint32_t>(st.Int(1)), static_cast<int>(st.Int(2)),
                   st.Int(3) != 0, st.Text(4), st.Int(5)});
  }
  return out;
}

std::vector<RatingRecord> Store::AllRatings() {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, (std::string(kRatingColumns) + "ORDER BY user_id, movie_id").c_str());
  return ReadRatings(st);
}

std::vector<RatingRecord> Store::RatingsOfMovie(uint32_t movieId, int limit) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, (std::string(kRatingColumns) +
                     "WHERE movie_id = ? ORDER BY rated_at DESC, user_id LIMIT ?")
                        .c_str());
  st.Bind(1, int64_t{movieId}).Bind(2, int64_t{limit});
  return ReadRatings(st);
}

std::vector<RatingRecord> Store::RatingsOfUser(int64_t userId) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, (std::string(kRatingColumns) + "WHERE user_id = ? ORDER BY movie_id").c_str());
  st.Bind(1, userId);
  return ReadRatings(st);
}

std::vector<RatingRecord> Store::RecommendationsFor(int64_t userId, int limit) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_,
               "SELECT r.user_id, r.movie_id, r.score, r.recommend_all, r.comment, r.rated_at "
               "FROM ratings r JOIN follows f ON f.followee = r.user_id "
               "WHERE f.follower = ? AND r.score >= 4 "
               "ORDER BY r.rated_at DESC, r.movie_id LIMIT ?");
  st.Bind(1, userId).Bind(2, int64_t{limit});
  return ReadRatings(st);
}

std::vector<PushRecord> Store::Pushes(int64_t userId) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_,
               "SELECT user_id, movie_id, expect_eval, delivered, from_user FROM pushes "
               "WHERE user_id = ? ORDER BY pushed_at, movie_id");
  st.Bind(1, userId);
  std::vector<PushRecord> out;
  while (st.Step()) {
    out.push_back(
        {st.Int(0), static_cast<uint32_t>(st.Int(1)), st.Real(2), st.Int(3) != 0, st.Int(4)});
  }
  return out;
}

void Store::RecordDelivery(int64_t userId, const std::vector<PushRecord>& fresh,
                           const std::vector<uint32_t>& pendingDelivered) {
  std::lock_guard<std::mutex> lock(mutex_);
  Exec("BEGIN IMMEDIATE");
  try {
    Statement ins(db_,
                  "INSERT OR IGNORE INTO pushes(user_id, movie_id, expect_eval, delivered, "
                  "from_user, pushed_at) VALUES(?, ?, ?, 1, ?, ?)");
    for (const PushRecord& p : fresh) {
      ins.Bind(1, userId).Bind(2, int64_t{p.movieId}).Bind(3, p.expectEval).Bind(4, p.fromUser);
      ins.Bind(5, Now());
      ins.Step();
      ins.Reset();
    }
    Statement upd(db_, "UPDATE pushes SET delivered = 1 WHERE user_id = ? AND movie_id = ?");
    for (uint32_t movie : pendingDelivered) {
      upd.Bind(1, userId).Bind(2, int64_t{movie});
      upd.Step();
      upd.Reset();
    }
    Exec("COMMIT");
  } catch (...) {
    Exec("ROLLBACK");
    throw;
  }
}

bool Store::AddPendingPush(const PushRecord& p) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_,
               "INSERT OR IGNORE INTO pushes(user_id, movie_id, expect_eval, delivered, "
               "from_user, pushed_at) VALUES(?, ?, ?, 0, ?, ?)");
  st.Bind(1, p.userId).Bind(2, int64_t{p.movieId}).Bind(3, p.expectEval).Bind(4, p.fromUser);
  st.Bind(5, Now());
  st.Step();
  return sqlite3_changes(db_) == 1;
}

void Store::Follow(int64_t follower, int64_t followee) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, "INSERT OR IGNORE INTO follows(follower, followee, created) VALUES(?, ?, ?)");
  st.Bind(1, follower).Bind(2, followee).Bind(3, Now());
  st.Step();
}

void Store::Unfollow(int64_t follower, int64_t followee) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, "DELETE FROM follows WHERE follower = ? AND followee = ?");
  st.Bind(1, follower).Bind(2, followee);
  st.Step();
}

std::vector<int64_t> Store::Followers(int64_t userId) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, "SELECT follower FROM follows WHERE followee = ? ORDER BY follower");
  st.Bind(1, userId);
  std::vector<int64_t> out;
  while (st.Step()) out.push_back(st.Int(0));
  return out;
}

std::vector<int64_t> Store::Followees(int64_t userId) {
  std::lock_guard<std::mutex> lock(mutex_);
  Statement st(db_, "SELECT followee FROM follows WHERE follower = ? ORDER BY followee");
  st.Bind(1, userId);
  std::vector<int64_t> out;
  while (st.Step()) out.push_back(st.Int(0));
  return out;
}

}  // namespace zenu
