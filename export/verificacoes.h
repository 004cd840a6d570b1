// The consistency rules the export checks before writing anything: each is
// one counting query, and the first that counts a row stops the run with its
// own message, so that the user fixes the records one problem at a time.
#pragma once

#include <string>
#include <vector>

#include "common/mensagens.h"

namespace kor {

struct RegraConsistencia {
  const char* sql;       // counts the offending rows in its column Total
  const char* mensagem;  // UTF-8 here; shown in Windows-1252
};

// The 19 rules, in the order they run.
const std::vector<RegraConsistencia>& RegrasConsistencia();

// Runs the rules in order. A query that fails counts 0 (a missing table or
// column lets its rule pass). On the first rule that counts rows, shows its
// message in msg_atencao and throws AbortoSilencioso.
void VerificaConsistencia(Mensagens& mensagens);

// Counts the receivables overdue and unpaid (neither exempted nor deleted);
// when there are any, asks whether to migrate all the same. "Não" throws
// AbortoSilencioso; any other answer goes on.
void PerguntaContasEmAberto(Mensagens& mensagens);

}  // namespace kor
