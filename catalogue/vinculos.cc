#include "catalogue/vinculos.h"

#include <string>

#include "db/uglobal.h"

namespace kor::catalogo {

int32_t PlanosDaModalidade(int32_t codigoModalidade) {
  return RetornaTotal(
      "Select Count(CodigoModalidade) as Total from Online_PlanosModalidades Where CodigoModalidade = " +
      std::to_string(codigoModalidade));
}

int32_t ModalidadesDoPlano(int32_t codigoPlano) {
  return RetornaTotal("Select Count(CodigoPlano) as Total from Online_PlanosModalidades Where CodigoPlano = " +
                      std::to_string(codigoPlano));
}

int32_t PrecosDoPlano(int32_t codigoPlano) {
  return RetornaTotal("Select Count(CodigoPlanoValor) as Total from Online_PlanosValores Where CodigoPlano = " +
                      std::to_string(codigoPlano));
}

int32_t ModalidadesDoPreco(int32_t codigoPlanoValor) {
  return RetornaTotal("Select Count(CodigoPlanoValor) as Total from Modalidades Where CodigoPlanoValor = " +
                      std::to_string(codigoPlanoValor));
}

}  // namespace kor::catalogo
