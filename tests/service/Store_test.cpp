#include "Store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>

namespace zenu::test {
namespace {

// A store written before library films existed opens, keeps its movies and takes new ones.
TEST(StoreTest, AnOlderStoreIsBroughtForwardAtOpen) {
  char pattern[] = "/tmp/zenu-store-test-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string path = std::string(pattern) + "/zenu.db";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "CREATE TABLE movies(id INTEGER PRIMARY KEY, title TEXT NOT NULL, year "
                         "INTEGER, size_bytes INTEGER, description TEXT, fetch_method INTEGER, "
                         "file_name TEXT, has_content INTEGER, info_hash TEXT);"
                         "INSERT INTO movies VALUES(7, '龙城追凶', 2001, 5000, 'd', 1, "
                         "'movie_00007.rmvb', 1, 'ab');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  {
    Store store(path);
    std::vector<Movie> movies = store.LoadMovies();
    ASSERT_EQ(movies.size(), 1u);
    EXPECT_EQ(movies[0].title, "龙城追凶");
    EXPECT_TRUE(movies[0].sourcePath.empty());
    EXPECT_TRUE(movies[0].Available());
    Movie film;
    film.id = store.MaxMovieId() + 1;
    film.title = "Heat";
    film.sourcePath = "/films/Heat (1995).mkv";
    film.contentKey = "k";
    film.kinds = {1, 11};
    film.container = "matroska,webm";
    store.ApplyScan({film}, {{film.sourcePath, 10, 20, "k", film.id}});
    EXPECT_TRUE(store.SetWithdrawal(7, Withdrawal::kRetired));
    EXPECT_FALSE(store.SetWithdrawal(99, Withdrawal::kRetired));
    ASSERT_TRUE(store.AddUser("reader", "0123456789abcdef0123456789abcdef", 172));
    ASSERT_TRUE(store.AddUser("idle", "0123456789abcdef0123456789abcdef", 172));
    store.NoteRequest(store.FindUser("reader")->id);
  }
  Store again(path);  // opening twice runs no step twice
  std::vector<Movie> movies = again.LoadMovies();
  ASSERT_EQ(movies.size(), 2u);
  EXPECT_EQ(movies[0].withdrawal, Withdrawal::kRetired);
  EXPECT_EQ(movies[1].id, 8u);
  EXPECT_EQ(movies[1].sourcePath, "/films/Heat (1995).mkv");
  EXPECT_EQ(movies[1].kinds, (std::vector<int>{1, 11}));
  EXPECT_EQ(movies[1].container, "matroska,webm");
  std::vector<UserListRow> users = again.UserList();
  ASSERT_EQ(users.size(), 2u);
  EXPECT_GE(users[0].lastRequest, users[0].created);
  EXPECT_GT(users[0].lastRequest, 0);
  EXPECT_EQ(users[1].lastRequest, 0);
  ASSERT_EQ(again.LibraryFiles().size(), 1u);
  EXPECT_EQ(again.LibraryFiles()[0].mtimeNs, 20);
  std::filesystem::remove_all(pattern);
}

}  // namespace
}  // namespace zenu::test
