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
// HOW CHANGES ARE MADE
//
// Pages are decoded into a flat form (FlatIndexPage: the entries' full keys
// in one byte arena, and a small record per entry) and kept, per pager, in a
// cache (IndexPageCache). Most changes touch one leaf and nothing above it:
// an insert into a leaf with room that does not become the leaf's last entry
// (or whose leaf is on the right edge, where no node entry copies it), or a
// removal that neither empties the leaf nor takes its last entry. Those are
// made in place on the cached page. Every other change goes through Writer,
// which works on decoded copies of the pages it touches, settles the whole
// tree from the leaf up and only then hands the new pages to the cache.
//
// A page changed through the cache is "deferred" in the pager: its bytes are
// encoded from the cached page only when something reads the page through
// the pager, and at commit. So a leaf that takes many inserts in one
// operation is encoded once.
//
// FAILURE MODEL
//
// Reading trusts nothing on a page: every offset, mask bit and length is
// checked against the page, every child against the file size, and a walk
// visits each page at most once and at most 32 levels deep, so a corrupt or
// cyclic tree gives a jet::Error naming the page, never a crash or a loop.
// Every check that can refuse a change (a duplicate entry, a key too long, a
// damaged path) is made before the first page is changed. All of it happens
// inside the caller's pager operation, whose journal makes it atomic: after
// an exception the caller rolls the operation back and the file is as it
// was. The cache follows the pager's operations (see IndexPageCache): a
// cached page is handed out only while it is known to equal its page's
// bytes, or while it is the page's deferred content in the current
// operation; a rollback drops every page the operation touched.
#include "jet/storage/index_btree.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <unordered_map>
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

size_t commonPrefix(const uint8_t* a, size_t an, const uint8_t* b, size_t bn) {
  size_t n = std::min(an, bn);
  size_t i = 0;
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

int compareKeys(const uint8_t* a, size_t an, RowId ra, const uint8_t* b, size_t bn, RowId rb) {
  size_t n = std::min(an, bn);
  if (n <= 16) {
    // Most keys are short (numbers, dates, codes): no call for them.
    for (size_t i = 0; i < n; ++i) {
      if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
  } else if (int c = std::memcmp(a, b, n)) {
    return c < 0 ? -1 : 1;
  }
  if (an != bn) return an < bn ? -1 : 1;
  if (ra.page != rb.page) return ra.page < rb.page ? -1 : 1;
  if (ra.row != rb.row) return ra.row < rb.row ? -1 : 1;
  return 0;
}

// --- Helpers on the exploded form (IndexPage), used by Writer ---

size_t entryBytes(const IndexEntry& e, bool leaf) {
  return e.key.size() + (leaf ? kLeafRowBytes : kNodeExtraBytes);
}

// Bytes taken by entries [first, last] of a page, prefix-compressed.
size_t rangeBytes(const std::vector<IndexEntry>& entries, size_t first, size_t last, bool leaf) {
  size_t prefix = first == last ? 0
                                : commonPrefix(entries[first].key.data(), entries[first].key.size(),
                                               entries[last].key.data(), entries[last].key.size());
  size_t total = entryBytes(entries[first], leaf);
  for (size_t i = first + 1; i <= last; ++i) total += entryBytes(entries[i], leaf) - prefix;
  return total;
}

bool sameEntry(const IndexEntry& a, const IndexEntry& b) { return a.key == b.key && a.row == b.row; }

}  // namespace

int compareEntries(const std::vector<uint8_t>& keyA, RowId rowA, const std::vector<uint8_t>& keyB,
                   RowId rowB) {
  return compareKeys(keyA.data(), keyA.size(), rowA, keyB.data(), keyB.size(), rowB);
}

// --- Flat pages -------------------------------------------------------------------

// A decoded index page in the form the cache keeps and changes in place: the
// full (uncompressed) keys of all entries in one byte arena, in any order,
// and one fixed-size record per entry, in entry order. Inserting or removing
// an entry moves only the records; the arena is compacted when it holds
// twice the live keys.
struct FlatIndexPage {
  struct Entry {
    uint32_t keyOffset = 0;
    uint32_t rowPage = 0;
    uint32_t child = 0;
    uint16_t keyLength = 0;
    uint8_t rowSlot = 0;
  };

  uint32_t number = 0;
  bool leaf = true;
  uint32_t tdefPage = 0;
  uint32_t prev = 0;
  uint32_t next = 0;
  uint32_t tail = 0;
  std::vector<Entry> entries;
  std::vector<uint8_t> keys;
  size_t entryBytes = 0;    // bytes of all entries before prefix compression
  size_t liveKeyBytes = 0;  // arena bytes that belong to an entry

  size_t size() const { return entries.size(); }
  size_t extraBytes() const { return leaf ? kLeafRowBytes : kNodeExtraBytes; }
  const uint8_t* key(size_t i) const { return keys.data() + entries[i].keyOffset; }
  size_t keyLength(size_t i) const { return entries[i].keyLength; }
  RowId row(size_t i) const { return RowId{entries[i].rowPage, entries[i].rowSlot}; }

  int compare(size_t i, const uint8_t* k, size_t kn, RowId r) const {
    return compareKeys(key(i), keyLength(i), row(i), k, kn, r);
  }
  bool keyEquals(size_t i, const uint8_t* k, size_t kn) const {
    return keyLength(i) == kn && (kn == 0 || std::memcmp(key(i), k, kn) == 0);
  }
  // The first entry >= (k, r).
  size_t lowerBound(const uint8_t* k, size_t kn, RowId r) const {
    size_t lo = 0, hi = entries.size();
    while (lo < hi) {
      size_t mid = lo + (hi - lo) / 2;
      if (compare(mid, k, kn, r) < 0) lo = mid + 1;
      else hi = mid;
    }
    return lo;
  }

  size_t prefixBytes() const {
    if (entries.size() < 2) return 0;
    size_t last = entries.size() - 1;
    return commonPrefix(key(0), keyLength(0), key(last), keyLength(last));
  }
  // Bytes the entries take once prefix-compressed.
  size_t usedBytes() const { return entries.empty() ? 0 : entryBytes - prefixBytes() * (entries.size() - 1); }
  // The same after inserting an entry with key `k` at `pos`.
  size_t usedBytesWith(size_t pos, const uint8_t* k, size_t kn) const {
    const size_t n = entries.size();
    const size_t total = entryBytes + kn + extraBytes();
    if (n == 0) return total;
    const uint8_t* first = pos == 0 ? k : key(0);
    size_t firstLen = pos == 0 ? kn : keyLength(0);
    const uint8_t* last = pos == n ? k : key(n - 1);
    size_t lastLen = pos == n ? kn : keyLength(n - 1);
    return total - commonPrefix(first, firstLen, last, lastLen) * n;
  }

  void insert(size_t pos, const uint8_t* k, size_t kn, RowId r, uint32_t child = 0) {
    Entry e;
    e.keyOffset = static_cast<uint32_t>(keys.size());
    e.keyLength = static_cast<uint16_t>(kn);
    e.rowPage = r.page;
    e.rowSlot = r.row;
    e.child = child;
    keys.insert(keys.end(), k, k + kn);
    entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(pos), e);
    entryBytes += kn + extraBytes();
    liveKeyBytes += kn;
  }
  void erase(size_t pos) {
    entryBytes -= keyLength(pos) + extraBytes();
    liveKeyBytes -= keyLength(pos);
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(pos));
    if (keys.size() > 2 * liveKeyBytes + 256) compact();
  }
  void compact() {
    std::vector<uint8_t> packed;
    packed.reserve(liveKeyBytes);
    for (Entry& e : entries) {
      const uint32_t offset = static_cast<uint32_t>(packed.size());
      packed.insert(packed.end(), keys.begin() + e.keyOffset, keys.begin() + e.keyOffset + e.keyLength);
      e.keyOffset = offset;
    }
    keys = std::move(packed);
  }
  size_t footprint() const {
    return sizeof(*this) + entries.capacity() * sizeof(Entry) + keys.capacity();
  }
};

