// Helpers of the SQL engine tests: a fresh database in a temporary folder,
// running scripts, and rows in canonical text form.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "jet/sql/engine.h"
#include "jet/storage/database.h"
#include "jet/storage/error.h"
#include "jet/storage/text_form.h"

namespace jet::sql::test {

using Rows = std::vector<std::vector<std::string>>;

inline std::string tempPath(const std::string& name) {
  auto dir = std::filesystem::temp_directory_path() / ("jet_sql_tests_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

// A blank database with an engine on it.
struct TestDb {
  std::string path;
  std::unique_ptr<Database> db;
  std::unique_ptr<Engine> engine;

  explicit TestDb(const std::string& name) {
    path = tempPath(name + ".mdb");
    std::filesystem::remove(path);
    Database::create(path);
    OpenOptions o;
    o.writable = true;
    db = Database::open(path, o);
    engine = std::make_unique<Engine>(*db);
  }
  ~TestDb() {
    engine.reset();
    db.reset();
    std::filesystem::remove(path);
  }

  Result exec(const std::string& sql, const std::vector<Value>& params = {}, bool parameters = true) {
    StatementOptions o;
    o.parameters = parameters;
    return engine->execute(sql, params, o);
  }
  // Rows in canonical text form.
  Rows rows(const std::string& sql, const std::vector<Value>& params = {}) {
    Result r = exec(sql, params);
    Rows out;
    for (const auto& row : r.rows) {
      std::vector<std::string> line;
      for (const auto& v : row) line.push_back(canonicalText(v));
      out.push_back(std::move(line));
    }
    return out;
  }
  std::string error(const std::string& sql, bool parameters = true) {
    try {
      exec(sql, {}, parameters);
    } catch (const Error& e) {
      return e.what();
    }
    return "(no error)";
  }
};

// Runs a script: "--" comments removed, statements ended by ";".
inline void runScript(Engine& engine, const std::string& text) {
  std::string clean;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    bool quoted = false;
    char q = 0;
    size_t cut = std::string::npos;
    for (size_t i = 0; i < line.size(); ++i) {
      char c = line[i];
      if (quoted) {
        if (c == q) quoted = false;
      } else if (c == '"' || c == '\'') {
        quoted = true;
        q = c;
      } else if (c == '-' && i + 1 < line.size() && line[i + 1] == '-') {
        cut = i;
        break;
      }
    }
    clean += line.substr(0, cut) + "\n";
  }
  size_t start = 0;
  while (start < clean.size()) {
    size_t end = clean.find(';', start);
    if (end == std::string::npos) end = clean.size();
    std::string stmt = clean.substr(start, end - start);
    if (stmt.find_first_not_of(" \t\r\n") != std::string::npos) engine.execute(stmt);
    start = end + 1;
  }
}

inline std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace jet::sql::test
