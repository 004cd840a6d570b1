// Inserting, updating and deleting rows.
//
// Every write runs inside an operation of the pager (see pager.cc), so a
// failure half-way through (a duplicate key, a value too long, a full disk)
// is undone whole: the public calls begin an operation when the caller has
// not, and roll it back on any exception. On rollback the in-memory table
// definitions are read again from the file, so counters never drift from it.
//
// Rows are encoded in the Jet 4 layout (see database.cc). New rows go to the
// table's last data page while it has room, else to a new page that joins the
// table's owned and free-space maps. An update writes in place when the new
// image fits the old slot (padded to its size), repacks the page when the page
// as a whole has room, and otherwise relocates the row: the new image goes to
// another page flagged 0x8000, and the original slot, which every index entry
// keeps pointing at, holds a 4-byte pointer flagged 0x4000. An abandoned or
// deleted relocated copy is always marked 0xC000, so that readers which skip
// only rows with both bits set never see it again.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>

#include "jet/storage/bytes.h"
#include "jet/storage/data_page.h"
#include "jet/storage/database.h"
#include "jet/storage/database_internal.h"
#include "jet/storage/error.h"
#include "jet/storage/index_maintenance.h"
#include "jet/storage/usage_map.h"

namespace jet {

namespace {

constexpr size_t kMaxInlineLongValue = 64;
constexpr size_t kMaxSingleLongValue = 4076;
constexpr size_t kChainChunk = 4072;

size_t fixedSizeOf(const ColumnDef& c) {
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
    default: return c.length;
  }
}

[[noreturn]] void incompatible(const TableDef& def, const ColumnDef& c) {
  throw Error("Tipos de dados incompatíveis para o campo '" + c.name + "' da tabela '" + def.name + "'.");
}

bool numericValue(const Value& v, double& out) {
  switch (v.kind()) {
    case ValueKind::Boolean: out = v.as<bool>() ? -1 : 0; return true;
    case ValueKind::Byte: out = v.as<uint8_t>(); return true;
    case ValueKind::Integer: out = v.as<int16_t>(); return true;
    case ValueKind::Long: out = v.as<int32_t>(); return true;
    case ValueKind::Currency: out = static_cast<double>(v.as<Currency>().scaled) / 10000.0; return true;
    case ValueKind::Single: out = v.as<float>(); return true;
    case ValueKind::Double: out = v.as<double>(); return true;
    case ValueKind::Date: out = v.as<DateTime>().days; return true;
    default: return false;
  }
}

// Brings a value to the storage type of its column (numbers between numeric
// types, rounding half to even as Jet does); throws when it cannot.
Value coerce(const TableDef& def, const ColumnDef& c, const Value& v) {
  if (v.isNull()) return v;
  double d = 0;
  auto integral = [&](double lo, double hi) -> int64_t {
    if (v.is<Currency>()) {
      int64_t s = v.as<Currency>().scaled;
      d = static_cast<double>(s) / 10000.0;
    } else if (!numericValue(v, d)) {
      incompatible(def, c);
    }
    double r = std::nearbyint(d);
    if (!(r >= lo && r <= hi)) {
      throw Error("Valor fora do intervalo para o campo '" + c.name + "' da tabela '" + def.name + "'.");
    }
    return static_cast<int64_t>(r);
  };
  switch (c.type) {
    case ColumnType::Boolean:
      if (v.is<bool>()) return v;
      if (!numericValue(v, d)) incompatible(def, c);
      return Value(d != 0);
    case ColumnType::Byte: return Value(static_cast<uint8_t>(integral(0, 255)));
    case ColumnType::Integer: return Value(static_cast<int16_t>(integral(-32768, 32767)));
    case ColumnType::Long: return Value(static_cast<int32_t>(integral(-2147483648.0, 2147483647.0)));
    case ColumnType::Currency: {
      if (v.is<Currency>()) return v;
      if (!numericValue(v, d)) incompatible(def, c);
      double s = std::nearbyint(d * 10000.0);
      if (!(std::fabs(s) < 9.2233720368547758e18)) {
        throw Error("Valor fora do intervalo para o campo '" + c.name + "' da tabela '" + def.name + "'.");
      }
      return Value(Currency{static_cast<int64_t>(s)});
    }
    case ColumnType::Single:
      if (!numericValue(v, d)) incompatible(def, c);
      return Value(static_cast<float>(d));
    case ColumnType::Double:
      if (!numericValue(v, d)) incompatible(def, c);
      return Value(d);
    case ColumnType::DateTime:
      if (v.is<DateTime>()) return v;
      if (!numericValue(v, d)) incompatible(def, c);
      return Value(DateTime{d});
    case ColumnType::Text:
    case ColumnType::Memo:
      if (!v.is<std::string>()) incompatible(def, c);
      return v;
    case ColumnType::Binary:
    case ColumnType::OLE:
      if (!v.is<Bytes>()) incompatible(def, c);
      return v;
    case ColumnType::Guid:
      if (!v.is<Guid>()) incompatible(def, c);
      return v;
    case ColumnType::Numeric:
      throw Error("O campo '" + c.name + "' da tabela '" + def.name + "' é do tipo Numeric, que não é gravável.");
  }
  incompatible(def, c);
}

// True when `v` already has the storage type of its column, so that coerce()
// would return it unchanged.
bool hasStorageType(const ColumnDef& c, const Value& v) {
  if (v.isNull()) return true;
  switch (c.type) {
    case ColumnType::Boolean: return v.is<bool>();
    case ColumnType::Byte: return v.is<uint8_t>();
    case ColumnType::Integer: return v.is<int16_t>();
    case ColumnType::Long: return v.is<int32_t>();
    case ColumnType::Currency: return v.is<Currency>();
    case ColumnType::Single: return v.is<float>();
    case ColumnType::Double: return v.is<double>();
    case ColumnType::DateTime: return v.is<DateTime>();
    case ColumnType::Text:
    case ColumnType::Memo: return v.is<std::string>();
    case ColumnType::Binary:
    case ColumnType::OLE: return v.is<Bytes>();
    case ColumnType::Guid: return v.is<Guid>();
    case ColumnType::Numeric: return false;
  }
  return false;
}

// Jet 4 text storage: the compressed form (FF FE + one byte a character)
// when the column allows it and every character is in U+0001..U+00FF,
// otherwise UTF-16LE.
Bytes encodeText(const std::u16string& s, bool compressible) {
  bool compress = compressible && s.size() > 2 && s.size() <= 1024 &&
                  std::all_of(s.begin(), s.end(), [](char16_t c) { return c >= 1 && c <= 0xFF; });
  Bytes out;
  if (compress) {
    out.reserve(s.size() + 2);
    out.push_back(0xFF);
    out.push_back(0xFE);
    for (char16_t c : s) out.push_back(static_cast<uint8_t>(c));
  } else {
    out.resize(s.size() * 2);
    for (size_t i = 0; i < s.size(); ++i) {
      out[2 * i] = static_cast<uint8_t>(s[i] & 0xFF);
      out[2 * i + 1] = static_cast<uint8_t>(s[i] >> 8);
    }
  }
  return out;
}

void putFixed(uint8_t* p, const ColumnDef& c, const Value& v) {
  switch (c.type) {
    case ColumnType::Byte: p[0] = v.as<uint8_t>(); break;
    case ColumnType::Integer: putLe16(p, static_cast<uint16_t>(v.as<int16_t>())); break;
    case ColumnType::Long: putLe32(p, static_cast<uint32_t>(v.as<int32_t>())); break;
    case ColumnType::Currency: std::memcpy(p, &v.as<Currency>().scaled, 8); break;
    case ColumnType::Single: std::memcpy(p, &v.as<float>(), 4); break;
    case ColumnType::Double: std::memcpy(p, &v.as<double>(), 8); break;
    case ColumnType::DateTime: std::memcpy(p, &v.as<DateTime>().days, 8); break;
    case ColumnType::Guid: std::memcpy(p, v.as<Guid>().bytes.data(), 16); break;
    default: break;
  }
}

// Value bytes of a variable-length column other than Memo/OLE.
Bytes varBytes(const ColumnDef& c, const Value& v) {
  switch (c.type) {
    case ColumnType::Text: return encodeText(utf8ToUtf16(v.as<std::string>()), c.compressedUnicode());
    case ColumnType::Binary: return v.as<Bytes>();
    default: {
      Bytes b(fixedSizeOf(c));
      putFixed(b.data(), c, v);
      return b;
    }
  }
}

}  // namespace

