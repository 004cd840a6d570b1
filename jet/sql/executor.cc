// The executor: operators that fill a block's frame from the tables, the
// block and statement row sources, and the evaluation of subqueries.
//
// Scans walk a table's data pages in page order; a scan with conditions
// decodes first the columns those conditions read and the rest of the row
// only for rows that pass. Hash joins hash their build side once per open;
// nested loops materialise their inner side. ORDER BY keeps the sort keys
// and a locator per row (the row addresses of its tables) and rebuilds each
// row from its locator as it is read, so sorting a million-row table does
// not hold a million decoded rows; ORDER BY on the columns of an index
// walks the index and keeps only the row addresses (walkIndex).
//
// Statements may run while a cursor is open (see Cursor in engine.h): a
// scan reads its page again when the engine's change serial moved since it
// read it, and a locator whose row has gone yields no row.
#include <algorithm>
#include <cmath>

#include "jet/sql/bound_expr.h"
#include "jet/storage/error.h"
#include "jet/storage/index_btree.h"
#include "jet/storage/index_key.h"

namespace jet::sql {

BConst::BConst(Value v) : v_(std::move(v)) {
  constant = true;
  outerDepth = -1;
  // A text constant is identified by its exact spelling: 'a ' & x is not
  // the expression 'A' & x, although the two constants compare equal.
  std::string k;
  if (v_.kind() == ValueKind::Text) k = v_.as<std::string>();
  else appendKey(k, v_);
  fingerprint = 'k' + std::to_string(static_cast<int>(v_.kind()));
  fingerprint += ':';
  fingerprint += k;
  switch (v_.kind()) {
    case ValueKind::Null: type.variant = true; break;
    case ValueKind::Boolean: type.type = ColumnType::Boolean; break;
    case ValueKind::Byte: type.type = ColumnType::Byte; break;
    case ValueKind::Integer: type.type = ColumnType::Integer; break;
    case ValueKind::Long: type.type = ColumnType::Long; break;
    case ValueKind::Currency: type.type = ColumnType::Currency; break;
    case ValueKind::Single: type.type = ColumnType::Single; break;
    case ValueKind::Double: type.type = ColumnType::Double; break;
    case ValueKind::Date: type.type = ColumnType::DateTime; break;
    case ValueKind::Text: type.type = ColumnType::Text; break;
    case ValueKind::Binary: type.type = ColumnType::Binary; break;
    case ValueKind::Guid: type.type = ColumnType::Guid; break;
  }
}

const Value& BParam::eval(Frame& f, Value& tmp) const {
  const auto* params = f.exec->params;
  if (!params || index_ < 0 || static_cast<size_t>(index_) >= params->size())
    throw Error("Nenhum valor foi fornecido para um ou mais parâmetros necessários.");
  (void)tmp;
  return (*params)[static_cast<size_t>(index_)];
}

const Value& BCompare::eval(Frame& f, Value& tmp) const {
  Value t1, t2;
  const Value& x = a->eval(f, t1);
  const Value& y = b->eval(f, t2);
  std::optional<int> c = compareValues(x, y);
  if (!c) return tmp = Value();
  bool r;
  if (op == "=") r = *c == 0;
  else if (op == "<>") r = *c != 0;
  else if (op == "<") r = *c < 0;
  else if (op == ">") r = *c > 0;
  else if (op == "<=") r = *c <= 0;
  else r = *c >= 0;
  return tmp = Value(r);
}

bool isTrue(const BExpr& e, Frame& f) {
  Value tmp;
  const Value& v = e.eval(f, tmp);
  if (v.isNull()) return false;
  if (v.kind() == ValueKind::Boolean) return v.as<bool>();
  std::optional<bool> b = toBool(v);
  return b && *b;
}

namespace {

bool allTrue(const std::vector<BExprPtr>& conds, Frame& f) {
  for (const auto& c : conds)
    if (!isTrue(*c, f)) return false;
  return true;
}

void nullRow(std::vector<Value>& row) {
  for (auto& v : row) v = Value();
}

inline uint16_t rd16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t rd32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// Splits the wanted columns into those the conditions read (decoded first)
// and the others.
void splitWanted(const std::vector<BExprPtr>& filters, int instance, const std::vector<char>& wanted,
                 std::vector<char>& first, std::vector<char>& rest) {
  first.assign(wanted.size(), 0);
  bool known = true;
  for (const auto& f : filters) {
    // A subquery may read this row through an outer reference: decode all.
    if ((f->reads.empty() && f->instanceMask) || f->readsRowThroughSubquery) known = false;
    for (uint32_t r : f->reads)
      if (static_cast<int>(r >> 16) == instance && (r & 0xFFFF) < first.size()) first[r & 0xFFFF] = 1;
  }
  if (!known || filters.empty()) {
    first = wanted;
    rest.clear();
    return;
  }
  rest.assign(wanted.size(), 0);
  bool anyRest = false;
  for (size_t i = 0; i < wanted.size(); ++i)
    if (wanted[i] && !first[i]) {
      rest[i] = 1;
      anyRest = true;
    }
  if (!anyRest) rest.clear();
}

class ScanOp : public Operator {
 public:
  ScanOp(Engine& e, int inst, const TableDef& def, std::vector<BExprPtr> filters, std::vector<char> wanted)
      : engine_(e), inst_(inst), def_(def), filters_(std::move(filters)) {
    splitWanted(filters_, inst_, wanted, first_, rest_);
  }
  void open(Frame&) override {
    pages_ = engine_.database().usageMapPages(def_.ownedPages);
    pageIndex_ = 0;
    page_.reset();
    slot_ = count_ = 0;
  }
  // Until called with null, decodes only `columns` of each row besides what
  // the conditions read. Refused (false) when a condition may read more of
  // the row than its own columns (a correlated subquery reading it).
  bool restrictColumns(const std::vector<int>* columns) {
    restricted_ = false;
    if (!columns) return true;
    for (const auto& f : filters_)
      if ((f->reads.empty() && f->instanceMask) || f->readsRowThroughSubquery) return false;
    restrictedFirst_.assign(def_.columns.size(), 0);
    restrictedRest_.assign(def_.columns.size(), 0);
    std::vector<char>& target = filters_.empty() ? restrictedFirst_ : restrictedRest_;
    if (!filters_.empty()) restrictedFirst_ = first_;
    bool anyRest = false;
    for (int c : *columns) {
      if (restrictedFirst_[static_cast<size_t>(c)]) continue;
      target[static_cast<size_t>(c)] = 1;
      anyRest = anyRest || &target == &restrictedRest_;
    }
    if (!anyRest) restrictedRest_.clear();
    restricted_ = true;
    return true;
  }
  bool next(Frame& f) override {
    Database& db = engine_.database();
    std::vector<Value>& row = f.rows[static_cast<size_t>(inst_)];
    for (;;) {
      if (page_ && pageSerial_ != engine_.changeSerial()) {
        // A statement wrote meanwhile: read the page again, so that every
        // row is read as it stands when the scan reaches it.
        uint32_t n = pages_[pageIndex_ - 1];
        if (!loadPage(db, n)) page_.reset();
      }
      if (page_) {
        while (slot_ < count_) {
          unsigned s = slot_++;
          uint32_t pageNo = pages_[pageIndex_ - 1];
          if (!db.readRow(def_, *page_, pageNo, s, row, restricted_ ? &restrictedFirst_ : &first_)) continue;
          f.locators[static_cast<size_t>(inst_)] = packRowId(RowId{pageNo, static_cast<uint8_t>(s)});
          if (!allTrue(filters_, f)) continue;
          const std::vector<char>& rest = restricted_ ? restrictedRest_ : rest_;
          if (!rest.empty()) db.readRow(def_, *page_, pageNo, s, row, &rest);
          return true;
        }
        page_.reset();
      }
      if (pageIndex_ >= pages_.size()) return false;
      slot_ = 0;
      loadPage(db, pages_[pageIndex_++]);
    }
  }
  // Whether the row in the frame passes the scan's conditions.
  bool passes(Frame& f) const { return allTrue(filters_, f); }
  bool hasConditions() const { return !filters_.empty(); }

