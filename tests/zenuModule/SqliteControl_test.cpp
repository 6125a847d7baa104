#include "zenuModule/src/SqliteControl.h"

#include <gtest/gtest.h>

#include "tests/support/TempHome.h"

TEST(SqliteControl, QueryExecuteSplitAndRows) {
  CTempHome home;
  CIntfSqliteControl db;
  ASSERT_TRUE(db.Connect(home.Path() + "db.dat"));
  CSqlRows rows;
  ASSERT_TRUE(db.Execute("create table t (a integer, b text, c real)", &rows));
  ASSERT_TRUE(db.Execute("insert into t values (1, 'x', 12.5); insert into t values (2, NULL, 3)",
                         nullptr));
  EXPECT_TRUE(rows.empty());

  ASSERT_TRUE(db.Execute(" \r\n select a, b, c from t order by a \n", &rows));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<CString>{"1", "x", "12.5"}));
  EXPECT_EQ(rows[1], (std::vector<CString>{"2", "", "3.0"}));

  // Rows are appended, never replaced.
  ASSERT_TRUE(db.Execute("select a from t where a = 2", &rows));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2], std::vector<CString>{"2"});
  ASSERT_TRUE(db.Execute("select a from t where a = 99", &rows));
  EXPECT_EQ(rows.size(), 3u);

  // Anything not starting with lower-case "select" is executed: no rows.
  CSqlRows none;
  EXPECT_TRUE(db.Execute("SELECT a FROM t", &none));
  EXPECT_TRUE(none.empty());

  EXPECT_FALSE(db.Execute("select a from nowhere", &rows));
  EXPECT_EQ(rows.size(), 3u);
  EXPECT_FALSE(db.Execute("insert into nowhere values (1)", nullptr));
  const CString trace = home.TraceLog();
  EXPECT_NE(trace.find("sqlite查询失败: no such table: nowhere\n Sql:select a from nowhere"),
            CString::npos)
      << trace;
  EXPECT_NE(trace.find("sqlite处理失败: no such table: nowhere\n Sql:insert into nowhere values (1)"),
            CString::npos);
  EXPECT_EQ(db.Close(), 0);
}

TEST(SqliteControl, OpeningInAMissingFolderFails) {
  CTempHome home;
  CIntfSqliteControl db;
  EXPECT_FALSE(db.Connect(home.Path() + "missing/db.dat"));
  EXPECT_NE(home.TraceLog().find("sqlite无法打开数据库: unable to open database file"),
            CString::npos);
  db.Close();
}
