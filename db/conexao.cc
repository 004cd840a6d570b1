#include "db/conexao.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "common/texto.h"
#include "jet/sql/regional.h"
#include "jet/sql/value_ops.h"
#include "jet/storage/error.h"
#include "jet/storage/text_form.h"

namespace kor {

namespace {

[[noreturn]] void rethrow(const jet::Error& e) { throw ErroBanco(Utf8ParaWin1252(e.what())); }

std::string trim(std::string s) {
  size_t a = s.find_first_not_of(" \t");
  size_t b = s.find_last_not_of(" \t");
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// The value of `key` in a "k=v;k=v" connection string (case-insensitive
// key); a value in double quotes loses its quotes.
std::string connectionPart(const std::string& cs, const std::string& key) {
  size_t pos = 0;
  while (pos <= cs.size()) {
    size_t end = cs.find(';', pos);
    if (end == std::string::npos) end = cs.size();
    std::string part = cs.substr(pos, end - pos);
    size_t eq = part.find('=');
    if (eq != std::string::npos && jet::foldName(trim(part.substr(0, eq))) == jet::foldName(key)) {
      std::string v = trim(part.substr(eq + 1));
      if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
      return v;
    }
    pos = end + 1;
  }
  return "";
}

jet::Value toEngine(const Parametro& p) {
  if (p.is<std::string>()) return jet::Value(Win1252ParaUtf8(p.as<std::string>()));
  return p;
}

std::vector<jet::Value> engineParams(const std::vector<Parametro>& params) {
  std::vector<jet::Value> out;
  out.reserve(params.size());
  for (const auto& p : params) out.push_back(toEngine(p));
  return out;
}

void setParam(std::vector<Parametro>& params, size_t i, jet::Value v) {
  if (params.size() <= i) params.resize(i + 1);
  params[i] = std::move(v);
}

void append2(std::string& out, int n) {
  out += static_cast<char>('0' + n / 10 % 10);
  out += static_cast<char>('0' + n % 10);
}

// dd/mm/yyyy, and " hh:nn:ss" when the time is not midnight.
void appendDate(std::string& out, double days) {
  jet::CivilDateTime c = jet::toCivil(days);
  append2(out, c.day);
  out += '/';
  append2(out, c.month);
  out += '/';
  if (c.year >= 0 && c.year <= 9999) {
    append2(out, c.year / 100);
    append2(out, c.year % 100);
  } else {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d", c.year);
    out += buf;
  }
  if (c.hour || c.minute || c.second) {
    out += ' ';
    append2(out, c.hour);
    out += ':';
    append2(out, c.minute);
    out += ':';
    append2(out, c.second);
  }
}

}  // namespace

std::string TextoDoValor(const jet::Value& v) {
  std::string out;
  AcrescentaTextoDoValor(out, v);
  return out;
}

void AcrescentaTextoDoValor(std::string& out, const jet::Value& v) {
  using K = jet::ValueKind;
  switch (v.kind()) {
    case K::Null: return;
    case K::Boolean: out += v.as<bool>() ? "True" : "False"; return;
    case K::Byte:
    case K::Integer:
    case K::Long: {
      char buf[24];
      auto r = std::to_chars(buf, buf + sizeof buf, jet::sql::toLong(v));
      out.append(buf, r.ptr);
      return;
    }
    case K::Currency: out += jet::sql::formatCurrencyGeneral(v.as<jet::Currency>().scaled); return;
    case K::Single: out += jet::sql::formatGeneralNumber(v.as<float>(), true); return;
    case K::Double: out += jet::sql::formatGeneralNumber(v.as<double>()); return;
    case K::Date: appendDate(out, v.as<jet::DateTime>().days); return;
    case K::Text: AcrescentaWin1252(out, v.as<std::string>()); return;
    case K::Binary: out.append(v.as<jet::Bytes>().begin(), v.as<jet::Bytes>().end()); return;
    case K::Guid: out += jet::canonicalText(v); return;
  }
}

// --- Connection ---------------------------------------------------------------

TConexao::TConexao() = default;
TConexao::~TConexao() = default;

std::string TConexao::DataSource() const { return connectionPart(ConnectionString, "Data Source"); }
std::string TConexao::Password() const { return connectionPart(ConnectionString, "Jet OLEDB:Database Password"); }

void TConexao::Open() {
  Close();
  ++geracao_;
  std::string path = DataSource();
  if (path.empty()) throw ErroBanco("A cadeia de conexão não indica o banco de dados.");
  try {
    db_ = jet::Database::open(path, {.password = Win1252ParaUtf8(Password()), .writable = true});
    engine_ = std::make_unique<jet::sql::Engine>(*db_);
  } catch (const jet::Error& e) {
    Close();
    rethrow(e);
  }
}

void TConexao::Close() {
  if (transacao_) {
    try {
      RollbackTrans();
    } catch (const ErroBanco&) {
    }
    transacao_ = false;
  }
  ++geracao_;
  engine_.reset();
  db_.reset();
}

bool TConexao::Connected() const { return engine_ != nullptr; }

jet::sql::Engine& TConexao::engine() {
  if (!engine_) throw ErroBanco("A conexão com o banco de dados não está aberta.");
  return *engine_;
}

bool TConexao::TemTabela(const std::string& nome) {
  return engine().database().hasTable(Win1252ParaUtf8(nome));
}

void TConexao::BeginTrans() {
  jet::Database& db = engine().database();
  if (transacao_) throw ErroBanco("Já existe uma transação aberta.");
  try {
    db.beginOperation();
  } catch (const jet::Error& e) {
    rethrow(e);
  }
  transacao_ = true;
}

void TConexao::CommitTrans() {
  jet::Database& db = engine().database();
  if (!transacao_) throw ErroBanco("Não há transação aberta.");
  transacao_ = false;
  if (!db.pager().inOperation()) {
    throw ErroBanco("A transação foi desfeita por uma falha de gravação; só as instruções seguintes a ela foram gravadas.");
  }
  try {
    db.commitOperation();
  } catch (const jet::Error& e) {
    db.rollbackOperation();
    engine_->invalidateCaches();
    rethrow(e);
  }
}

void TConexao::RollbackTrans() {
  jet::Database& db = engine().database();
  if (!transacao_) throw ErroBanco("Não há transação aberta.");
  transacao_ = false;
  try {
    db.rollbackOperation();
  } catch (const jet::Error& e) {
    engine_->invalidateCaches();
    rethrow(e);
  }
  // The engine's hash indexes may hold rows the rollback took away.
  engine_->invalidateCaches();
}

TTransacao::~TTransacao() {
  if (!aberta_) return;
  try {
    conexao_.RollbackTrans();
  } catch (const ErroBanco&) {
  }
}

void TTransacao::Commit() {
  aberta_ = false;
  conexao_.CommitTrans();
}

// --- Commands -----------------------------------------------------------------

void TComando::SetParametro(size_t i, int32_t v) { setParam(Parameters, i, jet::Value(v)); }
void TComando::SetParametro(size_t i, const std::string& t) { setParam(Parameters, i, jet::Value(t)); }

int64_t TComando::Execute() {
  try {
    jet::sql::StatementOptions options;
    options.parameters = ParamCheck;
    return conexao_.engine()
        .execute(Win1252ParaUtf8(CommandText), engineParams(Parameters), options)
        .rowsAffected;
  } catch (const jet::Error& e) {
    rethrow(e);
  }
}

// --- Queries ------------------------------------------------------------------

std::string TConsulta::Text() const {
  std::string t;
  for (size_t i = 0; i < SQL.size(); ++i) {
    if (i) t += "\r\n";
    t += SQL[i];
  }
  return t;
}

void TConsulta::SetText(const std::string& texto) { SQL = {texto}; }
void TConsulta::SetParametro(size_t i, int32_t v) { setParam(Parameters, i, jet::Value(v)); }
void TConsulta::SetParametro(size_t i, const std::string& t) { setParam(Parameters, i, jet::Value(t)); }

// One walk through the result: the cursor and the block of rows in hand,
// rows [inicio, inicio + linhas) of the result.
struct TConsulta::Leitura {
  std::unique_ptr<jet::sql::Cursor> cursor;
  std::vector<std::vector<jet::Value>> bloco;  // kLinhasPorBloco slots, reused
  size_t linhas = 0;   // rows of the block in hand
  size_t inicio = 0;   // position in the result of the block's first row
  size_t pos = 0;      // the current row in the block; linhas = end of rows
  bool fim = false;    // the cursor has no more rows

