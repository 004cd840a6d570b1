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
#include <optional>
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
  // Grows at each Open and Close: a query opened on an earlier connection
  // knows by it that its cursor is gone.
  uint64_t Geracao() const { return geracao_; }

 private:
  std::unique_ptr<jet::Database> db_;
  std::unique_ptr<jet::sql::Engine> engine_;
  bool transacao_ = false;
  uint64_t geracao_ = 0;
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

// A statement with rows. The SQL is set whole or line by line.
//
// The rows are not held: Open starts the engine's cursor and reads its first
// block of rows (kLinhasPorBloco), Next reads the next block when the walk
// leaves the one in hand. So a query over a million rows walks in the memory
// of one block, and a result that fits one block is held whole (First and
// Locate then cost nothing).
//   - RecordCount is exact: a longer result is counted by running the
//     statement once more without building its rows (again whenever another
//     statement has run since the last count).
//   - First after the first block, and Locate, run the statement again (a
//     Locate that finds nothing leaves the walk where it was).
// Statements may run on the connection while a query is open (the rows
// walked may be updated): the rows of the block in hand are as they were
// when the block was read; the rows after it are read as they stand when
// the walk reaches them (see jet::sql::Cursor for the whole rule). Closing
// or reopening the connection ends the cursor: the row in hand can still be
// read, but moving on is an ErroBanco.
class TConsulta {
 public:
  static constexpr size_t kLinhasPorBloco = 256;

  explicit TConsulta(TConexao& conexao);
  ~TConsulta();
  TConsulta(const TConsulta&) = delete;
  TConsulta& operator=(const TConsulta&) = delete;

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

  // Moving and counting throw ErroBanco when the engine fails.
  void First();
  // Past the end stays at the end.
  void Next();
  bool Eof() const;
  int RecordCount() const;
  bool IsEmpty() const;
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
  struct Leitura;
  // A new walk from the first row of the statement as opened (and its
  // columns). Throws ErroBanco.
  std::unique_ptr<Leitura> abre(std::vector<jet::sql::ResultColumn>* colunas = nullptr) const;
  jet::sql::Engine& engine() const;

  TConexao& conexao_;
  bool active_ = false;
  std::vector<jet::sql::ResultColumn> columns_;
  // The statement as opened, in the engine's text.
  std::string sqlAberto_;
  std::vector<jet::Value> parametrosAbertos_;
  bool paramCheckAberto_ = true;
  uint64_t geracao_ = 0;
  std::unique_ptr<Leitura> leitura_;
  // The last count and the engine's change serial when it was made.
  mutable std::optional<int64_t> total_;
  mutable uint64_t serialDoTotal_ = 0;
};

// The text form of a value, as TCampo::AsString gives it.
std::string TextoDoValor(const jet::Value& v);
// The same, appended to `destino`.
void AcrescentaTextoDoValor(std::string& destino, const jet::Value& v);

}  // namespace kor
