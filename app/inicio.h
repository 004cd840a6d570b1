// Start-up: the one-time backup of the desktop database, the connection, and
// the preparation the wizard runs when it is first shown. Everything takes
// the installation folder as a value, so tests and the headless command can
// work on any folder.
#pragma once

#include <string>

#include "common/mensagens.h"
#include "prepare/preparacao.h"

namespace kor {

std::string CaminhoBanco(const std::string& instalacao);  // <folder>/dados.mdb
std::string CaminhoBackup(const std::string& instalacao); // <folder>/Backup/dadosMigracaoOnline.mdb
// The connection string naming the database and its password.
std::string StringConexao(const std::string& instalacao);

// Makes the backup copy once: when it does not exist yet (only a file counts
// as the backup), the database is copied under a temporary name into the
// Backup folder (created when missing), flushed to the disk and renamed when
// complete. Returns false, after telling the user
// in msg_atencao, when the copy cannot be made: the caller must then end
// without changing the database. A missing database needs no backup (the
// connection reports it).
bool FazBackup(const std::string& instalacao, Mensagens& mensagens);

// Opens the connection of the data module. On failure shows the connection
// message in msg_atencao and returns false.
bool ConectaBanco(const std::string& instalacao, Mensagens& mensagens);

// The whole start-up sequence before the wizard's grids: backup, connection,
// repairs and schema, legacy modality conversion. False when start-up must
// end the program (the message was shown). Engine errors of the conversion
// propagate (as ErroBanco).
bool PreparaInicio(const std::string& instalacao, Mensagens& mensagens, const ObservadorPreparacao& observador = {});

}  // namespace kor
