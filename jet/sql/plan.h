// The internal representation shared by the binder, the planner and the
// executor: bound expressions, scopes, operators and row sources.
//
// A SELECT block becomes a Scope: its FROM instances (each a base table or a
// derived table), the conjuncts of its WHERE, its grouping and its output
// expressions. At run time a Frame holds one current row per instance; a
// bound column reference is (depth, instance, column), depth counting the
// enclosing scopes outwards, so correlated subqueries read the rows of the
// frames around them.
//
// Operators fill the frame's instance rows (scan, index lookup, hash join,
// nested-loop join, filter); a CorePlan turns the frame into output rows
// (projection, or grouping then projection, then DISTINCT); a SelectPlan
// puts the blocks of a UNION together and applies ORDER BY and TOP. Every
// row source can give a compact locator for its current row and rebuild the
// row from it, so that ORDER BY over a large table keeps only sort keys and
// locators in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "jet/sql/ast.h"
#include "jet/sql/engine.h"
#include "jet/storage/database.h"

namespace jet::sql {

class Engine;
struct Frame;

// Runtime state of one statement execution.
struct ExecState {
  Engine* engine = nullptr;
  Database* db = nullptr;
  const std::vector<Value>* params = nullptr;
  double now = 0;
};

// One current row per FROM instance.
struct Frame {
  std::vector<std::vector<Value>> rows;
  std::vector<uint64_t> locators;   // per instance: packed RowId, derived row index, or kNoRow
  Frame* outer = nullptr;
  ExecState* exec = nullptr;
};
inline constexpr uint64_t kNoRow = ~uint64_t{0};
inline uint64_t packRowId(RowId id) { return (uint64_t{id.page} << 8) | id.row; }
inline RowId unpackRowId(uint64_t v) { return RowId{static_cast<uint32_t>(v >> 8), static_cast<uint8_t>(v & 0xFF)}; }

// --- Bound expressions ---------------------------------------------------------

class BExpr {
 public:
  virtual ~BExpr() = default;
  // The value of the expression in frame `f`; may return a reference to a
  // frame slot or to `tmp`.
  virtual const Value& eval(Frame& f, Value& tmp) const = 0;
  Value value(Frame& f) const {
    Value tmp;
    const Value& v = eval(f, tmp);
    return &v == &tmp ? std::move(tmp) : v;
  }
  ResultType type;
  std::string fingerprint;   // structural identity, for GROUP BY matching
  int outerDepth = -1;       // deepest scope this expression reads (-1 none, 0 own scope, 1 parent, ...)
  uint64_t instanceMask = 0; // own-scope instances read (bit per instance, up to 64)
  bool hasSubquery = false;
  bool readsRowThroughSubquery = false;  // a correlated subquery reads this block's row
  bool constant = false;     // no column, no parameter, no subquery: can be folded
  // Top-level conditions only: the own-scope columns read, as
  // (instance << 16 | column); lets a scan decode them first.
  std::vector<uint32_t> reads;
};
using BExprPtr = std::unique_ptr<BExpr>;

// Evaluates a condition: true only for a non-Null true value.
bool isTrue(const BExpr& e, Frame& f);

// --- Instances and scopes --------------------------------------------------------

struct SelectPlan;

struct Instance {
  std::string name;          // table name as in the catalog, or empty for derived
  std::string alias;         // the name used to qualify columns
  const TableDef* def = nullptr;
  std::unique_ptr<SelectPlan> derived;      // derived table
  std::vector<std::string> columnNames;     // for derived tables
  std::vector<ResultType> columnTypes;
  std::vector<char> wanted;                 // columns read anywhere
  std::vector<std::vector<Value>> derivedRows;  // derived tables, once materialised
  size_t width() const { return def ? def->columns.size() : columnNames.size(); }
};

// A node of the FROM tree.
struct FromNode {
  enum class Kind { Instance, Join } kind = Kind::Instance;
  int instance = -1;
  JoinType joinType = JoinType::Inner;
  std::unique_ptr<FromNode> left, right;
  std::vector<BExprPtr> on;   // conjuncts of ON
  uint64_t mask = 0;          // instances under this node
};

// --- Operators ------------------------------------------------------------------------

class Operator {
 public:
  virtual ~Operator() = default;
  virtual void open(Frame& f) = 0;
  virtual bool next(Frame& f) = 0;
  uint64_t mask = 0;  // instances this operator fills
};
using OperatorPtr = std::unique_ptr<Operator>;

// --- Row sources -----------------------------------------------------------------------

class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual void open(Frame* outer, ExecState& exec) = 0;
  virtual bool next() = 0;
  virtual const std::vector<Value>& row() const = 0;
  virtual size_t locatorWidth() const = 0;
  virtual void locate(uint64_t* out) const = 0;
  // Rebuilds the row of a locator, reading its rows as they stand now.
  // False when a row it names is no longer there (deleted meanwhile).
  virtual bool fetch(const uint64_t* loc) = 0;
  // Tells the source that until the call with null, next() needs to fill
  // only these columns of row() (the others may hold anything); a source
  // may ignore it. ORDER BY sets it for the pass that collects sort keys and
  // locators, since fetch() rebuilds every row it returns anyway.
  virtual void restrictOutputs(const std::vector<size_t>* keep) { (void)keep; }
  std::vector<ResultColumn> columns;   // visible columns
  size_t hiddenColumns = 0;            // extra sort columns at the end of row()
};

