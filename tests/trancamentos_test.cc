// The locking history: which locked enrolments get an open lock period, what
// the period holds, and that a second run adds nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apoio.h"
#include "apoio_exportacao.h"
#include "export/trancamentos.h"

namespace {

using namespace kor;
using kor::teste::PastaTemporaria;

class TrancamentosTest : public ::testing::Test {
 protected:
  void SetUp() override {
    teste::criaBancoExportacao(pasta_.path() / "dados.mdb");
    teste::conecta(pasta_.path() / "dados.mdb");
  }
  void TearDown() override { teste::desconecta(); }

  static std::string matricula(int id, const char* situacao, const std::string& motivo, bool excluida = false,
                               const char* data = "#05/10/2024#") {
    return "INSERT INTO Matricula (matriculaID, alunoID, modalidadeID, matriculaSituacao, matriculaDtTrancamento, "
           "matriculaMotivoTrancamento, matriculaExcluida) VALUES (" +
           std::to_string(id) + ", 1, 1, '" + situacao + "', " + data + ", " + motivo + ", " +
           (excluida ? "True" : "False") + ")";
  }
  static std::string periodo(int matricula, const char* inicio, const char* fim) {
    return "INSERT INTO MatriculaTrancamentos (matriculaID, DataTrancamento, DataDestrancamento, TrancadoPor, Motivo) "
           "VALUES (" +
           std::to_string(matricula) + ", " + inicio + ", " + fim + ", 9, 'antigo')";
  }
  static std::vector<std::string> periodos() {
    return teste::linhas(
        "SELECT matriculaID, DataTrancamento, DataDestrancamento, TrancadoPor, Motivo FROM MatriculaTrancamentos "
        "ORDER BY ID");
  }

  PastaTemporaria pasta_{"trancamentos"};
};

TEST_F(TrancamentosTest, EveryExportableLockedEnrolmentEndsWithAnOpenPeriod) {
  teste::executaTodas({
      // Without lock rows: one open period with its lock date and reason.
      matricula(1, "TRANCADA", "\"Viagem d'estudos\""),
      // The newest row closed (an older one open): a new open period.
      matricula(2, "TRANCADA", "'Cirurgia'"),
      periodo(2, "#01/01/2024#", "Null"),
      periodo(2, "#02/01/2024#", "#03/01/2024#"),
      // The newest row open (an older one closed): nothing.
      matricula(3, "TRANCADA", "'Viagem'"),
      periodo(3, "#01/01/2024#", "#01/15/2024#"),
      periodo(3, "#04/01/2024#", "Null"),
      // Deleted without enrolment receivables: nothing; with one: a period.
      matricula(4, "TRANCADA", "'x'", /*excluida=*/true),
      matricula(5, "TRANCADA", "'y'", true),
      "INSERT INTO Recebimentos (planoID, idRelaciona, recebFuncIdIsentou, recebExcluido) VALUES (1, 5, 0, False)",
      // Not locked: nothing. The situation is compared without regard to case.
      matricula(6, "ATIVA", "'z'"),
      matricula(7, "trancada", "Null", false, "Null"),
      // The reason trimmed, its line breaks as blanks.
      matricula(8, "TRANCADA", "\"  Cirurgia\r\nno joelho \r\n\""),
  });
  GravaTrancamentos();
  ReabreTrancamentos();
  const std::vector<std::string> esperado = {
      "2\t01/01/2024\t\t9\tantigo",
      "2\t01/02/2024\t01/03/2024\t9\tantigo",
      "3\t01/01/2024\t15/01/2024\t9\tantigo",
      "3\t01/04/2024\t\t9\tantigo",
      "1\t10/05/2024\t\t0\tViagem d'estudos",
      "5\t10/05/2024\t\t0\ty",
      "7\t30/12/1899\t\t0\t",
      "8\t10/05/2024\t\t0\tCirurgia no joelho",
      "2\t10/05/2024\t\t0\tCirurgia",
  };
  EXPECT_EQ(periodos(), esperado);
  GravaTrancamentos();
  ReabreTrancamentos();
  EXPECT_EQ(periodos(), esperado);
}

}  // namespace
