// Index B-trees: reading, searching and maintaining the pages of one index.
//
// See the comment at the top of index_btree.cc for the page layout, the
// invariants kept by the writer and the failure model.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/storage/database.h"
#include "jet/storage/pager.h"
#include "jet/storage/table_def.h"

namespace jet {

class IndexPageCache;

inline constexpr uint8_t kIndexNodePage = 0x03;
inline constexpr uint8_t kIndexLeafPage = 0x04;
// Bytes available for entries on an index page, after prefix compression.
inline constexpr size_t kIndexPageCapacity = 3616;

// One entry of an index page. In a leaf, `row` is the data row the key
// belongs to. In a node, key and row are a copy of the greatest entry below
// `child`, and `child` is the page they lead to.
struct IndexEntry {
  std::vector<uint8_t> key;
  RowId row;
  uint32_t child = 0;
};

// Orders entries as the B-tree does: key bytes (unsigned, shorter first when
// one is a prefix of the other), then data page, then row.
int compareEntries(const std::vector<uint8_t>& keyA, RowId rowA, const std::vector<uint8_t>& keyB,
                   RowId rowB);

// The decoded content of one index page (leaf or node).
struct IndexPage {
  uint32_t number = 0;
  bool leaf = true;
  uint32_t tdefPage = 0;
  uint32_t prev = 0;   // previous page at this level (0 = none)
  uint32_t next = 0;   // next page at this level (0 = none)
  uint32_t tail = 0;   // node pages: the last child, which has no entry (0 = none)
  std::vector<IndexEntry> entries;
};

// Decodes page `number` from `data`. Throws jet::Error naming the page when
// it is not an index page or any length, offset or mask bit is out of
// bounds; never reads outside `data`.
IndexPage parseIndexPage(const Pager& pager, const PageBuffer& data, uint32_t number);

// Bytes the entries of `page` take once prefix-compressed.
size_t indexPageUsedBytes(const IndexPage& page);

// Writes `page` into `out` (header, mask, prefix-compressed entries). Throws
// jet::Error when the entries do not fit.
void encodeIndexPage(const IndexPage& page, PageBuffer& out);

// An index B-tree: the pages under one root, for reading and (in a pager
// operation) for changing. Holds references to the pager, which must outlive
// it, and to the pager's cache of decoded index pages (attached to the pager
// on first use). Not thread-safe.
class IndexBtree {
 public:
  // The tree of a real index of a table: its root page, its owned-pages map
  // and the table's TDEF page (written into new pages).
  IndexBtree(Pager& pager, uint32_t tdefPage, const RealIndexDef& index);
  IndexBtree(Pager& pager, uint32_t tdefPage, uint32_t rootPage, MapRef ownedPages);
  ~IndexBtree();
  IndexBtree(const IndexBtree&) = delete;
  IndexBtree& operator=(const IndexBtree&) = delete;

  // Walks the leaf entries in tree order (entries of a node, then its tail).
  // Every page is visited at most once: a page reached twice, a chain deeper
  // than 32 levels, a child that is not an index page or lies outside the
  // file is a jet::Error. The cursor sees the pages as they were when each
  // was first reached; do not change the tree while a cursor is in use.
  class Cursor {
   public:
    Cursor(Cursor&&) noexcept;
    Cursor& operator=(Cursor&&) noexcept;
    ~Cursor();
    // Moves to the next entry; false at the end.
    bool next();
    const IndexEntry& entry() const;
    // The leaf page holding the current entry.
    uint32_t page() const;

   private:
    friend class IndexBtree;
    struct Rep;
    explicit Cursor(std::unique_ptr<Rep> rep);
    std::unique_ptr<Rep> rep_;
  };