 private:
  // Makes page `n` the current page when it is a data page of the table
  // (keeping the slot position); false when it is not.
  bool loadPage(Database& db, uint32_t n) {
    pageSerial_ = engine_.changeSerial();
    PageRef p = db.pager().page(n);
    if ((*p)[0] != 0x01 || rd32(p->data() + 4) != def_.tdefPage) return false;
    unsigned count = rd16(p->data() + 12);
    if (14u + 2u * count > kPageSize) throw Error(db.pager().faultMessage(n, "tabela de linhas inválida"));
    page_ = std::move(p);
    count_ = count;
    return true;
  }

  Engine& engine_;
  int inst_;
  const TableDef& def_;
  std::vector<BExprPtr> filters_;
  std::vector<char> first_, rest_;
  bool restricted_ = false;
  std::vector<char> restrictedFirst_, restrictedRest_;
  std::vector<uint32_t> pages_;
  size_t pageIndex_ = 0;
  PageRef page_;
  uint64_t pageSerial_ = 0;   // the engine's change serial when page_ was read
  unsigned slot_ = 0, count_ = 0;
};

class LookupOp : public Operator {
 public:
  LookupOp(Engine& e, int inst, const TableDef& def, int column, BExprPtr key, std::vector<BExprPtr> filters,
           std::vector<char> wanted)
      : engine_(e), inst_(inst), def_(def), column_(column), key_(std::move(key)), filters_(std::move(filters)),
        wanted_(std::move(wanted)) {}
  void open(Frame& f) override {
    ids_.clear();
    pos_ = 0;
    Value tmp;
    const Value& k = key_->eval(f, tmp);
    if (k.isNull()) return;
    // Comparing a text column with a number (or the reverse) is a type
    // mismatch, as in a scan.
    ColumnType ct = def_.columns[static_cast<size_t>(column_)].type;
    bool colText = isTextType(ct);
    if ((k.kind() == ValueKind::Text) != colText && !(colText && k.kind() == ValueKind::Text)) {
      if (colText || k.kind() == ValueKind::Text) throwTypeMismatch();
    }
    Engine::LookupIndex* idx = engine_.lookupIndex(def_, column_, true);
    std::string key;
    appendKey(key, k);
    auto it = idx->rows.find(key);
    if (it != idx->rows.end()) ids_ = it->second;
  }
  bool next(Frame& f) override {
    Database& db = engine_.database();
    std::vector<Value>& row = f.rows[static_cast<size_t>(inst_)];
    while (pos_ < ids_.size()) {
      RowId id = ids_[pos_++];
      PageRef p = db.pager().page(id.page);
      if (!db.readRow(def_, *p, id.page, id.row, row, &wanted_)) continue;
      f.locators[static_cast<size_t>(inst_)] = packRowId(id);
      if (allTrue(filters_, f)) return true;
    }
    return false;
  }

