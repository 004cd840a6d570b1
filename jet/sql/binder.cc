// The binder: resolves the names of a parsed statement against the catalog
// and the scopes around it, gives every expression its Jet type, and builds
// the bound expression trees and block plans that the planner and executor
// work on.
//
// Name rules (Jet): names are case-insensitive; an unqualified column is
// looked for in every FROM instance of the block, then in the blocks around
// it (a correlated reference); found in two instances of one block it is
// ambiguous. Output columns are named by their alias, else by the column
// name, else Expr1000, Expr1001, ...
//
// Aggregation: a block is aggregated when it has GROUP BY or an aggregate
// function in its select list, HAVING or ORDER BY. Its outputs then read
// the group row [aggregate results..., group keys...]; a column that is
// neither grouped nor inside an aggregate is refused with Jet's message.
#include <algorithm>
#include <cmath>
#include <regex>

#include "jet/sql/bound_expr.h"
#include "jet/sql/regional.h"
#include "jet/storage/error.h"

namespace jet::sql {

namespace {

bool sameName(std::string_view a, std::string_view b) { return foldName(a) == foldName(b); }

ResultType fixedType(ColumnType c) {
  ResultType t;
  t.type = c;
  return t;
}

int numericRank(ColumnType t) {
  switch (t) {
    case ColumnType::Boolean: case ColumnType::Byte: return 1;
    case ColumnType::Integer: return 2;
    case ColumnType::Long: return 3;
    case ColumnType::Currency: return 4;
    case ColumnType::Single: case ColumnType::Double: case ColumnType::Numeric: return 5;
    case ColumnType::DateTime: return 6;
    default: return 0;
  }
}

ResultType arithmeticType(const std::string& op, const ResultType& a, const ResultType& b) {
  ResultType v;
  v.variant = a.variant || b.variant;
  if (op == "/" || op == "^") return fixedType(ColumnType::Double);
  int ra = numericRank(a.type), rb = numericRank(b.type);
  if (op == "+" && ra == 0 && rb == 0) {
    v.type = ColumnType::Text;
    return v;
  }
  if (ra == 0 || rb == 0) {
    v.type = ColumnType::Double;
    v.variant = true;
    return v;
  }
  if (op == "\\" || op == "MOD") {
    v.type = std::max(ra, rb) <= 2 ? ColumnType::Integer : ColumnType::Long;
    return v;
  }
  if (ra == 6 || rb == 6) {
    v.type = (op == "-" && ra == 6 && rb == 6) ? ColumnType::Double
             : (op == "+" || op == "-") ? ColumnType::DateTime : ColumnType::Double;
    return v;
  }
  int r = std::max(ra, rb);
  v.type = r <= 1 ? ColumnType::Byte : r == 2 ? ColumnType::Integer : r == 3 ? ColumnType::Long
           : r == 4 ? ColumnType::Currency : ColumnType::Double;
  if (r <= 3 && op != "-" && op != "+" && op != "*") v.type = ColumnType::Long;
  return v;
}

// The common type of alternative results (iif, Switch): the one type when
// all agree, the wider number for numbers, else a Variant.
ResultType unionType(const std::vector<const ResultType*>& ts) {
  ResultType out;
  bool first = true;
  for (const ResultType* t : ts) {
    if (t->variant && t->type == ColumnType::Text && !first) {
      // a Null literal: does not decide the type
    }
    if (first) {
      out = *t;
      first = false;
      continue;
    }
    if (t->variant) out.variant = true;
    if (t->type == out.type) {
      out.size = std::max(out.size, t->size);
      continue;
    }
    int ra = numericRank(out.type), rb = numericRank(t->type);
    if (ra && rb && ra < 6 && rb < 6) {
      out.type = ra >= rb ? out.type : t->type;
    } else {
      out.variant = true;
    }
  }
  return out;
}

void finish(BExpr& e, std::initializer_list<const BExpr*> children, const std::string& fp) {
  e.outerDepth = -1;
  e.instanceMask = 0;
  e.hasSubquery = false;
  e.constant = true;
  std::string f = fp + "(";
  for (const BExpr* c : children) {
    if (!c) continue;
    e.outerDepth = std::max(e.outerDepth, c->outerDepth);
    e.instanceMask |= c->instanceMask;
    e.hasSubquery = e.hasSubquery || c->hasSubquery;
    e.readsRowThroughSubquery = e.readsRowThroughSubquery || c->readsRowThroughSubquery;
    e.constant = e.constant && c->constant;
    f += c->fingerprint + ",";
  }
  e.fingerprint = f + ")";
}

void finishVec(BExpr& e, const std::vector<BExprPtr>& children, const std::string& fp) {
  e.outerDepth = -1;
  e.instanceMask = 0;
  e.hasSubquery = false;
  e.constant = true;
  std::string f = fp + "(";
  for (const auto& c : children) {
    e.outerDepth = std::max(e.outerDepth, c->outerDepth);
    e.instanceMask |= c->instanceMask;
    e.hasSubquery = e.hasSubquery || c->hasSubquery;
    e.readsRowThroughSubquery = e.readsRowThroughSubquery || c->readsRowThroughSubquery;
    e.constant = e.constant && c->constant;
    f += c->fingerprint + ",";
  }
  e.fingerprint = f + ")";
}

// --- nodes -------------------------------------------------------------------------

class BNegate : public BExpr {
 public:
  explicit BNegate(BExprPtr a) : a_(std::move(a)) {}
  const Value& eval(Frame& f, Value& tmp) const override {
    Value t;
    tmp = negate(a_->eval(f, t));
    return tmp;
  }
 private:
  BExprPtr a_;
};

class BNot : public BExpr {
 public:
  explicit BNot(BExprPtr a) : a_(std::move(a)) {}
  const Value& eval(Frame& f, Value& tmp) const override {
    Value t;
    const Value& v = a_->eval(f, t);
    if (v.isNull()) {
      tmp = Value();
    } else if (v.kind() == ValueKind::Boolean) {
      tmp = Value(!v.as<bool>());
    } else if (isIntegerKind(v.kind())) {
      // Not on a number is the bitwise complement, as in Jet.
      tmp = Value(static_cast<int32_t>(~toLong(v)));
    } else {
      tmp = Value(!*toBool(v));
    }
    return tmp;
  }
 private:
  BExprPtr a_;
};

class BArith : public BExpr {
 public:
  BArith(ArithOp op, BExprPtr a, BExprPtr b) : op_(op), a_(std::move(a)), b_(std::move(b)) {}
  const Value& eval(Frame& f, Value& tmp) const override {
    Value t1, t2;
    const Value& x = a_->eval(f, t1);
    const Value& y = b_->eval(f, t2);
    tmp = arithmetic(op_, x, y);
    return tmp;
  }
 private:
  ArithOp op_;
  BExprPtr a_, b_;
};

class BConcat : public BExpr {
 public:
  BConcat(BExprPtr a, BExprPtr b) : a_(std::move(a)), b_(std::move(b)) {}
  const Value& eval(Frame& f, Value& tmp) const override {
    Value t1, t2;
    const Value& x = a_->eval(f, t1);
    const Value& y = b_->eval(f, t2);
    tmp = concatenate(x, y);
    return tmp;
  }
 private:
  BExprPtr a_, b_;
};

class BLogic : public BExpr {
 public:
  BLogic(std::string op, BExprPtr a, BExprPtr b) : op_(std::move(op)), a_(std::move(a)), b_(std::move(b)) {}
  const Value& eval(Frame& f, Value& tmp) const override {
    Value t1, t2;
    std::optional<bool> x = toBool(a_->eval(f, t1));
    if (op_ == "AND" && x == false) return tmp = Value(false);
    if (op_ == "OR" && x == true) return tmp = Value(true);
    std::optional<bool> y = toBool(b_->eval(f, t2));
    if (op_ == "AND") {
      if (y == false) return tmp = Value(false);
      if (!x || !y) return tmp = Value();
      return tmp = Value(true);
    }
    if (op_ == "OR") {
      if (y == true) return tmp = Value(true);
      if (!x || !y) return tmp = Value();
      return tmp = Value(false);
    }
    if (op_ == "IMP") {
      if (x == false || y == true) return tmp = Value(true);
      if (!x || !y) return tmp = Value();
      return tmp = Value(false);
    }
    if (!x || !y) return tmp = Value();
    if (op_ == "XOR") return tmp = Value(*x != *y);
    return tmp = Value(*x == *y);  // EQV
  }
 private:
  std::string op_;
  BExprPtr a_, b_;
};

class BIsNull : public BExpr {
 public:
  BIsNull(BExprPtr a, bool negated) : a_(std::move(a)), negated_(negated) {}
  const Value& eval(Frame& f, Value& tmp) const override {
    Value t;
    bool n = a_->eval(f, t).isNull();
    return tmp = Value(negated_ ? !n : n);
  }
 private:
  BExprPtr a_;
  bool negated_;
};

// LIKE with Jet's wildcards: * any run, ? one character, # one digit,
// [list], [!list]; case-insensitive.
class BLike : public BExpr {
 public:
  BLike(BExprPtr a, BExprPtr p, bool negated) : a_(std::move(a)), p_(std::move(p)), negated_(negated) {}
  const Value& eval(Frame& f, Value& tmp) const override {
    Value t1, t2;
    const Value& x = a_->eval(f, t1);
    const Value& p = p_->eval(f, t2);
    if (x.isNull() || p.isNull()) return tmp = Value();
    std::u16string s = utf8ToUtf16(foldCase(toText(x)));
    std::u16string pat = utf8ToUtf16(foldCase(toText(p)));
    bool m = match(s, 0, pat, 0, 0);
    return tmp = Value(negated_ ? !m : m);
  }
 private:
  static bool match(const std::u16string& s, size_t i, const std::u16string& p, size_t j, int depth) {
    if (depth > 1000) return false;
    while (j < p.size()) {
      char16_t c = p[j];
      if (c == u'*') {
        while (j < p.size() && p[j] == u'*') ++j;
        if (j == p.size()) return true;
        for (size_t k = i; k <= s.size(); ++k)
          if (match(s, k, p, j, depth + 1)) return true;
        return false;
      }
      if (i >= s.size()) return false;
      if (c == u'?') {
        ++i, ++j;
      } else if (c == u'#') {
        if (s[i] < u'0' || s[i] > u'9') return false;
        ++i, ++j;
      } else if (c == u'[') {
        size_t close = p.find(u']', j + 1);
        if (close == std::u16string::npos) return false;
        bool neg = j + 1 < close && p[j + 1] == u'!';
        bool hit = false;
        for (size_t k = j + 1 + (neg ? 1 : 0); k < close; ++k) {
          if (k + 2 < close && p[k + 1] == u'-') {
            if (s[i] >= p[k] && s[i] <= p[k + 2]) hit = true;
            k += 2;
          } else if (s[i] == p[k]) {
            hit = true;
          }
        }
        if (hit == neg) return false;
        ++i;
        j = close + 1;
      } else {
        if (s[i] != c) return false;
        ++i, ++j;
      }
    }
    return i == s.size();
  }
  BExprPtr a_, p_;
  bool negated_;
};

class BBetween : public BExpr {
 public:
  BBetween(BExprPtr a, BExprPtr lo, BExprPtr hi, bool negated)
      : a_(std::move(a)), lo_(std::move(lo)), hi_(std::move(hi)), negated_(negated) {}
  const Value& eval(Frame& f, Value& tmp) const override {
    Value t1, t2, t3;
    const Value& x = a_->eval(f, t1);
    auto c1 = compareValues(x, lo_->eval(f, t2));
    auto c2 = compareValues(x, hi_->eval(f, t3));
    if (!c1 || !c2) return tmp = Value();
    bool in = *c1 >= 0 && *c2 <= 0;
    return tmp = Value(negated_ ? !in : in);
  }
 private:
  BExprPtr a_, lo_, hi_;
  bool negated_;
};

class BInList : public BExpr {
 public:
  BInList(BExprPtr a, std::vector<BExprPtr> list, bool negated)
      : a_(std::move(a)), list_(std::move(list)), negated_(negated) {}
  const Value& eval(Frame& f, Value& tmp) const override {
    Value t;
    const Value& x = a_->eval(f, t);
    if (x.isNull()) return tmp = Value();
    bool sawNull = false;
    for (const auto& e : list_) {
      Value t2;
      auto c = compareValues(x, e->eval(f, t2));
      if (!c) {
        sawNull = true;
        continue;
      }
      if (*c == 0) return tmp = Value(!negated_);
    }
    if (sawNull) return tmp = Value();
    return tmp = Value(negated_);
  }
 private:
  BExprPtr a_;
  std::vector<BExprPtr> list_;
  bool negated_;
};

class BCall : public BExpr {
 public:
  BCall(const FunctionDef* fn, std::vector<BExprPtr> args) : fn_(fn), args_(std::move(args)) {}
  const Value& eval(Frame& f, Value& tmp) const override {
    std::vector<Value> vals;
    vals.reserve(args_.size());
    for (const auto& a : args_) vals.push_back(a->value(f));
    tmp = fn_->fn(vals, *f.exec);
    return tmp;
  }
 private:
  const FunctionDef* fn_;
  std::vector<BExprPtr> args_;
};

class BIif : public BExpr {
 public:
  BIif(BExprPtr c, BExprPtr a, BExprPtr b) : c_(std::move(c)), a_(std::move(a)), b_(std::move(b)) {}
  const Value& eval(Frame& f, Value& tmp) const override {
    Value t;
    std::optional<bool> c = toBool(c_->eval(f, t));
    return (c && *c) ? a_->eval(f, tmp) : b_->eval(f, tmp);
  }
 private:
  BExprPtr c_, a_, b_;
};

class BSwitch : public BExpr {
 public:
  explicit BSwitch(std::vector<BExprPtr> args) : args_(std::move(args)) {}
  const Value& eval(Frame& f, Value& tmp) const override {
    for (size_t i = 0; i + 1 < args_.size(); i += 2) {
      Value t;
      std::optional<bool> c = toBool(args_[i]->eval(f, t));
      if (c && *c) return args_[i + 1]->eval(f, tmp);
    }
    return tmp = Value();
  }
 private:
  std::vector<BExprPtr> args_;
};

class BNz : public BExpr {
 public:
  BNz(BExprPtr a, BExprPtr b) : a_(std::move(a)), b_(std::move(b)) {}
  const Value& eval(Frame& f, Value& tmp) const override {
    const Value& v = a_->eval(f, tmp);
    if (!v.isNull()) return v;
    if (b_) return b_->eval(f, tmp);
    return tmp = Value::text("");
  }
 private:
  BExprPtr a_, b_;
};

// A reference into the group row of an aggregated block: [keys..., aggregates...].
class BGroupRef : public BExpr {
 public:
  BGroupRef(const CorePlan* core, bool aggregate, int index) : core_(core), aggregate_(aggregate), index_(index) {
    outerDepth = 0;
    constant = false;
    fingerprint = (aggregate ? "ga" : "gk") + std::to_string(index);
  }
  const Value& eval(Frame& f, Value&) const override {
    size_t slot = aggregate_ ? core_->groupKeys.size() + static_cast<size_t>(index_) : static_cast<size_t>(index_);
    return f.rows[0][slot];
  }
 private:
  const CorePlan* core_;
  bool aggregate_;
  int index_;
};

// --- binding ---------------------------------------------------------------------------

struct ScopeInfo;

struct Binder {
  BindContext& cx;
  std::vector<uint32_t>* collect = nullptr;  // own-scope columns read by the condition being bound

