// The Jet SQL engine: runs statements of the Jet SQL dialect on an open
// Database.
//
// One Engine serves one Database (which must outlive it) from one thread.
// Every statement takes effect on the file when it ends, as one atomic
// operation of the storage engine: a statement that fails changes nothing.
// Errors are jet::Error with Jet's Portuguese messages; no input crashes.
//
// The path of a statement: lexer -> parser (ast.h) -> binder (names, types)
// -> planner (join strategies, index lookups, decorrelation) -> executor
// (operators over table scans; writes through the storage engine).
//
// The engine keeps hash indexes of (table, column) pairs that statements look
// rows up by; it maintains them across its own writes. A program that writes
// to the Database other than through this Engine must call
// invalidateCaches() afterwards.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "jet/storage/database.h"
#include "jet/storage/value.h"

namespace jet::sql {

// The Jet type of a result column. `variant` marks an expression whose
// values have each their own type (iif of text and date, a parameter);
// `type` is then only a hint.
struct ResultType {
  ColumnType type = ColumnType::Text;
  bool variant = false;
  unsigned size = 0;   // Text: declared characters (0 = unknown)
};

struct ResultColumn {
  std::string name;         // the name under which the query returns the column
  ResultType type;
  std::string table;        // base table of a plain column reference, else empty
  std::string sourceColumn; // column name of a plain column reference
  bool autoNumber = false;
};

struct StatementOptions {
  // Read ":Name" (and "?") as positional parameters. Off: a colon outside a
  // literal is a syntax error. A colon inside a literal is always text.
  bool parameters = true;
};

struct Result {
  bool isQuery = false;
  std::vector<ResultColumn> columns;
  std::vector<std::vector<Value>> rows;
  int64_t rowsAffected = 0;
};

struct SelectPlan;
struct ExecState;

// The rows of a SELECT, produced one at a time as they are read: the cursor
// pulls each row from the plan when next() is called and holds no result.
// Holds the Engine and its Database, which must outlive it.
//
// Statements may run on the same Engine while a cursor is open (an UPDATE
// of the rows being walked, say). What the cursor then sees:
//   - a row of a table is read when the cursor reaches it, as it stands
//     then: a row changed before that is seen changed, a row deleted before
//     that is not seen; rows added while the cursor is open may or may not
//     be seen;
//   - what the plan must gather before its first row is as it was when
//     gathered: groups and their aggregates, DISTINCT, the order of ORDER BY
//     (the rows themselves are read when reached, so a row deleted since the
//     sort is left out and a changed row keeps its place), the hashed side
//     of a join, derived tables, subqueries;
//   - it never fails or crashes because of such a change, and never changes
//     the file.
class Cursor {
 public:
  ~Cursor();
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;

  const std::vector<ResultColumn>& columns() const;
  // Moves to the next row; false at the end. Throws jet::Error.
  bool next();
  // The current row: one value per column. Valid until the next call of
  // next() or count().
  const std::vector<Value>& row() const;
  // Reads the rest of the rows without building them (a scan decodes only
  // what the conditions read) and returns how many there were; next() is
  // then false.
  int64_t count();

 private:
  friend class Engine;
  Cursor();
  struct Rep;
  std::unique_ptr<Rep> rep_;
};

class Engine {
 public:
  explicit Engine(Database& db);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  Database& database() { return db_; }

  // Runs one statement. A SELECT returns its rows in `rows` (all of them:
  // for small results; use query() or the overload below to stream); any
  // other statement the number of rows it inserted, updated or deleted.
  Result execute(std::string_view sql, const std::vector<Value>& params = {},
                 const StatementOptions& options = {});
  // Runs one statement without reading a SELECT: its cursor is put in
  // `cursor` and the result holds its columns only. Any other statement
  // runs as above and leaves `cursor` null.
  Result execute(std::string_view sql, const std::vector<Value>& params, const StatementOptions& options,
                 std::unique_ptr<Cursor>& cursor);
  // Opens a SELECT for reading row by row.
  std::unique_ptr<Cursor> query(std::string_view sql, const std::vector<Value>& params = {},
                                const StatementOptions& options = {});

  // Forgets the cached hash indexes.
  void invalidateCaches();

  // Grows each time a statement other than a SELECT runs (and at
  // invalidateCaches()): open cursors compare it to know that pages they
  // hold may have changed.
  uint64_t changeSerial() const { return changeSerial_; }

  // --- for the executor ----------------------------------------------------------
  struct LookupIndex {
    const TableDef* def = nullptr;
    int column = -1;
    std::unordered_map<std::string, std::vector<RowId>> rows;
  };
  // The hash index of `def`'s column at position `column`; built on demand
  // when `build` is true, else nullptr when not cached.
  LookupIndex* lookupIndex(const TableDef& def, int column, bool build);
  // Whether an equality lookup on this column should use a hash index: one
  // is cached, the value is a parameter, the column is a unique key, or
  // literal lookups on it repeat.
  bool wantsLookupIndex(const TableDef& def, int column, bool parameterValue);
  void noteInsert(const TableDef& def, RowId id, const std::vector<Value>& values);
  void noteUpdate(const TableDef& def, RowId id, const std::vector<Value>& before, const std::vector<Value>& after);
  void noteDelete(const TableDef& def, RowId id, const std::vector<Value>& before);
  void invalidateTable(std::string_view table);

 private:
  void noteDeleteOne(LookupIndex& idx, RowId id, const Value& v);
  Result run(std::string_view sql, const std::vector<Value>& params, const StatementOptions& options,
             std::unique_ptr<Cursor>* cursor);

  Database& db_;
  std::map<std::pair<std::string, int>, std::unique_ptr<LookupIndex>> indexes_;
  // Literal lookups per (table, column): how many statements made them, and
  // the last of those statements.
  std::map<std::pair<std::string, int>, std::pair<int, uint64_t>> lookupCounts_;
  uint64_t statementSerial_ = 0;
  uint64_t changeSerial_ = 0;
};

// Jet SQL type name for a column type, as DDL writes it ("TEXT(50)", "LONG").
std::string sqlTypeName(const ColumnDef& c);

}  // namespace jet::sql
