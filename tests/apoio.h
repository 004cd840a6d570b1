// Helpers of the system's tests: temporary folders, fixture databases, the
// data module's connection, whole-database snapshots and running commands.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db/bd.h"
#include "db/conexao.h"
#include "jet/storage/database.h"
#include "jet/storage/text_form.h"
#include "tools/academia.h"
#include "tools/esquema.h"

namespace kor::teste {

namespace fs = std::filesystem;

inline constexpr const char* kSenha = "lumpa";

// A fresh folder under the temporary directory, removed with everything in
// it when the object goes. The name holds the process id, so tests running
// in parallel processes never share one.
class PastaTemporaria {
 public:
  explicit PastaTemporaria(const std::string& nome)
      : path_(fs::temp_directory_path() / ("kor_" + nome + "_" + std::to_string(::getpid()))) {
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~PastaTemporaria() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  PastaTemporaria(const PastaTemporaria&) = delete;
  PastaTemporaria& operator=(const PastaTemporaria&) = delete;

  const fs::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  fs::path path_;
};

// A sample academy written at `caminho`.
inline kor::amostra::ResumoAcademia geraAcademia(const fs::path& caminho, int64_t alunos, bool suja,
                                                 uint64_t semente = 1) {
  kor::amostra::OpcoesAcademia o;
  o.alunos = alunos;
  o.suja = suja;
  o.semente = semente;
  return kor::amostra::geraAcademia(caminho.string(), o);
}

// A blank database with the desktop password.
inline void criaBancoVazio(const fs::path& caminho) { jet::Database::create(caminho.string(), kSenha); }

// A database with the desktop tables and no rows.
inline void criaBancoDesktop(const fs::path& caminho) {
  auto db = jet::Database::create(caminho.string(), kSenha);
  kor::amostra::createDesktopTables(*db);
}

// Points the data module's connection at `caminho` and opens it.
inline void conecta(const fs::path& caminho, const std::string& senha = kSenha) {
  TConexao& c = BD().Conexao;
  c.Close();
  c.ConnectionString = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + caminho.string() +
                       ";Jet OLEDB:Database Password= \"" + senha + "\"";
  c.Open();
}

inline void desconecta() { BD().Conexao.Close(); }

// The rows of a query through the data module's connection, each row its
// values' text forms joined by TABs.
inline std::vector<std::string> linhas(const std::string& sql) {
  TConsulta q(BD().Conexao);
  q.ParamCheck = false;
  q.SetText(sql);
  q.Open();
  std::vector<std::string> out;
  for (q.First(); !q.Eof(); q.Next()) {
    std::string linha;
    for (size_t i = 0; i < q.FieldCount(); ++i) {
      if (i) linha += '\t';
      linha += q.Fields(i).AsString();
    }
    out.push_back(linha);
  }
  return out;
}

// The first column of a query's rows, as integers.
inline std::vector<int32_t> codigos(const std::string& sql) {
  TConsulta q(BD().Conexao);
  q.ParamCheck = false;
  q.SetText(sql);
  q.Open();
  std::vector<int32_t> out;
  for (q.First(); !q.Eof(); q.Next()) out.push_back(q.Fields(0).AsInteger());
  return out;
}

// "1,2,3" (or "0" for none, which matches no key), for "key in (...)".
inline std::string lista(const std::vector<int32_t>& v) {
  if (v.empty()) return "0";
  std::string s;
  for (int32_t x : v) {
    if (!s.empty()) s += ',';
    s += std::to_string(x);
  }
  return s;
}

// Every table of the file with its columns and rows, in the canonical text
// of each value: equal snapshots mean equal contents. Reads the file with an
// engine of its own (close the data module's connection first).
inline std::map<std::string, std::vector<std::string>> conteudo(const fs::path& caminho) {
  auto db = jet::Database::open(caminho.string(), {.password = kSenha});
  std::map<std::string, std::vector<std::string>> out;
  for (const std::string& tabela : db->tableNames()) {
    std::vector<std::string>& rows = out[tabela];
    std::string cabecalho;
    for (const auto& c : db->tableDef(tabela).columns) cabecalho += c.name + "\t";
    rows.push_back(cabecalho);
    auto scan = db->scan(tabela);
    while (scan.next()) {
      std::string linha;
      for (const jet::Value& v : scan.values()) linha += jet::canonicalText(v) + "\t";
      rows.push_back(linha);
    }
  }
  return out;
}

struct Saida {
  std::string texto;  // standard output and error
  int status = -1;    // exit status, -1 when the command did not exit normally
};

// Runs a shell command line.
inline Saida executa(const std::string& linha) {
  Saida s;
  FILE* p = ::popen((linha + " 2>&1").c_str(), "r");
  if (!p) return s;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) s.texto.append(buf, n);
  int st = ::pclose(p);
  s.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return s;
}

}  // namespace kor::teste