  // Per-block binding state.
  struct Block {
    CorePlan* core = nullptr;
    Block* parent = nullptr;
    SelectPlan* owner = nullptr;       // the plan the block belongs to (for correlation)
    std::vector<BSubquery::OuterRef>* outerRefs = nullptr;
    bool* correlated = nullptr;
    // Aggregation binding.
    bool aggMode = false;
    std::vector<BExprPtr>* groupKeys = nullptr;
    std::vector<AggSpec>* aggs = nullptr;
    const char* clause = "";
    int nextExprNumber = 1000;
  };

  BExprPtr bindCondition(const Expr& e, Block& b) {
    std::vector<uint32_t> reads;
    std::vector<uint32_t>* saved = collect;
    collect = &reads;
    BExprPtr r = bind(e, b);
    collect = saved;
    r->reads = std::move(reads);
    return r;
  }

  [[noreturn]] void unknownField(const std::string& text) {
    throw Error("Nome de campo desconhecido: '" + text + "'.");
  }

  // Finds a column in the block chain.
  BExprPtr resolveColumn(const Expr& e, Block& b) {
    int depth = 0;
    for (Block* s = &b; s; s = s->parent, ++depth) {
      CorePlan& core = *s->core;
      int foundInst = -1, foundCol = -1;
      for (size_t i = 0; i < core.instances.size(); ++i) {
        Instance& inst = core.instances[i];
        if (!e.qualifier.empty() && !sameName(e.qualifier, inst.alias)) continue;
        int col = -1;
        if (inst.def) {
          for (size_t c = 0; c < inst.def->columns.size(); ++c)
            if (sameName(inst.def->columns[c].name, e.name)) {
              col = static_cast<int>(c);
              break;
            }
        } else {
          for (size_t c = 0; c < inst.columnNames.size(); ++c)
            if (sameName(inst.columnNames[c], e.name)) {
              col = static_cast<int>(c);
              break;
            }
        }
        if (col < 0) continue;
        if (foundInst >= 0)
          throw Error("O campo especificado '" + e.name +
                      "' pode se referir a mais de uma tabela listada na cláusula FROM da sua instrução SQL.");
        foundInst = static_cast<int>(i);
        foundCol = col;
      }
      if (foundInst < 0) continue;
      Instance& inst = core.instances[foundInst];
      inst.wanted[foundCol] = 1;
      if (depth == 0 && collect) collect->push_back(static_cast<uint32_t>(foundInst) << 16 | static_cast<uint32_t>(foundCol));
      auto node = std::make_unique<BColumn>(depth, foundInst, foundCol);
      if (inst.def) {
        const ColumnDef& c = inst.def->columns[foundCol];
        node->type.type = c.type;
        node->type.size = c.type == ColumnType::Text ? c.textChars() : 0;
      } else {
        node->type = inst.columnTypes[foundCol];
      }
      node->outerDepth = depth;
      node->instanceMask = depth == 0 && foundInst < 64 ? (uint64_t{1} << foundInst) : 0;
      node->constant = false;
      node->fingerprint = "c" + std::to_string(depth) + "." + std::to_string(foundInst) + "." + std::to_string(foundCol);
      // Record the dependency of every block between here and the defining one.
      Block* s2 = &b;
      for (int k = 0; k < depth; ++k, s2 = s2->parent) {
        if (s2->correlated) *s2->correlated = true;
        if (s2->outerRefs) s2->outerRefs->push_back({depth - k, foundInst, foundCol});
      }
      return node;
    }
    unknownField(e.qualifier.empty() ? e.name : e.qualifier + "." + e.name);
  }

