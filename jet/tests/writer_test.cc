// The write path proved from the outside: files written by the engine read
// back exactly with our reader and with mdbtools and pass the structure
// check; files written by other programs keep passing it after every kind of
// change; indexes stay right through thousands of rows; refused writes leave
// the file byte for byte as it was; and a writer killed at any point leaves a
// file that opens in the state before or after the interrupted operation.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <sstream>

#include "jet/storage/bytes.h"
#include "jet/storage/check.h"
#include "jet/storage/database.h"
#include "jet/storage/error.h"
#include "jet/storage/text_form.h"

namespace fs = std::filesystem;

namespace jet {
namespace {

std::string dataPath(const std::string& name) { return std::string(JET_TEST_DATA) + "/" + name; }

// A private folder, removed at the end: in memory when the system has a
// tmpfs at /dev/shm (every commit flushes the file twice, which costs far
// more on a busy disk than the test itself), else in the temporary folder.
class TempDir {
 public:
  TempDir() {
    fs::path root = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string tmpl = (root / "jet_writer_XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp");
    dir_ = buf.data();
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string file(const std::string& name) const { return (fs::path(dir_) / name).string(); }
  // A copy of a fixture of jet/tests/data.
  std::string copy(const std::string& fixture, const std::string& as = "") const {
    std::string to = file(as.empty() ? fixture : as);
    fs::copy_file(fixture.find('/') == std::string::npos ? dataPath(fixture) : fixture, to,
                  fs::copy_options::overwrite_existing);
    return to;
  }

 private:
  std::string dir_;
};

std::unique_ptr<Database> openRw(const std::string& path, const std::string& pw = "") {
  OpenOptions o;
  o.writable = true;
  o.password = pw;
  return Database::open(path, o);
}

std::unique_ptr<Database> openRo(const std::string& path, const std::string& pw = "") {
  OpenOptions o;
  o.password = pw;
  return Database::open(path, o);
}

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string joinProblems(const std::vector<std::string>& p) {
  std::string s;
  for (const auto& m : p) s += m + "\n";
  return s;
}

// Opens the file afresh and runs the structure check.
void expectSound(const std::string& path, const std::string& pw = "") {
  auto db = openRo(path, pw);
  std::vector<std::string> problems = checkDatabase(*db);
  EXPECT_TRUE(problems.empty()) << path << ":\n" << joinProblems(problems);
}

// Every user table, its columns and its rows (sorted), in canonical text.
std::string dumpAll(Database& db) {
  std::string out;
  for (const std::string& name : db.tableNames()) {
    const TableDef& def = db.tableDef(name);
    out += "table " + name + " rows=" + std::to_string(def.rowCount) + "\n";
    for (const auto& c : def.columns) out += "  " + c.name + " " + columnTypeName(c.type) + "\n";
    std::vector<std::string> rows;
    TableScan scan = db.scan(name);
    while (scan.next()) {
      std::string line;
      for (const Value& v : scan.values()) line += canonicalText(v) + "\t";
      rows.push_back(line);
    }
    std::sort(rows.begin(), rows.end());
    for (auto& r : rows) out += r + "\n";
  }
  return out;
}

std::string dumpFile(const std::string& path, const std::string& pw = "") {
  auto db = openRo(path, pw);
  return dumpAll(*db);
}

std::vector<std::vector<Value>> readRows(Database& db, const std::string& table) {
  std::vector<std::vector<Value>> rows;
  TableScan scan = db.scan(table);
  while (scan.next()) rows.push_back(scan.values());
  return rows;
}

// Runs a command and returns its standard output.
std::string run(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

bool haveMdbtools() { return std::system("command -v mdb-export >/dev/null 2>&1") == 0; }

std::string repeat(const std::string& unit, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += unit;
  return s;
}

ColumnSpec col(std::string name, ColumnType type, unsigned chars = 255, bool autoNumber = false) {
  ColumnSpec c;
  c.name = std::move(name);
  c.type = type;
  c.textChars = chars;
  c.autoNumber = autoNumber;
  return c;
}

IndexSpec index(std::string name, std::vector<std::string> cols, bool primary = false, bool unique = false) {
  IndexSpec x;
  x.name = std::move(name);
  for (auto& c : cols) x.columns.push_back({c, true});
  x.primaryKey = primary;
  x.unique = unique || primary;
  return x;
}

// --- Round trips --------------------------------------------------------------

// A table with a column of every writable type, and rows that reach the edges
// of each: Null against empty text, accents and characters outside Latin-1,
// memos inline, on one long-value row and on a chain of pages, Currency at
// both ends of its range, dates before 1899 with a time of day.
struct TypesTable {
  TableSpec layout;
  std::vector<std::vector<Value>> rows;  // as inserted, Id Null (AutoNumber)

  TypesTable() {
    layout.name = "Tipos";
    layout.columns = {col("Id", ColumnType::Long, 0, true), col("Sim", ColumnType::Boolean),
                    col("Byte", ColumnType::Byte),        col("Inteiro", ColumnType::Integer),
                    col("Longo", ColumnType::Long),       col("Moeda", ColumnType::Currency),
                    col("Simples", ColumnType::Single),   col("Duplo", ColumnType::Double),
                    col("Data", ColumnType::DateTime),    col("Texto", ColumnType::Text, 60),
                    col("Memo", ColumnType::Memo),        col("Binario", ColumnType::Binary, 0),
                    col("Ole", ColumnType::OLE),          col("Guid", ColumnType::Guid)};
    layout.indexes = {index("PrimaryKey", {"Id"}, true)};
    Guid g;
    for (int i = 0; i < 16; ++i) g.bytes[i] = static_cast<uint8_t>(i * 17);
    auto row = [&](Value sim, Value b, Value i16, Value i32, Value cur, Value f, Value d, Value dt, Value t,
                   Value memo, Value bin, Value ole, Value guid) {
      rows.push_back({Value(), sim, b, i16, i32, cur, f, d, dt, t, memo, bin, ole, guid});
    };
    row(Value(true), Value(uint8_t{255}), Value(int16_t{-32768}), Value(int32_t{2147483647}),
        Value::currency(std::numeric_limits<int64_t>::max()), Value(1.5f), Value(3.141592653589793),
        Value::date(45352.354166666664), Value::text("São João, ação, Ñandú"), Value::text("curto"),
        Value(Bytes{0, 1, 2, 255}), Value(Bytes{9, 8, 7}), Value(g));
    row(Value(false), Value(uint8_t{0}), Value(int16_t{32767}), Value(int32_t{-2147483647 - 1}),
        Value::currency(std::numeric_limits<int64_t>::min()), Value(-0.25f), Value(-1e300),
        Value::date(-700.75), Value::text(""), Value::text(""), Value(Bytes{}), Value(Bytes{}), Value::null());
    row(Value(true), Value::null(), Value::null(), Value::null(), Value::currency(-1), Value::null(),
        Value(5e-324), Value::date(-657434.0), Value::null(), Value::null(), Value::null(), Value::null(),
        Value::null());
    // Text outside Latin-1 (stored uncompressed) and a memo of exactly 64 bytes
    // once encoded (the largest inline one).
    row(Value(false), Value(uint8_t{7}), Value(int16_t{0}), Value(int32_t{0}), Value::currency(12345678),
        Value(0.0f), Value(0.0), Value::date(0.5), Value::text("Ёлка Ωμέγα 東京 €"),
        Value::text(repeat("m", 62)), Value(Bytes(64, 0xAB)), Value(Bytes(64, 0xCD)), Value(g));
    // One long-value row each, then chains over several pages (accented and
    // non-Latin-1 memos, whose encoded forms differ).
    row(Value(true), Value(uint8_t{1}), Value(int16_t{1}), Value(int32_t{1}), Value::currency(10000),
        Value(1.0f), Value(1.0), Value::date(2958465.999988426), Value::text(repeat("x", 60)),
        Value::text(repeat("Memória ", 250)), Value(Bytes(255, 0x11)), Value(Bytes(3000, 0x22)), Value::null());
    row(Value(true), Value(uint8_t{2}), Value(int16_t{2}), Value(int32_t{2}), Value::currency(-99990000),
        Value(2.0f), Value(2.0), Value::date(-1.5), Value::text("ÿ"), Value::text(repeat("Ação e reação; ", 2000)),
        Value::null(), Value(Bytes(20000, 0x33)), Value::null());
    row(Value(false), Value(uint8_t{3}), Value(int16_t{3}), Value(int32_t{3}), Value::currency(0),
        Value(3.0f), Value(3.0), Value::date(1.0), Value::text("Пример"), Value::text(repeat("Пример текста. ", 900)),
        Value::null(), Value::null(), Value::null());
  }
};

// mdbtools' rendering of a few simple types, to compare its reading of a
// file with ours: integers, 0/1, and text exactly as stored.
std::string mdbtoolsForm(const Value& v) {
  switch (v.kind()) {
    case ValueKind::Null: return "";
    case ValueKind::Boolean: return v.as<bool>() ? "1" : "0";
    default: return canonicalText(v);
  }
}

void expectMdbtoolsAgrees(const std::string& path, const std::string& table,
                          const std::vector<std::string>& columns) {
  if (!haveMdbtools()) GTEST_SKIP() << "mdbtools is not installed";
  std::string tables = run("mdb-tables -1 '" + path + "'");
  EXPECT_NE(tables.find(table), std::string::npos) << tables;
  std::string schema = run("mdb-schema '" + path + "' 2>/dev/null");
  auto db = openRo(path);
  const TableDef& def = db->tableDef(table);
  for (const auto& c : def.columns) EXPECT_NE(schema.find("[" + c.name + "]"), std::string::npos) << c.name;

  std::string list;
  std::vector<int> pos;
  for (const auto& name : columns) pos.push_back(static_cast<int>(def.findColumn(name) - def.columns.data()));
  std::vector<std::string> expected;
  for (const auto& row : readRows(*db, table)) {
    std::string line;
    for (size_t i = 0; i < pos.size(); ++i) line += (i ? "\x1f" : "") + mdbtoolsForm(row[pos[i]]);
    expected.push_back(line);
  }
  // mdb-export prints every column; keep those asked for.
  std::string out = run("mdb-export -H -Q -d '\x1e' -R '\x1d' '" + path + "' '" + table + "'");
  std::vector<std::string> got;
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\x1d', start);
    if (end == std::string::npos) end = out.size();
    std::string rec = out.substr(start, end - start);
    start = end + 1;
    std::vector<std::string> fields;
    size_t f = 0;
    for (;;) {
      size_t e = rec.find('\x1e', f);
      fields.push_back(rec.substr(f, e == std::string::npos ? std::string::npos : e - f));
      if (e == std::string::npos) break;
      f = e + 1;
    }
    ASSERT_EQ(fields.size(), def.columns.size()) << rec.substr(0, 200);
    std::string line;
    for (size_t i = 0; i < pos.size(); ++i) line += (i ? "\x1f" : "") + fields[pos[i]];
    got.push_back(line);
  }
  std::sort(expected.begin(), expected.end());
  std::sort(got.begin(), got.end());
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i], expected[i]) << "mdb-export and our reader differ (row " << i << " in sorted order)";
  }
}

