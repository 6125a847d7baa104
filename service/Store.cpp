#include "Store.h"

#include <ctime>
#include <sstream>
#include <stdexcept>

namespace zenu {

namespace {

// Each step brings the schema from the version before it to its own; a store is at the
// highest step it went through. Steps are never changed once released, only added.
struct Migration {
  int version;
  const char* sqlite;
  const char* postgres;
};

constexpr Migration kMigrations[] = {
    {1,
     R"sql(
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
)sql",
     R"sql(
CREATE TABLE IF NOT EXISTS users(id BIGSERIAL PRIMARY KEY, name BYTEA NOT NULL UNIQUE,
  md5 TEXT NOT NULL, version INTEGER, created BIGINT, push_method INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS user_kinds(user_id BIGINT NOT NULL, kind INTEGER NOT NULL,
  PRIMARY KEY(user_id, kind));
CREATE TABLE IF NOT EXISTS movies(id BIGINT PRIMARY KEY, title TEXT NOT NULL, year INTEGER,
  size_bytes BIGINT, description TEXT, fetch_method INTEGER, file_name TEXT,
  has_content INTEGER, info_hash TEXT);
CREATE TABLE IF NOT EXISTS movie_kinds(movie_id BIGINT NOT NULL, kind INTEGER NOT NULL,
  PRIMARY KEY(movie_id, kind));
CREATE TABLE IF NOT EXISTS ratings(user_id BIGINT NOT NULL, movie_id BIGINT NOT NULL,
  score INTEGER NOT NULL, recommend_all INTEGER NOT NULL, comment TEXT, rated_at BIGINT,
  PRIMARY KEY(user_id, movie_id));
CREATE INDEX IF NOT EXISTS ratings_movie ON ratings(movie_id);
CREATE TABLE IF NOT EXISTS pushes(user_id BIGINT NOT NULL, movie_id BIGINT NOT NULL,
  expect_eval DOUBLE PRECISION NOT NULL, delivered INTEGER NOT NULL,
  from_user BIGINT NOT NULL DEFAULT 0, pushed_at BIGINT, PRIMARY KEY(user_id, movie_id));
CREATE TABLE IF NOT EXISTS follows(follower BIGINT NOT NULL, followee BIGINT NOT NULL,
  created BIGINT, PRIMARY KEY(follower, followee));
CREATE INDEX IF NOT EXISTS follows_followee ON follows(followee);
)sql"},
    {2,
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
     R"sql(
ALTER TABLE movies ADD COLUMN source_path TEXT;
ALTER TABLE movies ADD COLUMN mtime_ns BIGINT NOT NULL DEFAULT 0;
ALTER TABLE movies ADD COLUMN content_key TEXT NOT NULL DEFAULT '';
ALTER TABLE movies ADD COLUMN poster_path TEXT NOT NULL DEFAULT '';
ALTER TABLE movies ADD COLUMN duration INTEGER NOT NULL DEFAULT 0;
ALTER TABLE movies ADD COLUMN withdrawn INTEGER NOT NULL DEFAULT 0;
CREATE TABLE library_files(path TEXT PRIMARY KEY, size BIGINT NOT NULL,
  mtime_ns BIGINT NOT NULL, content_key TEXT NOT NULL, movie_id BIGINT NOT NULL);
)sql"},
    {3,
     R"sql(
CREATE TABLE service_state(key TEXT PRIMARY KEY, value INTEGER NOT NULL);
INSERT INTO service_state(key, value) VALUES('catalogue', 0);
)sql",
     R"sql(
CREATE TABLE service_state(key TEXT PRIMARY KEY, value BIGINT NOT NULL);
INSERT INTO service_state(key, value) VALUES('catalogue', 0);
)sql"},
    {4,
     R"sql(
ALTER TABLE users ADD COLUMN last_request INTEGER NOT NULL DEFAULT 0;
ALTER TABLE movies ADD COLUMN container TEXT NOT NULL DEFAULT '';
)sql",
     R"sql(
ALTER TABLE users ADD COLUMN last_request BIGINT NOT NULL DEFAULT 0;
ALTER TABLE movies ADD COLUMN container TEXT NOT NULL DEFAULT '';
)sql"},
    {5,
     R"sql(
ALTER TABLE pushes ADD COLUMN reason TEXT NOT NULL DEFAULT '';
ALTER TABLE pushes ADD COLUMN dismissed INTEGER NOT NULL DEFAULT 0;
)sql",
     R"sql(
ALTER TABLE pushes ADD COLUMN reason TEXT NOT NULL DEFAULT '';
ALTER TABLE pushes ADD COLUMN dismissed INTEGER NOT NULL DEFAULT 0;
)sql"},
};

