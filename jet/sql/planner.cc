// The planner: turns the FROM tree and the WHERE conjuncts of a block into
// an operator tree that avoids work proportional to the product of tables.
//
//   - Conditions are pushed down to the scan of the table they read (and
//     evaluated there before the rest of the row is decoded). Through an
//     outer join a WHERE condition goes only to the preserved side; an ON
//     condition only to the side that may be null-extended.
//   - An equality between the two sides of a join makes a hash join; the
//     smaller side (by the row counts of the table headers) is hashed for an
//     inner join, the null-extended side for an outer join. Other joins run
//     as nested loops over a materialised inner side.
//   - "column = value", where the value does not depend on the row, reads
//     the matching rows through a hash index of the column that the engine
//     builds once and keeps (for columns that lead a real index, values
//     from parameters or outer rows, and columns looked up repeatedly).
#include <algorithm>

#include "jet/sql/bound_expr.h"
#include "jet/storage/error.h"

namespace jet::sql {

namespace {

struct Planner {
  BindContext& cx;
  CorePlan& core;

  double estimate(uint64_t mask) const {
    double n = 1;
    for (size_t i = 0; i < core.instances.size(); ++i) {
      if (!(mask & (uint64_t{1} << i))) continue;
      const Instance& inst = core.instances[i];
      n *= inst.def ? std::max<double>(1, inst.def->rowCount) : 1000.0;
    }
    return n;
  }

  static bool fits(const BExpr& c, uint64_t mask) { return (c.instanceMask & ~mask) == 0; }

  // Moves the conjuncts that `pred` accepts from `from` to `to`.
  template <class P>
  static void take(std::vector<BExprPtr>& from, std::vector<BExprPtr>& to, P pred) {
    for (auto it = from.begin(); it != from.end();) {
      if (pred(**it)) {
        to.push_back(std::move(*it));
        it = from.erase(it);
      } else {
        ++it;
      }
    }
  }

  OperatorPtr instanceOp(int index, std::vector<BExprPtr> filters) {
    Instance& inst = core.instances[static_cast<size_t>(index)];
    if (!inst.def) return makeDerivedScan(index, inst, std::move(filters));
    const TableDef& def = *inst.def;
    // An equality usable for an index lookup.
    int best = -1, bestScore = -1, bestSide = 0;
    for (size_t i = 0; i < filters.size(); ++i) {
      auto* cmp = dynamic_cast<BCompare*>(filters[i].get());
      if (!cmp || cmp->op != "=") continue;
      for (int side = 0; side < 2; ++side) {
        auto* col = dynamic_cast<BColumn*>((side ? cmp->b : cmp->a).get());
        const BExpr& other = *(side ? cmp->a : cmp->b);
        if (!col || col->depth != 0 || col->instance != index) continue;
        if (other.instanceMask != 0 || other.hasSubquery) continue;
        ColumnType t = def.columns[static_cast<size_t>(col->column)].type;
        if (t == ColumnType::Boolean || isLongValueType(t)) continue;
        bool paramValue = other.outerDepth >= 1 || other.fingerprint.rfind("p", 0) == 0;
        if (!cx.engine->wantsLookupIndex(def, col->column, paramValue)) continue;
        const Engine::LookupIndex* cached = cx.engine->lookupIndex(def, col->column, false);
        const bool fewKeys = cached && cached->rows.size() * 100 < std::max<size_t>(def.rowCount, 100);
        // A literal compared with a column of few distinct values (a flag,
        // a kind) selects a large part of the table: a scan reads it faster.
        if (fewKeys && !paramValue) continue;
        // Prefer a unique key, then a value that changes from call to call
        // (a parameter or an outer row: a literal is more often a flag),
        // then a column that leads an index; a cached index with few
        // distinct keys is a poor filter.
        int score = paramValue ? 4 : 0;
        for (const auto& x : def.indexes) {
          const RealIndexDef& r = def.realIndexes[x.realIndex];
          if (r.columns.empty() || def.positionOfNumber(r.columns[0].columnNumber) != col->column) continue;
          if ((x.primaryKey() || r.unique()) && r.columns.size() == 1) score = std::max(score, 8 + score);
          else score = std::max(score, score | 2);
        }
        if (fewKeys) score -= 3;
        if (score > bestScore) {
          bestScore = score;
          best = static_cast<int>(i);
          bestSide = side;
        }
      }
    }
    if (best >= 0) {
      BExprPtr f = std::move(filters[static_cast<size_t>(best)]);
      filters.erase(filters.begin() + best);
      auto* cmp = static_cast<BCompare*>(f.get());
      auto* col = static_cast<BColumn*>((bestSide ? cmp->b : cmp->a).get());
      int column = col->column;
      BExprPtr value = std::move(bestSide ? cmp->a : cmp->b);
      return makeLookup(*cx.engine, index, def, column, std::move(value), std::move(filters), inst.wanted);
    }
    return makeScan(*cx.engine, index, def, std::move(filters), inst.wanted);
  }

