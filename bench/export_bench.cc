// Benchmark of the whole export on ready sample academies: the start-up's
// preparation and then the export run (duplicate e-mails, consistency rules,
// locking history, the 26 table files, the archive, the clean-up), with the
// time of each step and table, the peak memory of the process, and, for
// comparison, the time mdb-export takes to dump the same source tables.
// Prints its figures; never fails a test run.
//
//   bench_export [STUDENTS...] [--data DIR]    (default 5000 50000; DIR default /work/bench-data)
//
// Each academy is generated once as DIR/expa-academia-pronta-N.mdb and kept;
// every run works on a copy of it in a temporary folder, removed at the end.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/inicio.h"
#include "common/globais.h"
#include "common/mensagens.h"
#include "common/texto.h"
#include "db/bd.h"
#include "export/conta.h"
#include "export/exportacao.h"
#include "export/tabelas.h"
#include "tools/academia.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

double cpu() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

long peakMB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024;
}

// Answers "Sim", prints every message and every step with its wall time
// and the process's CPU time since the step before (the machine may be
// shared: CPU time shows the work itself).
class PortaBench : public kor::PortaExportacao {
 public:
  double cpu_ = cpu();
  kor::Mensagens& mensagens() override { return mensagens_; }
  void progressoMaximo(int) override {}
  void progresso(int) override {}
  void repinta() override {}
  void mostraResultado(const kor::ResultadoExportacao&) override {}
  void abrePasta(const std::string&) override {}
  void tabelaExportada(const std::string& tabela, int64_t linhas, double segundos) override {
    std::printf("    %-28s %9lld rows %7.2f s  cpu %6.2f s\n", tabela.c_str(), static_cast<long long>(linhas), segundos,
                cpuStep());
    tabelas_ += segundos;
  }
  void etapaConcluida(const std::string& etapa, double segundos) override {
    std::printf("  %-32s %7.2f s  cpu %6.2f s\n", etapa.c_str(), segundos, cpuStep());
  }
  double cpuStep() {
    double now = cpu(), d = now - cpu_;
    cpu_ = now;
    return d;
  }
  kor::MensagensRoteiro mensagens_;
  double tabelas_ = 0;
};

// Seconds mdb-export takes to dump the tables to /dev/null, one after another.
double mdbExport(const std::string& mdb, const std::vector<std::string>& tables) {
  auto t = Clock::now();
  for (const std::string& table : tables) {
    std::string cmd = "mdb-export '" + mdb + "' '" + table + "' > /dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) std::printf("  (mdb-export failed on %s)\n", table.c_str());
  }
  return since(t);
}

void bench(long students, const fs::path& data) {
  const fs::path model = data / ("expa-academia-pronta-" + std::to_string(students) + ".mdb");
  std::string email;
  if (!fs::exists(model)) {
    fs::create_directories(data);
    kor::amostra::OpcoesAcademia o;
    o.alunos = students;
    o.pronta = true;
    auto t = Clock::now();
    email = kor::amostra::geraAcademia(model.string(), o).emailConta;
    std::printf("generated %s in %.1f s\n", model.c_str(), since(t));
  }
  const fs::path dir = fs::temp_directory_path() / ("bench_export_" + std::to_string(students) + "_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy_file(model, dir / "dados.mdb");
  std::printf("== %ld students (%.0f MB database)\n", students, fs::file_size(model) / 1048576.0);

  kor::MensagensRoteiro msgs;
  auto total = Clock::now();
  auto t = Clock::now();
  const double cpu0 = cpu();
  if (!kor::PreparaInicio(dir.string(), msgs)) {
    std::printf("  start-up failed\n");
    return;
  }
  const double preparation = since(t);
  std::printf("  %-32s %7.2f s  cpu %6.2f s\n", "start-up preparation", preparation, cpu() - cpu0);
  if (email.empty()) {
    kor::TConsulta q(kor::BD().Conexao);
    q.SetText("Select Top 1 funcEmail from Funcionarios Where funcAcesso = True and funcExcluido = False and funcEmail "
              "in (Select alunoEmail from Alunos Where alunoExcluido = False) Order by funcID");
    q.Open();
    if (!q.Eof()) email = q.Fields(0).AsString();
  }
  if (!kor::AceitaEmailConta(email)) {
    std::printf("  account e-mail refused\n");
    return;
  }
  PortaBench porta;
  t = Clock::now();
  const double cpu1 = cpu();
  const bool ok = kor::btExportarClick(porta, dir.string());
  const double run = since(t);
  const double whole = since(total);
  for (const auto& m : porta.mensagens_.exibidas())
    std::printf("  [%s] %s\n", m.dialogo.c_str(), kor::Win1252ParaUtf8(m.texto).c_str());
  const std::string package = kor::vPastaExportacao + ".kor";
  const double cpu2 = cpu();
  std::printf("  %-32s %7.2f s  cpu %6.2f s (tables %.2f s)%s\n", "export run", run, cpu2 - cpu1, porta.tabelas_,
              ok ? "" : "  STOPPED");
  std::printf("  %-32s %7.2f s  cpu %6.2f s\n", "whole (preparation included)", whole, cpu2 - cpu0);
  if (fs::exists(package)) std::printf("  package %.1f MB\n", fs::file_size(package) / 1048576.0);
  std::printf("  peak memory (getrusage)          %5ld MB\n", peakMB());
  kor::BD().Conexao.Close();

  // The source tables of the package, read by mdb-export from the model.
  std::vector<std::string> tables;
  for (const std::string table : kor::kTabelasExportacao)
    if (table != "Configuracao") tables.push_back(table);
  rusage before{}, after{};
  getrusage(RUSAGE_CHILDREN, &before);
  const double dump = mdbExport(model.string(), tables);
  getrusage(RUSAGE_CHILDREN, &after);
  auto secs = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
  const double dumpCpu = secs(after.ru_utime) + secs(after.ru_stime) - secs(before.ru_utime) - secs(before.ru_stime);
  std::printf("  mdb-export of the same %zu tables %7.2f s  cpu %6.2f s\n", tables.size(), dump, dumpCpu);
  std::printf("  export / mdb-export: wall %.2f, cpu %.2f\n", whole / dump, (cpu2 - cpu0) / dumpCpu);
  kor::LimpaGlobais();
  fs::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes;
  fs::path data = "/work/bench-data";
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--data" && i + 1 < argc) data = argv[++i];
    else sizes.push_back(std::atol(argv[i]));
  }
  if (sizes.empty()) sizes = {5000, 50000};
  try {
    for (long n : sizes) bench(n, data);
  } catch (const std::exception& e) {
    std::printf("bench_export: %s\n", e.what());
  }
  return 0;
}