TEST(WriterRoundTrip, EveryTypeReadsBackExactly) {
  TempDir tmp;
  std::string path = tmp.file("tipos.mdb");
  TypesTable t;
  std::vector<RowId> ids;
  {
    auto db = Database::create(path);
    db->createTable(t.layout);
    for (const auto& r : t.rows) ids.push_back(db->insertRow("Tipos", r));
  }
  expectSound(path);
  auto db = openRo(path);
  const TableDef& def = db->tableDef("Tipos");
  EXPECT_EQ(def.rowCount, t.rows.size());
  EXPECT_EQ(def.lastAutoNumber, t.rows.size());
  ASSERT_EQ(ids.size(), t.rows.size());
  for (size_t k = 0; k < ids.size(); ++k) {
    std::vector<Value> got;
    PageRef p = db->pager().page(ids[k].page);
    ASSERT_TRUE(db->readRow(def, *p, ids[k].page, ids[k].row, got));
    std::vector<Value> want = t.rows[k];
    want[0] = Value(static_cast<int32_t>(k + 1));
    for (size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(canonicalText(got[i]), canonicalText(want[i])) << "row " << k << " column " << def.columns[i].name;
      EXPECT_EQ(got[i], want[i]) << "row " << k << " column " << def.columns[i].name;
    }
  }
  // Empty text and Null stay apart.
  EXPECT_TRUE(readRows(*db, "Tipos")[1][9].is<std::string>());
  EXPECT_TRUE(readRows(*db, "Tipos")[2][9].isNull());
  db.reset();
  expectMdbtoolsAgrees(path, "Tipos", {"Id", "Sim", "Byte", "Inteiro", "Longo", "Texto", "Memo"});
}