  // A cursor before the first entry.
  Cursor begin() const;
  // The same for one pass over the whole index: it decodes each page from
  // the pager as it reaches it and keeps none, so that a walk over a large
  // index does not fill the cache of decoded pages (only outside a pager
  // operation, when every page's bytes are current).
  Cursor walk() const;
  // A cursor before the first entry whose (key, row) is >= (key, row).
  Cursor seek(const std::vector<uint8_t>& key, RowId row = RowId{}) const;
  // The rows whose entry key equals `key`, in index order.
  std::vector<RowId> find(const std::vector<uint8_t>& key) const;
  // The rows whose entry key starts with `prefix`, in index order. Since
  // each column's key bytes delimit themselves, the key of the leading
  // columns of a multi-column index finds every row with those values.
  std::vector<RowId> findPrefix(const std::vector<uint8_t>& prefix) const;
  // True when some entry has exactly this key.
  bool containsKey(const std::vector<uint8_t>& key) const;

  // --- Changing (inside a pager operation) --------------------------------
  //
  // Each call changes pages through Pager::modify/allocatePage; on an
  // exception the caller must roll the operation back.

  // Adds the entry (key, row). Returns true when the tree already held an
  // entry with the same key (and another row). Throws jet::Error if that
  // exact entry exists or the key is too long for a page.
  bool insert(const std::vector<uint8_t>& key, RowId row);
  // Removes the entry (key, row); returns false (changing nothing) when it
  // is not there.
  bool remove(const std::vector<uint8_t>& key, RowId row);

 private:
  struct Writer;
  struct LeafPath;
  LeafPath findLeaf(const std::vector<uint8_t>& key, RowId row) const;

  Pager& pager_;
  IndexPageCache& cache_;  // owned by the pager
  uint32_t tdefPage_;
  uint32_t root_;
  MapRef owned_;
};

// --- Row-level index maintenance -------------------------------------------

// The message of the first unique, required or primary-key index of `table`
// that adding `row` would violate, or nothing. `replacing` names a row being
// updated, whose own entries do not count as duplicates. Reads only.
std::optional<std::string> indexInsertViolation(Pager& pager, const TableDef& table,
                                                const std::vector<Value>& row,
                                                std::optional<RowId> replacing = std::nullopt);

// Adds the entries of `row` (stored at `id`) to every index of `table` and
// counts new distinct keys in each index's unique-entry count (in `table` and
// in its TDEF page). Call indexInsertViolation first: this does not check.
// Throws jet::Error when an index cannot be maintained (unsupported sort
// order or type).
void indexInsertRow(Pager& pager, TableDef& table, const std::vector<Value>& row, RowId id);

// Removes the entries of `row` (stored at `id`) from every index of `table`.
// Throws jet::Error when an entry that should be there is missing.
void indexRemoveRow(Pager& pager, const TableDef& table, const std::vector<Value>& row, RowId id);

// Replaces the entries of the row at `id` (values `before`) by those of
// `after`, touching only the indexes whose key changes (so an unchanged key
// is not counted again as a new distinct key). Call indexInsertViolation
// with `replacing` = id first.
void indexUpdateRow(Pager& pager, TableDef& table, const std::vector<Value>& before,
                    const std::vector<Value>& after, RowId id);

// Candidate rows for `WHERE c1 = v1 AND ... AND ck = vk` through real index
// `realIndex` of `table`, whose first k columns are c1..ck; `values` holds
// v1..vk. The rows are candidates only: keys fold case, drop trailing spaces
// and see only the first 255 characters of a text, so the caller must test
// the condition on each row. Returns nothing when the index cannot answer:
// its keys are not supported, `values` is empty or longer than the index, a
// value is NULL, or a value cannot be held exactly by its column (the caller
// then scans the table).
std::optional<std::vector<RowId>> indexLookup(Pager& pager, const TableDef& table, size_t realIndex,
                                              const std::vector<Value>& values);

// Verifies every index of `table` against its rows: the tree can be walked,
// its entries are in order, and its entries are exactly the keys computed
// from the rows. Returns one message per problem found (empty when all is
// well). Indexes whose keys the engine cannot compute are only walked. The
// memory taken does not grow with the table: at most `entriesInMemory`
// entries of each side are held at once while differences are located.
inline constexpr size_t kCheckEntriesInMemory = 400000;
std::vector<std::string> checkIndexes(Database& db, const TableDef& table,
                                      size_t entriesInMemory = kCheckEntriesInMemory);

}  // namespace jet