  static bool containsAggregate(const Expr& e) {
    if (e.kind == ExprKind::Call && isAggregateName(e.name)) return true;
    for (const auto& a : e.args)
      if (a && containsAggregate(*a)) return true;
    return false;
  }

  BExprPtr bindAggregate(const Expr& e, Block& b) {
    if (!b.aggMode) {
      throw Error(std::string("Não é possível ter função agregada na ") +
                  (std::string(b.clause) == "WHERE" ? "cláusula WHERE" : std::string("expressão")) + " (" + e.text +
                  ").");
    }
    AggSpec agg;
    std::string n = e.name;
    if (n == "COUNT") agg.kind = e.star ? AggKind::CountStar : AggKind::Count;
    else if (n == "SUM") agg.kind = AggKind::Sum;
    else if (n == "AVG") agg.kind = AggKind::Avg;
    else if (n == "MIN") agg.kind = AggKind::Min;
    else if (n == "MAX") agg.kind = AggKind::Max;
    else if (n == "FIRST") agg.kind = AggKind::First;
    else if (n == "LAST") agg.kind = AggKind::Last;
    else if (n == "STDEV" || n == "STDEVP") agg.kind = AggKind::StDev;
    else agg.kind = AggKind::Var;
    if (!e.star) {
      if (e.args.size() != 1)
        throw Error("Número incorreto de argumentos usados com a função na expressão de consulta '" + e.text + "'.");
      bool saved = b.aggMode;
      b.aggMode = false;
      const char* savedClause = b.clause;
      agg.arg = bind(*e.args[0], b);
      b.aggMode = saved;
      b.clause = savedClause;
      if (containsAggregate(*e.args[0]))
        throw Error("Não é possível ter função agregada na expressão (" + e.text + ").");
    } else if (agg.kind != AggKind::CountStar) {
      throw Error("Erro de sintaxe (operador faltando) na expressão de consulta '" + e.text + "'.");
    }
    switch (agg.kind) {
      case AggKind::Count: case AggKind::CountStar: agg.type = fixedType(ColumnType::Long); break;
      case AggKind::Sum: {
        ColumnType t = agg.arg->type.type;
        int r = numericRank(t);
        agg.type = fixedType(r >= 1 && r <= 3 ? ColumnType::Long : r == 4 ? ColumnType::Currency : ColumnType::Double);
        break;
      }
      case AggKind::Avg:
        agg.type = fixedType(agg.arg->type.type == ColumnType::Currency ? ColumnType::Currency : ColumnType::Double);
        break;
      case AggKind::StDev: case AggKind::Var: agg.type = fixedType(ColumnType::Double); break;
      default: agg.type = agg.arg->type;
    }
    std::string fp = "agg:" + n + (e.star ? "*" : agg.arg->fingerprint);
    ResultType type = agg.type;
    int slot = static_cast<int>(b.aggs->size());
    b.aggs->push_back(std::move(agg));
    auto node = std::make_unique<BGroupRef>(b.core, true, slot);
    node->type = type;
    node->fingerprint = fp;
    node->outerDepth = 0;
    node->constant = false;
    return node;
  }

