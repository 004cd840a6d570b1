// The reader against files written by another program: every table's schema
// and every value must equal that program's own reading (the JSON beside each
// file), and damaged or foreign files must fail with a clear message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "jet/storage/database.h"
#include "jet/storage/error.h"
#include "jet/storage/text_form.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::string dataPath(const std::string& name) { return std::string(JET_TEST_DATA) + "/" + name; }

json loadJson(const std::string& path) {
  std::ifstream in(path);
  return json::parse(in);
}

const char* jsonTypeName(jet::ColumnType t) {
  switch (t) {
    case jet::ColumnType::Boolean: return "BOOLEAN";
    case jet::ColumnType::Byte: return "BYTE";
    case jet::ColumnType::Integer: return "INT";
    case jet::ColumnType::Long: return "LONG";
    case jet::ColumnType::Currency: return "MONEY";
    case jet::ColumnType::Single: return "FLOAT";
    case jet::ColumnType::Double: return "DOUBLE";
    case jet::ColumnType::DateTime: return "SHORT_DATE_TIME";
    case jet::ColumnType::Binary: return "BINARY";
    case jet::ColumnType::Text: return "TEXT";
    case jet::ColumnType::OLE: return "OLE";
    case jet::ColumnType::Memo: return "MEMO";
    case jet::ColumnType::Guid: return "GUID";
    case jet::ColumnType::Numeric: return "NUMERIC";
  }
  return "?";
}

// Our value in the JSON's notation: Currency as text with four decimals,
// dates as ISO text with seconds and milliseconds only when present.
json asJson(const jet::Value& v) {
  switch (v.kind()) {
    case jet::ValueKind::Null: return nullptr;
    case jet::ValueKind::Boolean: return v.as<bool>();
    case jet::ValueKind::Byte: return v.as<uint8_t>();
    case jet::ValueKind::Integer: return v.as<int16_t>();
    case jet::ValueKind::Long: return v.as<int32_t>();
    case jet::ValueKind::Single: return v.as<float>();
    case jet::ValueKind::Double: return v.as<double>();
    case jet::ValueKind::Text: return v.as<std::string>();
    case jet::ValueKind::Currency:
    case jet::ValueKind::Binary:
    case jet::ValueKind::Guid: return jet::canonicalText(v);
    case jet::ValueKind::Date: {
      jet::CivilDateTime c = jet::toCivil(v.as<jet::DateTime>().days);
      char buf[64];
      int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d", c.year, c.month, c.day, c.hour,
                            c.minute);
      if (c.second || c.millisecond) n += std::snprintf(buf + n, sizeof buf - n, ":%02d", c.second);
      if (c.millisecond) std::snprintf(buf + n, sizeof buf - n, ".%03d", c.millisecond);
      return std::string(buf);
    }
  }
  return nullptr;
}

struct Fixture {
  std::string file;
  std::string json;
  std::string password;
};

class FixtureFile : public testing::TestWithParam<Fixture> {};

