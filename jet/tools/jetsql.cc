// jetsql: open a Jet 4 (.mdb) database and look inside it.
//
//   jetsql FILE [--password PW] tables         the user tables
//   jetsql FILE [--password PW] schema TABLE   columns and indexes of a table
//   jetsql FILE [--password PW] dump TABLE     the rows, TAB-separated, canonical form
//   jetsql FILE [--password PW] check          the structure check; exit status 1 on a problem
//   jetsql --create FILE [--password PW]       a new blank database
//
// Errors go to standard error and the exit status is 1.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "jet/storage/check.h"
#include "jet/storage/database.h"
#include "jet/storage/error.h"
#include "jet/storage/text_form.h"
#include "jet/tools/sql_shell.h"

namespace {

int usage() {
  std::cerr << "uso: jetsql ARQUIVO [--password SENHA] tables\n"
               "     jetsql ARQUIVO [--password SENHA] schema TABELA\n"
               "     jetsql ARQUIVO [--password SENHA] dump TABELA\n"
               "     jetsql ARQUIVO [--password SENHA] check\n"
               "     jetsql --create ARQUIVO [--password SENHA]\n";
  return 2;
}

void printTables(jet::Database& db) {
  for (const auto& name : db.tableNames()) std::cout << name << '\n';
}

std::string columnFlags(const jet::ColumnDef& c) {
  std::string f;
  auto add = [&](const char* s) {
    if (!f.empty()) f += ' ';
    f += s;
  };
  if (c.autoNumber()) add("autonumber");
  if (jet::isTextType(c.type) && c.compressedUnicode()) add("compressed");
  add(c.fixed() ? "fixed" : "variable");
  return f;
}

void printSchema(jet::Database& db, const std::string& table) {
  const jet::TableDef& def = db.tableDef(table);
  std::cout << "table\t" << def.name << "\nrows\t" << def.rowCount << '\n';
  for (const auto& c : def.columns) {
    std::cout << "column\t" << c.name << '\t' << jet::columnTypeName(c.type) << '\t';
    if (c.type == jet::ColumnType::Text) std::cout << c.textChars();
    else std::cout << c.length;
    std::cout << '\t' << columnFlags(c) << '\n';
  }
  for (const auto& x : def.indexes) {
    const jet::RealIndexDef& r = def.realIndexes[x.realIndex];
    std::cout << "index\t" << x.name << '\t';
    for (size_t i = 0; i < r.columns.size(); ++i) {
      int pos = def.positionOfNumber(r.columns[i].columnNumber);
      if (i) std::cout << ", ";
      std::cout << (pos >= 0 ? def.columns[pos].name : "?") << (r.columns[i].ascending ? " ASC" : " DESC");
    }
    std::string f;
    if (x.primaryKey()) f += " primary";
    if (x.foreignKey()) f += " foreign";
    if (r.unique()) f += " unique";
    if (r.ignoreNulls()) f += " ignorenulls";
    if (r.required()) f += " required";
    std::cout << '\t' << (f.empty() ? "" : f.substr(1)) << '\n';
  }
}

void dumpTable(jet::Database& db, const std::string& table) {
  const jet::TableDef& def = db.tableDef(table);
  std::cout.flush();
  jet::OutputBuffer out(STDOUT_FILENO);
  std::string& line = out.text();
  for (size_t i = 0; i < def.columns.size(); ++i) {
    if (i) line += '\t';
    line += def.columns[i].name;
  }
  line += '\n';
  jet::TableScan scan(db, def);
  while (scan.next()) {
    const auto& values = scan.values();
    for (size_t i = 0; i < values.size(); ++i) {
      if (i) line += '\t';
      jet::appendCanonicalText(line, values[i]);
    }
    line += '\n';
    out.maybeFlush();
  }
  out.flush();
}

// Prints each problem the structure check finds; true when there is none.
bool checkFile(jet::Database& db) {
  std::vector<std::string> problems = jet::checkDatabase(db);
  for (const auto& p : problems) std::cout << p << '\n';
  if (problems.empty()) std::cout << "ok\n";
  else std::cout << problems.size() << (problems.size() == 1 ? " problema\n" : " problemas\n");
  return problems.empty();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  jet::OpenOptions options;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--password" && i + 1 < args.size()) {
      options.password = args[++i];
    } else {
      rest.push_back(args[i]);
    }
  }
  if (rest.size() == 2 && rest[0] == "--create") {
    try {
      jet::Database::create(rest[1], options.password);
    } catch (const jet::Error& e) {
      std::cerr << "jetsql: " << e.what() << '\n';
      return 1;
    }
    return 0;
  }
  if (isSqlShellCommand(rest)) return runSqlShell(rest, options);
  if (rest.size() < 2) return usage();
  const std::string& file = rest[0];
  const std::string& command = rest[1];
  try {
    if (command == "tables" && rest.size() == 2) {
      auto db = jet::Database::open(file, options);
      printTables(*db);
    } else if (command == "schema" && rest.size() == 3) {
      auto db = jet::Database::open(file, options);
      printSchema(*db, rest[2]);
    } else if (command == "dump" && rest.size() == 3) {
      auto db = jet::Database::open(file, options);
      dumpTable(*db, rest[2]);
    } else if (command == "check" && rest.size() == 2) {
      auto db = jet::Database::open(file, options);
      if (!checkFile(*db)) return 1;
    } else {
      return usage();
    }
  } catch (const jet::Error& e) {
    std::cout.flush();
    std::cerr << "jetsql: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
