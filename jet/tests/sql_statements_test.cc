// Statements of the SQL engine on a small database: DDL, DML, joins,
// grouping, subqueries, atomicity and error messages.
#include "sql_test_util.h"

namespace jet::sql::test {
namespace {

TEST(SqlStatements, Smoke) {
  TestDb t("smoke");
  t.exec("CREATE TABLE T (id COUNTER, nome TEXT(20), valor CURRENCY, d DATETIME, CONSTRAINT PK PRIMARY KEY (id))");
  t.exec("INSERT INTO T (nome, valor, d) VALUES ('natação', 10.5, #14/07/2004#)");
  t.exec("INSERT INTO T (nome, valor, d) VALUES (\"ACAO\", '1.234,56', \"23:59:00\")");
  auto r = t.rows("SELECT id, nome, valor, d FROM T ORDER BY id");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0], (std::vector<std::string>{"1", "natação", "10.5000", "2004-07-14 00:00:00"}));
  EXPECT_EQ(r[1], (std::vector<std::string>{"2", "ACAO", "1234.5600", "1899-12-30 23:59:00"}));
}

}  // namespace
}  // namespace jet::sql::test

namespace jet::sql::test {
namespace {

TEST(SqlStatements, JoinsGroupingAndSubqueries) {
  TestDb t("joins");
  t.exec("CREATE TABLE A (id LONG, nome TEXT(20))");
  t.exec("CREATE TABLE B (aid LONG, v CURRENCY)");
  const char* rows[] = {"INSERT INTO A VALUES (1, 'Ação')", "INSERT INTO A VALUES (2, 'ação')",
                        "INSERT INTO A VALUES (3, 'acao')", "INSERT INTO B VALUES (1, 10)",
                        "INSERT INTO B VALUES (1, 5.5)",   "INSERT INTO B VALUES (3, 1)",
                        "INSERT INTO B VALUES (9, 2)"};
  for (const char* r : rows) t.exec(r);
  struct C {
    const char* sql;
    Rows expect;
  } cases[] = {
      {"SELECT A.id, B.v FROM A LEFT JOIN B ON A.id = B.aid ORDER BY A.id, B.v",
       {{"1", "5.5000"}, {"1", "10.0000"}, {"2", "\\N"}, {"3", "1.0000"}}},
      {"SELECT B.aid, A.nome FROM A RIGHT JOIN B ON A.id = B.aid ORDER BY B.aid DESC", {{"9", "\\N"}, {"3", "acao"}, {"1", "Ação"}, {"1", "Ação"}}},
      {"SELECT nome, Count(*) AS n FROM A GROUP BY nome", {{"acao", "1"}, {"Ação", "2"}}},
      {"SELECT A.id, Sum(B.v) AS s FROM A INNER JOIN B ON A.id = B.aid GROUP BY A.id HAVING Sum(B.v) > 2", {{"1", "15.5000"}}},
      {"SELECT id FROM A WHERE id NOT IN (SELECT aid FROM B)", {{"2"}}},
      {"SELECT id FROM A WHERE EXISTS (SELECT * FROM B WHERE B.aid = A.id) ORDER BY id", {{"1"}, {"3"}}},
      {"SELECT id, (SELECT Count(*) FROM B WHERE B.aid = A.id) AS n FROM A ORDER BY id", {{"1", "2"}, {"2", "0"}, {"3", "1"}}},
      {"SELECT DISTINCT nome FROM A WHERE id > 1 ORDER BY nome", {{"acao"}, {"ação"}}},
      {"SELECT TOP 2 id FROM A ORDER BY id DESC", {{"3"}, {"2"}}},
      {"SELECT id FROM A WHERE nome = 'AÇÃO' UNION ALL SELECT aid FROM B WHERE v < 2 ORDER BY id", {{"1"}, {"2"}, {"3"}}},
      {"SELECT X.id FROM (SELECT id FROM A WHERE id >= 2) AS X ORDER BY X.id", {{"2"}, {"3"}}},
      {"SELECT iif(id = 1, 'um', id) AS x, Switch(id = 2, 'dois', True, Null) AS y FROM A ORDER BY id",
       {{"um", "\\N"}, {"2", "dois"}, {"3", "\\N"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(t.rows(c.sql), c.expect) << c.sql;
  // A Variant column keeps each value's own type.
  Result r = t.exec("SELECT iif(id = 1, '', id) AS x FROM A ORDER BY id");
  EXPECT_TRUE(r.columns[0].type.variant);
  EXPECT_EQ(r.rows[0][0].kind(), ValueKind::Text);
  EXPECT_EQ(r.rows[1][0].kind(), ValueKind::Long);
  EXPECT_NE(t.error("SELECT A.id, (SELECT Count(*) FROM B WHERE B.aid = A.id) FROM A GROUP BY A.nome"), "(no error)");
}

}  // namespace
}  // namespace jet::sql::test

namespace jet::sql::test {
namespace {

// ORDER BY collects only the sort keys and rebuilds each row as it is
// returned: rows must come whole whatever the conditions read.
TEST(SqlStatements, SortedRowsComeWhole) {
  TestDb t("sorted");
  t.exec("CREATE TABLE R (id LONG, kind LONG, who LONG, note TEXT(20), memo MEMO, v CURRENCY)");
  t.exec("CREATE TABLE P (pid LONG)");
  const char* rows[] = {"INSERT INTO R VALUES (3, 1, 10, 'três', 'm3', 3)", "INSERT INTO R VALUES (1, 2, 11, 'um', 'm1', 1)",
                        "INSERT INTO R VALUES (2, 1, 12, 'dois', Null, 2)", "INSERT INTO R VALUES (4, 3, 10, 'quatro', 'm4', 4)",
                        "INSERT INTO P VALUES (10)", "INSERT INTO P VALUES (11)"};
  for (const char* r : rows) t.exec(r);
  const Rows r1 = {{"1", "2", "11", "um", "m1", "1.0000"}}, r2 = {{"2", "1", "12", "dois", "\\N", "2.0000"}},
             r3 = {{"3", "1", "10", "três", "m3", "3.0000"}}, r4 = {{"4", "3", "10", "quatro", "m4", "4.0000"}};
  auto cat = [](std::initializer_list<Rows> parts) {
    Rows out;
    for (const Rows& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  struct C {
    const char* sql;
    Rows expect;
  } cases[] = {
      {"SELECT * FROM R WHERE who IN (SELECT pid FROM P) ORDER BY id DESC", cat({r4, r3, r1})},
      {"SELECT * FROM R WHERE kind = 1 UNION ALL SELECT * FROM R WHERE (kind <> 1) AND (who IN (SELECT pid FROM P)) "
       "ORDER BY R.id",
       cat({r1, r2, r3, r4})},
      {"SELECT * FROM R WHERE EXISTS (SELECT * FROM P WHERE P.pid = R.who AND R.v > 2) ORDER BY note", cat({r4, r3})},
      {"SELECT * FROM R ORDER BY memo, id", cat({r2, r1, r3, r4})},
      {"SELECT TOP 2 * FROM R WHERE kind < 3 ORDER BY Len(note), id", cat({r1, r2})},
  };
  for (const auto& c : cases) EXPECT_EQ(t.rows(c.sql), c.expect) << c.sql;
}

}  // namespace
}  // namespace jet::sql::test
