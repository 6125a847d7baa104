#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Movie.h"
#include "SqlDatabase.h"

namespace zenu {

struct UserRecord final {
  int64_t id = 0;
  std::string name;  // bytes as the client sent them (GBK)
  std::string md5;
  int pushMethod = 0;  // 1 by rating, 2 by movie kind; 0 not chosen yet (pushes by rating)
};

struct RatingRecord final {
  int64_t userId = 0;
  uint32_t movieId = 0;
  int score = 0;
  bool recommendAll = false;
  std::string comment;  // UTF-8
  int64_t ratedAt = 0;
};

struct PushRecord final {
  int64_t userId = 0;
  uint32_t movieId = 0;
  double expectEval = 0;
  bool delivered = false;
  int64_t fromUser = 0;  // the friend behind a recommendation, else 0
  std::string reason;    // UTF-8, shown to the user as why the movie came
  bool dismissed = false;
};

// What a library file hashed to when it had this size and modification time: a later scan
// that finds them unchanged reuses the torrent instead of reading the file again.
struct LibraryFileRecord final {
  std::string path;
  uint64_t size = 0;
  int64_t mtimeNs = 0;
  std::string contentKey;
  uint32_t movieId = 0;  // the movie it is, or duplicates
};

struct UserListRow final {
  UserRecord user;
  int64_t created = 0;
  int ratings = 0;
  int pushes = 0;
  int64_t lastRequest = 0;  // seconds since 1970 of the last task request; 0: none yet
};

// The service's state in SQLite (a file in WAL mode) or PostgreSQL, through a pool of
// connections, so the HTTP threads share the object and requests run in parallel. Several
// service processes may share one PostgreSQL database: every rule that must hold across
// them (one account a name, one push a movie and user) is a constraint of the database.
class Store final {
 public:
  // A SQLite file's path or a PostgreSQL URL; brings the schema up to date.
  // Throws std::runtime_error.
  explicit Store(const std::string& target, int connections = 8);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // False when the name is taken.
  bool AddUser(const std::string& name, const std::string& md5, int version);
  std::optional<UserRecord> FindUser(const std::string& name);
  std::optional<UserRecord> FindUserById(int64_t id);
  // Names containing `part` (byte-wise), ordered by name.
  std::vector<UserRecord> FindUsersContaining(const std::string& part, int limit);
  void SetPushMethod(int64_t userId, int method);
  // Records now as the time of the user's last task request.
  void NoteRequest(int64_t userId);
  void SetKinds(int64_t userId, const std::vector<int>& kinds);
  std::vector<int> Kinds(int64_t userId);

  bool HasMovies();
  void AddMovies(const std::vector<Movie>& movies);
  std::vector<Movie> LoadMovies();
  uint32_t MaxMovieId();
  // One scan's outcome in one transaction: the movies it added or changed (kinds replaced)
  // and the whole new table of library files.
  void ApplyScan(const std::vector<Movie>& movies, const std::vector<LibraryFileRecord>& files);
  std::vector<LibraryFileRecord> LibraryFiles();
  // False when there is no such movie.
  bool SetWithdrawal(uint32_t movieId, Withdrawal withdrawal);
  std::vector<UserListRow> UserList();
  // Moves whenever the movies change, so that every process reloads its catalogue.
  int64_t CatalogueGeneration();
  // Library scans of service processes sharing one database take turns: runs `work` and
  // returns true, or returns false at once while another process scans.
  bool InScanTurn(const std::function<void()>& work);

  void SaveRating(const RatingRecord& rating);
  std::vector<RatingRecord> AllRatings();
  std::vector<RatingRecord> RatingsOfMovie(uint32_t movieId, int limit);
  std::vector<RatingRecord> RatingsOfUser(int64_t userId);
  // Ratings stored (by any process) at or after the time.
  std::vector<RatingRecord> RatingsSince(int64_t ratedAt);

  std::vector<PushRecord> Pushes(int64_t userId);
  // Inserts the given pushes and marks the listed pending ones delivered, atomically; returns
  // the movies this call delivered (another process may have been first with the others).
  std::vector<uint32_t> RecordDelivery(int64_t userId, const std::vector<PushRecord>& fresh,
                                       const std::vector<uint32_t>& pendingDelivered);
  // A push waiting for the user's next task request; false when the movie was pushed before.
  bool AddPendingPush(const PushRecord& push);
  // "Not interested" in a pushed movie; false when the movie was never pushed to the user.
  bool Dismiss(int64_t userId, uint32_t movieId);
  // Every dismissal as (user, movie), to feed the model at start.
  std::vector<std::pair<int64_t, uint32_t>> AllDismissals();

  void Follow(int64_t follower, int64_t followee);
  void Unfollow(int64_t follower, int64_t followee);
  std::vector<int64_t> Followers(int64_t userId);
  std::vector<int64_t> Followees(int64_t userId);
  // Ratings of 4 or 5 by the users that `userId` follows, newest first.
  std::vector<RatingRecord> RecommendationsFor(int64_t userId, int limit);

  // Applies the schema steps the database lacks; returns the version it is at.
  int Migrate();
  int SchemaVersion();
  static int LatestSchemaVersion();
  SqlDatabase& Database() { return *db_; }

 private:
  static void WriteMovies(SqlConnection& c, const std::vector<Movie>& movies);

  std::unique_ptr<SqlDatabase> db_;
};

}  // namespace zenu