 private:
  Engine& engine_;
  int inst_;
  const TableDef& def_;
  int column_;
  BExprPtr key_;
  std::vector<BExprPtr> filters_;
  std::vector<char> wanted_;
  std::vector<RowId> ids_;
  size_t pos_ = 0;
};

class DerivedOp : public Operator {
 public:
  DerivedOp(int inst, SelectPlan& plan, std::vector<BExprPtr> filters)
      : inst_(inst), plan_(plan), filters_(std::move(filters)) {}
  void open(Frame& f) override {
    if (!materialized_) {
      rows_.clear();
      plan_.open(f.outer, *f.exec);
      size_t w = plan_.columns.size();
      while (plan_.next()) {
        const auto& r = plan_.row();
        rows_.emplace_back(r.begin(), r.begin() + static_cast<long>(std::min(w, r.size())));
      }
      materialized_ = true;
      if (target_) *target_ = rows_;
    }
    pos_ = 0;
  }
  bool next(Frame& f) override {
    while (pos_ < rows_.size()) {
      size_t i = pos_++;
      f.rows[static_cast<size_t>(inst_)] = rows_[i];
      f.locators[static_cast<size_t>(inst_)] = i;
      if (allTrue(filters_, f)) return true;
    }
    return false;
  }
  std::vector<std::vector<Value>>* target_ = nullptr;

 private:
  int inst_;
  SelectPlan& plan_;
  std::vector<BExprPtr> filters_;
  std::vector<std::vector<Value>> rows_;
  bool materialized_ = false;
  size_t pos_ = 0;
};

// The saved image of the instances of one side of a join.
struct SideRow {
  std::vector<std::vector<Value>> rows;
  std::vector<uint64_t> locators;
};

std::vector<size_t> maskInstances(uint64_t mask) {
  std::vector<size_t> v;
  for (size_t i = 0; i < 64; ++i)
    if (mask & (uint64_t{1} << i)) v.push_back(i);
  return v;
}

void saveSide(Frame& f, const std::vector<size_t>& insts, SideRow& out) {
  out.rows.resize(insts.size());
  out.locators.resize(insts.size());
  for (size_t k = 0; k < insts.size(); ++k) {
    out.rows[k] = f.rows[insts[k]];
    out.locators[k] = f.locators[insts[k]];
  }
}
void restoreSide(Frame& f, const std::vector<size_t>& insts, const SideRow& in) {
  for (size_t k = 0; k < insts.size(); ++k) {
    f.rows[insts[k]] = in.rows[k];
    f.locators[insts[k]] = in.locators[k];
  }
}
void nullSide(Frame& f, const std::vector<size_t>& insts) {
  for (size_t i : insts) {
    nullRow(f.rows[i]);
    f.locators[i] = kNoRow;
  }
}

class HashJoinOp : public Operator {
 public:
  HashJoinOp(OperatorPtr probe, OperatorPtr build, std::vector<BExprPtr> pk, std::vector<BExprPtr> bk,
             std::vector<BExprPtr> residual, bool preserve, uint64_t buildMask)
      : probe_(std::move(probe)), build_(std::move(build)), pk_(std::move(pk)), bk_(std::move(bk)),
        residual_(std::move(residual)), preserve_(preserve), buildInsts_(maskInstances(buildMask)) {}

  void open(Frame& f) override {
    rows_.clear();
    table_.clear();
    build_->open(f);
    std::string key;
    while (build_->next(f)) {
      if (!makeKey(bk_, f, key)) continue;
      SideRow r;
      saveSide(f, buildInsts_, r);
      table_[key].push_back(rows_.size());
      rows_.push_back(std::move(r));
    }
    probe_->open(f);
    matches_ = nullptr;
    mpos_ = 0;
    active_ = false;
  }

  bool next(Frame& f) override {
    for (;;) {
      if (active_) {
        while (matches_ && mpos_ < matches_->size()) {
          restoreSide(f, buildInsts_, rows_[(*matches_)[mpos_++]]);
          if (allTrue(residual_, f)) {
            matched_ = true;
            return true;
          }
        }
        active_ = false;
        if (preserve_ && !matched_) {
          nullSide(f, buildInsts_);
          return true;
        }
      }
      if (!probe_->next(f)) return false;
      std::string key;
      matches_ = nullptr;
      if (makeKey(pk_, f, key)) {
        auto it = table_.find(key);
        if (it != table_.end()) matches_ = &it->second;
      }
      mpos_ = 0;
      matched_ = false;
      active_ = true;
    }
  }

