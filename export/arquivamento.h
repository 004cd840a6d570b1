// The migration package: the table files of the export folder packed into
// one ZIP archive beside it, the clean-up after packing, and what the result
// form shows.
#pragma once

#include <string>
#include <vector>

#include "export/porta.h"

namespace kor {

// Packs `arquivos` (bare names of files in vPastaExportacao) into
// vPastaExportacao + ".kor": standard deflated entries at level 9 under the
// bare names, in the order given. The archive is written under a temporary
// name and takes its own name only when complete, so an archive left by an
// earlier run is replaced whole and never half-written. Sets vExportou to 1
// on success; on failure returns false with the reason in `erro` (UTF-8),
// removes the temporary file and leaves vExportou and any older archive as
// they were.
bool CompactaPasta(const std::vector<std::string>& arquivos, std::string& erro);

// Removes the export folder with everything in it (never following a link
// out of it) and drops Online_RecibosRecebimentos. Reports nothing.
void LimpaExportacao();

// What the result form shows now, from vExportou, vDuplicados and
// vNomeEmpresa.
ResultadoExportacao ResultadoAtual();

}  // namespace kor