namespace {

// Decodes page `number`, checking everything (see parseIndexPage).
FlatIndexPage parseFlat(const Pager& pager, const PageBuffer& d, uint32_t number) {
  auto fault = [&](const std::string& what) { return Error(pager.faultMessage(number, what)); };
  if ((d[0] != kIndexNodePage && d[0] != kIndexLeafPage) || d[1] != 0x01) {
    throw fault("esperava-se uma página de índice");
  }
  FlatIndexPage page;
  page.number = number;
  page.leaf = d[0] == kIndexLeafPage;
  page.tdefPage = le32(&d[4]);
  page.prev = le32(&d[12]);
  page.next = le32(&d[16]);
  page.tail = page.leaf ? 0 : le32(&d[20]);
  const size_t prefix = le16(&d[24]);
  const size_t minEntry = page.extraBytes();

  size_t count = 0;
  for (size_t i = 0; i < kMaskBytes; ++i) count += static_cast<size_t>(std::popcount(d[kMaskOffset + i]));
  page.entries.reserve(count);
  page.keys.reserve(kIndexPageCapacity + std::min<size_t>(prefix, kIndexPageCapacity) * count);

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
      if (keyLen > UINT16_MAX) throw fault("chave de índice longa demais");
      FlatIndexPage::Entry e;
      e.keyOffset = static_cast<uint32_t>(page.keys.size());
      e.keyLength = static_cast<uint16_t>(keyLen);
      if (keyLen <= shared) {
        page.keys.insert(page.keys.end(), first, first + keyLen);
      } else {
        page.keys.insert(page.keys.end(), first, first + shared);
        page.keys.insert(page.keys.end(), stored, stored + (keyLen - shared));
      }
      uint8_t tailBytes[kNodeExtraBytes];
      for (size_t i = 0; i < minEntry; ++i) {
        const size_t at = keyLen + i;
        tailBytes[i] = at < shared ? first[at] : stored[at - shared];
      }
      e.rowPage = be24(tailBytes);
      e.rowSlot = tailBytes[3];
      if (!page.leaf) e.child = be32(tailBytes + 4);
      page.entries.push_back(e);
      page.entryBytes += total;
      page.liveKeyBytes += keyLen;
      start = bit;
    }
  }
  if (page.entries.empty() && prefix != 0) throw fault("prefixo comum numa página de índice vazia");
  return page;
}

void encodeFlat(const FlatIndexPage& page, PageBuffer& out) {
  const size_t used = page.usedBytes();
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
  const size_t prefix = page.prefixBytes();
  putLe16(&out[24], static_cast<uint16_t>(prefix));
  uint8_t* dst = out.data() + kEntriesOffset;
  uint8_t* mask = out.data() + kMaskOffset;
  const size_t extraLen = page.extraBytes();
  size_t pos = 0;
  for (size_t i = 0; i < page.size(); ++i) {
    const FlatIndexPage::Entry& e = page.entries[i];
    // The entry's bytes are key + extra; every entry after the first omits
    // the first `prefix` of them.
    size_t skip = i == 0 ? 0 : prefix;
    const size_t keyLen = e.keyLength;
    if (skip <= keyLen) {
      const uint8_t* k = page.key(i) + skip;
      const size_t n = keyLen - skip;
      if (n <= 16) {
        for (size_t j = 0; j < n; ++j) dst[pos + j] = k[j];
      } else {
        std::memcpy(dst + pos, k, n);
      }
      pos += n;
      skip = 0;
    } else {
      skip -= keyLen;  // only in a page whose entries are out of order
    }
    const uint8_t extra[kNodeExtraBytes] = {
        static_cast<uint8_t>(e.rowPage >> 16), static_cast<uint8_t>(e.rowPage >> 8),
        static_cast<uint8_t>(e.rowPage),       e.rowSlot,
        static_cast<uint8_t>(e.child >> 24),   static_cast<uint8_t>(e.child >> 16),
        static_cast<uint8_t>(e.child >> 8),    static_cast<uint8_t>(e.child)};
    for (size_t j = skip; j < extraLen; ++j) dst[pos++] = extra[j];
    mask[pos / 8] = static_cast<uint8_t>(mask[pos / 8] | (1u << (pos % 8)));
  }
}