 private:
  static bool makeKey(const std::vector<BExprPtr>& ks, Frame& f, std::string& key) {
    key.clear();
    for (const auto& k : ks) {
      Value tmp;
      const Value& v = k->eval(f, tmp);
      if (v.isNull()) return false;
      appendKey(key, v);
    }
    return true;
  }
  OperatorPtr probe_, build_;
  std::vector<BExprPtr> pk_, bk_, residual_;
  bool preserve_;
  std::vector<size_t> buildInsts_;
  std::vector<SideRow> rows_;
  std::unordered_map<std::string, std::vector<size_t>> table_;
  const std::vector<size_t>* matches_ = nullptr;
  size_t mpos_ = 0;
  bool matched_ = false, active_ = false;
};

class NestedLoopOp : public Operator {
 public:
  NestedLoopOp(OperatorPtr left, OperatorPtr right, std::vector<BExprPtr> on, bool preserve, uint64_t rightMask)
      : left_(std::move(left)), right_(std::move(right)), on_(std::move(on)), preserve_(preserve),
        rightInsts_(maskInstances(rightMask)) {}
  void open(Frame& f) override {
    rows_.clear();
    right_->open(f);
    while (right_->next(f)) {
      SideRow r;
      saveSide(f, rightInsts_, r);
      rows_.push_back(std::move(r));
    }
    left_->open(f);
    active_ = false;
  }
  bool next(Frame& f) override {
    for (;;) {
      if (active_) {
        while (pos_ < rows_.size()) {
          restoreSide(f, rightInsts_, rows_[pos_++]);
          if (allTrue(on_, f)) {
            matched_ = true;
            return true;
          }
        }
        active_ = false;
        if (preserve_ && !matched_) {
          nullSide(f, rightInsts_);
          return true;
        }
      }
      if (!left_->next(f)) return false;
      pos_ = 0;
      matched_ = false;
      active_ = true;
    }
  }

 private:
  OperatorPtr left_, right_;
  std::vector<BExprPtr> on_;
  bool preserve_;
  std::vector<size_t> rightInsts_;
  std::vector<SideRow> rows_;
  size_t pos_ = 0;
  bool matched_ = false, active_ = false;
};

class FilterOp : public Operator {
 public:
  FilterOp(OperatorPtr child, std::vector<BExprPtr> conds) : child_(std::move(child)), conds_(std::move(conds)) {}
  void open(Frame& f) override { child_->open(f); }
  bool next(Frame& f) override {
    while (child_->next(f))
      if (allTrue(conds_, f)) return true;
    return false;
  }

 private:
  OperatorPtr child_;
  std::vector<BExprPtr> conds_;
};

// --- aggregation --------------------------------------------------------------------

struct AggState {
  int64_t count = 0;
  Value acc;        // Sum, Min, Max, First, Last
  double sum = 0, sumSq = 0;
  bool any = false;
};

void accumulate(const AggSpec& agg, AggState& st, Frame& f) {
  if (agg.kind == AggKind::CountStar) {
    ++st.count;
    return;
  }
  Value tmp;
  const Value& v = agg.arg->eval(f, tmp);
  if (v.isNull()) return;
  ++st.count;
  switch (agg.kind) {
    case AggKind::Count: break;
    case AggKind::Sum:
    case AggKind::Avg:
      if (!isNumberLike(v) && v.kind() != ValueKind::Text) throwTypeMismatch();
      st.acc = st.any ? arithmetic(ArithOp::Add, st.acc, v) : (v.kind() == ValueKind::Text ? Value(toDouble(v)) : v);
      break;
    case AggKind::Min:
      if (!st.any || orderValues(v, st.acc) < 0) st.acc = v;
      break;
    case AggKind::Max:
      if (!st.any || orderValues(v, st.acc) > 0) st.acc = v;
      break;
    case AggKind::First:
      if (!st.any) st.acc = v;
      break;
    case AggKind::Last:
      st.acc = v;
      break;
    case AggKind::StDev:
    case AggKind::Var: {
      double d = toDouble(v);
      st.sum += d;
      st.sumSq += d * d;
      break;
    }
    default: break;
  }
  st.any = true;
}

Value finalize(const AggSpec& agg, const AggState& st) {
  switch (agg.kind) {
    case AggKind::Count:
    case AggKind::CountStar:
      return Value(static_cast<int32_t>(std::min<int64_t>(st.count, INT32_MAX)));
    case AggKind::Sum:
      if (!st.any) return Value();
      if (agg.type.type == ColumnType::Long && isIntegerKind(st.acc.kind())) return Value(toLong(st.acc));
      return st.acc;
    case AggKind::Avg: {
      if (!st.any) return Value();
      if (st.acc.kind() == ValueKind::Currency)
        return Value::currency(static_cast<int64_t>(std::nearbyint(static_cast<double>(st.acc.as<Currency>().scaled) / st.count)));
      return Value(toDouble(st.acc) / static_cast<double>(st.count));
    }
    case AggKind::StDev:
    case AggKind::Var: {
      if (st.count < 2) return Value();
      double n = static_cast<double>(st.count);
      double var = (st.sumSq - st.sum * st.sum / n) / (n - 1);
      if (var < 0) var = 0;
      return Value(agg.kind == AggKind::Var ? var : std::sqrt(var));
    }
    default:
      return st.any ? st.acc : Value();
  }
}

}  // namespace

// --- CorePlan --------------------------------------------------------------------------

void CorePlan::open(Frame* outer, ExecState& exec) {
  exec_ = &exec;
  frame.outer = outer;
  frame.exec = &exec;
  groupFrame.outer = outer;
  groupFrame.exec = &exec;
  groupFrame.rows.resize(1);
  seen_.clear();
  noFromDone_ = false;
  started_ = true;
  if (aggregated) {
    runAggregation();
    groupPos_ = 0;
  } else if (root) {
    root->open(frame);
  }
}

void CorePlan::runAggregation() {
  groups_.clear();
  std::unordered_map<std::string, size_t> index;
  std::vector<std::vector<AggState>> states;
  std::vector<std::vector<Value>> keys;
  bool anyInput = false;
  auto feed = [&]() {
    if (!allTrue(residual, frame)) return;
    anyInput = true;
    std::string key;
    std::vector<Value> kv;
    kv.reserve(groupKeys.size());
    for (const auto& g : groupKeys) {
      kv.push_back(g->value(frame));
      appendKey(key, kv.back());
    }
    auto it = index.find(key);
    size_t gi;
    if (it == index.end()) {
      gi = states.size();
      index.emplace(std::move(key), gi);
      states.emplace_back(aggs.size());
      keys.push_back(std::move(kv));
    } else {
      gi = it->second;
    }
    for (size_t a = 0; a < aggs.size(); ++a) accumulate(aggs[a], states[gi][a], frame);
  };
  if (root) {
    root->open(frame);
    while (root->next(frame)) feed();
  } else {
    feed();
  }
  (void)anyInput;
  if (states.empty() && groupKeys.empty()) {
    states.emplace_back(aggs.size());
    keys.emplace_back();
  }
  std::vector<size_t> order(states.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  if (sortGroups && !groupKeys.empty()) {
    std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
      for (size_t k = 0; k < groupKeys.size(); ++k) {
        int c = orderValues(keys[x][k], keys[y][k]);
        if (c) return c < 0;
      }
      return false;
    });
  }
  groups_.reserve(order.size());
  for (size_t gi : order) {
    std::vector<Value> row = std::move(keys[gi]);
    for (size_t a = 0; a < aggs.size(); ++a) row.push_back(finalize(aggs[a], states[gi][a]));
    groups_.push_back(std::move(row));
  }
}

