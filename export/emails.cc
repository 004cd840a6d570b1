#include "export/emails.h"

#include <vector>

#include "common/globais.h"
#include "common/texto.h"
#include "db/bd.h"
#include "db/uglobal.h"
#include "export/arquivo.h"
#include "export/porta.h"

namespace kor {

const char* const kSqlEmailsAlunos =
    "SELECT Alunos.alunoID as Codigo, Alunos.alunoMatricula as Matricula, Alunos.alunoNome as Nome, Alunos.alunoEmail "
    "as Email FROM Alunos WHERE (Alunos.alunoEmail In (SELECT alunoEmail FROM Alunos As Tmp WHERE (alunoEmail<>\"\") "
    "GROUP BY alunoEmail HAVING Count(*)>1 )) ORDER BY Alunos.alunoEmail, Alunos.alunoExcluido DESC, Alunos.alunoID";

const char* const kSqlEmailsFuncionarios =
    "SELECT Funcionarios.funcID as Codigo, Funcionarios.funcNome as Nome, Funcionarios.FuncEmail as Email FROM "
    "Funcionarios WHERE (Funcionarios.FuncEmail In (SELECT FuncEmail FROM Funcionarios As Tmp WHERE "
    "(funcSituacao=\"ATIVO\") AND (funcExcluido=False) AND (funcAcesso=True) GROUP BY FuncEmail HAVING Count(*)>1)) "
    "AND (funcSituacao=\"ATIVO\") AND (funcExcluido=False) AND (funcAcesso=True) ORDER BY Funcionarios.FuncEmail";

namespace {

// Runs the statements as one write (a large academy has thousands of them,
// and each would be flushed on its own). When one fails, the transaction is
// gone: they all run again one by one, each failure ignored, as they would
// have without it.
void executaJuntos(const std::vector<std::string>& sqls) {
  if (sqls.empty()) return;
  try {
    TTransacao transacao(BD().Conexao);
    bool todos = true;
    for (const std::string& sql : sqls) {
      if (ExecutaSQL(sql) != "OK") {
        todos = false;
        break;
      }
    }
    if (todos) {
      transacao.Commit();
      return;
    }
  } catch (const ErroBanco&) {
  }
  for (const std::string& sql : sqls) ExecutaSQL(sql);
}

}  // namespace

void TrataEmailsAlunos(TConsulta& qrVerifica) {
  std::vector<std::string> sqls;
  std::string anterior;
  for (qrVerifica.First(); !qrVerifica.Eof(); qrVerifica.Next()) {
    const std::string email = Minusculas(QuebrasPorEspaco(qrVerifica.FieldByName("Email").AsString()));
    if (email == anterior) {
      sqls.push_back("UPDATE Alunos SET alunoEmail = \"\" WHERE alunoID = " +
                     std::to_string(qrVerifica.FieldByName("Codigo").AsInteger()));
      sqls.push_back("INSERT INTO AlunosEmail (Matricula, Nome, Email) VALUES(" +
                     AspasSimples(qrVerifica.FieldByName("Matricula").AsString()) + "," +
                     AspasSimples(qrVerifica.FieldByName("Nome").AsString()) + "," + AspasSimples(email) + ")");
    }
    anterior = email;
  }
  // The students change only once the query has been read through.
  qrVerifica.Close();
  executaJuntos(sqls);
}

bool VerificaDuplicados(const std::string& sql, const std::string& tabela, Mensagens& mensagens) {
  bool resultado = true;
  try {
    TConsulta qrVerifica(BD().Conexao);
    qrVerifica.ParamCheck = false;
    qrVerifica.SetText(sql);
    qrVerifica.Open();
    if (tabela == "Funcionarios") ++vVerificouFuncionarios;
    if (!qrVerifica.IsEmpty()) {
      if (tabela == "Alunos") {
        ExecutaSQL("CREATE TABLE AlunosEmail (Codigo AutoIncrement, Matricula Number, Nome Text(50), Email Text(70), "
                   "PRIMARY KEY (Codigo))");
        TrataEmailsAlunos(qrVerifica);
      } else {
        qrVerifica.First();
        GeraArquivo(qrVerifica, vPastaExportacao + "/" + tabela + ".txt", tabela, '\t', mensagens);
      }
      resultado = false;
    }
  } catch (const AbortoSilencioso&) {
  } catch (const std::exception&) {
  }
  return resultado;
}

bool VerificaEmails(const std::string& tabela, Mensagens& mensagens) {
  if (tabela == "Alunos") {
    VerificaDuplicados(kSqlEmailsAlunos, tabela, mensagens);
    return true;
  }
  if (tabela == "Funcionarios") return VerificaDuplicados(kSqlEmailsFuncionarios, tabela, mensagens);
  return true;
}

}  // namespace kor
