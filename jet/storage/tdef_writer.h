// Writing table definitions: the TDEF byte layout and its pages.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/storage/pager.h"
#include "jet/storage/table_def.h"

namespace jet {

// The logical TDEF buffer of `def` (its first 8 bytes, the page header, are
// filled in when the pages are written).
std::vector<uint8_t> serializeTableDef(const TableDef& def);

// Writes `buffer` over the TDEF pages of `def` (def.tdefPages; the first page
// must exist), taking new continuation pages when it grew and freeing the
// ones it no longer needs. Updates def.tdefPages.
void writeTableDefPages(Pager& pager, TableDef& def, const std::vector<uint8_t>& buffer);

// Fixed storage size of a column type (0 for Boolean, which lives in the null
// mask, and for variable types).
size_t columnFixedSize(const ColumnDef& c);

}  // namespace jet
