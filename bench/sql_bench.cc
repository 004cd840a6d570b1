// Benchmark of the SQL engine on a large desktop database: the receivables
// extraction query (three UNION ALL blocks with IN subqueries, ordered by
// recebID), the duplicate-name rule (a correlated aggregate subquery), the
// per-enrolment latest-due-date lookup repeated for every enrolment, and a
// full scan. Prints its figures; never fails a test run.
//
//   bench_sql [STUDENTS [ENROLMENTS [RECEIVABLES]]]   (default 50000 100000 1000000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "jet/sql/engine.h"
#include "jet/sql/value_ops.h"
#include "jet/storage/database.h"
#include "jet/storage/error.h"

namespace {

using Clock = std::chrono::steady_clock;
double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

void runSchema(jet::sql::Engine& e, const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  std::string text, line;
  std::istringstream lines(ss.str());
  while (std::getline(lines, line)) {
    size_t c = line.find("--");
    text += (c == std::string::npos ? line : line.substr(0, c)) + "\n";
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    std::string stmt = text.substr(start, end - start);
    if (stmt.find_first_not_of(" \t\r\n") != std::string::npos) e.execute(stmt);
    start = end + 1;
  }
}

std::vector<jet::Value> row(const jet::TableDef& def) { return std::vector<jet::Value>(def.columns.size()); }
int col(const jet::TableDef& def, const char* name) {
  for (size_t i = 0; i < def.columns.size(); ++i)
    if (jet::foldName(def.columns[i].name) == jet::foldName(name)) return static_cast<int>(i);
  throw jet::Error(std::string("no column ") + name);
}

}  // namespace

int main(int argc, char** argv) {
  long students = argc > 1 ? std::atol(argv[1]) : 50000;
  long enrolments = argc > 2 ? std::atol(argv[2]) : 100000;
  long receivables = argc > 3 ? std::atol(argv[3]) : 1000000;
  std::string path = (std::filesystem::temp_directory_path() / "bench_sql.mdb").string();
  try {
    std::filesystem::remove(path);
    jet::Database::create(path);
    jet::OpenOptions o;
    o.writable = true;
    auto db = jet::Database::open(path, o);
    jet::sql::Engine engine(*db);
    runSchema(engine, std::string(KOR_SHARED_DIR) + "/desktop-schema.sql");
    engine.execute("ALTER TABLE Modalidades ADD CodigoPlanoValor Number");
    auto t0 = Clock::now();
    db->beginOperation();
    {
      const auto& d = db->tableDef("Alunos");
      for (long i = 1; i <= students; ++i) {
        auto r = row(d);
        r[col(d, "alunoMatricula")] = jet::Value(static_cast<int32_t>(i));
        r[col(d, "alunoNome")] = jet::Value::text("ALUNO " + std::to_string(i));
        r[col(d, "alunoEmail")] = jet::Value::text("aluno" + std::to_string(i % (students - 10)) + "@x.com");
        r[col(d, "alunoExcluido")] = jet::Value(false);
        db->insertRow("Alunos", r);
      }
    }
    {
      const auto& d = db->tableDef("Modalidades");
      for (long i = 1; i <= 200; ++i) {
        auto r = row(d);
        r[col(d, "modalidadeNome")] = jet::Value::text("MODALIDADE " + std::to_string(i));
        r[col(d, "modalidadePlano")] = jet::Value(1.0);
        r[col(d, "CodigoPlanoValor")] = jet::Value(0.0);
        db->insertRow("Modalidades", r);
      }
    }
    {
      const auto& d = db->tableDef("Matricula");
      for (long i = 1; i <= enrolments; ++i) {
        auto r = row(d);
        r[col(d, "alunoID")] = jet::Value(static_cast<int32_t>(1 + i % students));
        r[col(d, "modalidadeID")] = jet::Value(static_cast<int32_t>(1 + i % 200));
        r[col(d, "matriculaForma")] = jet::Value::text("MENSAL");
        r[col(d, "matriculaValor")] = jet::Value::currency(1000000);
        r[col(d, "matriculaExcluida")] = jet::Value(i % 10 == 0);
        db->insertRow("Matricula", r);
      }
    }
    {
      const auto& d = db->tableDef("Vendas");
      for (long i = 1; i <= 1000; ++i) db->insertRow("Vendas", row(d));
      const auto& vi = db->tableDef("VendasItens");
      for (long i = 1; i <= 1000; ++i) {
        auto r = row(vi);
        r[col(vi, "vendaID")] = jet::Value(static_cast<int32_t>(i));
        db->insertRow("VendasItens", r);
      }
    }
    {
      const auto& d = db->tableDef("Recebimentos");
      for (long i = 1; i <= receivables; ++i) {
        auto r = row(d);
        int plano = i % 10 == 0 ? 3 : (i % 10 == 1 ? 2 : 1);
        r[col(d, "alunoID")] = jet::Value(static_cast<int32_t>(i % (students + 100)));
        r[col(d, "planoID")] = jet::Value(static_cast<int32_t>(plano));
        r[col(d, "idRelaciona")] = jet::Value(static_cast<int32_t>(plano == 2 ? 1 + i % 1000 : 1 + i % enrolments));
        r[col(d, "recebDtVencimento")] = jet::Value::date(45000 + static_cast<double>(i % 700));
        r[col(d, "recebValor")] = jet::Value::currency(1000000);
        r[col(d, "recebHistorico")] = jet::Value::text("PARCELA " + std::to_string(i));
        r[col(d, "recebPago")] = jet::Value(i % 3 == 0);
        r[col(d, "recebFuncIdIsentou")] = jet::Value(static_cast<int32_t>(i % 50 == 0 ? 7 : 0));
        r[col(d, "recebExcluido")] = jet::Value(i % 40 == 0);
        db->insertRow("Recebimentos", r);
      }
    }
    db->commitOperation();
    std::printf("build: %ld students, %ld enrolments, %ld receivables in %.1f s\n", students, enrolments, receivables,
                since(t0));

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
    std::printf("receivables extraction: %ld rows in %.3f s (goal: under 2 s)\n", n, since(t));

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
    std::printf("per-enrolment lookup x %ld: %ld found in %.3f s\n", enrolments, found, since(t));

    t = Clock::now();
    auto all = engine.query("SELECT * FROM Recebimentos");
    n = 0;
    while (all->next()) ++n;
    std::printf("full scan: %ld rows in %.3f s\n", n, since(t));
    (void)r10;
  } catch (const jet::Error& e) {
    std::fprintf(stderr, "bench_sql: %s\n", e.what());
    return 1;
  }
  std::filesystem::remove(path);
  return 0;
}
