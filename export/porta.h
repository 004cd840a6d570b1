// What the export run shows the user, as one small port: the message
// dialogs, the progress bar, the result form and opening a folder in the file
// manager. The export window implements it with widgets, exporta-kor prints,
// and tests script it; the run itself is the same code for all three.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "common/mensagens.h"

namespace kor {

// What the result form shows (its FormShow reads the run's variables; see
// ResultadoAtual in export/arquivamento.h). Texts are Windows-1252.
struct ResultadoExportacao {
  // The first view: "Exportação Realizada com Sucesso!" or, when employee
  // duplicates stopped the run, "Verifique os cadastros antes de continuar!".
  std::string mensagem;
  // True when the archive was written: the first button reads "OK" and opens
  // the second panel, "O arquivo para migração foi salvo com o nome" and
  // `arquivo`, the archive's file name between double quotes.
  bool segundoPainel = false;
  std::string arquivo;
};

class PortaExportacao {
 public:
  virtual ~PortaExportacao() = default;
  // The export window's message dialogs.
  virtual Mensagens& mensagens() = 0;
  // The progress bar: its maximum, and its position (which may pass the maximum).
  virtual void progressoMaximo(int maximo) = 0;
  virtual void progresso(int posicao) = 0;
  // Repaints the window between tables (a terminal may print a progress line).
  virtual void repinta() = 0;
  // Shows the result form modally; returns when it is closed.
  virtual void mostraResultado(const ResultadoExportacao& resultado) = 0;
  // Opens a folder (path with trailing separator) in the file manager.
  virtual void abrePasta(const std::string& caminho) = 0;

  // Told after each export table: its name, the rows written (-1 when the
  // database has no such table and no file was written) and the seconds it
  // took. The window shows nothing; exporta-kor prints a progress line.
  virtual void tabelaExportada(const std::string& tabela, int64_t linhas, double segundos) {
    (void)tabela, (void)linhas, (void)segundos;
  }
  // Told after each step of the run other than the tables (checks, locking
  // history, archive...): its name (UTF-8, for a log) and the seconds it took.
  virtual void etapaConcluida(const std::string& etapa, double segundos) { (void)etapa, (void)segundos; }
};

// The silent abort: an action that must stop has shown its one message and
// unwinds to the event loop with nothing more shown. Thrown by the export's
// routines, caught by whoever started the run.
class AbortoSilencioso : public std::exception {
 public:
  const char* what() const noexcept override { return "export stopped"; }
};

}  // namespace kor
