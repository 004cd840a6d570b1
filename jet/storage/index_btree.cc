// Index B-trees.
//
// THE JOB OF THIS LAYER
//
// Every real index of a table is a B-tree of 4096-byte pages whose leaves
// hold one entry per indexed row: the row's key (index_key.h) and the row's
// address. This file decodes and encodes those pages, walks a tree in key
// order, finds the rows of a key, and keeps a tree correct when rows are
// added and removed: splitting pages that overflow, freeing pages that empty,
// and keeping the copies that node pages hold of their children's greatest
// entries up to date. The row-level functions at the end apply one row change
// to every index of a table, refuse changes that would break a unique or
// required index, and verify a whole table's indexes against its rows.
//
// PAGE LAYOUT (leaf pages have type 04, node pages 03)
//
//    0   type, 01
//    2   free space: 4096 - 480 - bytes of entries
//    4   TDEF page of the table
//   12   previous page at the same level (0 = none)
//   16   next page at the same level (0 = none)
//   20   node pages: the "tail" child, the last child, which has no entry
//   24   prefix length: later entries omit this many leading bytes, which are
//        the same as the first entry's
//   27   entry mask, 453 bytes: bit b (LSB first) is set where an entry ends,
//        b counted from offset 480; the first entry starts at 480
//  480   the entries, at most 3616 bytes after prefix compression
//
// A leaf entry is the key followed by the data row: a 3-byte big-endian page
// and a 1-byte slot. A node entry is a copy of the greatest entry below one
// child (key and row) followed by the child's 4-byte big-endian page number.
// Entries are ordered by key bytes, then row (duplicate keys in a
// non-unique index are told apart by their rows).
//
// INVARIANTS KEPT BY THE WRITER
//
//  * The root page never moves: the table definition points at it. A root
//    that overflows is "nested": its content moves to a new page that
//    becomes the root's child, and that child is split. A root left with a
//    single child takes the child's content back. An empty root is an empty
//    leaf.
//  * Every node entry equals the greatest entry of its child's subtree, so a
//    search for a target takes, at each node, the first entry >= the target,
//    or the tail when there is none.
//  * Tails live on the right edge of the tree only: the root and, below it,
//    each tail's tail. A node on that edge with two or more children keeps
//    its last child as the tail; with one child it keeps it as an entry.
//    Every other node has entries only, so its last entry is its greatest.
//  * Pages of one level are linked in key order through prev/next; a page
//    made by a split is linked just before the page it came from, which
//    keeps its last entries (and so its entry in the parent).
//  * A page is split when its entries, prefix-compressed, exceed 3616 bytes;
//    the split is by size, so every part fits.
//  * Every page the tree uses is in the index's owned-pages map and marked
//    used in the global map; a page that empties (other than the root) is
//    unlinked from its level, removed from its parent and both maps, and its
//    header cleared.
//
// FAILURE MODEL
//
// Reading trusts nothing on a page: every offset, mask bit and length is
// checked against the page, every child against the file size, and a walk
// visits each page at most once and at most 32 levels deep, so a corrupt or
// cyclic tree gives a jet::Error naming the page, never a crash or a loop.
// Changes are made on decoded copies of the pages and written with
// Pager::modify only when the whole change has been worked out (new pages
// are allocated on the way). All of it happens inside the caller's pager
// operation, whose journal makes it atomic: after an exception the caller
// rolls the operation back and the file is as it was. Decoded pages are
// cached, but a cached decoding is used only while the page's bytes are
// exactly the bytes it was decoded from.
#include "jet/storage/index_btree.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <unordered_set>

#include "jet/storage/bytes.h"
#include "jet/storage/error.h"
#include "jet/storage/index_key.h"
#include "jet/storage/usage_map.h"

namespace jet {

namespace {

constexpr size_t kMaskOffset = 27;
constexpr size_t kMaskBytes = 453;
constexpr size_t kEntriesOffset = 480;
constexpr size_t kMaxDepth = 32;
constexpr size_t kLeafRowBytes = 4;   // page (3) + slot (1)
constexpr size_t kNodeExtraBytes = 8; // row (4) + child page (4)

uint32_t be24(const uint8_t* p) { return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]; }
uint32_t be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

size_t entryBytes(const IndexEntry& e, bool leaf) {
  return e.key.size() + (leaf ? kLeafRowBytes : kNodeExtraBytes);
}

void appendEntryBytes(std::vector<uint8_t>& out, const IndexEntry& e, bool leaf) {
  out.insert(out.end(), e.key.begin(), e.key.end());
  out.push_back(static_cast<uint8_t>(e.row.page >> 16));
  out.push_back(static_cast<uint8_t>(e.row.page >> 8));
  out.push_back(static_cast<uint8_t>(e.row.page));
  out.push_back(e.row.row);
  if (!leaf) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(e.child >> s));
  }
}

size_t commonPrefix(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  size_t n = std::min(a.size(), b.size());
  size_t i = 0;
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

// Bytes taken by entries [first, last] of a page, prefix-compressed.
size_t rangeBytes(const std::vector<IndexEntry>& entries, size_t first, size_t last, bool leaf) {
  size_t prefix = first == last ? 0 : commonPrefix(entries[first].key, entries[last].key);
  size_t total = entryBytes(entries[first], leaf);
  for (size_t i = first + 1; i <= last; ++i) total += entryBytes(entries[i], leaf) - prefix;
  return total;
}

bool sameEntry(const IndexEntry& a, const IndexEntry& b) { return a.key == b.key && a.row == b.row; }

}  // namespace

