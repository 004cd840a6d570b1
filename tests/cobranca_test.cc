// The billing dates: each of the ten cases with the month arithmetic (end of
// month, 29 February, December to January), which enrolments and which
// receivables count, and a due day that gives no date.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apoio.h"
#include "apoio_exportacao.h"
#include "db/uglobal.h"
#include "export/cobranca.h"
#include "export/datas.h"

namespace {

using namespace kor;
using kor::teste::PastaTemporaria;

// "dd/mm/yyyy" as a Jet date literal, "Null" for an empty text.
std::string data(const std::string& ddmmyyyy) {
  if (ddmmyyyy.empty()) return "Null";
  std::string s = "#";
  s += ddmmyyyy.substr(3, 2);
  s += '/';
  s += ddmmyyyy.substr(0, 2);
  s += '/';
  s += ddmmyyyy.substr(6);
  s += '#';
  return s;
}

class CobrancaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    teste::criaBancoExportacao(pasta_.path() / "dados.mdb");
    teste::conecta(pasta_.path() / "dados.mdb");
  }
  void TearDown() override { teste::desconecta(); }

  struct Inscricao {
    int id;
    const char* situacao;
    const char* forma;
    const char* valor;  // SQL
    const char* dia;    // SQL
    std::string inicio, fim, encerramento;  // dd/mm/yyyy or empty for Null
    bool excluida = false;
  };
  static std::string insere(const Inscricao& m) {
    return "INSERT INTO Matricula (matriculaID, alunoID, modalidadeID, matriculaSituacao, matriculaForma, "
           "matriculaValor, matriculaDiaVencimento, matriculaDtInicio, matriculaDtFim, matriculaDtEncerramento, "
           "matriculaExcluida) VALUES (" +
           std::to_string(m.id) + ", 1, 1, '" + m.situacao + "', '" + m.forma + "', " + m.valor + ", " + m.dia +
           ", " + data(m.inicio) + ", " + data(m.fim) + ", " + data(m.encerramento) + ", " +
           (m.excluida ? "True" : "False") + ")";
  }
  // A receivable of enrolment `matricula`.
  static std::string recebimento(int matricula, const std::string& vencimento, int plano = 1, bool excluido = false,
                                 int isentou = 0) {
    return "INSERT INTO Recebimentos (alunoID, planoID, idRelaciona, recebDtVencimento, recebExcluido, "
           "recebFuncIdIsentou) VALUES (1, " +
           std::to_string(plano) + ", " + std::to_string(matricula) + ", " + data(vencimento) + ", " +
           (excluido ? "True" : "False") + ", " + std::to_string(isentou) + ")";
  }
  static std::string proxima(int id) {
    auto v = teste::linhas("SELECT ProximaGeracaoCobranca FROM Matricula WHERE matriculaID = " + std::to_string(id));
    return v.empty() ? "(no row)" : v[0];
  }

  PastaTemporaria pasta_{"cobranca"};
};

const double kHoje = OleDe({2024, 6, 15});

