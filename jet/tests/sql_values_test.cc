// Unit tests of the value layer: lexer rules, date literals, text
// comparison, Null handling, conversion on assignment, Format, and the
// engine's error messages.
#include "jet/sql/format.h"
#include "jet/sql/lexer.h"
#include "jet/sql/parser.h"
#include "jet/sql/regional.h"
#include "jet/sql/value_ops.h"
#include "sql_test_util.h"

namespace jet::sql::test {
namespace {

std::string dateText(double d) { return canonicalText(Value::date(d)); }

TEST(SqlLexer, LiteralsNamesAndParameters) {
  auto t = tokenize("SELECT [a b], \"x\"\"y\", 'it''s', #1/2/2003#, :P1, 1.5e3 FROM t");
  EXPECT_EQ(t[1].kind, TokenKind::QuotedName);
  EXPECT_EQ(t[1].text, "a b");
  EXPECT_EQ(t[3].text, "x\"y");
  EXPECT_EQ(t[5].text, "it's");
  EXPECT_EQ(t[7].kind, TokenKind::Date);
  EXPECT_EQ(t[9].kind, TokenKind::Param);
  EXPECT_EQ(t[11].kind, TokenKind::Number);
  EXPECT_FALSE(t[11].isInteger);
  // A colon inside a literal is text; outside, with parameters off, an error.
  LexOptions off;
  off.parameters = false;
  EXPECT_EQ(tokenize("SET h = \"23:59:00\"", off)[3].text, "23:59:00");
  EXPECT_THROW(tokenize("WHERE a = :P1", off), Error);
  EXPECT_THROW(tokenize("SELECT 'open"), Error);
}

TEST(SqlLexer, DateLiteralsMonthFirstThenDayFirst) {
  struct C {
    const char* text;
    const char* expect;
  } cases[] = {
      {"14/07/2004", "2004-07-14 00:00:00"}, {"12/6/9999", "9999-12-06 00:00:00"},
      {"30/12/1899", "1899-12-30 00:00:00"}, {"02/03/2024", "2024-02-03 00:00:00"},
      {"03/10/2024 10:30:00", "2024-03-10 10:30:00"}, {"2024-05-06", "2024-05-06 00:00:00"},
      {"23:59:00", "1899-12-30 23:59:00"},
  };
  for (const auto& c : cases) {
    auto d = parseDateLiteral(c.text);
    ASSERT_TRUE(d) << c.text;
    EXPECT_EQ(dateText(*d), c.expect) << c.text;
  }
  EXPECT_FALSE(parseDateLiteral("31/31/2004"));
  EXPECT_FALSE(parseDateLiteral("1/2/3/4"));
  // Regional text is read day first.
  EXPECT_EQ(dateText(*parseDateText("02/03/2024")), "2024-03-02 00:00:00");
}

TEST(SqlValues, TextComparisonIgnoresCaseNotAccents) {
  EXPECT_EQ(compareText("natação", "NATAÇÃO"), 0);
  EXPECT_NE(compareText("acao", "ação"), 0);
  EXPECT_LT(compareText("a", "á"), 0);
  EXPECT_LT(compareText("á", "b"), 0);
  EXPECT_LT(compareText("abc", "ABD"), 0);
  std::string k1, k2;
  appendKey(k1, Value::text("Ção"));
  appendKey(k2, Value::text("çÃO"));
  EXPECT_EQ(k1, k2);
  // Numbers of different types are one key.
  std::string n1, n2;
  appendKey(n1, Value(int32_t{5}));
  appendKey(n2, Value::currency(50000));
  EXPECT_EQ(n1, n2);
}

TEST(SqlValues, NullPropagatesAndTypesMismatch) {
  EXPECT_FALSE(compareValues(Value(), Value(int32_t{1})));
  EXPECT_TRUE(arithmetic(ArithOp::Add, Value(), Value(int32_t{1})).isNull());
  EXPECT_EQ(toText(concatenate(Value(), Value::text("x"))), "x");
  EXPECT_THROW(compareValues(Value::text("1"), Value(int32_t{1})), Error);
  // Currency stays exact.
  Value c = arithmetic(ArithOp::Add, Value::currency(1), Value::currency(2));
  EXPECT_EQ(c.as<Currency>().scaled, 3);
  EXPECT_EQ(arithmetic(ArithOp::Mul, Value::currency(15000), Value(int32_t{3})).as<Currency>().scaled, 45000);
  EXPECT_THROW(arithmetic(ArithOp::Div, Value(int32_t{1}), Value(int32_t{0})), Error);
}

TEST(SqlValues, AssignmentConversion) {
  ColumnDef date;
  date.name = "d";
  date.type = ColumnType::DateTime;
  ColumnDef num = date;
  num.type = ColumnType::Double;
  ColumnDef text = date;
  text.type = ColumnType::Text;
  ColumnDef lng = date;
  lng.type = ColumnType::Long;
  ColumnDef cur = date;
  cur.type = ColumnType::Currency;
  EXPECT_EQ(canonicalText(convertForColumn(Value::text("00:00:00"), date)), "1899-12-30 00:00:00");
  EXPECT_EQ(canonicalText(convertForColumn(Value::text("23:59:00"), date)), "1899-12-30 23:59:00");
  EXPECT_EQ(canonicalText(convertForColumn(Value::text("14/07/2004"), date)), "2004-07-14 00:00:00");
  EXPECT_EQ(canonicalText(convertForColumn(Value::text("18"), num)), "18");
  EXPECT_EQ(canonicalText(convertForColumn(Value(1.5), text)), "1,5");
  EXPECT_EQ(canonicalText(convertForColumn(Value(int32_t{7}), text)), "7");
  EXPECT_EQ(canonicalText(convertForColumn(Value(2.5), lng)), "2");
  EXPECT_EQ(canonicalText(convertForColumn(Value(3.5), lng)), "4");
  EXPECT_EQ(canonicalText(convertForColumn(Value::text("1.234,56"), cur)), "1234.5600");
  EXPECT_EQ(canonicalText(convertForColumn(Value(true), num)), "-1");
  try {
    convertForColumn(Value::text("abc"), date);
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Tipos de dados incompatíveis: o valor 'abc' não pode ser gravado no campo 'd' (Data/Hora).");
  }
  EXPECT_THROW(convertForColumn(Value(1e12), lng), Error);
}

TEST(SqlValues, Format) {
  struct C {
    Value v;
    const char* pattern;
    const char* expect;
  } cases[] = {
      {Value(int32_t{7}), "####0000", "0007"},
      {Value(int32_t{12345}), "####0000", "12345"},
      {Value(int32_t{1}), "#,##000", "001"},
      {Value(int32_t{1234}), "#,##000", "1.234"},
      {Value::currency(2400000), ",0.00", "240,00"},
      {Value(1234.5), ",0.00", "1.234,50"},
      {Value(0.0), ",0.00", "0,00"},
      {Value(-5.25), "0.0", "-5,3"},
      {Value::date(makeDate(2024, 2, 29)), "mm/dd/yyyy", "02/29/2024"},
      {Value::date(makeDate(2024, 3, 5) + makeTime(9, 7, 3)), "dd/mm/yyyy hh:nn:ss", "05/03/2024 09:07:03"},
      {Value::date(makeDate(2024, 3, 5)), "d \"de\" mmmm", "5 de março"},
      {Value::text("abc"), ">", "ABC"},
      {Value(0.256), "0.0%", "25,6%"},
  };
  for (const auto& c : cases) EXPECT_EQ(toText(formatValue(c.v, c.pattern)), c.expect) << c.pattern;
  EXPECT_TRUE(formatValue(Value(), "0000").isNull());
}

TEST(SqlErrors, MessagesInJetsManner) {
  TestDb t("errors");
  t.exec("CREATE TABLE T (id COUNTER, nome TEXT(5), n LONG, PRIMARY KEY (id))");
  struct C {
    const char* sql;
    const char* message;
  } cases[] = {
      {"CREATE TABLE T (a LONG)", "A tabela 'T' já existe."},
      {"SELECT xyz FROM T", "Nome de campo desconhecido: 'xyz'."},
      {"SELECT * FROM T WHERE", "Erro de sintaxe na cláusula WHERE."},
      {"SELECT * FROM T WHERE nome = 1", "Tipos de dados incompatíveis na expressão de critério."},
      {"SELECT * FROM Nada", "A tabela 'Nada' não existe."},
      {"DROP TABLE Nada", "A tabela 'Nada' não existe."},
      {"ALTER TABLE T ADD nome TEXT(10)", "O campo 'nome' já existe na tabela 'T'."},
      {"SELECT Foo(n) FROM T", "Função 'FOO' indefinida na expressão."},
      {"SELEC * FROM T", "Instrução SQL inválida; esperava-se 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT' ou 'UPDATE'."},
      {"INSERT INTO T (nome) VALUES ('abcdef')",
       "O campo 'T.nome' é muito pequeno para aceitar a quantidade de dados que você tentou adicionar. Tente inserir ou colar menos dados."},
      {"SELECT nome, Count(*) FROM T", "Você tentou executar uma consulta que não inclui a expressão especificada 'nome' como parte de uma função agregada."},
      {"SELECT * FROM T WHERE id = :P1", "Nenhum valor foi fornecido para um ou mais parâmetros necessários."},
      {"SELECT (SELECT id FROM T) FROM T", "(no error)"},
  };
  for (const auto& c : cases) EXPECT_EQ(t.error(c.sql), c.message) << c.sql;
  t.exec("INSERT INTO T (nome) VALUES ('a')");
  t.exec("INSERT INTO T (nome) VALUES ('b')");
  EXPECT_EQ(t.error("SELECT (SELECT id FROM T) FROM T"), "No máximo um registro pode ser retornado por esta subconsulta.");
  // Malformed statements never crash.
  const char* junk[] = {"", "(", "SELECT", "SELECT * FROM (", "SELECT ((((((((((1", "INSERT INTO", "UPDATE T SET",
                        "SELECT * FROM T ORDER", "CREATE TABLE X (", "SELECT #99/99/99#", "SELECT [", "DELETE"};
  for (const char* j : junk) EXPECT_NE(t.error(j), "(no error)") << j;
  std::string deep(5000, '(');
  EXPECT_NE(t.error("SELECT " + deep), "(no error)");
}

TEST(SqlStatementsAtomic, FailedStatementChangesNothing) {
  TestDb t("atomic");
  t.exec("CREATE TABLE T (id LONG, nome TEXT(3), CONSTRAINT PK PRIMARY KEY (id))");
  t.exec("INSERT INTO T (id, nome) VALUES (1, 'a')");
  t.exec("INSERT INTO T (id, nome) VALUES (2, 'b')");
  // The second row's new key collides: the whole UPDATE is undone.
  EXPECT_NE(t.error("UPDATE T SET id = 3 - id + 0 * id WHERE id >= 1 AND nome = 'zz' OR id = 2"), "(no error)");
  EXPECT_EQ(t.rows("SELECT id, nome FROM T ORDER BY id").size(), 2u);
  EXPECT_NE(t.error("INSERT INTO T (id, nome) SELECT id + 10, nome & 'xyz' FROM T"), "(no error)");
  EXPECT_EQ(t.rows("SELECT id FROM T").size(), 2u);
}

}  // namespace
}  // namespace jet::sql::test