std::vector<Value> CorePlan::emptyGroupOutput() {
  std::vector<Value> row(groupKeys.size());
  for (const auto& a : aggs) row.push_back(finalize(a, AggState{}));
  groupFrame.rows.resize(1);
  groupFrame.rows[0] = std::move(row);
  project(groupFrame);
  return out_;
}

void CorePlan::project(Frame& from) {
  out_.resize(outputs.size());
  // A value read from the frame is copied into the output slot, whose text
  // keeps its storage from row to row.
  auto one = [&](size_t i) {
    Value tmp;
    const Value& v = outputs[i]->eval(from, tmp);
    if (&v == &tmp) out_[i] = std::move(tmp);
    else out_[i] = v;
  };
  if (onlyOutputs_) {
    for (size_t i : *onlyOutputs_) one(i);
    return;
  }
  for (size_t i = 0; i < outputs.size(); ++i) one(i);
}

// Only a plain block over one scanned table takes the restriction: its
// scan then decodes, after the conditions, just the columns the wanted
// outputs are, and the projection computes just those outputs.
void CorePlan::restrictOutputs(const std::vector<size_t>* keep) {
  auto* scan = dynamic_cast<ScanOp*>(root.get());
  if (!keep) {
    if (onlyOutputs_ && scan) scan->restrictColumns(nullptr);
    onlyOutputs_ = nullptr;
    return;
  }
  if (aggregated || distinct || !scan || !residual.empty() || instances.size() != 1) return;
  std::vector<int> read;
  for (size_t i : *keep) {
    if (i >= outputs.size()) return;
    auto* col = dynamic_cast<const BColumn*>(outputs[i].get());
    if (!col || col->depth != 0 || col->instance != 0) return;
    read.push_back(col->column);
  }
  if (scan->restrictColumns(&read)) onlyOutputs_ = keep;
}

bool CorePlan::next() {
  for (;;) {
    if (aggregated) {
      if (groupPos_ >= groups_.size()) return false;
      currentGroup_ = groupPos_++;
      groupFrame.rows[0] = groups_[currentGroup_];
      if (having && !isTrue(*having, groupFrame)) continue;
      project(groupFrame);
    } else {
      if (root) {
        if (!root->next(frame)) return false;
      } else {
        if (noFromDone_) return false;
        noFromDone_ = true;
      }
      if (!allTrue(residual, frame)) continue;
      project(frame);
    }
    if (distinct) {
      std::string key;
      for (size_t i = 0; i + hiddenColumns < out_.size(); ++i) appendKey(key, out_[i]);
      if (!seen_.insert(std::move(key)).second) continue;
    }
    return true;
  }
}

void CorePlan::locate(uint64_t* out) const {
  if (aggregated) {
    out[0] = currentGroup_;
  } else if (instances.empty()) {
    out[0] = 0;
  } else {
    for (size_t i = 0; i < instances.size(); ++i) out[i] = frame.locators[i];
  }
}

bool fetchInstanceRow(ExecState& exec, const Instance& inst, uint64_t loc, std::vector<Value>& row) {
  if (loc == kNoRow) {
    nullRow(row);
    return true;
  }
  if (!inst.def) {
    row = inst.derivedRows.at(loc);
    return true;
  }
  // A row deleted since its locator was taken, or a page that left the
  // table, is simply gone.
  RowId id = unpackRowId(loc);
  Database& db = *exec.db;
  if (id.page >= db.pager().pageCount()) return false;
  PageRef p = db.pager().page(id.page);
  if ((*p)[0] != 0x01 || rd32(p->data() + 4) != inst.def->tdefPage) return false;
  return db.readRow(*inst.def, *p, id.page, id.row, row, &inst.wanted);
}

bool CorePlan::fetch(const uint64_t* loc) {
  if (aggregated) {
    groupFrame.rows[0] = groups_[loc[0]];
    currentGroup_ = loc[0];
    project(groupFrame);
    return true;
  }
  for (size_t i = 0; i < instances.size(); ++i) {
    if (!fetchInstanceRow(*exec_, instances[i], loc[i], frame.rows[i])) return false;
    frame.locators[i] = loc[i];
  }
  project(frame);
  return true;
}