int compareEntries(const std::vector<uint8_t>& keyA, RowId rowA, const std::vector<uint8_t>& keyB,
                   RowId rowB) {
  size_t n = std::min(keyA.size(), keyB.size());
  if (n) {
    int c = std::memcmp(keyA.data(), keyB.data(), n);
    if (c) return c < 0 ? -1 : 1;
  }
  if (keyA.size() != keyB.size()) return keyA.size() < keyB.size() ? -1 : 1;
  if (rowA.page != rowB.page) return rowA.page < rowB.page ? -1 : 1;
  if (rowA.row != rowB.row) return rowA.row < rowB.row ? -1 : 1;
  return 0;
}

// --- Pages ----------------------------------------------------------------------

IndexPage parseIndexPage(const Pager& pager, const PageBuffer& d, uint32_t number) {
  auto fault = [&](const std::string& what) { return Error(pager.faultMessage(number, what)); };
  if ((d[0] != kIndexNodePage && d[0] != kIndexLeafPage) || d[1] != 0x01) {
    throw fault("esperava-se uma página de índice");
  }
  IndexPage page;
  page.number = number;
  page.leaf = d[0] == kIndexLeafPage;
  page.tdefPage = le32(&d[4]);
  page.prev = le32(&d[12]);
  page.next = le32(&d[16]);
  page.tail = page.leaf ? 0 : le32(&d[20]);
  const size_t prefix = le16(&d[24]);
  const size_t minEntry = page.leaf ? kLeafRowBytes : kNodeExtraBytes;

  size_t count = 0;
  for (size_t i = 0; i < kMaskBytes; ++i) count += static_cast<size_t>(std::popcount(d[kMaskOffset + i]));
  page.entries.reserve(count);

  // Entry k is the first entry's first `prefix` bytes followed by the bytes
  // stored between the (k-1)th and kth mask bits (the first entry is whole).
  const uint8_t* first = nullptr;
  size_t start = 0;
  for (size_t byte = 0; byte < kMaskBytes; ++byte) {
    const uint8_t bits = d[kMaskOffset + byte];
    if (!bits) continue;
    for (size_t b = 0; b < 8; ++b) {
      if (!((bits >> b) & 1)) continue;
      const size_t bit = byte * 8 + b;
      if (bit > kIndexPageCapacity) throw fault("máscara de entradas do índice além do fim da página");
      if (bit <= start) throw fault("entrada de índice vazia");
      const uint8_t* stored = d.data() + kEntriesOffset + start;
      const size_t len = bit - start;
      size_t shared = prefix;
      if (!first) {
        if (prefix > len) throw fault("prefixo comum maior que a primeira entrada do índice");
        first = stored;
        shared = 0;
      }
      const size_t total = shared + len;
      if (total < minEntry) throw fault("entrada de índice curta demais");
      const size_t keyLen = total - minEntry;
      auto byteAt = [&](size_t i) { return i < shared ? first[i] : stored[i - shared]; };
      IndexEntry e;
      e.key.reserve(keyLen);
      if (keyLen <= shared) {
        e.key.assign(first, first + keyLen);
      } else {
        e.key.assign(first, first + shared);
        e.key.insert(e.key.end(), stored, stored + (keyLen - shared));
      }
      uint8_t tailBytes[kNodeExtraBytes];
      for (size_t i = 0; i < minEntry; ++i) tailBytes[i] = byteAt(keyLen + i);
      e.row.page = be24(tailBytes);
      e.row.row = tailBytes[3];
      if (!page.leaf) e.child = be32(tailBytes + 4);
      page.entries.push_back(std::move(e));
      start = bit;
    }
  }
  if (page.entries.empty() && prefix != 0) throw fault("prefixo comum numa página de índice vazia");
  return page;
}

size_t indexPageUsedBytes(const IndexPage& page) {
  if (page.entries.empty()) return 0;
  return rangeBytes(page.entries, 0, page.entries.size() - 1, page.leaf);
}

void encodeIndexPage(const IndexPage& page, PageBuffer& out) {
  const size_t used = indexPageUsedBytes(page);
  if (used > kIndexPageCapacity) {
    throw Error("Página de índice " + std::to_string(page.number) + " cheia demais (" +
                std::to_string(used) + " bytes).");
  }
  out.fill(0);
  out[0] = page.leaf ? kIndexLeafPage : kIndexNodePage;
  out[1] = 0x01;
  putLe16(&out[2], static_cast<uint16_t>(kPageSize - kEntriesOffset - used));
  putLe32(&out[4], page.tdefPage);
  putLe32(&out[12], page.prev);
  putLe32(&out[16], page.next);
  putLe32(&out[20], page.leaf ? 0 : page.tail);
  size_t prefix = 0;
  if (page.entries.size() > 1) prefix = commonPrefix(page.entries.front().key, page.entries.back().key);
  putLe16(&out[24], static_cast<uint16_t>(prefix));
  std::vector<uint8_t> bytes;
  size_t pos = 0;
  for (size_t i = 0; i < page.entries.size(); ++i) {
    bytes.clear();
    appendEntryBytes(bytes, page.entries[i], page.leaf);
    size_t skip = i == 0 ? 0 : prefix;
    std::memcpy(out.data() + kEntriesOffset + pos, bytes.data() + skip, bytes.size() - skip);
    pos += bytes.size() - skip;
    out[kMaskOffset + pos / 8] = static_cast<uint8_t>(out[kMaskOffset + pos / 8] | (1u << (pos % 8)));
  }
}

// --- Reading ----------------------------------------------------------------------

