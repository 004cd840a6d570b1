// The definition of a table, as parsed from its TDEF pages.
//
// A TableDef is a plain description: columns in stored order (sorted by
// column number), the real and logical indexes, the usage-map references and
// the counters of the table header. It is read once per table and is
// immutable afterwards (a writer builds a new one).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/storage/value.h"

namespace jet {

// Reference to a usage-map row: the row number and page of a data page.
struct MapRef {
  uint8_t row = 0;
  uint32_t page = 0;  // 0 = none
};

// Column descriptor flags (byte 15).
inline constexpr uint8_t kColumnFixed = 0x01;
inline constexpr uint8_t kColumnNullable = 0x02;
inline constexpr uint8_t kColumnAutoLong = 0x04;
inline constexpr uint8_t kColumnAutoGuid = 0x40;
inline constexpr uint8_t kColumnHyperlink = 0x80;
// Extra flags (byte 16).
inline constexpr uint8_t kColumnCompressedUnicode = 0x01;

struct ColumnDef {
  std::string name;            // UTF-8
  ColumnType type = ColumnType::Long;
  uint16_t number = 0;         // index into the null mask; never reused
  uint16_t varIndex = 0;       // slot in the var-offset table (variable columns)
  uint16_t fixedOffset = 0;    // offset in the fixed area (fixed columns)
  uint16_t length = 0;         // bytes: Text = 2 × characters, Memo/OLE 0
  uint8_t flags = 0;
  uint8_t extFlags = 0;
  uint16_t sortOrder = 0;      // text columns: LCID of the collating order (1033 General)
  uint8_t sortVersion = 0;
  uint8_t precision = 0;       // Numeric only
  uint8_t scale = 0;
  MapRef lvOwned;              // Memo/OLE: per-column LVAL page maps (may be empty)
  MapRef lvFree;

  bool fixed() const { return (flags & kColumnFixed) != 0; }
  bool autoNumber() const { return (flags & (kColumnAutoLong | kColumnAutoGuid)) != 0; }
  bool compressedUnicode() const { return (extFlags & kColumnCompressedUnicode) != 0; }
  // Text(n): the declared number of characters.
  unsigned textChars() const { return length / 2u; }
};

// Real index flags (byte 46 of the 52-byte block).
inline constexpr uint8_t kIndexUnique = 0x01;
inline constexpr uint8_t kIndexIgnoreNulls = 0x02;
inline constexpr uint8_t kIndexRequired = 0x08;

struct IndexColumn {
  uint16_t columnNumber = 0;
  bool ascending = true;
};

// A real index: the B-tree that holds the keys ("index data").
struct RealIndexDef {
  std::vector<IndexColumn> columns;
  MapRef ownedPages;
  uint32_t rootPage = 0;
  uint8_t flags = 0;
  uint32_t uniqueEntryCount = 0;  // counter in the TDEF header block

  bool unique() const { return (flags & kIndexUnique) != 0; }
  bool ignoreNulls() const { return (flags & kIndexIgnoreNulls) != 0; }
  bool required() const { return (flags & kIndexRequired) != 0; }
};

// Logical index kinds (byte 23 of the 28-byte block).
inline constexpr uint8_t kIndexKindNormal = 0;
inline constexpr uint8_t kIndexKindPrimaryKey = 1;
inline constexpr uint8_t kIndexKindForeignKey = 2;

// A logical index: a named index as the user sees it, over one real index.
struct IndexDef {
  std::string name;
  uint32_t number = 0;
  uint32_t realIndex = 0;
  uint8_t kind = kIndexKindNormal;
  // Foreign-key information, kept so that a rewritten TDEF preserves it.
  uint8_t fkRelType = 0;
  int32_t fkRelatedIndex = -1;
  uint32_t fkRelatedTable = 0;
  uint8_t cascadeUpdates = 0;
  uint8_t cascadeDeletes = 0;

  bool primaryKey() const { return kind == kIndexKindPrimaryKey; }
  bool foreignKey() const { return kind == kIndexKindForeignKey; }
};

struct TableDef {
  std::string name;
  uint32_t tdefPage = 0;
  uint8_t tableType = 0x4E;    // 0x4E user, 0x53 system
  uint32_t rowCount = 0;
  uint32_t lastAutoNumber = 0;
  uint16_t maxColumns = 0;     // includes deleted columns: the column count of new rows
  uint16_t varColumns = 0;     // includes deleted variable columns
  MapRef ownedPages;
  MapRef freePages;
  std::vector<ColumnDef> columns;      // sorted by column number
  std::vector<RealIndexDef> realIndexes;
  std::vector<IndexDef> indexes;
  std::vector<uint32_t> tdefPages;     // the TDEF page chain, first page first

  // The column with this name (case-insensitive, ASCII folding), or nullptr.
  const ColumnDef* findColumn(std::string_view name) const;
  // Position in `columns` of the column with this number, or -1.
  int positionOfNumber(uint16_t number) const;
};

class Pager;

// Parses the TDEF chain starting at `page`. Throws jet::Error naming the
// table when the definition is corrupt.
TableDef readTableDef(Pager& pager, uint32_t page, const std::string& name);

}  // namespace jet
