// Usage maps: reading, adding and removing pages, and the global map.
//
// Inline maps keep their window start on a multiple of 8. When a page falls
// outside the window of a table's map, the window moves if every recorded page
// still fits, and otherwise the map is rewritten as a reference map in the same
// row (a 69-byte row holds 17 bitmap-page pointers, enough for 2 GB). The
// global map's window slides forward as the file grows; pages that fall before
// the new window count as used, which at worst leaks a free page and never
// hands out a used one.
#include "jet/storage/usage_map.h"

#include <algorithm>

#include "jet/storage/bytes.h"
#include "jet/storage/error.h"

namespace jet {

namespace {

constexpr uint32_t kPagesPerBitmapPage = (kPageSize - 4) * 8;  // 32736
constexpr MapRef kGlobalMap{0, 1};

struct MapRow {
  uint8_t* data;
  size_t len;
};

std::string mapFault(const Pager& pager, uint32_t page) {
  return pager.faultMessage(page, "mapa de uso inválido");
}

// Start offset and length of row `row` on a data page; throws when impossible.
std::pair<unsigned, unsigned> rowBounds(const Pager& pager, const PageBuffer& p, uint32_t pageNo,
                                        unsigned row) {
  if (p[0] != 0x01) throw Error(mapFault(pager, pageNo));
  unsigned count = le16(p.data() + 12);
  if (row >= count || 14u + 2u * count > kPageSize) throw Error(mapFault(pager, pageNo));
  unsigned start = le16(p.data() + 14 + 2 * row) & 0x1FFF;
  unsigned end = row == 0 ? kPageSize : (le16(p.data() + 14 + 2 * (row - 1)) & 0x1FFF);
  if (start >= end || end > kPageSize || start < 14u + 2u * count) throw Error(mapFault(pager, pageNo));
  return {start, end - start};
}

MapRow writableRow(Pager& pager, MapRef ref) {
  PageBuffer& p = pager.modify(ref.page);
  auto [start, len] = rowBounds(pager, p, ref.page, ref.row);
  if (len < 5) throw Error(mapFault(pager, ref.page));
  return MapRow{p.data() + start, len};
}

void initBitmapPage(PageBuffer& p, uint8_t fill) {
  p.fill(fill);
  p[0] = 0x05;
  p[1] = 0x01;
  p[2] = 0;
  p[3] = 0;
}

void setBit(uint8_t* bitmap, uint32_t bit, bool on) {
  if (on) bitmap[bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
  else bitmap[bit / 8] &= static_cast<uint8_t>(~(1u << (bit % 8)));
}

bool getBit(const uint8_t* bitmap, uint32_t bit) { return (bitmap[bit / 8] >> (bit % 8)) & 1; }

void markGlobalUsed(Pager& pager, uint32_t page);

// The bitmap page of a reference map for `page`, created (filled with
// `fill`) when absent.
uint8_t* referenceBitmap(Pager& pager, MapRef ref, uint32_t page, uint8_t fill, bool create) {
  MapRow row = writableRow(pager, ref);
  size_t slot = page / kPagesPerBitmapPage;
  if (1 + 4 * slot + 4 > row.len) {
    throw Error(pager.faultMessage(ref.page, "mapa de uso sem espaço para a página " + std::to_string(page)));
  }
  uint32_t bitmapPage = le32(row.data + 1 + 4 * slot);
  if (bitmapPage == 0 || bitmapPage >= pager.pageCount()) {
    if (!create) return nullptr;
    bitmapPage = pager.append();
    initBitmapPage(pager.modify(bitmapPage), fill);
    putLe32(writableRow(pager, ref).data + 1 + 4 * slot, bitmapPage);
    markGlobalUsed(pager, bitmapPage);
  }
  PageBuffer& bp = pager.modify(bitmapPage);
  if (bp[0] != 0x05) throw Error(mapFault(pager, bitmapPage));
  return bp.data() + 4;
}

void markGlobalUsed(Pager& pager, uint32_t page) {
  MapRow row = writableRow(pager, kGlobalMap);
  if (row.data[0] == 0x01) {
    uint8_t* bits = referenceBitmap(pager, kGlobalMap, page, 0xFF, true);
    setBit(bits, page % kPagesPerBitmapPage, false);
    return;
  }
  uint32_t start = le32(row.data + 1);
  uint32_t capacity = static_cast<uint32_t>((row.len - 5) * 8);
  uint8_t* bits = row.data + 5;
  if (page < start) return;  // before the window: counted as used already
  if (page >= start + capacity) {
    uint32_t newStart = (page - capacity / 2) & ~7u;
    std::vector<uint8_t> old(bits, bits + (row.len - 5));
    for (uint32_t k = 0; k < capacity; ++k) {
      uint32_t q = newStart + k;
      bool isFree = q >= start + capacity ? true : getBit(old.data(), q - start);
      setBit(bits, k, isFree);
    }
    putLe32(row.data + 1, newStart);
    start = newStart;
  }
  setBit(bits, page - start, false);
}

}  // namespace

std::vector<uint8_t> newInlineMap(uint32_t start) {
  std::vector<uint8_t> m(69, 0);
  putLe32(m.data() + 1, start & ~7u);
  return m;
}

std::vector<uint8_t> newReferenceMap() {
  std::vector<uint8_t> m(69, 0);
  m[0] = 0x01;
  return m;
}

std::vector<uint32_t> usageMapPages(Pager& pager, MapRef ref) {
  std::vector<uint32_t> pages;
  if (ref.page == 0) return pages;
  PageRef holder = pager.page(ref.page);
  auto [start, len] = rowBounds(pager, *holder, ref.page, ref.row);
  const uint8_t* m = holder->data() + start;
  uint32_t limit = pager.pageCount();
  if (m[0] == 0x00) {
    if (len < 5) throw Error(mapFault(pager, ref.page));
    uint32_t first = le32(m + 1);
    for (size_t i = 5; i < len; ++i) {
      if (!m[i]) continue;
      for (int b = 0; b < 8; ++b) {
        if (!(m[i] & (1 << b))) continue;
        uint64_t page = uint64_t{first} + (i - 5) * 8 + b;
        if (page < limit) pages.push_back(static_cast<uint32_t>(page));
      }
    }
  } else if (m[0] == 0x01) {
    for (size_t k = 0; 1 + 4 * k + 4 <= len; ++k) {
      uint32_t mapPage = le32(m + 1 + 4 * k);
      if (mapPage == 0 || mapPage >= limit) continue;
      PageRef bitmap = pager.page(mapPage);
      if ((*bitmap)[0] != 0x05) throw Error(mapFault(pager, mapPage));
      for (uint32_t i = 4; i < kPageSize; ++i) {
        uint8_t byte = (*bitmap)[i];
        if (!byte) continue;
        for (int b = 0; b < 8; ++b) {
          if (!(byte & (1 << b))) continue;
          uint64_t page = uint64_t{k} * kPagesPerBitmapPage + (i - 4) * 8 + b;
          if (page < limit) pages.push_back(static_cast<uint32_t>(page));
        }
      }
    }
  } else {
    throw Error(mapFault(pager, ref.page));
  }
  return pages;
}

void usageMapAdd(Pager& pager, MapRef ref, uint32_t page) {
  MapRow row = writableRow(pager, ref);
  if (row.data[0] == 0x01) {
    setBit(referenceBitmap(pager, ref, page, 0x00, true), page % kPagesPerBitmapPage, true);
    return;
  }
  if (row.data[0] != 0x00) throw Error(mapFault(pager, ref.page));
  uint32_t start = le32(row.data + 1);
  uint32_t capacity = static_cast<uint32_t>((row.len - 5) * 8);
  if (page >= start && page - start < capacity) {
    setBit(row.data + 5, page - start, true);
    return;
  }
  std::vector<uint32_t> pages = usageMapPages(pager, ref);
  pages.push_back(page);
  auto [lo, hi] = std::minmax_element(pages.begin(), pages.end());
  uint32_t newStart = *lo & ~7u;
  row = writableRow(pager, ref);
  std::fill(row.data + 1, row.data + row.len, 0);
  if (*hi - newStart < capacity) {
    putLe32(row.data + 1, newStart);
    for (uint32_t p : pages) setBit(row.data + 5, p - newStart, true);
    return;
  }
  row.data[0] = 0x01;  // promote to a reference map
  for (uint32_t p : pages) {
    setBit(referenceBitmap(pager, ref, p, 0x00, true), p % kPagesPerBitmapPage, true);
  }
}

void usageMapRemove(Pager& pager, MapRef ref, uint32_t page) {
  MapRow row = writableRow(pager, ref);
  if (row.data[0] == 0x01) {
    uint8_t* bits = referenceBitmap(pager, ref, page, 0x00, false);
    if (bits) setBit(bits, page % kPagesPerBitmapPage, false);
    return;
  }
  uint32_t start = le32(row.data + 1);
  uint32_t capacity = static_cast<uint32_t>((row.len - 5) * 8);
  if (page >= start && page - start < capacity) setBit(row.data + 5, page - start, false);
}

uint32_t allocatePage(Pager& pager) {
  uint32_t page = pager.append();
  markGlobalUsed(pager, page);
  return page;
}

void freePage(Pager& pager, uint32_t page) {
  MapRow row = writableRow(pager, kGlobalMap);
  if (row.data[0] == 0x01) {
    uint8_t* bits = referenceBitmap(pager, kGlobalMap, page, 0xFF, false);
    if (bits) setBit(bits, page % kPagesPerBitmapPage, true);
  } else {
    uint32_t start = le32(row.data + 1);
    uint32_t capacity = static_cast<uint32_t>((row.len - 5) * 8);
    if (page >= start && page - start < capacity) setBit(row.data + 5, page - start, true);
  }
  PageBuffer& p = pager.modify(page);
  std::fill(p.begin(), p.begin() + 4, 0);
}

bool globalMapUsed(Pager& pager, uint32_t page) {
  PageRef holder = pager.page(1);
  auto [start, len] = rowBounds(pager, *holder, 1, 0);
  const uint8_t* m = holder->data() + start;
  if (m[0] == 0x01) {
    size_t slot = page / kPagesPerBitmapPage;
    if (1 + 4 * slot + 4 > len) return false;
    uint32_t bitmapPage = le32(m + 1 + 4 * slot);
    if (bitmapPage == 0 || bitmapPage >= pager.pageCount()) return false;
    PageRef bp = pager.page(bitmapPage);
    return !getBit(bp->data() + 4, page % kPagesPerBitmapPage);
  }
  if (len < 5) throw Error(mapFault(pager, 1));
  uint32_t windowStart = le32(m + 1);
  uint32_t capacity = static_cast<uint32_t>((len - 5) * 8);
  if (page < windowStart) return true;
  if (page - windowStart >= capacity) return false;
  return !getBit(m + 5, page - windowStart);
}

}  // namespace jet
