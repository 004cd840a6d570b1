// The statement routines through which almost every ad-hoc statement runs,
// and the catalogue lookups.
#pragma once

#include <cstdint>
#include <string>

namespace kor {

// Runs one statement (read without parameters, so "23:59:00" stays text).
// Returns "OK", or the engine's message; never throws.
std::string ExecutaSQL(const std::string& sql);

// Runs a one-row query and returns its column "Total" as an integer (a
// fraction rounded half to even); 0 on no row, Null, or any failure.
int32_t RetornaTotal(const std::string& sql);

// The code of the online modality / plan with this name, 0 when none; the
// plan code when a price row of that plan and months code exists, 0 when not.
// Engine errors propagate (as ErroBanco).
int32_t BuscaCodigoModalidade(const std::string& nome);
int32_t BuscaCodigoPlano(const std::string& nome);
int32_t BuscaPlanoValor(int32_t codigoPlano, int32_t meses);

}  // namespace kor