namespace {

// Decoded index pages, kept while their bytes stay the same. A slot is only
// reused when the page number and all 4096 bytes match, so the cache can
// never hand out a stale decoding, whichever file or operation the page
// came from.
struct DecodedSlot {
  uint32_t number = UINT32_MAX;
  PageBuffer bytes{};
  std::shared_ptr<const IndexPage> page;
};
constexpr size_t kDecodedSlots = 64;

std::array<DecodedSlot, kDecodedSlots>& decodedSlots() {
  thread_local std::unique_ptr<std::array<DecodedSlot, kDecodedSlots>> cache;
  if (!cache) cache = std::make_unique<std::array<DecodedSlot, kDecodedSlots>>();
  return *cache;
}

// Records that `bytes` decode to `page` (a page the writer just encoded).
void rememberDecoded(const PageBuffer& bytes, IndexPage page) {
  DecodedSlot& slot = decodedSlots()[page.number % kDecodedSlots];
  slot.number = page.number;
  slot.bytes = bytes;
  slot.page = std::make_shared<const IndexPage>(std::move(page));
}

std::shared_ptr<const IndexPage> decodedPage(Pager& pager, uint32_t n) {
  PageRef ref = pager.page(n);
  DecodedSlot& slot = decodedSlots()[n % kDecodedSlots];
  if (slot.page && slot.number == n && slot.bytes == *ref) return slot.page;
  auto page = std::make_shared<const IndexPage>(parseIndexPage(pager, *ref, n));
  slot.number = n;
  slot.bytes = *ref;
  slot.page = page;
  return page;
}

}  // namespace

struct IndexBtree::Cursor::Rep {
  struct Frame {
    std::shared_ptr<const IndexPage> page;
    size_t pos = 0;  // leaf: next entry; node: next child (entries.size() = the tail)
  };
  Pager& pager;
  uint32_t root;
  std::vector<Frame> stack;
  std::unordered_set<uint32_t> visited;
  IndexEntry current;
  uint32_t currentPage = 0;
  bool valid = false;

  Rep(Pager& p, uint32_t r) : pager(p), root(r) {}

  void push(uint32_t n, uint32_t from) {
    if (n == 0 || n >= pager.pageCount()) {
      throw Error(pager.faultMessage(from, "página filha de índice " + std::to_string(n) +
                                               " fora do arquivo"));
    }
    if (!visited.insert(n).second) {
      throw Error(pager.faultMessage(n, "a árvore do índice passa duas vezes por esta página"));
    }
    if (stack.size() >= kMaxDepth) throw Error(pager.faultMessage(n, "árvore de índice profunda demais"));
    stack.push_back(Frame{decodedPage(pager, n), 0});
  }

  // Positions the stack before the first entry >= target.
  void descend(const std::vector<uint8_t>& key, RowId row) {
    push(root, root);
    for (;;) {
      Frame& f = stack.back();
      const auto& es = f.page->entries;
      auto it = std::lower_bound(es.begin(), es.end(), 0, [&](const IndexEntry& e, int) {
        return compareEntries(e.key, e.row, key, row) < 0;
      });
      size_t i = static_cast<size_t>(it - es.begin());
      if (f.page->leaf) {
        f.pos = i;
        return;
      }
      uint32_t from = f.page->number;
      uint32_t child;
      if (i < es.size()) {
        f.pos = i + 1;
        child = es[i].child;
      } else if (f.page->tail) {
        f.pos = es.size() + 1;
        child = f.page->tail;
      } else if (!es.empty()) {
        f.pos = es.size();
        child = es.back().child;
      } else {
        f.pos = 1;
        return;
      }
      push(child, from);
    }
  }

  bool next() {
    while (!stack.empty()) {
      Frame& f = stack.back();
      const size_t n = f.page->entries.size();
      if (f.page->leaf) {
        if (f.pos < n) {
          current = f.page->entries[f.pos++];
          currentPage = f.page->number;
          valid = true;
          return true;
        }
        stack.pop_back();
        continue;
      }
      uint32_t from = f.page->number;
      if (f.pos < n) {
        uint32_t child = f.page->entries[f.pos++].child;
        push(child, from);
      } else if (f.pos == n && f.page->tail) {
        ++f.pos;
        push(f.page->tail, from);
      } else {
        stack.pop_back();
      }
    }
    valid = false;
    return false;
  }
};

IndexBtree::Cursor::Cursor(std::unique_ptr<Rep> rep) : rep_(std::move(rep)) {}
IndexBtree::Cursor::Cursor(Cursor&&) noexcept = default;
IndexBtree::Cursor& IndexBtree::Cursor::operator=(Cursor&&) noexcept = default;
IndexBtree::Cursor::~Cursor() = default;
bool IndexBtree::Cursor::next() { return rep_->next(); }
const IndexEntry& IndexBtree::Cursor::entry() const { return rep_->current; }
uint32_t IndexBtree::Cursor::page() const { return rep_->currentPage; }

IndexBtree::IndexBtree(Pager& pager, uint32_t tdefPage, const RealIndexDef& index)
    : pager_(pager), tdefPage_(tdefPage), root_(index.rootPage), owned_(index.ownedPages) {}
IndexBtree::IndexBtree(Pager& pager, uint32_t tdefPage, uint32_t rootPage, MapRef ownedPages)
    : pager_(pager), tdefPage_(tdefPage), root_(rootPage), owned_(ownedPages) {}
IndexBtree::~IndexBtree() = default;

IndexBtree::Cursor IndexBtree::begin() const {
  auto rep = std::make_unique<Cursor::Rep>(pager_, root_);
  rep->push(root_, root_);
  return Cursor(std::move(rep));
}

IndexBtree::Cursor IndexBtree::seek(const std::vector<uint8_t>& key, RowId row) const {
  auto rep = std::make_unique<Cursor::Rep>(pager_, root_);
  rep->descend(key, row);
  return Cursor(std::move(rep));
}

