// Index maintenance: many inserts and removals on real indexes of a copy of
// a fixture, checked against a model of the entries and against the shape
// the B-tree must keep (node entries, tails, level links, usage maps), both
// in the open file and after reopening it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>

#include "jet/storage/database.h"
#include "jet/storage/error.h"
#include "jet/storage/index_btree.h"
#include "jet/storage/index_key.h"
#include "jet/storage/usage_map.h"

namespace fs = std::filesystem;

namespace jet {
namespace {

std::string dataPath(const std::string& name) { return std::string(JET_TEST_DATA) + "/" + name; }

// A writable copy of a fixture, removed at the end of the test.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& fixture) {
    path_ = (fs::temp_directory_path() /
             ("jet_index_write_" + std::to_string(::getpid()) + "_" + fixture))
                .string();
    fs::copy_file(dataPath(fixture), path_, fs::copy_options::overwrite_existing);
  }
  ~ScratchFile() {
    std::error_code ec;
    fs::remove(path_, ec);
    fs::remove(path_ + "-journal", ec);
  }
  std::unique_ptr<Database> open() const {
    OpenOptions o;
    o.writable = true;
    return Database::open(path_, o);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct Entry {
  std::vector<uint8_t> key;
  RowId row;
  bool operator<(const Entry& o) const { return compareEntries(key, row, o.key, o.row) < 0; }
};

// Walks a tree as the writer must leave it and records what it finds.
struct Shape {
  Pager& pager;
  uint32_t tdefPage;
  std::set<uint32_t> pages;
  std::vector<std::vector<IndexPage>> levels;
  std::vector<Entry> entries;
  size_t leafDepth = SIZE_MAX;

  // Returns the greatest entry below `n`.
  Entry visit(uint32_t n, size_t depth, bool onRightEdge) {
    EXPECT_TRUE(pages.insert(n).second) << "page " << n << " reached twice";
    PageRef ref = pager.page(n);
    IndexPage p = parseIndexPage(pager, *ref, n);
    EXPECT_LE(indexPageUsedBytes(p), kIndexPageCapacity);
    EXPECT_EQ(p.tdefPage, tdefPage);
    if (levels.size() <= depth) levels.resize(depth + 1);
    Entry greatest;
    if (p.leaf) {
      if (leafDepth == SIZE_MAX) leafDepth = depth;
      EXPECT_EQ(depth, leafDepth) << "leaves at different depths";
      for (const IndexEntry& e : p.entries) entries.push_back(Entry{e.key, e.row});
      if (!p.entries.empty()) greatest = Entry{p.entries.back().key, p.entries.back().row};
      EXPECT_TRUE(!p.entries.empty() || depth == 0) << "empty leaf " << n;
    } else {
      size_t children = p.entries.size() + (p.tail ? 1 : 0);
      EXPECT_GE(children, 1u) << "empty node " << n;
      if (!onRightEdge) {
        EXPECT_EQ(p.tail, 0u) << "tail off the right edge, page " << n;
      }
      if (onRightEdge && children >= 2) {
        EXPECT_NE(p.tail, 0u) << "edge node without tail " << n;
      }
      for (const IndexEntry& e : p.entries) {
        Entry g = visit(e.child, depth + 1, false);
        EXPECT_EQ(g.key, e.key) << "node entry on page " << n << " is not its child's greatest";
        EXPECT_EQ(g.row, e.row);
        greatest = g;
      }
      if (p.tail) greatest = visit(p.tail, depth + 1, true);
    }
    levels[depth].push_back(std::move(p));
    return greatest;
  }

  void checkLinks() {
    for (size_t d = 0; d < levels.size(); ++d) {
      const auto& lv = levels[d];
      for (size_t i = 0; i < lv.size(); ++i) {
        EXPECT_EQ(lv[i].prev, i ? lv[i - 1].number : 0u) << "level " << d << " page " << lv[i].number;
        EXPECT_EQ(lv[i].next, i + 1 < lv.size() ? lv[i + 1].number : 0u)
            << "level " << d << " page " << lv[i].number;
      }
    }
  }
};

// Checks the tree of `index` against the model: same entries in order, the
// writer's invariants, every page owned by the index and used in the global
// map. Returns the number of levels.
size_t verifyTree(Pager& pager, uint32_t tdefPage, const RealIndexDef& index,
                  const std::set<Entry>& model) {
  Shape shape{pager, tdefPage, {}, {}, {}};
  shape.visit(index.rootPage, 0, true);
  shape.checkLinks();
  std::vector<Entry> want(model.begin(), model.end());
  EXPECT_EQ(shape.entries.size(), want.size());
  EXPECT_TRUE(std::equal(shape.entries.begin(), shape.entries.end(), want.begin(), want.end(),
                         [](const Entry& a, const Entry& b) { return a.key == b.key && a.row == b.row; }));
  // The cursor reads the same entries.
  IndexBtree tree(pager, tdefPage, index);
  auto c = tree.begin();
  size_t i = 0;
  while (c.next()) {
    if (i < want.size()) {
      EXPECT_EQ(c.entry().key, want[i].key);
    }
    ++i;
  }
  EXPECT_EQ(i, want.size());
  std::vector<uint32_t> owned = usageMapPages(pager, index.ownedPages);
  EXPECT_EQ(std::set<uint32_t>(owned.begin(), owned.end()), shape.pages);
  for (uint32_t p : shape.pages) EXPECT_TRUE(globalMapUsed(pager, p)) << "page " << p;
  return shape.levels.size();
}

// Text with accents, mixed case, apostrophes, hyphens and some long values.
std::string randomText(std::mt19937& rng) {
  static const char* pieces[] = {"a", "B", "ç", "É", "ã", "o", "Ñ", "'", "-", "z", "ü", " ",
                                 "x", "Ø", "m", "i", "S", "é", "€", "1"};
  size_t len = 1 + rng() % (rng() % 8 == 0 ? 120 : 14);
  std::string s;
  for (size_t i = 0; i < len; ++i) s += pieces[rng() % 20];
  return s;
}

TEST(IndexWrite, ManyTextKeysInsertedAndRemoved) {
  ScratchFile file("jackcess-alunos.mdb");
  std::set<Entry> model;
  std::set<uint32_t> pagesBefore;
  RealIndexDef index;
  uint32_t tdef;
  {
    auto db = file.open();
    const TableDef& def = db->tableDef("Alunos");
    tdef = def.tdefPage;
    for (const IndexDef& ix : def.indexes) {
      if (ix.name == "idxNome") index = def.realIndexes[ix.realIndex];
    }
    ASSERT_NE(index.rootPage, 0u);
    IndexBtree tree(db->pager(), tdef, index);
    auto c = tree.begin();
    while (c.next()) model.insert(Entry{c.entry().key, c.entry().row});
  }
  const uint32_t root = index.rootPage;
  std::mt19937 rng(42);
  std::vector<Entry> added;
  size_t maxLevels = 0;
  {
    auto db = file.open();
    Pager& pager = db->pager();
    for (int batch = 0; batch < 6; ++batch) {
      pager.begin();
      IndexBtree tree(pager, tdef, index);
      for (int k = 0; k < 500; ++k) {
        Entry e;
        appendKeyPart(e.key, Value(randomText(rng)), ColumnType::Text, true);
        // Duplicate keys told apart by their rows.
        if (k % 7 == 0 && !added.empty()) e.key = added[rng() % added.size()].key;
        uint32_t n = static_cast<uint32_t>(added.size());
        e.row = RowId{1000 + n / 200, static_cast<uint8_t>(n % 200)};
        tree.insert(e.key, e.row);
        model.insert(e);
        added.push_back(e);
      }
      pager.commit();
      maxLevels = std::max(maxLevels, verifyTree(pager, tdef, index, model));
    }
    EXPECT_GE(maxLevels, 3u);
    // An exact entry cannot be added twice; a missing one is not removed.
    pager.begin();
    IndexBtree tree(pager, tdef, index);
    EXPECT_THROW(tree.insert(added[10].key, added[10].row), Error);
    EXPECT_FALSE(tree.remove(added[10].key, RowId{999, 1}));
    pager.rollback();
  }
  {
    // What was committed reads back the same after reopening.
    auto db = file.open();
    verifyTree(db->pager(), tdef, index, model);
    // Remove everything that was added, in random order, checking as we go.
    Pager& pager = db->pager();
    std::shuffle(added.begin(), added.end(), rng);
    std::set<uint32_t> treePages;
    {
      auto owned = usageMapPages(pager, index.ownedPages);
      treePages.insert(owned.begin(), owned.end());
    }
    for (size_t start = 0; start < added.size(); start += 750) {
      pager.begin();
      IndexBtree tree(pager, tdef, index);
      for (size_t k = start; k < std::min(added.size(), start + 750); ++k) {
        ASSERT_TRUE(tree.remove(added[k].key, added[k].row));
        model.erase(added[k]);
      }
      pager.commit();
      verifyTree(pager, tdef, index, model);
    }
    // Pages that still hold entries stay; removing the original entries too
    // empties every page: the root is an empty leaf and every other page is
    // free again and no longer owned by the index.
    pager.begin();
    {
      IndexBtree tree(pager, tdef, index);
      for (const Entry& e : std::vector<Entry>(model.begin(), model.end())) {
        ASSERT_TRUE(tree.remove(e.key, e.row));
        model.erase(e);
      }
    }
    pager.commit();
    EXPECT_EQ(verifyTree(pager, tdef, index, model), 1u);
    PageRef r = pager.page(root);
    EXPECT_EQ((*r)[0], kIndexLeafPage);
    auto owned = usageMapPages(pager, index.ownedPages);
    EXPECT_EQ(owned, std::vector<uint32_t>{root});
    for (uint32_t p : treePages) {
      if (p == root) continue;
      EXPECT_FALSE(globalMapUsed(pager, p)) << "page " << p;
      EXPECT_EQ((*pager.page(p))[0], 0u) << "page " << p;
    }
  }
}

// Decoded pages are cached per pager and changed pages are encoded late:
// within one pager, operations that are rolled back (after an error or
// not), pages read through the pager half-way through an operation and
// then changed again, and page numbers handed out again after a rollback
// must never let the cache and the page bytes disagree.
TEST(IndexWrite, CachedPagesFollowCommitsAndRollbacks) {
  ScratchFile file("jackcess-alunos.mdb");
  auto db = file.open();
  Pager& pager = db->pager();
  const TableDef& def = db->tableDef("Alunos");
  RealIndexDef index;
  for (const IndexDef& ix : def.indexes) {
    if (ix.name == "idxNome") index = def.realIndexes[ix.realIndex];
  }
  ASSERT_NE(index.rootPage, 0u);
  std::set<Entry> model;
  {
    IndexBtree tree(pager, def.tdefPage, index);
    auto c = tree.begin();
    while (c.next()) model.insert(Entry{c.entry().key, c.entry().row});
  }
  std::mt19937 rng(7);
  uint32_t nextRow = 0;
  for (int round = 0; round < 8; ++round) {
    const uint32_t pagesBefore = pager.pageCount();
    std::set<Entry> changed = model;
    pager.begin();
    IndexBtree tree(pager, def.tdefPage, index);
    auto apply = [&](int count) {
      for (int k = 0; k < count; ++k) {
        if (k % 5 == 4 && !changed.empty()) {
          auto it = std::next(changed.begin(), static_cast<long>(rng() % changed.size()));
          ASSERT_TRUE(tree.remove(it->key, it->row));
          changed.erase(it);
          continue;
        }
        Entry e;
        appendKeyPart(e.key, Value(randomText(rng)), ColumnType::Text, true);
        e.row = RowId{2000 + nextRow / 200, static_cast<uint8_t>(nextRow % 200)};
        ++nextRow;
        tree.insert(e.key, e.row);
        changed.insert(e);
      }
    };
    apply(300);
    // Reading every page through the pager writes the deferred ones out;
    // the changes that follow start from those bytes.
    verifyTree(pager, def.tdefPage, index, changed);
    apply(300);
    // The cursor reads the cached pages, without writing them out.
    {
      std::vector<Entry> seen;
      for (auto c = tree.begin(); c.next();) seen.push_back(Entry{c.entry().key, c.entry().row});
      EXPECT_TRUE(std::equal(seen.begin(), seen.end(), changed.begin(), changed.end(),
                             [](const Entry& a, const Entry& b) { return a.key == b.key && a.row == b.row; }));
    }
    switch (round % 3) {
      case 0:
        pager.commit();
        model = changed;
        break;
      case 1:
        pager.rollback();
        break;
      default: {
        // A refused change after many accepted ones: the caller rolls back.
        const Entry& e = *changed.begin();
        EXPECT_THROW(tree.insert(e.key, e.row), Error);
        pager.rollback();
        break;
      }
    }
    if (round % 3 != 0) {
      EXPECT_EQ(pager.pageCount(), pagesBefore);
    }
    verifyTree(pager, def.tdefPage, index, model);
  }
  const uint32_t tdef = def.tdefPage;
  db.reset();
  auto again = file.open();
  verifyTree(again->pager(), tdef, index, model);
}

// Keys that arrive in order (an AutoNumber key) and keys removed from the
// front: the right-edge tail and the left edge both get exercised.
TEST(IndexWrite, AscendingLongKeysAndFrontRemovals) {
  ScratchFile file("jackcess-alunos_big.mdb");
  auto db = file.open();
  Pager& pager = db->pager();
  const TableDef& def = db->tableDef("Alunos");
  const RealIndexDef* pk = nullptr;
  for (const IndexDef& ix : def.indexes) {
    if (ix.primaryKey()) pk = &def.realIndexes[ix.realIndex];
  }
  ASSERT_NE(pk, nullptr);
  std::set<Entry> model;
  {
    IndexBtree tree(pager, def.tdefPage, *pk);
    auto c = tree.begin();
    while (c.next()) model.insert(Entry{c.entry().key, c.entry().row});
  }
  pager.begin();
  {
    IndexBtree tree(pager, def.tdefPage, *pk);
    for (int32_t id = 100000; id < 104000; ++id) {
      Entry e;
      appendKeyPart(e.key, Value(id), ColumnType::Long, true);
      e.row = RowId{static_cast<uint32_t>(5000 + id / 100), static_cast<uint8_t>(id % 100)};
      tree.insert(e.key, e.row);
      model.insert(e);
    }
  }
  pager.commit();
  {
    // Greater and greater keys leave full pages behind: every leaf that
    // holds only new keys, but the last, is nearly full.
    Shape shape{pager, def.tdefPage, {}, {}, {}};
    shape.visit(pk->rootPage, 0, true);
    std::vector<uint8_t> firstNew;
    appendKeyPart(firstNew, Value(int32_t{100000}), ColumnType::Long, true);
    const std::vector<IndexPage>& leaves = shape.levels.back();
    size_t newLeaves = 0;
    for (size_t i = 0; i + 1 < leaves.size(); ++i) {
      if (leaves[i].entries.empty() || leaves[i].entries.front().key < firstNew) continue;
      ++newLeaves;
      EXPECT_GE(indexPageUsedBytes(leaves[i]), kIndexPageCapacity - 16) << "leaf " << leaves[i].number;
    }
    EXPECT_GE(newLeaves, 3u);
  }
  pager.begin();
  {
    IndexBtree tree(pager, def.tdefPage, *pk);
    // More entries among the new keys (same keys, other rows): the full
    // pages split again.
    for (int32_t id = 100001; id < 104000; id += 37) {
      Entry e;
      appendKeyPart(e.key, Value(id), ColumnType::Long, true);
      e.row = RowId{static_cast<uint32_t>(9000 + id / 100), static_cast<uint8_t>(id % 100)};
      tree.insert(e.key, e.row);
      model.insert(e);
    }
    // Remove the oldest third of all entries.
    std::vector<Entry> front(model.begin(), std::next(model.begin(), static_cast<long>(model.size() / 3)));
    for (const Entry& e : front) {
      ASSERT_TRUE(tree.remove(e.key, e.row));
      model.erase(e);
    }
  }
  pager.commit();
  EXPECT_GE(verifyTree(pager, def.tdefPage, *pk, model), 2u);
}

// Row-level maintenance: the unique check comes first and changes nothing,
// entries go into every index, the unique-entry count follows new keys.
TEST(IndexWrite, RowsIntoEveryIndexWithUniqueCheck) {
  ScratchFile file("jackcess-alunos.mdb");
  auto db = file.open();
  Pager& pager = db->pager();
  TableDef def = db->tableDef("Alunos");
  std::vector<Value> existing;
  {
    TableScan scan(*db, def);
    ASSERT_TRUE(scan.next());
    existing = scan.values();
  }
  const ColumnDef* id = def.findColumn("ID");
  const ColumnDef* nome = def.findColumn("Nome");
  ASSERT_TRUE(id && nome);
  const int idPos = def.positionOfNumber(id->number);
  const int nomePos = def.positionOfNumber(nome->number);

  // A duplicate primary key is refused, read-only and outside any operation.
  ASSERT_FALSE(pager.inOperation());
  auto refused = indexInsertViolation(pager, def, existing);
  ASSERT_TRUE(refused.has_value());
  EXPECT_NE(refused->find("duplicados"), std::string::npos) << *refused;
  // The same row being replaced is not its own duplicate.
  RowId existingId;
  {
    TableScan scan(*db, def);
    scan.next();
    existingId = scan.rowId();
  }
  EXPECT_FALSE(indexInsertViolation(pager, def, existing, existingId).has_value());
  // A primary key may not be NULL.
  std::vector<Value> nullKey = existing;
  nullKey[idPos] = Value();
  EXPECT_TRUE(indexInsertViolation(pager, def, nullKey).has_value());

  // A text index under a sort order the engine cannot encode refuses writes.
  {
    TableDef finnish = def;
    for (ColumnDef& c : finnish.columns) {
      if (c.number == nome->number) c.sortOrder = 1035;
    }
    std::vector<Value> fresh = existing;
    fresh[idPos] = Value(int32_t{777});
    auto why = indexInsertViolation(pager, finnish, fresh);
    ASSERT_TRUE(why.has_value());
    EXPECT_NE(why->find("só pode ser lida"), std::string::npos) << *why;
  }

  std::vector<uint32_t> countsBefore;
  for (const auto& ix : def.realIndexes) countsBefore.push_back(ix.uniqueEntryCount);
  std::vector<Value> row = existing;
  row[idPos] = Value(int32_t{5000});
  // Same name as the existing row (case and accents folded): not unique, so
  // the name index count stays; the new id counts.
  std::string name = existing[nomePos].is<std::string>() ? existing[nomePos].as<std::string>() : "x";
  for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  row[nomePos] = Value(name);
  ASSERT_FALSE(indexInsertViolation(pager, def, row).has_value());
  pager.begin();
  indexInsertRow(pager, def, row, RowId{4000, 3});
  pager.commit();

  auto reopened = file.open();
  const TableDef& after = reopened->tableDef("Alunos");
  for (size_t i = 0; i < after.realIndexes.size(); ++i) {
    const RealIndexDef& ix = after.realIndexes[i];
    IndexBtree tree(reopened->pager(), after.tdefPage, ix);
    auto rows = tree.find(rowKey(after, ix, row));
    EXPECT_NE(std::find(rows.begin(), rows.end(), RowId{4000, 3}), rows.end());
    bool nameIndex = ix.columns.size() == 1 && ix.columns[0].columnNumber == nome->number;
    EXPECT_EQ(ix.uniqueEntryCount, countsBefore[i] + (nameIndex ? 0 : 1)) << "index " << i;
  }
  // Updating without changing a key leaves the indexes and counts alone;
  // a new name moves only the name index's entry.
  TableDef def2 = reopened->tableDef("Alunos");
  std::vector<uint32_t> counts;
  for (const auto& ix : def2.realIndexes) counts.push_back(ix.uniqueEntryCount);
  reopened->pager().begin();
  indexUpdateRow(reopened->pager(), def2, row, row, RowId{4000, 3});
  std::vector<Value> renamed = row;
  renamed[nomePos] = Value("Zé Nobody");
  indexUpdateRow(reopened->pager(), def2, row, renamed, RowId{4000, 3});
  reopened->pager().commit();
  for (size_t i = 0; i < def2.realIndexes.size(); ++i) {
    const RealIndexDef& ix = def2.realIndexes[i];
    bool nameIndex = ix.columns.size() == 1 && ix.columns[0].columnNumber == nome->number;
    EXPECT_EQ(ix.uniqueEntryCount, counts[i] + (nameIndex ? 1 : 0));
    IndexBtree tree(reopened->pager(), def2.tdefPage, ix);
    auto rows = tree.find(rowKey(def2, ix, renamed));
    EXPECT_NE(std::find(rows.begin(), rows.end(), RowId{4000, 3}), rows.end());
    if (nameIndex) {
      auto old = tree.find(rowKey(def2, ix, row));
      EXPECT_EQ(std::find(old.begin(), old.end(), RowId{4000, 3}), old.end());
    }
  }
  row = renamed;
  // The new id is now taken; removing the row frees it again.
  EXPECT_TRUE(indexInsertViolation(reopened->pager(), after, row).has_value());
  reopened->pager().begin();
  indexRemoveRow(reopened->pager(), after, row, RowId{4000, 3});
  reopened->pager().commit();
  EXPECT_FALSE(indexInsertViolation(reopened->pager(), after, row).has_value());
  EXPECT_THROW(
      {
        reopened->pager().begin();
        try {
          indexRemoveRow(reopened->pager(), after, row, RowId{4000, 3});
        } catch (...) {
          reopened->pager().rollback();
          throw;
        }
      },
      Error);
  // The table's indexes match its rows again.
  EXPECT_TRUE(checkIndexes(*reopened, after).empty());
}

}  // namespace
}  // namespace jet

