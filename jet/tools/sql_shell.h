// The SQL modes of jetsql: run one statement (-c), a script (-f), or an
// interactive shell, on a database opened for writing.
#pragma once

#include <string>
#include <vector>

#include "jet/storage/database.h"

// `args` are jetsql's arguments without --password: FILE, then -c SQL,
// -f SCRIPT, --tsv, or nothing (the interactive shell). Returns the exit
// status: 0, 1 on an engine error, 2 on a usage error.
int runSqlShell(const std::vector<std::string>& args, const jet::OpenOptions& options);
// True when the arguments ask for one of the SQL modes.
bool isSqlShellCommand(const std::vector<std::string>& args);
