// E-mail addresses as the desktop database compares them: an address typed
// with a trailing blank is the same address, for the export's duplicate
// check and for the account e-mail step's counts, through the system's own
// statement routines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apoio.h"
#include "db/uglobal.h"

namespace {

using namespace kor;
using kor::teste::PastaTemporaria;

TEST(Emails, TrailingBlankMakesNoOtherAddress) {
  PastaTemporaria pasta("emails");
  teste::criaBancoDesktop(pasta.path() / "dados.mdb");
  teste::conecta(pasta.path() / "dados.mdb");
  const char* alunos[] = {
      "(101, 'Ana', 'ana@x.com ', False)",
      "(102, 'Bia', 'ANA@x.com', False)",
      "(103, 'Caio', 'caio@x.com', False)",
      "(104, 'Duda', 'duda@x.com', True)",
      "(105, 'Eva', 'eva@x.com' & Chr(9), False)",
      "(106, 'Fabi', 'eva@x.com', False)",
  };
  for (const char* a : alunos)
    ASSERT_EQ(ExecutaSQL(std::string("INSERT INTO Alunos (alunoMatricula, alunoNome, alunoEmail, alunoExcluido) "
                                     "VALUES ") + a),
              "OK");
  ASSERT_EQ(ExecutaSQL("INSERT INTO Funcionarios (funcNome, funcSituacao, funcAcesso, funcExcluido, funcEmail) "
                       "VALUES ('Zé', 'ATIVO', True, False, 'ana@x.com  ')"),
            "OK");

  // The export's student query finds Ana and Bia as one address; a TAB is
  // part of an address, so Eva and Fabi are two.
  EXPECT_EQ(teste::linhas("SELECT Alunos.alunoID as Codigo, Alunos.alunoMatricula as Matricula, Alunos.alunoNome as "
                          "Nome, Alunos.alunoEmail as Email FROM Alunos WHERE (Alunos.alunoEmail In (SELECT "
                          "alunoEmail FROM Alunos As Tmp WHERE (alunoEmail<>\"\") GROUP BY alunoEmail HAVING "
                          "Count(*)>1 )) ORDER BY Alunos.alunoEmail"),
            (std::vector<std::string>{"1\t101\tAna\tana@x.com ", "2\t102\tBia\tANA@x.com"}));

  // The account e-mail step, typed without the blank: deleted students give
  // it up, and the active student and employee stored with it are found.
  EXPECT_EQ(ExecutaSQL("Update Alunos set alunoEmail = null Where alunoEmail = \"duda@x.com \" And alunoExcluido = True"),
            "OK");
  EXPECT_EQ(RetornaTotal("Select Count(alunoID) as Total from Alunos Where alunoEmail Is Null and alunoMatricula = 104"),
            1);
  EXPECT_EQ(RetornaTotal("Select Count(alunoID) as Total from Alunos Where alunoExcluido = false and alunoEmail = "
                         "\"ana@x.com\""),
            2);
  EXPECT_EQ(RetornaTotal("Select Top 1 Count(funcID) as Total from Funcionarios Where (funcAcesso = True) and "
                         "(funcExcluido = False) and (funcEmail = \"ana@x.com\")"),
            1);
  EXPECT_EQ(teste::linhas("SELECT alunoMatricula, alunoEmail from Alunos where alunoEmail = \"ana@x.com\" and "
                          "alunoExcluido = False"),
            (std::vector<std::string>{"101\tana@x.com ", "102\tANA@x.com"}));
  teste::desconecta();
}

}  // namespace