TEST(WriterRoundTrip, PasswordAndReopenedWrites) {
  TempDir tmp;
  std::string path = tmp.file("senha.mdb");
  {
    auto db = Database::create(path, "Çhave");
    TableSpec s;
    s.name = "Clientes";
    s.columns = {col("Id", ColumnType::Long, 0, true), col("Nome", ColumnType::Text, 40)};
    s.indexes = {index("PrimaryKey", {"Id"}, true), index("idxNome", {"Nome"})};
    db->createTable(s);
    db->insertRow("Clientes", {Value(), Value::text("Ana")});
  }
  EXPECT_THROW(openRo(path, "errada"), Error);
  {
    auto db = openRw(path, "Çhave");
    db->insertRow("Clientes", {Value(), Value::text("Bruno")});
    db->setPassword("");
  }
  expectSound(path);
  auto db = openRo(path);
  auto rows = readRows(*db, "Clientes");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1][0], Value(int32_t{2}));
  db.reset();
  expectMdbtoolsAgrees(path, "Clientes", {"Id", "Nome"});
}

// --- Files of other writers -------------------------------------------------

// Grows every Text column of a row to its declared length (keeping the old
// text as a prefix so unique keys stay distinct).
std::vector<Value> grown(const TableDef& def, std::vector<Value> row, char fill) {
  for (size_t i = 0; i < def.columns.size(); ++i) {
    const ColumnDef& c = def.columns[i];
    if (c.type != ColumnType::Text || !row[i].is<std::string>()) continue;
    std::u16string s = utf8ToUtf16(row[i].as<std::string>());
    if (s.size() + 1 >= c.textChars()) continue;
    s += u'#';
    while (s.size() < c.textChars()) s += static_cast<char16_t>(fill);
    row[i] = Value::text(utf16ToUtf8(s));
  }
  return row;
}

struct ForeignFile {
  const char* fixture;
  const char* password;
};

class ForeignFiles : public ::testing::TestWithParam<ForeignFile> {};

