// Benchmark of the SQL engine on a large desktop database: the receivables
// extraction query (three UNION ALL blocks with IN subqueries, ordered by
// recebID), the duplicate-name rule (a correlated aggregate subquery), the
// per-enrolment latest-due-date lookup repeated for every enrolment, and a
// full scan. Prints its figures; never fails a test run.
//
//   bench_sql [STUDENTS [FILE]]   (default 50000 students: ~100 000 enrolments, ~1 000 000 receivables)
//
// The database is a sample academy from the generator, written to a temporary
// file and removed at the end; with FILE it is kept there, and an existing
// FILE is used as it is.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "jet/sql/engine.h"
#include "jet/sql/value_ops.h"
#include "jet/storage/database.h"
#include "jet/storage/error.h"
#include "tools/academia.h"

namespace {

using Clock = std::chrono::steady_clock;
double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

}  // namespace

int main(int argc, char** argv) {
  long students = argc > 1 ? std::atol(argv[1]) : 50000;
  std::string path = argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() / "bench_sql.mdb").string();
  const bool keep = argc > 2;
  try {
    if (!keep || !std::filesystem::exists(path)) {
      std::filesystem::remove(path);
      kor::amostra::OpcoesAcademia o;
      o.alunos = students;
      o.pronta = true;
      auto t0 = Clock::now();
      kor::amostra::ResumoAcademia r = kor::amostra::geraAcademia(path, o);
      std::printf("build: %ld students, %lld enrolments, %lld receivables in %.1f s\n", students,
                  static_cast<long long>(r.linhas["Matricula"]), static_cast<long long>(r.linhas["Recebimentos"]),
                  since(t0));
    }
    auto db = jet::Database::open(path, {.password = "lumpa", .writable = false});
    jet::sql::Engine engine(*db);
    const long enrolments = engine.execute("Select Max(matriculaID) from Matricula").rows[0][0].as<int32_t>();

    auto t = Clock::now();
    auto cur = engine.query(
        "SELECT * from Recebimentos where (recebFuncIdIsentou = 0) and (recebExcluido = False) and (planoID <> 1) and "
        "(planoID <> 2) and (alunoID in (Select alunoID from Alunos) or (alunoID = 0)) UNION ALL SELECT * from "
        "Recebimentos where (idRelaciona in (Select Matricula.matriculaID from Matricula Group by "
        "Matricula.matriculaID)) and (planoID = 1) and (recebFuncIdIsentou = 0) and (recebExcluido = False) and "
        "(alunoID in (Select alunoID from Alunos)) UNION ALL SELECT * from Recebimentos where (idRelaciona in (Select "
        "Vendas.vendaID from Vendas Group by Vendas.vendaID)) and (idRelaciona in (Select VendasItens.vendaID from "
        "VendasItens Group by VendasItens.vendaID)) and (planoID = 2) and (recebFuncIdIsentou = 0) and (recebExcluido "
        "= False) and (alunoID in (Select alunoID from Alunos) or (alunoID = 0)) Order by Recebimentos.recebID");
    long n = 0;
    while (cur->next()) ++n;
    double secs = since(t);
    std::printf("receivables extraction: %ld rows in %.3f s = %.0f rows/s (goal: under 2 s)\n", n, secs, n / secs);

    t = Clock::now();
    auto r10 = engine.execute(
        "Select Count(modalidadeID) as Total from Modalidades Where modalidadeID <> (Select Max(modalidadeID) As MaxID "
        "from Modalidades As Dupe Where (Dupe.modalidadeNome = Modalidades.modalidadeNome))");
    std::printf("duplicate-name rule (Modalidades): %.3f s\n", since(t));
    t = Clock::now();
    auto rs = engine.execute(
        "Select Count(alunoID) as Total from Alunos Where alunoID <> (Select Max(alunoID) As MaxID from Alunos As "
        "Dupe Where (Dupe.alunoEmail = Alunos.alunoEmail))");
    std::printf("duplicate-name rule on %ld students: %s duplicates in %.3f s\n", students,
                jet::sql::toText(rs.rows[0][0]).c_str(), since(t));

    t = Clock::now();
    long found = 0;
    for (long i = 1; i <= enrolments; ++i) {
      auto r = engine.execute(
          "Select MAX(recebDtVencimento) as DtVencimento from Recebimentos Where recebExcluido = False and  planoID = 1 "
          "and idRelaciona = :P1",
          {jet::Value(static_cast<int32_t>(i))});
      if (!r.rows[0][0].isNull()) ++found;
    }
    secs = since(t);
    std::printf("per-enrolment lookup x %ld: %ld found in %.3f s = %.1f us each\n", enrolments, found, secs,
                secs * 1e6 / static_cast<double>(enrolments));

    t = Clock::now();
    auto all = engine.query("SELECT * FROM Recebimentos");
    n = 0;
    while (all->next()) ++n;
    secs = since(t);
    std::printf("full scan: %ld rows in %.3f s = %.0f rows/s\n", n, secs, n / secs);
    (void)r10;
  } catch (const jet::Error& e) {
    std::fprintf(stderr, "bench_sql: %s\n", e.what());
    return 1;
  }
  if (!keep) std::filesystem::remove(path);
  return 0;
}