// Any numbers, as long as no other program takes the same locks on the database.
constexpr int64_t kMigrationLock = 0x7a656e75;
constexpr int64_t kScanLock = 0x7a656e76;

// Other service processes reload their catalogue when this number moves.
void BumpCatalogue(SqlConnection& c) {
  c.Exec("UPDATE service_state SET value = value + 1 WHERE key = 'catalogue'");
}

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace

Store::Store(const std::string& target, int connections)
    : db_(SqlDatabase::Open(target, connections)) {
  Migrate();
}

Store::~Store() = default;

int Store::SchemaVersion() {
  auto c = db_->Acquire();
  c->Exec("CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL)");
  auto st = c->Prepare("SELECT max(version) FROM schema_version");
  return st->Step() ? static_cast<int>(st->Int(0)) : 0;
}

int Store::Migrate() {
  const bool postgres = db_->Dialect() == SqlDialect::kPostgres;
  SchemaVersion();  // makes the version table
  return db_->Transaction([&](SqlConnection& c) {
    // Several service processes may start at once: one applies the steps, the others wait
    // and find them done.
    if (postgres) {
      c.Prepare("SELECT pg_advisory_xact_lock(?)")->Bind(1, kMigrationLock).Step();
    }
    auto current = c.Prepare("SELECT coalesce(max(version), 0) FROM schema_version");
    current->Step();
    int version = static_cast<int>(current->Int(0));
    if (version > LatestSchemaVersion()) {
      throw std::runtime_error("the store was written by a newer zenu-service (schema " +
                               std::to_string(version) + ")");
    }
    for (const Migration& m : kMigrations) {
      if (m.version <= version) continue;
      c.Exec(postgres ? m.postgres : m.sqlite);
      c.Prepare("INSERT INTO schema_version(version) VALUES(?)")
          ->Bind(1, int64_t{m.version})
          .Step();
      version = m.version;
    }
    return version;
  });
}

int Store::LatestSchemaVersion() { return std::end(kMigrations)[-1].version; }

namespace {

UserRecord ReadUser(SqlStatement& st) {
  return UserRecord{st.Int(0), st.Text(1), st.Text(2), static_cast<int>(st.Int(3))};
}

}  // namespace

bool Store::AddUser(const std::string& name, const std::string& md5, int version) {
  auto c = db_->Acquire();
  auto st = c->Prepare(
      "INSERT INTO users(name, md5, version, created) VALUES(?, ?, ?, ?) "
      "ON CONFLICT DO NOTHING");
  st->BindBlob(1, name).BindText(2, md5).Bind(3, int64_t{version}).Bind(4, Now());
  st->Step();
  return st->Changes() == 1;
}

std::optional<UserRecord> Store::FindUser(const std::string& name) {
  auto c = db_->Acquire();
  auto st = c->Prepare("SELECT id, name, md5, push_method FROM users WHERE name = ?");
  st->BindBlob(1, name);
  if (!st->Step()) return std::nullopt;
  return ReadUser(*st);
}