  // Binds `e` in an aggregated block: group keys and aggregates become
  // references into the group row.
  BExprPtr bindInAggregate(const Expr& e, Block& b) {
    if (e.kind == ExprKind::Call && isAggregateName(e.name)) return bindAggregate(e, b);
    if (e.kind == ExprKind::Literal || e.kind == ExprKind::Param) {
      bool saved = b.aggMode;
      b.aggMode = false;
      auto r = bind(e, b);
      b.aggMode = saved;
      return r;
    }
    if (!containsAggregate(e)) {
      // Whole-expression match against a group key.
      bool saved = b.aggMode;
      b.aggMode = false;
      BExprPtr trial;
      try {
        trial = bind(e, b);
      } catch (const Error&) {
        b.aggMode = saved;
        throw;
      }
      b.aggMode = saved;
      for (size_t k = 0; k < b.groupKeys->size(); ++k) {
        if ((*b.groupKeys)[k]->fingerprint == trial->fingerprint) {
          auto node = std::make_unique<BGroupRef>(b.core, false, static_cast<int>(k));
          node->type = (*b.groupKeys)[k]->type;
          node->fingerprint = "g" + std::to_string(k);
          node->outerDepth = 0;
          node->constant = false;
          return node;
        }
      }
      if (trial->instanceMask == 0 && trial->outerDepth <= 0 && !trial->hasSubquery) return trial;
      if (e.kind == ExprKind::Column)
        throw Error("Você tentou executar uma consulta que não inclui a expressão especificada '" + e.text +
                    "' como parte de uma função agregada.");
    }
    return nullptr;  // bind the node with children in aggregate mode
  }

