// Helpers of the export's tests: a database with the desktop tables and what
// the start-up adds for the export, statements run as one transaction, and
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

namespace kor::teste {

// The desktop tables plus the start-up's online catalogue tables, the
// export's auxiliary table and its two columns, with no rows.
inline void criaBancoExportacao(const fs::path& caminho) {
  auto db = jet::Database::create(caminho.string(), kSenha);
  kor::amostra::createDesktopTables(*db);
  for (const char* st : {
           "CREATE TABLE Online_Modalidades (CodigoModalidade AutoIncrement, Modalidade Text(30), PRIMARY KEY "
           "(CodigoModalidade))",
           "CREATE TABLE Online_Planos (CodigoPlano AutoIncrement, Plano Text(50), Tipo Text(1), Situacao Text(1), "
           "PRIMARY KEY (CodigoPlano))",
           "CREATE TABLE Online_PlanosModalidades(CodigoPlano Number, CodigoModalidade Number, PRIMARY KEY "
           "(CodigoPlano,CodigoModalidade))",
           "CREATE TABLE Online_PlanosValores (CodigoPlanoValor AutoIncrement, CodigoPlano Number, Meses Number, Valor "
           "Currency, Situacao Text(1), PRIMARY KEY (CodigoPlanoValor))",
           "CREATE TABLE Online_RecibosRecebimentos (recebID Number, reciboID Number)",
           "ALTER TABLE Matricula ADD ProximaGeracaoCobranca Date",
           "ALTER TABLE Modalidades ADD CodigoPlanoValor Number",
       }) {
    kor::amostra::runDdl(*db, st);
  }
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