std::vector<RowId> IndexBtree::find(const std::vector<uint8_t>& key) const {
  std::vector<RowId> rows;
  Cursor c = seek(key);
  while (c.next()) {
    const IndexEntry& e = c.entry();
    if (e.key != key) {
      // Entries before the key can only be met in a damaged tree; skip them.
      if (compareEntries(e.key, e.row, key, RowId{}) < 0) continue;
      break;
    }
    rows.push_back(e.row);
  }
  return rows;
}

std::vector<RowId> IndexBtree::findPrefix(const std::vector<uint8_t>& prefix) const {
  std::vector<RowId> rows;
  Cursor c = seek(prefix);
  while (c.next()) {
    const IndexEntry& e = c.entry();
    if (e.key.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), e.key.begin())) {
      rows.push_back(e.row);
      continue;
    }
    if (compareEntries(e.key, e.row, prefix, RowId{}) < 0) continue;
    break;
  }
  return rows;
}

bool IndexBtree::containsKey(const std::vector<uint8_t>& key) const {
  Cursor c = seek(key);
  while (c.next()) {
    const IndexEntry& e = c.entry();
    if (e.key == key) return true;
    if (compareEntries(e.key, e.row, key, RowId{}) > 0) return false;
  }
  return false;
}

// --- Changing ---------------------------------------------------------------------

// The working state of one change: decoded copies of the pages touched, the
// path from the root to the leaf, and the pages made and freed. New pages
// are allocated (and recorded in the usage maps) as the change needs them;
// page contents and freed pages reach the pager only in flush().
struct IndexBtree::Writer {
  struct Step {
    uint32_t page;
    long slot;  // index of the parent's entry leading here; -1 = the parent's tail
  };

  IndexBtree& tree;
  Pager& pager;
  std::map<uint32_t, IndexPage> pages;
  std::set<uint32_t> dirty;
  std::set<uint32_t> freed;
  std::vector<Step> path;

  explicit Writer(IndexBtree& t) : tree(t), pager(t.pager_) {}

  IndexPage& load(uint32_t n, uint32_t from) {
    auto it = pages.find(n);
    if (it != pages.end()) return it->second;
    if (n == 0 || n >= pager.pageCount() || freed.count(n)) {
      throw Error(pager.faultMessage(from, "página de índice " + std::to_string(n) + " inválida"));
    }
    return pages.emplace(n, *decodedPage(pager, n)).first->second;
  }
  IndexPage& at(size_t level) { return pages.at(path[level].page); }
  void touch(uint32_t n) { dirty.insert(n); }

  uint32_t newPage(bool leaf) {
    uint32_t n = allocatePage(pager);
    usageMapAdd(pager, tree.owned_, n);
    IndexPage p;
    p.number = n;
    p.leaf = leaf;
    p.tdefPage = tree.tdefPage_;
    pages[n] = std::move(p);
    touch(n);
    return n;
  }

  void release(uint32_t n) {
    pages.erase(n);
    dirty.erase(n);
    freed.insert(n);
  }

  // Builds the path to the leaf where (key, row) is or belongs.
  void descend(const std::vector<uint8_t>& key, RowId row) {
    path.clear();
    path.push_back(Step{tree.root_, -1});
    std::unordered_set<uint32_t> seen{tree.root_};
    IndexPage* p = &load(tree.root_, tree.root_);
    if (!p->leaf && p->entries.empty() && !p->tail) {
      // A node root without children holds nothing: treat it as the empty leaf.
      p->leaf = true;
      touch(p->number);
    }
    while (!p->leaf) {
      const auto& es = p->entries;
      auto it = std::lower_bound(es.begin(), es.end(), 0, [&](const IndexEntry& e, int) {
        return compareEntries(e.key, e.row, key, row) < 0;
      });
      long slot;
      uint32_t child;
      if (it != es.end()) {
        slot = it - es.begin();
        child = it->child;
      } else if (p->tail) {
        slot = -1;
        child = p->tail;
      } else if (!es.empty()) {
        slot = static_cast<long>(es.size()) - 1;
        child = es.back().child;
      } else {
        throw Error(pager.faultMessage(p->number, "página de índice intermediária vazia"));
      }
      if (!seen.insert(child).second || path.size() >= kMaxDepth) {
        throw Error(pager.faultMessage(child, "ciclo na árvore do índice"));
      }
      uint32_t from = p->number;
      path.push_back(Step{child, slot});
      p = &load(child, from);
    }
  }

  // The greatest entry below page `n` (its last entry, or its tail's).
  IndexEntry greatest(uint32_t n) {
    for (size_t depth = 0; depth < kMaxDepth; ++depth) {
      IndexPage& p = load(n, n);
      if (!p.leaf && p.tail) {
        n = p.tail;
        continue;
      }
      if (p.entries.empty()) throw Error(pager.faultMessage(n, "página de índice vazia"));
      return p.entries.back();
    }
    throw Error(pager.faultMessage(n, "árvore de índice profunda demais"));
  }

  void unlinkFromLevel(IndexPage& p) {
    if (p.prev) {
      IndexPage& q = load(p.prev, p.number);
      if (q.next == p.number) {
        q.next = p.next;
        touch(q.number);
      }
    }
    if (p.next) {
      IndexPage& q = load(p.next, p.number);
      if (q.prev == p.number) {
        q.prev = p.prev;
        touch(q.number);
      }
    }
  }