// --- Operations ------------------------------------------------------------

Database::Database() = default;
Database::~Database() = default;

Database::WriteState& Database::writeState() {
  if (!ws_) ws_ = std::make_unique<WriteState>();
  return *ws_;
}

void Database::beginOperation() {
  WriteState& ws = writeState();
  if (ws.depth++ == 0) pager_->begin();
}

void Database::commitOperation() {
  WriteState& ws = writeState();
  if (ws.depth == 0) return;
  if (--ws.depth == 0) {
    pager_->commit();
  } else {
    // A write call inside a larger operation ended: no page buffer is in
    // use, so pages held beyond the budget may go to the file.
    pager_->spillIfOverBudget();
  }
}

void Database::rollbackOperation() {
  WriteState& ws = writeState();
  if (ws.depth == 0) return;
  ws.depth = 0;
  pager_->rollback();
  reloadAfterRollback();
}

void Database::reloadAfterRollback() {
  ws_->tables.clear();
  catalog_.clear();
  loadCatalog();
  // Definitions are re-read in place: callers may hold references to them.
  for (auto& entry : defs_) {
    auto& def = entry.second;
    if (def->tdefPage == 0) continue;
    const uint32_t page = def->tdefPage;
    bool exists = page == 2 || std::any_of(catalog_.begin(), catalog_.end(), [page](const CatalogEntry& e) {
                    return static_cast<uint32_t>(e.id) == page;
                  });
    if (exists) *def = readTableDef(*pager_, def->tdefPage, def->name);
    else def->tdefPage = 0;
  }
}