bool CorePlan::fetchFiltered(uint64_t rowId) {
  if (!fetchInstanceRow(*exec_, instances[0], rowId, frame.rows[0])) return false;
  frame.locators[0] = rowId;
  auto* scan = dynamic_cast<ScanOp*>(root.get());
  if ((scan && !scan->passes(frame)) || !allTrue(residual, frame)) return false;
  project(frame);
  return true;
}

// --- SelectPlan -------------------------------------------------------------------------

size_t SelectPlan::locatorWidth() const {
  size_t w = 0;
  for (const auto& p : parts) w = std::max(w, p->locatorWidth());
  return w + 1;
}

void SelectPlan::locate(uint64_t* out) const {
  out[0] = part_;
  parts[part_]->locate(out + 1);
}

bool SelectPlan::fetch(const uint64_t* loc) {
  if (!parts[loc[0]]->fetch(loc + 1)) return false;
  current_ = &parts[loc[0]]->row();
  return true;
}

void SelectPlan::open(Frame* outer, ExecState& exec) {
  outer_ = outer;
  exec_ = &exec;
  part_ = 0;
  sorted_ = false;
  pos_ = 0;
  emitted_ = 0;
  seen_.clear();
  keys_.clear();
  locs_.clear();
  perm_.clear();
  indexWalk_ = false;
  walk_.clear();
  limit_ = SIZE_MAX;
  if (!parts.empty()) parts[0]->open(outer, exec);
}

bool SelectPlan::nextUnsorted() {
  while (part_ < parts.size()) {
    if (parts[part_]->next()) {
      const auto& r = parts[part_]->row();
      if (part_ > 0 && !unionAll[part_ - 1]) {
        // UNION without ALL: drop repeated rows across the whole result.
        std::string key;
        for (size_t i = 0; i < columns.size(); ++i) appendKey(key, r[i]);
        if (!seen_.insert(std::move(key)).second) continue;
      } else if (!unionAll.empty() && part_ == 0 && std::find(unionAll.begin(), unionAll.end(), false) != unionAll.end()) {
        std::string key;
        for (size_t i = 0; i < columns.size(); ++i) appendKey(key, r[i]);
        if (!seen_.insert(std::move(key)).second) continue;
      }
      current_ = &r;
      return true;
    }
    ++part_;
    if (part_ < parts.size()) parts[part_]->open(outer_, *exec_);
  }
  return false;
}

// ORDER BY on the columns of an index of the single table of a plain block
// walks that index instead of sorting: the index holds the rows in the
// order the sort would give, since
//   - its columns are exactly the sort columns, all in the sort's direction
//     or all against it (walked from the end);
//   - their types order as the index's key bytes do (numbers and dates;
//     text keys fold case and accents otherwise than the sort compares);
//   - it leaves no row out (not "ignore nulls");
//   - rows of equal keys follow each other by row address, which is the
//     scan's order and so the stable sort's; walked from the end, runs of
//     equal keys keep that order.
// The walk keeps 8 bytes per row; the block's conditions are tested as each
// row is read.
bool SelectPlan::walkIndex() {
  if (parts.size() != 1 || top || topPercent) return false;
  auto* core = dynamic_cast<CorePlan*>(parts[0].get());
  if (!core || core->aggregated || core->distinct || core->instances.size() != 1 || !core->instances[0].def ||
      !dynamic_cast<ScanOp*>(core->root.get()))
    return false;
  const TableDef& def = *core->instances[0].def;
  std::vector<int> sortColumns;
  for (const auto& k : order) {
    if (k.column >= core->outputs.size()) return false;
    auto* col = dynamic_cast<const BColumn*>(core->outputs[k.column].get());
    if (!col || col->depth != 0 || col->instance != 0) return false;
    ColumnType t = def.columns[static_cast<size_t>(col->column)].type;
    if (t != ColumnType::Byte && t != ColumnType::Integer && t != ColumnType::Long && t != ColumnType::Currency &&
        t != ColumnType::DateTime)
      return false;
    sortColumns.push_back(col->column);
  }
  const RealIndexDef* chosen = nullptr;
  bool reverse = false;
  for (const auto& real : def.realIndexes) {
    if (real.columns.size() != sortColumns.size() || real.ignoreNulls() || !indexKeysSupported(def, real)) continue;
    bool same = true, opposite = true;
    for (size_t i = 0; i < sortColumns.size(); ++i) {
      if (def.positionOfNumber(real.columns[i].columnNumber) != sortColumns[i]) same = opposite = false;
      bool along = real.columns[i].ascending != order[i].descending;
      same = same && along;
      opposite = opposite && !along;
    }
    if (same || opposite) {
      chosen = &real;
      reverse = opposite;
      break;
    }
  }
  if (!chosen) return false;
  walk_.reserve(std::min<size_t>(def.rowCount, size_t{1} << 26));
  IndexBtree tree(exec_->db->pager(), def.tdefPage, *chosen);
  IndexBtree::Cursor c = tree.walk();
  std::vector<size_t> runStarts;  // reverse walks: where each run of equal keys starts
  std::vector<uint8_t> last;
  while (c.next()) {
    const IndexEntry& e = c.entry();
    if (reverse && (walk_.empty() || e.key != last)) {
      runStarts.push_back(walk_.size());
      last = e.key;
    }
    walk_.push_back(packRowId(e.row));
  }
  if (reverse) {
    // The runs from the last to the first, each in its own order.
    std::reverse(walk_.begin(), walk_.end());
    const size_t n = walk_.size();
    for (size_t r = 0; r < runStarts.size(); ++r) {
      // The run at [start, stop) of the forward walk is now at [n - stop, n - start).
      size_t start = runStarts[r], stop = r + 1 < runStarts.size() ? runStarts[r + 1] : n;
      std::reverse(walk_.begin() + static_cast<long>(n - stop), walk_.begin() + static_cast<long>(n - start));
    }
  }
  indexWalk_ = true;
  sorted_ = true;
  pos_ = 0;
  gatheredSerial_ = exec_->engine->changeSerial();
  return true;
}