IndexPage expand(const FlatIndexPage& f) {
  IndexPage page;
  page.number = f.number;
  page.leaf = f.leaf;
  page.tdefPage = f.tdefPage;
  page.prev = f.prev;
  page.next = f.next;
  page.tail = f.tail;
  page.entries.resize(f.size());
  for (size_t i = 0; i < f.size(); ++i) {
    IndexEntry& e = page.entries[i];
    e.key.assign(f.key(i), f.key(i) + f.keyLength(i));
    e.row = f.row(i);
    e.child = f.entries[i].child;
  }
  return page;
}

FlatIndexPage flatten(const IndexPage& page) {
  FlatIndexPage f;
  f.number = page.number;
  f.leaf = page.leaf;
  f.tdefPage = page.tdefPage;
  f.prev = page.prev;
  f.next = page.next;
  f.tail = page.tail;
  size_t keyBytes = 0;
  for (const IndexEntry& e : page.entries) keyBytes += e.key.size();
  f.keys.reserve(keyBytes);
  f.entries.reserve(page.entries.size());
  for (const IndexEntry& e : page.entries) {
    if (e.key.size() > UINT16_MAX) throw Error("Chave longa demais para o índice.");
    f.insert(f.size(), e.key.data(), e.key.size(), e.row, e.child);
  }
  return f;
}

}  // namespace

// --- Pages (exploded form) ----------------------------------------------------------

IndexPage parseIndexPage(const Pager& pager, const PageBuffer& d, uint32_t number) {
  return expand(parseFlat(pager, d, number));
}

size_t indexPageUsedBytes(const IndexPage& page) {
  if (page.entries.empty()) return 0;
  return rangeBytes(page.entries, 0, page.entries.size() - 1, page.leaf);
}

void encodeIndexPage(const IndexPage& page, PageBuffer& out) { encodeFlat(flatten(page), out); }

// --- The cache of decoded pages -------------------------------------------------------

// Decoded index pages of one pager, kept in step with its operations. Each
// cached page is in one of three states:
//
//   Clean    equals the page's bytes, and the page is not changed in the
//            current operation (if any): handed out as it is;
//   Checked  the page is changed in the current operation and `bytes` holds
//            the bytes the cached page equals: handed out only while the
//            page's bytes are still those;
//   Pending  the cached page is the page's content in the current
//            operation, deferred in the pager, which asks for the bytes
//            (writeDeferred) when it needs them;
//   Written  a Pending page whose bytes the pager took for the commit under
//            way: the page changes no more, and becomes Clean once
//            committed.
//
// A page that anyone else changes through Pager::modify stops being Clean
// (pageChanging drops it), a Pending page that the pager writes out becomes
// Checked (or Written, at commit), committed pages whose bytes match become
// Clean again, and the end of an operation drops every page that is not
// Clean: after a rollback nothing the operation produced is handed out.
//
// Pages are evicted by a clock sweep once the cache holds more than
// kCacheBudget bytes; a Pending page is written into the pager first.
class IndexPageCache final : public PageContentCache {
 public:
  explicit IndexPageCache(Pager& pager) : pager_(pager) {}

  // The cache of `pager`, attached on first use.
  static IndexPageCache& of(Pager& pager) {
    if (auto* c = dynamic_cast<IndexPageCache*>(pager.contentCache())) return *c;
    if (pager.contentCache()) throw Error("Cache de páginas incompatível.");
    auto owned = std::make_unique<IndexPageCache>(pager);
    IndexPageCache& c = *owned;
    pager.setContentCache(std::move(owned));
    return c;
  }

  // Page `n` decoded. Throws jet::Error as parseIndexPage does.
  std::shared_ptr<const FlatIndexPage> get(uint32_t n) { return current(n).page; }

  // Page `n`, to be changed in place in the current operation; its content
  // is from now on held here. Valid until the next call on the cache; call
  // account(n) once the change is made.
  FlatIndexPage& edit(uint32_t n) {
    Slot& s = current(n);
    // A cursor may still hold the decoded page: it keeps the old one.
    if (s.page.use_count() > 1) s.page = std::make_shared<FlatIndexPage>(*s.page);
    makePending(s);
    return *s.page;
  }

  // Replaces the content of page `n` = page.number in the current operation.
  void put(FlatIndexPage page) {
    const uint32_t n = page.number;
    auto content = std::make_shared<FlatIndexPage>(std::move(page));
    Slot* s = find(n);
    if (!s) s = &newSlot(n);
    s->page = std::move(content);
    makePending(*s);
    account(n);
  }

  // Page `n` leaves its tree (it is about to be freed): its content is no
  // longer held here.
  void forget(uint32_t n) {
    Slot* s = find(n);
    if (!s) return;
    if (s->state == State::Pending) pager_.setDeferred(n, false);
    drop(*s);
  }

  // Brings the cache's size up to date after page `n` changed, and evicts
  // other pages when it holds too much.
  void account(uint32_t n) {
    Slot* s = find(n);
    if (!s) return;
    remeasure(*s);
    evictDownTo(kCacheBudget, n);
  }

  void writeDeferred(uint32_t n, PageBuffer& out, bool committing) override {
    Slot* s = find(n);
    if (!s || s->state != State::Pending) {
      throw Error(pager_.faultMessage(n, "página de índice adiada sem conteúdo"));
    }
    encodeFlat(*s->page, out);
    if (committing) {
      s->state = State::Written;
    } else {
      s->state = State::Checked;
      s->bytes = std::make_unique<PageBuffer>(out);
    }
    remeasure(*s);
  }

  void pageChanging(uint32_t n) override {
    if (Slot* s = find(n)) drop(*s);
  }

  void pageCommitted(uint32_t n, const PageBuffer& bytes) override {
    Slot* s = find(n);
    if (!s) return;
    if (s->state == State::Written || (s->state == State::Checked && *s->bytes == bytes)) {
      s->state = State::Clean;
      s->bytes.reset();
      remeasure(*s);
    } else {
      drop(*s);
    }
  }

