#include "prepare/preparacao.h"

#include <cstdio>
#include <set>
#include <vector>

#include "common/texto.h"
#include "db/bd.h"
#include "db/uglobal.h"

namespace kor {

namespace {

// Windows-1252: \xDA = Ú.
const char* const kReparos[] = {
    "Update Alunos set alunoSexo = 0 Where alunoSexo is null",
    "Update Alunos set alunoEstadoCivil = null Where alunoEstadoCivil <> \"SOLTEIRO\" and alunoEstadoCivil <> "
    "\"CASADO\" and alunoEstadoCivil <> \"SEPARADO\" and alunoEstadoCivil <> \"DIVORCIADO\" and alunoEstadoCivil "
    "<> \"VI\xDAVO\"",
    "Update Alunos set funcID = 0 Where funcID is null",
    "Update Alunos set alunoDataNascimento = \"00:00:00\" Where Year(alunoDataNascimento) < 1899 or "
    "Year(alunoDataNascimento) > Year(Now)",
    "Update Alunos set alunoCEP = null Where IsNumeric(alunoCEP) = False and alunoCEP <> \"\"",
    "Update CartaoParcelas set cartaoID = 1 Where (cartaoID = 0 or cartaoID is null)",
    "CREATE TABLE Online_Modalidades (CodigoModalidade AutoIncrement, Modalidade Text(30), PRIMARY KEY "
    "(CodigoModalidade))",
    "CREATE TABLE Online_Planos (CodigoPlano AutoIncrement, Plano Text(50), Tipo Text(1), Situacao Text(1), "
    "PRIMARY KEY (CodigoPlano))",
    "CREATE TABLE Online_PlanosModalidades(CodigoPlano Number, CodigoModalidade Number, PRIMARY KEY "
    "(CodigoPlano,CodigoModalidade))",
    "CREATE TABLE Online_PlanosValores (CodigoPlanoValor AutoIncrement, CodigoPlano Number, Meses Number, Valor "
    "Currency, Situacao Text(1), PRIMARY KEY (CodigoPlanoValor))",
    "DROP TABLE Online_RecibosRecebimentos",
    "CREATE TABLE Online_RecibosRecebimentos (recebID Number, reciboID Number)",
    "ALTER TABLE Matricula ADD ProximaGeracaoCobranca Date",
    "ALTER TABLE Modalidades ADD CodigoPlanoValor Number",
    "Update Modalidades set CodigoPlanoValor = 0 Where CodigoPlanoValor is null",
    "UPDATE Matricula set matriculaDtFim = matriculaDtEncerramento Where matriculaSituacao = \"ENCERRADA\"",
    nullptr,  // the long statement, below
    "UPDATE CieloChamadas set Hora = \"23:59:00\" Where Hora = #30/12/1899#",
    "UPDATE ChequesRecebidos set chequeCompensado = True Where chequeBomPara <= now",
    "UPDATE ChequesRecebidos set chequeDtCompensacao = chequeBomPara where chequeCompensado = True and "
    "chequeDtCompensacao is null",
    "UPDATE Recibos set formaID = 1 WHERE formaID is null",
    "UPDATE Recibos set reciboData = #14/07/2004# WHERE (IsDate(reciboData) = False) or (reciboData is null) or "
    "(reciboData >= #12/6/9999#)",
    "UPDATE Recibos set reciboData = #14/07/2004# WHERE (YEAR(reciboData) < 2000)",
    "UPDATE Recibos set reciboHora = \"23:59:00\" Where reciboHora = #30/12/1899#",
    "UPDATE Recibos set reciboValorPagar = reciboValorPago Where (reciboValorPagar is null) or (reciboValorPagar =0)",
    "UPDATE Recibos set reciboValorPago = reciboValorPagar Where reciboValorPago is null",
    "UPDATE Recibos set reciboDesconto = 0 Where reciboDesconto is null",
    "UPDATE Recibos set reciboHistorico = \"PAGAMENTO\" Where reciboHistorico is null",
    "UPDATE Matricula set matriculaDtInicio = #14/07/2004# WHERE (IsDate(matriculaDtInicio) = False) or "
    "(matriculaDtInicio is null) or (matriculaDtInicio >= #12/6/9999#)",
    "UPDATE Matricula set matriculaDtInicio = #14/07/2004# WHERE (YEAR(matriculaDtInicio) < 2000)",
    "UPDATE Recebimentos set recebDtVencimento = #14/07/2004# WHERE (IsDate(recebDtVencimento) = False) or "
    "(recebDtVencimento is null) or (recebDtVencimento >= #12/6/9999#)",
    "UPDATE Recebimentos set recebDtVencimento = #14/07/2004# WHERE (YEAR(recebDtVencimento) < 2000)",
    "UPDATE Recebimentos set recebDtEmissao = recebDtVencimento WHERE (IsDate(recebDtEmissao) = False) or "
    "(recebDtEmissao is null) or (recebDtEmissao >= #12/6/9999#)",
    "UPDATE Recebimentos set recebDtEmissao = recebDtVencimento WHERE (YEAR(recebDtEmissao) < 2000)",
    "UPDATE Recebimentos set recebMulta = 0 WHERE recebMulta is null",
    "UPDATE Vendas set vendaData = #14/07/2004# WHERE (IsDate(vendaData) = False) or (vendaData is null) or "
    "(vendaData >= #12/6/9999#)",
    "UPDATE Vendas set vendaData = #14/07/2004# WHERE (YEAR(vendaData) < 2000)",
    "UPDATE Vendas set vendaHora = \"23:59:00\" Where vendaHora = #30/12/1899#",
    "UPDATE Vendas set funcID = 1 Where funcID = 0 or funcID is null",
    "UPDATE Vendas set funcVendedor = funcID Where funcVendedor = 0 or funcVendedor is null",
    "UPDATE Funcionarios set funcaoID = 0 Where funcaoID not in (Select FuncionariosFuncoes.funcaoID from "
    "FuncionariosFuncoes)",
};

const char* const kLonga =
    "UPDATE Recebimentos SET recebExcluido = True WHERE (recebID in (SELECT Recebimentos.recebID FROM Recebimentos "
    "LEFT JOIN RecibosRecebimentos ON Recebimentos.[recebID] = RecibosRecebimentos.[recebID]"
    " WHERE (((RecibosRecebimentos.recebID) Is Null)) and (Recebimentos.recebPago = true) and "
    "(Recebimentos.recebFuncIdIsentou = 0) and (Recebimentos.recebExcluido = false)))";

// ExecutaSQL, also telling the observer how many rows changed.
void executa(const std::string& sql, const ObservadorPreparacao& observador) {
  if (!observador) {
    ExecutaSQL(sql);
    return;
  }
  int64_t linhas = -1;
  std::string status;
  try {
    TComando cmd(BD().Conexao);
    cmd.ParamCheck = false;
    cmd.CommandText = sql;
    linhas = cmd.Execute();
    status = "OK";
  } catch (const std::exception& e) {
    status = e.what();
  }
  observador(sql, status, linhas);
}

}  // namespace

void AtualizaBanco(const ObservadorPreparacao& observador, const std::function<void()>& antesDaLonga) {
  try {
    for (const char* sql : kReparos) {
      if (sql) {
        executa(sql, observador);
        continue;
      }
      if (antesDaLonga) antesDaLonga();
      executa(kLonga, observador);
    }
    // Employees without a valid job get the job "OUTROS", created once.
    int32_t semFuncao =
        RetornaTotal("SELECT COUNT(funcID) as Total from Funcionarios Where (funcaoID = 0) or (funcaoID is null)");
    if (semFuncao <= 0) return;
    int32_t funcao =
        RetornaTotal("SELECT MAX(funcaoID) as Total from FuncionariosFuncoes Where funcaoDescricao = \"OUTROS\"");
    if (funcao <= 0) {
      executa("INSERT INTO FuncionariosFuncoes (funcaoDescricao) VALUES (\"OUTROS\")", observador);
      funcao = RetornaTotal("SELECT MAX(funcaoID) as Total from FuncionariosFuncoes");
    }
    executa("UPDATE Funcionarios set funcaoID = " + std::to_string(funcao) +
                " Where (funcaoID = 0) or (funcaoID is null)",
            observador);
  } catch (...) {
    // The step is guarded: whatever escapes it ends it silently.
  }
}

void ConverteModalidades(const ObservadorPreparacao& observador) {
  TConsulta qrMatricula(BD().Conexao);
  qrMatricula.Add("Select modalidadeID, matriculaForma from Matricula");
  qrMatricula.Add("Where modalidadeID in (Select modalidadeID from Modalidades where modalidadePlano = 0)");
  qrMatricula.Add("Group by modalidadeID, matriculaForma");
  qrMatricula.Add("Order by modalidadeID");
  TConsulta qrDetalhes(BD().Conexao);
  qrDetalhes.Add("Select * from Modalidades");
  qrDetalhes.Add("Where modalidadeID = :P1");

  // Legacy modalities whose enrolments without a form have been moved.
  std::set<int32_t> semForma;

  qrMatricula.Open();
  qrMatricula.First();
  for (; !qrMatricula.Eof(); qrMatricula.Next()) {
    int32_t m = qrMatricula.FieldByName("modalidadeID").AsInteger();
    std::string f = qrMatricula.FieldByName("matriculaForma").AsString();
    // A missing form (Null) and an empty one are one form: their groups come
    // apart from the query, but they get one modality between them (two
    // would carry the same name, which the export refuses).
    const bool formaVazia = f.empty();
    if (formaVazia && !semForma.insert(m).second) continue;

    qrDetalhes.Close();
    qrDetalhes.SetParametro(0, m);
    qrDetalhes.Open();

    std::string digitos = ManterCaracteres(f, Digitos());
    int p = kPlanoFormaDesconhecida;
    static const char* const kNomes[] = {"MENSAL", "BIMESTRAL", "TRIMESTRAL", "QUADRIMESTRAL", "SEMESTRAL", "ANUAL"};
    // Compared as the database compares text (ignoring case), since the
    // group and the enrolments moved below are chosen that way: "trimestral"
    // and "TRIMESTRAL" are one group and must get the quarterly code.
    std::string maiusculas = f;
    for (char& ch : maiusculas)
      if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    for (int i = 0; i < 6; ++i) {
      if (maiusculas == kNomes[i]) p = i + 1;
    }
    // The empty form is matched as Null too, so those enrolments move as well.
    std::string formaIgual =
        formaVazia ? "(matriculaForma is null or matriculaForma = '')" : "matriculaForma = " + AspasSimples(f);
    int32_t preco = RetornaTotal("Select (matriculaValor + matriculaDesconto) as Total from Matricula Where " +
                                 formaIgual + " and modalidadeID = " + std::to_string(m));

    char codigo[16];
    std::snprintf(codigo, sizeof codigo, "%04d", qrDetalhes.FieldByName("modalidadeID").AsInteger());
    std::string nome = "[" + std::string(codigo) + "] " + qrDetalhes.FieldByName("modalidadeNome").AsString() +
                       " - " + f;
    if (nome.size() > 50) nome.resize(50);

    std::string sql =
        "INSERT INTO Modalidades (modalidadeNome, modalidadeMensal, modalidadeExcluida, modalidadePlano, "
        "modalidadeMeses, CodigoPlanoValor) VALUES (" +
        AspasSimples(nome) + "," + std::to_string(preco);
    if (digitos.empty()) sql += ", True, " + std::to_string(p) + ", 0, 0 )";
    else sql += ", True, 7," + AspasSimples(digitos) + ", 0 )";
    const char* const kUltima = "Select Max(modalidadeID) as Total from Modalidades";
    const int32_t antes = RetornaTotal(kUltima);
    executa(sql, observador);
    int32_t n = RetornaTotal(kUltima);
    // When the new modality was not written, the highest code is some other
    // modality: the enrolments stay where they are (the next start tries
    // again) rather than move to it.
    if (n == antes) continue;
    executa("UPDATE Matricula set modalidadeID = " + std::to_string(n) + " where modalidadeID = " +
                std::to_string(m) + " and " + formaIgual,
            observador);
  }
  qrMatricula.Close();
  qrDetalhes.Close();
}

}  // namespace kor