std::optional<UserRecord> Store::FindUserById(int64_t id) {
  auto c = db_->Acquire();
  auto st = c->Prepare("SELECT id, name, md5, push_method FROM users WHERE id = ?");
  st->Bind(1, id);
  if (!st->Step()) return std::nullopt;
  return ReadUser(*st);
}

std::vector<UserRecord> Store::FindUsersContaining(const std::string& part, int limit) {
  auto c = db_->Acquire();
  auto st = c->Prepare(db_->Dialect() == SqlDialect::kPostgres
                           ? "SELECT id, name, md5, push_method FROM users "
                             "WHERE position(? in name) > 0 ORDER BY name LIMIT ?"
                           : "SELECT id, name, md5, push_method FROM users "
                             "WHERE instr(name, ?) > 0 ORDER BY name LIMIT ?");
  st->BindBlob(1, part).Bind(2, int64_t{limit});
  std::vector<UserRecord> users;
  while (st->Step()) users.push_back(ReadUser(*st));
  return users;
}

void Store::SetPushMethod(int64_t userId, int method) {
  auto c = db_->Acquire();
  c->Prepare("UPDATE users SET push_method = ? WHERE id = ?")
      ->Bind(1, int64_t{method})
      .Bind(2, userId)
      .Step();
}

void Store::NoteRequest(int64_t userId) {
  const int64_t now = Now();
  auto c = db_->Acquire();
  // Requests within the same second write nothing.
  c->Prepare("UPDATE users SET last_request = ? WHERE id = ? AND last_request < ?")
      ->Bind(1, now)
      .Bind(2, userId)
      .Bind(3, now)
      .Step();
}

void Store::SetKinds(int64_t userId, const std::vector<int>& kinds) {
  db_->Transaction([&](SqlConnection& c) {
    c.Prepare("DELETE FROM user_kinds WHERE user_id = ?")->Bind(1, userId).Step();
    auto ins =
        c.Prepare("INSERT INTO user_kinds(user_id, kind) VALUES(?, ?) ON CONFLICT DO NOTHING");
    for (int kind : kinds) {
      ins->Bind(1, userId).Bind(2, int64_t{kind});
      ins->Step();
      ins->Reset();
    }
  });
}

std::vector<int> Store::Kinds(int64_t userId) {
  auto c = db_->Acquire();
  auto st = c->Prepare("SELECT kind FROM user_kinds WHERE user_id = ? ORDER BY kind");
  st->Bind(1, userId);
  std::vector<int> kinds;
  while (st->Step()) kinds.push_back(static_cast<int>(st->Int(0)));
  return kinds;
}

bool Store::HasMovies() {
  auto c = db_->Acquire();
  return c->Prepare("SELECT 1 FROM movies LIMIT 1")->Step();
}

void Store::AddMovies(const std::vector<Movie>& movies) {
  db_->Transaction([&](SqlConnection& c) {
    WriteMovies(c, movies);
    BumpCatalogue(c);
  });
}