  BExprPtr bind(const Expr& e, Block& b) {
    if (b.aggMode) {
      if (auto r = bindInAggregate(e, b)) return r;
    }
    switch (e.kind) {
      case ExprKind::Literal: {
        auto n = std::make_unique<BConst>(e.value);
        return n;
      }
      case ExprKind::Param: {
        auto n = std::make_unique<BParam>(e.paramIndex);
        n->type.variant = true;
        n->constant = false;
        n->fingerprint = "p" + std::to_string(e.paramIndex);
        cx.parameterCount = std::max(cx.parameterCount, e.paramIndex + 1);
        return n;
      }
      case ExprKind::Column:
        return resolveColumn(e, b);
      case ExprKind::Unary: {
        auto a = bind(*e.args[0], b);
        if (e.op == "+") return a;
        const BExpr* ra = a.get();
        ResultType t = e.op == "-" ? a->type : fixedType(ColumnType::Boolean);
        BExprPtr n;
        if (e.op == "-") n = std::make_unique<BNegate>(std::move(a));
        else n = std::make_unique<BNot>(std::move(a));
        finish(*n, {ra}, e.op);
        n->type = t;
        return n;
      }
      case ExprKind::Binary:
        return bindBinary(e, b);
      case ExprKind::Call:
        return bindCall(e, b);
      case ExprKind::IsNull: {
        auto a = bind(*e.args[0], b);
        const BExpr* ra = a.get();
        auto n = std::make_unique<BIsNull>(std::move(a), e.negated);
        finish(*n, {ra}, e.negated ? "notnull" : "isnull");
        n->type = fixedType(ColumnType::Boolean);
        return n;
      }
      case ExprKind::Between: {
        auto a = bind(*e.args[0], b);
        auto lo = bind(*e.args[1], b);
        auto hi = bind(*e.args[2], b);
        const BExpr *ra = a.get(), *rl = lo.get(), *rh = hi.get();
        auto n = std::make_unique<BBetween>(std::move(a), std::move(lo), std::move(hi), e.negated);
        finish(*n, {ra, rl, rh}, "between");
        n->type = fixedType(ColumnType::Boolean);
        return n;
      }
      case ExprKind::InList: {
        auto a = bind(*e.args[0], b);
        std::vector<BExprPtr> list;
        for (size_t i = 1; i < e.args.size(); ++i) list.push_back(bind(*e.args[i], b));
        std::vector<const BExpr*> raws{a.get()};
        for (auto& l : list) raws.push_back(l.get());
        auto n = std::make_unique<BInList>(std::move(a), std::move(list), e.negated);
        n->type = fixedType(ColumnType::Boolean);
        n->outerDepth = -1;
        n->constant = true;
        n->fingerprint = "inlist(";
        for (auto* r : raws) {
          n->outerDepth = std::max(n->outerDepth, r->outerDepth);
          n->instanceMask |= r->instanceMask;
          n->hasSubquery |= r->hasSubquery;
          n->readsRowThroughSubquery |= r->readsRowThroughSubquery;
          n->constant = n->constant && r->constant;
          n->fingerprint += r->fingerprint + ",";
        }
        n->fingerprint += ")";
        return n;
      }
      case ExprKind::InSubquery:
      case ExprKind::Exists:
      case ExprKind::Subquery:
        return bindSubquery(e, b);
    }
    throw Error("Expressão inválida.");
  }

  BExprPtr bindBinary(const Expr& e, Block& b) {
    auto a = bind(*e.args[0], b);
    auto c = bind(*e.args[1], b);
    const BExpr *ra = a.get(), *rc = c.get();
    ResultType ta = a->type, tc = c->type;
    const std::string& op = e.op;
    BExprPtr n;
    if (op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=") {
      // Text against a number or a date is refused before any row is read.
      auto textual = [](const ResultType& t) { return !t.variant && isTextType(t.type); };
      auto numeric = [](const ResultType& t) { return !t.variant && numericRank(t.type) > 0; };
      if ((textual(ta) && numeric(tc)) || (numeric(ta) && textual(tc))) throwTypeMismatch();
      n = std::make_unique<BCompare>(op, std::move(a), std::move(c));
      n->type = fixedType(ColumnType::Boolean);
    } else if (op == "AND" || op == "OR" || op == "XOR" || op == "EQV" || op == "IMP") {
      n = std::make_unique<BLogic>(op, std::move(a), std::move(c));
      n->type = fixedType(ColumnType::Boolean);
    } else if (op == "&") {
      n = std::make_unique<BConcat>(std::move(a), std::move(c));
      n->type = fixedType(ColumnType::Memo);
      n->type.type = ColumnType::Text;
    } else if (op == "LIKE") {
      n = std::make_unique<BLike>(std::move(a), std::move(c), e.negated);
      n->type = fixedType(ColumnType::Boolean);
    } else {
      ArithOp ao = op == "+" ? ArithOp::Add : op == "-" ? ArithOp::Sub : op == "*" ? ArithOp::Mul
                   : op == "/" ? ArithOp::Div : op == "\\" ? ArithOp::IntDiv : op == "MOD" ? ArithOp::Mod
                   : ArithOp::Pow;
      n = std::make_unique<BArith>(ao, std::move(a), std::move(c));
      n->type = arithmeticType(op, ta, tc);
    }
    ResultType t = n->type;
    finish(*n, {ra, rc}, op + (e.negated ? "!" : ""));
    n->type = t;
    return n;
  }

  // Dependency summary of a node from its children (before they move).
  static void summarize(BExpr& n, const std::vector<BExprPtr>& args, const std::string& fp) {
    ResultType t = n.type;
    finishVec(n, args, fp);
    n.type = t;
  }

  BExprPtr bindCall(const Expr& e, Block& b) {
    const std::string& name = e.name;
    if (isAggregateName(name)) return bindAggregate(e, b);
    auto argCount = [&](size_t lo, size_t hi) {
      if (e.star || e.args.size() < lo || e.args.size() > hi)
        throw Error("Número incorreto de argumentos usados com a função na expressão de consulta '" + e.text + "'.");
    };
    std::vector<BExprPtr> args;
    auto bindArgs = [&]() {
      for (const auto& a : e.args) args.push_back(bind(*a, b));
    };
    if (name == "IIF") {
      argCount(3, 3);
      bindArgs();
      ResultType t = unionType({&args[1]->type, &args[2]->type});
      // A Null branch takes the type of the other.
      auto isNullConst = [](const BExprPtr& x) {
        auto* c = dynamic_cast<const BConst*>(x.get());
        return c && c->get().isNull();
      };
      if (isNullConst(args[1])) t = args[2]->type;
      else if (isNullConst(args[2])) t = args[1]->type;
      BExprPtr probe = std::make_unique<BConst>(Value());
      summarize(*probe, args, "iif");
      auto n = std::make_unique<BIif>(std::move(args[0]), std::move(args[1]), std::move(args[2]));
      copySummary(*n, *probe);
      n->type = t;
      return n;
    }
    if (name == "SWITCH") {
      if (e.args.size() < 2 || e.args.size() % 2 != 0)
        throw Error("Número incorreto de argumentos usados com a função na expressão de consulta '" + e.text + "'.");
      bindArgs();
      std::vector<const ResultType*> ts;
      for (size_t i = 1; i < args.size(); i += 2) ts.push_back(&args[i]->type);
      ResultType t = unionType(ts);
      BExprPtr probe = std::make_unique<BConst>(Value());
      summarize(*probe, args, "switch");
      auto n = std::make_unique<BSwitch>(std::move(args));
      copySummary(*n, *probe);
      n->type = t;
      return n;
    }
    if (name == "NZ") {
      argCount(1, 2);
      bindArgs();
      ResultType t = args[0]->type;
      BExprPtr probe = std::make_unique<BConst>(Value());
      summarize(*probe, args, "nz");
      auto n = std::make_unique<BNz>(std::move(args[0]), args.size() > 1 ? std::move(args[1]) : nullptr);
      copySummary(*n, *probe);
      n->type = t;
      return n;
    }
    const FunctionDef* fn = findFunction(name);
    if (!fn) throw Error("Função '" + name + "' indefinida na expressão.");
    argCount(static_cast<size_t>(fn->minArgs), static_cast<size_t>(fn->maxArgs));
    bindArgs();
    ResultType t = fixedType(fn->type);
    if (fn->sameAsFirst && !args.empty()) t = args[0]->type;
    if (fn->variant) t.variant = true;
    bool volatileFn = name == "NOW" || name == "DATE" || name == "TIME";
    BExprPtr probe = std::make_unique<BConst>(Value());
    summarize(*probe, args, "f:" + name);
    auto n = std::make_unique<BCall>(fn, std::move(args));
    copySummary(*n, *probe);
    n->type = t;
    if (volatileFn) n->constant = false;
    return n;
  }

