// The statement routines (ExecutaSQL, RetornaTotal) and the catalogue
// lookups of the data module, on a blank database with the start-up's tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apoio.h"
#include "db/bd.h"
#include "db/uglobal.h"
#include "prepare/preparacao.h"

namespace {

using namespace kor;
using kor::teste::PastaTemporaria;

class UGlobalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    teste::criaBancoVazio(pasta_.path() / "dados.mdb");
    teste::conecta(pasta_.path() / "dados.mdb");
  }
  void TearDown() override { teste::desconecta(); }
  PastaTemporaria pasta_{"uglobal"};
};

TEST_F(UGlobalTest, ExecutaSQLAnswersOKOrTheEnginesMessageAndNeverThrows) {
  EXPECT_EQ(ExecutaSQL("CREATE TABLE Horas (h Date, t Text(20))"), "OK");
  // Read without parameters: the colons of the literals are text.
  EXPECT_EQ(ExecutaSQL("INSERT INTO Horas (h, t) VALUES (\"23:59:00\", \":P1\")"), "OK");
  EXPECT_EQ(teste::linhas("Select h, t from Horas"), std::vector<std::string>{"30/12/1899 23:59:00\t:P1"});

  const std::string falha = ExecutaSQL("CREATE TABLE Horas (h Date)");
  EXPECT_NE(falha, "OK");
  EXPECT_NE(falha, "FALHA!");
  EXPECT_NE(falha.find("Horas"), std::string::npos) << falha;  // the engine's own words
  EXPECT_NE(ExecutaSQL("UPDATE Horas set nada = 1"), "OK");
  EXPECT_NE(ExecutaSQL("isto nao e SQL"), "OK");
  // The connection goes on working after each failure.
  EXPECT_EQ(ExecutaSQL("UPDATE Horas set t = \"ok\""), "OK");
  EXPECT_EQ(teste::linhas("Select t from Horas"), std::vector<std::string>{"ok"});

  teste::desconecta();
  EXPECT_NE(ExecutaSQL("UPDATE Horas set t = \"x\""), "OK");  // no connection: a message, no exception
}

TEST_F(UGlobalTest, RetornaTotalRoundsHalfToEvenAndAnswersZeroOnEveryFailure) {
  ASSERT_EQ(ExecutaSQL("CREATE TABLE Valores (id Long, n Number, c Currency, t Text(10), d Date)"), "OK");
  ASSERT_EQ(ExecutaSQL("INSERT INTO Valores VALUES (1, 12.5, 2.5, \"abc\", #14/07/2004#)"), "OK");
  ASSERT_EQ(ExecutaSQL("INSERT INTO Valores VALUES (2, 13.5, 3.5, \"12\", Null)"), "OK");
  ASSERT_EQ(ExecutaSQL("CREATE TABLE Vazia (id Long)"), "OK");
  struct Case {
    std::string sql;
    int32_t total;
  };
  for (const auto& c : std::vector<Case>{
           {"Select n as Total from Valores Where id = 1", 12},
           {"Select n as Total from Valores Where id = 2", 14},
           {"Select c as Total from Valores Where id = 1", 2},  // Currency too
           {"Select c as Total from Valores Where id = 2", 4},
           {"Select -2.5 as Total", -2},
           {"Select 2.5000001 as Total", 3},
           {"Select 2.4999 as Total", 2},
           {"Select Count(id) as Total from Valores", 2},
           {"Select Max(id) As TOTAL from Valores", 2},  // the alias in any case
           {"Select Sum(n) as Total from Valores", 26},
           {"Select n as Total from Valores Order by id", 12},  // the first row
           // 0: no row, Null, no column Total, bad SQL, missing table, values
           // that are no number or do not fit.
           {"Select id as Total from Valores Where id = 99", 0},
           {"Select Max(id) as Total from Vazia", 0},
           {"Select d as Total from Valores Where id = 2", 0},
           {"Select Count(id) as Soma from Valores", 0},
           {"Select Count(id) Total from", 0},
           {"Select Count(*) as Total from NaoExiste", 0},
           {"Select t as Total from Valores Where id = 1", 0},
           {"Select 3000000000 as Total", 0},
           {"", 0},
       }) {
    EXPECT_EQ(RetornaTotal(c.sql), c.total) << c.sql;
  }
  teste::desconecta();
  EXPECT_EQ(RetornaTotal("Select 1 as Total"), 0);
}