// Aggregate functions.
enum class AggKind { Count, CountStar, Sum, Avg, Min, Max, First, Last, StDev, Var };

struct AggSpec {
  AggKind kind = AggKind::Count;
  BExprPtr arg;
  ResultType type;
};

// One SELECT block, planned.
struct CorePlan : RowSource {
  std::vector<Instance> instances;
  OperatorPtr root;                      // fills the frame; null for a FROM-less SELECT
  std::vector<BExprPtr> residual;        // conditions evaluated above the operators
  // Grouping.
  bool aggregated = false;
  std::vector<BExprPtr> groupKeys;       // on the scope frame
  std::vector<AggSpec> aggs;             // on the scope frame
  // Output expressions; in an aggregated block they read the group frame,
  // whose single instance row is [group keys..., aggregate results...].
  std::vector<BExprPtr> outputs;
  BExprPtr having;                       // on the group frame
  bool distinct = false;
  bool sortGroups = true;                // Jet returns groups in key order

  // RowSource
  void open(Frame* outer, ExecState& exec) override;
  bool next() override;
  const std::vector<Value>& row() const override { return out_; }
  size_t locatorWidth() const override { return aggregated ? 1 : (instances.empty() ? 1 : instances.size()); }
  void locate(uint64_t* out) const override;
  bool fetch(const uint64_t* loc) override;
  void restrictOutputs(const std::vector<size_t>* keep) override;
  // For ORDER BY through an index: the row at `rowId` (packed) of the
  // block's single table, when it is still there and passes the block's
  // conditions.
  bool fetchFiltered(uint64_t rowId);
  // The outputs of an aggregated block over no rows (Count 0, Max Null...).
  std::vector<Value> emptyGroupOutput();

  Frame frame;       // the scope frame (its rows are the instance rows)
  Frame groupFrame;  // aggregated blocks: the group row

 private:
  bool produceDirect();
  void runAggregation();
  void project(Frame& from);
  std::vector<Value> out_;
  const std::vector<size_t>* onlyOutputs_ = nullptr;  // see restrictOutputs
  bool started_ = false;
  bool noFromDone_ = false;
  // aggregated output
  std::vector<std::vector<Value>> groups_;  // group rows: keys then aggregate results
  size_t groupPos_ = 0;
  size_t currentGroup_ = 0;
  std::unordered_set<std::string> seen_;    // DISTINCT
  ExecState* exec_ = nullptr;
};

// UNION [ALL] of blocks, ORDER BY, TOP.
struct SelectPlan : RowSource {
  std::vector<std::unique_ptr<RowSource>> parts;
  std::vector<bool> unionAll;
  struct SortKey {
    size_t column;   // index into the row (visible or hidden)
    bool descending;
  };
  std::vector<SortKey> order;
  std::optional<int64_t> top;
  bool topPercent = false;

