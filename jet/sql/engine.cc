// The engine: runs a statement from text to effect. SELECT goes through the
// binder, planner and executor to a cursor; INSERT, UPDATE and DELETE first
// compute every row they change (so a statement never sees its own writes),
// then apply them inside one storage operation; DDL maps the Jet type names
// onto the storage engine's column descriptions. A failing statement rolls its
// operation back, so it changes nothing.
#include "jet/sql/engine.h"

#include <algorithm>

#include "jet/sql/bound_expr.h"
#include "jet/sql/parser.h"
#include "jet/sql/regional.h"
#include "jet/storage/error.h"

namespace jet::sql {

// --- Cursor -------------------------------------------------------------------

struct Cursor::Rep {
  Statement stmt;
  std::unique_ptr<SelectPlan> plan;
  std::vector<Value> params;
  ExecState exec;
  std::vector<Value> row;
  const std::vector<Value>* current = &row;
};

Cursor::Cursor() : rep_(std::make_unique<Rep>()) {}
Cursor::~Cursor() = default;
const std::vector<ResultColumn>& Cursor::columns() const { return rep_->plan->columns; }
bool Cursor::next() {
  SelectPlan& plan = *rep_->plan;
  if (!plan.next()) {
    rep_->current = &rep_->row;
    rep_->row.clear();
    return false;
  }
  const auto& r = plan.row();
  // Rows with extra sort columns are cut to the visible ones; others are
  // handed out as the plan holds them.
  if (r.size() == plan.columns.size()) {
    rep_->current = &r;
  } else {
    rep_->row.assign(r.begin(), r.begin() + static_cast<long>(std::min(plan.columns.size(), r.size())));
    rep_->current = &rep_->row;
  }
  return true;
}
const std::vector<Value>& Cursor::row() const { return *rep_->current; }
int64_t Cursor::count() {
  rep_->current = &rep_->row;
  rep_->row.clear();
  return rep_->plan->countRest();
}

// --- Engine -------------------------------------------------------------------------

Engine::Engine(Database& db) : db_(db) {}
Engine::~Engine() = default;

void Engine::invalidateCaches() {
  ++changeSerial_;
  indexes_.clear();
  lookupCounts_.clear();
}

void Engine::invalidateTable(std::string_view table) {
  std::string t = foldName(table);
  for (auto it = indexes_.begin(); it != indexes_.end();) {
    if (it->first.first == t) it = indexes_.erase(it);
    else ++it;
  }
}

bool Engine::wantsLookupIndex(const TableDef& def, int column, bool parameterValue) {
  auto key = std::make_pair(foldName(def.name), column);
  auto it = indexes_.find(key);
  if (it != indexes_.end() && it->second->def == &def) return true;
  if (parameterValue) return true;
  // A literal: worth a hash index when the column is a unique key, or when
  // lookups on it repeat (statements built with their values in the text).
  for (const auto& x : def.indexes) {
    const RealIndexDef& r = def.realIndexes[x.realIndex];
    if (r.columns.size() == 1 && (x.primaryKey() || r.unique()) &&
        def.positionOfNumber(r.columns[0].columnNumber) == column)
      return true;
  }
  // Counted once per statement: the blocks of one UNION repeating a flag
  // test are no sign of repeated lookups.
  auto& [count, statement] = lookupCounts_[key];
  if (statement != statementSerial_) {
    statement = statementSerial_;
    ++count;
  }
  return count >= 2;
}

Engine::LookupIndex* Engine::lookupIndex(const TableDef& def, int column, bool build) {
  auto key = std::make_pair(foldName(def.name), column);
  auto it = indexes_.find(key);
  if (it != indexes_.end() && it->second->def == &def) return it->second.get();
  if (!build) return nullptr;
  auto idx = std::make_unique<LookupIndex>();
  idx->def = &def;
  idx->column = column;
  TableScan scan(db_, def);
  std::vector<char> wanted(def.columns.size(), 0);
  wanted[static_cast<size_t>(column)] = 1;
  scan.setWanted(wanted);
  std::string k;
  while (scan.next()) {
    const Value& v = scan.values()[static_cast<size_t>(column)];
    if (v.isNull()) continue;
    k.clear();
    appendKey(k, v);
    idx->rows[k].push_back(scan.rowId());
  }
  LookupIndex* raw = idx.get();
  indexes_[key] = std::move(idx);
  return raw;
}

void Engine::noteInsert(const TableDef& def, RowId id, const std::vector<Value>& values) {
  std::string t = foldName(def.name);
  for (auto& [key, idx] : indexes_) {
    if (key.first != t) continue;
    const Value& v = values[static_cast<size_t>(idx->column)];
    if (v.isNull()) continue;
    std::string k;
    appendKey(k, v);
    idx->rows[k].push_back(id);
  }
}

void Engine::noteDelete(const TableDef& def, RowId id, const std::vector<Value>& before) {
  std::string t = foldName(def.name);
  for (auto& [key, idx] : indexes_) {
    if (key.first != t) continue;
    const Value& v = before[static_cast<size_t>(idx->column)];
    if (v.isNull()) continue;
    std::string k;
    appendKey(k, v);
    auto it = idx->rows.find(k);
    if (it == idx->rows.end()) continue;
    auto& ids = it->second;
    ids.erase(std::remove(ids.begin(), ids.end(), id), ids.end());
    if (ids.empty()) idx->rows.erase(it);
  }
}

void Engine::noteUpdate(const TableDef& def, RowId id, const std::vector<Value>& before,
                        const std::vector<Value>& after) {
  std::string t = foldName(def.name);
  for (auto& [key, idx] : indexes_) {
    if (key.first != t) continue;
    size_t c = static_cast<size_t>(idx->column);
    std::string a, b;
    appendKey(a, before[c]);
    appendKey(b, after[c]);
    if (a == b) continue;
    noteDeleteOne(*idx, id, before[c]);
    if (!after[c].isNull()) idx->rows[b].push_back(id);
  }
}

void Engine::noteDeleteOne(LookupIndex& idx, RowId id, const Value& v) {
  if (v.isNull()) return;
  std::string k;
  appendKey(k, v);
  auto it = idx.rows.find(k);
  if (it == idx.rows.end()) return;
  auto& ids = it->second;
  ids.erase(std::remove(ids.begin(), ids.end(), id), ids.end());
  if (ids.empty()) idx.rows.erase(it);
}

namespace {

// Jet type name to a storage column description.
ColumnSpec columnSpecOf(const ColumnDefAst& c) {
  ColumnSpec column;
  column.name = c.name;
  const std::string& t = c.typeName;
  auto is = [&](std::initializer_list<const char*> names) {
    for (const char* n : names)
      if (t == n) return true;
    return false;
  };
  if (is({"TEXT", "CHAR", "VARCHAR", "CHARACTER", "CHARACTERVARYING", "STRING", "ALPHANUMERIC", "NCHAR", "NVARCHAR",
          "NATIONAL"})) {
    column.type = ColumnType::Text;
    unsigned n = c.size.value_or(255);
    if (n == 0 || n > 255) throw Error("Tamanho de campo inválido para o campo '" + c.name + "': " + std::to_string(n) + ".");
    column.textChars = n;
  } else if (is({"MEMO", "LONGTEXT", "LONGCHAR", "NOTE", "NTEXT", "LONGVARCHAR"})) {
    column.type = ColumnType::Memo;
  } else if (is({"BYTE", "TINYINT", "INTEGER1"})) {
    column.type = ColumnType::Byte;
  } else if (is({"SMALLINT", "SHORT", "INTEGER2", "INTEGER", "INT"})) {
    // INTEGER is the 16-bit Integer of the desktop tables' layout.
    column.type = ColumnType::Integer;
  } else if (is({"LONG", "INTEGER4", "LONGINTEGER"})) {
    column.type = ColumnType::Long;
  } else if (is({"COUNTER", "AUTOINCREMENT", "AUTONUMBER", "IDENTITY"})) {
    column.type = ColumnType::Long;
    column.autoNumber = true;
  } else if (is({"SINGLE", "REAL", "FLOAT4", "IEEESINGLE"})) {
    column.type = ColumnType::Single;
  } else if (is({"DOUBLE", "FLOAT", "FLOAT8", "NUMBER", "NUMERIC", "DECIMAL", "DEC", "IEEEDOUBLE"})) {
    column.type = ColumnType::Double;
  } else if (is({"CURRENCY", "MONEY"})) {
    column.type = ColumnType::Currency;
  } else if (is({"DATETIME", "DATE", "TIME", "TIMESTAMP"})) {
    column.type = ColumnType::DateTime;
  } else if (is({"BIT", "YESNO", "LOGICAL", "LOGICAL1", "BOOLEAN"})) {
    column.type = ColumnType::Boolean;
  } else if (is({"BINARY", "VARBINARY", "BINARYVARYING"})) {
    column.type = ColumnType::Binary;
  } else if (is({"LONGBINARY", "OLEOBJECT", "GENERAL", "IMAGE"})) {
    column.type = ColumnType::OLE;
  } else if (is({"GUID", "UNIQUEIDENTIFIER"})) {
    column.type = ColumnType::Guid;
  } else {
    throw Error("Erro de sintaxe na definição de campo: tipo '" + c.typeName + "' desconhecido.");
  }
  return column;
}

std::string indexNameFor(const std::string& table, const ConstraintAst& k) {
  if (!k.name.empty()) return k.name;
  return k.kind == ConstraintAst::Kind::PrimaryKey ? "PrimaryKey" : "Index_" + table;
}

// Checks a converted text against its column's length, in Jet's words.
void checkLength(const ColumnDef& c, const Value& v, const std::string& table) {
  if (c.type != ColumnType::Text || v.kind() != ValueKind::Text) return;
  if (textLength(v.as<std::string>()) > c.textChars())
    throw Error("O campo '" + table + "." + c.name +
                "' é muito pequeno para aceitar a quantidade de dados que você tentou adicionar. Tente inserir ou "
                "colar menos dados.");
}

// A single-instance block for the target of INSERT, UPDATE and DELETE.
std::unique_ptr<CorePlan> targetBlock(Database& db, const std::string& table) {
  auto core = std::make_unique<CorePlan>();
  Instance inst;
  inst.def = &db.tableDef(table);
  inst.name = inst.def->name;
  inst.alias = table;
  inst.wanted.assign(inst.def->columns.size(), 0);
  core->instances.push_back(std::move(inst));
  return core;
}

int columnIndex(const TableDef& def, const std::string& name) {
  for (size_t i = 0; i < def.columns.size(); ++i)
    if (foldName(def.columns[i].name) == foldName(name)) return static_cast<int>(i);
  throw Error("Nome de campo desconhecido: '" + name + "'.");
}

}  // namespace

namespace {

// Runs `f`, turning what escapes it into the engine's error.
template <class F>
auto guarded(F f) {
  try {
    return f();
  } catch (const Error&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw Error("Memória insuficiente para executar a instrução.");
  } catch (const std::exception& e) {
    throw Error(std::string("Erro interno do mecanismo de banco de dados: ") + e.what());
  }
}

}  // namespace

std::unique_ptr<Cursor> Engine::query(std::string_view sql, const std::vector<Value>& params,
                                      const StatementOptions& options) {
  std::unique_ptr<Cursor> cursor;
  guarded([&] { return run(sql, params, options, &cursor); });
  if (!cursor) throw Error("A instrução não é uma consulta SELECT.");
  return cursor;
}

Result Engine::execute(std::string_view sql, const std::vector<Value>& params, const StatementOptions& options,
                       std::unique_ptr<Cursor>& cursor) {
  cursor.reset();
  return guarded([&] { return run(sql, params, options, &cursor); });
}

Result Engine::execute(std::string_view sql, const std::vector<Value>& params, const StatementOptions& options) {
  return guarded([&] { return run(sql, params, options, nullptr); });
}

Result Engine::run(std::string_view sql, const std::vector<Value>& params, const StatementOptions& options,
                   std::unique_ptr<Cursor>* cursorOut) {
  ++statementSerial_;
  LexOptions lex;
  lex.parameters = options.parameters;
  Statement st = parseStatement(sql, lex);
  Result result;
  BindContext cx;
  cx.engine = this;
  cx.db = &db_;
  ExecState exec;
  exec.engine = this;
  exec.db = &db_;
  exec.params = &params;
  exec.now = nowDate();
  auto checkParams = [&]() {
    if (static_cast<size_t>(st.parameterCount) > params.size())
      throw Error("Nenhum valor foi fornecido para um ou mais parâmetros necessários.");
  };

  if (st.kind != Statement::Kind::Select) ++changeSerial_;
  switch (st.kind) {
    case Statement::Kind::Select: {
      checkParams();
      std::unique_ptr<Cursor> c(new Cursor());
      c->rep_->params = params;
      c->rep_->exec = exec;
      c->rep_->exec.params = &c->rep_->params;
      c->rep_->plan = bindSelect(cx, *st.select, nullptr);
      c->rep_->plan->open(nullptr, c->rep_->exec);
      c->rep_->stmt = std::move(st);
      result.isQuery = true;
      result.columns = c->rep_->plan->columns;
      if (cursorOut) {
        *cursorOut = std::move(c);
        return result;
      }
      while (c->next()) result.rows.push_back(c->row());
      return result;
    }
    case Statement::Kind::Insert: {
      checkParams();
      const TableDef& def = db_.tableDef(st.table);
      std::string table = def.name;
      std::vector<int> targets;
      if (st.columns.empty()) {
        for (size_t i = 0; i < def.columns.size(); ++i) targets.push_back(static_cast<int>(i));
      } else {
        for (const auto& n : st.columns) {
          int ci = columnIndex(def, n);
          if (std::find(targets.begin(), targets.end(), ci) != targets.end())
            throw Error("Destino de saída '" + n + "' duplicado na instrução INSERT INTO.");
          targets.push_back(ci);
        }
      }
      std::vector<std::vector<Value>> rows;
      if (st.select) {
        auto plan = bindSelect(cx, *st.select, nullptr);
        if (plan->columns.size() != targets.size())
          throw Error("O número de valores da consulta e o número de campos de destino são diferentes.");
        plan->open(nullptr, exec);
        while (plan->next()) {
          const auto& r = plan->row();
          rows.emplace_back(r.begin(), r.begin() + static_cast<long>(targets.size()));
        }
      } else {
        CorePlan empty;
        for (const auto& vals : st.values) {
          if (vals.size() != targets.size())
            throw Error("O número de valores da consulta e o número de campos de destino são diferentes.");
          std::vector<Value> r;
          empty.frame.exec = &exec;
          for (const auto& e : vals) {
            BExprPtr b = bindStandalone(cx, *e, empty, "VALUES");
            r.push_back(b->value(empty.frame));
          }
          rows.push_back(std::move(r));
        }
      }
      // Convert everything before writing anything.
      std::vector<std::vector<Value>> full;
      full.reserve(rows.size());
      for (auto& r : rows) {
        std::vector<Value> v(def.columns.size());
        for (size_t k = 0; k < targets.size(); ++k) {
          const ColumnDef& c = def.columns[static_cast<size_t>(targets[k])];
          v[static_cast<size_t>(targets[k])] = convertForColumn(r[k], c);
          checkLength(c, v[static_cast<size_t>(targets[k])], table);
        }
        full.push_back(std::move(v));
      }
      db_.beginOperation();
      try {
        for (auto& v : full) {
          RowId id = db_.insertRow(table, v);
          const TableDef& now = db_.tableDef(table);
          if (!indexes_.empty()) {
            // AutoNumbers are filled by the storage engine: read the row back.
            std::vector<Value> stored;
            PageRef p = db_.pager().page(id.page);
            if (db_.readRow(now, *p, id.page, id.row, stored)) noteInsert(now, id, stored);
          }
        }
        db_.commitOperation();
      } catch (...) {
        db_.rollbackOperation();
        invalidateTable(table);
        throw;
      }
      result.rowsAffected = static_cast<int64_t>(full.size());
      return result;
    }
    case Statement::Kind::Update:
    case Statement::Kind::Delete: {
      checkParams();
      auto core = targetBlock(db_, st.table);
      const TableDef& def = *core->instances[0].def;
      std::string table = def.name;
      std::vector<BExprPtr> where;
      if (st.where) {
        std::vector<const Expr*> parts;
        splitConjuncts(*st.where, parts);
        for (const Expr* p : parts) where.push_back(bindStandalone(cx, *p, *core, "WHERE"));
      }
      std::vector<std::pair<int, BExprPtr>> sets;
      for (auto& [name, e] : st.sets) {
        int ci = columnIndex(def, name);
        sets.emplace_back(ci, bindStandalone(cx, *e, *core, "UPDATE"));
      }
      for (auto& s : sets) core->instances[0].wanted[static_cast<size_t>(s.first)] = 1;
      auto from = std::make_unique<FromNode>();
      from->instance = 0;
      from->mask = 1;
      planCore(cx, *core, std::move(from), std::move(where));
      core->frame.exec = &exec;
      core->frame.outer = nullptr;
      // Collect the changes first. A value that is the same for every row
      // (a constant or a parameter) is kept once, the others once per row.
      std::vector<char> perRow;
      for (auto& s : sets) {
        const BExpr* e = s.second.get();
        perRow.push_back(!dynamic_cast<const BConst*>(e) && !dynamic_cast<const BParam*>(e));
      }
      const size_t perRowCount = static_cast<size_t>(std::count(perRow.begin(), perRow.end(), 1));
      std::vector<RowId> ids;
      std::vector<Value> sameValues(sets.size());
      std::vector<Value> rowValues;  // perRowCount values per row, in `sets` order
      core->root->open(core->frame);
      while (core->root->next(core->frame)) {
        bool ok = true;
        for (const auto& r : core->residual)
          if (!isTrue(*r, core->frame)) {
            ok = false;
            break;
          }
        if (!ok) continue;
        ids.push_back(unpackRowId(core->frame.locators[0]));
        if (st.kind == Statement::Kind::Update) {
          for (size_t k = 0; k < sets.size(); ++k) {
            if (!perRow[k] && ids.size() > 1) continue;
            const ColumnDef& c = def.columns[static_cast<size_t>(sets[k].first)];
            Value v = convertForColumn(sets[k].second->value(core->frame), c);
            checkLength(c, v, table);
            if (perRow[k]) rowValues.push_back(std::move(v));
            else sameValues[k] = std::move(v);
          }
        }
      }
      {
        // A clear error before anything is written when the journal plainly
        // cannot fit on the disk.
        std::vector<uint32_t> pages;
        pages.reserve(ids.size());
        for (RowId id : ids) pages.push_back(id.page);
        std::sort(pages.begin(), pages.end());
        db_.pager().checkJournalSpace(static_cast<uint64_t>(std::unique(pages.begin(), pages.end()) - pages.begin()));
      }
      db_.beginOperation();
      try {
        std::vector<Value> before;
        for (size_t i = 0; i < ids.size(); ++i) {
          const TableDef& now = db_.tableDef(table);
          PageRef p = db_.pager().page(ids[i].page);
          if (!db_.readRow(now, *p, ids[i].page, ids[i].row, before)) continue;
          if (st.kind == Statement::Kind::Delete) {
            db_.deleteRow(table, ids[i]);
            noteDelete(now, ids[i], before);
          } else {
            std::vector<Value> after = before;
            const Value* mine = rowValues.data() + i * perRowCount;
            for (size_t k = 0; k < sets.size(); ++k) {
              after[static_cast<size_t>(sets[k].first)] = perRow[k] ? *mine++ : sameValues[k];
            }
            if (after == before) continue;
            db_.updateRow(table, ids[i], after);
            noteUpdate(now, ids[i], before, after);
          }
        }
        db_.commitOperation();
      } catch (...) {
        db_.rollbackOperation();
        invalidateTable(table);
        throw;
      }
      result.rowsAffected = static_cast<int64_t>(ids.size());
      return result;
    }
    case Statement::Kind::CreateTable: {
      if (db_.hasTable(st.table)) throw Error("A tabela '" + st.table + "' já existe.");
      TableSpec layout;
      layout.name = st.table;
      for (const auto& c : st.columnDefs) {
        for (const auto& o : layout.columns)
          if (foldName(o.name) == foldName(c.name))
            throw Error("O campo '" + c.name + "' foi definido mais de uma vez na tabela '" + st.table + "'.");
        layout.columns.push_back(columnSpecOf(c));
        if (c.primaryKey || c.unique) {
          IndexSpec x;
          x.name = c.primaryKey ? "PrimaryKey" : "Index_" + c.name;
          x.columns.emplace_back(c.name, true);
          x.primaryKey = c.primaryKey;
          x.unique = true;
          layout.indexes.push_back(std::move(x));
        }
      }
      if (layout.columns.empty()) throw Error("Erro de sintaxe na instrução CREATE TABLE.");
      for (const auto& k : st.constraints) {
        if (k.kind == ConstraintAst::Kind::ForeignKey) continue;
        IndexSpec x;
        x.name = indexNameFor(st.table, k);
        for (const auto& col : k.columns) {
          bool found = false;
          for (const auto& c : layout.columns)
            if (foldName(c.name) == foldName(col)) found = true;
          if (!found) throw Error("Nome de campo desconhecido: '" + col + "'.");
          x.columns.emplace_back(col, true);
        }
        x.primaryKey = k.kind == ConstraintAst::Kind::PrimaryKey;
        x.unique = true;
        layout.indexes.push_back(std::move(x));
      }
      if (std::count_if(layout.indexes.begin(), layout.indexes.end(), [](const IndexSpec& x) { return x.primaryKey; }) > 1)
        throw Error("A tabela '" + st.table + "' já tem uma chave primária.");
      db_.createTable(layout);
      invalidateTable(st.table);
      return result;
    }
    case Statement::Kind::AlterAddColumn: {
      const TableDef& def = db_.tableDef(st.table);
      const ColumnDefAst& c = st.columnDefs[0];
      if (def.findColumn(c.name))
        throw Error("O campo '" + c.name + "' já existe na tabela '" + def.name + "'.");
      std::string table = def.name;
      db_.addColumn(table, columnSpecOf(c));
      invalidateTable(table);
      if (c.primaryKey || c.unique) {
        IndexSpec x;
        x.name = c.primaryKey ? "PrimaryKey" : "Index_" + c.name;
        x.columns.emplace_back(c.name, true);
        x.primaryKey = c.primaryKey;
        x.unique = true;
        db_.createIndex(table, x);
      }
      return result;
    }
    case Statement::Kind::AlterAddConstraint:
    case Statement::Kind::CreateIndex: {
      const TableDef& def = db_.tableDef(st.table);
      std::string table = def.name;
      IndexSpec x;
      if (st.kind == Statement::Kind::CreateIndex) {
        x.name = st.indexName;
        x.columns = st.indexColumns;
        x.unique = st.uniqueIndex || st.primaryIndex;
        x.primaryKey = st.primaryIndex;
      } else {
        const ConstraintAst& k = st.constraints[0];
        if (k.kind == ConstraintAst::Kind::ForeignKey) return result;
        x.name = indexNameFor(table, k);
        for (const auto& col : k.columns) x.columns.emplace_back(col, true);
        x.primaryKey = k.kind == ConstraintAst::Kind::PrimaryKey;
        x.unique = true;
      }
      for (const auto& [col, asc] : x.columns)
        if (!def.findColumn(col)) throw Error("Nome de campo desconhecido: '" + col + "'.");
      for (const auto& existing : def.indexes)
        if (foldName(existing.name) == foldName(x.name))
          throw Error("O índice '" + x.name + "' já existe na tabela '" + table + "'.");
      db_.createIndex(table, x);
      invalidateTable(table);
      return result;
    }
    case Statement::Kind::DropTable: {
      if (!db_.hasTable(st.table)) throw Error("A tabela '" + st.table + "' não existe.");
      std::string table = db_.tableDef(st.table).name;
      db_.dropTable(table);
      invalidateTable(table);
      return result;
    }
    case Statement::Kind::AlterDropColumn:
      throw Error("ALTER TABLE ... DROP não é suportado por este mecanismo de banco de dados.");
    case Statement::Kind::DropIndex:
      throw Error("DROP INDEX não é suportado por este mecanismo de banco de dados.");
  }
  return result;
}

std::string sqlTypeName(const ColumnDef& c) {
  switch (c.type) {
    case ColumnType::Boolean: return "BIT";
    case ColumnType::Byte: return "BYTE";
    case ColumnType::Integer: return "SMALLINT";
    case ColumnType::Long: return c.autoNumber() ? "COUNTER" : "LONG";
    case ColumnType::Currency: return "CURRENCY";
    case ColumnType::Single: return "SINGLE";
    case ColumnType::Double: return "DOUBLE";
    case ColumnType::DateTime: return "DATETIME";
    case ColumnType::Binary: return "BINARY(" + std::to_string(c.length) + ")";
    case ColumnType::Text: return "TEXT(" + std::to_string(c.textChars()) + ")";
    case ColumnType::OLE: return "LONGBINARY";
    case ColumnType::Memo: return "MEMO";
    case ColumnType::Guid: return "GUID";
    case ColumnType::Numeric: return "NUMERIC";
  }
  return "?";
}

}  // namespace jet::sql