void Store::WriteMovies(SqlConnection& c, const std::vector<Movie>& movies) {
  auto ins = c.Prepare(
      "INSERT INTO movies(id, title, year, size_bytes, description, fetch_method, file_name, "
      "has_content, info_hash, source_path, mtime_ns, content_key, poster_path, duration, "
      "withdrawn, container) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
      "ON CONFLICT(id) DO UPDATE SET title = excluded.title, year = excluded.year, "
      "size_bytes = excluded.size_bytes, description = excluded.description, "
      "fetch_method = excluded.fetch_method, file_name = excluded.file_name, "
      "has_content = excluded.has_content, info_hash = excluded.info_hash, "
      "source_path = excluded.source_path, mtime_ns = excluded.mtime_ns, "
      "content_key = excluded.content_key, poster_path = excluded.poster_path, "
      "duration = excluded.duration, withdrawn = excluded.withdrawn, "
      "container = excluded.container");
  auto clear = c.Prepare("DELETE FROM movie_kinds WHERE movie_id = ?");
  auto kind =
      c.Prepare("INSERT INTO movie_kinds(movie_id, kind) VALUES(?, ?) ON CONFLICT DO NOTHING");
  for (const Movie& m : movies) {
    ins->Bind(1, int64_t{m.id})
        .BindText(2, m.title)
        .Bind(3, int64_t{m.year})
        .Bind(4, static_cast<int64_t>(m.sizeBytes))
        .BindText(5, m.description)
        .Bind(6, int64_t{static_cast<int>(m.fetchMethod)})
        .BindText(7, m.fileName)
        .Bind(8, int64_t{m.hasContent ? 1 : 0})
        .BindText(9, m.infoHash);
    if (m.sourcePath.empty()) {
      ins->BindNull(10);
    } else {
      ins->BindText(10, m.sourcePath);
    }
    ins->Bind(11, m.mtimeNs)
        .BindText(12, m.contentKey)
        .BindText(13, m.posterPath)
        .Bind(14, int64_t{m.durationSeconds})
        .Bind(15, int64_t{static_cast<int>(m.withdrawal)})
        .BindText(16, m.container);
    ins->Step();
    ins->Reset();
    clear->Bind(1, int64_t{m.id});
    clear->Step();
    clear->Reset();
    for (int k : m.kinds) {
      kind->Bind(1, int64_t{m.id}).Bind(2, int64_t{k});
      kind->Step();
      kind->Reset();
    }
  }
}

uint32_t Store::MaxMovieId() {
  auto c = db_->Acquire();
  auto st = c->Prepare("SELECT COALESCE(MAX(id), 0) FROM movies");
  st->Step();
  return static_cast<uint32_t>(st->Int(0));
}

void Store::ApplyScan(const std::vector<Movie>& movies,
                      const std::vector<LibraryFileRecord>& files) {
  db_->Transaction([&](SqlConnection& c) {
    WriteMovies(c, movies);
    BumpCatalogue(c);
    c.Exec("DELETE FROM library_files");
    auto ins = c.Prepare(
        "INSERT INTO library_files(path, size, mtime_ns, content_key, movie_id) "
        "VALUES(?, ?, ?, ?, ?) ON CONFLICT(path) DO UPDATE SET size = excluded.size, "
        "mtime_ns = excluded.mtime_ns, content_key = excluded.content_key, "
        "movie_id = excluded.movie_id");
    for (const LibraryFileRecord& f : files) {
      ins->BindText(1, f.path)
          .Bind(2, static_cast<int64_t>(f.size))
          .Bind(3, f.mtimeNs)
          .BindText(4, f.contentKey)
          .Bind(5, int64_t{f.movieId});
      ins->Step();
      ins->Reset();
    }
  });
}

std::vector<LibraryFileRecord> Store::LibraryFiles() {
  auto c = db_->Acquire();
  auto st = c->Prepare("SELECT path, size, mtime_ns, content_key, movie_id FROM library_files");
  std::vector<LibraryFileRecord> out;
  while (st->Step()) {
    out.push_back({st->Text(0), static_cast<uint64_t>(st->Int(1)), st->Int(2), st->Text(3),
                   static_cast<uint32_t>(st->Int(4))});
  }
  return out;
}

bool Store::SetWithdrawal(uint32_t movieId, Withdrawal withdrawal) {
  return db_->Transaction([&](SqlConnection& c) {
    auto st = c.Prepare("UPDATE movies SET withdrawn = ? WHERE id = ?");
    st->Bind(1, int64_t{static_cast<int>(withdrawal)}).Bind(2, int64_t{movieId});
    st->Step();
    BumpCatalogue(c);
    return st->Changes() == 1;
  });
}

int64_t Store::CatalogueGeneration() {
  auto c = db_->Acquire();
  auto st = c->Prepare("SELECT value FROM service_state WHERE key = 'catalogue'");
  return st->Step() ? st->Int(0) : 0;
}

