// Parsing of table definitions (TDEF pages).
//
// A definition may span several pages: the first page is read whole and each
// continuation page adds its bytes after the 8-byte page header. The joined
// buffer is parsed in one pass: header, per-index counters, column
// descriptors, column names, real indexes, logical indexes, index names and
// the per-column long-value usage maps. Every offset is checked against the
// buffer, so a damaged definition gives a jet::Error, never a wild read.
#include "jet/storage/table_def.h"

#include <algorithm>
#include <set>

#include "jet/storage/bytes.h"
#include "jet/storage/database.h"
#include "jet/storage/pager.h"

namespace jet {

const ColumnDef* TableDef::findColumn(std::string_view n) const {
  std::string key = foldName(n);
  for (const auto& c : columns) {
    if (foldName(c.name) == key) return &c;
  }
  return nullptr;
}

int TableDef::positionOfNumber(uint16_t number) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].number == number) return static_cast<int>(i);
  }
  return -1;
}

namespace {

MapRef mapRef(const ByteReader& r, size_t off) {
  MapRef m;
  m.row = r.u8(off);
  m.page = r.u24(off + 1);
  return m;
}

std::string readName(const ByteReader& r, size_t& pos) {
  uint16_t len = r.u16(pos);
  const uint8_t* p = r.at(pos + 2, len);
  pos += 2u + len;
  return utf16leToUtf8(p, len);
}

}  // namespace

TableDef readTableDef(Pager& pager, uint32_t firstPage, const std::string& name) {
  TableDef def;
  def.name = name;
  def.tdefPage = firstPage;

  std::string where = "definição da tabela '" + name + "'";
  std::vector<uint8_t> buf;
  std::set<uint32_t> seen;
  uint32_t pageNo = firstPage;
  while (pageNo != 0) {
    if (!seen.insert(pageNo).second || seen.size() > 64) {
      throw Error(pager.faultMessage(pageNo, "cadeia de páginas da " + where + " em ciclo"));
    }
    PageRef page = pager.page(pageNo);
    const PageBuffer& p = *page;
    if (p[0] != 0x02 || p[1] != 0x01) {
      throw Error(pager.faultMessage(pageNo, "não é uma página de " + where));
    }
    if (buf.empty()) {
      buf.assign(p.begin(), p.end());
    } else {
      buf.insert(buf.end(), p.begin() + 8, p.end());
    }
    def.tdefPages.push_back(pageNo);
    pageNo = le32(p.data() + 4);
  }

  ByteReader r(buf.data(), buf.size(), pager.faultMessage(firstPage, where + " corrompida"));
  def.rowCount = r.u32(16);
  def.lastAutoNumber = r.u32(20);
  def.tableType = r.u8(40);
  def.maxColumns = r.u16(41);
  def.varColumns = r.u16(43);
  uint16_t numCols = r.u16(45);
  uint32_t numLogical = r.u32(47);
  uint32_t numReal = r.u32(51);
  def.ownedPages = mapRef(r, 55);
  def.freePages = mapRef(r, 59);
  if (numReal > 256 || numLogical > 256 || numCols > 4096) r.fail();

  size_t pos = 63;
  def.realIndexes.resize(numReal);
  for (uint32_t i = 0; i < numReal; ++i) {
    def.realIndexes[i].uniqueEntryCount = r.u32(pos + 4);
    pos += 12;
  }

  def.columns.resize(numCols);
  for (uint16_t i = 0; i < numCols; ++i) {
    ColumnDef& c = def.columns[i];
    const uint8_t* d = r.at(pos, 25);
    c.type = static_cast<ColumnType>(d[0]);
    c.number = le16(d + 5);
    c.varIndex = le16(d + 7);
    if (c.type == ColumnType::Numeric) {
      c.precision = d[11];
      c.scale = d[12];
    } else {
      c.sortOrder = le16(d + 11);
      c.sortVersion = d[14];
    }
    c.flags = d[15];
    c.extFlags = d[16];
    c.fixedOffset = le16(d + 21);
    c.length = le16(d + 23);
    pos += 25;
  }
  for (auto& c : def.columns) c.name = readName(r, pos);

  for (uint32_t i = 0; i < numReal; ++i) {
    RealIndexDef& x = def.realIndexes[i];
    const uint8_t* d = r.at(pos, 52);
    for (int k = 0; k < 10; ++k) {
      uint16_t col = le16(d + 4 + 3 * k);
      if (col == 0xFFFF) continue;
      x.columns.push_back(IndexColumn{col, d[4 + 3 * k + 2] != 0});
    }
    x.ownedPages = mapRef(r, pos + 34);
    x.rootPage = le32(d + 38);
    x.flags = d[46];
    pos += 52;
  }

  def.indexes.resize(numLogical);
  for (uint32_t i = 0; i < numLogical; ++i) {
    IndexDef& x = def.indexes[i];
    const uint8_t* d = r.at(pos, 28);
    x.number = le32(d + 4);
    x.realIndex = le32(d + 8);
    x.fkRelType = d[12];
    x.fkRelatedIndex = static_cast<int32_t>(le32(d + 13));
    x.fkRelatedTable = le32(d + 17);
    x.cascadeUpdates = d[21];
    x.cascadeDeletes = d[22];
    x.kind = d[23];
    if (x.realIndex >= numReal) r.fail();
    pos += 28;
  }
  for (auto& x : def.indexes) x.name = readName(r, pos);

  // Per-column long-value maps: (column number, owned map, free map) until FF FF.
  for (int guard = 0; guard < 4096; ++guard) {
    if (pos + 2 > buf.size()) break;
    uint16_t col = r.u16(pos);
    if (col == 0xFFFF) break;
    const uint8_t* d = r.at(pos, 10);
    for (auto& c : def.columns) {
      if (c.number == col) {
        c.lvOwned = MapRef{d[2], le24(d + 3)};
        c.lvFree = MapRef{d[6], le24(d + 7)};
      }
    }
    pos += 10;
  }

  std::stable_sort(def.columns.begin(), def.columns.end(),
                   [](const ColumnDef& a, const ColumnDef& b) { return a.number < b.number; });
  return def;
}

}  // namespace jet
