// Cursors: ORDER BY through an index returns what the sort returns, counting
// without building rows, and what a cursor sees when statements change its
// tables while it is open.
#include <algorithm>
#include <set>

#include "jet/storage/check.h"
#include "sql_test_util.h"

namespace jet::sql::test {
namespace {

// 3000 rows over many pages (a long text in each), with Nulls and repeated
// keys in the indexed columns, holes left by deletes and rows moved by
// updates that grow them.
class CursorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t_.exec("CREATE TABLE D (n LONG)");
    for (int i = 0; i < 10; ++i) t_.exec("INSERT INTO D (n) VALUES (" + std::to_string(i) + ")");
    t_.exec("CREATE TABLE R (id COUNTER, k LONG, d DATETIME, t TEXT(200), PRIMARY KEY (id))");
    t_.exec("CREATE INDEX ixK ON R (k)");
    t_.exec("CREATE INDEX ixD ON R (d)");
    const std::string n = "(a.n * 100 + b.n * 10 + c.n)";
    for (int round = 0; round < 3; ++round)
      t_.exec("INSERT INTO R (k, d, t) SELECT iif(" + n + " mod 13 = 0, Null, (" + n + " * 7 + " +
              std::to_string(round) + ") mod 50), iif(" + n + " mod 17 = 0, Null, #1/1/2020# + " + n +
              " mod 37), '" + std::string(90, 'x') + "' FROM D AS a, D AS b, D AS c");
    t_.exec("DELETE FROM R WHERE id mod 11 = 0");
    t_.exec("UPDATE R SET t = t & t WHERE id mod 7 = 0");
  }

  std::vector<int32_t> ids(Cursor& c) {
    std::vector<int32_t> out;
    while (c.next()) out.push_back(c.row()[0].as<int32_t>());
    return out;
  }
  std::vector<int32_t> ids(const std::string& sql) { return ids(*t_.engine->query(sql)); }

  TestDb t_{"cursor"};
};

TEST_F(CursorTest, OrderByAnIndexedColumnReturnsTheRowsOfTheSort) {
  // The second statement of each pair sorts (an expression is no index
  // column); the first may walk the index. Ties keep the scan's order.
  const std::vector<std::pair<std::string, std::string>> pairs = {
      {"SELECT id FROM R ORDER BY k", "SELECT id FROM R ORDER BY k + 0"},
      {"SELECT id FROM R ORDER BY k DESC", "SELECT id FROM R ORDER BY k + 0 DESC"},
      {"SELECT id FROM R ORDER BY d", "SELECT id FROM R ORDER BY d + 0"},
      {"SELECT id FROM R ORDER BY d DESC", "SELECT id FROM R ORDER BY d + 0 DESC"},
      {"SELECT id FROM R WHERE id mod 3 = 1 AND k > 10 ORDER BY d DESC",
       "SELECT id FROM R WHERE id mod 3 = 1 AND k > 10 ORDER BY d + 0 DESC"},
      {"SELECT id FROM R ORDER BY id DESC", "SELECT id FROM R ORDER BY id + 0 DESC"},
      {"SELECT R.id FROM R ORDER BY R.id", "SELECT id FROM R ORDER BY id + 0"},
  };
  for (const auto& [walk, sort] : pairs) {
    std::vector<int32_t> want = ids(sort);
    ASSERT_GT(want.size(), 100u) << sort;
    EXPECT_EQ(ids(walk), want) << walk;
  }
  // Every column of every row, not just the key.
  EXPECT_EQ(t_.rows("SELECT * FROM R ORDER BY d DESC"), t_.rows("SELECT * FROM R ORDER BY d + 0 DESC"));
}

