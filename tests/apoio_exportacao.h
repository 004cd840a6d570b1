// Helpers of the export's tests: a database with the desktop tables as the
// start-up leaves them, statements run as one transaction, and
// the bytes of a written file.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "apoio.h"
#include "db/bd.h"
#include "db/uglobal.h"
#include "prepare/preparacao.h"

namespace kor::teste {

// The desktop tables after the start-up's preparation (the online catalogue
// tables, the export's auxiliary table and its two columns), with no rows.
// The preparation runs once per test program; each call copies its result.
inline void criaBancoExportacao(const fs::path& caminho) {
  static PastaTemporaria modelo("exportacao_modelo");
  const fs::path banco = modelo.path() / "dados.mdb";
  if (!fs::exists(banco)) {
    criaBancoDesktop(banco);
    conecta(banco);
    AtualizaBanco();
    desconecta();
  }
  fs::copy_file(banco, caminho);
}

// Runs the statements (Windows-1252) on the data module's connection as one
// transaction; a failing one fails the test.
inline void executaTodas(std::initializer_list<std::string> sqls) {
  TTransacao t(BD().Conexao);
  for (const std::string& sql : sqls) ASSERT_EQ(ExecutaSQL(sql), "OK") << sql;
  t.Commit();
}

inline std::string leArquivo(const fs::path& caminho) {
  std::ifstream f(caminho, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// The lines of a file written with CR LF ends, without them.
inline std::vector<std::string> linhasDoArquivo(const fs::path& caminho) {
  std::string texto = leArquivo(caminho);
  std::vector<std::string> out;
  size_t inicio = 0;
  for (size_t fim; (fim = texto.find("\r\n", inicio)) != std::string::npos; inicio = fim + 2) {
    out.push_back(texto.substr(inicio, fim - inicio));
  }
  EXPECT_EQ(inicio, texto.size()) << "the file does not end with CR LF";
  return out;
}

// The fields of a line.
inline std::vector<std::string> campos(const std::string& linha, char separador = '\t') {
  std::vector<std::string> out(1);
  for (char c : linha) {
    if (c == separador) out.emplace_back();
    else out.back() += c;
  }
  return out;
}

}  // namespace kor::teste