TEST_P(FixtureFile, ReadsEveryTableExactly) {
  const Fixture& f = GetParam();
  std::string path = f.file.find('/') == std::string::npos ? dataPath(f.file) : f.file;
  std::string jsonPath = f.json.find('/') == std::string::npos ? dataPath(f.json) : f.json;
  json truth = loadJson(jsonPath);
  auto db = jet::Database::open(path, {.password = f.password});

  std::set<std::string> expectedTables, actualTables;
  for (auto& [name, _] : truth["tables"].items()) expectedTables.insert(name);
  for (auto& name : db->tableNames()) actualTables.insert(name);
  EXPECT_EQ(actualTables, expectedTables);

  for (auto& [name, table] : truth["tables"].items()) {
    SCOPED_TRACE("table " + name);
    const jet::TableDef& def = db->tableDef(name);
    ASSERT_EQ(def.columns.size(), table["columns"].size());
    for (size_t i = 0; i < def.columns.size(); ++i) {
      const auto& c = def.columns[i];
      const auto& jc = table["columns"][i];
      SCOPED_TRACE("column " + c.name);
      EXPECT_EQ(c.name, jc["name"]);
      EXPECT_EQ(jsonTypeName(c.type), jc["type"]);
      EXPECT_EQ(c.length, jc["length"]);
      EXPECT_EQ(c.autoNumber(), jc["autoNumber"]);
      EXPECT_EQ(!c.fixed(), jc["variableLength"]);
      if (jet::isTextType(c.type)) {
        EXPECT_EQ(c.compressedUnicode(), jc["compressedUnicode"]);
      }
    }

    // Indexes are matched by name: their order is not part of the file's meaning.
    ASSERT_EQ(def.indexes.size(), table["indexes"].size());
    for (const auto& jx : table["indexes"]) {
      auto it = std::find_if(def.indexes.begin(), def.indexes.end(),
                             [&](const jet::IndexDef& x) { return x.name == jx["name"]; });
      ASSERT_NE(it, def.indexes.end()) << "index " << jx["name"];
      const auto& x = *it;
      const auto& real = def.realIndexes[x.realIndex];
      SCOPED_TRACE("index " + x.name);
      std::vector<std::string> cols;
      for (const auto& ic : real.columns) {
        cols.push_back(def.columns[def.positionOfNumber(ic.columnNumber)].name +
                       (ic.ascending ? " ASC" : " DESC"));
      }
      EXPECT_EQ(json(cols), jx["columns"]);
      EXPECT_EQ(x.primaryKey(), jx["primaryKey"]);
      EXPECT_EQ(x.foreignKey(), jx["foreignKey"]);
      EXPECT_EQ(real.unique(), jx["unique"]);
      EXPECT_EQ(real.ignoreNulls(), jx["ignoreNulls"]);
      EXPECT_EQ(real.required(), jx["required"]);
    }

    const auto& rows = table["rows"];
    EXPECT_EQ(def.rowCount, rows.size());
    jet::TableScan scan = db->scan(name);
    size_t n = 0;
    while (scan.next()) {
      ASSERT_LT(n, rows.size()) << "more rows than expected";
      const auto& jr = rows[n];
      for (size_t i = 0; i < def.columns.size(); ++i) {
        const std::string& col = def.columns[i].name;
        ASSERT_EQ(asJson(scan.values()[i]), jr[col]) << "row " << n << ", column " << col;
      }
      ++n;
    }
    EXPECT_EQ(n, rows.size());
  }
}

INSTANTIATE_TEST_SUITE_P(
    OtherWriters, FixtureFile,
    testing::Values(Fixture{"jackcess-alunos.mdb", "jackcess-alunos.json", ""},
                    Fixture{"jackcess-alunos_big.mdb", "jackcess-alunos_big.json", ""},
                    Fixture{"jackcess-alunos_pre1899.mdb", "jackcess-alunos_pre1899.json", ""},
                    Fixture{"jackcess-alunos_pw.mdb", "jackcess-alunos_pw.json", "Senha123"},
                    Fixture{"jackcess-alunos_enc.mdb", "jackcess-alunos.json", ""},
                    Fixture{"academia-jackcess.mdb", "academia-jackcess.json", "lumpa"},
                    // Files saved by Access itself.
                    Fixture{"access2000-password.mdb", "access2000-password.json", "password"},
                    Fixture{"access2003-password.mdb", "access2003-password.json", "password"},
                    Fixture{"access2000-types.mdb", "access2000-types.json", ""}),
    [](const testing::TestParamInfo<Fixture>& param) {
      std::string s = fs::path(param.param.file).stem().string();
      for (char& c : s) if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      return s;
    });

std::string errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const jet::Error& e) {
    return e.what();
  }
  return "";
}