// Every kind of change on a file another program wrote: rows grown past their
// page (relocated, then relocated again), deleted rows, new rows, an added
// column, a new table, a dropped table. The check must pass after each, and
// the new column reads as Null in the old rows.
TEST_P(ForeignFiles, KeepPassingCheckAfterEveryKindOfChange) {
  TempDir tmp;
  const ForeignFile& f = GetParam();
  std::string path = tmp.copy(f.fixture);
  expectSound(path, f.password);
  std::vector<std::string> tables;
  {
    auto db = openRo(path, f.password);
    tables = db->tableNames();
  }
  size_t relocatedTwice = 0;
  for (const std::string& table : tables) {
    auto db = openRw(path, f.password);
    TableDef def = db->tableDef(table);
    std::vector<std::pair<RowId, std::vector<Value>>> rows;
    // The first rows of each table are enough to fill pages and relocate.
    for (TableScan scan = db->scan(table); scan.next() && rows.size() < 200;) rows.push_back({scan.rowId(), scan.values()});
    // Grow each row twice: the first update relocates rows that no longer
    // fit their page, the second moves some of them again.
    for (char fill : {'a', 'b'}) {
      for (auto& [id, values] : rows) {
        std::vector<Value> next = grown(def, values, fill);
        if (fill == 'b') {
          for (size_t i = 0; i < def.columns.size(); ++i) {
            if (def.columns[i].type == ColumnType::Memo && !next[i].isNull()) next[i] = Value::text(repeat("é", 3000));
          }
        }
        try {
          db->updateRow(table, id, next);
          values = next;
          if (fill == 'b') ++relocatedTwice;
        } catch (const Error& e) {
          // A row that the grown values make too big, or a table the
          // engine cannot maintain, keeps its old values.
          SCOPED_TRACE(e.what());
        }
      }
      db.reset();
      expectSound(path, f.password);
      db = openRw(path, f.password);
    }
    // Every row reads back as last written.
    std::map<std::pair<uint32_t, int>, std::vector<Value>> want;
    for (auto& [id, values] : rows) want[{id.page, id.row}] = values;
    size_t seen = 0;
    for (TableScan scan = db->scan(table); scan.next();) {
      auto it = want.find({scan.rowId().page, scan.rowId().row});
      if (it == want.end()) continue;
      ++seen;
      EXPECT_EQ(scan.values(), it->second) << table;
    }
    EXPECT_EQ(seen, rows.size()) << table;
    // Delete every third row, then insert a copy of the first live row with
    // its unique Text keys changed.
    for (size_t k = 0; k < rows.size(); k += 3) {
      try {
        db->deleteRow(table, rows[k].first);
      } catch (const Error& e) {
        SCOPED_TRACE(e.what());
      }
    }
  }
  expectSound(path, f.password);
  {
    auto db = openRw(path, f.password);
    const std::string& first = tables.front();
    size_t before = db->tableDef(first).columns.size();
    db->addColumn(first, col("Extra", ColumnType::Long));
    db->addColumn(first, col("ExtraTexto", ColumnType::Text, 20));
    for (const auto& row : readRows(*db, first)) {
      ASSERT_EQ(row.size(), before + 2);
      EXPECT_TRUE(row[before].isNull());
      EXPECT_TRUE(row[before + 1].isNull());
    }
    TableSpec s;
    s.name = "TabelaNova";
    s.columns = {col("Id", ColumnType::Long, 0, true), col("Nome", ColumnType::Text, 30), col("Obs", ColumnType::Memo)};
    s.indexes = {index("PrimaryKey", {"Id"}, true), index("idxNome", {"Nome"})};
    db->createTable(s);
    for (int i = 0; i < 300; ++i) {
      db->insertRow("TabelaNova", {Value(), Value::text("Nome " + std::to_string(i % 37)),
                                    i % 50 == 0 ? Value::text(repeat("obs ", 2000)) : Value()});
    }
    s.name = "Descartavel";
    db->createTable(s);
    for (int i = 0; i < 100; ++i) db->insertRow("Descartavel", {Value(), Value::text("x"), Value::text(repeat("y", 5000))});
  }
  expectSound(path, f.password);
  {
    auto db = openRw(path, f.password);
    db->dropTable("Descartavel");
    EXPECT_FALSE(db->hasTable("Descartavel"));
    EXPECT_EQ(db->tableDef("TabelaNova").rowCount, 300u);
  }
  expectSound(path, f.password);
  EXPECT_GT(relocatedTwice, 0u);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ForeignFiles,
                         ::testing::Values(ForeignFile{"jackcess-alunos.mdb", ""},
                                           ForeignFile{"jackcess-alunos_big.mdb", ""},
                                           ForeignFile{"jackcess-alunos_enc.mdb", ""},
                                           ForeignFile{"jackcess-alunos_pw.mdb", "Senha123"},
                                           ForeignFile{"academia-jackcess.mdb", "lumpa"}),
                         [](const ::testing::TestParamInfo<ForeignFile>& p) {
                           std::string n = p.param.fixture;
                           n = n.substr(0, n.find('.'));
                           for (char& ch : n) if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

TEST(CheckFixtures, OnlyTheDamagedFilesFail) {
  struct Case {
    std::string path, password;
    bool sound;
  };
  std::vector<Case> cases = {
      {dataPath("jackcess-alunos.mdb"), "", true},         {dataPath("jackcess-alunos_big.mdb"), "", true},
      {dataPath("jackcess-alunos_enc.mdb"), "", true},     {dataPath("jackcess-alunos_pre1899.mdb"), "", true},
      {dataPath("jackcess-alunos_pw.mdb"), "Senha123", true}, {dataPath("academia-jackcess.mdb"), "lumpa", true},
      {dataPath("jackcess-alunos_badindex.mdb"), "", false}, {dataPath("jackcess-alunos_corrupt.mdb"), "", false},
      {dataPath("access2000-password.mdb"), "password", true}, {dataPath("access2003-password.mdb"), "password", true},
      {dataPath("access2000-types.mdb"), "", true},
  };
  for (const auto& c : cases) {
    auto db = openRo(c.path, c.password);
    std::vector<std::string> problems = checkDatabase(*db);
    EXPECT_EQ(problems.empty(), c.sound) << c.path << "\n" << joinProblems(problems);
    if (c.path.find("badindex") != std::string::npos) {
      EXPECT_NE(joinProblems(problems).find("idxNome"), std::string::npos) << joinProblems(problems);
    }
  }
}

// --- Indexes ---------------------------------------------------------------------

// Thousands of rows with long, accented, mixed-case keys (several index
// levels, many splits), duplicates in a non-unique index, then deletes and
// key changes; the check compares every index with the table after each phase.
TEST(WriterIndexes, ManyRowsAccentsDuplicatesAndRefusals) {
  TempDir tmp;
  std::string path = tmp.file("indices.mdb");
  const std::vector<std::string> words = {"álvaro", "Álvaro", "ALVARO", "Éden", "eden", "Çarla", "zé",
                                          "Zeca",   "ñandu",  "Núbia",  "o'Neil", "Ana Lúcia", "ana lucia"};
  auto nameOf = [&](int i) {
    return words[i % words.size()] + " " + repeat("ção", 40 + i % 7) + " " + std::to_string(i % 500);
  };
  {
    auto db = Database::create(path);
    TableSpec s;
    s.name = "Pessoas";
    s.columns = {col("Id", ColumnType::Long, 0, true), col("Nome", ColumnType::Text, 255),
                 col("Codigo", ColumnType::Text, 20), col("Valor", ColumnType::Currency)};
    s.indexes = {index("PrimaryKey", {"Id"}, true), index("idxNome", {"Nome"}),
                 index("idxCodigo", {"Codigo"}, false, true)};
    db->createTable(s);
    db->beginOperation();
    for (int i = 0; i < 6000; ++i) {
      db->insertRow("Pessoas", {Value(), Value::text(nameOf(i)), Value::text("C" + std::to_string(i)),
                                Value::currency(i * 100)});
    }
    db->commitOperation();
  }
  expectSound(path);
  {
    auto db = openRw(path);
    const TableDef& def = db->tableDef("Pessoas");
    EXPECT_EQ(def.rowCount, 6000u);
    std::vector<RowId> ids;
    for (TableScan scan = db->scan("Pessoas"); scan.next();) ids.push_back(scan.rowId());
    db->beginOperation();
    for (size_t k = 0; k < ids.size(); k += 4) db->deleteRow("Pessoas", ids[k]);
    for (size_t k = 1; k < ids.size(); k += 8) {
      db->updateRow("Pessoas", ids[k], {Value(static_cast<int32_t>(100000 + k)), Value::text(nameOf(int(k) * 7)),
                                        Value::text("D" + std::to_string(k)), Value::currency(1)});
    }
    db->commitOperation();
  }
  expectSound(path);

  // Refusals change nothing: a duplicate in the unique index, a duplicate
  // primary key, a text longer than its column.
  std::string before = fileBytes(path);
  {
    auto db = openRw(path);
    struct Refusal {
      std::vector<Value> row;
      std::string message;  // a part of the error's text
    };
    std::vector<Refusal> refusals = {
        {{Value(), Value::text("novo"), Value::text("C2"), Value()}, "idxCodigo"},
        {{Value(int32_t{3}), Value::text("novo"), Value::text("Z1"), Value()}, ""},
        {{Value(), Value::text("novo"), Value::text(repeat("x", 21)), Value()}, "Codigo"},
        {{Value(), Value::text(repeat("é", 256)), Value::text("Z2"), Value()}, "Nome"},
    };
    for (const auto& r : refusals) {
      try {
        db->insertRow("Pessoas", r.row);
        ADD_FAILURE() << "insert accepted: " << canonicalText(r.row[2]);
      } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(r.message), std::string::npos) << e.what();
      }
    }
    // An update into a duplicate is refused too, and so is a batch whose last
    // row fails: the whole operation goes.
    RowId some = db->scan("Pessoas").next() ? RowId{} : RowId{};
    TableScan scan = db->scan("Pessoas");
    ASSERT_TRUE(scan.next());
    some = scan.rowId();
    std::vector<Value> dup = scan.values();
    dup[2] = Value::text("C3");
    EXPECT_THROW(db->updateRow("Pessoas", some, dup), Error);
    db->beginOperation();
    try {
      db->insertRow("Pessoas", {Value(), Value::text("lote"), Value::text("L1"), Value()});
      db->insertRow("Pessoas", {Value(), Value::text("lote"), Value::text("C5"), Value()});
      db->commitOperation();
      ADD_FAILURE() << "batch accepted";
    } catch (const Error&) {
      db->rollbackOperation();
    }
    // After refusals the open database still writes correctly.
    EXPECT_EQ(db->tableDef("Pessoas").rowCount, 4500u);
  }
  EXPECT_TRUE(fileBytes(path) == before) << "a refused write changed the file";
  expectSound(path);
  expectMdbtoolsAgrees(path, "Pessoas", {"Id", "Nome", "Codigo"});
}

