#include "export/verificacoes.h"

#include "common/texto.h"
#include "db/uglobal.h"
#include "export/porta.h"

namespace kor {

const std::vector<RegraConsistencia>& RegrasConsistencia() {
  static const std::vector<RegraConsistencia> regras = {
      {"Select Count(Id) as Total from CartaoParcelas Where (parcelaValor > 999999) or (parcelaTaxa > 999999) or "
       "(parcelaValorFinal > 999999)",
       "Atenção! Dados incompatíveis em \"CartaoParcelas\"."},
      {"Select Count(chequeID) as Total from ChequesEmitidos Where (chequeValor is null) or (chequeBomPara is null)",
       "Atenção! Dados incompatíveis em \"ChequesEmitidos\"."},
      {"Select Count(chequeID) as Total from ChequesRecebidos Where (chequeValor is null) or (chequeBomPara is null)",
       "Atenção! Dados incompatíveis em \"ChequesRecebidos\"."},
      {"Select Count(chequeID) as Total from ChequesRecebidos Where (chequeBomPara is null) or (IsDate(chequeBomPara) = "
       "False) or (chequeBomPara >= #12/6/9999#) or (YEAR(chequeBomPara) < 2000)",
       "Atenção! Dados incompatíveis no campo \"chequeBomPara\" em \"ChequesRecebidos\"."},
      {"Select Count(chequeID) as Total from ChequesRecebidos Where (chequeDtCompensacao is not null) and "
       "((IsDate(chequeDtCompensacao) = False) or (chequeDtCompensacao >= #12/6/9999#) or (YEAR(chequeDtCompensacao) < "
       "2000))",
       "Atenção! Dados incompatíveis no campo \"chequeDtCompensacao\" em \"ChequesRecebidos\"."},
      {"Select Count(chequeID) as Total from ChequesRecebidos Where (chequeDataCaixa is null) or "
       "(IsDate(chequeDataCaixa) = False) or (chequeDataCaixa >= #12/6/9999#) or (YEAR(chequeDataCaixa) < 2000)",
       "Atenção! Dados incompatíveis no campo \"chequeDataCaixa\" em \"ChequesRecebidos\"."},
      {"Select Count(CreditoID) as Total from AlunosCreditos Where (CreditoValor > 999999 or CreditoValor is null)",
       "Atenção! Dados incompatíveis em \"AlunosCreditos\"."},
      {"Select Count(matriculaID) as Total from Matricula Where (matriculaDesconto > 999999 or matriculaDesconto is "
       "null) or (matriculaValor > 999999 or matriculaValor is null)",
       "Atenção! Dados incompatíveis nos campos moeda em \"Matricula\"."},
      {"Select Count(matriculaID) as Total from Matricula Where (YEAR(matriculaDtFim) < 2000) or (matriculaDtFim >= "
       "#12/6/9999#)",
       "Atenção! Dados incompatíveis no campo \"matriculaDtFim\" em \"Matricula\"."},
      {"Select Count(modalidadeID) as Total from Modalidades Where modalidadeID <> (Select Max(modalidadeID) As MaxID "
       "from Modalidades As Dupe Where (Dupe.modalidadeNome = Modalidades.modalidadeNome))",
       "Atenção! Nomes duplicados em \"Modalidades\"."},
      {"Select Count(modalidadeID) as Total from Modalidades Where modalidadeNome = \"PERSONALIZADO\"",
       "Atenção! Modalidade \"PERSONALIZADO\" não permitida."},
      {"Select Count(CodigoPlano) as Total from Online_Planos Where CodigoPlano <> (Select Max(CodigoPlano) As MaxID "
       "from Online_Planos As Dupe Where (Dupe.Plano = Online_Planos.Plano))",
       "Atenção! Nomes duplicados em \"Online_Planos\"."},
      {"Select Count(recebID) as Total from Recebimentos Where (recebValor > 999999 or recebValor is null) or "
       "(RecebDesconto > 999999 or RecebDesconto is null) or (recebFuncIdIsentou > 999999 or recebFuncIdIsentou is "
       "null)",
       "Atenção! Dados incompatíveis em \"Recebimentos\"."},
      {"Select Count(reciboID) as Total from Recibos Where (reciboValorPagar > 999999) or (reciboValorPago > 999999) or "
       "(reciboDesconto > 999999)",
       "Atenção! Dados incompatíveis em \"Recibos\"."},
      {"Select Count(produtoID) as Total from Produtos Where (produtoCusto > 999999) or (produtoVenda > 999999)",
       "Atenção! Dados incompatíveis em \"Produtos\"."},
      {"Select Count(vendaID) as Total from Vendas Where (vendaValor > 999999)",
       "Atenção! Dados incompatíveis em \"Vendas\"."},
      {"Select Count(itemID) as Total from VendasItens Where (produtoPreco > 999999) or (produtoTotal > 999999) or "
       "(produtoPrecoCusto > 999999)",
       "Atenção! Dados incompatíveis em \"VendasItens\"."},
      {"Select Count(ID) as Total from MatriculaTrancamentos Where DataTrancamento > Now",
       "Atenção! Datas incompatíveis em \"MatriculaTrancamentos\"."},
      {"Select Count(matriculaID) as Total from Matricula Where RecorrenteForma = 0",
       "Atenção! Dados incompatíveis em \"Matricula\"."},
  };
  return regras;
}

void VerificaConsistencia(Mensagens& mensagens) {
  for (const RegraConsistencia& regra : RegrasConsistencia()) {
    if (RetornaTotal(regra.sql) > 0) {
      mensagens.msg_atencao(Utf8ParaWin1252(regra.mensagem));
      throw AbortoSilencioso();
    }
  }
}

void PerguntaContasEmAberto(Mensagens& mensagens) {
  const int32_t abertas =
      RetornaTotal("Select COUNT(recebID) as Total from Recebimentos Where recebPago = False and recebFuncIdIsentou = 0 "
                   "and recebExcluido = False and recebDtVencimento < Now");
  if (abertas <= 0) return;
  const int resposta = mensagens.msg_sn("A base de dados cont\xE9m " + std::to_string(abertas) +
                                        " contas em aberto. Deseja migrar mesmo assim?");
  if (resposta == kRespostaNao) throw AbortoSilencioso();
}

}  // namespace kor
