// The catalog, table scans, row decoding and long values.
//
// Rows (Jet 4). A row starts with its stored column count, then the fixed
// area (each fixed column at 2 + its offset), then the variable data, and ends
// with the trailer: end-of-data offset, the variable offsets in reverse, the
// variable count and the null mask. A column whose number is at or past the
// row's column count, or a variable column whose slot is at or past the row's
// variable count, was added after the row was written and reads as Null.
//
// Data pages. Slot n runs from its offset to the offset of slot n-1 (slot 0
// to the end of the page). Flag 0x8000 marks a deleted row or the relocated
// copy of a row, which scans skip; flag 0x4000 marks a row that holds only a
// pointer (row, 3-byte page) to its relocated data. Every offset read from a
// page is checked, so damage gives a jet::Error that names the page.
#include "jet/storage/database.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "jet/storage/bytes.h"
#include "jet/storage/error.h"
#include "jet/storage/usage_map.h"

namespace jet {

std::string foldName(std::string_view name) {
  std::string s(name);
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

namespace {

constexpr int32_t kRootParentId = 0x0F000000;
constexpr unsigned kMaxRelocationHops = 8;

// Appends the Jet 4 text encoding (compressed or UTF-16LE) as UTF-8.
std::string decodeText(const uint8_t* p, size_t len) {
  if (len >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
    std::string out;
    out.reserve(len);
    bool compressed = true;
    size_t i = 2;
    while (i < len) {
      if (p[i] == 0x00) {
        compressed = !compressed;
        ++i;
        continue;
      }
      if (compressed) {
        uint8_t c = p[i++];
        if (c < 0x80) {
          out.push_back(static_cast<char>(c));
        } else {
          out.push_back(static_cast<char>(0xC0 | (c >> 6)));
          out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
      } else {
        // Collect the uncompressed run up to the next 00 00 unit or the end.
        size_t start = i;
        while (i + 1 < len && !(p[i] == 0x00 && p[i + 1] == 0x00)) i += 2;
        out += utf16leToUtf8(p + start, i - start);
        if (i + 1 >= len) break;  // a dangling odd byte is dropped
      }
    }
    return out;
  }
  return utf16leToUtf8(p, len & ~size_t{1});
}

double decodeNumeric(const uint8_t* p, uint8_t scale) {
  // Sign byte, then four 32-bit little-endian words, most significant first.
  long double v = 0;
  for (int w = 0; w < 4; ++w) v = v * 4294967296.0L + le32(p + 1 + 4 * w);
  v /= std::pow(10.0L, scale);
  return static_cast<double>(p[0] & 0x80 ? -v : v);
}

size_t fixedSize(const ColumnDef& c) {
  switch (c.type) {
    case ColumnType::Boolean: return 0;
    case ColumnType::Byte: return 1;
    case ColumnType::Integer: return 2;
    case ColumnType::Long: return 4;
    case ColumnType::Single: return 4;
    case ColumnType::Currency:
    case ColumnType::Double:
    case ColumnType::DateTime: return 8;
    case ColumnType::Guid: return 16;
    case ColumnType::Numeric: return 17;
    default: return c.length;
  }
}

}  // namespace

// --- Opening and the catalog ------------------------------------------------

std::unique_ptr<Database> Database::open(const std::string& path, const OpenOptions& options) {
  std::unique_ptr<Database> db(new Database());
  db->pager_ = Pager::open(path, options.writable);
  db->pager_->setSpillBudget(options.spillBudget);
  const std::u16string& stored = db->pager_->header().password;
  if (!stored.empty() && stored != utf8ToUtf16(options.password)) throw Error("Senha inválida.");
  db->loadCatalog();
  return db;
}



void Database::loadCatalog() {
  const TableDef& sys = [&]() -> const TableDef& {
    auto& slot = defs_[foldName("MSysObjects")];
    if (slot) *slot = readTableDef(*pager_, 2, "MSysObjects");  // in place: callers may hold it
    else slot = std::make_unique<TableDef>(readTableDef(*pager_, 2, "MSysObjects"));
    return *slot;
  }();
  int id = -1, parent = -1, name = -1, type = -1, flags = -1;
  for (size_t i = 0; i < sys.columns.size(); ++i) {
    std::string n = foldName(sys.columns[i].name);
    if (n == "id") id = static_cast<int>(i);
    else if (n == "parentid") parent = static_cast<int>(i);
    else if (n == "name") name = static_cast<int>(i);
    else if (n == "type") type = static_cast<int>(i);
    else if (n == "flags") flags = static_cast<int>(i);
  }
  if (id < 0 || parent < 0 || name < 0 || type < 0 || flags < 0) {
    throw Error(pager_->faultMessage(2, "catálogo (MSysObjects) sem as colunas esperadas"));
  }
  std::vector<char> wanted(sys.columns.size(), 0);
  wanted[id] = wanted[parent] = wanted[name] = wanted[type] = wanted[flags] = 1;

  std::vector<CatalogEntry> all;
  TableScan scan(*this, sys);
  scan.setWanted(wanted);
  while (scan.next()) {
    const auto& v = scan.values();
    CatalogEntry e;
    if (v[id].is<int32_t>()) e.id = v[id].as<int32_t>();
    if (v[parent].is<int32_t>()) e.parentId = v[parent].as<int32_t>();
    if (v[name].is<std::string>()) e.name = v[name].as<std::string>();
    if (v[type].is<int16_t>()) e.type = v[type].as<int16_t>();
    if (v[flags].is<int32_t>()) e.flags = static_cast<uint32_t>(v[flags].as<int32_t>());
    all.push_back(std::move(e));
  }
  int32_t tables = 0x0F000001;
  for (const auto& e : all) {
    if (e.parentId == kRootParentId && foldName(e.name) == "tables") tables = e.id;
  }
  tablesContainerId_ = tables;
  for (auto& e : all) {
    if (e.type == 1 && e.parentId == tables) catalog_.push_back(std::move(e));
  }
}

std::vector<std::string> Database::tableNames() const {
  std::vector<std::string> names;
  for (const auto& e : catalog_) {
    if (!e.system()) names.push_back(e.name);
  }
  return names;
}

const CatalogEntry* Database::findEntry(std::string_view name) const {
  std::string key = foldName(name);
  for (const auto& e : catalog_) {
    if (foldName(e.name) == key) return &e;
  }
  return nullptr;
}

bool Database::hasTable(std::string_view name) const { return findEntry(name) != nullptr; }

const TableDef& Database::tableDef(std::string_view name) {
  std::string key = foldName(name);
  auto it = defs_.find(key);
  if (it != defs_.end()) return *it->second;
  const CatalogEntry* e = findEntry(name);
  if (!e) throw Error("A tabela '" + std::string(name) + "' não existe.");
  if (e->id <= 2 && foldName(e->name) != "msysobjects") {
    throw Error(pager_->faultMessage(0, "a tabela '" + e->name + "' aponta para uma página inválida"));
  }
  auto def = std::make_unique<TableDef>(readTableDef(*pager_, static_cast<uint32_t>(e->id), e->name));
  const TableDef& ref = *def;
  defs_[key] = std::move(def);
  return ref;
}

// --- Usage maps ---------------------------------------------------------------

std::vector<uint32_t> Database::usageMapPages(MapRef ref) { return jet::usageMapPages(*pager_, ref); }

// --- Rows -----------------------------------------------------------------------

namespace {

struct Extent {
  unsigned start = 0;
  unsigned end = 0;
  uint16_t flags = 0;
};

// The slot's extent on a data page; throws on an impossible offset.
Extent slotExtent(const Pager& pager, const PageBuffer& p, uint32_t pageNo, unsigned slot) {
  unsigned count = le16(p.data() + 12);
  unsigned tableEnd = 14u + 2u * count;
  if (tableEnd > kPageSize || slot >= count) {
    throw Error(pager.faultMessage(pageNo, "tabela de linhas inválida"));
  }
  uint16_t raw = le16(p.data() + 14 + 2 * slot);
  Extent e;
  e.flags = raw & 0xC000;
  e.start = raw & 0x1FFF;
  e.end = slot == 0 ? kPageSize : (le16(p.data() + 14 + 2 * (slot - 1)) & 0x1FFF);
  bool deleted = (e.flags & 0x8000) != 0;
  if (e.start > kPageSize || e.end > kPageSize) {
    throw Error(pager.faultMessage(pageNo, "a linha " + std::to_string(slot) +
                                               " aponta para fora da página"));
  }
  if (!deleted && (e.start < tableEnd || e.start > e.end)) {
    throw Error(pager.faultMessage(pageNo, "a linha " + std::to_string(slot) +
                                               " tem limites inválidos"));
  }
  if (deleted && e.start > e.end) e.start = e.end;
  return e;
}

}  // namespace

bool Database::readRow(const TableDef& def, const PageBuffer& page, uint32_t pageNo, unsigned slot,
                       std::vector<Value>& out, const std::vector<char>* wanted) {
  Extent e = slotExtent(*pager_, page, pageNo, slot);
  if (e.flags & 0x8000) return false;
  if (e.start == e.end) return false;
  if (!(e.flags & 0x4000)) {
    decodeRow(def, page.data() + e.start, e.end - e.start, pageNo, out, wanted);
    return true;
  }
  // Follow the relocation pointer to the row's data.
  const uint8_t* ptr = page.data() + e.start;
  PageRef tp;  // keeps the page that `ptr` points into alive
  for (unsigned hop = 0; hop < kMaxRelocationHops; ++hop) {
    if (e.end - e.start < 4) throw Error(pager_->faultMessage(pageNo, "ponteiro de linha inválido"));
    unsigned row = ptr[0];
    uint32_t target = le24(ptr + 1);
    tp = pager_->page(target);
    if ((*tp)[0] != 0x01 || le32(tp->data() + 4) != def.tdefPage) {
      throw Error(pager_->faultMessage(target, "destino de linha realocada inválido"));
    }
    e = slotExtent(*pager_, *tp, target, row);
    if (e.start == e.end) return false;
    if (!(e.flags & 0x4000)) {
      decodeRow(def, tp->data() + e.start, e.end - e.start, target, out, wanted);
      return true;
    }
    ptr = tp->data() + e.start;
    pageNo = target;
  }
  throw Error(pager_->faultMessage(pageNo, "cadeia de linhas realocadas longa demais"));
}

void Database::decodeRow(const TableDef& def, const uint8_t* row, size_t len, uint32_t pageNo,
                         std::vector<Value>& out, const std::vector<char>* wanted) {
  auto fault = [&]() {
    return Error(pager_->faultMessage(pageNo, "linha corrompida da tabela '" + def.name + "'"));
  };
  out.resize(def.columns.size());
  if (len < 2) throw fault();
  unsigned colCount = le16(row);
  size_t maskLen = (colCount + 7) / 8;
  if (maskLen + 2 > len) throw fault();
  const uint8_t* mask = row + len - maskLen;

  bool hasVar = def.varColumns > 0;
  unsigned varCount = 0;
  size_t varTable = 0;  // offset of the entry for slot 0
  if (hasVar) {
    if (len < maskLen + 4) throw fault();
    varCount = le16(row + len - maskLen - 2);
    if (len < maskLen + 4 + 2u * varCount) throw fault();
    varTable = len - maskLen - 4;
  }
  auto varOffset = [&](unsigned i) -> unsigned { return le16(row + varTable - 2 * i); };

  for (size_t i = 0; i < def.columns.size(); ++i) {
    Value& v = out[i];
    // A column added since `wanted` was made is not wanted.
    if (wanted && (i >= wanted->size() || !(*wanted)[i])) continue;
    const ColumnDef& c = def.columns[i];
    if (c.number >= colCount) {
      v = Value();
      continue;
    }
    bool bit = (mask[c.number / 8] >> (c.number % 8)) & 1;
    if (c.type == ColumnType::Boolean) {
      v = Value(bit);
      continue;
    }
    if (!bit) {
      v = Value();
      continue;
    }
    const uint8_t* d;
    size_t n;
    if (c.fixed()) {
      n = fixedSize(c);
      if (2u + c.fixedOffset + n > len) throw fault();
      d = row + 2 + c.fixedOffset;
    } else {
      if (c.varIndex >= varCount) {
        v = Value();
        continue;
      }
      unsigned s = varOffset(c.varIndex), t = varOffset(c.varIndex + 1u);
      if (s > t || t > len) throw fault();
      d = row + s;
      n = t - s;
    }
    switch (c.type) {
      case ColumnType::Byte:
        if (n < 1) throw fault();
        v = Value(d[0]);
        break;
      case ColumnType::Integer:
        if (n < 2) throw fault();
        v = Value(static_cast<int16_t>(le16(d)));
        break;
      case ColumnType::Long:
        if (n < 4) throw fault();
        v = Value(static_cast<int32_t>(le32(d)));
        break;
      case ColumnType::Currency: {
        if (n < 8) throw fault();
        int64_t x;
        std::memcpy(&x, d, 8);
        v = Value(Currency{x});
        break;
      }
      case ColumnType::Single: {
        if (n < 4) throw fault();
        float x;
        std::memcpy(&x, d, 4);
        v = Value(x);
        break;
      }
      case ColumnType::Double:
      case ColumnType::DateTime: {
        if (n < 8) throw fault();
        double x;
        std::memcpy(&x, d, 8);
        v = c.type == ColumnType::Double ? Value(x) : Value(DateTime{x});
        break;
      }
      case ColumnType::Guid: {
        if (n < 16) throw fault();
        Guid g;
        std::memcpy(g.bytes.data(), d, 16);
        v = Value(g);
        break;
      }
      case ColumnType::Numeric:
        if (n < 17) throw fault();
        v = Value(decodeNumeric(d, c.scale));
        break;
      case ColumnType::Text:
        v = Value(decodeText(d, n));
        break;
      case ColumnType::Memo: {
        Bytes b = readLongValue(d, n, def.name + "." + c.name);
        v = Value(decodeText(b.data(), b.size()));
        break;
      }
      case ColumnType::OLE:
        v = Value(readLongValue(d, n, def.name + "." + c.name));
        break;
      default:
        v = Value(Bytes(d, d + n));
        break;
    }
  }
}

// --- Long values ------------------------------------------------------------

Bytes Database::readLongValue(const uint8_t* def12, size_t len, const std::string& where) {
  auto fault = [&](uint32_t page) {
    return Error(pager_->faultMessage(page, "valor longo corrompido em '" + where + "'"));
  };
  if (len < 12) throw fault(0);
  uint32_t word = le32(def12);
  uint32_t total = word & 0x3FFFFFFF;
  uint8_t kind = def12[3] & 0xC0;
  if (kind == 0x80) {
    if (12u + total > len) throw fault(0);
    return Bytes(def12 + 12, def12 + 12 + total);
  }
  if (kind == 0xC0) throw fault(0);
  Bytes out;
  if (total > 0x3FFFFFFF || total > uint64_t{pager_->pageCount()} * kPageSize) throw fault(0);
  out.reserve(total);
  unsigned row = def12[4];
  uint32_t page = le24(def12 + 5);
  std::set<uint64_t> seen;
  while (out.size() < total) {
    if (page == 0 || !seen.insert((uint64_t{page} << 8) | row).second) throw fault(page);
    PageRef p = pager_->page(page);
    if ((*p)[0] != 0x01) throw fault(page);
    Extent e = slotExtent(*pager_, *p, page, row);
    const uint8_t* d = p->data() + e.start;
    size_t n = e.end - e.start;
    if (kind == 0x40) {
      if (n < total) throw fault(page);
      out.insert(out.end(), d, d + total);
      break;
    }
    if (n < 4) throw fault(page);
    unsigned nextRow = d[0];
    uint32_t nextPage = le24(d + 1);
    size_t take = std::min<size_t>(n - 4, total - out.size());
    out.insert(out.end(), d + 4, d + 4 + take);
    if (out.size() < total && nextPage == 0) throw fault(page);
    row = nextRow;
    page = nextPage;
  }
  return out;
}

// --- Scans --------------------------------------------------------------------

TableScan::TableScan(Database& db, const TableDef& def) : db_(db), def_(def) {
  pages_ = db.usageMapPages(def.ownedPages);
}

void TableScan::setWanted(std::vector<char> wanted) { wanted_ = std::move(wanted); }

bool TableScan::next() {
  for (;;) {
    if (page_) {
      while (slot_ < slotCount_) {
        unsigned s = slot_++;
        if (db_.readRow(def_, *page_, pages_[pageIndex_ - 1], s, values_,
                        wanted_.empty() ? nullptr : &wanted_)) {
          rowId_ = RowId{pages_[pageIndex_ - 1], static_cast<uint8_t>(s)};
          return true;
        }
      }
      page_.reset();
    }
    if (pageIndex_ >= pages_.size()) return false;
    uint32_t n = pages_[pageIndex_++];
    PageRef p = db_.pager().page(n);
    if ((*p)[0] != 0x01 || le32(p->data() + 4) != def_.tdefPage) continue;
    unsigned count = le16(p->data() + 12);
    if (14u + 2u * count > kPageSize) {
      throw Error(db_.pager().faultMessage(n, "tabela de linhas inválida"));
    }
    page_ = std::move(p);
    slot_ = 0;
    slotCount_ = count;
  }
}

}  // namespace jet