// A table whose index uses a collating order the engine cannot compute keys
// for: it opens and reads, and every write to it is refused, changing nothing.
TEST(WriterIndexes, UnsupportedSortOrderOpensReadsAndRefusesWrites) {
  TempDir tmp;
  std::string path = tmp.copy("jackcess-alunos.mdb");
  std::string dumpBefore = dumpFile(path);
  {
    auto db = openRw(path);
    const TableDef& def = db->tableDef("Alunos");
    const ColumnDef* nome = def.findColumn("Nome");
    ASSERT_NE(nome, nullptr);
    // Find the column's descriptor on the first TDEF page and set its sort order.
    PageRef tp = db->pager().page(def.tdefPage);
    size_t pos = 63 + 12 * def.realIndexes.size();
    size_t at = 0;
    for (size_t k = 0; k < def.columns.size(); ++k) {
      const uint8_t* d = tp->data() + pos + 25 * k;
      if (d[0] == static_cast<uint8_t>(ColumnType::Text) && le16(d + 5) == nome->number) at = pos + 25 * k;
    }
    ASSERT_NE(at, 0u);
    // The definition belongs to the database: keep its page number before
    // closing it, the file is patched once it is closed.
    const uint32_t tdefPage = def.tdefPage;
    db.reset();
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(tdefPage) * kPageSize + static_cast<std::streamoff>(at) + 11);
    uint8_t lcid[2] = {1035 & 0xFF, 1035 >> 8};
    f.write(reinterpret_cast<const char*>(lcid), 2);
  }
  EXPECT_EQ(dumpFile(path), dumpBefore);
  std::string bytes = fileBytes(path);
  {
    auto db = openRw(path);
    std::vector<Value> row = readRows(*db, "Alunos")[0];
    TableScan scan = db->scan("Alunos");
    ASSERT_TRUE(scan.next());
    RowId id = scan.rowId();
    row[0] = Value();
    try {
      db->insertRow("Alunos", row);
      ADD_FAILURE() << "insert accepted";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("somente leitura"), std::string::npos) << e.what();
    }
    EXPECT_THROW(db->updateRow("Alunos", id, scan.values()), Error);
    EXPECT_THROW(db->deleteRow("Alunos", id), Error);
  }
  EXPECT_TRUE(fileBytes(path) == bytes);
}

