#include "export/conta.h"

#include "common/globais.h"
#include "common/texto.h"
#include "db/uglobal.h"

namespace kor {

const char* const kMsgEmailConta =
    "Aten\xE7\xE3o! O e-mail deve estar vinculado no cadastro de um funcion\xE1rio e tamb\xE9m de um aluno!";

bool AceitaEmailConta(const std::string& endereco) {
  vEmailConta.clear();
  const std::string email = Trim(endereco);
  // Students whose address was cleared by the duplicate check hold the empty
  // text: an empty address would match them and name no owner at all.
  if (email.empty()) return false;
  const std::string literal = AspasDuplas(email);
  ExecutaSQL("Update Alunos set alunoEmail = null Where alunoEmail = " + literal + " And alunoExcluido = True");
  if (RetornaTotal("Select Count(alunoID) as Total from Alunos Where alunoExcluido = false and alunoEmail = " +
                   literal) <= 0)
    return false;
  if (RetornaTotal("Select Top 1 Count(funcID) as Total from Funcionarios Where (funcAcesso = True) and "
                   "(funcExcluido = False) and (funcEmail = " +
                   literal + ")") <= 0)
    return false;
  vEmailConta = email;
  return true;
}

}  // namespace kor
