// The duplicate e-mail checks that open the export run: students sharing an
// address are corrected in the desktop database (one keeps it, the others
// lose it and are recorded in AlunosEmail); active employees with access who
// share an address stop the export, after the report Funcionarios.txt has
// been written into the export folder.
#pragma once

#include <string>

#include "common/mensagens.h"
#include "db/conexao.h"

namespace kor {

// The queries of the two checks (their result columns: Codigo, [Matricula,]
// Nome, Email). Among students of one address, the active ones come first,
// then the lower alunoID: the first row of an address keeps it.
extern const char* const kSqlEmailsAlunos;
extern const char* const kSqlEmailsFuncionarios;

// True when the export may go on: always for "Alunos" (after correcting),
// the answer of VerificaDuplicados for "Funcionarios", true for any other
// name. Never throws.
bool VerificaEmails(const std::string& tabela, Mensagens& mensagens);

// Opens `sql`; false when it found rows. For "Funcionarios" counts the check
// in vVerificouFuncionarios and writes the rows to vPastaExportacao +
// "/Funcionarios.txt"; for "Alunos" corrects the students. A query that
// cannot be opened, or a report that cannot be written (its message shown),
// answers true.
bool VerificaDuplicados(const std::string& sql, const std::string& tabela, Mensagens& mensagens);

// Walks the rows of the student query (open, in its order; closed at the
// end): every row whose lower-case address equals the row before's loses its
// address and gets a row in AlunosEmail.
void TrataEmailsAlunos(TConsulta& qrVerifica);

}  // namespace kor