// --- Fault injection -------------------------------------------------------------

// A series of operations of every kind; each is one atomic operation. Each
// returns normally; the series is deterministic, so two runs from the same
// file produce the same files.
void runSeries(Database& db, int& step, const std::function<void()>& after) {
  auto done = [&] {
    ++step;
    after();
  };
  TableSpec s;
  s.name = "Contas";
  s.columns = {col("Id", ColumnType::Long, 0, true), col("Aluno", ColumnType::Long),
               col("Valor", ColumnType::Currency), col("Venc", ColumnType::DateTime),
               col("Descricao", ColumnType::Text, 120), col("Nota", ColumnType::Memo)};
  s.indexes = {index("PrimaryKey", {"Id"}, true), index("idxAluno", {"Aluno"})};
  db.createTable(s);
  done();
  for (int batch = 0; batch < 4; ++batch) {
    db.beginOperation();
    for (int i = 0; i < 150; ++i) {
      int k = batch * 150 + i;
      db.insertRow("Contas", {Value(), Value(int32_t(k % 17)), Value::currency(k * 1234), Value::date(45000 + k),
                              Value::text("Parcela " + std::to_string(k) + " — ação"),
                              k % 40 == 0 ? Value::text(repeat("nota ", 1200)) : Value()});
    }
    db.commitOperation();
    done();
  }
  std::vector<RowId> ids;
  for (TableScan scan = db.scan("Contas"); scan.next();) ids.push_back(scan.rowId());
  for (size_t k = 0; k < 40; ++k) {
    RowId id = ids[k * 13 % ids.size()];
    std::vector<Value> v;
    for (TableScan scan = db.scan("Contas"); scan.next();) {
      if (scan.rowId() == id) v = scan.values();
    }
    v[4] = Value::text(repeat("Descrição maior ", 7) + std::to_string(k));
    v[1] = Value(int32_t(100 + k));
    db.updateRow("Contas", id, v);
    done();
  }
  db.beginOperation();
  for (size_t k = 0; k < ids.size(); k += 5) db.deleteRow("Contas", ids[k]);
  db.commitOperation();
  done();
  db.addColumn("Contas", col("Pago", ColumnType::Boolean));
  done();
  db.createIndex("Contas", index("idxValor", {"Valor"}));
  done();
  std::vector<RowId> ids2;
  for (TableScan scan = db.scan("Alunos"); scan.next();) ids2.push_back(scan.rowId());
  db.deleteRow("Alunos", ids2.back());
  done();
  db.insertRow("Alunos", {Value(), Value::text("Zuleica Ñ"), Value::currency(5000), Value::date(-10.5), Value(true),
                          Value(70.5), Value::text(repeat("observação ", 600)), Value::text("Niterói")});
  done();
  db.dropTable("Contas");
  done();
}

