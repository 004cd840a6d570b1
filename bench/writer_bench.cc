// Writer benchmark: rows inserted per second into an indexed table, then
// rows updated per second by key, on a file of ROWS rows (default a million).
//
//   bench_writer [ROWS] [BATCH] [DIR]
//
// The table is shaped like a receivables table: an AutoNumber primary key, a
// Long foreign key with a non-unique index, Currency, Date and Text. Inserts
// go in operations of BATCH rows (default 10000). Updates change the amount
// and the text of rows picked at random by key, found through the primary
// key index, each update its own operation group of BATCH rows. Prints its
// figures and never fails. With BENCH_CHECK set it also checks the file
// (jet::checkDatabase); with BENCH_KEEP set it leaves the file in DIR and
// prints its path, for other tools to read.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "jet/storage/check.h"
#include "jet/storage/database.h"
#include "jet/storage/error.h"
#include "jet/storage/index_btree.h"
#include "jet/storage/index_key.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

jet::ColumnSpec col(const char* name, jet::ColumnType t, unsigned chars = 255, bool autoNumber = false) {
  jet::ColumnSpec c;
  c.name = name;
  c.type = t;
  c.textChars = chars;
  c.autoNumber = autoNumber;
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  long batch = argc > 2 ? std::atol(argv[2]) : 10000;
  std::string dir = argc > 3 ? argv[3] : fs::temp_directory_path().string();
  std::string path = (fs::path(dir) / ("bench_writer_" + std::to_string(::getpid()) + ".mdb")).string();
  try {
    auto db = jet::Database::create(path);
    jet::TableSpec s;
    s.name = "Recebimentos";
    s.columns = {col("Id", jet::ColumnType::Long, 0, true), col("Aluno", jet::ColumnType::Long),
                 col("Valor", jet::ColumnType::Currency), col("Vencimento", jet::ColumnType::DateTime),
                 col("Descricao", jet::ColumnType::Text, 60)};
    jet::IndexSpec pk;
    pk.name = "PrimaryKey";
    pk.columns = {{"Id", true}};
    pk.primaryKey = pk.unique = true;
    jet::IndexSpec fk;
    fk.name = "idxAluno";
    fk.columns = {{"Aluno", true}};
    s.indexes = {pk, fk};
    db->createTable(s);

    std::mt19937 rng(42);
    double commitSec = 0;
    auto commit = [&] {
      auto c0 = Clock::now();
      db->commitOperation();
      commitSec += seconds(c0, Clock::now());
    };
    auto t0 = Clock::now();
    for (long done = 0; done < rows;) {
      db->beginOperation();
      for (long i = 0; i < batch && done < rows; ++i, ++done) {
        db->insertRow("Recebimentos",
                      {jet::Value(), jet::Value(static_cast<int32_t>(rng() % 5000)),
                       jet::Value::currency(static_cast<int64_t>(rng() % 10000000)),
                       jet::Value::date(45000.0 + static_cast<double>(done % 3650)),
                       jet::Value::text("Mensalidade " + std::to_string(done % 12 + 1) + "/2024")});
      }
      commit();
    }
    auto t1 = Clock::now();
    double insertSec = seconds(t0, t1);
    std::printf("insert: %ld rows in %.2f s = %.0f rows/s (batches of %ld; %.2f s in commits)\n", rows, insertSec,
                rows / insertSec, batch, commitSec);
    commitSec = 0;
    std::printf("file: %.1f MB\n", static_cast<double>(fs::file_size(path)) / 1e6);

    // Updates by key: find the row through the primary key, then rewrite it.
    const jet::TableDef& def = db->tableDef("Recebimentos");
    long updates = std::min<long>(rows, 100000);
    auto t2 = Clock::now();
    long updated = 0;
    for (long done = 0; done < updates;) {
      db->beginOperation();
      for (long i = 0; i < batch && done < updates; ++i, ++done) {
        int32_t id = static_cast<int32_t>(rng() % static_cast<uint32_t>(rows)) + 1;
        jet::IndexBtree tree(db->pager(), def.tdefPage, def.realIndexes[def.indexes[0].realIndex]);
        jet::Value key(id);
        std::vector<jet::RowId> found = tree.find(jet::encodeKey({jet::KeyPart{&key, jet::ColumnType::Long, true}}));
        if (found.empty()) continue;
        std::vector<jet::Value> values;
        jet::PageRef p = db->pager().page(found[0].page);
        if (!db->readRow(def, *p, found[0].page, found[0].row, values)) continue;
        values[2] = jet::Value::currency(values[2].as<jet::Currency>().scaled + 1);
        values[4] = jet::Value::text("Atualizado " + std::to_string(done));
        db->updateRow("Recebimentos", found[0], values);
        ++updated;
      }
      commit();
    }
    auto t3 = Clock::now();
    double updateSec = seconds(t2, t3);
    std::printf("update by key: %ld rows in %.2f s = %.0f rows/s (%.2f s in commits)\n", updated, updateSec,
                updated / updateSec, commitSec);

    if (std::getenv("BENCH_CHECK")) {
      auto t4 = Clock::now();
      std::vector<std::string> problems = jet::checkDatabase(*db);
      std::printf("check: %zu problems in %.2f s\n", problems.size(), seconds(t4, Clock::now()));
      for (size_t i = 0; i < problems.size() && i < 10; ++i) std::printf("  %s\n", problems[i].c_str());
    }
  } catch (const jet::Error& e) {
    std::printf("error: %s\n", e.what());
  }
  if (std::getenv("BENCH_KEEP")) {
    std::printf("kept: %s\n", path.c_str());
    return 0;
  }
  std::error_code ec;
  fs::remove(path, ec);
  fs::remove(path + "-journal", ec);
  return 0;
}