namespace jet {
namespace {

// Through the table writer: thousands of rows with accented, mixed-case and
// repeated names inserted, updated and deleted; every index must match the
// table afterwards, in the open file and after reopening it.
TEST(IndexWrite, TableWritesKeepIndexesConsistent) {
  ScratchFile file("jackcess-alunos.mdb");
  std::mt19937 rng(7);
  std::vector<RowId> ids;
  {
    auto db = file.open();
    const TableDef& def0 = db->tableDef("Alunos");
    const size_t cols = def0.columns.size();
    const int nomePos = def0.positionOfNumber(def0.findColumn("Nome")->number);
    const int cidadePos = def0.positionOfNumber(def0.findColumn("Cidade")->number);
    for (int batch = 0; batch < 5; ++batch) {
      db->beginOperation();
      for (int k = 0; k < 500; ++k) {
        std::vector<Value> row(cols);
        std::string name = randomText(rng);
        if (name.size() > 50) name.resize(50);
        // Keep whole UTF-8 sequences after the cut.
        while (!name.empty() && (static_cast<unsigned char>(name.back()) & 0xC0) == 0xC0) name.pop_back();
        row[nomePos] = k % 9 == 0 ? Value() : Value(name);
        row[cidadePos] = Value(k % 2 ? "São Paulo" : "Rio");
        ids.push_back(db->insertRow("Alunos", row));
      }
      db->commitOperation();
    }
    const TableDef& def = db->tableDef("Alunos");
    for (const std::string& p : checkIndexes(*db, def)) ADD_FAILURE() << p;

    // A duplicate primary key is refused and changes nothing.
    std::vector<Value> dup(cols);
    dup[def.positionOfNumber(def.findColumn("ID")->number)] = Value(int32_t{3});
    dup[nomePos] = Value("Duplicado");
    uint32_t pagesBefore = db->pager().pageCount();
    uint32_t rowsBefore = def.rowCount;
    EXPECT_THROW(db->insertRow("Alunos", dup), Error);
    EXPECT_EQ(db->pager().pageCount(), pagesBefore);
    EXPECT_EQ(db->tableDef("Alunos").rowCount, rowsBefore);

    // Rename a third, delete another third.
    std::shuffle(ids.begin(), ids.end(), rng);
    db->beginOperation();
    for (size_t i = 0; i < ids.size() / 3; ++i) {
      std::vector<Value> row(cols);
      const TableDef& d = db->tableDef("Alunos");
      PageRef page = db->pager().page(ids[i].page);
      ASSERT_TRUE(db->readRow(d, *page, ids[i].page, ids[i].row, row));
      row[nomePos] = Value(i % 2 ? "ÁGUA" : "agua");
      db->updateRow("Alunos", ids[i], row);
    }
    for (size_t i = ids.size() / 3; i < 2 * ids.size() / 3; ++i) db->deleteRow("Alunos", ids[i]);
    db->commitOperation();
    for (const std::string& p : checkIndexes(*db, db->tableDef("Alunos"))) ADD_FAILURE() << p;
  }
  auto db = file.open();
  for (const CatalogEntry& e : db->catalog()) {
    for (const std::string& p : checkIndexes(*db, db->tableDef(e.name))) ADD_FAILURE() << p;
  }
}

}  // namespace
}  // namespace jet

