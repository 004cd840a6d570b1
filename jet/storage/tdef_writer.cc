// The TDEF byte layout, written from a TableDef.
//
// The definition is rebuilt whole from the parsed structure, in the order the
// reader expects: header, per-index counters, column descriptors, column
// names, real indexes, logical indexes, index names, the long-value map list.
// Fields whose meaning is unknown are written as zeros.
#include "jet/storage/tdef_writer.h"

#include "jet/storage/bytes.h"
#include "jet/storage/error.h"
#include "jet/storage/usage_map.h"

namespace jet {

namespace {

constexpr uint32_t kTdefMagic = 1625;
constexpr uint32_t kRealIndexMagic = 1923;

void put8(std::vector<uint8_t>& b, uint8_t v) { b.push_back(v); }
void put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(v & 0xFF);
  b.push_back(v >> 8);
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putMap(std::vector<uint8_t>& b, MapRef m) {
  put8(b, m.row);
  b.push_back(m.page & 0xFF);
  b.push_back((m.page >> 8) & 0xFF);
  b.push_back((m.page >> 16) & 0xFF);
}
void putName(std::vector<uint8_t>& b, const std::string& utf8) {
  std::u16string s = utf8ToUtf16(utf8);
  put16(b, static_cast<uint16_t>(s.size() * 2));
  for (char16_t c : s) put16(b, c);
}

}  // namespace

size_t columnFixedSize(const ColumnDef& c) {
  switch (c.type) {
    case ColumnType::Boolean: return 0;
    case ColumnType::Byte: return 1;
    case ColumnType::Integer: return 2;
    case ColumnType::Long:
    case ColumnType::Single: return 4;
    case ColumnType::Currency:
    case ColumnType::Double:
    case ColumnType::DateTime: return 8;
    case ColumnType::Guid: return 16;
    case ColumnType::Numeric: return 17;
    default: return c.fixed() ? c.length : 0;
  }
}

std::vector<uint8_t> serializeTableDef(const TableDef& def) {
  std::vector<uint8_t> b(8, 0);
  put32(b, 0);  // length, patched below
  put32(b, kTdefMagic);
  put32(b, def.rowCount);
  put32(b, def.lastAutoNumber);
  put8(b, 0x01);
  b.insert(b.end(), 15, 0);
  put8(b, def.tableType);
  put16(b, def.maxColumns);
  put16(b, def.varColumns);
  put16(b, static_cast<uint16_t>(def.columns.size()));
  put32(b, static_cast<uint32_t>(def.indexes.size()));
  put32(b, static_cast<uint32_t>(def.realIndexes.size()));
  putMap(b, def.ownedPages);
  putMap(b, def.freePages);
  for (const auto& r : def.realIndexes) {
    put32(b, 0);
    put32(b, r.uniqueEntryCount);
    put32(b, 0);
  }
  for (const auto& c : def.columns) {
    put8(b, static_cast<uint8_t>(c.type));
    put32(b, kTdefMagic);
    put16(b, c.number);
    put16(b, c.varIndex);
    put16(b, c.number);
    if (c.type == ColumnType::Numeric) {
      put8(b, c.precision);
      put8(b, c.scale);
      put16(b, 0);
    } else {
      put16(b, c.sortOrder ? c.sortOrder : 0x0409);
      put8(b, 0);
      put8(b, c.sortVersion);
    }
    put8(b, c.flags);
    put8(b, c.extFlags);
    put32(b, 0);
    put16(b, c.fixed() ? c.fixedOffset : 0);
    put16(b, c.length);
  }
  for (const auto& c : def.columns) putName(b, c.name);
  for (const auto& r : def.realIndexes) {
    put32(b, kRealIndexMagic);
    for (size_t k = 0; k < 10; ++k) {
      if (k < r.columns.size()) {
        put16(b, r.columns[k].columnNumber);
        put8(b, r.columns[k].ascending ? 0x01 : 0x00);
      } else {
        put16(b, 0xFFFF);
        put8(b, 0);
      }
    }
    putMap(b, r.ownedPages);
    put32(b, r.rootPage);
    put32(b, 0);
    put8(b, r.flags);
    b.insert(b.end(), 5, 0);
  }
  for (const auto& x : def.indexes) {
    put32(b, kTdefMagic);
    put32(b, x.number);
    put32(b, x.realIndex);
    put8(b, x.fkRelType);
    put32(b, static_cast<uint32_t>(x.fkRelatedIndex));
    put32(b, x.fkRelatedTable);
    put8(b, x.cascadeUpdates);
    put8(b, x.cascadeDeletes);
    put8(b, x.kind);
    put32(b, 0);
  }
  for (const auto& x : def.indexes) putName(b, x.name);
  for (const auto& c : def.columns) {
    if (!isLongValueType(c.type) || c.lvOwned.page == 0) continue;
    put16(b, c.number);
    putMap(b, c.lvOwned);
    putMap(b, c.lvFree);
  }
  put16(b, 0xFFFF);
  putLe32(b.data() + 8, static_cast<uint32_t>(b.size()));
  return b;
}

void writeTableDefPages(Pager& pager, TableDef& def, const std::vector<uint8_t>& buffer) {
  constexpr size_t kPayload = kPageSize - 8;
  size_t pagesNeeded = buffer.size() <= kPageSize ? 1 : 1 + (buffer.size() - kPageSize + kPayload - 1) / kPayload;
  std::vector<uint32_t> pages = def.tdefPages;
  if (pages.empty()) pages.push_back(def.tdefPage);
  while (pages.size() < pagesNeeded) pages.push_back(allocatePage(pager));
  for (size_t i = pagesNeeded; i < pages.size(); ++i) freePage(pager, pages[i]);
  pages.resize(pagesNeeded);

  size_t pos = 0;
  for (size_t i = 0; i < pages.size(); ++i) {
    PageBuffer& p = pager.modify(pages[i]);
    p.fill(0);
    size_t n;
    if (i == 0) {
      n = std::min(buffer.size(), size_t{kPageSize});
      std::copy(buffer.begin(), buffer.begin() + static_cast<long>(n), p.begin());
      pos = n;
    } else {
      n = std::min(buffer.size() - pos, kPayload);
      std::copy(buffer.begin() + static_cast<long>(pos), buffer.begin() + static_cast<long>(pos + n), p.begin() + 8);
      pos += n;
      n += 8;
    }
    p[0] = 0x02;
    p[1] = 0x01;
    bool last = i + 1 == pages.size();
    putLe16(p.data() + 2, static_cast<uint16_t>(last && kPageSize >= n + 8 ? kPageSize - n - 8 : 0));
    putLe32(p.data() + 4, last ? 0 : pages[i + 1]);
  }
  def.tdefPages = pages;
}

}  // namespace jet