TEST_F(CursorTest, CountReadsTheRestWithoutTheRows) {
  for (const char* sql : {
           "SELECT * FROM R",
           "SELECT t FROM R WHERE k > 20",
           "SELECT * FROM R ORDER BY t, id",
           "SELECT * FROM R WHERE k < 5 ORDER BY d DESC",
           "SELECT DISTINCT k FROM R",
           "SELECT k, Count(*) FROM R GROUP BY k",
           "SELECT TOP 7 id FROM R",
           "SELECT TOP 7 id FROM R ORDER BY k",
           "SELECT k FROM R WHERE id < 100 UNION SELECT k FROM R WHERE id > 2900",
           "SELECT k FROM R WHERE id < 100 UNION ALL SELECT n FROM D",
           "SELECT R.id FROM R INNER JOIN D ON R.k = D.n",
       }) {
    const int64_t all = static_cast<int64_t>(t_.exec(sql).rows.size());
    EXPECT_EQ(t_.engine->query(sql)->count(), all) << sql;
    auto c = t_.engine->query(sql);
    int read = 0;
    while (read < 3 && c->next()) ++read;
    EXPECT_EQ(c->count(), all - read) << sql;
    EXPECT_FALSE(c->next()) << sql;
  }
}

// While a cursor is open, other statements update, delete and insert rows
// of its table. Whatever the plan, the cursor goes on without failing:
// the rows it reads afterwards are read as they stand (updated values, no
// deleted row), no row comes twice, and the file stays sound.
TEST_F(CursorTest, SeesEachRowAsItStandsWhenItReachesIt) {
  for (const char* sql : {
           "SELECT id, k FROM R",                 // scan
           "SELECT id, k FROM R WHERE k >= 0",    // scan with a condition
           "SELECT id, k FROM R ORDER BY d DESC", // index walk
           "SELECT id, k FROM R ORDER BY t, id",  // sort
       }) {
    SCOPED_TRACE(sql);
    t_.exec("UPDATE R SET k = id mod 50");
    std::set<int32_t> before;
    for (int32_t id : ids("SELECT id FROM R")) before.insert(id);
    auto c = t_.engine->query(sql);
    std::set<int32_t> seen;
    for (int i = 0; i < 40; ++i) {
      ASSERT_TRUE(c->next());
      EXPECT_TRUE(seen.insert(c->row()[0].as<int32_t>()).second);
    }
    t_.exec("UPDATE R SET k = 1000 + id, t = t & 'yy' WHERE id mod 2 = 1");
    t_.exec("DELETE FROM R WHERE id mod 4 = 0");
    t_.exec("INSERT INTO R (k, d, t) SELECT 5000 + n, Null, 'novo' FROM D");
    size_t after = 0;
    while (c->next()) {
      int32_t id = c->row()[0].as<int32_t>();
      EXPECT_TRUE(seen.insert(id).second) << id;
      if (!before.count(id)) continue;  // an inserted row: it may or may not come
      ++after;
      EXPECT_NE(id % 4, 0) << "deleted row " << id;
      if (id % 2 == 1) EXPECT_EQ(c->row()[1].as<int32_t>(), 1000 + id);
      else EXPECT_EQ(c->row()[1].as<int32_t>(), id % 50);
    }
    EXPECT_GT(after, 1000u);
    EXPECT_EQ(checkDatabase(*t_.db), std::vector<std::string>{});
  }
}

TEST_F(CursorTest, SurvivesTheTableChangingShapeOrGoing) {
  auto scan = t_.engine->query("SELECT * FROM R");
  auto sorted = t_.engine->query("SELECT * FROM R ORDER BY k");
  ASSERT_TRUE(scan->next());
  ASSERT_TRUE(sorted->next());
  t_.exec("ALTER TABLE R ADD COLUMN z LONG");
  t_.exec("UPDATE R SET z = 1");
  int n = 0;
  while (scan->next()) ++n;
  EXPECT_GT(n, 2000);
  EXPECT_TRUE(sorted->next());
  t_.exec("DROP TABLE R");
  // The rows of a dropped table are gone: the cursor ends (or fails with the
  // engine's error), it never reads freed pages as rows.
  try {
    while (sorted->next()) {
    }
  } catch (const Error&) {
  }
  EXPECT_EQ(checkDatabase(*t_.db), std::vector<std::string>{});
}

}  // namespace
}  // namespace jet::sql::test
