// The link rules of the catalogue, as counts: a modality that a plan includes,
// a plan that includes modalities or has prices, and a price that a desktop
// modality points to cannot be deleted; a modality cannot leave a plan that
// has prices, and a plan's kind cannot change while it has prices (their
// counts would be read as the other kind's).
#pragma once

#include <cstdint>

namespace kor::catalogo {

// Plans that include the modality.
int32_t PlanosDaModalidade(int32_t codigoModalidade);
// Modalities the plan includes.
int32_t ModalidadesDoPlano(int32_t codigoPlano);
// Prices of the plan.
int32_t PrecosDoPlano(int32_t codigoPlano);
// Desktop modalities linked to the price.
int32_t ModalidadesDoPreco(int32_t codigoPlanoValor);

}  // namespace kor::catalogo
