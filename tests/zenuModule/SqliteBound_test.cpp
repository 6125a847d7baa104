#include <gtest/gtest.h>

#include "tests/support/TempHome.h"
#include "zenuModule/src/SqliteControl.h"

TEST(SqliteControl, BoundValuesAreStoredExactlyAndNeverReadAsSql) {
  CTempHome home;
  CIntfSqliteControl db;
  ASSERT_TRUE(db.Connect(home.Path() + "db.dat"));
  ASSERT_TRUE(db.Execute("create table t (a integer, b text, c real, d integer)", nullptr));
  const CString hostile = "x', 1, 2); drop table t; --\"\\\x01";
  const CString withNul("a\0b", 3);
  ASSERT_TRUE(db.ExecuteBound("insert into t values (?, ?, ?, ?)",
                              {SSqlParam::Int(1), SSqlParam::Text(hostile), SSqlParam::Real(0.5),
                               SSqlParam::Null()}));
  ASSERT_TRUE(db.ExecuteBound("insert into t values (?, ?, ?, ?)",
                              {SSqlParam::Int(4000000000LL), SSqlParam::Text(withNul),
                               SSqlParam::Real(700.0), SSqlParam::Real(12.0)}));
  CSqlRows rows;
  ASSERT_TRUE(db.Execute("select a, b, c, d from t order by a", &rows));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<CString>{"1", hostile, "0.5", ""}));
  EXPECT_EQ(rows[1][0], "4000000000");
  EXPECT_EQ(rows[1][3], "12");  // integer affinity keeps a whole real as an integer

  // Queries with bound values append their rows, texts byte for byte.
  CSqlRows found;
  ASSERT_TRUE(db.ExecuteBound(" select b from t where a = ?", {SSqlParam::Int(4000000000LL)},
                              &found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0][0], withNul);

  EXPECT_FALSE(db.ExecuteBound("insert into nowhere values (?)", {SSqlParam::Int(1)}));
  EXPECT_FALSE(db.ExecuteBound("select x from nowhere where a = ?", {SSqlParam::Int(1)}, &found));
  EXPECT_EQ(found.size(), 1u);
  const CString trace = home.TraceLog();
  EXPECT_NE(trace.find("sqlite处理失败: no such table: nowhere\n Sql:insert into nowhere values (?)"),
            CString::npos)
      << trace;
  EXPECT_NE(trace.find("sqlite查询失败: no such table: nowhere\n Sql:select x from nowhere"),
            CString::npos);
  EXPECT_EQ(db.Close(), 0);
}
