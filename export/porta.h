// What the export run shows the user, as one small port: the message
// dialogs, the progress bar, the result form and opening a folder in the file
// manager. The export window implements it with widgets, exporta-kor prints,
// and tests script it; the run itself is the same code for all three.
#pragma once

#include <exception>
#include <string>

#include "common/mensagens.h"

namespace kor {

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
  // Shows the result form modally with its text; returns when it is closed.
  virtual void mostraResultado(const std::string& texto) = 0;
  // Opens a folder (path with trailing separator) in the file manager.
  virtual void abrePasta(const std::string& caminho) = 0;
};

// The silent abort: an action that must stop has shown its one message and
// unwinds to the event loop with nothing more shown. Thrown by the export's
// routines, caught by whoever started the run.
class AbortoSilencioso : public std::exception {
 public:
  const char* what() const noexcept override { return "export stopped"; }
};

}  // namespace kor
