// The export run: from the prepared desktop database to the migration
// package. It names and prepares the export folder, checks for duplicate
// e-mails and incompatible data, completes the locking history, writes one
// TAB-delimited file per table, packs them into the archive and removes the
// folder. It talks to the user only through its port, so the export window
// and exporta-kor run the same code.
#pragma once

#include <string>
#include <vector>

#include "export/porta.h"

namespace kor {

// The tables whose e-mails are checked for duplicates, in order.
const std::vector<std::string>& TabelasVerificacaoEmail();

// The folder token of a trade name: its letters and digits (A-Z, a-z, 0-9),
// upper case, at most 16.
std::string TokenEmpresa(const std::string& nomeFantasia);

// <instalacao>/migracao_<token>_sistema.
std::string PastaExportacao(const std::string& instalacao, const std::string& token);

// Deletes every file (not subfolders) directly in `pasta` (with or without a
// trailing separator), stopping at the first that cannot be deleted; true
// when all went (or there were none).
bool LimpaPasta(const std::string& pasta);

// Empties vPastaExportacao when it is a folder, creates it (one level)
// otherwise. Failures are ignored (writing the files reports them).
void PreparaPasta();

// The run, on the database of the data module's connection, with the export
// folder inside `instalacao`. Returns true when the run went to its end (the
// export window then closes; vExportou tells whether the archive was
// written), false when it stopped after showing its one message (the window
// stays open and the run can start again). Engine errors that no step
// handles are shown in msg_atencao with the engine's text.
bool btExportarClick(PortaExportacao& porta, const std::string& instalacao);

}  // namespace kor
