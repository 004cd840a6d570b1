#include "tools/esquema.h"

#include <cctype>

#include "jet/sql/parser.h"
#include "jet/storage/error.h"

namespace kor::amostra {

extern const char kDesktopSchemaSql[];

std::string_view desktopSchemaSql() { return kDesktopSchemaSql; }

std::vector<std::string> splitDdlScript(std::string_view script) {
  std::string clean;
  clean.reserve(script.size());
  for (size_t i = 0; i < script.size(); ++i) {
    if (script[i] == '-' && i + 1 < script.size() && script[i + 1] == '-') {
      while (i < script.size() && script[i] != '\n') ++i;
      if (i < script.size()) clean += '\n';
      continue;
    }
    clean += script[i];
  }
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= clean.size()) {
    size_t end = clean.find(';', start);
    if (end == std::string::npos) end = clean.size();
    std::string piece = clean.substr(start, end - start);
    bool blank = true;
    for (char c : piece) blank = blank && std::isspace(static_cast<unsigned char>(c));
    if (!blank) out.push_back(std::move(piece));
    start = end + 1;
  }
  return out;
}

namespace {

// The Jet type of a DDL type name. INTEGER is the 16-bit Integer here, as in
// the desktop product's own files (a file written by Access for this layout
// holds its INTEGER columns as Integer).
jet::ColumnSpec columnSpec(const jet::sql::ColumnDefAst& c) {
  jet::ColumnSpec s;
  s.name = c.name;
  const std::string& t = c.typeName;
  using jet::ColumnType;
  if (t == "COUNTER" || t == "AUTOINCREMENT") {
    s.type = ColumnType::Long;
    s.autoNumber = true;
  } else if (t == "LONG" || t == "INTEGER4" || t == "INT4") {
    s.type = ColumnType::Long;
  } else if (t == "INTEGER" || t == "INT" || t == "SHORT" || t == "SMALLINT" || t == "INTEGER2") {
    s.type = ColumnType::Integer;
  } else if (t == "BYTE" || t == "TINYINT" || t == "INTEGER1") {
    s.type = ColumnType::Byte;
  } else if (t == "TEXT" || t == "VARCHAR" || t == "CHAR" || t == "STRING" || t == "ALPHANUMERIC") {
    s.type = ColumnType::Text;
    s.textChars = c.size.value_or(255);
  } else if (t == "MEMO" || t == "LONGTEXT" || t == "NOTE") {
    s.type = ColumnType::Memo;
  } else if (t == "DATETIME" || t == "DATE" || t == "TIME" || t == "TIMESTAMP") {
    s.type = ColumnType::DateTime;
  } else if (t == "BIT" || t == "YESNO" || t == "LOGICAL" || t == "LOGICAL1" || t == "BOOLEAN") {
    s.type = ColumnType::Boolean;
  } else if (t == "CURRENCY" || t == "MONEY") {
    s.type = ColumnType::Currency;
  } else if (t == "DOUBLE" || t == "FLOAT" || t == "FLOAT8" || t == "NUMBER" || t == "NUMERIC") {
    s.type = ColumnType::Double;
  } else if (t == "SINGLE" || t == "REAL" || t == "FLOAT4") {
    s.type = ColumnType::Single;
  } else {
    throw jet::Error("Tipo de dados desconhecido: " + t + ".");
  }
  return s;
}

}  // namespace

void runDdl(jet::Database& db, std::string_view statement) {
  jet::sql::LexOptions lex;
  lex.parameters = false;
  jet::sql::Statement st = jet::sql::parseStatement(statement, lex);
  using Kind = jet::sql::Statement::Kind;
  switch (st.kind) {
    case Kind::CreateTable: {
      jet::TableSpec layout;
      layout.name = st.table;
      for (const auto& c : st.columnDefs) {
        layout.columns.push_back(columnSpec(c));
        if (c.primaryKey || c.unique) {
          jet::IndexSpec ix;
          ix.name = c.primaryKey ? "PrimaryKey" : c.name;
          ix.columns = {{c.name, true}};
          ix.primaryKey = c.primaryKey;
          ix.unique = true;
          layout.indexes.push_back(std::move(ix));
        }
      }
      for (const auto& k : st.constraints) {
        if (k.kind == jet::sql::ConstraintAst::Kind::ForeignKey) continue;
        jet::IndexSpec ix;
        bool pk = k.kind == jet::sql::ConstraintAst::Kind::PrimaryKey;
        ix.name = !k.name.empty() ? k.name : pk ? "PrimaryKey" : k.columns.front();
        for (const auto& col : k.columns) ix.columns.emplace_back(col, true);
        ix.primaryKey = pk;
        ix.unique = true;
        layout.indexes.push_back(std::move(ix));
      }
      db.createTable(layout);
      return;
    }
    case Kind::CreateIndex: {
      jet::IndexSpec ix;
      ix.name = st.indexName;
      ix.columns = st.indexColumns;
      ix.primaryKey = st.primaryIndex;
      ix.unique = st.uniqueIndex || st.primaryIndex;
      db.createIndex(st.table, ix);
      return;
    }
    case Kind::AlterAddColumn:
      for (const auto& c : st.columnDefs) db.addColumn(st.table, columnSpec(c));
      return;
    default:
      throw jet::Error("Instrução não suportada aqui: " + std::string(statement));
  }
}

void createDesktopTables(jet::Database& db) {
  for (const std::string& st : splitDdlScript(desktopSchemaSql())) runDdl(db, st);
}

}  // namespace kor::amostra
