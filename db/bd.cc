#include "db/bd.h"

namespace kor {

TBD::TBD() : qrBuscaModalidade(Conexao), qrBuscaPlanosValores(Conexao), qrNomePlanos(Conexao) {
  qrBuscaModalidade.Add("Select CodigoModalidade from Online_Modalidades");
  qrBuscaModalidade.Add("Where Modalidade = :P1");
  qrBuscaPlanosValores.Add("Select CodigoPlano from Online_PlanosValores");
  qrBuscaPlanosValores.Add("Where CodigoPlano = :P1 and Meses = :P2");
  qrNomePlanos.Add("Select CodigoPlano from Online_Planos");
  qrNomePlanos.Add("Where Plano = :P1");
}

TBD& BD() {
  static TBD instance;
  return instance;
}

}  // namespace kor