// Killed at every point of a series of operations, with the whole operation
// in memory and with a spill budget of a few pages, so that most kills fall
// after some pages of the operation already reached the file.
TEST(WriterFaults, KilledWriterLeavesTheStateBeforeOrAfterTheOperation) {
  TempDir tmp;
  std::string base = tmp.copy("jackcess-alunos.mdb", "base.mdb");
  std::vector<std::string> unspilledDumps;
  for (size_t budget : {Pager::kDefaultSpillBudget, size_t{3} * kPageSize}) {
    SCOPED_TRACE("spill budget " + std::to_string(budget));
    auto open = [&](const std::string& path) {
      auto db = openRw(path);
      db->pager().setSpillBudget(budget);
      return db;
    };
    // A clean run records the dump after each step and counts the hook calls.
    std::vector<std::string> dumps{dumpFile(base)};
    int calls = 0;
    {
      std::string clean = tmp.copy(base, "clean.mdb");
      auto db = open(clean);
      db->pager().setWriteHook([&] { ++calls; });
      int step = 0;
      runSeries(*db, step, [&] { dumps.push_back(dumpAll(*db)); });
      if (budget == Pager::kDefaultSpillBudget) {
        EXPECT_EQ(db->pager().spilledPages(), 0u);
        unspilledDumps = dumps;
      } else {
        EXPECT_GT(db->pager().spilledPages(), 100u);
        // Spilling changes when pages reach the file, never what they hold.
        EXPECT_TRUE(dumps == unspilledDumps) << "a spilled run read back different rows";
      }
    }
    ASSERT_GT(calls, 50);
    // Points to stop at: every call in the first steps, then a spread.
    std::vector<int> points;
    for (int n = 1; n <= calls; n += (n < 30 ? 1 : std::max(1, calls / 70))) points.push_back(n);
    points.push_back(calls);
    for (int n : points) {
      std::string path = tmp.copy(base, "kill.mdb");
      int fds[2];
      ASSERT_EQ(pipe(fds), 0);
      pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        close(fds[0]);
        int count = 0, step = 0;
        try {
          auto db = open(path);
          db->pager().setWriteHook([&] {
            if (++count == n) {
              (void)!write(fds[1], &step, sizeof step);
              kill(getpid(), SIGKILL);
            }
          });
          runSeries(*db, step, [] {});
        } catch (...) {
          _exit(3);
        }
        _exit(0);
      }
      close(fds[1]);
      int step = -1;
      ssize_t got = read(fds[0], &step, sizeof step);
      close(fds[0]);
      int status = 0;
      waitpid(pid, &status, 0);
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "call " << n << " status " << status;
      ASSERT_EQ(got, static_cast<ssize_t>(sizeof step));
      ASSERT_GE(step, 0);
      ASSERT_LT(step + 1, static_cast<int>(dumps.size()));
      { auto db = openRw(path); }  // rolls back the journal the kill left
      EXPECT_FALSE(fs::exists(path + "-journal")) << "call " << n;
      expectSound(path);
      std::string now = dumpFile(path);
      EXPECT_TRUE(now == dumps[step] || now == dumps[step + 1])
          << "killed at call " << n << " during step " << step << ": the file matches neither state";
      if (::testing::Test::HasFailure()) return;
    }
  }
}

