// The data module: the one connection and the catalogue lookup queries that
// every window shares.
#pragma once

#include "db/conexao.h"

namespace kor {

class TBD {
 public:
  TBD();
  TConexao Conexao;
  TConsulta qrBuscaModalidade;     // CodigoModalidade of an online modality by name
  TConsulta qrBuscaPlanosValores;  // a plan price by plan and months code
  TConsulta qrNomePlanos;          // CodigoPlano of an online plan by name
};

// The single instance, created at start-up before any window.
TBD& BD();

}  // namespace kor
