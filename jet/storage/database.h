// An open Jet 4 database: the catalog and its tables.
//
// Opening reads the header page, checks the database password and reads the
// catalog (MSysObjects) to learn which tables exist; it reads no table
// definition and no row. Table definitions are read when a table is first
// asked for; rows are decoded one at a time as a TableScan walks the table's
// data pages.
//
// Not thread-safe. A TableScan holds a reference to its Database, which must
// outlive it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/storage/pager.h"
#include "jet/storage/table_def.h"
#include "jet/storage/value.h"

namespace jet {

struct OpenOptions {
  std::string password;   // UTF-8; ignored when the file has no password
  bool writable = false;
  // Bytes of changed pages one operation keeps in memory; beyond them the
  // pages go to the file early, under the journal (see Pager).
  size_t spillBudget = Pager::kDefaultSpillBudget;
};

// Address of a row: its data page and slot (the header slot of a relocated row).
struct RowId {
  uint32_t page = 0;
  uint8_t row = 0;
  friend bool operator==(RowId, RowId) = default;
};

// One entry of MSysObjects that names a table.
struct CatalogEntry {
  std::string name;
  int32_t id = 0;          // = the TDEF page of a local table
  int32_t parentId = 0;
  int16_t type = 0;
  uint32_t flags = 0;
  bool system() const { return (flags & 0x80000002u) != 0 || name.rfind("MSys", 0) == 0; }
};

class Database;

// What a new column is to be (CREATE TABLE, ALTER TABLE ADD).
struct ColumnSpec {
  std::string name;
  ColumnType type = ColumnType::Text;
  unsigned textChars = 255;   // Text: the declared length in characters
  bool autoNumber = false;    // Long AutoNumber (COUNTER / AUTOINCREMENT)
};

struct IndexSpec {
  std::string name;
  std::vector<std::pair<std::string, bool>> columns;  // column name, ascending
  bool primaryKey = false;
  bool unique = false;
};

struct TableSpec {
  std::string name;
  std::vector<ColumnSpec> columns;
  std::vector<IndexSpec> indexes;
};

// Forward-only scan over the live rows of one table, in page order.
class TableScan {
 public:
  TableScan(Database& db, const TableDef& def);

  // Moves to the next live row. Returns false at the end. Throws jet::Error
  // on a corrupt page or row.
  bool next();

  // The current row's values, one per column of def().columns, in that order.
  const std::vector<Value>& values() const { return values_; }
  RowId rowId() const { return rowId_; }
  const TableDef& def() const { return def_; }
  // Restricts decoding to the columns whose flag is set (the others keep
  // whatever they held); an empty vector decodes every column.
  void setWanted(std::vector<char> wanted);

 private:
  Database& db_;
  const TableDef& def_;
  std::vector<uint32_t> pages_;
  size_t pageIndex_ = 0;
  PageRef page_;
  unsigned slot_ = 0;
  unsigned slotCount_ = 0;
  RowId rowId_;
  std::vector<Value> values_;
  std::vector<char> wanted_;
};

class Database {
 public:
  // Opens the database at `path`. Throws jet::Error: "Senha inválida." when the
  // file has a password and `options.password` is not it, or a message naming
  // the file when it is not a Jet 4 database or its catalog is corrupt.
  static std::unique_ptr<Database> open(const std::string& path, const OpenOptions& options = {});
  // Creates a blank database at `path` (which must not exist) with the given
  // password (empty for none) and returns it open for writing.
  static std::unique_ptr<Database> create(const std::string& path, const std::string& password = "");
  // Sets (or, with an empty text, removes) the database password.
  void setPassword(const std::string& password);
  ~Database();

  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const std::string& path() const { return pager_->path(); }
  Pager& pager() { return *pager_; }

  // User tables (not system, not linked), in catalog order.
  std::vector<std::string> tableNames() const;
  // Every catalog entry of type "table" (1), system tables included.
  const std::vector<CatalogEntry>& catalog() const { return catalog_; }
  bool hasTable(std::string_view name) const;

  // The definition of a table (case-insensitive name). Throws jet::Error
  // "A tabela 'X' não existe." when there is none.
  const TableDef& tableDef(std::string_view name);
  TableScan scan(std::string_view name) { return TableScan(*this, tableDef(name)); }

