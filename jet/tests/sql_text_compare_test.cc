// Text compared by value: without regard to case or to trailing blanks, in
// every operator and clause that compares values, while LIKE matches every
// character.
#include "jet/sql/value_ops.h"
#include "sql_test_util.h"

namespace jet::sql::test {
namespace {

TEST(SqlTextCompare, TrailingBlanksDoNotCount) {
  TestDb t("trailing_blanks");
  t.exec("CREATE TABLE TS (id COUNTER, s TEXT(20))");
  t.exec("CREATE TABLE One (x LONG)");
  t.exec("INSERT INTO One VALUES (1)");
  for (const char* s : {"abc", "abc ", "ABC  ", "abd"}) t.exec(std::string("INSERT INTO TS (s) VALUES ('") + s + "')");
  struct C {
    const char* sql;
    Rows expect;
  } cases[] = {
      {"SELECT COUNT(*) FROM TS WHERE s = 'abc'", {{"3"}}},
      {"SELECT COUNT(*) FROM TS WHERE s LIKE 'abc'", {{"1"}}},
      {"SELECT COUNT(*) FROM TS WHERE s IN (SELECT s FROM TS WHERE id = 1)", {{"3"}}},
      {"SELECT s, COUNT(*) FROM TS GROUP BY s", {{"abc", "3"}, {"abd", "1"}}},
      {"SELECT DISTINCT s FROM TS", {{"abc"}, {"abd"}}},
      {"SELECT iif('a ' = 'a', 1, 0) FROM One", {{"1"}}},
      // The blanks may be on either side, and the other operators agree.
      {"SELECT COUNT(*) FROM TS WHERE s = 'ABC   '", {{"3"}}},
      {"SELECT COUNT(*) FROM TS WHERE s <> 'abc'", {{"1"}}},
      {"SELECT COUNT(*) FROM TS WHERE s < 'abc'", {{"0"}}},
      {"SELECT COUNT(*) FROM TS WHERE s <= 'abc'", {{"3"}}},
      {"SELECT COUNT(*) FROM TS WHERE s > 'abc '", {{"1"}}},
      {"SELECT COUNT(*) FROM TS WHERE s >= 'abc'", {{"4"}}},
      {"SELECT COUNT(*) FROM TS WHERE s BETWEEN 'abc ' AND 'abc'", {{"3"}}},
      {"SELECT COUNT(*) FROM TS WHERE s IN ('x', 'abc ')", {{"3"}}},
      {"SELECT COUNT(*) FROM TS AS a INNER JOIN TS AS b ON a.s = b.s", {{"10"}}},
      {"SELECT Min(s), Max(s) FROM TS WHERE s <> 'abd'", {{"abc", "abc"}}},
      {"SELECT s FROM TS WHERE id = 2 UNION SELECT s FROM TS WHERE id = 1", {{"abc "}}},
      {"SELECT id FROM TS ORDER BY s DESC, id DESC", {{"4"}, {"3"}, {"2"}, {"1"}}},
      // LIKE compares every character: the blank is wanted or not.
      {"SELECT id FROM TS WHERE s LIKE 'abc ' OR s LIKE 'ABC*'", {{"1"}, {"2"}, {"3"}}},
      {"SELECT id FROM TS WHERE s LIKE 'abc '", {{"2"}}},
      // Only blanks and NUL characters at the end are left out: a TAB, a
      // no-break space or a leading blank count.
      {"SELECT COUNT(*) FROM TS WHERE s = 'abc' & Chr(0)", {{"3"}}},
      {"SELECT COUNT(*) FROM TS WHERE s = 'abc' & Chr(9)", {{"0"}}},
      {"SELECT COUNT(*) FROM TS WHERE s = 'abc' & Chr(160)", {{"0"}}},
      {"SELECT COUNT(*) FROM TS WHERE s = ' abc'", {{"0"}}},
      {"SELECT COUNT(*) FROM TS WHERE 'abc' & Chr(0) & 'd' = 'abcd'", {{"0"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(t.rows(c.sql), c.expect) << c.sql;
  // A parameter compared with the column goes through the engine's hash
  // lookup on that column; it finds the same rows as the scan.
  EXPECT_EQ(t.rows("SELECT COUNT(*) FROM TS WHERE s = :P1", {Value::text("ABC")}), (Rows{{"3"}}));
  EXPECT_EQ(t.rows("SELECT COUNT(*) FROM TS WHERE s = :P1", {Value::text("abd  ")}), (Rows{{"1"}}));
  // Two constants that compare equal are still two expressions: the first
  // is not the grouped one.
  EXPECT_EQ(t.rows("SELECT s & 'x' FROM TS WHERE id = 4 GROUP BY s & 'x'"), (Rows{{"abdx"}}));
  EXPECT_NE(t.error("SELECT s & 'x ' FROM TS GROUP BY s & 'X'"), "(no error)");
}

// The values a text index holds are found by their lookups: the General
// sort order key leaves trailing blanks (and NUL characters) out, so a
// unique index holds one of 'abc' and 'abc ', but keeps 'abc' and 'abc'+TAB.
TEST(SqlTextCompare, IndexKeysAgree) {
  TestDb t("trailing_blanks_index");
  t.exec("CREATE TABLE U (id COUNTER, s TEXT(20), CONSTRAINT PK PRIMARY KEY (id))");
  t.exec("CREATE UNIQUE INDEX us ON U (s)");
  t.exec("INSERT INTO U (s) VALUES ('abc ')");
  t.exec("INSERT INTO U (s) VALUES ('abc' & Chr(9))");
  t.exec("INSERT INTO U (s) VALUES ('abc' & Chr(160))");
  EXPECT_NE(t.error("INSERT INTO U (s) VALUES ('ABC')"), "(no error)");
  EXPECT_NE(t.error("INSERT INTO U (s) VALUES ('abc' & Chr(0))"), "(no error)");
  EXPECT_EQ(t.rows("SELECT id FROM U WHERE s = 'abc'"), (Rows{{"1"}}));
  EXPECT_EQ(t.rows("SELECT id FROM U WHERE s = :P1", {Value::text("abc" "\t")}), (Rows{{"2"}}));
  EXPECT_EQ(t.rows("SELECT COUNT(*) FROM U WHERE s = :P1", {Value::text("abc")}), (Rows{{"1"}}));
}

TEST(SqlTextCompare, KeysFollowComparison) {
  struct C {
    std::string a, b;
    bool equal;
  } cases[] = {
      {"abc", "ABC  ", true},        {"ação", "AÇÃO ", true}, {"x", std::string("x \0 ", 4), true},
      {"", "   ", true},             {"abc", "abc\t", false}, {"abc", "abc\xc2\xa0", false},
      {"abc", " abc", false},        {"a b", "ab", false},
  };
  for (const auto& c : cases) {
    std::string ka, kb;
    appendKey(ka, Value::text(c.a));
    appendKey(kb, Value::text(c.b));
    EXPECT_EQ(ka == kb, c.equal) << c.a << "|" << c.b;
    EXPECT_EQ(compareText(c.a, c.b) == 0, c.equal) << c.a << "|" << c.b;
    KeySet set;
    set.insert(Value::text(c.a));
    EXPECT_EQ(set.contains(Value::text(c.b)), c.equal) << c.a << "|" << c.b;
  }
  // Order: the shorter text is a prefix once the blanks are gone.
  EXPECT_LT(compareText("ab ", "abc"), 0);
  EXPECT_LT(compareText("abc  ", "abc!"), 0);
}

}  // namespace
}  // namespace jet::sql::test