TEST(Password, WrongOrMissingPasswordIsRefusedBeforeAnythingIsRead) {
  for (const auto& [fileName, badPassword] : std::vector<std::pair<std::string, std::string>>{
           {"jackcess-alunos_pw.mdb", ""},
           {"jackcess-alunos_pw.mdb", "senha123"},  // the comparison is case-sensitive
           {"academia-jackcess.mdb", "lumpa2"},
       }) {
    const std::string file = fileName, bad = badPassword;
    EXPECT_EQ(errorOf([&] { jet::Database::open(dataPath(file), {.password = bad}); }), "Senha inválida.")
        << file << " with '" << bad << "'";
  }
  auto db = jet::Database::open(dataPath("jackcess-alunos.mdb"), {.password = ""});
  EXPECT_EQ(db->tableNames(), std::vector<std::string>{"Alunos"});
}

void dumpAll(const std::string& path) {
  auto db = jet::Database::open(path);
  for (const auto& t : db->tableNames()) {
    auto scan = db->scan(t);
    while (scan.next()) {
    }
  }
}

class TempDir : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("jet-reader-" + std::to_string(::getpid()) + "-" +
                                        testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string p = (dir_ / name).string();
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return p;
  }
  std::vector<uint8_t> read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  fs::path dir_;
};

using BadFile = TempDir;

TEST_F(BadFile, FailuresAreClearMessagesNamingTheFileOrObject) {
  std::string corrupt = dataPath("jackcess-alunos_corrupt.mdb");
  std::string msg = errorOf([&] { dumpAll(corrupt); });
  EXPECT_NE(msg.find("corrompido"), std::string::npos) << msg;
  EXPECT_NE(msg.find(corrupt), std::string::npos) << msg;

  std::vector<uint8_t> good = read(dataPath("jackcess-alunos.mdb"));
  std::vector<uint8_t> jet3 = good;
  jet3[0x14] = 0x00;
  std::vector<uint8_t> ace = good;
  ace[0x14] = 0x02;
  std::vector<uint8_t> truncated(good.begin(), good.begin() + 3 * 4096);

  struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
    std::string expected;
  };
  for (const auto& c : std::vector<Case>{
           {"texto.mdb", std::vector<uint8_t>(8192, 'x'), "Não é um arquivo do Access"},
           {"vazio.mdb", {}, "Não é um arquivo do Access"},
           {"jet3.mdb", jet3, "Versão não suportada (Jet 3"},
           {"ace.mdb", ace, "Versão não suportada (Access 2007"},
           {"curto.mdb", truncated, "página fora do arquivo"},
       }) {
    std::string p = write(c.name, c.bytes);
    std::string m = errorOf([&] { dumpAll(p); });
    EXPECT_NE(m.find(c.expected), std::string::npos) << c.name << ": " << m;
    EXPECT_NE(m.find(p), std::string::npos) << c.name << ": " << m;
  }
  EXPECT_NE(errorOf([&] { jet::Database::open((dir_ / "nao-existe.mdb").string()); }).find("nao-existe.mdb"),
            std::string::npos);
  auto db = jet::Database::open(dataPath("jackcess-alunos.mdb"));
  EXPECT_EQ(errorOf([&] { db->tableDef("Professores"); }), "A tabela 'Professores' não existe.");
}

TEST(Reader, TableNamesAreCaseInsensitiveAndColumnsAddedLaterReadAsNull) {
  auto db = jet::Database::open(dataPath("jackcess-alunos.mdb"));
  EXPECT_EQ(&db->tableDef("ALUNOS"), &db->tableDef("alunos"));
  // A badly indexed copy still reads: only a structure check notices.
  auto bad = jet::Database::open(dataPath("jackcess-alunos_badindex.mdb"));
  auto scan = bad->scan("Alunos");
  bool found = false;
  while (scan.next()) found |= scan.values()[1] == jet::Value("São Koão");
  EXPECT_TRUE(found);
}

TEST(Reader, OpeningReadsOnlyTheCatalog) {
  // Opening the largest fixture must not touch its data pages: the catalog
  // of every file here spans only a few pages.
  auto db = jet::Database::open(dataPath("jackcess-alunos_big.mdb"));
  EXPECT_EQ(db->tableNames().size(), 1u);
}

}  // namespace
