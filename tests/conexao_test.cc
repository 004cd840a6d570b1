// The connection, command, query and field objects over a small database of
// known rows: parameters, walking the rows, locating, every kind of read and
// the regional text forms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apoio.h"
#include "db/bd.h"
#include "db/conexao.h"
#include "db/uglobal.h"
#include "jet/sql/regional.h"

namespace {

using namespace kor;
using kor::teste::PastaTemporaria;

class ConexaoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    banco_ = pasta_.path() / "dados.mdb";
    teste::criaBancoVazio(banco_);
    teste::conecta(banco_);
    TComando cmd(BD().Conexao);
    cmd.ParamCheck = false;
    for (const char* sql : {
             "CREATE TABLE Pessoas (id AutoIncrement, nome Text(50), valor Currency, peso Number, nascimento Date, "
             "hora Date, ativo YesNo, qtd Long, PRIMARY KEY (id))",
             // Windows-1252: \xC3 = Ã, \xC1 = Á.
             "INSERT INTO Pessoas (nome, valor, peso, nascimento, hora, ativo, qtd) VALUES (\"JO\xC3O D'\xC1VILA\", "
             "1234.5, 72.25, #14/07/2004#, \"23:59:00\", True, 7)",
             "INSERT INTO Pessoas (nome, valor, peso, nascimento, hora, ativo, qtd) VALUES (\"maria\", -0.0001, 0.1, "
             "#12/25/1999 10:30:00#, \"00:00:00\", False, -3)",
             "INSERT INTO Pessoas (nome) VALUES (Null)",
         }) {
      cmd.CommandText = sql;
      cmd.Execute();
    }
  }
  void TearDown() override { teste::desconecta(); }

  PastaTemporaria pasta_{"conexao"};
  teste::fs::path banco_;
};

TEST_F(ConexaoTest, WalksTheRowsAndReadsFieldsByNameAndPosition) {
  TConsulta q(BD().Conexao);
  q.Add("Select id, nome, qtd");
  q.Add("from Pessoas");
  q.Add("Order by id");
  q.Open();
  EXPECT_TRUE(q.Active());
  EXPECT_EQ(q.RecordCount(), 3);
  EXPECT_FALSE(q.IsEmpty());
  ASSERT_EQ(q.FieldCount(), 3u);
  EXPECT_EQ(q.Fields(1).FieldName(), "nome");
  EXPECT_EQ(q.Fields(1).DisplayLabel(), "nome");
  std::vector<int32_t> ids;
  for (q.First(); !q.Eof(); q.Next()) {
    ids.push_back(q.Fields(0).AsInteger());
    EXPECT_EQ(q.FieldByName("QTD").AsInteger(), q.Fields(2).AsInteger());  // names ignore case
  }
  EXPECT_EQ(ids, (std::vector<int32_t>{1, 2, 3}));
  q.Next();  // past the end stays at the end
  EXPECT_TRUE(q.Eof());
  q.First();
  EXPECT_EQ(q.Fields(0).AsInteger(), 1);
  EXPECT_THROW(q.FieldByName("inexistente"), ErroBanco);
  EXPECT_THROW(q.Fields(3), ErroBanco);
  q.Close();
  EXPECT_FALSE(q.Active());
}