void SelectPlan::sortAll() {
  if (walkIndex()) return;
  size_t lw = locatorWidth();
  std::vector<uint64_t> loc(lw);
  size_t n = 0;
  // The rows are rebuilt from their locators as they are returned, so this
  // pass needs only the sort keys (unless UNION compares whole rows).
  std::vector<size_t> keyColumns;
  for (const auto& k : order) keyColumns.push_back(k.column);
  const bool restrict = std::find(unionAll.begin(), unionAll.end(), false) == unionAll.end();
  auto unrestrict = [&] {
    if (restrict)
      for (auto& p : parts) p->restrictOutputs(nullptr);
  };
  if (restrict)
    for (auto& p : parts) p->restrictOutputs(&keyColumns);
  try {
    collectSortKeys(loc, n);
  } catch (...) {
    unrestrict();
    throw;
  }
  unrestrict();
  finishSort(n);
}

void SelectPlan::collectSortKeys(std::vector<uint64_t>& loc, size_t& n) {
  while (nextUnsorted()) {
    const auto& r = *current_;
    for (const auto& k : order) keys_.push_back(r[k.column]);
    std::fill(loc.begin(), loc.end(), 0);
    locate(loc.data());
    locs_.insert(locs_.end(), loc.begin(), loc.end());
    ++n;
  }
}

void SelectPlan::finishSort(size_t n) {
  perm_.resize(n);
  for (size_t i = 0; i < n; ++i) perm_[i] = i;
  size_t nk = order.size();
  auto cmp = [&](size_t x, size_t y) {
    for (size_t k = 0; k < nk; ++k) {
      int c = orderValues(keys_[x * nk + k], keys_[y * nk + k]);
      if (c) return order[k].descending ? c > 0 : c < 0;
    }
    return false;
  };
  std::stable_sort(perm_.begin(), perm_.end(), cmp);
  limit_ = n;
  if (top) {
    size_t t = topPercent ? static_cast<size_t>(std::ceil(static_cast<double>(n) * static_cast<double>(*top) / 100.0))
                          : static_cast<size_t>(std::max<int64_t>(0, *top));
    if (t < n) {
      // Jet's TOP keeps the rows that tie with the last one.
      size_t end = t;
      while (t > 0 && end < n && !cmp(perm_[t - 1], perm_[end]) && !cmp(perm_[end], perm_[t - 1])) ++end;
      limit_ = end;
    }
  }
  sorted_ = true;
  pos_ = 0;
  gatheredSerial_ = exec_->engine->changeSerial();
}

bool SelectPlan::next() {
  if (!order.empty() || topPercent) {
    if (!sorted_) sortAll();
    if (indexWalk_) {
      auto& core = static_cast<CorePlan&>(*parts[0]);
      while (pos_ < walk_.size()) {
        part_ = 0;
        if (core.fetchFiltered(walk_[pos_++])) {
          current_ = &core.row();
          return true;
        }
      }
      return false;
    }
    // A row deleted since the sort is left out.
    size_t lw = locatorWidth();
    while (pos_ < limit_)
      if (fetch(&locs_[perm_[pos_++] * lw])) return true;
    return false;
  }
  if (top && emitted_ >= *top) return false;
  if (!nextUnsorted()) return false;
  ++emitted_;
  return true;
}

int64_t SelectPlan::countRest() {
  int64_t n = 0;
  if (!order.empty() || topPercent) {
    if (!sorted_) sortAll();
    // The rows the sort kept, or those the index holds when nothing is
    // left to test, unless a statement ran since (rows may be gone).
    if (gatheredSerial_ == exec_->engine->changeSerial()) {
      if (!indexWalk_) {
        n = static_cast<int64_t>(limit_ - std::min(pos_, limit_));
        pos_ = limit_;
        return n;
      }
      auto& core = static_cast<CorePlan&>(*parts[0]);
      if (core.residual.empty() && !static_cast<const ScanOp&>(*core.root).hasConditions()) {
        n = static_cast<int64_t>(walk_.size() - pos_);
        pos_ = walk_.size();
        return n;
      }
    }
    while (next()) ++n;
    return n;
  }
  // The rows need not be built: each block computes no output and its scan
  // decodes only what the conditions read (UNION without ALL compares whole
  // rows, so it builds them).
  const bool restrict = std::find(unionAll.begin(), unionAll.end(), false) == unionAll.end();
  const std::vector<size_t> none;
  if (restrict)
    for (auto& p : parts) p->restrictOutputs(&none);
  auto unrestrict = [&] {
    if (restrict)
      for (auto& p : parts) p->restrictOutputs(nullptr);
  };
  try {
    while (next()) ++n;
  } catch (...) {
    unrestrict();
    throw;
  }
  unrestrict();
  return n;
}

// --- subqueries ----------------------------------------------------------------------------

