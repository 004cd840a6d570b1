// The abstract syntax tree of a Jet SQL statement, as the parser builds it.
//
// Names are kept as written (the binder compares them case-insensitively).
// Every expression remembers the source text it came from, so that messages
// can quote it. Nodes own their children.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/storage/value.h"

namespace jet::sql {

struct SelectStmt;

enum class ExprKind {
  Literal,      // value
  Column,       // qualifier.name (qualifier may be empty)
  Param,        // paramIndex (0-based)
  Unary,        // op: "-", "+", "NOT"
  Binary,       // op: "+", "-", "*", "/", "\\", "MOD", "^", "&", "=", "<>", "<", ">", "<=", ">=",
                //     "AND", "OR", "XOR", "EQV", "IMP", "LIKE"
  Call,         // name(args); star for Count(*)
  IsNull,       // args[0] IS [NOT] NULL
  InList,       // args[0] [NOT] IN (args[1..])
  InSubquery,   // args[0] [NOT] IN (subquery)
  Between,      // args[0] [NOT] BETWEEN args[1] AND args[2]
  Exists,       // [NOT] EXISTS (subquery)
  Subquery,     // (subquery) as a scalar
};

struct Expr {
  ExprKind kind = ExprKind::Literal;
  Value value;
  std::string qualifier;   // Column: table or alias, may be empty
  std::string name;        // Column name, function name
  std::string op;
  bool negated = false;    // NOT IN, NOT BETWEEN, IS NOT NULL, NOT EXISTS, NOT LIKE
  bool star = false;       // Count(*)
  int paramIndex = -1;
  std::vector<std::unique_ptr<Expr>> args;
  std::unique_ptr<SelectStmt> subquery;
  std::string text;        // the source text of the expression
};
using ExprPtr = std::unique_ptr<Expr>;

enum class JoinType { Inner, Left, Right, Cross };

struct TableRef {
  enum class Kind { Table, Join, Derived } kind = Kind::Table;
  std::string name;        // Table
  std::string alias;       // Table or Derived
  JoinType joinType = JoinType::Inner;
  std::unique_ptr<TableRef> left, right;
  ExprPtr on;
  std::unique_ptr<SelectStmt> derived;
};

struct SelectItem {
  ExprPtr expr;            // null for * and T.*
  std::string alias;
  bool star = false;
  std::string starQualifier;  // T.*: the table; empty for *
};

struct OrderItem {
  ExprPtr expr;
  bool descending = false;
};

// One SELECT ... FROM ... WHERE ... GROUP BY ... HAVING block.
struct SelectCore {
  bool distinct = false;
  bool distinctRow = false;
  std::optional<int64_t> top;
  bool topPercent = false;
  std::vector<SelectItem> items;
  std::vector<std::unique_ptr<TableRef>> from;  // comma-separated: cross join
  ExprPtr where;
  std::vector<ExprPtr> groupBy;
  ExprPtr having;
};

// Blocks joined by UNION [ALL], then one ORDER BY for the whole.
struct SelectStmt {
  std::vector<SelectCore> cores;
  std::vector<bool> unionAll;  // unionAll[i]: between cores[i] and cores[i+1]
  std::vector<OrderItem> orderBy;
};

struct ColumnDefAst {
  std::string name;
  std::string typeName;    // as written, upper case
  std::optional<unsigned> size;
  bool notNull = false;
  bool primaryKey = false;
  bool unique = false;
};

struct ConstraintAst {
  std::string name;
  enum class Kind { PrimaryKey, Unique, ForeignKey } kind = Kind::PrimaryKey;
  std::vector<std::string> columns;
};

struct Statement {
  enum class Kind { Select, Insert, Update, Delete, CreateTable, CreateIndex, AlterAddColumn,
                    AlterAddConstraint, AlterDropColumn, DropTable, DropIndex } kind = Kind::Select;
  std::unique_ptr<SelectStmt> select;        // Select; Insert ... SELECT
  std::string table;
  std::vector<std::string> columns;          // Insert column list
  std::vector<std::vector<ExprPtr>> values;  // Insert ... VALUES
  std::vector<std::pair<std::string, ExprPtr>> sets;  // Update (column as written)
  ExprPtr where;                             // Update, Delete
  std::vector<ColumnDefAst> columnDefs;      // CreateTable, AlterAddColumn
  std::vector<ConstraintAst> constraints;    // CreateTable, AlterAddConstraint
  std::string indexName;                     // CreateIndex, DropIndex
  bool uniqueIndex = false;
  bool primaryIndex = false;
  std::vector<std::pair<std::string, bool>> indexColumns;  // name, ascending
  std::string column;                        // AlterDropColumn
  int parameterCount = 0;
};

}  // namespace jet::sql
