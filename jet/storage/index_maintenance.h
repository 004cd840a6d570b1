// The indexes of a table as the row writer sees them: whether they can be
// maintained, the constraint check before a write, and the entries to add and
// remove after it.
#pragma once

#include <string>
#include <vector>

#include "jet/storage/database.h"

namespace jet {

// True when the engine can maintain every index of the table (supported key
// types, General sort order); otherwise `why` says what stops it and writes
// to the table are refused.
bool tableWritable(Database& db, const TableDef& def, std::string* why);

// Throws jet::Error, changing nothing, when a row with `values` (replacing
// the row `self`, when given) would give a unique index a duplicate key or a
// required index a Null.
void indexCheckInsert(Database& db, const TableDef& def, const std::vector<Value>& values, const RowId* self);

// Adds or removes the entries of one row in every index of the table.
void indexInsert(Database& db, TableDef& def, const std::vector<Value>& values, RowId id);
void indexRemove(Database& db, TableDef& def, const std::vector<Value>& values, RowId id);
// Moves the entries of the row at `id` from its old values to its new ones,
// touching only the indexes whose key changed.
void indexUpdate(Database& db, TableDef& def, const std::vector<Value>& before, const std::vector<Value>& after,
                 RowId id);

}  // namespace jet