void BSubquery::fill(Entry& e, Frame* outer, ExecState& exec, size_t skip) const {
  plan->open(outer, exec);
  while (plan->next()) {
    ++e.rows;
    if (mode == Mode::Exists) break;
    const Value& v = plan->row()[skip];
    if (mode == Mode::Scalar) {
      if (e.rows == 1) e.first = v;
      else break;
      continue;
    }
    if (v.isNull()) e.hasNull = true;
    else e.keys.insert(v);
  }
}

void BSubquery::buildDecorrelated(Frame& f) const {
  plan->open(&f, *f.exec);
  std::string key;
  while (plan->next()) {
    const auto& r = plan->row();
    key.clear();
    bool nullKey = false;
    for (size_t k = 0; k < corrKeys; ++k) {
      if (r[k].isNull()) nullKey = true;
      appendKey(key, r[k]);
    }
    if (nullKey) continue;
    Entry& e = byKey_[key];
    ++e.rows;
    const Value& v = r[corrKeys];
    if (e.rows == 1) e.first = v;
    if (mode == Mode::In) {
      if (v.isNull()) e.hasNull = true;
      else e.keys.insert(v);
    }
  }
  empty_ = Entry{};
  if (core->aggregated) {
    std::vector<Value> out = core->emptyGroupOutput();
    empty_.rows = 1;
    empty_.first = out[corrKeys];
    if (mode == Mode::In) {
      if (empty_.first.isNull()) empty_.hasNull = true;
      else empty_.keys.insert(empty_.first);
    }
  }
}

Value BSubquery::answer(const Entry& e, Frame& f) const {
  switch (mode) {
    case Mode::Exists:
      return Value((e.rows > 0) != negated);
    case Mode::Scalar:
      if (e.rows > 1) throw Error("No máximo um registro pode ser retornado por esta subconsulta.");
      return e.rows ? e.first : Value();
    case Mode::In: {
      Value tmp;
      const Value& v = lhs->eval(f, tmp);
      if (v.isNull()) return Value();
      if (e.keys.contains(v)) return Value(!negated);
      if (e.hasNull) return Value();
      return Value(negated);
    }
  }
  return Value();
}

const Value& BSubquery::eval(Frame& f, Value& tmp) const {
  ExecState& ex = *f.exec;
  if (!correlated) {
    if (!built_) {
      whole_ = Entry{};
      fill(whole_, &f, ex, 0);
      built_ = true;
    }
    return tmp = answer(whole_, f);
  }
  if (core && corrKeys) {
    if (!built_) {
      byKey_.clear();
      buildDecorrelated(f);
      built_ = true;
    }
    core->frame.outer = &f;
    core->frame.exec = &ex;
    std::string key;
    bool nullKey = false;
    for (const auto& e : corrOuter) {
      Value t;
      const Value& v = e->eval(core->frame, t);
      if (v.isNull()) nullKey = true;
      appendKey(key, v);
    }
    if (nullKey) return tmp = answer(empty_, f);
    auto it = byKey_.find(key);
    return tmp = answer(it == byKey_.end() ? empty_ : it->second, f);
  }
  std::string key;
  for (const auto& r : outerRefs) {
    Frame* fr = &f;
    for (int d = 1; d < r.depth; ++d) fr = fr->outer;
    appendKey(key, fr->rows[static_cast<size_t>(r.instance)][static_cast<size_t>(r.column)]);
  }
  auto it = memo_.find(key);
  if (it == memo_.end()) {
    if (memo_.size() > 200000) memo_.clear();
    Entry e;
    fill(e, &f, ex, 0);
    it = memo_.emplace(std::move(key), std::move(e)).first;
  }
  return tmp = answer(it->second, f);
}

// --- factories ---------------------------------------------------------------------------------

OperatorPtr makeScan(Engine& engine, int instance, const TableDef& def, std::vector<BExprPtr> filters,
                     std::vector<char> wanted) {
  return std::make_unique<ScanOp>(engine, instance, def, std::move(filters), std::move(wanted));
}
OperatorPtr makeLookup(Engine& engine, int instance, const TableDef& def, int keyColumn, BExprPtr keyValue,
                       std::vector<BExprPtr> filters, std::vector<char> wanted) {
  return std::make_unique<LookupOp>(engine, instance, def, keyColumn, std::move(keyValue), std::move(filters),
                                    std::move(wanted));
}
OperatorPtr makeDerivedScan(int instance, Instance& inst, std::vector<BExprPtr> filters) {
  auto op = std::make_unique<DerivedOp>(instance, *inst.derived, std::move(filters));
  op->target_ = &inst.derivedRows;
  return op;
}
OperatorPtr makeHashJoin(OperatorPtr probe, OperatorPtr build, std::vector<BExprPtr> probeKeys,
                         std::vector<BExprPtr> buildKeys, std::vector<BExprPtr> residual, bool preserveProbe,
                         uint64_t buildMask, std::vector<size_t>) {
  return std::make_unique<HashJoinOp>(std::move(probe), std::move(build), std::move(probeKeys),
                                      std::move(buildKeys), std::move(residual), preserveProbe, buildMask);
}
OperatorPtr makeNestedLoop(OperatorPtr left, OperatorPtr right, std::vector<BExprPtr> on, bool preserveLeft,
                           uint64_t rightMask, std::vector<size_t>) {
  return std::make_unique<NestedLoopOp>(std::move(left), std::move(right), std::move(on), preserveLeft, rightMask);
}
OperatorPtr makeFilter(OperatorPtr child, std::vector<BExprPtr> conds) {
  return std::make_unique<FilterOp>(std::move(child), std::move(conds));
}

}  // namespace jet::sql
