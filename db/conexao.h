// The system's door into the Jet engine: the connection, commands, queries
// and their fields, in the shape the windows use (set the SQL, bind
// parameters by position, open, walk the rows, read fields by name).
//
// Text crosses this boundary as Windows-1252 (the system's text); inside the
// engine it is UTF-8. Every engine failure reaches the caller as
// kor::ErroBanco carrying the engine's message in Windows-1252.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "jet/sql/engine.h"
#include "jet/storage/database.h"
#include "jet/storage/value.h"

namespace kor {

// An engine error: what() is the engine's message, in Windows-1252.
class ErroBanco : public std::runtime_error {
 public:
  explicit ErroBanco(const std::string& mensagem) : std::runtime_error(mensagem) {}
};

// The one connection to the desktop database.
class TConexao {
 public:
  TConexao();
  ~TConexao();
  TConexao(const TConexao&) = delete;
  TConexao& operator=(const TConexao&) = delete;

  // "Provider=...;Data Source=PATH;Jet OLEDB:Database Password= "PW"".
  std::string ConnectionString;

  // Opens the database named by the connection string, without an exclusive
  // lock (the desktop product may have it open too). Throws ErroBanco.
  void Open();
  void Close();
  bool Connected() const;

  // Whether the database has a user table of this name (any case).
  bool TemTabela(const std::string& nome);

  // A transaction: the statements run between BeginTrans and CommitTrans
  // reach the file as one write (one journal, one flush), or not at all after
  // RollbackTrans; they see each other's changes. Used where a routine runs
  // thousands of small statements, each of which would otherwise be flushed
  // on its own. No nesting. A statement that fails while writing undoes the
  // whole transaction (the engine cannot undo one statement alone): the
  // statements after it take effect one by one, and CommitTrans throws.
  // All three throw ErroBanco.
  void BeginTrans();
  void CommitTrans();
  void RollbackTrans();
  bool InTransaction() const { return transacao_; }

  // The parts of the connection string.
  std::string DataSource() const;
  std::string Password() const;

  jet::sql::Engine& engine();

 private:
  std::unique_ptr<jet::Database> db_;
  std::unique_ptr<jet::sql::Engine> engine_;
  bool transacao_ = false;
};

// A transaction that is rolled back unless committed before it goes.
class TTransacao {
 public:
  explicit TTransacao(TConexao& conexao) : conexao_(conexao) { conexao_.BeginTrans(); }
  ~TTransacao();
  TTransacao(const TTransacao&) = delete;
  TTransacao& operator=(const TTransacao&) = delete;
  void Commit();

 private:
  TConexao& conexao_;
  bool aberta_ = true;
};

// A positional parameter value (":P1" is index 0).
using Parametro = jet::Value;

// A statement without result rows.
class TComando {
 public:
  explicit TComando(TConexao& conexao) : conexao_(conexao) {}
  std::string CommandText;   // Windows-1252
  bool ParamCheck = true;    // off: a colon is never a parameter mark
  std::vector<Parametro> Parameters;
  void SetParametro(size_t indice, int32_t valor);
  void SetParametro(size_t indice, const std::string& texto);
  // Runs the statement; returns the rows it changed. Throws ErroBanco.
  int64_t Execute();

 private:
  TConexao& conexao_;
};

class TConsulta;

// One field of the current row of an open query.
class TCampo {
 public:
  TCampo(const TConsulta& consulta, size_t indice) : consulta_(&consulta), indice_(indice) {}

  std::string FieldName() const;
  std::string DisplayLabel() const { return FieldName(); }
  jet::ColumnType DataType() const;

  bool IsNull() const;
  jet::Value Value() const;
  // The plain text form: integers in decimal, yes/no as "True"/"False",
  // dates as dd/mm/yyyy plus " hh:nn:ss" when the time is not midnight,
  // numbers and currency in general form with a decimal comma, text as
  // stored (Windows-1252), Null as "".
  std::string AsString() const;
  // Appends the AsString text to `destino`, without building a string of
  // its own for most kinds (for writers of millions of values).
  void AcrescentaTexto(std::string& destino) const;
  // The text as UTF-8 (text columns hold Unicode).
  std::string AsWideString() const;
  int32_t AsInteger() const;
  double AsFloat() const;
  jet::Currency AsCurrency() const;
  double AsDateTime() const;  // OLE date
  bool AsBoolean() const;

 private:
  const TConsulta* consulta_;
  size_t indice_;
};

// A statement with rows. The SQL is set whole or line by line; Open reads the
// result, so RecordCount is exact.
class TConsulta {
 public:
  explicit TConsulta(TConexao& conexao) : conexao_(conexao) {}

  std::vector<std::string> SQL;  // lines, Windows-1252
  bool ParamCheck = true;
  std::vector<Parametro> Parameters;

  void Clear() { SQL.clear(); }
  void Add(const std::string& linha) { SQL.push_back(linha); }
  std::string Text() const;
  void SetText(const std::string& texto);
  void SetParametro(size_t indice, int32_t valor);
  void SetParametro(size_t indice, const std::string& texto);

  void Open();   // throws ErroBanco
  void Close();
  bool Active() const { return active_; }

  void First() { pos_ = 0; }
  void Next() {
    if (pos_ < rows_.size()) ++pos_;
  }
  bool Eof() const { return pos_ >= rows_.size(); }
  int RecordCount() const { return static_cast<int>(rows_.size()); }
  bool IsEmpty() const { return rows_.empty(); }
  // Moves to the first row whose field equals `valor` (text compared without
  // regard to case); false, staying put, when there is none.
  bool Locate(const std::string& campo, const jet::Value& valor);

  size_t FieldCount() const { return columns_.size(); }
  TCampo Fields(size_t indice) const;
  // Throws ErroBanco when the query has no such field.
  TCampo FieldByName(const std::string& nome) const;
  // -1 when absent.
  int IndexOf(const std::string& nome) const;

  // For TCampo.
  const jet::sql::ResultColumn& column(size_t i) const;
  const jet::Value* current(size_t i) const;

 private:
  TConexao& conexao_;
  bool active_ = false;
  std::vector<jet::sql::ResultColumn> columns_;
  std::vector<std::vector<jet::Value>> rows_;
  size_t pos_ = 0;
};

// The text form of a value, as TCampo::AsString gives it.
std::string TextoDoValor(const jet::Value& v);
// The same, appended to `destino`.
void AcrescentaTextoDoValor(std::string& destino, const jet::Value& v);

}  // namespace kor