  // Splits page `n` into as few parts as fit, by size; the page keeps the
  // last part (and its tail), new pages before it take the others. Returns
  // the parent entries for the new pages, in order.
  std::vector<IndexEntry> split(uint32_t n) {
    IndexPage& p = pages.at(n);
    const auto& es = p.entries;
    const size_t count = es.size();
    std::vector<size_t> cuts;  // index of the first entry of each part after the first
    for (size_t parts = 2; parts <= count; ++parts) {
      size_t total = 0;
      for (const auto& e : es) total += entryBytes(e, p.leaf);
      cuts.clear();
      size_t acc = 0;
      for (size_t i = 0; i < count && cuts.size() + 1 < parts; ++i) {
        acc += entryBytes(es[i], p.leaf);
        size_t remaining = count - (i + 1);
        size_t partsLeft = parts - cuts.size() - 1;
        if (remaining < partsLeft) break;
        if (acc * parts >= total * (cuts.size() + 1) || remaining == partsLeft) {
          cuts.push_back(i + 1);
        }
      }
      if (cuts.size() + 1 != parts) continue;
      bool fits = true;
      size_t begin = 0;
      for (size_t k = 0; k <= cuts.size() && fits; ++k) {
        size_t end = k < cuts.size() ? cuts[k] : count;
        fits = end > begin && rangeBytes(es, begin, end - 1, p.leaf) <= kIndexPageCapacity;
        begin = end;
      }
      if (fits) break;
      cuts.clear();
    }
    if (cuts.empty()) throw Error("Entrada longa demais para uma página de índice.");

    std::vector<IndexEntry> all = std::move(p.entries);
    const bool leaf = p.leaf;
    std::vector<IndexEntry> parentEntries;
    uint32_t prevOfFirst = p.prev;
    uint32_t previous = prevOfFirst;
    size_t begin = 0;
    for (size_t k = 0; k < cuts.size(); ++k) {
      uint32_t m = newPage(leaf);
      IndexPage& q = pages.at(m);
      q.entries.assign(std::make_move_iterator(all.begin() + static_cast<std::ptrdiff_t>(begin)),
                       std::make_move_iterator(all.begin() + static_cast<std::ptrdiff_t>(cuts[k])));
      q.prev = previous;
      if (previous) {
        IndexPage& before = load(previous, m);
        before.next = m;
        touch(previous);
      }
      IndexEntry up = q.entries.back();
      up.child = m;
      parentEntries.push_back(std::move(up));
      previous = m;
      begin = cuts[k];
    }
    IndexPage& orig = pages.at(n);
    orig.entries.assign(std::make_move_iterator(all.begin() + static_cast<std::ptrdiff_t>(begin)),
                        std::make_move_iterator(all.end()));
    for (size_t k = 0; k < parentEntries.size(); ++k) {
      IndexPage& q = pages.at(parentEntries[k].child);
      q.next = k + 1 < parentEntries.size() ? parentEntries[k + 1].child : n;
    }
    orig.prev = previous;
    touch(n);
    return parentEntries;
  }

  // Brings a node on the right edge to its shape: a tail when it has two or
  // more children, an entry when it has one.
  void shapeEdgeNode(IndexPage& p) {
    if (p.leaf) return;
    if (!p.tail && p.entries.size() >= 2) {
      p.tail = p.entries.back().child;
      p.entries.pop_back();
      touch(p.number);
    } else if (p.tail && p.entries.empty()) {
      IndexEntry e = greatest(p.tail);
      e.child = p.tail;
      p.tail = 0;
      p.entries.push_back(std::move(e));
      touch(p.number);
    }
  }

  // Restores the invariants from the leaf of `path` up to the root, after
  // the leaf changed.
  void settle() {
    for (size_t level = path.size(); level-- > 0;) {
      const uint32_t n = path[level].page;
      const long slot = path[level].slot;
      if (level == 0) {
        settleRoot();
        return;
      }
      IndexPage& parent = at(level - 1);
      IndexPage* p = &pages.at(n);
      const bool empty = p->entries.empty() && (p->leaf || !p->tail);
      if (empty) {
        unlinkFromLevel(*p);
        if (slot >= 0) {
          parent.entries.erase(parent.entries.begin() + slot);
        } else {
          parent.tail = 0;
          if (!parent.entries.empty()) {
            parent.tail = parent.entries.back().child;
            parent.entries.pop_back();
          }
        }
        touch(parent.number);
        release(n);
        continue;
      }
      if (slot < 0) shapeEdgeNode(*p);
      if (slot >= 0) {
        IndexEntry g = greatest(n);
        IndexEntry& mine = parent.entries[static_cast<size_t>(slot)];
        if (!sameEntry(g, mine)) {
          mine.key = std::move(g.key);
          mine.row = g.row;
          touch(parent.number);
        }
      }
      p = &pages.at(n);
      if (indexPageUsedBytes(*p) > kIndexPageCapacity) {
        std::vector<IndexEntry> ups = split(n);
        IndexPage& par = at(level - 1);
        size_t where = slot >= 0 ? static_cast<size_t>(slot) : par.entries.size();
        par.entries.insert(par.entries.begin() + static_cast<std::ptrdiff_t>(where),
                           std::make_move_iterator(ups.begin()), std::make_move_iterator(ups.end()));
        touch(par.number);
      }
    }
  }

  void settleRoot() {
    IndexPage& root = pages.at(tree.root_);
    if (!root.leaf && root.entries.empty() && !root.tail) {
      // Every child is gone: the root becomes an empty leaf.
      root.leaf = true;
      touch(root.number);
    }
    shapeEdgeNode(root);
    // A root with a single child takes the child's content back.
    for (size_t guard = 0; guard < kMaxDepth; ++guard) {
      IndexPage& r = pages.at(tree.root_);
      if (r.leaf || r.tail || r.entries.size() != 1) break;
      uint32_t c = r.entries.front().child;
      IndexPage child = load(c, r.number);
      r.leaf = child.leaf;
      r.tail = child.tail;
      r.entries = std::move(child.entries);
      r.prev = 0;
      r.next = 0;
      touch(r.number);
      release(c);
      shapeEdgeNode(r);
    }
    IndexPage& r = pages.at(tree.root_);
    if (indexPageUsedBytes(r) > kIndexPageCapacity) {
      // Nest: the root's content moves to a new child, which is split.
      uint32_t c = newPage(r.leaf);
      IndexPage& child = pages.at(c);
      IndexPage& root2 = pages.at(tree.root_);
      child.entries = std::move(root2.entries);
      child.tail = root2.tail;
      root2.entries.clear();
      root2.leaf = false;
      root2.tail = c;
      root2.prev = root2.next = 0;
      touch(root2.number);
      std::vector<IndexEntry> ups = split(c);
      IndexPage& root3 = pages.at(tree.root_);
      root3.entries = std::move(ups);
      shapeEdgeNode(root3);
      if (indexPageUsedBytes(root3) > kIndexPageCapacity) {
        throw Error("Entrada longa demais para uma página de índice.");
      }
    }
  }