  static void copySummary(BExpr& to, const BExpr& from) {
    to.outerDepth = from.outerDepth;
    to.instanceMask = from.instanceMask;
    to.hasSubquery = from.hasSubquery;
    to.readsRowThroughSubquery = from.readsRowThroughSubquery;
    to.constant = from.constant;
    to.fingerprint = from.fingerprint;
  }

  BExprPtr bindSubquery(const Expr& e, Block& b) {
    auto n = std::make_unique<BSubquery>();
    n->mode = e.kind == ExprKind::InSubquery ? BSubquery::Mode::In
              : e.kind == ExprKind::Exists ? BSubquery::Mode::Exists : BSubquery::Mode::Scalar;
    n->negated = e.negated;
    const BExpr* rl = nullptr;
    if (n->mode == BSubquery::Mode::In) {
      n->lhs = bind(*e.args[0], b);
      rl = n->lhs.get();
    }
    // The subquery's own columns are not columns of this condition's row.
    std::vector<uint32_t>* outerCollect = collect;
    collect = nullptr;
    n->plan = bindSelectBlock(*e.subquery, &b, n.get());
    collect = outerCollect;
    if (n->mode != BSubquery::Mode::Exists && n->plan->columns.size() != 1)
      throw Error("Você escreveu uma subconsulta que pode retornar mais de um campo sem usar a palavra reservada "
                  "EXISTS na cláusula FROM da consulta principal. Revise a instrução SELECT da subconsulta para "
                  "solicitar apenas um campo.");
    n->type = n->mode == BSubquery::Mode::Scalar ? n->plan->columns[0].type : fixedType(ColumnType::Boolean);
    ResultType t = n->type;
    finish(*n, {rl}, "sub");
    n->type = t;
    n->hasSubquery = true;
    n->constant = false;
    n->fingerprint += std::to_string(reinterpret_cast<uintptr_t>(n.get()));
    // Outer references of the subquery make it depend on those scopes.
    uint64_t readThrough = 0;  // this block's instances the subquery itself reads
    for (const auto& r : n->outerRefs) {
      int d = r.depth - 1;  // relative to this block
      n->outerDepth = std::max(n->outerDepth, d);
      if (d == 0 && r.instance < 64) readThrough |= uint64_t{1} << r.instance;
    }
    n->instanceMask |= readThrough;
    if (readThrough) n->readsRowThroughSubquery = true;
    // In the outputs of an aggregated block there is no current row of the
    // block's tables for a correlated subquery to read.
    if (b.aggMode && readThrough)
      throw Error("Você tentou executar uma consulta que não inclui a expressão especificada '" + e.text +
                  "' como parte de uma função agregada.");
    return n;
  }

  // --- blocks ---------------------------------------------------------------------------

  std::unique_ptr<FromNode> bindFrom(const TableRef& ref, CorePlan& core, Block& b) {
    auto node = std::make_unique<FromNode>();
    if (ref.kind == TableRef::Kind::Join) {
      node->kind = FromNode::Kind::Join;
      node->joinType = ref.joinType;
      node->left = bindFrom(*ref.left, core, b);
      node->right = bindFrom(*ref.right, core, b);
      node->mask = node->left->mask | node->right->mask;
      return node;
    }
    Instance inst;
    if (ref.kind == TableRef::Kind::Table) {
      inst.def = &cx.db->tableDef(ref.name);
      inst.name = inst.def->name;
      inst.alias = ref.alias.empty() ? ref.name : ref.alias;
      inst.wanted.assign(inst.def->columns.size(), 0);
    } else {
      inst.derived = bindSelectBlock(*ref.derived, b.parent, nullptr);
      inst.alias = ref.alias;
      for (const auto& c : inst.derived->columns) {
        inst.columnNames.push_back(c.name);
        inst.columnTypes.push_back(c.type);
      }
      inst.wanted.assign(inst.columnNames.size(), 0);
    }
    for (const auto& other : core.instances)
      if (sameName(other.alias, inst.alias))
        throw Error("A tabela '" + inst.alias + "' aparece mais de uma vez na cláusula FROM; use um alias.");
    if (core.instances.size() >= 64) throw Error("Consulta muito complexa.");
    node->instance = static_cast<int>(core.instances.size());
    node->mask = uint64_t{1} << node->instance;
    core.instances.push_back(std::move(inst));
    return node;
  }

  void bindOn(FromNode& node, const TableRef& ref, Block& b) {
    if (node.kind != FromNode::Kind::Join) return;
    bindOn(*node.left, *ref.left, b);
    bindOn(*node.right, *ref.right, b);
    if (ref.on) {
      std::vector<const Expr*> parts;
      splitConjuncts(*ref.on, parts);
      b.clause = "JOIN";
      for (const Expr* p : parts) node.on.push_back(bindCondition(*p, b));
    }
  }

