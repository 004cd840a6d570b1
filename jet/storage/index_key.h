// Index entry keys.
//
// An index entry holds the key of its row: for each column of the index, in
// the index's order, a flag byte and then the column value in a byte form
// whose unsigned lexicographic order is the order of the values (the bytes
// are inverted for a descending column). The B-tree compares keys with
// memcmp only, so everything the engine knows about ordering values lives
// here:
//
//   * NULL is the single byte 00 (ascending) or FF (descending);
//   * a non-null value starts with 7F (ascending) or 80 (descending);
//   * integers and Currency are big-endian with the sign bit flipped;
//   * Single, Double and Date/Time are big-endian IEEE 754 with the sign bit
//     flipped (non-negative) or every bit inverted (negative);
//   * Boolean is 00 for True and FF for False (True, being -1, sorts first);
//   * Binary and GUID are cut into 8-byte groups, each followed by a byte
//     that says 9 (more follows) or how many bytes of the group are real;
//   * Text and Memo use the General sort order: one or two code bytes per
//     character that fold case and accents, then sections that restore the
//     accents, the unprintable characters (apostrophe, hyphen, controls) and
//     a few special flags, so that "cafe" < "Café" < "cafés" while "CAFE"
//     and "cafe" give the same key.
//
// Text keys are limited to the first 255 UTF-16 code units of the value;
// trailing spaces do not count. Each code unit is looked up in the General
// code table (sort_codes_table.inc, made by gen_sort_codes.py); surrogate
// code units, which the table's listings leave out, each sort as the
// two-byte code (unit - 10238), so supplementary characters order by code
// point after the basic plane.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "jet/storage/table_def.h"
#include "jet/storage/value.h"

namespace jet {

// One column's share of a key: the value, the type of the indexed column
// and its direction. `value` must outlive the call it is passed to.
struct KeyPart {
  const Value* value = nullptr;
  ColumnType type = ColumnType::Long;
  bool ascending = true;
};

// Appends the key bytes of one column value to `out`. A value of another
// kind than the column's is converted when that is exact (an Integer for a
// Long column, a whole Double for an Integer column); otherwise, and for a
// column type that cannot be indexed, throws jet::Error.
void appendKeyPart(std::vector<uint8_t>& out, const Value& value, ColumnType type, bool ascending);

// The key of a whole entry: the parts concatenated in order.
std::vector<uint8_t> encodeKey(const std::vector<KeyPart>& parts);

// Appends the General sort order key bytes of a text value, without the flag
// byte: code bytes, 01, the accent, unprintable and flag sections, 00, all
// inverted for a descending column followed by a final 00.
void appendTextKey(std::vector<uint8_t>& out, std::u16string_view text, bool ascending);

// LCID and version of the General sort order, the only text collation the
// engine can build keys for.
inline constexpr uint16_t kGeneralSortOrder = 1033;
inline constexpr uint8_t kGeneralSortVersion = 0;

// True when the engine can build key bytes for an index column of this
// definition: a supported type and, for text, the General sort order.
bool keyColumnSupported(const ColumnDef& column);

// True when the engine can build every key of `index` (all its columns are
// supported and exist in `table`). A table with an index for which this is
// false can be read but not written.
bool indexKeysSupported(const TableDef& table, const RealIndexDef& index);

// The key of `index` for a row of `table`; `row` holds one value per column
// of table.columns, in that order. Throws jet::Error when a column of the
// index is missing or unsupported.
std::vector<uint8_t> rowKey(const TableDef& table, const RealIndexDef& index,
                            const std::vector<Value>& row);

// True when every column of the key is NULL (what an "ignore nulls" index
// leaves out, and what a unique index does not count as a duplicate).
bool rowKeyAllNull(const TableDef& table, const RealIndexDef& index, const std::vector<Value>& row);
// True when some column of the key is NULL (what a required or primary key
// index refuses).
bool rowKeyAnyNull(const TableDef& table, const RealIndexDef& index, const std::vector<Value>& row);

}  // namespace jet