TEST_F(ConexaoTest, ReadsEveryKindInEveryForm) {
  TConsulta q(BD().Conexao);
  q.SetText("Select * from Pessoas Order by id");
  q.Open();

  // Row 1.
  EXPECT_EQ(q.FieldByName("nome").AsString(), "JO\xC3O D'\xC1VILA");
  EXPECT_EQ(q.FieldByName("nome").AsWideString(), "JO\xC3\x83O D'\xC3\x81VILA");  // UTF-8
  EXPECT_EQ(q.FieldByName("nome").Value().as<std::string>(), "JO\xC3O D'\xC1VILA");
  EXPECT_EQ(q.FieldByName("valor").AsString(), "1234,5");
  EXPECT_EQ(q.FieldByName("valor").AsCurrency().scaled, 12345000);
  EXPECT_TRUE(q.FieldByName("valor").Value().is<jet::Currency>());
  EXPECT_DOUBLE_EQ(q.FieldByName("valor").AsFloat(), 1234.5);
  EXPECT_EQ(q.FieldByName("valor").AsInteger(), 1234);  // a half to the even neighbour
  EXPECT_EQ(q.FieldByName("peso").AsString(), "72,25");
  EXPECT_EQ(q.FieldByName("peso").AsInteger(), 72);
  EXPECT_EQ(q.FieldByName("nascimento").AsString(), "14/07/2004");
  EXPECT_DOUBLE_EQ(q.FieldByName("nascimento").AsDateTime(), jet::sql::makeDate(2004, 7, 14));
  // A time alone is a time on the zero day.
  EXPECT_EQ(q.FieldByName("hora").AsString(), "30/12/1899 23:59:00");
  EXPECT_NEAR(q.FieldByName("hora").AsDateTime(), jet::sql::makeTime(23, 59, 0), 1e-9);
  EXPECT_EQ(q.FieldByName("ativo").AsString(), "True");
  EXPECT_TRUE(q.FieldByName("ativo").AsBoolean());
  EXPECT_EQ(q.FieldByName("ativo").AsInteger(), -1);
  EXPECT_EQ(q.FieldByName("qtd").AsString(), "7");
  EXPECT_FALSE(q.FieldByName("qtd").IsNull());

  q.Next();  // row 2
  EXPECT_EQ(q.FieldByName("valor").AsString(), "-0,0001");
  EXPECT_EQ(q.FieldByName("valor").AsCurrency().scaled, -1);
  EXPECT_EQ(q.FieldByName("peso").AsString(), "0,1");
  EXPECT_EQ(q.FieldByName("nascimento").AsString(), "25/12/1999 10:30:00");
  EXPECT_EQ(q.FieldByName("hora").AsString(), "30/12/1899");  // "00:00:00" stored the zero day
  EXPECT_DOUBLE_EQ(q.FieldByName("hora").AsDateTime(), 0.0);
  EXPECT_FALSE(q.FieldByName("hora").IsNull());
  EXPECT_EQ(q.FieldByName("ativo").AsString(), "False");
  EXPECT_EQ(q.FieldByName("qtd").AsInteger(), -3);

  q.Next();  // row 3: everything but the key is Null; a yes/no column is never Null
  EXPECT_EQ(q.FieldByName("ativo").AsString(), "False");
  for (const char* campo : {"nome", "valor", "peso", "nascimento", "hora", "qtd"}) {
    TCampo f = q.FieldByName(campo);
    EXPECT_TRUE(f.IsNull()) << campo;
    EXPECT_TRUE(f.Value().isNull()) << campo;
    EXPECT_EQ(f.AsString(), "") << campo;
    EXPECT_EQ(f.AsInteger(), 0) << campo;
    EXPECT_EQ(f.AsFloat(), 0.0) << campo;
    EXPECT_EQ(f.AsCurrency().scaled, 0) << campo;
    EXPECT_EQ(f.AsDateTime(), 0.0) << campo;
  }
  EXPECT_FALSE(q.FieldByName("id").IsNull());
}

TEST_F(ConexaoTest, AnEmptyResultReadsZeroAndEmptyText) {
  TConsulta q(BD().Conexao);
  q.SetText("Select qtd, nome from Pessoas Where id = 99");
  q.Open();
  EXPECT_TRUE(q.IsEmpty());
  EXPECT_TRUE(q.Eof());
  EXPECT_EQ(q.RecordCount(), 0);
  EXPECT_EQ(q.FieldByName("qtd").AsInteger(), 0);
  EXPECT_EQ(q.FieldByName("nome").AsString(), "");
  EXPECT_TRUE(q.FieldByName("nome").IsNull());
}

TEST_F(ConexaoTest, LocateMovesToTheMatchingRowOrStaysPut) {
  TConsulta q(BD().Conexao);
  q.SetText("Select * from Pessoas Order by id");
  q.Open();
  EXPECT_TRUE(q.Locate("nome", jet::Value("MARIA")));  // text without regard to case
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 2);
  EXPECT_TRUE(q.Locate("nome", jet::Value("jo\xE3o d'\xE1vila")));  // Windows-1252 in, lower case
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 1);
  EXPECT_TRUE(q.Locate("id", jet::Value(int32_t{3})));
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 3);
  EXPECT_FALSE(q.Locate("qtd", jet::Value(int32_t{1000})));
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 3);
  EXPECT_THROW(q.Locate("semcampo", jet::Value(int32_t{1})), ErroBanco);
}