  std::string outputName(const Expr& e, Block& b) {
    if (e.kind == ExprKind::Column) return e.name;
    return "Expr" + std::to_string(b.nextExprNumber++);
  }

  // Binds one SELECT block. `hidden` receives ORDER BY expressions to be
  // computed as hidden outputs (single-block statements).
  std::unique_ptr<CorePlan> bindCore(const SelectCore& sc, Block* parent, SelectPlan* owner, BSubquery* sub,
                                     const std::vector<OrderItem>* order,
                                     std::vector<SelectPlan::SortKey>* sortKeys) {
    auto core = std::make_unique<CorePlan>();
    Block b;
    b.core = core.get();
    b.parent = parent;
    b.owner = owner;
    if (sub) {
      b.outerRefs = &sub->outerRefs;
      b.correlated = &sub->correlated;
    }
    // FROM
    std::unique_ptr<FromNode> from;
    for (const auto& ref : sc.from) {
      auto n = bindFrom(*ref, *core, b);
      bindOn(*n, *ref, b);
      if (!from) {
        from = std::move(n);
      } else {
        auto j = std::make_unique<FromNode>();
        j->kind = FromNode::Kind::Join;
        j->joinType = JoinType::Cross;
        j->mask = from->mask | n->mask;
        j->left = std::move(from);
        j->right = std::move(n);
        from = std::move(j);
      }
    }
    // WHERE
    std::vector<BExprPtr> where;
    if (sc.where) {
      std::vector<const Expr*> parts;
      splitConjuncts(*sc.where, parts);
      b.clause = "WHERE";
      for (const Expr* p : parts) {
        if (containsAggregate(*p)) throw Error("Não é possível ter função agregada na cláusula WHERE (" + p->text + ").");
        where.push_back(bindCondition(*p, b));
      }
    }
    // Aggregation?
    bool aggregated = !sc.groupBy.empty() || (sc.having != nullptr);
    for (const auto& it : sc.items)
      if (it.expr && containsAggregate(*it.expr)) aggregated = true;
    if (order && !aggregated)
      for (const auto& o : *order)
        if (containsAggregate(*o.expr)) aggregated = true;
    core->aggregated = aggregated;
    b.clause = "GROUP BY";
    for (const auto& g : sc.groupBy) {
      if (containsAggregate(*g)) throw Error("Não é possível ter função agregada na cláusula GROUP BY (" + g->text + ").");
      core->groupKeys.push_back(bind(*g, b));
    }
    if (aggregated) {
      b.aggMode = true;
      b.groupKeys = &core->groupKeys;
      b.aggs = &core->aggs;
    }
    // Select list.
    b.clause = "SELECT";
    std::vector<std::string> names;
    for (const auto& it : sc.items) {
      if (it.star) {
        if (aggregated && sc.groupBy.empty())
          throw Error("Não é possível agrupar campos selecionados com '*'.");
        bool any = false;
        for (size_t i = 0; i < core->instances.size(); ++i) {
          Instance& inst = core->instances[i];
          if (!it.starQualifier.empty() && !sameName(it.starQualifier, inst.alias)) continue;
          any = true;
          size_t w = inst.width();
          for (size_t c = 0; c < w; ++c) {
            Expr col;
            col.kind = ExprKind::Column;
            col.qualifier = inst.alias;
            col.name = inst.def ? inst.def->columns[c].name : inst.columnNames[c];
            col.text = col.qualifier + "." + col.name;
            core->outputs.push_back(bind(col, b));
            ResultColumn rc;
            bool dup = false;
            for (size_t k = 0; k < core->instances.size(); ++k) {
              if (k == i || (!it.starQualifier.empty())) continue;
              const Instance& o = core->instances[k];
              if (o.def ? o.def->findColumn(col.name) != nullptr
                        : std::any_of(o.columnNames.begin(), o.columnNames.end(),
                                      [&](const std::string& s) { return sameName(s, col.name); }))
                dup = true;
            }
            rc.name = dup ? inst.alias + "." + col.name : col.name;
            rc.type = core->outputs.back()->type;
            if (inst.def) {
              rc.table = inst.def->name;
              rc.sourceColumn = col.name;
              rc.autoNumber = inst.def->columns[c].autoNumber();
            }
            core->columns.push_back(rc);
          }
        }
        if (!any) unknownField(it.starQualifier + ".*");
        continue;
      }
      core->outputs.push_back(bind(*it.expr, b));
      ResultColumn rc;
      rc.name = it.alias.empty() ? outputName(*it.expr, b) : it.alias;
      rc.type = core->outputs.back()->type;
      if (it.expr->kind == ExprKind::Column) {
        if (auto* col = dynamic_cast<const BColumn*>(core->outputs.back().get()); col && col->depth == 0 &&
                                                                                  !aggregated) {
          const Instance& inst = core->instances[col->instance];
          if (inst.def) {
            rc.table = inst.def->name;
            rc.sourceColumn = inst.def->columns[col->column].name;
            rc.autoNumber = inst.def->columns[col->column].autoNumber();
          }
        } else if (aggregated && it.expr->kind == ExprKind::Column) {
          rc.sourceColumn = it.expr->name;
        }
      }
      core->columns.push_back(rc);
    }
    if (sc.having) {
      b.clause = "HAVING";
      core->having = bind(*sc.having, b);
    }
    // ORDER BY of a single block: output aliases or expressions of the block.
    if (order && sortKeys) {
      b.clause = "ORDER BY";
      for (const auto& o : *order) {
        int outIndex = -1;
        if (o.expr->kind == ExprKind::Column && o.expr->qualifier.empty()) {
          for (size_t i = 0; i < core->columns.size(); ++i)
            if (sameName(core->columns[i].name, o.expr->name)) {
              outIndex = static_cast<int>(i);
              break;
            }
        }
        BExprPtr key;
        try {
          key = bind(*o.expr, b);
        } catch (const Error&) {
          if (outIndex < 0) throw;
        }
        if (key) {
          // A plain output column: sort by it directly.
          int same = -1;
          for (size_t i = 0; i < core->outputs.size(); ++i)
            if (core->outputs[i]->fingerprint == key->fingerprint) {
              same = static_cast<int>(i);
              break;
            }
          if (same >= 0) {
            sortKeys->push_back({static_cast<size_t>(same), o.descending});
          } else {
            core->outputs.push_back(std::move(key));
            ++core->hiddenColumns;
            sortKeys->push_back({core->outputs.size() - 1, o.descending});
          }
        } else {
          sortKeys->push_back({static_cast<size_t>(outIndex), o.descending});
        }
      }
    }
    core->distinct = sc.distinct;
    // Decorrelation of a subquery block.
    if (sub && sub->correlated) tryDecorrelate(*core, where, sc, *sub);
    planCore(cx, *core, std::move(from), std::move(where));
    return core;
  }

