// The account e-mail check: the address must be held by an active student
// and by an active employee with access.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apoio.h"
#include "common/globais.h"
#include "common/texto.h"
#include "db/uglobal.h"
#include "export/conta.h"

namespace {

using namespace kor;
using kor::teste::PastaTemporaria;

class ContaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    teste::criaBancoDesktop(pasta_.path() / "dados.mdb");
    teste::conecta(pasta_.path() / "dados.mdb");
    vEmailConta = "antigo";
  }
  void TearDown() override {
    teste::desconecta();
    vEmailConta.clear();
  }
  static void aluno(const std::string& email, bool excluido) {
    ASSERT_EQ(ExecutaSQL("INSERT INTO Alunos (alunoNome, alunoEmail, alunoExcluido) VALUES ('A', " +
                         AspasSimples(email) + ", " + (excluido ? "True" : "False") + ")"),
              "OK");
  }
  static void funcionario(const std::string& email, bool acesso, bool excluido = false) {
    ASSERT_EQ(ExecutaSQL("INSERT INTO Funcionarios (funcNome, funcSituacao, funcEmail, funcAcesso, funcExcluido) "
                         "VALUES ('F', 'ATIVO', " +
                         AspasSimples(email) + ", " + (acesso ? "True" : "False") + ", " +
                         (excluido ? "True" : "False") + ")"),
              "OK");
  }
  PastaTemporaria pasta_{"conta"};
};

TEST_F(ContaTest, AcceptsAnAddressOfAnActiveStudentAndAnActiveEmployeeWithAccess) {
  aluno("dono@academia.com", false);
  funcionario("dono@academia.com", true);
  aluno("so.aluno@academia.com", false);
  funcionario("so.aluno@academia.com", false);         // no access
  aluno("excluido@academia.com", false);
  funcionario("excluido@academia.com", true, true);    // deleted employee
  funcionario("so.func@academia.com", true);

  EXPECT_TRUE(AceitaEmailConta("  dono@academia.com \t"));
  EXPECT_EQ(vEmailConta, "dono@academia.com");
  for (const char* recusado : {"so.aluno@academia.com", "excluido@academia.com", "so.func@academia.com",
                               "outro@academia.com"}) {
    EXPECT_FALSE(AceitaEmailConta(recusado)) << recusado;
    EXPECT_EQ(vEmailConta, "") << recusado;
  }
}

TEST_F(ContaTest, DeletedStudentsGiveTheAddressUpWhateverTheOutcome) {
  aluno("velho@academia.com", true);
  aluno("velho@academia.com", true);
  funcionario("velho@academia.com", true);
  EXPECT_FALSE(AceitaEmailConta("velho@academia.com"));
  EXPECT_EQ(teste::linhas("Select alunoEmail from Alunos"), (std::vector<std::string>{"", ""}));
  EXPECT_EQ(teste::linhas("Select Count(*) from Alunos Where alunoEmail is null"), std::vector<std::string>{"2"});
}

TEST_F(ContaTest, QuotesInTheAddressAreOneValueNotSQL) {
  aluno("a\"b@academia.com", false);
  funcionario("a\"b@academia.com", true);
  aluno("x@academia.com", false);
  funcionario("x@academia.com", true);
  EXPECT_TRUE(AceitaEmailConta("a\"b@academia.com"));
  EXPECT_EQ(vEmailConta, "a\"b@academia.com");
  // Concatenated unchanged, this would match every row.
  EXPECT_FALSE(AceitaEmailConta("nada\" or \"1\"=\"1"));
  EXPECT_FALSE(AceitaEmailConta("nada' or '1'='1"));
}

TEST_F(ContaTest, AnEmptyOrBlankAddressIsRefusedBeforeAnyStatement) {
  // The duplicate correction leaves "" in students; an employee may hold "".
  aluno("", false);
  aluno("", true);
  funcionario("", true);
  for (const char* vazio : {"", "   ", "\t \r\n"}) {
    EXPECT_FALSE(AceitaEmailConta(vazio));
    EXPECT_EQ(vEmailConta, "");
  }
  // The deleted student still holds "": no update ran.
  EXPECT_EQ(teste::linhas("Select Count(*) from Alunos Where alunoEmail = ''"), std::vector<std::string>{"2"});
}

}  // namespace