TableDef& Database::writableDef(std::string_view table) {
  TableDef& def = const_cast<TableDef&>(tableDef(table));
  std::string why;
  if (!tableWritable(*this, def, &why)) {
    throw Error("A tabela '" + def.name + "' é somente leitura: " + why + ".");
  }
  return def;
}

void Database::patchTableCounters(const TableDef& def) {
  PageBuffer& p = pager_->modify(def.tdefPage);
  putLe32(p.data() + 16, def.rowCount);
  putLe32(p.data() + 20, def.lastAutoNumber);
  for (size_t i = 0; i < def.realIndexes.size(); ++i) {
    size_t off = 63 + 12 * i + 4;
    if (off + 4 <= kPageSize) putLe32(p.data() + off, def.realIndexes[i].uniqueEntryCount);
  }
}

// --- Long values ---------------------------------------------------------------

uint32_t Database::longValuePage(const TableDef& def, const ColumnDef& c, size_t size, bool fresh) {
  WriteState::TableState& ts = writeState().tables[def.tdefPage];
  auto it = ts.lvalPage.find(c.number);
  if (!fresh && it != ts.lvalPage.end()) {
    PageRef p = pager_->page(it->second);
    if (pageHasRoom(*p, size)) return it->second;
    if (c.lvFree.page) usageMapRemove(*pager_, c.lvFree, it->second);
  }
  if (!fresh && it == ts.lvalPage.end() && c.lvOwned.page) {
    // Continue on the column's last long-value page when it has room.
    std::vector<uint32_t> pages = jet::usageMapPages(*pager_, c.lvFree.page ? c.lvFree : c.lvOwned);
    if (!pages.empty()) {
      PageRef p = pager_->page(pages.back());
      if ((*p)[0] == 0x01 && std::memcmp(p->data() + 4, "LVAL", 4) == 0 && pageHasRoom(*p, size)) {
        ts.lvalPage[c.number] = pages.back();
        return pages.back();
      }
    }
  }
  uint32_t page = allocatePage(*pager_);
  initDataPage(pager_->modify(page), def.tdefPage, true);
  if (c.lvOwned.page) usageMapAdd(*pager_, c.lvOwned, page);
  // A page taken for one full chunk of a chain stays out of the free-space
  // map and does not become the page small values go to.
  if (!fresh) {
    if (c.lvFree.page) usageMapAdd(*pager_, c.lvFree, page);
    ts.lvalPage[c.number] = page;
  }
  return page;
}

