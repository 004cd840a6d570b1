// The hand-off variables through which the windows pass their context: one
// instance each, zero or empty at program start.
#pragma once

#include <cstdint>
#include <string>

namespace kor {

inline int32_t vModo = 0;              // mode for a catalogue dialog: 1 create, 2 alter
inline int32_t vCodigo = 0;            // code of the record an action works on
inline int32_t vCodigoPlano = 0;       // plan code for the plan dialogs; chosen price in the link dialog
inline int32_t vCodigoModalidade = 0;  // online modality of a plan-modality link being removed
inline uint8_t vGravou = 0;            // 1 when a dialog wrote to the database
inline uint8_t vTemPlano = 0;          // 1 once wizard page 2 has had a plan to select
inline std::string vTipoPlano;         // "M" or "D", the type of the selected plan
inline int32_t vPlanoDesktop = 0;      // desktop periodicity of a bulk link
inline int32_t vMesesDesktop = 0;
inline std::string vEmailConta;        // account e-mail accepted before the export
inline uint8_t vExportou = 0;          // 1 once the archive exists
inline std::string vPastaExportacao;   // export folder, without trailing separator
inline std::string vNomeEmpresa;       // folder token from the trade name
inline int vDuplicados = 0;            // checked tables whose duplicate e-mails stop the export
inline int vVerificouFuncionarios = 0; // times the employee e-mail check ran in this run

// Empties the text variables (at program end) and zeroes the others.
inline void LimpaGlobais() {
  vModo = vCodigo = vCodigoPlano = vCodigoModalidade = 0;
  vGravou = vTemPlano = vExportou = 0;
  vPlanoDesktop = vMesesDesktop = 0;
  vDuplicados = vVerificouFuncionarios = 0;
  vTipoPlano.clear();
  vEmailConta.clear();
  vPastaExportacao.clear();
  vNomeEmpresa.clear();
}

}  // namespace kor
