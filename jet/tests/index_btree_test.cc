// Index B-trees read from files written by another program: every index of
// every table (system tables included) must match the keys the engine
// computes from the rows; a file whose index disagrees with its table must be
// reported; damaged index pages must give a jet::Error, never a crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "jet/storage/bytes.h"
#include "jet/storage/database.h"
#include "jet/storage/error.h"
#include "jet/storage/index_btree.h"
#include "jet/storage/index_key.h"

namespace fs = std::filesystem;

namespace jet {
namespace {

std::string dataPath(const std::string& name) { return std::string(JET_TEST_DATA) + "/" + name; }

struct Fixture {
  const char* file;
  const char* password;
};

const Fixture kFixtures[] = {
    {"jackcess-alunos.mdb", ""},          {"jackcess-alunos_big.mdb", ""},
    {"jackcess-alunos_pre1899.mdb", ""},  {"jackcess-alunos_pw.mdb", "Senha123"},
    {"jackcess-alunos_enc.mdb", ""},      {"academia-jackcess.mdb", "lumpa"},
};

std::unique_ptr<Database> openFixture(const std::string& path, const char* password) {
  OpenOptions o;
  o.password = password;
  return Database::open(path, o);
}

// Every table of the catalog, system tables included.
std::vector<std::string> allTables(Database& db) {
  std::vector<std::string> names;
  for (const CatalogEntry& e : db.catalog()) names.push_back(e.name);
  return names;
}

TEST(IndexBtree, EveryFixtureIndexMatchesItsRows) {
  for (const Fixture& f : kFixtures) {
    SCOPED_TRACE(f.file);
    auto db = openFixture(dataPath(f.file), f.password);
    size_t indexes = 0, entries = 0;
    for (const std::string& name : allTables(*db)) {
      const TableDef& def = db->tableDef(name);
      for (const std::string& problem : checkIndexes(*db, def)) ADD_FAILURE() << problem;
      for (const RealIndexDef& ix : def.realIndexes) {
        IndexBtree tree(db->pager(), def.tdefPage, ix);
        auto c = tree.begin();
        while (c.next()) ++entries;
        ++indexes;
      }
    }
    EXPECT_GT(indexes, 2u);
    EXPECT_GT(entries, 10u);
  }
}

// Files saved by Access itself: the keys Access wrote, catalog text keys
// included, are the keys we compute.
TEST(IndexBtree, AccessWrittenIndexesMatchTheirRows) {
  const Fixture files[] = {{"access2000-types.mdb", ""},
                           {"access2000-password.mdb", "password"},
                           {"access2003-password.mdb", "password"}};
  for (const Fixture& f : files) {
    SCOPED_TRACE(f.file);
    auto db = openFixture(dataPath(f.file), f.password);
    size_t entries = 0;
    for (const std::string& name : allTables(*db)) {
      const TableDef& def = db->tableDef(name);
      for (const std::string& problem : checkIndexes(*db, def)) ADD_FAILURE() << problem;
      for (const RealIndexDef& ix : def.realIndexes) {
        IndexBtree tree(db->pager(), def.tdefPage, ix);
        auto c = tree.begin();
        while (c.next()) ++entries;
      }
    }
    EXPECT_GT(entries, 40u);
  }
}

TEST(IndexBtree, SystemCatalogIndexIsChecked) {
  // MSysObjects' ParentIdName index has a Long and a Text column.
  auto db = openFixture(dataPath("jackcess-alunos.mdb"), "");
  const TableDef& def = db->tableDef("MSysObjects");
  ASSERT_FALSE(def.realIndexes.empty());
  bool textIndex = false;
  for (const RealIndexDef& ix : def.realIndexes) {
    if (ix.columns.size() == 2) textIndex = indexKeysSupported(def, ix);
  }
  EXPECT_TRUE(textIndex);
  EXPECT_TRUE(checkIndexes(*db, def).empty());
}

TEST(IndexBtree, BadIndexIsReported) {
  auto db = openFixture(dataPath("jackcess-alunos_badindex.mdb"), "");
  auto problems = checkIndexes(*db, db->tableDef("Alunos"));
  ASSERT_FALSE(problems.empty());
  for (const std::string& p : problems) EXPECT_NE(p.find("idxNome"), std::string::npos) << p;
}

// Entries taken out of an index and entries that match no row are found and
// counted exactly, whether the differences are located in one group or in
// many small ones.
TEST(IndexBtree, MissingAndStrayEntriesAreCountedInBoundedMemory) {
  fs::path tmp = fs::temp_directory_path() / "jet_index_stray.mdb";
  fs::copy_file(dataPath("jackcess-alunos_big.mdb"), tmp, fs::copy_options::overwrite_existing);
  size_t real = 0;
  {
    OpenOptions o;
    o.writable = true;
    auto db = Database::open(tmp.string(), o);
    const TableDef& def = db->tableDef("Alunos");
    real = def.realIndexes.size() - 1;
    IndexBtree tree(db->pager(), def.tdefPage, def.realIndexes[real]);
    std::vector<IndexEntry> taken;
    auto c = tree.begin();
    for (int i = 0; c.next(); ++i) {
      if (i % 37 == 0) taken.push_back(c.entry());
    }
    ASSERT_GT(taken.size(), 20u);
    db->pager().begin();
    for (const IndexEntry& e : taken) ASSERT_TRUE(tree.remove(e.key, e.row));
    for (uint8_t r = 0; r < 3; ++r) tree.insert(taken[r].key, RowId{taken[r].row.page, static_cast<uint8_t>(200 + r)});
    db->pager().commit();
  }
  auto db = openFixture(tmp.string(), "");
  const TableDef& def = db->tableDef("Alunos");
  const std::vector<std::string> whole = checkIndexes(*db, def);
  ASSERT_FALSE(whole.empty());
  EXPECT_NE(whole.back().find("entradas faltando e 3 sobrando ao todo"), std::string::npos) << whole.back();
  EXPECT_EQ(checkIndexes(*db, def, 5), whole);
  fs::remove(tmp);
}

// Damage that leaves the keys right but the structure wrong is reported too.
TEST(IndexBtree, BrokenLeafChainIsReported) {
  fs::path tmp = fs::temp_directory_path() / "jet_index_chain.mdb";
  fs::copy_file(dataPath("jackcess-alunos_big.mdb"), tmp, fs::copy_options::overwrite_existing);
  uint32_t victim = 0;
  {
    auto db = openFixture(tmp.string(), "");
    const TableDef& def = db->tableDef("Alunos");
    ASSERT_TRUE(checkIndexes(*db, def).empty());
    // A leaf in the middle of the name index's chain.
    IndexBtree tree(db->pager(), def.tdefPage, def.realIndexes.back());
    auto c = tree.begin();
    for (int i = 0; i < 500 && c.next(); ++i) victim = c.page();
  }
  {
    std::fstream f(tmp, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(victim) * kPageSize + 16);
    const char zeros[4] = {};
    f.write(zeros, 4);
  }
  auto db = openFixture(tmp.string(), "");
  auto problems = checkIndexes(*db, db->tableDef("Alunos"));
  ASSERT_FALSE(problems.empty());
  EXPECT_NE(problems.front().find(std::to_string(victim)), std::string::npos) << problems.front();
  fs::remove(tmp);
}

// Looking rows up by key finds exactly the rows with that value, across
// leaf pages of a multi-level index.
TEST(IndexBtree, FindByKeyInMultiLevelIndex) {
  auto db = openFixture(dataPath("jackcess-alunos_big.mdb"), "");
  const TableDef& def = db->tableDef("Alunos");
  std::map<std::vector<uint8_t>, std::vector<RowId>> byKey[8];
  TableScan scan(*db, def);
  while (scan.next()) {
    for (size_t i = 0; i < def.realIndexes.size() && i < 8; ++i) {
      const RealIndexDef& ix = def.realIndexes[i];
      if (ix.ignoreNulls() && rowKeyAllNull(def, ix, scan.values())) continue;
      byKey[i][rowKey(def, ix, scan.values())].push_back(scan.rowId());
    }
  }
  bool multiLevel = false;
  for (size_t i = 0; i < def.realIndexes.size() && i < 8; ++i) {
    IndexBtree tree(db->pager(), def.tdefPage, def.realIndexes[i]);
    PageRef root = db->pager().page(def.realIndexes[i].rootPage);
    multiLevel |= (*root)[0] == kIndexNodePage;
    size_t step = 0;
    for (auto& [key, rows] : byKey[i]) {
      if (step++ % 37) continue;
      std::vector<RowId> found = tree.find(key);
      std::sort(rows.begin(), rows.end(), [](RowId a, RowId b) {
        return std::tie(a.page, a.row) < std::tie(b.page, b.row);
      });
      EXPECT_EQ(found, rows);
      EXPECT_TRUE(tree.containsKey(key));
    }
    std::vector<uint8_t> absent = {0x7F, 0xFF, 0xFF, 0xFF};
    EXPECT_TRUE(tree.find(absent).empty());
    EXPECT_FALSE(tree.containsKey(absent));
  }
  EXPECT_TRUE(multiLevel);
}

// `WHERE c = v` lookups through each index of a file with many text and
// multi-column indexes give exactly the rows whose leading key matches.
TEST(IndexBtree, LookupByLeadingColumns) {
  auto db = openFixture(dataPath("academia-jackcess.mdb"), "lumpa");
  size_t lookups = 0, multiColumnPrefix = 0;
  for (const std::string& name : db->tableNames()) {
    const TableDef& def = db->tableDef(name);
    for (size_t i = 0; i < def.realIndexes.size(); ++i) {
      const RealIndexDef& ix = def.realIndexes[i];
      const IndexColumn& first = ix.columns.front();
      const int pos = def.positionOfNumber(first.columnNumber);
      const ColumnDef& col = def.columns[pos];
      // Rows by the key of their first indexed column.
      std::map<std::vector<uint8_t>, std::vector<RowId>> rowsByKey;
      std::vector<Value> samples;
      TableScan scan(*db, def);
      while (scan.next()) {
        const Value& v = scan.values()[pos];
        if (v.isNull()) continue;
        std::vector<uint8_t> k;
        appendKeyPart(k, v, col.type, first.ascending);
        auto& rows = rowsByKey[k];
        if (rows.empty() && samples.size() < 6) samples.push_back(v);
        rows.push_back(scan.rowId());
      }
      for (const Value& v : samples) {
        std::vector<uint8_t> k;
        appendKeyPart(k, v, col.type, first.ascending);
        auto found = indexLookup(db->pager(), def, i, {v});
        ASSERT_TRUE(found.has_value());
        auto want = rowsByKey[k];
        std::sort(want.begin(), want.end(), [](RowId a, RowId b) {
          return std::tie(a.page, a.row) < std::tie(b.page, b.row);
        });
        std::sort(found->begin(), found->end(), [](RowId a, RowId b) {
          return std::tie(a.page, a.row) < std::tie(b.page, b.row);
        });
        EXPECT_EQ(*found, want) << name << " index " << i;
        ++lookups;
        if (ix.columns.size() > 1) ++multiColumnPrefix;
      }
      // The index cannot answer for NULL or for a value the column cannot hold.
      EXPECT_FALSE(indexLookup(db->pager(), def, i, {Value()}).has_value());
      if (col.type == ColumnType::Long) {
        EXPECT_FALSE(indexLookup(db->pager(), def, i, {Value(2.5)}).has_value());
      }
    }
  }
  EXPECT_GT(lookups, 50u);
  EXPECT_GT(multiColumnPrefix, 3u);
}

// Decoding, encoding and decoding again an index page written by another
// program keeps every field and entry; our prefix compression is never
// worse than the other program's.
TEST(IndexBtree, PagesRoundTrip) {
  auto db = openFixture(dataPath("jackcess-alunos_big.mdb"), "");
  Pager& pager = db->pager();
  size_t pages = 0;
  for (uint32_t n = 1; n < pager.pageCount(); ++n) {
    PageRef p = pager.page(n);
    if ((*p)[0] != kIndexLeafPage && (*p)[0] != kIndexNodePage) continue;
    IndexPage page = parseIndexPage(pager, *p, n);
    PageBuffer out;
    encodeIndexPage(page, out);
    IndexPage again = parseIndexPage(pager, out, n);
    EXPECT_EQ(again.leaf, page.leaf);
    EXPECT_EQ(again.tdefPage, page.tdefPage);
    EXPECT_EQ(again.prev, page.prev);
    EXPECT_EQ(again.next, page.next);
    EXPECT_EQ(again.tail, page.tail);
    ASSERT_EQ(again.entries.size(), page.entries.size()) << "page " << n;
    for (size_t i = 0; i < page.entries.size(); ++i) {
      EXPECT_EQ(again.entries[i].key, page.entries[i].key);
      EXPECT_EQ(again.entries[i].row, page.entries[i].row);
      EXPECT_EQ(again.entries[i].child, page.entries[i].child);
    }
    EXPECT_GE(le16(out.data() + 2), le16(p->data() + 2)) << "page " << n;
    EXPECT_EQ(le16(out.data() + 2), kPageSize - 480 - indexPageUsedBytes(page));
    ++pages;
  }
  EXPECT_GT(pages, 20u);
}

// A copy of a fixture whose index pages are damaged in many ways: walking,
// finding and checking must fail cleanly or succeed, never crash or hang.
TEST(IndexBtree, DamagedPagesFailCleanly) {
  fs::path tmp = fs::temp_directory_path() / "jet_index_damage.mdb";
  std::vector<uint8_t> original;
  {
    std::ifstream in(dataPath("jackcess-alunos_big.mdb"), std::ios::binary);
    original.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<uint32_t> indexPages;
  for (uint32_t n = 1; n * kPageSize < original.size(); ++n) {
    uint8_t t = original[n * kPageSize];
    if (t == kIndexLeafPage || t == kIndexNodePage) indexPages.push_back(n);
  }
  ASSERT_FALSE(indexPages.empty());
  std::mt19937 rng(1234);
  size_t failures = 0;
  for (int round = 0; round < 150; ++round) {
    std::vector<uint8_t> bytes = original;
    for (int k = 0; k < 6; ++k) {
      uint32_t n = indexPages[rng() % indexPages.size()];
      size_t off;
      switch (rng() % 3) {
        case 0: off = 2 + rng() % 25; break;         // header fields
        case 1: off = 27 + rng() % 453; break;       // entry mask
        default: off = 480 + rng() % 3616; break;    // entries (child pointers)
      }
      bytes[n * kPageSize + off] = static_cast<uint8_t>(rng());
    }
    if (round % 10 == 0) {
      // A node whose first child is the node itself.
      for (uint32_t n : indexPages) {
        uint8_t* p = bytes.data() + n * kPageSize;
        if (p[0] == kIndexNodePage) {
          p[20] = static_cast<uint8_t>(n);
          p[21] = static_cast<uint8_t>(n >> 8);
          p[22] = p[23] = 0;
          break;
        }
      }
    }
    {
      std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    try {
      OpenOptions writable;
      writable.writable = true;
      auto db = Database::open(tmp.string(), writable);
      const TableDef& def = db->tableDef("Alunos");
      (void)checkIndexes(*db, def);
      for (const RealIndexDef& ix : def.realIndexes) {
        IndexBtree tree(db->pager(), def.tdefPage, ix);
        try {
          auto c = tree.begin();
          size_t n = 0;
          while (c.next()) ASSERT_LT(++n, 100000u);
        } catch (const Error&) {
          ++failures;
        }
        try {
          (void)tree.find({0x7F, 0x80, 0x00, 0x00, 0x05});
        } catch (const Error&) {
          ++failures;
        }
        // Changing a damaged tree fails cleanly too (and is rolled back).
        db->pager().begin();
        try {
          for (int32_t k = 0; k < 40; ++k) {
            std::vector<uint8_t> key;
            appendKeyPart(key, Value(int32_t{k * 50}), ColumnType::Long, true);
            tree.insert(key, RowId{9000, static_cast<uint8_t>(k)});
            tree.remove(key, RowId{9000, static_cast<uint8_t>(k / 2)});
          }
        } catch (const Error&) {
          ++failures;
        }
        db->pager().rollback();
      }
    } catch (const Error&) {
      ++failures;
    }
  }
  EXPECT_GT(failures, 10u);
  fs::remove(tmp);
}

}  // namespace
}  // namespace jet