  void flush() {
    for (uint32_t n : freed) {
      usageMapRemove(pager, tree.owned_, n);
      freePage(pager, n);
    }
    for (uint32_t n : dirty) {
      IndexPage& p = pages.at(n);
      if (p.leaf) p.tail = 0;
      PageBuffer& out = pager.modify(n);
      encodeIndexPage(p, out);
      rememberDecoded(out, std::move(p));
    }
  }
};

bool IndexBtree::insert(const std::vector<uint8_t>& key, RowId row) {
  if (key.size() + kNodeExtraBytes > kIndexPageCapacity / 2) {
    throw Error("Chave longa demais para o índice.");
  }
  Writer w(*this);
  w.descend(key, row);
  IndexPage& leaf = w.at(w.path.size() - 1);
  auto it = std::lower_bound(leaf.entries.begin(), leaf.entries.end(), 0,
                             [&](const IndexEntry& e, int) {
                               return compareEntries(e.key, e.row, key, row) < 0;
                             });
  if (it != leaf.entries.end() && it->key == key && it->row == row) {
    throw Error("A entrada já existe no índice.");
  }
  // Entries with the same key are next to each other, possibly across the
  // boundary with a neighbouring leaf.
  const size_t pos = static_cast<size_t>(it - leaf.entries.begin());
  bool sameKey = (pos > 0 && leaf.entries[pos - 1].key == key) ||
                 (pos < leaf.entries.size() && leaf.entries[pos].key == key);
  if (!sameKey && pos == 0 && leaf.prev) {
    auto before = decodedPage(pager_, leaf.prev);
    sameKey = !before->entries.empty() && before->entries.back().key == key;
  }
  if (!sameKey && pos == leaf.entries.size() && leaf.next) {
    auto after = decodedPage(pager_, leaf.next);
    sameKey = !after->entries.empty() && after->entries.front().key == key;
  }
  IndexEntry e;
  e.key = key;
  e.row = row;
  leaf.entries.insert(it, std::move(e));
  w.touch(leaf.number);
  w.settle();
  w.flush();
  return sameKey;
}

bool IndexBtree::remove(const std::vector<uint8_t>& key, RowId row) {
  Writer w(*this);
  w.descend(key, row);
  IndexPage& leaf = w.at(w.path.size() - 1);
  auto it = std::find_if(leaf.entries.begin(), leaf.entries.end(),
                         [&](const IndexEntry& e) { return e.key == key && e.row == row; });
  if (it == leaf.entries.end()) return false;
  leaf.entries.erase(it);
  w.touch(leaf.number);
  w.settle();
  w.flush();
  return true;
}

// --- Row-level maintenance ------------------------------------------------------------

namespace {

std::string indexName(const TableDef& table, size_t real) {
  for (const IndexDef& ix : table.indexes) {
    if (ix.realIndex == real) return ix.name;
  }
  return "#" + std::to_string(real);
}

bool isPrimaryKey(const TableDef& table, size_t real) {
  for (const IndexDef& ix : table.indexes) {
    if (ix.realIndex == real && ix.primaryKey()) return true;
  }
  return false;
}

// Whether the row has an entry in the index at all.
bool rowHasEntry(const TableDef& table, const RealIndexDef& index, const std::vector<Value>& row) {
  return !(index.ignoreNulls() && rowKeyAllNull(table, index, row));
}

constexpr size_t kUniqueCountOffset = 63 + 4;
constexpr size_t kRealIndexHeaderBytes = 12;

// Counts one more distinct key in index `i`, in the definition and in the
// table's TDEF page. The count is never decreased.
void countNewKey(Pager& pager, TableDef& table, size_t i) {
  RealIndexDef& index = table.realIndexes[i];
  ++index.uniqueEntryCount;
  PageBuffer& tdef = pager.modify(table.tdefPage);
  size_t off = kUniqueCountOffset + kRealIndexHeaderBytes * i;
  if (off + 4 <= kPageSize) putLe32(&tdef[off], index.uniqueEntryCount);
}

[[noreturn]] void missingEntry(Pager& pager, const TableDef& table, size_t i, RowId id) {
  throw Error(pager.faultMessage(table.realIndexes[i].rootPage,
                                 "o índice '" + indexName(table, i) + "' da tabela '" + table.name +
                                     "' não tem a entrada da linha " + std::to_string(id.page) +
                                     ":" + std::to_string(id.row)));
}

}  // namespace