TEST_F(ConexaoTest, PositionalParametersBindInOrderAndCanBeRebound) {
  TConsulta q(BD().Conexao);
  q.Add("Select id from Pessoas");
  q.Add("Where nome = :P1 and qtd > :P2");
  q.SetParametro(0, std::string("JO\xC3O D'\xC1VILA"));
  q.SetParametro(1, 0);
  q.Open();
  ASSERT_EQ(q.RecordCount(), 1);
  EXPECT_EQ(q.Fields(0).AsInteger(), 1);
  q.Close();
  q.SetParametro(0, std::string("maria"));
  q.SetParametro(1, -10);
  q.Open();
  ASSERT_EQ(q.RecordCount(), 1);
  EXPECT_EQ(q.Fields(0).AsInteger(), 2);

  // A parameter left without a value is an error, not a silent Null.
  TConsulta semValor(BD().Conexao);
  semValor.SetText("Select id from Pessoas Where nome = :P1 or qtd = :P2");
  semValor.SetParametro(0, std::string("maria"));
  EXPECT_THROW(semValor.Open(), ErroBanco);

  TComando cmd(BD().Conexao);
  cmd.CommandText = "UPDATE Pessoas set qtd = :P1, nome = :P2 Where id = :P3";
  cmd.SetParametro(0, 40);
  cmd.SetParametro(1, std::string("\xC7" "ANDIDO"));  // \xC7 = Ç
  cmd.SetParametro(2, 3);
  EXPECT_EQ(cmd.Execute(), 1);
  EXPECT_EQ(teste::linhas("Select nome, qtd from Pessoas Where id = 3"),
            std::vector<std::string>{"\xC7" "ANDIDO\t40"});
}

TEST_F(ConexaoTest, WithParameterParsingOffAColonInALiteralIsText) {
  TComando cmd(BD().Conexao);
  cmd.ParamCheck = false;
  cmd.CommandText = "UPDATE Pessoas set hora = \"10:15:30\", nome = \"P1:P2\" Where id = 2";
  EXPECT_EQ(cmd.Execute(), 1);
  TConsulta q(BD().Conexao);
  q.ParamCheck = false;
  q.SetText("Select hora, nome from Pessoas Where nome = \"P1:P2\" and hora = #30/12/1899 10:15:30#");
  q.Open();
  ASSERT_EQ(q.RecordCount(), 1);
  EXPECT_EQ(q.FieldByName("hora").AsString(), "30/12/1899 10:15:30");
  EXPECT_EQ(q.FieldByName("nome").AsString(), "P1:P2");
}

TEST_F(ConexaoTest, EngineErrorsArriveWithTheMessageInWindows1252) {
  TConsulta q(BD().Conexao);
  q.SetText("Select * from Inexistente");
  try {
    q.Open();
    FAIL() << "a missing table opened";
  } catch (const ErroBanco& e) {
    const std::string m = e.what();
    EXPECT_NE(m.find("Inexistente"), std::string::npos) << m;
    EXPECT_NE(m.find("n\xE3o"), std::string::npos) << m;  // "não" in Windows-1252, not UTF-8
  }
  EXPECT_FALSE(q.Active());
  // The connection is still usable.
  EXPECT_EQ(teste::codigos("Select Count(*) from Pessoas"), std::vector<int32_t>{3});
}

TEST_F(ConexaoTest, ATransactionWritesItsStatementsAtOnceOrNotAtAll) {
  TConexao& c = BD().Conexao;
  auto nomes = [] { return teste::linhas("Select nome from Pessoas where id > 3 order by id"); };
  auto insere = [](const std::string& nome) {
    return ExecutaSQL("INSERT INTO Pessoas (nome) VALUES ('" + nome + "')");
  };
  c.BeginTrans();
  EXPECT_TRUE(c.InTransaction());
  EXPECT_THROW(c.BeginTrans(), ErroBanco);  // no nesting
  ASSERT_EQ(insere("um"), "OK");
  EXPECT_EQ(nomes(), std::vector<std::string>{"um"});  // seen inside
  c.CommitTrans();
  EXPECT_FALSE(c.InTransaction());
  EXPECT_THROW(c.CommitTrans(), ErroBanco);

  c.BeginTrans();
  ASSERT_EQ(insere("dois"), "OK");
  c.RollbackTrans();
  EXPECT_EQ(nomes(), std::vector<std::string>{"um"});

  // A statement that fails while writing (a duplicate key) undoes the whole
  // transaction; the statements after it take effect on their own, and the
  // commit says the transaction was lost.
  c.BeginTrans();
  ASSERT_EQ(insere("tres"), "OK");
  EXPECT_NE(ExecutaSQL("INSERT INTO Pessoas (id, nome) VALUES (1, 'dup')"), "OK");
  ASSERT_EQ(insere("quatro"), "OK");
  EXPECT_THROW(c.CommitTrans(), ErroBanco);
  EXPECT_EQ(nomes(), (std::vector<std::string>{"um", "quatro"}));

  // Closing the connection rolls an open transaction back.
  c.BeginTrans();
  ASSERT_EQ(insere("cinco"), "OK");
  c.Close();
  teste::conecta(banco_);
  EXPECT_EQ(nomes(), (std::vector<std::string>{"um", "quatro"}));
}