void Database::writeLongValue(const TableDef& def, const ColumnDef& c, const Bytes& data, bool mayInline,
                              Bytes& out) {
  uint8_t header[12] = {};
  uint32_t len = static_cast<uint32_t>(data.size());
  if (data.size() > 0x3FFFFFFF) throw Error("Valor longo demais para o campo '" + c.name + "'.");
  if (mayInline && data.size() <= kMaxInlineLongValue) {
    putLe32(header, len | 0x80000000u);
    out.insert(out.end(), header, header + 12);
    out.insert(out.end(), data.begin(), data.end());
    return;
  }
  if (data.size() <= kMaxSingleLongValue) {
    uint32_t page = longValuePage(def, c, data.size(), false);
    unsigned row = pageAppendRow(pager_->modify(page), data.data(), data.size());
    putLe32(header, len | 0x40000000u);
    header[4] = static_cast<uint8_t>(row);
    putLe24(header + 5, page);
  } else {
    // A chain of chunks, each on a page of its own, written last to first so
    // that every chunk knows where the next one is.
    size_t chunks = (data.size() + kChainChunk - 1) / kChainChunk;
    uint8_t nextRow = 0;
    uint32_t nextPage = 0;
    Bytes chunk;
    for (size_t k = chunks; k-- > 0;) {
      size_t from = k * kChainChunk;
      size_t n = std::min(kChainChunk, data.size() - from);
      chunk.assign(4, 0);
      chunk[0] = nextRow;
      putLe24(chunk.data() + 1, nextPage);
      chunk.insert(chunk.end(), data.begin() + static_cast<long>(from), data.begin() + static_cast<long>(from + n));
      uint32_t page = longValuePage(def, c, chunk.size(), n == kChainChunk);
      nextRow = static_cast<uint8_t>(pageAppendRow(pager_->modify(page), chunk.data(), chunk.size()));
      nextPage = page;
    }
    putLe32(header, len);
    header[4] = nextRow;
    putLe24(header + 5, nextPage);
  }
  out.insert(out.end(), header, header + 12);
}

// --- Rows ------------------------------------------------------------------