bool Store::InScanTurn(const std::function<void()>& work) {
  if (db_->Dialect() != SqlDialect::kPostgres) {
    work();
    return true;
  }
  // A session lock, held on one connection for the whole scan.
  SqlDatabase::Lease c = db_->Acquire();
  auto take = c->Prepare("SELECT pg_try_advisory_lock(?)");
  take->Bind(1, kScanLock);
  if (!take->Step() || take->Text(0) != "t") return false;
  auto release = [&] { c->Prepare("SELECT pg_advisory_unlock(?)")->Bind(1, kScanLock).Step(); };
  try {
    work();
  } catch (...) {
    release();
    throw;
  }
  release();
  return true;
}

std::vector<UserListRow> Store::UserList() {
  auto c = db_->Acquire();
  auto st = c->Prepare(
      "SELECT u.id, u.name, u.md5, u.push_method, COALESCE(u.created, 0), "
      "(SELECT COUNT(*) FROM ratings r WHERE r.user_id = u.id), "
      "(SELECT COUNT(*) FROM pushes p WHERE p.user_id = u.id), u.last_request "
      "FROM users u ORDER BY u.id");
  std::vector<UserListRow> out;
  while (st->Step()) {
    UserListRow row;
    row.user = ReadUser(*st);
    row.created = st->Int(4);
    row.ratings = static_cast<int>(st->Int(5));
    row.pushes = static_cast<int>(st->Int(6));
    row.lastRequest = st->Int(7);
    out.push_back(std::move(row));
  }
  return out;
}

std::vector<Movie> Store::LoadMovies() {
  auto c = db_->Acquire();
  std::vector<Movie> movies;
  auto st = c->Prepare(
      "SELECT id, title, year, size_bytes, description, fetch_method, file_name, "
      "has_content, info_hash, COALESCE(source_path, ''), mtime_ns, content_key, "
      "poster_path, duration, withdrawn, container FROM movies ORDER BY id");
  while (st->Step()) {
    Movie m;
    m.id = static_cast<uint32_t>(st->Int(0));
    m.title = st->Text(1);
    m.year = static_cast<int>(st->Int(2));
    m.sizeBytes = static_cast<uint64_t>(st->Int(3));
    m.description = st->Text(4);
    m.fetchMethod = st->Int(5) == 5 ? FetchMethod::kDownloadManagerOnly : FetchMethod::kBitTorrent;
    m.fileName = st->Text(6);
    m.hasContent = st->Int(7) != 0;
    m.infoHash = st->Text(8);
    m.sourcePath = st->Text(9);
    m.mtimeNs = st->Int(10);
    m.contentKey = st->Text(11);
    m.posterPath = st->Text(12);
    m.durationSeconds = static_cast<int>(st->Int(13));
    const int64_t withdrawn = st->Int(14);
    m.withdrawal = withdrawn == 1   ? Withdrawal::kFileGone
                   : withdrawn == 2 ? Withdrawal::kRetired
                                    : Withdrawal::kNone;
    m.container = st->Text(15);
    movies.push_back(std::move(m));
  }
  auto kinds = c->Prepare("SELECT movie_id, kind FROM movie_kinds ORDER BY movie_id, kind");
  size_t at = 0;
  while (kinds->Step()) {
    uint32_t id = static_cast<uint32_t>(kinds->Int(0));
    while (at < movies.size() && movies[at].id < id) ++at;
    if (at < movies.size() && movies[at].id == id) {
      movies[at].kinds.push_back(static_cast<int>(kinds->Int(1)));
    }
  }
  return movies;
}