std::optional<std::string> indexInsertViolation(Pager& pager, const TableDef& table,
                                                const std::vector<Value>& row,
                                                std::optional<RowId> replacing) {
  for (size_t i = 0; i < table.realIndexes.size(); ++i) {
    const RealIndexDef& index = table.realIndexes[i];
    if (index.columns.empty()) continue;
    const std::string name = indexName(table, i);
    if (!indexKeysSupported(table, index)) {
      return "A tabela '" + table.name + "' tem o índice '" + name +
             "', que o mecanismo não sabe manter (tipo de coluna ou ordem de classificação não "
             "suportada); a tabela só pode ser lida.";
    }
    if ((index.required() || isPrimaryKey(table, i)) && rowKeyAnyNull(table, index, row)) {
      return "O índice '" + name + "' da tabela '" + table.name +
             "' não aceita valores nulos.";
    }
    if (!index.unique() || rowKeyAllNull(table, index, row)) continue;
    IndexBtree tree(pager, table.tdefPage, index);
    for (RowId other : tree.find(rowKey(table, index, row))) {
      if (replacing && other == *replacing) continue;
      return "As alterações solicitadas não foram bem-sucedidas porque criariam valores "
             "duplicados no índice '" + name + "' da tabela '" + table.name + "'.";
    }
  }
  return std::nullopt;
}

void indexInsertRow(Pager& pager, TableDef& table, const std::vector<Value>& row, RowId id) {
  for (size_t i = 0; i < table.realIndexes.size(); ++i) {
    const RealIndexDef& index = table.realIndexes[i];
    if (index.columns.empty() || !rowHasEntry(table, index, row)) continue;
    std::vector<uint8_t> key = rowKey(table, index, row);
    IndexBtree tree(pager, table.tdefPage, index);
    if (!tree.insert(key, id)) countNewKey(pager, table, i);
  }
}

void indexRemoveRow(Pager& pager, const TableDef& table, const std::vector<Value>& row, RowId id) {
  for (size_t i = 0; i < table.realIndexes.size(); ++i) {
    const RealIndexDef& index = table.realIndexes[i];
    if (index.columns.empty() || !rowHasEntry(table, index, row)) continue;
    IndexBtree tree(pager, table.tdefPage, index);
    if (!tree.remove(rowKey(table, index, row), id)) missingEntry(pager, table, i, id);
  }
}

void indexUpdateRow(Pager& pager, TableDef& table, const std::vector<Value>& before,
                    const std::vector<Value>& after, RowId id) {
  for (size_t i = 0; i < table.realIndexes.size(); ++i) {
    const RealIndexDef& index = table.realIndexes[i];
    if (index.columns.empty()) continue;
    const bool had = rowHasEntry(table, index, before);
    const bool has = rowHasEntry(table, index, after);
    std::vector<uint8_t> oldKey, newKey;
    if (had) oldKey = rowKey(table, index, before);
    if (has) newKey = rowKey(table, index, after);
    if (had == has && oldKey == newKey) continue;
    IndexBtree tree(pager, table.tdefPage, index);
    if (had && !tree.remove(oldKey, id)) missingEntry(pager, table, i, id);
    if (has) {
      if (!tree.insert(newKey, id)) countNewKey(pager, table, i);
    }
  }
}

std::optional<std::vector<RowId>> indexLookup(Pager& pager, const TableDef& table, size_t realIndex,
                                              const std::vector<Value>& values) {
  if (realIndex >= table.realIndexes.size()) return std::nullopt;
  const RealIndexDef& index = table.realIndexes[realIndex];
  if (values.empty() || values.size() > index.columns.size()) return std::nullopt;
  if (!indexKeysSupported(table, index)) return std::nullopt;
  std::vector<uint8_t> prefix;
  for (size_t k = 0; k < values.size(); ++k) {
    if (values[k].isNull()) return std::nullopt;
    const IndexColumn& ic = index.columns[k];
    const ColumnDef& col = table.columns[static_cast<size_t>(table.positionOfNumber(ic.columnNumber))];
    try {
      appendKeyPart(prefix, values[k], col.type, ic.ascending);
    } catch (const Error&) {
      return std::nullopt;
    }
  }
  IndexBtree tree(pager, table.tdefPage, index);
  if (values.size() == index.columns.size()) return tree.find(prefix);
  return tree.findPrefix(prefix);
}

// --- Verification --------------------------------------------------------------------

