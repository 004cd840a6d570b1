// The migration package: the table files of the export folder packed into
// one ZIP archive beside it, the clean-up after packing, and what the result
// form shows.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "export/porta.h"

namespace kor {

struct EntradaZip;

// Builds the migration package while the run writes its files: each file
// handed over is deflated (level 9) on a background thread at once, so the
// deflating of one table overlaps the query of the next; Conclui then deflates
// what is left on every core and writes the archive. Not thread-safe itself:
// one thread calls its methods.
class Compactador {
 public:
  Compactador();
  // Stops the background work; an unfinished archive is simply not written.
  ~Compactador();
  Compactador(const Compactador&) = delete;
  Compactador& operator=(const Compactador&) = delete;

  // A file of vPastaExportacao (bare name), complete: its entry comes next.
  void Adiciona(const std::string& nome);
  // Writes vPastaExportacao + ".kor" as CompactaPasta below says.
  bool Conclui(std::string& erro);

 private:
  void trabalha();
  std::vector<std::unique_ptr<EntradaZip>> entradas_;
  std::deque<EntradaZip*> fila_;
  std::mutex mutex_;
  std::condition_variable sinal_;
  bool parar_ = false;
  std::vector<std::thread> threads_;
};

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