  void tryDecorrelate(CorePlan& core, std::vector<BExprPtr>& where, const SelectCore& sc, BSubquery& sub) {
    if (!sc.groupBy.empty() || sc.top || core.distinct || core.hiddenColumns) return;
    // Every outer reference must come from a correlated equality of WHERE.
    std::vector<size_t> eqs;
    for (size_t i = 0; i < where.size(); ++i) {
      BExpr* w = where[i].get();
      if (w->outerDepth < 1) continue;
      auto* cmp = dynamic_cast<BCompare*>(w);
      if (!cmp || cmp->op != "=") return;
      auto innerSide = [](const BExpr& x) { return x.outerDepth <= 0 && x.instanceMask != 0 && !x.hasSubquery; };
      auto outerSide = [](const BExpr& x) { return x.instanceMask == 0 && x.outerDepth == 1 && !x.hasSubquery; };
      if (!((innerSide(*cmp->a) && outerSide(*cmp->b)) || (innerSide(*cmp->b) && outerSide(*cmp->a)))) return;
      eqs.push_back(i);
    }
    if (eqs.empty()) return;
    for (const auto& o : core.outputs)
      if (o->outerDepth >= 1) return;
    if (core.having && core.having->outerDepth >= 1) return;
    for (const auto& g : core.aggs)
      if (g.arg && g.arg->outerDepth >= 1) return;
    // Take the equalities out of WHERE.
    std::vector<BExprPtr> inner;
    for (auto it = eqs.rbegin(); it != eqs.rend(); ++it) {
      BExprPtr w = std::move(where[*it]);
      where.erase(where.begin() + static_cast<long>(*it));
      auto* cmp = static_cast<BCompare*>(w.get());
      bool aInner = cmp->a->outerDepth <= 0;
      inner.insert(inner.begin(), std::move(aInner ? cmp->a : cmp->b));
      sub.corrOuter.insert(sub.corrOuter.begin(), std::move(aInner ? cmp->b : cmp->a));
    }
    sub.corrKeys = inner.size();
    sub.core = &core;
    if (core.aggregated) {
      size_t base = core.groupKeys.size();
      for (size_t k = 0; k < inner.size(); ++k) {
        auto ref = std::make_unique<BGroupRef>(&core, false, static_cast<int>(base + k));
        ref->type = inner[k]->type;
        core.outputs.insert(core.outputs.begin() + static_cast<long>(k), std::move(ref));
      }
      for (auto& k : inner) core.groupKeys.push_back(std::move(k));
      core.sortGroups = false;
    } else {
      for (size_t k = 0; k < inner.size(); ++k)
        core.outputs.insert(core.outputs.begin() + static_cast<long>(k), std::move(inner[k]));
    }
  }

  std::unique_ptr<SelectPlan> bindSelectBlock(const SelectStmt& st, Block* parent, BSubquery* sub) {
    auto plan = std::make_unique<SelectPlan>();
    bool single = st.cores.size() == 1;
    for (size_t i = 0; i < st.cores.size(); ++i) {
      const SelectCore& sc = st.cores[i];
      std::unique_ptr<CorePlan> core =
          bindCore(sc, parent, plan.get(), sub, single ? &st.orderBy : nullptr, single ? &plan->order : nullptr);
      if (i == 0) {
        plan->columns = core->columns;
        plan->top = sc.top;
        plan->topPercent = sc.topPercent;
      } else if (core->columns.size() != plan->columns.size()) {
        throw Error("O número de colunas nas duas tabelas ou consultas selecionadas de uma consulta união não "
                    "coincide.");
      } else {
        for (size_t c = 0; c < plan->columns.size(); ++c)
          if (plan->columns[c].type.type != core->columns[c].type.type) plan->columns[c].type.variant = true;
      }
      plan->parts.push_back(std::move(core));
    }
    plan->unionAll = st.unionAll;
    if (!single) {
      if (sub && sub->correlated) {
        // Correlated unions are memoised, never decorrelated.
      }
      for (const auto& o : st.orderBy) {
        if (o.expr->kind != ExprKind::Column)
          throw Error("A cláusula ORDER BY de uma consulta união deve citar campos do resultado: '" + o.expr->text +
                      "'.");
        int idx = -1;
        for (size_t c = 0; c < plan->columns.size(); ++c)
          if (sameName(plan->columns[c].name, o.expr->name)) {
            idx = static_cast<int>(c);
            break;
          }
        if (idx < 0) unknownField(o.expr->text);
        plan->order.push_back({static_cast<size_t>(idx), o.descending});
      }
    }
    if (sub && sub->corrKeys) {
      // The leading key columns are not part of the visible result.
      plan->columns.insert(plan->columns.begin(), sub->corrKeys, ResultColumn{});
      plan->columns.erase(plan->columns.begin(), plan->columns.begin() + static_cast<long>(sub->corrKeys));
    }
    return plan;
  }
};

}  // namespace

std::unique_ptr<SelectPlan> bindSelect(BindContext& cx, const SelectStmt& stmt, BindScope*) {
  Binder b{cx};
  return b.bindSelectBlock(stmt, nullptr, nullptr);
}

void splitConjuncts(const Expr& e, std::vector<const Expr*>& out) {
  if (e.kind == ExprKind::Binary && e.op == "AND") {
    splitConjuncts(*e.args[0], out);
    splitConjuncts(*e.args[1], out);
    return;
  }
  out.push_back(&e);
}

BExprPtr bindStandalone(BindContext& cx, const Expr& e, CorePlan& core, const char* clause) {
  Binder b{cx};
  Binder::Block blk;
  blk.core = &core;
  blk.clause = clause;
  return b.bindCondition(e, blk);
}

}  // namespace jet::sql
