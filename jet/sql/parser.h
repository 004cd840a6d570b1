// The parser of Jet SQL: tokens to a Statement (ast.h).
//
// Recursive descent over the dialect: SELECT (DISTINCT, TOP n [PERCENT],
// expressions with aliases, *, T.*; FROM with tables, aliases, derived
// tables and INNER / LEFT / RIGHT JOIN nested in parentheses; WHERE; GROUP
// BY; HAVING; UNION [ALL]; ORDER BY), INSERT INTO ... VALUES / SELECT,
// UPDATE ... SET ... WHERE, DELETE [*] FROM ... WHERE, CREATE TABLE, CREATE
// [UNIQUE] INDEX, ALTER TABLE ... ADD [COLUMN] / ADD CONSTRAINT / DROP
// [COLUMN], DROP TABLE, DROP INDEX.
//
// Operator precedence, lowest first: IMP, EQV, XOR, OR, AND, NOT,
// comparisons (= <> < > <= >= LIKE IS IN BETWEEN), &, + -, MOD, \, * /,
// unary minus, ^.
//
// A syntax error throws jet::Error naming the clause, in Jet's words
// ("Erro de sintaxe na cláusula WHERE."). Nesting is bounded, so no input can
// exhaust the stack.
#pragma once

#include <string_view>

#include "jet/sql/ast.h"
#include "jet/sql/lexer.h"

namespace jet::sql {

Statement parseStatement(std::string_view sql, const LexOptions& options = {});

}  // namespace jet::sql
