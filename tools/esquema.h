// Table layouts for generated databases: the desktop tables of the academy
// (desktop-schema.sql beside this file, built into the program) and the
// statements of Jet SQL DDL that create them.
//
// DDL runs straight on the storage engine: each statement is parsed by the
// SQL parser and turned into the matching storage call (create table, add
// column, create index), with the column types Jet SQL gives its type names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "jet/storage/database.h"

namespace kor::amostra {

// The text of desktop-schema.sql.
std::string_view desktopSchemaSql();

// The statements of a DDL script: comments (two hyphens to the end of the
// line) removed, split at each semicolon, blank pieces dropped.
std::vector<std::string> splitDdlScript(std::string_view script);

// Runs one CREATE TABLE, CREATE [UNIQUE] INDEX or ALTER TABLE ... ADD column
// statement on `db` (open for writing). Throws jet::Error on a syntax error,
// an unknown type name or any other statement.
void runDdl(jet::Database& db, std::string_view statement);

// Creates every desktop table and index of desktop-schema.sql in `db`.
void createDesktopTables(jet::Database& db);

}  // namespace kor::amostra