Bytes Database::encodeRow(const TableDef& def, std::vector<Value>& values, const RawRow* old, size_t padTo) {
  if (values.size() != def.columns.size()) {
    throw Error("Número de valores diferente do número de campos da tabela '" + def.name + "'.");
  }
  // Text values in UTF-16, converted once for the length check and the row.
  std::vector<std::u16string> texts(values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    const ColumnDef& c = def.columns[i];
    if (!hasStorageType(c, values[i])) values[i] = coerce(def, c, values[i]);
    if (c.type == ColumnType::Text && values[i].is<std::string>()) {
      texts[i] = utf8ToUtf16(values[i].as<std::string>());
      size_t chars = texts[i].size();
      if (chars > c.textChars()) {
        throw Error("O valor do campo '" + c.name + "' da tabela '" + def.name + "' tem " + std::to_string(chars) +
                    " caracteres, mais que os " + std::to_string(c.textChars()) + " permitidos.");
      }
    }
  }
  unsigned colCount = def.maxColumns;
  for (const auto& c : def.columns) colCount = std::max<unsigned>(colCount, c.number + 1u);
  size_t maskLen = (colCount + 7) / 8;
  size_t fixedLen = 0;
  for (const auto& c : def.columns) {
    if (c.fixed() && c.type != ColumnType::Boolean) fixedLen = std::max(fixedLen, c.fixedOffset + fixedSizeOf(c));
  }
  unsigned varCount = def.varColumns;
  for (const auto& c : def.columns) {
    if (!c.fixed()) varCount = std::max<unsigned>(varCount, c.varIndex + 1u);
  }

  Bytes row(2 + fixedLen, 0);
  putLe16(row.data(), static_cast<uint16_t>(colCount));
  std::vector<uint8_t> mask(maskLen, 0);
  for (size_t i = 0; i < values.size(); ++i) {
    const ColumnDef& c = def.columns[i];
    const Value& v = values[i];
    bool bit = c.type == ColumnType::Boolean ? (v.is<bool>() && v.as<bool>()) : !v.isNull();
    if (bit) mask[c.number / 8] |= static_cast<uint8_t>(1u << (c.number % 8));
    if (c.fixed() && !v.isNull() && c.type != ColumnType::Boolean) putFixed(row.data() + 2 + c.fixedOffset, c, v);
  }

  // Variable data in slot order; long values are placed inline only while
  // the row keeps room for a 12-byte definition of every later long value.
  std::vector<const ColumnDef*> bySlot(varCount, nullptr);
  std::vector<size_t> valueOf(varCount, 0);
  for (size_t i = 0; i < def.columns.size(); ++i) {
    const ColumnDef& c = def.columns[i];
    if (!c.fixed()) {
      bySlot[c.varIndex] = &c;
      valueOf[c.varIndex] = i;
    }
  }
  size_t trailer = varCount ? 2 * (varCount + 1) + 2 : 0;
  size_t budget = 2 + fixedLen + trailer + maskLen;
  std::vector<Bytes> plain(varCount);
  for (unsigned s = 0; s < varCount; ++s) {
    const ColumnDef* c = bySlot[s];
    if (!c || values[valueOf[s]].isNull()) continue;
    if (isLongValueType(c->type)) budget += 12;
    else {
      plain[s] = c->type == ColumnType::Text ? encodeText(texts[valueOf[s]], c->compressedUnicode())
                                             : varBytes(*c, values[valueOf[s]]);
      budget += plain[s].size();
    }
  }
  if (budget > kMaxRowSize) {
    throw Error("O registro é grande demais para a tabela '" + def.name + "'.");
  }
  std::vector<uint16_t> offsets(varCount + 1);
  for (unsigned s = 0; s < varCount; ++s) {
    offsets[s] = static_cast<uint16_t>(row.size());
    const ColumnDef* c = bySlot[s];
    if (!c) continue;
    const Value& v = values[valueOf[s]];
    if (v.isNull()) continue;
    if (!isLongValueType(c->type)) {
      row.insert(row.end(), plain[s].begin(), plain[s].end());
      continue;
    }
    if (old && old->longValues.count(c->number) && old->values[valueOf[s]] == v) {
      const Bytes& keep = old->longValues.at(c->number);  // unchanged: reuse the stored definition
      row.insert(row.end(), keep.begin(), keep.end());
      budget += keep.size() - 12;
      continue;
    }
    Bytes data = c->type == ColumnType::Memo ? encodeText(utf8ToUtf16(v.as<std::string>()), c->compressedUnicode())
                                             : v.as<Bytes>();
    bool mayInline = budget + data.size() <= kMaxRowSize;
    size_t before = row.size();
    writeLongValue(def, *c, data, mayInline, row);
    budget += row.size() - before - 12;
  }
  offsets[varCount] = static_cast<uint16_t>(row.size());
  size_t minSize = std::max<size_t>(padTo, 4);
  size_t total = row.size() + trailer + maskLen;
  if (total < minSize) row.insert(row.end(), minSize - total, 0);
  if (varCount) {
    for (unsigned s = varCount + 1; s-- > 0;) {
      uint8_t b[2];
      putLe16(b, offsets[s]);
      row.insert(row.end(), b, b + 2);
    }
    uint8_t b[2];
    putLe16(b, static_cast<uint16_t>(varCount));
    row.insert(row.end(), b, b + 2);
  }
  row.insert(row.end(), mask.begin(), mask.end());
  if (row.size() > kMaxRowSize) throw Error("O registro é grande demais para a tabela '" + def.name + "'.");
  return row;
}

// Grows an encoded row to `size` bytes with zeros between its data and its
// trailer, so that it fills the slot it replaces exactly.
void Database::padRow(const TableDef& def, Bytes& row, size_t size) {
  if (row.size() >= size) return;
  unsigned colCount = le16(row.data());
  size_t trailer = (colCount + 7) / 8;
  if (def.varColumns || std::any_of(def.columns.begin(), def.columns.end(), [](const ColumnDef& c) { return !c.fixed(); })) {
    unsigned varCount = le16(row.data() + row.size() - trailer - 2);
    trailer += 2 * (varCount + 1) + 2;
  }
  row.insert(row.end() - static_cast<long>(trailer), size - row.size(), 0);
}

