#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Movie.h"

struct sqlite3;
struct sqlite3_stmt;

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
};

// One SQLite file in WAL mode behind one connection; every call takes the lock, so the HTTP
// thread pool can share the object.
class Store final {
 public:
  explicit Store(const std::string& path);  // throws std::runtime_error
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

  void SaveRating(const RatingRecord& rating);
  std::vector<RatingRecord> AllRatings();
  std::vector<RatingRecord> RatingsOfMovie(uint32_t movieId, int limit);
  std::vector<RatingRecord> RatingsOfUser(int64_t userId);

  std::vector<PushRecord> Pushes(int64_t userId);
  // Inserts the given pushes and marks the listed pending ones delivered, atomically.
  void RecordDelivery(int64_t userId, const std::vector<PushRecord>& fresh,
                      const std::vector<uint32_t>& pendingDelivered);
  // A push waiting for the user's next task request; false when the movie was pushed before.
  bool AddPendingPush(const PushRecord& push);

  void Follow(int64_t follower, int64_t followee);
  void Unfollow(int64_t follower, int64_t followee);
  std::vector<int64_t> Followers(int64_t userId);
  std::vector<int64_t> Followees(int64_t userId);
  // Ratings of 4 or 5 by the users that `userId` follows, newest first.
  std::vector<RatingRecord> RecommendationsFor(int64_t userId, int limit);

 private:
  class Statement;
  void Exec(const char* sql);
  void CreateSchema();
  void Migrate();
  void WriteMovies(const std::vector<Movie>& movies);
  static std::vector<RatingRecord> ReadRatings(Statement& st);

  std::mutex mutex_;
  sqlite3* db_ = nullptr;
};

}  // namespace zenu
