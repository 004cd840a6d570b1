// The SQL modes of jetsql (see sql_shell.h).
//
// The rows of a SELECT are printed as the engine's cursor yields them, in
// large buffered writes, so a query over any table runs in the memory of a
// few rows (ORDER BY: its sort keys and row addresses).
//
// Scripts may hold "--" comments (to the end of the line, outside quotes)
// and statements ended by ";", so a schema file runs as it is. With --tsv
// the rows of every SELECT are printed in the canonical TAB-separated form
// of "dump": the header line, then one line per row. Without it rows are
// printed as an aligned table. The first failing statement stops -c and -f
// with its message on standard error; the shell prints the message and goes
// on.
#include "jet/tools/sql_shell.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "jet/sql/engine.h"
#include "jet/sql/value_ops.h"
#include "jet/storage/error.h"
#include "jet/storage/text_form.h"

namespace {

// Rows are printed as the cursor yields them; nothing holds the result.
void printTsv(jet::sql::Cursor& c) {
  std::cout.flush();
  jet::OutputBuffer out(STDOUT_FILENO);
  std::string& line = out.text();
  const auto& columns = c.columns();
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i) line += '\t';
    line += columns[i].name;
  }
  line += '\n';
  while (c.next()) {
    const auto& row = c.row();
    for (size_t i = 0; i < row.size(); ++i) {
      if (i) line += '\t';
      jet::appendCanonicalText(line, row[i]);
    }
    line += '\n';
    out.maybeFlush();
  }
  out.flush();
}

// The aligned table: the first rows (one screenful) size the columns, then
// every row is printed as it comes; a later value wider than its column
// pushes the rest of its line to the right.
void printTable(jet::sql::Cursor& c) {
  constexpr size_t kSizingRows = 100;
  const auto& columns = c.columns();
  const size_t n = columns.size();
  std::vector<size_t> width(n, 0);
  std::vector<std::vector<std::string>> first;
  for (size_t i = 0; i < n; ++i) width[i] = jet::sql::textLength(columns[i].name);
  auto cellsOf = [&](const std::vector<jet::Value>& row, std::vector<std::string>& cells) {
    cells.resize(std::min(n, row.size()));
    for (size_t i = 0; i < cells.size(); ++i) {
      cells[i].clear();
      if (row[i].isNull()) cells[i] = "NULL";
      else jet::appendCanonicalText(cells[i], row[i]);
    }
  };
  bool more = true;
  while (first.size() < kSizingRows && (more = c.next())) {
    first.emplace_back();
    cellsOf(c.row(), first.back());
    for (size_t i = 0; i < first.back().size(); ++i)
      width[i] = std::max(width[i], jet::sql::textLength(first.back()[i]));
  }
  std::cout.flush();
  jet::OutputBuffer out(STDOUT_FILENO);
  std::string& text = out.text();
  auto emit = [&](const std::vector<std::string>& line) {
    for (size_t i = 0; i < line.size(); ++i) {
      if (i) text += " | ";
      text += line[i];
      size_t w = jet::sql::textLength(line[i]);
      if (i + 1 < line.size() && w < width[i]) text.append(width[i] - w, ' ');
    }
    text += '\n';
    out.maybeFlush();
  };
  std::vector<std::string> head;
  for (const auto& col : columns) head.push_back(col.name);
  emit(head);
  for (size_t i = 0; i < n; ++i) {
    if (i) text += "-+-";
    text.append(width[i], '-');
  }
  text += '\n';
  size_t count = 0;
  for (const auto& line : first) {
    emit(line);
    ++count;
  }
  first.clear();
  std::vector<std::string> cells;
  while (more && c.next()) {
    cellsOf(c.row(), cells);
    emit(cells);
    ++count;
  }
  text += "(" + std::to_string(count) + (count == 1 ? " linha)" : " linhas)") + "\n";
  out.flush();
}

bool changesRows(const std::string& sql) {
  size_t i = sql.find_first_not_of(" \t\r\n(");
  if (i == std::string::npos) return false;
  std::string w;
  for (; i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])); ++i)
    w += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i])));
  return w == "INSERT" || w == "UPDATE" || w == "DELETE";
}