void Store::SaveRating(const RatingRecord& r) {
  auto c = db_->Acquire();
  auto st = c->Prepare(
      "INSERT INTO ratings(user_id, movie_id, score, recommend_all, comment, rated_at) "
      "VALUES(?, ?, ?, ?, ?, ?) ON CONFLICT(user_id, movie_id) DO UPDATE SET "
      "score = excluded.score, recommend_all = excluded.recommend_all, "
      "comment = excluded.comment, rated_at = excluded.rated_at");
  st->Bind(1, r.userId)
      .Bind(2, int64_t{r.movieId})
      .Bind(3, int64_t{r.score})
      .Bind(4, int64_t{r.recommendAll ? 1 : 0})
      .BindText(5, r.comment)
      .Bind(6, r.ratedAt ? r.ratedAt : Now());
  st->Step();
}

namespace {
constexpr const char* kRatingColumns =
    "SELECT user_id, movie_id, score, recommend_all, comment, rated_at FROM ratings ";

std::vector<RatingRecord> ReadRatings(SqlStatement& st) {
  std::vector<RatingRecord> out;
  while (st.Step()) {
    out.push_back({st.Int(0), static_cast<uint32_t>(st.Int(1)), static_cast<int>(st.Int(2)),
                   st.Int(3) != 0, st.Text(4), st.Int(5)});
  }
  return out;
}
}  // namespace

std::vector<RatingRecord> Store::AllRatings() {
  auto c = db_->Acquire();
  auto st = c->Prepare(std::string(kRatingColumns) + "ORDER BY user_id, movie_id");
  return ReadRatings(*st);
}

std::vector<RatingRecord> Store::RatingsOfMovie(uint32_t movieId, int limit) {
  auto c = db_->Acquire();
  auto st = c->Prepare(std::string(kRatingColumns) +
                       "WHERE movie_id = ? ORDER BY rated_at DESC, user_id LIMIT ?");
  st->Bind(1, int64_t{movieId}).Bind(2, int64_t{limit});
  return ReadRatings(*st);
}

std::vector<RatingRecord> Store::RatingsSince(int64_t ratedAt) {
  auto c = db_->Acquire();
  auto st = c->Prepare(std::string(kRatingColumns) + "WHERE rated_at >= ? ORDER BY rated_at");
  st->Bind(1, ratedAt);
  return ReadRatings(*st);
}

std::vector<RatingRecord> Store::RatingsOfUser(int64_t userId) {
  auto c = db_->Acquire();
  auto st = c->Prepare(std::string(kRatingColumns) + "WHERE user_id = ? ORDER BY movie_id");
  st->Bind(1, userId);
  return ReadRatings(*st);
}

std::vector<RatingRecord> Store::RecommendationsFor(int64_t userId, int limit) {
  auto c = db_->Acquire();
  auto st = c->Prepare(
      "SELECT r.user_id, r.movie_id, r.score, r.recommend_all, r.comment, r.rated_at "
      "FROM ratings r JOIN follows f ON f.followee = r.user_id "
      "WHERE f.follower = ? AND r.score >= 4 "
      "ORDER BY r.rated_at DESC, r.movie_id LIMIT ?");
  st->Bind(1, userId).Bind(2, int64_t{limit});
  return ReadRatings(*st);
}

std::vector<PushRecord> Store::Pushes(int64_t userId) {
  auto c = db_->Acquire();
  auto st = c->Prepare(
      "SELECT user_id, movie_id, expect_eval, delivered, from_user, reason, dismissed FROM pushes "
      "WHERE user_id = ? ORDER BY pushed_at, movie_id");
  st->Bind(1, userId);
  std::vector<PushRecord> out;
  while (st->Step()) {
    out.push_back({st->Int(0), static_cast<uint32_t>(st->Int(1)), st->Real(2), st->Int(3) != 0,
                   st->Int(4), st->Text(5), st->Int(6) != 0});
  }
  return out;
}