  void operationEnded() override {
    for (uint32_t n : unsettled_) {
      Slot* s = find(n);
      if (s && s->state != State::Clean) drop(*s);
    }
    unsettled_.clear();
  }

 private:
  static constexpr size_t kCacheBudget = size_t{64} << 20;

  enum class State : uint8_t { Clean, Checked, Pending, Written };
  struct Slot {
    size_t index = 0;  // in slots_
    uint32_t number = 0;
    bool used = false;
    bool referenced = false;
    State state = State::Clean;
    std::shared_ptr<FlatIndexPage> page;
    std::unique_ptr<PageBuffer> bytes;  // Checked: the bytes `page` equals
    size_t footprint = 0;
  };

  // A slot's address is valid until the next newSlot().
  Slot* find(uint32_t n) {
    // The last slot found for each group of page numbers, checked before
    // the map: a tree's upper pages are looked up on every change.
    Hint& hint = recent_[n % recent_.size()];
    if (hint.number == n && hint.index != kNoSlot) return &slots_[hint.index];
    auto it = where_.find(n);
    if (it == where_.end()) return nullptr;
    hint = Hint{n, it->second};
    return &slots_[it->second];
  }

  Slot& newSlot(uint32_t n) {
    size_t i;
    if (!free_.empty()) {
      i = free_.back();
      free_.pop_back();
    } else {
      i = slots_.size();
      slots_.emplace_back();
    }
    Slot& s = slots_[i];
    s.index = i;
    s.number = n;
    s.used = true;
    s.referenced = true;
    s.state = State::Clean;
    where_.emplace(n, static_cast<uint32_t>(i));
    return s;
  }

  void drop(Slot& s) {
    const size_t index = s.index;
    Hint& hint = recent_[s.number % recent_.size()];
    if (hint.number == s.number) hint.index = kNoSlot;
    where_.erase(s.number);
    bytes_ -= s.footprint;
    s = Slot{};
    s.index = index;
    free_.push_back(index);
  }

  void remeasure(Slot& s) {
    bytes_ -= s.footprint;
    s.footprint = s.page->footprint() + (s.bytes ? sizeof(PageBuffer) : 0);
    bytes_ += s.footprint;
  }

  void makePending(Slot& s) {
    if (s.state != State::Pending) {
      pager_.setDeferred(s.number, true);
      s.state = State::Pending;
      s.bytes.reset();
      unsettled_.push_back(s.number);
    }
    s.referenced = true;
  }

  // The slot of page `n`, decoded afresh when it is missing or stale.
  Slot& current(uint32_t n) {
    if (Slot* s = find(n)) {
      s->referenced = true;
      if (s->state != State::Checked) return *s;
      PageRef ref = pager_.page(n);
      if (*ref == *s->bytes) return *s;
      s->page = std::make_shared<FlatIndexPage>(parseFlat(pager_, *ref, n));
      *s->bytes = *ref;
      account(n);
      return *find(n);
    }
    PageRef ref = pager_.page(n);
    auto page = std::make_shared<FlatIndexPage>(parseFlat(pager_, *ref, n));
    Slot& s = newSlot(n);
    s.page = std::move(page);
    if (pager_.changedInOperation(n)) {
      s.state = State::Checked;
      s.bytes = std::make_unique<PageBuffer>(*ref);
      unsettled_.push_back(n);
    }
    account(n);
    return *find(n);
  }

  // Evicts pages (never page `keep`) until the cache holds at most `limit`
  // bytes.
  void evictDownTo(size_t limit, uint32_t keep) {
    size_t sweeps = 0;
    while (bytes_ > limit && where_.size() > 1 && sweeps < 3 * slots_.size()) {
      ++sweeps;
      if (hand_ >= slots_.size()) hand_ = 0;
      Slot& s = slots_[hand_++];
      if (!s.used || s.number == keep) continue;
      if (s.referenced) {
        s.referenced = false;
        continue;
      }
      if (s.state == State::Pending) {
        const uint32_t n = s.number;
        (void)pager_.page(n);  // writes the page's bytes (writeDeferred)
        Slot* again = find(n);
        if (again) drop(*again);
        continue;
      }
      drop(s);
    }
  }

  Pager& pager_;
  std::vector<Slot> slots_;
  std::vector<size_t> free_;
  std::unordered_map<uint32_t, uint32_t> where_;
  struct Hint {
    uint32_t number = 0;
    uint32_t index = kNoSlot;
  };
  static constexpr uint32_t kNoSlot = UINT32_MAX;
  std::array<Hint, 1024> recent_{};
  std::vector<uint32_t> unsettled_;  // pages made Checked or Pending in this operation
  size_t hand_ = 0;
  size_t bytes_ = 0;
};

// --- Reading ----------------------------------------------------------------------

namespace {

// The pages a walk has reached: a few in a small array, more in a set.
class VisitedPages {
 public:
  // False when `n` was reached before.
  bool insert(uint32_t n) {
    if (set_.empty()) {
      if (std::find(few_.begin(), few_.begin() + count_, n) != few_.begin() + count_) return false;
      if (count_ < few_.size()) {
        few_[count_++] = n;
        return true;
      }
      set_.insert(few_.begin(), few_.end());
    }
    return set_.insert(n).second;
  }

 private:
  std::array<uint32_t, 16> few_{};
  size_t count_ = 0;
  std::unordered_set<uint32_t> set_;
};

}  // namespace

struct IndexBtree::Cursor::Rep {
  struct Frame {
    std::shared_ptr<const FlatIndexPage> page;
    size_t pos = 0;  // leaf: next entry; node: next child (size() = the tail)
  };
  Pager& pager;
  IndexPageCache& cache;
  uint32_t root;
  std::vector<Frame> stack;
  VisitedPages visited;
  IndexEntry current;
  uint32_t currentPage = 0;
  bool valid = false;
  bool uncached = false;  // pages decoded from the pager, not kept in the cache

  Rep(Pager& p, IndexPageCache& c, uint32_t r) : pager(p), cache(c), root(r) { stack.reserve(8); }

