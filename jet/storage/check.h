// The structure check of a database file (jetsql FILE check).
//
// Reads every table of the catalog, system tables included, and verifies that
// the structures agree with each other: each index against its table's rows,
// the table's owned-pages map against the data pages that name the table,
// the global usage map against every page a structure uses, the row counter
// of each table definition against its live rows, every long value's chain
// against its declared length, and every relocation pointer against the copy
// it points to. Reads only; the file may be open read-only.
#pragma once

#include <string>
#include <vector>

#include "jet/storage/database.h"

namespace jet {

// One message per problem found, in Portuguese, naming the table, index or
// page concerned. Empty when the file is sound. Corrupt pages are reported,
// never thrown.
std::vector<std::string> checkDatabase(Database& db);

}  // namespace jet