  void open(Frame* outer, ExecState& exec) override;
  bool next() override;
  const std::vector<Value>& row() const override { return *current_; }
  size_t locatorWidth() const override;
  void locate(uint64_t* out) const override;
  bool fetch(const uint64_t* loc) override;
  // Reads the rest of the rows without building them and returns how many
  // there were; next() is then false.
  int64_t countRest();

 private:
  bool nextUnsorted();
  void sortAll();
  bool walkIndex();
  void collectSortKeys(std::vector<uint64_t>& loc, size_t& n);
  void finishSort(size_t n);
  size_t part_ = 0;
  const std::vector<Value>* current_ = nullptr;
  bool sorted_ = false;
  std::vector<Value> keys_;          // order.size() per row
  std::vector<uint64_t> locs_;       // locatorWidth() per row
  std::vector<size_t> perm_;
  // ORDER BY through an index: the packed row addresses in the order the
  // rows are returned (see walkIndex).
  bool indexWalk_ = false;
  std::vector<uint64_t> walk_;
  uint64_t gatheredSerial_ = 0;   // the engine's change serial when the order was made
  size_t pos_ = 0;
  size_t limit_ = SIZE_MAX;
  int64_t emitted_ = 0;
  std::unordered_set<std::string> seen_;  // UNION without ALL
  Frame* outer_ = nullptr;
  ExecState* exec_ = nullptr;
};

// --- Binding and planning ----------------------------------------------------------------

// Scope chain used while binding: the instances visible at each level.
struct BindScope {
  CorePlan* core = nullptr;
  BindScope* parent = nullptr;
  // Aggregation context: when binding outputs of an aggregated block,
  // expressions are matched against group keys and aggregates.
  bool inAggregate = false;
  // Select-list aliases usable by ORDER BY.
};

struct BindContext {
  Engine* engine = nullptr;
  Database* db = nullptr;
  int parameterCount = 0;
};

std::unique_ptr<SelectPlan> bindSelect(BindContext& cx, const SelectStmt& stmt, BindScope* parent);
BExprPtr bindExpr(BindContext& cx, const Expr& e, BindScope& scope);
// Splits a condition into its AND-ed parts.
void splitConjuncts(const Expr& e, std::vector<const Expr*>& out);

// Plans the FROM tree and WHERE conjuncts of `core` into its operator tree.
void planCore(BindContext& cx, CorePlan& core, std::unique_ptr<FromNode> from, std::vector<BExprPtr> where);

// Operators (executor.cc).
OperatorPtr makeScan(Engine& engine, int instance, const TableDef& def, std::vector<BExprPtr> filters,
                     std::vector<char> wanted);
OperatorPtr makeLookup(Engine& engine, int instance, const TableDef& def, int keyColumn, BExprPtr keyValue,
                       std::vector<BExprPtr> filters, std::vector<char> wanted);
OperatorPtr makeDerivedScan(int instance, Instance& inst, std::vector<BExprPtr> filters);
OperatorPtr makeHashJoin(OperatorPtr probe, OperatorPtr build, std::vector<BExprPtr> probeKeys,
                         std::vector<BExprPtr> buildKeys, std::vector<BExprPtr> residual, bool preserveProbe,
                         uint64_t buildMask, std::vector<size_t> buildWidths);
OperatorPtr makeNestedLoop(OperatorPtr left, OperatorPtr right, std::vector<BExprPtr> on, bool preserveLeft,
                           uint64_t rightMask, std::vector<size_t> rightWidths);
OperatorPtr makeFilter(OperatorPtr child, std::vector<BExprPtr> conds);

// Fills a frame row of a base table instance from a locator; false when
// the row is no longer there.
bool fetchInstanceRow(ExecState& exec, const Instance& inst, uint64_t loc, std::vector<Value>& row);

}  // namespace jet::sql

namespace jet::sql {
// Binds an expression against the single instance of `core` (UPDATE and
// DELETE conditions, SET values).
BExprPtr bindStandalone(BindContext& cx, const Expr& e, CorePlan& core, const char* clause);
}  // namespace jet::sql