// Finds a data page of the table with room for `size` bytes, or adds one.
uint32_t Database::dataPageFor(const TableDef& def, size_t size, uint32_t avoid) {
  WriteState::TableState& ts = writeState().tables[def.tdefPage];
  if (ts.lastDataPage == 0) {
    std::vector<uint32_t> pages = jet::usageMapPages(*pager_, def.ownedPages);
    for (auto it = pages.rbegin(); it != pages.rend(); ++it) {
      PageRef p = pager_->page(*it);
      if ((*p)[0] == 0x01 && le32(p->data() + 4) == def.tdefPage) {
        ts.lastDataPage = *it;
        break;
      }
    }
  }
  if (ts.lastDataPage && ts.lastDataPage != avoid) {
    PageRef p = pager_->page(ts.lastDataPage);
    if (pageHasRoom(*p, size)) return ts.lastDataPage;
    usageMapRemove(*pager_, def.freePages, ts.lastDataPage);
  }
  uint32_t page = allocatePage(*pager_);
  initDataPage(pager_->modify(page), def.tdefPage, false);
  usageMapAdd(*pager_, def.ownedPages, page);
  usageMapAdd(*pager_, def.freePages, page);
  ts.lastDataPage = page;
  return page;
}

Database::RawRow Database::readRawRow(const TableDef& def, RowId id) {
  RawRow r;
  PageRef p = pager_->page(id.page);
  if ((*p)[0] != 0x01 || le32(p->data() + 4) != def.tdefPage || id.row >= pageRowCount(*p)) {
    throw Error("Registro inexistente na tabela '" + def.name + "'.");
  }
  const SlotBounds header = pageSlot(*p, id.row);
  if (header.flags & 0x8000 || header.size() == 0) {
    throw Error("O registro foi excluído da tabela '" + def.name + "'.");
  }
  r.headerSize = header.size();
  if (header.flags & kSlotPointer) {
    if (header.size() < 4) throw Error(pager_->faultMessage(id.page, "ponteiro de linha inválido"));
    const uint8_t* pointer = p->data() + header.start;
    r.target = RowId{le24(pointer + 1), pointer[0]};
    r.relocated = true;
  }
  if (!readRow(def, *p, id.page, id.row, r.values)) {
    throw Error("O registro foi excluído da tabela '" + def.name + "'.");
  }
  // The stored 12-byte definitions of the long values, to reuse on update.
  RowId data = r.relocated ? r.target : id;
  PageRef dp = r.relocated ? pager_->page(data.page) : p;
  if (data.row >= pageRowCount(*dp)) throw Error(pager_->faultMessage(data.page, "ponteiro de linha inválido"));
  const SlotBounds stored = data.row == id.row && !r.relocated ? header : pageSlot(*dp, data.row);
  const std::span<const uint8_t> bytes(dp->data() + stored.start, stored.size());
  r.dataSize = bytes.size();
  if (bytes.size() >= 2 && def.varColumns) {
    unsigned colCount = le16(bytes.data());
    size_t maskLen = (colCount + 7) / 8;
    size_t len = bytes.size();
    if (len >= maskLen + 4) {
      unsigned varCount = le16(bytes.data() + len - maskLen - 2);
      size_t table = len - maskLen - 4;
      for (size_t i = 0; i < def.columns.size(); ++i) {
        const ColumnDef& c = def.columns[i];
        if (!isLongValueType(c.type) || c.fixed() || c.varIndex >= varCount || r.values[i].isNull()) continue;
        if (table < 2u * (c.varIndex + 1u)) continue;
        unsigned s = le16(bytes.data() + table - 2 * c.varIndex);
        unsigned t = le16(bytes.data() + table - 2 * (c.varIndex + 1u));
        if (s + 12 <= t && t <= len) r.longValues[c.number] = Bytes(bytes.data() + s, bytes.data() + t);
      }
    }
  }
  return r;
}