  std::vector<size_t> widths(uint64_t mask) const {
    std::vector<size_t> w;
    for (size_t i = 0; i < core.instances.size(); ++i)
      if (mask & (uint64_t{1} << i)) w.push_back(core.instances[i].width());
    return w;
  }

  OperatorPtr build(FromNode& node, std::vector<BExprPtr>& pending) {
    if (node.kind == FromNode::Kind::Instance) {
      std::vector<BExprPtr> mine;
      take(pending, mine, [&](const BExpr& c) { return fits(c, node.mask); });
      auto op = instanceOp(node.instance, std::move(mine));
      op->mask = node.mask;
      return op;
    }
    FromNode& L = *node.left;
    FromNode& R = *node.right;
    std::vector<BExprPtr> leftPending, rightPending, conds;
    JoinType jt = node.joinType;
    bool outer = jt == JoinType::Left || jt == JoinType::Right;
    if (!outer) {
      take(node.on, conds, [](const BExpr&) { return true; });
      take(pending, conds, [&](const BExpr& c) { return fits(c, node.mask); });
      take(conds, leftPending, [&](const BExpr& c) { return fits(c, L.mask); });
      take(conds, rightPending, [&](const BExpr& c) { return fits(c, R.mask); });
    } else {
      FromNode& keep = jt == JoinType::Left ? L : R;
      FromNode& nulls = jt == JoinType::Left ? R : L;
      std::vector<BExprPtr>& keepPending = jt == JoinType::Left ? leftPending : rightPending;
      std::vector<BExprPtr>& nullPending = jt == JoinType::Left ? rightPending : leftPending;
      take(node.on, conds, [](const BExpr&) { return true; });
      take(conds, nullPending, [&](const BExpr& c) { return c.instanceMask != 0 && fits(c, nulls.mask); });
      take(pending, keepPending, [&](const BExpr& c) { return fits(c, keep.mask); });
    }
    OperatorPtr left = build(L, leftPending);
    OperatorPtr right = build(R, rightPending);
    for (auto& c : leftPending) conds.push_back(std::move(c));
    for (auto& c : rightPending) conds.push_back(std::move(c));
    // Equalities between the sides.
    std::vector<BExprPtr> lk, rk, rest;
    for (auto& c : conds) {
      auto* cmp = dynamic_cast<BCompare*>(c.get());
      if (cmp && cmp->op == "=" && !cmp->a->hasSubquery && !cmp->b->hasSubquery && cmp->a->instanceMask &&
          cmp->b->instanceMask) {
        if (fits(*cmp->a, L.mask) && fits(*cmp->b, R.mask)) {
          lk.push_back(std::move(cmp->a));
          rk.push_back(std::move(cmp->b));
          continue;
        }
        if (fits(*cmp->a, R.mask) && fits(*cmp->b, L.mask)) {
          lk.push_back(std::move(cmp->b));
          rk.push_back(std::move(cmp->a));
          continue;
        }
      }
      rest.push_back(std::move(c));
    }
    OperatorPtr op;
    if (!lk.empty()) {
      bool buildRight;
      if (jt == JoinType::Left) buildRight = true;
      else if (jt == JoinType::Right) buildRight = false;
      else buildRight = estimate(R.mask) <= estimate(L.mask);
      if (buildRight)
        op = makeHashJoin(std::move(left), std::move(right), std::move(lk), std::move(rk), std::move(rest),
                          jt == JoinType::Left, R.mask, widths(R.mask));
      else
        op = makeHashJoin(std::move(right), std::move(left), std::move(rk), std::move(lk), std::move(rest),
                          jt == JoinType::Right, L.mask, widths(L.mask));
    } else if (jt == JoinType::Right) {
      op = makeNestedLoop(std::move(right), std::move(left), std::move(rest), true, L.mask, widths(L.mask));
    } else {
      op = makeNestedLoop(std::move(left), std::move(right), std::move(rest), jt == JoinType::Left, R.mask,
                          widths(R.mask));
    }
    op->mask = node.mask;
    // WHERE conditions on the null-extended side of an outer join apply
    // after the join.
    std::vector<BExprPtr> after;
    take(pending, after, [&](const BExpr& c) { return c.instanceMask != 0 && fits(c, node.mask); });
    if (!after.empty()) {
      op = makeFilter(std::move(op), std::move(after));
      op->mask = node.mask;
    }
    return op;
  }
};

}  // namespace

void planCore(BindContext& cx, CorePlan& core, std::unique_ptr<FromNode> from, std::vector<BExprPtr> where) {
  core.frame.rows.resize(core.instances.size());
  core.frame.locators.assign(core.instances.size(), kNoRow);
  for (size_t i = 0; i < core.instances.size(); ++i) core.frame.rows[i].resize(core.instances[i].width());
  if (!from) {
    core.residual = std::move(where);
    return;
  }
  Planner p{cx, core};
  core.root = p.build(*from, where);
  for (auto& w : where) core.residual.push_back(std::move(w));
}

}  // namespace jet::sql