void runOne(jet::sql::Engine& engine, const std::string& sql, bool tsv) {
  jet::sql::StatementOptions o;
  o.parameters = false;
  std::unique_ptr<jet::sql::Cursor> cursor;
  jet::sql::Result r = engine.execute(sql, {}, o, cursor);
  if (cursor) {
    if (tsv) printTsv(*cursor);
    else printTable(*cursor);
  } else if (!tsv && changesRows(sql)) {
    std::cout << r.rowsAffected << (r.rowsAffected == 1 ? " linha afetada" : " linhas afetadas") << '\n';
  }
  std::cout.flush();
}

// Splits a script into statements: comments removed, ";" outside quotes,
// brackets and date literals ends a statement.
std::vector<std::string> splitScript(const std::string& text) {
  std::vector<std::string> out;
  std::string cur;
  char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quote) {
      cur += c;
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '"' || c == '\'' || c == '[' || c == '#') {
      quote = c == '[' ? ']' : c;
      cur += c;
      continue;
    }
    if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      while (i < text.size() && text[i] != '\n') ++i;
      cur += '\n';
      continue;
    }
    if (c == ';') {
      out.push_back(cur);
      cur.clear();
      continue;
    }
    cur += c;
  }
  out.push_back(cur);
  std::vector<std::string> nonEmpty;
  for (auto& s : out)
    if (s.find_first_not_of(" \t\r\n") != std::string::npos) nonEmpty.push_back(s);
  return nonEmpty;
}

// Whether a statement typed so far is complete: quotes and parentheses
// closed.
bool complete(const std::string& s) {
  char quote = 0;
  int depth = 0;
  for (char c : s) {
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '"' || c == '\'' || c == '#') quote = c;
    else if (c == '[') quote = ']';
    else if (c == '(') ++depth;
    else if (c == ')') --depth;
  }
  return !quote && depth <= 0;
}

int interactive(jet::sql::Engine& engine) {
  bool tty = isatty(0);
  std::string buffer, line;
  while (true) {
    if (tty) std::cout << (buffer.empty() ? "jetsql> " : "   ...> ") << std::flush;
    if (!std::getline(std::cin, line)) break;
    buffer += line + "\n";
    if (!complete(buffer)) continue;
    for (const auto& stmt : splitScript(buffer)) {
      try {
        runOne(engine, stmt, false);
      } catch (const jet::Error& e) {
        std::cout << "Erro: " << e.what() << '\n';
      }
    }
    buffer.clear();
  }
  return 0;
}

}  // namespace

bool isSqlShellCommand(const std::vector<std::string>& args) {
  if (args.size() == 1 && args[0] != "--create") return true;
  for (size_t i = 1; i < args.size(); ++i)
    if (args[i] == "-c" || args[i] == "-f" || args[i] == "--tsv") return true;
  return false;
}

int runSqlShell(const std::vector<std::string>& args, const jet::OpenOptions& options) {
  if (args.empty()) return 2;
  const std::string& file = args[0];
  bool tsv = false;
  std::string command, script;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--tsv") tsv = true;
    else if (args[i] == "-c" && i + 1 < args.size()) command = args[++i];
    else if (args[i] == "-f" && i + 1 < args.size()) script = args[++i];
    else {
      std::cerr << "uso: jetsql ARQUIVO [--password SENHA] [--tsv] [-c SQL | -f SCRIPT]\n";
      return 2;
    }
  }
  try {
    jet::OpenOptions o = options;
    o.writable = true;
    auto db = jet::Database::open(file, o);
    jet::sql::Engine engine(*db);
    if (!command.empty()) {
      runOne(engine, command, tsv);
      return 0;
    }
    if (!script.empty()) {
      std::ifstream in(script, std::ios::binary);
      if (!in) {
        std::cerr << "jetsql: não foi possível ler o arquivo '" << script << "'.\n";
        return 1;
      }
      std::stringstream ss;
      ss << in.rdbuf();
      for (const auto& stmt : splitScript(ss.str())) runOne(engine, stmt, tsv);
      return 0;
    }
    return interactive(engine);
  } catch (const jet::Error& e) {
    std::cout.flush();
    std::cerr << "jetsql: " << e.what() << '\n';
    return 1;
  }
}