TEST_F(ConexaoTest, TheConnectionStringNamesFileAndPassword) {
  TConexao& c = BD().Conexao;
  EXPECT_TRUE(c.Connected());
  EXPECT_EQ(c.DataSource(), banco_.string());
  EXPECT_EQ(c.Password(), "lumpa");
  c.Close();
  EXPECT_FALSE(c.Connected());
  TConsulta q(c);
  q.SetText("Select * from Pessoas");
  EXPECT_THROW(q.Open(), ErroBanco);  // a closed connection runs nothing

  EXPECT_THROW(teste::conecta(banco_, "errada"), ErroBanco);
  EXPECT_FALSE(c.Connected());
  EXPECT_THROW(teste::conecta(pasta_.path() / "nao_existe.mdb"), ErroBanco);
  EXPECT_FALSE(c.Connected());
  EXPECT_FALSE(teste::fs::exists(pasta_.path() / "nao_existe.mdb"));  // opening never creates a file
  teste::conecta(banco_);
  EXPECT_TRUE(c.Connected());
}

TEST(TextoDoValor, BrazilianFormsOfEveryKind) {
  struct Case {
    jet::Value v;
    std::string texto;
  };
  for (const auto& c : std::vector<Case>{
           {jet::Value(), ""},
           {jet::Value(true), "True"},
           {jet::Value(uint8_t{200}), "200"},
           {jet::Value(int16_t{-12}), "-12"},
           {jet::Value(int32_t{1234567}), "1234567"},  // no thousands dot
           {jet::Value::currency(-12345), "-1,2345"},
           {jet::Value::currency(10000 * 1000000LL), "1000000"},
           {jet::Value(2.5), "2,5"},
           {jet::Value(0.1f), "0,1"},
           {jet::Value::date(jet::sql::makeDate(2024, 2, 29)), "29/02/2024"},
           {jet::Value::date(jet::sql::makeDate(2024, 2, 29) + jet::sql::makeTime(8, 5, 9)), "29/02/2024 08:05:09"},
           {jet::Value::date(0), "30/12/1899"},
           {jet::Value::date(-1.25), "29/12/1899 06:00:00"},  // before the zero day the time still counts forward
           {jet::Value::date(jet::sql::makeDate(1850, 5, 10)), "10/05/1850"},
           {jet::Value("\xC3\xA7"), "\xE7"},  // UTF-8 ç becomes Windows-1252
       }) {
    EXPECT_EQ(TextoDoValor(c.v), c.texto) << c.texto;
  }
}

}  // namespace

// The general form of a number: plain digits up to the precision of the
// type (15 for Double, 7 for Single), scientific beyond it and below 1E-04.
// Number columns such as Online_PlanosValores.Meses hold round Doubles.
TEST(TextoDoValor, RoundDoublesKeepTheirPlainDigits) {
  struct Case {
    jet::Value v;
    std::string texto;
  };
  for (const auto& c : std::vector<Case>{
           {jet::Value(10.0), "10"},
           {jet::Value(210.0), "210"},
           {jet::Value(1300.0), "1300"},
           {jet::Value(210.0f), "210"},
           {jet::Value(1e15), "1E+15"},
           {jet::Value(123456789012345.0), "123456789012345"},
           {jet::Value(-2.5), "-2,5"},
           {jet::Value(123.456), "123,456"},
           {jet::Value(1.0 / 3), "0,333333333333333"},
           {jet::Value(0.0001), "0,0001"},
           {jet::Value(0.00001), "1E-05"},
           {jet::Value(-1.25e-7), "-1,25E-07"},
           {jet::Value(12345678.0f), "1,234568E+07"},
       }) {
    EXPECT_EQ(TextoDoValor(c.v), c.texto) << c.texto;
  }
}
