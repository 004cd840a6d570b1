// Bound expression nodes: the executable form of expressions, made by the
// binder and evaluated by the executor against a Frame.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "jet/sql/functions.h"
#include "jet/sql/plan.h"
#include "jet/sql/value_ops.h"

namespace jet::sql {

class BConst : public BExpr {
 public:
  explicit BConst(Value v);
  const Value& eval(Frame&, Value&) const override { return v_; }
  const Value& get() const { return v_; }
 private:
  Value v_;
};

class BParam : public BExpr {
 public:
  explicit BParam(int index) : index_(index) {}
  const Value& eval(Frame& f, Value& tmp) const override;
 private:
  int index_;
};

class BColumn : public BExpr {
 public:
  BColumn(int d, int i, int c) : depth(d), instance(i), column(c) {}
  const Value& eval(Frame& f, Value&) const override {
    Frame* fr = &f;
    for (int d = 0; d < depth; ++d) fr = fr->outer;
    return fr->rows[instance][column];
  }
  int depth, instance, column;
};

class BCompare : public BExpr {
 public:
  BCompare(std::string o, BExprPtr x, BExprPtr y) : op(std::move(o)), a(std::move(x)), b(std::move(y)) {}
  const Value& eval(Frame& f, Value& tmp) const override;
  std::string op;
  BExprPtr a, b;
};

// Subquery in an expression: IN (SELECT ...), EXISTS (SELECT ...), (SELECT ...).
class BSubquery : public BExpr {
 public:
  enum class Mode { In, Exists, Scalar };
  const Value& eval(Frame& f, Value& tmp) const override;

  Mode mode = Mode::Scalar;
  bool negated = false;
  BExprPtr lhs;                       // In
  std::unique_ptr<SelectPlan> plan;
  // Decorrelation: the block's leading `corrKeys` output columns are the
  // inner sides of its correlated equalities; corrOuter the outer sides.
  CorePlan* core = nullptr;
  size_t corrKeys = 0;
  std::vector<BExprPtr> corrOuter;
  // Memoisation of other correlated subqueries: the outer values read.
  struct OuterRef { int depth, instance, column; };
  std::vector<OuterRef> outerRefs;
  bool correlated = false;

 private:
  struct Entry {
    KeySet keys;  // In: the values
    bool hasNull = false;
    size_t rows = 0;
    Value first;
  };
  void fill(Entry& e, Frame* outer, ExecState& exec, size_t skip) const;
  Value answer(const Entry& e, Frame& f) const;
  void buildDecorrelated(Frame& f) const;
  mutable bool built_ = false;
  mutable Entry whole_;
  mutable std::unordered_map<std::string, Entry> byKey_;
  mutable Entry empty_;
  mutable std::unordered_map<std::string, Entry> memo_;
};

}  // namespace jet::sql