RowId Database::insertRow(std::string_view table, std::vector<Value> values) {
  return inOperation([&] {
    TableDef& def = writableDef(table);
    uint32_t lastAuto = def.lastAutoNumber;
    for (size_t i = 0; i < def.columns.size() && i < values.size(); ++i) {
      const ColumnDef& c = def.columns[i];
      if (!(c.flags & kColumnAutoLong) || c.type != ColumnType::Long) continue;
      if (values[i].isNull()) {
        if (lastAuto >= 0x7FFFFFFF) throw Error("A numeração automática da tabela '" + def.name + "' se esgotou.");
        values[i] = Value(static_cast<int32_t>(++lastAuto));
      } else {
        Value v = coerce(def, c, values[i]);
        if (v.as<int32_t>() > static_cast<int32_t>(lastAuto)) lastAuto = static_cast<uint32_t>(v.as<int32_t>());
      }
    }
    Bytes row = encodeRow(def, values, nullptr, 0);
    indexCheckInsert(*this, def, values, nullptr);
    uint32_t page = dataPageFor(def, row.size(), 0);
    RowId id{page, static_cast<uint8_t>(pageAppendRow(pager_->modify(page), row.data(), row.size()))};
    indexInsert(*this, def, values, id);
    def.rowCount += 1;
    def.lastAutoNumber = lastAuto;
    patchTableCounters(def);
    return id;
  });
}

void Database::updateRow(std::string_view table, RowId id, std::vector<Value> values) {
  inOperation([&] {
    TableDef& def = writableDef(table);
    RawRow old = readRawRow(def, id);
    RowId data = old.relocated ? old.target : id;
    Bytes row = encodeRow(def, values, &old, 0);
    indexCheckInsert(*this, def, values, &id);
    if (row.size() <= old.dataSize) {
      // The padded row fills its slot exactly: written over the old bytes.
      padRow(def, row, old.dataSize);
      PageBuffer& p = pager_->modify(data.page);
      const SlotBounds slot = pageSlot(p, data.row);
      if (slot.size() != row.size()) throw Error(pager_->faultMessage(data.page, "linha alterada durante a gravação"));
      std::memcpy(p.data() + slot.start, row.data(), row.size());
    } else {
      // Repack the page that holds the data when it has room as a whole.
      PageBuffer& p = pager_->modify(data.page);
      std::vector<SlotImage> slots = pageSlots(p);
      slots[data.row].bytes = row;
      if (!pageRewrite(p, slots)) {
        if (old.relocated) {
          // The old copy is abandoned: mark it deleted and take its space back.
          std::vector<SlotImage> s2 = pageSlots(p);
          s2[data.row] = SlotImage{kSlotDeleted, {}};
          pageRewrite(p, s2);
        }
        uint32_t page = dataPageFor(def, row.size(), id.page);
        unsigned slot = pageAppendRow(pager_->modify(page), row.data(), row.size(), kSlotRelocatedCopy);
        Bytes pointer(4, 0);
        pointer[0] = static_cast<uint8_t>(slot);
        putLe24(pointer.data() + 1, page);
        PageBuffer& hp = pager_->modify(id.page);
        std::vector<SlotImage> hs = pageSlots(hp);
        hs[id.row] = SlotImage{kSlotPointer, pointer};
        pageRewrite(hp, hs);
      }
    }
    indexUpdate(*this, def, old.values, values, id);
  });
}

void Database::deleteRow(std::string_view table, RowId id) {
  inOperation([&] {
    TableDef& def = writableDef(table);
    RawRow old = readRawRow(def, id);
    if (old.relocated) {
      PageBuffer& tp = pager_->modify(old.target.page);
      std::vector<SlotImage> ts = pageSlots(tp);
      ts[old.target.row] = SlotImage{kSlotDeleted, {}};
      pageRewrite(tp, ts);
    }
    PageBuffer& p = pager_->modify(id.page);
    std::vector<SlotImage> slots = pageSlots(p);
    slots[id.row] = SlotImage{kSlotDeleted, {}};
    pageRewrite(p, slots);
    indexRemove(*this, def, old.values, id);
    if (def.rowCount > 0) def.rowCount -= 1;
    patchTableCounters(def);
  });
}

}  // namespace jet