  // Decodes the row at `page`/`slot` (following a relocation pointer) into
  // `out`. Returns false when the slot is deleted, empty or a relocated copy.
  bool readRow(const TableDef& def, const PageBuffer& page, uint32_t pageNo, unsigned slot,
               std::vector<Value>& out, const std::vector<char>* wanted = nullptr);

  // Reads a long value (Memo/OLE) from its 12-byte definition.
  Bytes readLongValue(const uint8_t* def12, size_t len, const std::string& where);

  // The page numbers recorded in a usage map, ascending.
  std::vector<uint32_t> usageMapPages(MapRef ref);

  // --- Writing (databases opened writable) --------------------------------
  //
  // Each write call is atomic on its own. To make several calls one atomic
  // operation (one SQL statement), wrap them in beginOperation() and
  // commitOperation(); on an exception call rollbackOperation(), which leaves
  // the file exactly as it was before beginOperation().

  void beginOperation();
  void commitOperation();
  void rollbackOperation();

  // Inserts a row; `values` holds one value per column of the definition, in
  // its order. A Null in an AutoNumber column is replaced by the next number.
  // Values must already have the column's type (Text as UTF-8). Throws
  // jet::Error (and changes nothing) on a duplicate key in a unique index, a
  // Null in a required index, a text longer than its column, a row too big.
  RowId insertRow(std::string_view table, std::vector<Value> values);
  // Replaces the row at `id` by `values` (same rules as insertRow).
  void updateRow(std::string_view table, RowId id, std::vector<Value> values);
  void deleteRow(std::string_view table, RowId id);

  void createTable(const TableSpec& layout);
  void addColumn(std::string_view table, const ColumnSpec& column);
  void createIndex(std::string_view table, const IndexSpec& index);
  void dropTable(std::string_view table);

 private:
  struct WriteState;
  // A stored row as an update or delete needs it.
  struct RawRow {
    std::vector<Value> values;
    bool relocated = false;
    RowId target;                               // where the data lives when relocated
    size_t headerSize = 0;
    size_t dataSize = 0;                        // size of the slot holding the data
    std::map<uint16_t, Bytes> longValues;       // column number -> stored 12-byte definition
  };

  Database();
  WriteState& writeState();
  template <class F> auto inOperation(F&& f);
  void reloadAfterRollback();
  TableDef& writableDef(std::string_view table);
  void patchTableCounters(const TableDef& def);
  uint32_t longValuePage(const TableDef& def, const ColumnDef& c, size_t size, bool fresh);
  void writeLongValue(const TableDef& def, const ColumnDef& c, const Bytes& data, bool mayInline, Bytes& out);
  Bytes encodeRow(const TableDef& def, std::vector<Value>& values, const RawRow* old, size_t padTo);
  void padRow(const TableDef& def, Bytes& row, size_t size);
  uint32_t dataPageFor(const TableDef& def, size_t size, uint32_t avoid);
  RawRow readRawRow(const TableDef& def, RowId id);
  MapRef addMapRow(uint32_t& holder, const std::vector<uint8_t>& map);
  uint32_t newIndexRoot(const TableDef& def, RealIndexDef& real, uint32_t& holder);
  void registerTable(const TableDef& def);
  TableDef buildTable(const TableSpec& layout, uint32_t tdefPage, uint8_t tableType);
  void addIndexDef(TableDef& def, const IndexSpec& request, uint32_t& holder);
  void rewriteTableDef(TableDef& def);
  void loadCatalog();
  void bootstrap();
  void decodeRow(const TableDef& def, const uint8_t* row, size_t len, uint32_t pageNo,
                 std::vector<Value>& out, const std::vector<char>* wanted);
  const CatalogEntry* findEntry(std::string_view name) const;

  std::unique_ptr<Pager> pager_;
  std::vector<CatalogEntry> catalog_;
  std::map<std::string, std::unique_ptr<TableDef>, std::less<>> defs_;  // key: folded name
  std::unique_ptr<WriteState> ws_;
  int32_t tablesContainerId_ = 0x0F000001;
  std::vector<std::unique_ptr<TableDef>> retired_;  // dropped tables' definitions, kept for holders of references
};

// ASCII case folding used for object names.
std::string foldName(std::string_view name);

}  // namespace jet