  void push(uint32_t n, uint32_t from) {
    if (n == 0 || n >= pager.pageCount()) {
      throw Error(pager.faultMessage(from, "página filha de índice " + std::to_string(n) +
                                               " fora do arquivo"));
    }
    if (!visited.insert(n)) {
      throw Error(pager.faultMessage(n, "a árvore do índice passa duas vezes por esta página"));
    }
    if (stack.size() >= kMaxDepth) throw Error(pager.faultMessage(n, "árvore de índice profunda demais"));
    if (uncached) stack.push_back(Frame{std::make_shared<const FlatIndexPage>(parseFlat(pager, *pager.page(n), n)), 0});
    else stack.push_back(Frame{cache.get(n), 0});
  }

  // Positions the stack before the first entry >= target.
  void descend(const std::vector<uint8_t>& key, RowId row) {
    push(root, root);
    for (;;) {
      Frame& f = stack.back();
      const FlatIndexPage& p = *f.page;
      size_t i = p.lowerBound(key.data(), key.size(), row);
      if (p.leaf) {
        f.pos = i;
        return;
      }
      uint32_t from = p.number;
      uint32_t child;
      if (i < p.size()) {
        f.pos = i + 1;
        child = p.entries[i].child;
      } else if (p.tail) {
        f.pos = p.size() + 1;
        child = p.tail;
      } else if (p.size()) {
        f.pos = p.size();
        child = p.entries.back().child;
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
      const FlatIndexPage& p = *f.page;
      const size_t n = p.size();
      if (p.leaf) {
        if (f.pos < n) {
          const size_t i = f.pos++;
          current.key.assign(p.key(i), p.key(i) + p.keyLength(i));
          current.row = p.row(i);
          current.child = 0;
          currentPage = p.number;
          valid = true;
          return true;
        }
        stack.pop_back();
        continue;
      }
      uint32_t from = p.number;
      if (f.pos < n) {
        uint32_t child = p.entries[f.pos++].child;
        push(child, from);
      } else if (f.pos == n && p.tail) {
        ++f.pos;
        push(p.tail, from);
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
    : IndexBtree(pager, tdefPage, index.rootPage, index.ownedPages) {}
IndexBtree::IndexBtree(Pager& pager, uint32_t tdefPage, uint32_t rootPage, MapRef ownedPages)
    : pager_(pager), cache_(IndexPageCache::of(pager)), tdefPage_(tdefPage), root_(rootPage), owned_(ownedPages) {}
IndexBtree::~IndexBtree() = default;

IndexBtree::Cursor IndexBtree::begin() const {
  auto rep = std::make_unique<Cursor::Rep>(pager_, cache_, root_);
  rep->push(root_, root_);
  return Cursor(std::move(rep));
}

IndexBtree::Cursor IndexBtree::walk() const {
  auto rep = std::make_unique<Cursor::Rep>(pager_, cache_, root_);
  rep->uncached = true;
  rep->push(root_, root_);
  return Cursor(std::move(rep));
}

IndexBtree::Cursor IndexBtree::seek(const std::vector<uint8_t>& key, RowId row) const {
  auto rep = std::make_unique<Cursor::Rep>(pager_, cache_, root_);
  rep->descend(key, row);
  return Cursor(std::move(rep));
}

// The leaf where an entry is or belongs, found without changing anything.
struct IndexBtree::LeafPath {
  std::shared_ptr<const FlatIndexPage> leaf;  // null: a node root without children
  bool rightEdge = true;  // reached through tails only: no node entry copies the leaf's last entry
};

IndexBtree::LeafPath IndexBtree::findLeaf(const std::vector<uint8_t>& key, RowId row) const {
  LeafPath out;
  std::shared_ptr<const FlatIndexPage> p = cache_.get(root_);
  if (!p->leaf && p->size() == 0 && !p->tail) return out;
  std::array<uint32_t, kMaxDepth> seen{};
  size_t depth = 0;
  seen[depth++] = root_;
  while (!p->leaf) {
    const size_t i = p->lowerBound(key.data(), key.size(), row);
    uint32_t child;
    if (i < p->size()) {
      child = p->entries[i].child;
      out.rightEdge = false;
    } else if (p->tail) {
      child = p->tail;
    } else if (p->size()) {
      child = p->entries.back().child;
      out.rightEdge = false;
    } else {
      throw Error(pager_.faultMessage(p->number, "página de índice intermediária vazia"));
    }
    if (std::find(seen.begin(), seen.begin() + depth, child) != seen.begin() + depth || depth >= kMaxDepth) {
      throw Error(pager_.faultMessage(child, "ciclo na árvore do índice"));
    }
    if (child == 0 || child >= pager_.pageCount()) {
      throw Error(pager_.faultMessage(p->number, "página de índice " + std::to_string(child) + " inválida"));
    }
    seen[depth++] = child;
    p = cache_.get(child);
  }
  out.leaf = std::move(p);
  return out;
}

std::vector<RowId> IndexBtree::find(const std::vector<uint8_t>& key) const {
  std::vector<RowId> rows;
  // The entries of a key mostly sit in one leaf: read them there, without
  // a cursor, unless they may go on in the next leaf.
  LeafPath found = findLeaf(key, RowId{});
  if (found.leaf) {
    const FlatIndexPage& leaf = *found.leaf;
    size_t i = leaf.lowerBound(key.data(), key.size(), RowId{});
    for (; i < leaf.size() && leaf.keyEquals(i, key.data(), key.size()); ++i) rows.push_back(leaf.row(i));
    if (i < leaf.size() || leaf.next == 0) return rows;
    rows.clear();
  }
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

// The working state of a change that may reach past one leaf: decoded
// copies of the pages touched, the path from the root to the leaf, and the
// pages made and freed. New pages are allocated (and recorded in the usage
// maps) as the change needs them; page contents and freed pages reach the
// cache and the pager only in flush().
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
  // The change adds the greatest entry of the tree: every page of `path`
  // is the last child of its parent and the entry is the leaf's last.
  bool appending = false;

  explicit Writer(IndexBtree& t) : tree(t), pager(t.pager_) {}

  IndexPage& load(uint32_t n, uint32_t from) {
    auto it = pages.find(n);
    if (it != pages.end()) return it->second;
    if (n == 0 || n >= pager.pageCount() || freed.count(n)) {
      throw Error(pager.faultMessage(from, "página de índice " + std::to_string(n) + " inválida"));
    }
    return pages.emplace(n, expand(*tree.cache_.get(n))).first->second;
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

  // Whether every step of `path` leads to the last child of its parent
  // (its tail, or its last entry when it has no tail).
  bool onRightmostPath() {
    for (size_t level = 1; level < path.size(); ++level) {
      const long slot = path[level].slot;
      if (slot < 0) continue;
      const IndexPage& parent = at(level - 1);
      if (parent.tail || static_cast<size_t>(slot) + 1 != parent.entries.size()) return false;
    }
    return true;
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
  //
  // With `append` (the change added the greatest entry of the tree, so the
  // page is on the rightmost path and later entries will come after it) the
  // page keeps only its last child: the new page before it takes all the
  // others and stays full, instead of both ending half full. Keys that
  // grow, like an AutoNumber's, fill their pages this way.
  std::vector<IndexEntry> split(uint32_t n, bool append = false) {
    IndexPage& p = pages.at(n);
    const auto& es = p.entries;
    const size_t count = es.size();
    std::vector<size_t> cuts;  // index of the first entry of each part after the first
    if (append && count >= 2 && rangeBytes(es, 0, count - 2, p.leaf) <= kIndexPageCapacity &&
        entryBytes(es[count - 1], p.leaf) <= kIndexPageCapacity) {
      cuts.push_back(count - 1);
    }
    for (size_t parts = 2; parts <= count && cuts.empty(); ++parts) {
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
        std::vector<IndexEntry> ups = split(n, appending);
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
      std::vector<IndexEntry> ups = split(c, appending);
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
      tree.cache_.forget(n);
      usageMapRemove(pager, tree.owned_, n);
      freePage(pager, n);
    }
    for (uint32_t n : dirty) {
      IndexPage& p = pages.at(n);
      if (p.leaf) p.tail = 0;
      FlatIndexPage f = flatten(p);
      if (f.usedBytes() > kIndexPageCapacity) {
        throw Error("Página de índice " + std::to_string(n) + " cheia demais (" +
                    std::to_string(f.usedBytes()) + " bytes).");
      }
      tree.cache_.put(std::move(f));
    }
  }
};

bool IndexBtree::insert(const std::vector<uint8_t>& key, RowId row) {
  if (key.size() + kNodeExtraBytes > kIndexPageCapacity / 2) {
    throw Error("Chave longa demais para o índice.");
  }
  bool sameKey = false;
  LeafPath found = findLeaf(key, row);
  if (found.leaf) {
    const FlatIndexPage& leaf = *found.leaf;
    const size_t pos = leaf.lowerBound(key.data(), key.size(), row);
    if (pos < leaf.size() && leaf.compare(pos, key.data(), key.size(), row) == 0) {
      throw Error("A entrada já existe no índice.");
    }
    // Entries with the same key are next to each other, possibly across the
    // boundary with a neighbouring leaf.
    sameKey = (pos > 0 && leaf.keyEquals(pos - 1, key.data(), key.size())) ||
              (pos < leaf.size() && leaf.keyEquals(pos, key.data(), key.size()));
    if (!sameKey && pos == 0 && leaf.prev) {
      auto before = cache_.get(leaf.prev);
      sameKey = before->size() && before->keyEquals(before->size() - 1, key.data(), key.size());
    }
    if (!sameKey && pos == leaf.size() && leaf.next) {
      auto after = cache_.get(leaf.next);
      sameKey = after->size() && after->keyEquals(0, key.data(), key.size());
    }
    // The common case: the leaf has room and no node entry changes.
    if ((pos < leaf.size() || found.rightEdge) &&
        leaf.usedBytesWith(pos, key.data(), key.size()) <= kIndexPageCapacity) {
      const uint32_t n = leaf.number;
      found.leaf.reset();
      cache_.edit(n).insert(pos, key.data(), key.size(), row);
      cache_.account(n);
      return sameKey;
    }
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
  w.appending = it == leaf.entries.end() && w.onRightmostPath();
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
  LeafPath found = findLeaf(key, row);
  if (found.leaf) {
    const FlatIndexPage& leaf = *found.leaf;
    const size_t pos = leaf.lowerBound(key.data(), key.size(), row);
    // The common case: the leaf keeps entries and, unless it is on the right
    // edge, its last entry (which its parent copies).
    if (pos < leaf.size() && leaf.compare(pos, key.data(), key.size(), row) == 0 && leaf.size() > 1 &&
        (pos + 1 < leaf.size() || found.rightEdge)) {
      const uint32_t n = leaf.number;
      found.leaf.reset();
      cache_.edit(n).erase(pos);
      cache_.account(n);
      return true;
    }
  }
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
    if (!indexKeysSupported(table, index)) {
      return "A tabela '" + table.name + "' tem o índice '" + indexName(table, i) +
             "', que o mecanismo não sabe manter (tipo de coluna ou ordem de classificação não "
             "suportada); a tabela só pode ser lida.";
    }
    if ((index.required() || isPrimaryKey(table, i)) && rowKeyAnyNull(table, index, row)) {
      return "O índice '" + indexName(table, i) + "' da tabela '" + table.name +
             "' não aceita valores nulos.";
    }
    if (!index.unique() || rowKeyAllNull(table, index, row)) continue;
    IndexBtree tree(pager, table.tdefPage, index);
    for (RowId other : tree.find(rowKey(table, index, row))) {
      if (replacing && other == *replacing) continue;
      return "As alterações solicitadas não foram bem-sucedidas porque criariam valores "
             "duplicados no índice '" + indexName(table, i) + "' da tabela '" + table.name + "'.";
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
//
// The entries an index should have (computed from the rows) and the entries
// its tree has are compared without holding either set whole: both sides are
// summed into buckets by the entry's data page (count and two sums of a hash
// of key and row, which do not depend on the order), and only the buckets
// whose sums differ are then compared entry by entry, a group of buckets at a
// time, so that at most `entriesInMemory` entries of each side are held.

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

// An order-independent summary of a multiset of entries.
struct EntrySums {
  uint64_t count = 0, a = 0, b = 0;
  friend bool operator==(const EntrySums&, const EntrySums&) = default;
};

uint64_t mix64(uint64_t x) {
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

uint64_t entryHash(const uint8_t* key, size_t len, RowId row) {
  uint64_t h = mix64(len ^ (uint64_t{row.page} << 16) ^ (uint64_t{row.row} << 8));
  size_t i = 0;
  for (; i + 8 <= len; i += 8) {
    uint64_t w;
    std::memcpy(&w, key + i, 8);
    h = mix64(h ^ w);
  }
  uint64_t tail = 0;
  std::memcpy(&tail, key + i, len - i);
  return mix64(h ^ tail ^ 0x5851F42D4C957F2Dull);
}

// The buckets of one index: entry sums by range of data pages.
class EntryBuckets {
 public:
  explicit EntryBuckets(uint32_t pageCount)
      : pagesPerBucket_(std::max<uint32_t>(1, (pageCount + kBuckets - 1) / kBuckets)),
        sums_((pageCount + pagesPerBucket_ - 1) / pagesPerBucket_ + 1) {}
  size_t bucketOf(RowId row) const { return std::min<size_t>(row.page / pagesPerBucket_, sums_.size() - 1); }
  void add(const uint8_t* key, size_t len, RowId row) {
    EntrySums& s = sums_[bucketOf(row)];
    const uint64_t h = entryHash(key, len, row);
    ++s.count;
    s.a += h;
    s.b += mix64(h ^ 0x9E3779B97F4A7C15ull);
  }
  size_t size() const { return sums_.size(); }
  const EntrySums& operator[](size_t i) const { return sums_[i]; }

 private:
  static constexpr uint32_t kBuckets = 4096;
  uint32_t pagesPerBucket_;
  std::vector<EntrySums> sums_;
};

// Walks the tree of one index, calling `onEntry(key, length, row)` for each
// leaf entry in tree order. With `out`, checks the structure and appends its
// problems there: entries in order, node entries equal to their child's last
// entry, leaves at one depth and linked both ways, every page owned by the
// index and used. Throws jet::Error when the tree cannot be walked.
template <class OnEntry>
void walkIndex(Database& db, const TableDef& table, const RealIndexDef& index, const std::string& label,
               std::vector<std::string>* out, OnEntry&& onEntry) {
  Pager& pager = db.pager();
  std::vector<bool> visited(pager.pageCount());
  std::vector<uint32_t> treePages;
  // The leaf chain as walked: each leaf must point back to the one before.
  uint32_t lastLeaf = 0, lastLeafNext = 0;
  size_t leafDepth = SIZE_MAX;
  std::vector<uint8_t> lastKey;
  RowId lastRow;
  bool haveLast = false;
  size_t problems = 0;
  auto report = [&](const std::string& m) {
    if (out && problems++ < 5) out->push_back(label + ": " + m + ".");
  };

  // Depth-first walk, children in order; the depth is bounded by kMaxDepth.
  // `bound` is the parent's entry for this page (key, length, row).
  struct Bound {
    const uint8_t* key;
    size_t length;
    RowId row;
  };
  std::function<void(uint32_t, size_t, const Bound*)> visit = [&](uint32_t n, size_t depth, const Bound* bound) {
    if (n == 0 || n >= pager.pageCount()) throw Error(pager.faultMessage(n, "página de índice fora do arquivo"));
    if (visited[n]) throw Error(pager.faultMessage(n, "a árvore do índice passa duas vezes por esta página"));
    visited[n] = true;
    if (depth >= kMaxDepth) throw Error(pager.faultMessage(n, "árvore de índice profunda demais"));
    if (out) treePages.push_back(n);
    const FlatIndexPage p = parseFlat(pager, *pager.page(n), n);
    if (out) {
      if (p.tdefPage != table.tdefPage) {
        report("a página " + std::to_string(n) + " pertence a outra tabela (" + std::to_string(p.tdefPage) + ")");
      }
      if (bound && !p.tail) {
        const size_t last = p.size() - 1;
        if (p.size() == 0 || p.row(last) != bound->row || !p.keyEquals(last, bound->key, bound->length)) {
          report("a entrada da página intermediária para a página " + std::to_string(n) +
                 " não é a última entrada desta");
        }
      }
    }
    if (!p.leaf) {
      for (size_t i = 0; i < p.size(); ++i) {
        const Bound b{p.key(i), p.keyLength(i), p.row(i)};
        visit(p.entries[i].child, depth + 1, &b);
      }
      if (p.tail) visit(p.tail, depth + 1, nullptr);
      return;
    }
    if (out) {
      if (leafDepth == SIZE_MAX) leafDepth = depth;
      if (depth != leafDepth) report("folhas em profundidades diferentes (página " + std::to_string(n) + ")");
      if (lastLeaf != 0 && lastLeafNext != n) {
        report("ligações anterior/seguinte erradas na página " + std::to_string(lastLeaf));
      }
      if (p.prev != lastLeaf) report("ligações anterior/seguinte erradas na página " + std::to_string(n));
      lastLeaf = n;
      lastLeafNext = p.next;
    }
    for (size_t i = 0; i < p.size(); ++i) {
      const uint8_t* key = p.key(i);
      const size_t length = p.keyLength(i);
      const RowId row = p.row(i);
      if (out) {
        if (haveLast && compareKeys(lastKey.data(), lastKey.size(), lastRow, key, length, row) >= 0) {
          report("entradas fora de ordem ou repetidas (" + describeRow(lastRow) + " e " + describeRow(row) + ")");
        }
        lastKey.assign(key, key + length);
        lastRow = row;
        haveLast = true;
      }
      onEntry(key, length, row);
    }
  };
  visit(index.rootPage, 0, nullptr);
  if (!out) return;
  if (lastLeaf != 0 && lastLeafNext != 0) report("ligações anterior/seguinte erradas na página " + std::to_string(lastLeaf));

  // Every page of the tree must be owned by the index and in use: a page
  // the global map calls free could be handed out again.
  std::vector<bool> owned(pager.pageCount());
  for (uint32_t n : usageMapPages(pager, index.ownedPages)) {
    if (n < owned.size()) owned[n] = true;
  }
  std::sort(treePages.begin(), treePages.end());
  for (uint32_t n : treePages) {
    if (!owned[n]) report("a página " + std::to_string(n) + " não consta do mapa de páginas do índice");
    if (!globalMapUsed(pager, n)) report("a página " + std::to_string(n) + " está marcada como livre");
  }
  if (problems > 5) out->push_back(label + ": mais " + std::to_string(problems - 5) + " problemas.");
}

// Calls `onRow(values, rowId)` for every live row of `table`.
template <class OnRow>
void scanRows(Database& db, const TableDef& table, OnRow&& onRow) {
  TableScan scan(db, table);
  while (scan.next()) onRow(scan.values(), scan.rowId());
}

}  // namespace

std::vector<std::string> checkIndexes(Database& db, const TableDef& table, size_t entriesInMemory) {
  std::vector<std::string> out;
  if (table.realIndexes.empty()) return out;
  const size_t count = table.realIndexes.size();
  const uint32_t pageCount = db.pager().pageCount();

  std::vector<char> supported(count);
  for (size_t i = 0; i < count; ++i) supported[i] = indexKeysSupported(table, table.realIndexes[i]);
  bool anySupported = std::any_of(supported.begin(), supported.end(), [](char c) { return c; });
  std::vector<EntryBuckets> expected(count, EntryBuckets(pageCount));
  if (anySupported) {
    try {
      scanRows(db, table, [&](const std::vector<Value>& row, RowId id) {
        for (size_t i = 0; i < count; ++i) {
          const RealIndexDef& index = table.realIndexes[i];
          if (!supported[i] || !rowHasEntry(table, index, row)) continue;
          const std::vector<uint8_t> key = rowKey(table, index, row);
          expected[i].add(key.data(), key.size(), id);
        }
      });
    } catch (const Error& e) {
      out.push_back("Tabela '" + table.name + "': " + e.what());
      return out;
    }
  }

  for (size_t i = 0; i < count; ++i) {
    const RealIndexDef& index = table.realIndexes[i];
    const std::string label = "Índice '" + indexName(table, i) + "' da tabela '" + table.name + "'";
    EntryBuckets actual(pageCount);
    try {
      walkIndex(db, table, index, label, &out,
                [&](const uint8_t* key, size_t length, RowId row) { actual.add(key, length, row); });
    } catch (const Error& e) {
      out.push_back(label + ": " + e.what());
      continue;
    }
    if (!supported[i]) continue;

    // Buckets whose sums differ, in groups that fit in memory.
    std::vector<std::vector<size_t>> groups;
    size_t groupEntries = 0;
    for (size_t b = 0; b < actual.size(); ++b) {
      if (actual[b] == expected[i][b]) continue;
      const size_t entries = std::max(actual[b].count, expected[i][b].count);
      if (groups.empty() || groupEntries + entries > entriesInMemory) {
        groups.emplace_back();
        groupEntries = 0;
      }
      groups.back().push_back(b);
      groupEntries += entries;
    }
    std::vector<KeyedRow> missingShown, extraShown;
    uint64_t missingCount = 0, extraCount = 0;
    for (const std::vector<size_t>& group : groups) {
      std::vector<char> inGroup(actual.size());
      for (size_t b : group) inGroup[b] = 1;
      std::vector<KeyedRow> want, have;
      try {
        scanRows(db, table, [&](const std::vector<Value>& row, RowId id) {
          if (inGroup[expected[i].bucketOf(id)] && rowHasEntry(table, index, row)) {
            want.push_back(KeyedRow{rowKey(table, index, row), id});
          }
        });
        walkIndex(db, table, index, label, nullptr, [&](const uint8_t* key, size_t length, RowId row) {
          if (inGroup[actual.bucketOf(row)]) have.push_back(KeyedRow{std::vector<uint8_t>(key, key + length), row});
        });
      } catch (const Error& e) {
        out.push_back(label + ": " + e.what());
        break;
      }
      std::sort(want.begin(), want.end(), keyedLess);
      std::sort(have.begin(), have.end(), keyedLess);
      std::vector<KeyedRow> missing, extra;
      std::set_difference(want.begin(), want.end(), have.begin(), have.end(), std::back_inserter(missing),
                          keyedLess);
      std::set_difference(have.begin(), have.end(), want.begin(), want.end(), std::back_inserter(extra),
                          keyedLess);
      missingCount += missing.size();
      extraCount += extra.size();
      // Shown in row order: groups follow the data pages, so the first rows
      // of the first groups are the first rows of the index.
      auto byRow = [](const KeyedRow& x, const KeyedRow& y) {
        return x.row.page != y.row.page ? x.row.page < y.row.page : x.row.row < y.row.row;
      };
      std::sort(missing.begin(), missing.end(), byRow);
      std::sort(extra.begin(), extra.end(), byRow);
      for (size_t k = 0; k < missing.size() && missingShown.size() < 5; ++k) missingShown.push_back(missing[k]);
      for (size_t k = 0; k < extra.size() && extraShown.size() < 5; ++k) extraShown.push_back(extra[k]);
    }
    size_t shown = 0;
    for (const KeyedRow& k : missingShown) {
      if (shown++ < 5) {
        out.push_back(label + ": falta a entrada da linha (" + describeRow(k.row) +
                      ") com a chave calculada a partir dos seus valores.");
      }
    }
    for (const KeyedRow& k : extraShown) {
      if (shown++ < 5) {
        out.push_back(label + ": a entrada da linha (" + describeRow(k.row) +
                      ") não corresponde a nenhuma linha com esses valores.");
      }
    }
    if (missingCount + extraCount > 5) {
      out.push_back(label + ": " + std::to_string(missingCount) + " entradas faltando e " +
                    std::to_string(extraCount) + " sobrando ao todo.");
    }
  }
  return out;
}

}  // namespace jet
