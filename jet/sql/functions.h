// The function library of Jet's expression service: the scalar functions a
// statement may call (aggregates, iif and Switch are handled by the binder,
// since they need their arguments unevaluated or per group).
#pragma once

#include <string_view>
#include <vector>

#include "jet/sql/engine.h"
#include "jet/storage/value.h"

namespace jet::sql {

struct ExecState;

struct FunctionDef {
  const char* name;   // upper case
  int minArgs;
  int maxArgs;
  Value (*fn)(const std::vector<Value>& args, ExecState& exec);
  // Result type: a fixed type, or the type of the first argument.
  ColumnType type;
  bool sameAsFirst = false;
  bool variant = false;
};

// The function of this (upper-case) name, or nullptr.
const FunctionDef* findFunction(std::string_view upperName);
bool isAggregateName(std::string_view upperName);

}  // namespace jet::sql