  bool inteira() const { return inicio == 0 && fim; }

  // Reads the next block after the one in hand.
  void leBloco() {
    inicio += linhas;
    linhas = 0;
    pos = 0;
    if (bloco.size() < kLinhasPorBloco) bloco.resize(kLinhasPorBloco);
    while (linhas < kLinhasPorBloco) {
      if (!cursor->next()) {
        fim = true;
        cursor.reset();
        break;
      }
      bloco[linhas++] = cursor->row();
    }
    if (fim && inicio == 0) {
      // Held whole: no more than the rows it has.
      bloco.resize(linhas);
      bloco.shrink_to_fit();
    }
  }
  void avanca() {
    if (pos >= linhas) return;
    if (++pos == linhas && !fim) leBloco();
  }
};

TConsulta::TConsulta(TConexao& conexao) : conexao_(conexao) {}
TConsulta::~TConsulta() = default;

jet::sql::Engine& TConsulta::engine() const {
  if (conexao_.Geracao() != geracao_)
    throw ErroBanco(Utf8ParaWin1252("A conexão com o banco de dados foi fechada enquanto a consulta estava aberta."));
  return conexao_.engine();
}

std::unique_ptr<TConsulta::Leitura> TConsulta::abre(std::vector<jet::sql::ResultColumn>* colunas) const {
  auto l = std::make_unique<Leitura>();
  try {
    jet::sql::StatementOptions options;
    options.parameters = paramCheckAberto_;
    l->cursor = engine().query(sqlAberto_, parametrosAbertos_, options);
    if (colunas) *colunas = l->cursor->columns();
    l->leBloco();
  } catch (const jet::Error& e) {
    rethrow(e);
  }
  return l;
}

void TConsulta::Open() {
  Close();
  sqlAberto_ = Win1252ParaUtf8(Text());
  parametrosAbertos_ = engineParams(Parameters);
  paramCheckAberto_ = ParamCheck;
  geracao_ = conexao_.Geracao();
  try {
    leitura_ = abre(&columns_);
  } catch (...) {
    columns_.clear();
    throw;
  }
  active_ = true;
}

void TConsulta::Close() {
  active_ = false;
  columns_.clear();
  leitura_.reset();
  total_.reset();
}

void TConsulta::First() {
  if (!leitura_ || leitura_->inicio == 0) {
    if (leitura_) leitura_->pos = 0;
    return;
  }
  leitura_ = abre();
}

void TConsulta::Next() {
  if (!leitura_) return;
  try {
    // Reading the next block needs the cursor's connection.
    if (leitura_->pos + 1 >= leitura_->linhas && !leitura_->fim) engine();
    leitura_->avanca();
  } catch (const jet::Error& e) {
    rethrow(e);
  }
}

bool TConsulta::Eof() const { return !leitura_ || leitura_->pos >= leitura_->linhas; }

bool TConsulta::IsEmpty() const { return !leitura_ || (leitura_->inicio == 0 && leitura_->linhas == 0); }

int TConsulta::RecordCount() const {
  if (!leitura_) return 0;
  if (leitura_->inteira()) return static_cast<int>(leitura_->linhas);
  jet::sql::Engine& e = engine();
  if (!total_ || serialDoTotal_ != e.changeSerial()) {
    try {
      jet::sql::StatementOptions options;
      options.parameters = paramCheckAberto_;
      total_ = e.query(sqlAberto_, parametrosAbertos_, options)->count();
      serialDoTotal_ = e.changeSerial();
    } catch (const jet::Error& err) {
      rethrow(err);
    }
  }
  return static_cast<int>(*total_);
}

int TConsulta::IndexOf(const std::string& nome) const {
  std::string key = jet::foldName(Win1252ParaUtf8(nome));
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (jet::foldName(columns_[i].name) == key) return static_cast<int>(i);
  }
  return -1;
}

TCampo TConsulta::FieldByName(const std::string& nome) const {
  int i = IndexOf(nome);
  if (i < 0) throw ErroBanco("Campo '" + nome + "' não encontrado.");
  return TCampo(*this, static_cast<size_t>(i));
}

TCampo TConsulta::Fields(size_t i) const {
  if (i >= columns_.size()) throw ErroBanco("Índice de campo fora do intervalo.");
  return TCampo(*this, i);
}

bool TConsulta::Locate(const std::string& campo, const jet::Value& valor) {
  int c = IndexOf(campo);
  if (c < 0) throw ErroBanco("Campo '" + campo + "' não encontrado.");
  if (!leitura_) return false;
  jet::Value key = toEngine(valor);
  auto procura = [&](Leitura& l) {
    for (; l.pos < l.linhas; ++l.pos) {
      auto cmp = jet::sql::compareValues(l.bloco[l.pos][static_cast<size_t>(c)], key);
      if (cmp && *cmp == 0) return true;
    }
    return false;
  };
  if (leitura_->inteira()) {
    size_t antes = leitura_->pos;
    leitura_->pos = 0;
    if (procura(*leitura_)) return true;
    leitura_->pos = antes;
    return false;
  }
  // From the first row, on a walk of its own, so that the walk in hand is
  // untouched when nothing is found.
  std::unique_ptr<Leitura> l = abre();
  try {
    while (!procura(*l)) {
      if (l->fim) return false;
      l->leBloco();
    }
  } catch (const jet::Error& e) {
    rethrow(e);
  }
  leitura_ = std::move(l);
  return true;
}

const jet::sql::ResultColumn& TConsulta::column(size_t i) const { return columns_.at(i); }

const jet::Value* TConsulta::current(size_t i) const {
  if (!leitura_ || leitura_->pos >= leitura_->linhas) return nullptr;
  const auto& row = leitura_->bloco[leitura_->pos];
  return i < row.size() ? &row[i] : nullptr;
}

// --- Fields ---------------------------------------------------------------------

std::string TCampo::FieldName() const { return Utf8ParaWin1252(consulta_->column(indice_).name); }
jet::ColumnType TCampo::DataType() const { return consulta_->column(indice_).type.type; }

bool TCampo::IsNull() const {
  const jet::Value* v = consulta_->current(indice_);
  return !v || v->isNull();
}

jet::Value TCampo::Value() const {
  const jet::Value* v = consulta_->current(indice_);
  if (!v) return jet::Value();
  if (v->is<std::string>()) return jet::Value(Utf8ParaWin1252(v->as<std::string>()));
  return *v;
}

std::string TCampo::AsString() const {
  const jet::Value* v = consulta_->current(indice_);
  return v ? TextoDoValor(*v) : std::string();
}

void TCampo::AcrescentaTexto(std::string& destino) const {
  if (const jet::Value* v = consulta_->current(indice_)) AcrescentaTextoDoValor(destino, *v);
}

std::string TCampo::AsWideString() const {
  const jet::Value* v = consulta_->current(indice_);
  if (!v || v->isNull()) return "";
  if (v->is<std::string>()) return v->as<std::string>();
  return Win1252ParaUtf8(TextoDoValor(*v));
}

namespace {
template <class F>
auto convertOr(const jet::Value* v, F f, decltype(f(*v)) fallback) {
  if (!v || v->isNull()) return fallback;
  try {
    return f(*v);
  } catch (const jet::Error& e) {
    throw ErroBanco(Utf8ParaWin1252(e.what()));
  }
}
}  // namespace

int32_t TCampo::AsInteger() const {
  return convertOr(consulta_->current(indice_), [](const jet::Value& v) { return jet::sql::toLong(v); }, 0);
}
double TCampo::AsFloat() const {
  return convertOr(consulta_->current(indice_), [](const jet::Value& v) { return jet::sql::toDouble(v); }, 0.0);
}
jet::Currency TCampo::AsCurrency() const {
  return convertOr(
      consulta_->current(indice_),
      [](const jet::Value& v) { return jet::Currency{jet::sql::toCurrencyScaled(v)}; }, jet::Currency{});
}
double TCampo::AsDateTime() const {
  return convertOr(consulta_->current(indice_), [](const jet::Value& v) { return jet::sql::toDate(v); }, 0.0);
}
bool TCampo::AsBoolean() const {
  return convertOr(
      consulta_->current(indice_), [](const jet::Value& v) { return jet::sql::toBool(v).value_or(false); }, false);
}

}  // namespace kor