namespace {

struct KeyedRow {
  std::vector<uint8_t> key;
  RowId row;
};

bool keyedLess(const KeyedRow& a, const KeyedRow& b) {
  return compareEntries(a.key, a.row, b.key, b.row) < 0;
}

std::string describeRow(RowId r) {
  return "página " + std::to_string(r.page) + ", linha " + std::to_string(r.row);
}

// Walks the tree of one index: entries in order, node entries equal to their
// child's last entry, and the level chains linked both ways. Appends
// problems to `out`; returns the leaf entries.
std::vector<KeyedRow> walkIndex(Database& db, const TableDef& table, const RealIndexDef& index,
                                const std::string& label, std::vector<std::string>& out) {
  Pager& pager = db.pager();
  std::vector<KeyedRow> entries;
  std::unordered_set<uint32_t> visited;
  // Pages of each level in walk order, to check the sibling links.
  std::vector<std::vector<IndexPage>> levels;
  size_t leafDepth = SIZE_MAX;
  size_t problems = 0;
  auto report = [&](const std::string& m) {
    if (problems++ < 5) out.push_back(label + ": " + m + ".");
  };

  // Depth-first walk, children in order; the depth is bounded by kMaxDepth.
  std::function<void(uint32_t, size_t, const IndexEntry*)> visit =
      [&](uint32_t n, size_t depth, const IndexEntry* bound) {
        if (n == 0 || n >= pager.pageCount()) {
          throw Error(pager.faultMessage(n, "página de índice fora do arquivo"));
        }
        if (!visited.insert(n).second) {
          throw Error(pager.faultMessage(n, "a árvore do índice passa duas vezes por esta página"));
        }
        if (depth >= kMaxDepth) throw Error(pager.faultMessage(n, "árvore de índice profunda demais"));
        PageRef ref = pager.page(n);
        IndexPage p = parseIndexPage(pager, *ref, n);
        if (p.tdefPage != table.tdefPage) {
          report("a página " + std::to_string(n) + " pertence a outra tabela (" +
                 std::to_string(p.tdefPage) + ")");
        }
        if (bound && !p.tail) {
          if (p.entries.empty() || !sameEntry(p.entries.back(), *bound)) {
            report("a entrada da página intermediária para a página " + std::to_string(n) +
                   " não é a última entrada desta");
          }
        }
        if (levels.size() <= depth) levels.resize(depth + 1);
        IndexPage copy = p;
        if (p.leaf) {
          if (leafDepth == SIZE_MAX) leafDepth = depth;
          if (depth != leafDepth) report("folhas em profundidades diferentes (página " + std::to_string(n) + ")");
          for (const IndexEntry& e : p.entries) entries.push_back(KeyedRow{e.key, e.row});
        } else {
          for (const IndexEntry& e : p.entries) visit(e.child, depth + 1, &e);
          if (p.tail) visit(p.tail, depth + 1, nullptr);
        }
        copy.entries.clear();
        levels[depth].push_back(std::move(copy));
      };
  visit(index.rootPage, 0, nullptr);

  // Every page of the tree must be owned by the index and in use: a page
  // the global map calls free could be handed out again.
  std::vector<uint32_t> ownedList = usageMapPages(pager, index.ownedPages);
  std::unordered_set<uint32_t> owned(ownedList.begin(), ownedList.end());
  std::vector<uint32_t> treePages(visited.begin(), visited.end());
  std::sort(treePages.begin(), treePages.end());
  for (uint32_t n : treePages) {
    if (!owned.count(n)) report("a página " + std::to_string(n) + " não consta do mapa de páginas do índice");
    if (!globalMapUsed(pager, n)) report("a página " + std::to_string(n) + " está marcada como livre");
  }

  for (size_t i = 1; i < entries.size(); ++i) {
    if (!keyedLess(entries[i - 1], entries[i])) {
      report("entradas fora de ordem ou repetidas (" + describeRow(entries[i - 1].row) + " e " +
             describeRow(entries[i].row) + ")");
    }
  }
  // Leaves form one chain; node pages may be chained per parent only.
  for (size_t d = 0; d < levels.size(); ++d) {
    const auto& lv = levels[d];
    bool leafLevel = !lv.empty() && lv.front().leaf;
    for (size_t i = 0; i < lv.size(); ++i) {
      uint32_t expectPrev = i > 0 ? lv[i - 1].number : 0;
      uint32_t expectNext = i + 1 < lv.size() ? lv[i + 1].number : 0;
      if (leafLevel && (lv[i].prev != expectPrev || lv[i].next != expectNext)) {
        report("ligações anterior/seguinte erradas na página " + std::to_string(lv[i].number));
      }
    }
  }
  if (problems > 5) out.push_back(label + ": mais " + std::to_string(problems - 5) + " problemas.");
  return entries;
}

}  // namespace

std::vector<std::string> checkIndexes(Database& db, const TableDef& table) {
  std::vector<std::string> out;
  if (table.realIndexes.empty()) return out;

  std::vector<std::vector<KeyedRow>> expected(table.realIndexes.size());
  std::vector<char> supported(table.realIndexes.size());
  for (size_t i = 0; i < table.realIndexes.size(); ++i) {
    supported[i] = indexKeysSupported(table, table.realIndexes[i]);
  }
  bool anySupported = std::any_of(supported.begin(), supported.end(), [](char c) { return c; });
  if (anySupported) {
    try {
      TableScan scan(db, table);
      while (scan.next()) {
        const auto& row = scan.values();
        for (size_t i = 0; i < table.realIndexes.size(); ++i) {
          const RealIndexDef& index = table.realIndexes[i];
          if (!supported[i] || !rowHasEntry(table, index, row)) continue;
          expected[i].push_back(KeyedRow{rowKey(table, index, row), scan.rowId()});
        }
      }
    } catch (const Error& e) {
      out.push_back("Tabela '" + table.name + "': " + e.what());
      return out;
    }
  }

  for (size_t i = 0; i < table.realIndexes.size(); ++i) {
    const RealIndexDef& index = table.realIndexes[i];
    const std::string label = "Índice '" + indexName(table, i) + "' da tabela '" + table.name + "'";
    std::vector<KeyedRow> actual;
    try {
      actual = walkIndex(db, table, index, label, out);
    } catch (const Error& e) {
      out.push_back(label + ": " + e.what());
      continue;
    }
    if (!supported[i]) continue;
    std::vector<KeyedRow>& want = expected[i];
    std::sort(want.begin(), want.end(), keyedLess);
    std::sort(actual.begin(), actual.end(), keyedLess);
    std::vector<KeyedRow> missing, extra;
    std::set_difference(want.begin(), want.end(), actual.begin(), actual.end(),
                        std::back_inserter(missing), keyedLess);
    std::set_difference(actual.begin(), actual.end(), want.begin(), want.end(),
                        std::back_inserter(extra), keyedLess);
    size_t shown = 0;
    for (const KeyedRow& k : missing) {
      if (shown++ < 5) {
        out.push_back(label + ": falta a entrada da linha (" + describeRow(k.row) +
                      ") com a chave calculada a partir dos seus valores.");
      }
    }
    for (const KeyedRow& k : extra) {
      if (shown++ < 5) {
        out.push_back(label + ": a entrada da linha (" + describeRow(k.row) +
                      ") não corresponde a nenhuma linha com esses valores.");
      }
    }
    if (shown > 5) {
      out.push_back(label + ": " + std::to_string(missing.size()) + " entradas faltando e " +
                    std::to_string(extra.size()) + " sobrando ao todo.");
    }
  }
  return out;
}

}  // namespace jet