TEST_F(UGlobalTest, LookupsAnswerTheCodeOrZeroAndPropagateEngineErrors) {
  // Without the catalogue tables the lookups' queries fail, and say so.
  EXPECT_THROW(BuscaCodigoModalidade("X"), ErroBanco);
  EXPECT_THROW(BuscaCodigoPlano("X"), ErroBanco);
  EXPECT_THROW(BuscaPlanoValor(1, 1), ErroBanco);

  AtualizaBanco();  // creates them (every desktop repair fails here, and is ignored)
  EXPECT_EQ(BuscaCodigoModalidade("MUSCULACAO"), 0);  // empty tables
  EXPECT_EQ(BuscaCodigoPlano("PLANO OURO"), 0);
  EXPECT_EQ(BuscaPlanoValor(1, 1), 0);

  for (const char* sql : {
           "INSERT INTO Online_Modalidades (Modalidade) VALUES (\"MUSCULACAO\")",
           "INSERT INTO Online_Modalidades (Modalidade) VALUES (\"NATA\xC7\xC3O\")",  // NATAÇÃO
           "INSERT INTO Online_Modalidades (Modalidade) VALUES (\"HIDRO D'AGUA\")",
           "INSERT INTO Online_Planos (Plano, Tipo, Situacao) VALUES (\"PLANO PRATA\", \"M\", \"A\")",
           "INSERT INTO Online_Planos (Plano, Tipo, Situacao) VALUES (\"PLANO OURO\", \"M\", \"A\")",
           "INSERT INTO Online_PlanosValores (CodigoPlano, Meses, Valor, Situacao) VALUES (2, 3, 300, \"A\")",
           "INSERT INTO Online_PlanosValores (CodigoPlano, Meses, Valor, Situacao) VALUES (2, 12, 1000, \"A\")",
       }) {
    ASSERT_EQ(ExecutaSQL(sql), "OK") << sql;
  }
  struct Case {
    int32_t got, expected;
    const char* what;
  };
  for (const auto& c : std::vector<Case>{
           {BuscaCodigoModalidade("MUSCULACAO"), 1, "modality"},
           {BuscaCodigoModalidade("NATA\xC7\xC3O"), 2, "modality with accents"},
           {BuscaCodigoModalidade("HIDRO D'AGUA"), 3, "modality with a quote"},
           {BuscaCodigoModalidade("NATACAO"), 0, "another name"},
           {BuscaCodigoModalidade(""), 0, "empty name"},
           {BuscaCodigoPlano("PLANO OURO"), 2, "plan"},
           {BuscaCodigoPlano("PLANO PRATA"), 1, "plan"},
           {BuscaCodigoPlano("PLANO"), 0, "part of a name"},
           {BuscaPlanoValor(2, 3), 2, "price"},
           {BuscaPlanoValor(2, 12), 2, "price"},
           {BuscaPlanoValor(2, 6), 0, "other months"},
           {BuscaPlanoValor(1, 3), 0, "other plan"},
       }) {
    EXPECT_EQ(c.got, c.expected) << c.what;
  }
  // Between lookups the data module's queries stay closed.
  EXPECT_FALSE(BD().qrBuscaModalidade.Active());
  EXPECT_FALSE(BD().qrNomePlanos.Active());
  EXPECT_FALSE(BD().qrBuscaPlanosValores.Active());
}

}  // namespace