TEST_F(CobrancaTest, TheTenCases) {
  struct Caso {
    const char* nome;
    Inscricao m;
    std::string ultimo;  // latest due date of its receivables, "" for none
    std::string esperado;
  } casos[] = {
      {"1 closed, not monthly: end date",
       {1, "ENCERRADA", "TRIMESTRAL", "100", "10", "01/01/2024", "31/03/2024", "20/03/2024"}, "10/02/2024",
       "31/03/2024"},
      {"1 without end date: closing date", {2, "ENCERRADA", "ANUAL", "100", "10", "01/01/2024", "", "20/03/2024"},
       "", "20/03/2024"},
      {"1 without either: the zero date", {3, "ENCERRADA", "ANUAL", "100", "10", "01/01/2024", "", ""}, "",
       "30/12/1899"},
      {"2 closed, monthly, no receivable: end date",
       {4, "ENCERRADA", "MENSAL", "100", "10", "01/01/2024", "30/04/2024", "20/03/2024"}, "", "30/04/2024"},
      {"2 without end date: closing date", {5, "ENCERRADA", "MENSAL", "100", "10", "01/01/2024", "", "20/03/2024"},
       "", "20/03/2024"},
      {"3 closed, monthly: due day after the latest, cut to 30 April",
       {6, "ENCERRADA", "MENSAL", "100", "31", "01/01/2023", "31/12/2023", "20/03/2023"}, "10/03/2023",
       "30/04/2023"},
      {"4 zero value, not monthly: end date", {7, "ATIVA", "ANUAL", "0", "10", "01/01/2024", "31/12/2024", ""},
       "10/02/2024", "31/12/2024"},
      {"5 zero value, monthly: due day after the latest",
       {8, "ATIVA", "MENSAL", "0", "31", "01/01/2024", "", ""}, "15/01/2024", "29/02/2024"},
      {"6 zero value, monthly, no receivable: due day this month, passed",
       {9, "ATIVA", "MENSAL", "0", "5", "01/01/2024", "", ""}, "", "05/06/2024"},
      {"6 a Null value is zero, cut to 30 June", {10, "ATIVA", "MENSAL", "Null", "31", "01/01/2024", "", ""}, "",
       "30/06/2024"},
      {"7 value, receivable, not monthly: end date",
       {11, "TRANCADA", "SEMESTRAL", "250", "10", "01/01/2024", "30/06/2024", ""}, "10/05/2024", "30/06/2024"},
      {"8 29 February of a leap year", {12, "ATIVA", "MENSAL", "120", "31", "01/01/2024", "", ""}, "15/01/2024",
       "29/02/2024"},
      {"8 December to January", {13, "ATIVA", "MENSAL", "120", "31", "01/01/2023", "", ""}, "10/12/2023",
       "31/01/2024"},
      {"8 due day 30 after January of a common year", {14, "ATIVA", "MENSAL", "120", "30", "01/01/2023", "", ""},
       "02/01/2023", "28/02/2023"},
      {"8 due day within the month", {15, "BLOQUEADA", "MENSAL", "120", "7", "01/01/2024", "", ""}, "28/03/2024",
       "07/04/2024"},
      {"9 value, monthly, no receivable: start date",
       {16, "ATIVA", "MENSAL", "120", "10", "03/02/2024", "31/12/2024", ""}, "", "03/02/2024"},
      {"10 value, no receivable, not monthly: end date",
       {17, "ATIVA", "BIMESTRAL", "120", "10", "03/02/2024", "03/04/2024", ""}, "", "03/04/2024"},
      {"10 without end date: the zero date, no closing date", {18, "ATIVA", "BIMESTRAL", "120", "10", "03/02/2024", "",
                                                              "01/03/2024"},
       "", "30/12/1899"},
      {"situation and form compared with their case: not closed, not monthly",
       {19, "Encerrada", "mensal", "120", "10", "03/02/2024", "05/05/2024", "01/03/2024"}, "10/03/2024",
       "05/05/2024"},
  };
  for (const Caso& c : casos) {
    teste::executaTodas({insere(c.m)});
    if (!c.ultimo.empty()) {
      // An earlier one, the latest, and later ones that do not count: deleted,
      // or of a sale.
      teste::executaTodas({recebimento(c.m.id, "01/01/2020"), recebimento(c.m.id, c.ultimo),
                           recebimento(c.m.id, "01/01/2030", 1, /*excluido=*/true),
                           recebimento(c.m.id, "01/01/2031", 2)});
    }
  }
  CalculaProximaCobranca(kHoje);
  for (const Caso& c : casos) EXPECT_EQ(proxima(c.m.id), c.esperado) << c.nome;
}

TEST_F(CobrancaTest, DeletedEnrolmentsOnlyWithAnOpenReceivableAndExemptedOnesStillCount) {
  teste::executaTodas({
      insere({1, "ATIVA", "MENSAL", "100", "10", "01/01/2024", "", "", /*excluida=*/true}),
      insere({2, "ATIVA", "MENSAL", "100", "10", "01/01/2024", "", "", true}),
      recebimento(2, "05/03/2024"),
      insere({3, "ATIVA", "MENSAL", "100", "10", "01/01/2024", "", "", true}),
      recebimento(3, "05/03/2024", 1, false, /*isentou=*/4),
      recebimento(3, "05/03/2024", 1, /*excluido=*/true),
      // Exempted receivables do not make an enrolment exportable, but their
      // due dates count.
      insere({4, "ATIVA", "MENSAL", "100", "10", "01/01/2024", "", ""}),
      recebimento(4, "05/03/2024"),
      recebimento(4, "05/07/2024", 1, false, 4),
  });
  CalculaProximaCobranca(kHoje);
  EXPECT_EQ(proxima(1), "");
  EXPECT_EQ(proxima(2), "10/04/2024");
  EXPECT_EQ(proxima(3), "");
  EXPECT_EQ(proxima(4), "10/08/2024");
}

TEST_F(CobrancaTest, ADueDayThatGivesNoDateStopsAtItsEnrolment) {
  for (const char* dia : {"Null", "0", "-3"}) {
    SCOPED_TRACE(dia);
    ExecutaSQL("DELETE FROM Matricula");
    teste::executaTodas({
        insere({1, "ATIVA", "MENSAL", "120", "10", "03/02/2024", "", ""}),
        // Its due day is not needed: no failure.
        insere({2, "ATIVA", "ANUAL", "120", dia, "03/02/2024", "03/02/2025", ""}),
        insere({3, "ATIVA", "MENSAL", "0", dia, "03/02/2024", "", ""}),
        insere({4, "ATIVA", "MENSAL", "120", "10", "03/02/2024", "", ""}),
    });
    try {
      CalculaProximaCobranca(kHoje);
      ADD_FAILURE() << "no failure";
    } catch (const ErroBanco& e) {
      EXPECT_NE(std::string(e.what()).find("matr\xED" "cula 3)"), std::string::npos) << e.what();
    }
    EXPECT_EQ(proxima(1), "03/02/2024");
    EXPECT_EQ(proxima(2), "03/02/2025");
    EXPECT_EQ(proxima(3), "");
    EXPECT_EQ(proxima(4), "");
  }
}

}  // namespace