namespace jet {
namespace {

// A table made by the engine with a two-column index whose text column is
// descending, and a unique index: thousands of rows keep both consistent,
// the tree walks in the declared order, and duplicates are refused.
TEST(IndexWrite, DescendingMultiColumnIndexOnNewTable) {
  fs::path path = fs::temp_directory_path() / ("jet_index_desc_" + std::to_string(::getpid()) + ".mdb");
  fs::remove(path);
  {
    auto db = Database::create(path.string());
    TableSpec layout;
    layout.name = "Pessoas";
    layout.columns = {ColumnSpec{"Id", ColumnType::Long, 0, true}, ColumnSpec{"Nome", ColumnType::Text, 80, false},
                    ColumnSpec{"Codigo", ColumnType::Long, 0, false}};
    layout.indexes = {IndexSpec{"PrimaryKey", {{"Id", true}}, true, true},
                    IndexSpec{"NomeCodigo", {{"Nome", false}, {"Codigo", true}}, false, false},
                    IndexSpec{"Codigo", {{"Codigo", true}}, false, true}};
    db->createTable(layout);
    std::mt19937 rng(99);
    db->beginOperation();
    for (int32_t i = 0; i < 3000; ++i) {
      std::string name = randomText(rng);
      if (name.size() > 60) name.resize(60);
      while (!name.empty() && (static_cast<unsigned char>(name.back()) & 0xC0) == 0xC0) name.pop_back();
      db->insertRow("Pessoas", {Value(), i % 11 == 0 ? Value() : Value(name), Value(i * 3)});
    }
    db->commitOperation();
    EXPECT_THROW(db->insertRow("Pessoas", {Value(), Value("x"), Value(int32_t{30})}), Error);
  }
  auto db = Database::open(path.string(), OpenOptions{"", true});
  const TableDef& def = db->tableDef("Pessoas");
  for (const std::string& p : checkIndexes(*db, def)) ADD_FAILURE() << p;
  // NomeCodigo walks names from greatest to least, NULL names last.
  const RealIndexDef* nomeCodigo = nullptr;
  for (const IndexDef& ix : def.indexes) {
    if (ix.name == "NomeCodigo") nomeCodigo = &def.realIndexes[ix.realIndex];
  }
  ASSERT_NE(nomeCodigo, nullptr);
  IndexBtree tree(db->pager(), def.tdefPage, *nomeCodigo);
  auto c = tree.begin();
  std::vector<std::vector<uint8_t>> nameKeys;
  while (c.next()) nameKeys.push_back(c.entry().key);
  ASSERT_EQ(nameKeys.size(), 3000u);
  EXPECT_EQ(nameKeys.back().front(), 0xFF);  // a NULL name, descending
  EXPECT_EQ(nameKeys.front().front(), 0x80);  // a descending non-null name
  PageRef root = db->pager().page(nomeCodigo->rootPage);
  EXPECT_EQ((*root)[0], kIndexNodePage);
  fs::remove(path);
}

}  // namespace
}  // namespace jet
