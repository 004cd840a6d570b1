#include "export/tabelas.h"

#include <stdexcept>
#include <string_view>

#include "db/bd.h"
#include "db/uglobal.h"
#include "common/globais.h"
#include "common/texto.h"
#include "export/cobranca.h"

namespace kor {

namespace {

// Tables whose file holds every row and column, in the stored column order.
constexpr std::string_view kInteiras[] = {
    "Alunos",        "Descontos",          "Empresa",        "Fornecedores",
    "Funcionarios",  "FuncionariosFuncoes", "Online_Modalidades", "Online_Planos",
    "Online_PlanosModalidades", "Online_PlanosValores", "Produtos", "ProdutosCategorias",
};

struct Consulta {
  std::string_view tabela;
  const char* sql;
};

// The other tables' queries. Jet reads text literals between double quotes.
constexpr Consulta kConsultas[] = {
    {"AlunosCreditos",
     "SELECT * FROM AlunosCreditos WHERE CreditoDescontado = False and reciboID in (Select reciboID from Recibos where "
     "reciboCancelado = False)"},
    {"Recebimentos",
     "SELECT * from Recebimentos where (recebFuncIdIsentou = 0) and (recebExcluido = False) and (planoID <> 1) and "
     "(planoID <> 2) and (alunoID in (Select alunoID from Alunos) or (alunoID = 0)) UNION ALL SELECT * from "
     "Recebimentos where (idRelaciona in (Select Matricula.matriculaID from Matricula Group by Matricula.matriculaID)) "
     "and (planoID = 1) and (recebFuncIdIsentou = 0) and (recebExcluido = False) and (alunoID in (Select alunoID from "
     "Alunos)) UNION ALL SELECT * from Recebimentos where (idRelaciona in (Select Vendas.vendaID from Vendas Group by "
     "Vendas.vendaID)) and (idRelaciona in (Select VendasItens.vendaID from VendasItens Group by VendasItens.vendaID)) "
     "and (planoID = 2) and (recebFuncIdIsentou = 0) and (recebExcluido = False) and (alunoID in (Select alunoID from "
     "Alunos) or (alunoID = 0)) Order by Recebimentos.recebID"},
    {"RecibosRecebimentos",
     "SELECT * from RecibosRecebimentos where recebID in (Select Online_RecibosRecebimentos.recebID from "
     "Online_RecibosRecebimentos) and reciboID in (Select reciboID from Recibos where reciboCancelado = False) Order by "
     "RecibosRecebimentos.recebID"},
    {"CartaoParcelas",
     "SELECT CartaoParcelas.Id, CartaoParcelas.reciboID, CartaoParcelas.contaID, CartaoParcelas.parcelaNumero, "
     "CartaoParcelas.parcelaValor, CartaoParcelas.parcelaData, CartaoParcelas.parcelaExcluida, "
     "CartaoParcelas.creditoouDebito, CartaoParcelas.parcelaDataCaixa, CartaoParcelas.parcelaCaixa, "
     "CartaoParcelas.caixaID, CartaoParcelas.parcelasTotal, CartaoParcelas.parcelaTaxa, "
     "CartaoParcelas.parcelaValorFinal, CartaoParcelas.pagoRecorrente, SWITCH (cartaoID = 1, \"Visa\", cartaoID = 2, "
     "\"Master\", cartaoID = 3, \"Amex\",cartaoID = 4, \"Diners\",cartaoID = 5, \"Hipercard\",cartaoID = 6, "
     "\"Aura\",cartaoID = 7, \"Elo\",cartaoID = 2001, \"Visa\", cartaoID = 2002, \"Master\",cartaoID = 2003, "
     "\"Diners\",cartaoID = 2004, \"Discover\",cartaoID = 2005, \"Elo\",cartaoID = 2006, \"Amex\",cartaoID = 2007, "
     "\"JBC\") AS forma FROM CartaoParcelas Where CartaoParcelas.reciboID in (Select "
     "Online_RecibosRecebimentos.reciboID from Online_RecibosRecebimentos)"},
    {"ChequesRecebidos",
     "SELECT ChequesRecebidos.chequeID, ChequesRecebidos.reciboID, ChequesRecebidos.contaID, "
     "ChequesRecebidos.chequeNumero, Format (ChequesRecebidos.chequeBanco, \"#,##000\") AS chequeBanco, "
     "ChequesRecebidos.chequeAgencia, ChequesRecebidos.chequeConta, ChequesRecebidos.chequeValor, "
     "ChequesRecebidos.chequeBomPara, ChequesRecebidos.chequeCompensado, ChequesRecebidos.chequeSemFundo, "
     "ChequesRecebidos.chequeDtCompensacao, ChequesRecebidos.chequeExcluido, ChequesRecebidos.chequeDataCaixa, "
     "ChequesRecebidos.chequeCaixa, ChequesRecebidos.chequeObs, ChequesRecebidos.caixaID FROM ChequesRecebidos WHERE "
     "ChequesRecebidos.chequeExcluido = False and ChequesRecebidos.reciboID in (Select "
     "Online_RecibosRecebimentos.reciboID from Online_RecibosRecebimentos)"},
    {"CieloChamadas",
     "SELECT * FROM CieloChamadas WHERE CieloChamadas.recebID in (Select Online_RecibosRecebimentos.recebID from "
     "Online_RecibosRecebimentos)"},
    {"CieloChamadasRecebimentos",
     "SELECT * FROM CieloChamadasRecebimentos WHERE recebID IN(SELECT CieloChamadas.recebID FROM CieloChamadas) and "
     "CieloChamadasRecebimentos.recebID IN (Select Online_RecibosRecebimentos.recebID from "
     "Online_RecibosRecebimentos)"},
    {"Matricula",
     "SELECT Matricula.matriculaID, Matricula.alunoID, Matricula.modalidadeID, Matricula.descontoID, "
     "Matricula.matriculaNumero, Matricula.matriculaDtInicio, Matricula.matriculaDtFim, Matricula.matriculaDesconto, "
     "(Matricula.matriculaValor + Matricula.matriculaDesconto) AS matriculaValor, Matricula.matriculaForma, "
     "Matricula.matriculaSituacao, Matricula.matriculaDiaVencimento, Matricula.matriculaDtBloqueio, "
     "Matricula.matriculaDtTrancamento, Matricula.matriculaDtEncerramento, Matricula.matriculaMotivoBloqueio, "
     "Matricula.matriculaMotivoEncerramento, Matricula.matriculaMotivoTrancamento, Matricula.matriculaExcluida, "
     "Matricula.matriculaDiasTrancamento, Matricula.matriculaAulas, Matricula.matriculaValorAula, "
     "Matricula.matriculaDtInicioGeral, iif (Len(Matricula.RecorrenteToken) > 36, \"\", Matricula.matriculaRecorrente) "
     "AS matriculaRecorrente, iif (Len(Matricula.RecorrenteToken) > 36, \"\", Matricula.RecorrenteForma) AS "
     "RecorrenteForma, iif (Len(Matricula.RecorrenteToken) > 36, \"\", Matricula.RecorrenteToken) AS RecorrenteToken, "
     "iif (Len(Matricula.RecorrenteToken) > 36, \"\", Matricula.RecorrenteTruncado) AS RecorrenteTruncado, iif "
     "(Len(Matricula.RecorrenteToken) > 36, \"\", Matricula.RecorrenteValidade) AS RecorrenteValidade, iif "
     "(Len(Matricula.RecorrenteToken) > 36, \"\", Matricula.RecorrenteSeguranca) AS RecorrenteSeguranca, "
     "Matricula.ProximaGeracaoCobranca, Modalidades.CodigoPlanoValor AS CodigoPlanoValor FROM Modalidades INNER JOIN "
     "Matricula ON Modalidades.modalidadeID = Matricula.modalidadeID WHERE (Matricula.matriculaID in (Select "
     "Recebimentos.idRelaciona from Recebimentos where Recebimentos.planoID = 1 and Recebimentos.recebFuncIdIsentou = "
     "0 and Recebimentos.recebExcluido = False) or (Matricula.matriculaExcluida = False)) and (Matricula.alunoID in "
     "(Select alunoID from Alunos)) ORDER BY Matricula.matriculaID"},
    {"MatriculaTrancamentos",
     "SELECT * from MatriculaTrancamentos where matriculaID in (Select matriculaID from Matricula where alunoID in "
     "(Select alunoID from Alunos)) AND ((MatriculaTrancamentos.matriculaID in (Select Recebimentos.idRelaciona from "
     "Recebimentos where Recebimentos.planoID = 1 and Recebimentos.recebFuncIdIsentou = 0 and Recebimentos.recebExcluido "
     "= False)) OR matriculaID in (Select matriculaID from Matricula where matriculaExcluida = False))"},
    {"RecebimentosBoletos",
     "SELECT * from RecebimentosBoletos where recebID in (Select recebID from Online_RecibosRecebimentos)"},
    {"Recibos",
     "SELECT Recibos.reciboID, Recibos.funcionarioID, Recibos.formaID, Recibos.reciboData, Recibos.reciboHora, "
     "Recibos.reciboValorPagar, Recibos.reciboValorPago,  Recibos.reciboDesconto, Recibos.reciboHistorico, "
     "Recibos.reciboCancelado, Recibos.pagamentoID, Recibos.reciboObs, Recibos.pagoRecorrente, "
     "CieloChamadas.identificacao AS CieloRetorno, Recibos.CieloChamada FROM CieloChamadas RIGHT JOIN Recibos ON "
     "CieloChamadas.Id = Recibos.CieloChamada Where Recibos.reciboID in (Select Online_RecibosRecebimentos.reciboID "
     "from Online_RecibosRecebimentos) and (Recibos.reciboCancelado = False)"},
    {"VendasItens",
     "SELECT * from VendasItens where VendasItens.vendaID in (Select idRelaciona from Recebimentos where (planoID = 2) "
     "and (recebFuncIdIsentou = 0) and (recebExcluido = False) and (alunoID in (Select alunoID from Alunos) or alunoID "
     "= 0) Group by Recebimentos.idRelaciona) and VendasItens.vendaID in (Select Vendas.vendaID from Vendas)"},
    {"Vendas",
     "SELECT * from Vendas where vendaID in (Select idRelaciona from Recebimentos where (planoID = 2) and "
     "(recebFuncIdIsentou = 0) and (recebExcluido = False) and (alunoID in (Select alunoID from Alunos) or alunoID = 0) "
     "Group by Recebimentos.idRelaciona) and Vendas.vendaID in (Select VendasItens.vendaID from VendasItens)"},
};

}  // namespace

std::string ConsultaDaTabela(const std::string& tabela) {
  if (tabela == "Configuracao") {
    return "SELECT alunoID, alunoMatricula, alunoTemCartao, alunoCartao, alunoEmail from Alunos where alunoEmail = " +
           AspasDuplas(vEmailConta) + " and alunoExcluido = False";
  }
  for (std::string_view t : kInteiras) {
    if (t == tabela) return "SELECT * FROM " + tabela;
  }
  for (const Consulta& c : kConsultas) {
    if (c.tabela == tabela) return c.sql;
  }
  throw std::invalid_argument("not a package table: " + tabela);
}

bool PreparaTabela(const std::string& tabela, TConsulta& qrLista) {
  if (qrLista.Active()) qrLista.Close();
  qrLista.Clear();
  const std::string sql = ConsultaDaTabela(tabela);
  if (!BD().Conexao.TemTabela(tabela == "Configuracao" ? "Alunos" : tabela)) return false;
  if (tabela == "Matricula") {
    CalculaProximaCobranca();
    // Every deleted enrolment ends on its block date or, without one, on its
    // next billing date.
    ExecutaSQL("UPDATE Matricula set matriculaDtFim = matriculaDtEncerramento Where matriculaExcluida = True");
    ExecutaSQL("UPDATE Matricula set matriculaDtFim = matriculaDtBloqueio Where matriculaExcluida = True");
    ExecutaSQL(
        "UPDATE Matricula set matriculaDtFim = ProximaGeracaoCobranca Where matriculaDtFim is null and "
        "matriculaExcluida = True");
  }
  qrLista.SetText(sql);
  qrLista.Open();
  return true;
}

}  // namespace kor