// An operation that spilled pages and then fails is undone in the file at
// once: the bytes are those from before it, the journal is gone, and the
// same open database reads and writes on from that state.
TEST(WriterFaults, FailedOperationAfterSpillsPutsTheFileBack) {
  TempDir tmp;
  const std::string path = tmp.copy("jackcess-alunos_big.mdb", "spill.mdb");
  const std::string before = fileBytes(path);
  auto db = openRw(path);
  db->pager().setSpillBudget(4 * kPageSize);
  const std::vector<std::vector<Value>> rows = readRows(*db, "Alunos");
  TableSpec s;
  s.name = "Contas";
  s.columns = {col("Id", ColumnType::Long), col("Texto", ColumnType::Text, 200)};
  s.indexes = {index("PrimaryKey", {"Id"}, true)};
  db->beginOperation();
  try {
    db->createTable(s);
    for (int i = 0; i < 3000; ++i) {
      db->insertRow("Contas", {Value(int32_t(i)), Value::text(repeat("conta ", 30) + std::to_string(i))});
    }
    std::vector<RowId> ids;
    for (TableScan scan = db->scan("Alunos"); scan.next();) ids.push_back(scan.rowId());
    for (size_t k = 0; k < ids.size(); k += 2) db->deleteRow("Alunos", ids[k]);
    ASSERT_GT(db->pager().spilledPages(), 50u);
    ASSERT_NE(fileBytes(path), before);
    db->insertRow("Contas", {Value(int32_t(7)), Value::text("chave repetida")});
    ADD_FAILURE() << "duplicate key accepted";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("duplicad"), std::string::npos) << e.what();
    db->rollbackOperation();
  }
  EXPECT_FALSE(fs::exists(path + "-journal"));
  EXPECT_TRUE(fileBytes(path) == before) << "the file is not as it was before the operation";
  EXPECT_FALSE(db->hasTable("Contas"));
  EXPECT_TRUE(readRows(*db, "Alunos") == rows);
  db->createTable(s);
  db->insertRow("Contas", {Value(int32_t(1)), Value::text("depois")});
  db.reset();
  expectSound(path);
  EXPECT_EQ(readRows(*openRo(path), "Contas").size(), 1u);
}

// An operation whose journal plainly cannot fit on the disk is refused with
// the figures before anything is written.
TEST(WriterFaults, JournalThatCannotFitIsRefusedBeforeWriting) {
  TempDir tmp;
  const std::string path = tmp.copy("jackcess-alunos.mdb", "space.mdb");
  auto db = openRw(path);
  EXPECT_NO_THROW(db->pager().checkJournalSpace(1000));
  try {
    db->pager().checkJournalSpace(uint64_t{1} << 40);  // 2 EB at the least
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    const std::string m = e.what();
    EXPECT_NE(m.find("Não há espaço em disco"), std::string::npos) << m;
    EXPECT_NE(m.find(path + "-journal"), std::string::npos) << m;
  }
  EXPECT_FALSE(fs::exists(path + "-journal"));
}

// A journal left by a writer killed after writing some of its pages: the
// next open puts the file back byte for byte and removes the journal; a
// journal that is damaged or cut short is refused and the file left alone.
// Stored images leave out their longest run of zero bytes, so the journal
// of a plain file is shorter than its whole pages; an encoded file's pages
// have no such runs.
TEST(WriterFaults, LeftoverJournalIsRolledBackOnOpen) {
  struct Case {
    const char* fixture;
    bool zeroRuns;
  };
  for (const Case& c : {Case{"jackcess-alunos_big.mdb", true}, Case{"jackcess-alunos_enc.mdb", false}}) {
    SCOPED_TRACE(c.fixture);
    TempDir tmp;
    const std::string path = tmp.copy(c.fixture, "kill.mdb");
    const std::string before = fileBytes(path);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      try {
        auto db = openRw(path);
        int calls = 0;
        db->pager().setWriteHook([&] {
          if (++calls == 4) kill(getpid(), SIGKILL);  // the journal and three pages written
        });
        std::vector<RowId> ids;
        for (TableScan scan = db->scan("Alunos"); scan.next();) ids.push_back(scan.rowId());
        db->beginOperation();
        for (size_t k = 0; k < ids.size(); k += 3) db->deleteRow("Alunos", ids[k]);
        db->commitOperation();
      } catch (...) {
        _exit(3);
      }
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;
    const std::string journal = fileBytes(path + "-journal");
    ASSERT_GE(journal.size(), 24u);
    EXPECT_EQ(journal.substr(0, 8), "JETJRNL3");
    const size_t records = le32(reinterpret_cast<const uint8_t*>(journal.data()) + 12);
    EXPECT_GE(records, 3u);
    const size_t whole = 24 + records * (8 + kPageSize);
    if (c.zeroRuns) EXPECT_LT(journal.size(), whole);
    else EXPECT_EQ(journal.size(), whole);
    const std::string killed = fileBytes(path);
    EXPECT_NE(killed, before);

    // Damaged copies are refused and change nothing.
    std::string flipped = journal;
    flipped[journal.size() - 100] = static_cast<char>(flipped[journal.size() - 100] ^ 0x20);
    for (const std::string& bad : {flipped, journal.substr(0, journal.size() - 10)}) {
      const std::string copy = tmp.copy(path, "damaged.mdb");
      std::ofstream(copy + "-journal", std::ios::binary) << bad;
      EXPECT_THROW(openRw(copy), Error);
      EXPECT_EQ(fileBytes(copy), killed);
    }

    { auto db = openRw(path); }
    EXPECT_FALSE(fs::exists(path + "-journal"));
    EXPECT_TRUE(fileBytes(path) == before) << "the file is not as it was before the operation";
    expectSound(path);
  }
}

}  // namespace
}  // namespace jet