std::vector<uint32_t> Store::RecordDelivery(int64_t userId, const std::vector<PushRecord>& fresh,
                                            const std::vector<uint32_t>& pendingDelivered) {
  return db_->Transaction([&](SqlConnection& c) {
    std::vector<uint32_t> delivered;
    auto ins = c.Prepare(
        "INSERT INTO pushes(user_id, movie_id, expect_eval, delivered, from_user, pushed_at, "
        "reason) VALUES(?, ?, ?, 1, ?, ?, ?) ON CONFLICT DO NOTHING");
    for (const PushRecord& p : fresh) {
      ins->Bind(1, userId).Bind(2, int64_t{p.movieId}).Bind(3, p.expectEval).Bind(4, p.fromUser);
      ins->Bind(5, Now()).BindText(6, p.reason);
      ins->Step();
      if (ins->Changes() == 1) delivered.push_back(p.movieId);
      ins->Reset();
    }
    // Taken only while still pending, so two processes never deliver one push twice.
    auto upd = c.Prepare(
        "UPDATE pushes SET delivered = 1 WHERE user_id = ? AND movie_id = ? AND delivered = 0");
    for (uint32_t movie : pendingDelivered) {
      upd->Bind(1, userId).Bind(2, int64_t{movie});
      upd->Step();
      if (upd->Changes() == 1) delivered.push_back(movie);
      upd->Reset();
    }
    return delivered;
  });
}

bool Store::AddPendingPush(const PushRecord& p) {
  auto c = db_->Acquire();
  auto st = c->Prepare(
      "INSERT INTO pushes(user_id, movie_id, expect_eval, delivered, from_user, pushed_at, reason) "
      "VALUES(?, ?, ?, 0, ?, ?, ?) ON CONFLICT DO NOTHING");
  st->Bind(1, p.userId).Bind(2, int64_t{p.movieId}).Bind(3, p.expectEval).Bind(4, p.fromUser);
  st->Bind(5, Now()).BindText(6, p.reason);
  st->Step();
  return st->Changes() == 1;
}

bool Store::Dismiss(int64_t userId, uint32_t movieId) {
  auto c = db_->Acquire();
  auto st = c->Prepare("UPDATE pushes SET dismissed = 1 WHERE user_id = ? AND movie_id = ?");
  st->Bind(1, userId).Bind(2, int64_t{movieId});
  st->Step();
  return st->Changes() == 1;
}

std::vector<std::pair<int64_t, uint32_t>> Store::AllDismissals() {
  auto c = db_->Acquire();
  auto st = c->Prepare("SELECT user_id, movie_id FROM pushes WHERE dismissed = 1");
  std::vector<std::pair<int64_t, uint32_t>> out;
  while (st->Step()) out.emplace_back(st->Int(0), static_cast<uint32_t>(st->Int(1)));
  return out;
}

void Store::Follow(int64_t follower, int64_t followee) {
  auto c = db_->Acquire();
  c->Prepare(
       "INSERT INTO follows(follower, followee, created) VALUES(?, ?, ?) ON CONFLICT DO NOTHING")
      ->Bind(1, follower)
      .Bind(2, followee)
      .Bind(3, Now())
      .Step();
}

void Store::Unfollow(int64_t follower, int64_t followee) {
  auto c = db_->Acquire();
  c->Prepare("DELETE FROM follows WHERE follower = ? AND followee = ?")
      ->Bind(1, follower)
      .Bind(2, followee)
      .Step();
}

namespace {
std::vector<int64_t> ReadIds(SqlStatement& st) {
  std::vector<int64_t> out;
  while (st.Step()) out.push_back(st.Int(0));
  return out;
}
}  // namespace

std::vector<int64_t> Store::Followers(int64_t userId) {
  auto c = db_->Acquire();
  auto st = c->Prepare("SELECT follower FROM follows WHERE followee = ? ORDER BY follower");
  st->Bind(1, userId);
  return ReadIds(*st);
}

std::vector<int64_t> Store::Followees(int64_t userId) {
  auto c = db_->Acquire();
  auto st = c->Prepare("SELECT followee FROM follows WHERE follower = ? ORDER BY followee");
  st->Bind(1, userId);
  return ReadIds(*st);
}

}  // namespace zenu
