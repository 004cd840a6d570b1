// The file writer of the export: every package file and the duplicate e-mail
// report are written by GeraArquivo from an open query.
//
// Layout: Windows-1252, no byte-order mark; a header line of the column names
// as the query returns them, then one line per row in the query's order;
// values separated by the separator (TAB), every line ended by CR LF. Each
// value is its field's text form (Brazilian forms of numbers and dates),
// trimmed of blanks and control characters, CR LF replaced by a blank, passed
// through FiltraCaracteres, and then given the fix-ups of its table and
// column (see arquivo.cc).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/mensagens.h"
#include "db/conexao.h"

namespace kor {

// The character filter of the package: keeps blank, digits, letters, the
// punctuation the online service reads, the Portuguese accented letters and
// a few signs; maps some foreign letters to a plain one (Ñ to N, ß to B, ...);
// drops every other character (controls, apostrophe, grave accent,
// circumflex, tilde, the rest of 80-FF). Idempotent.
std::string FiltraCaracteres(std::string_view texto);

// Writes the rows of qrLista (open, on its first row) from the current row to
// the end into the file `caminho`, replacing a file of that name only once
// the new one is complete; `tabela` (compared exactly) selects the fix-ups.
// While Recebimentos and RecibosRecebimentos are written, each row's recebID
// / reciboID, as written, goes into Online_RecibosRecebimentos (a failing
// insert is ignored). Returns the rows written.
//
// On any failure (reading the rows, writing the file) nothing is left at
// `caminho` of the new file: shows "Atenção! Contém dados inválidos para
// exportação!" in mensagens.msg_atencao and throws AbortoSilencioso.
int64_t GeraArquivo(TConsulta& qrLista, const std::string& caminho, const std::string& tabela, char separador,
                    Mensagens& mensagens);

}  // namespace kor
