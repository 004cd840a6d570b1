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
