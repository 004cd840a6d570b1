// Creating, changing and dropping tables.
//
// A new table gets, in this order: its TDEF page (whose number is the table's
// Id in the catalog), a usage-map holder page with the table's owned-pages
// map (a reference map, so it never needs promoting) and free-space map, one
// owned-pages map per index and two maps per Memo/OLE column, and an empty
// root leaf per index. Then the table is registered: a row in MSysObjects
// (through the ordinary insert path, which keeps the catalog's own indexes
// right) and one MSysACEs row per user that holds rights on the Tables
// container, with the same SIDs.
//
// Adding a column never rewrites rows: each row stores its own column count,
// so the new column reads as Null in rows written before it.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <set>

#include "jet/storage/bytes.h"
#include "jet/storage/data_page.h"
#include "jet/storage/database.h"
#include "jet/storage/database_internal.h"
#include "jet/storage/error.h"
#include "jet/storage/index_btree.h"
#include "jet/storage/index_key.h"
#include "jet/storage/tdef_writer.h"
#include "jet/storage/text_form.h"
#include "jet/storage/usage_map.h"

namespace jet {

namespace {

constexpr int32_t kFullAccess = 1048575;

double oleNow() {
  using namespace std::chrono;
  auto now = system_clock::now();
  time_t t = system_clock::to_time_t(now);
  struct tm local {};
  localtime_r(&t, &local);
  CivilDateTime c;
  c.year = local.tm_year + 1900;
  c.month = local.tm_mon + 1;
  c.day = local.tm_mday;
  c.hour = local.tm_hour;
  c.minute = local.tm_min;
  c.second = local.tm_sec;
  return fromCivil(c);
}

void validName(const std::string& name, const char* what) {
  if (name.empty() || utf8ToUtf16(name).size() > 64) {
    throw Error(std::string("Nome de ") + what + " inválido: '" + name + "'.");
  }
  for (char ch : name) {
    if (ch == '.' || ch == '!' || ch == '`' || ch == '[' || ch == ']' || static_cast<unsigned char>(ch) < 0x20) {
      throw Error(std::string("Nome de ") + what + " inválido: '" + name + "'.");
    }
  }
}

// A column descriptor for a new column of `request`.
ColumnDef newColumn(const ColumnSpec& request, uint16_t number) {
  ColumnDef c;
  c.name = request.name;
  c.type = request.type;
  c.number = number;
  c.sortOrder = 0x0409;
  c.flags = kColumnNullable;
  switch (request.type) {
    case ColumnType::Text:
      if (request.textChars < 1 || request.textChars > 255) {
        throw Error("Tamanho inválido para o campo de texto '" + request.name + "' (1 a 255).");
      }
      c.length = static_cast<uint16_t>(2 * request.textChars);
      c.extFlags = kColumnCompressedUnicode;
      break;
    case ColumnType::Memo:
      c.extFlags = kColumnCompressedUnicode;
      break;
    case ColumnType::Binary:
      c.length = static_cast<uint16_t>(std::clamp(request.textChars, 1u, 255u));
      break;
    case ColumnType::OLE:
      break;
    case ColumnType::Numeric:
      throw Error("O tipo Numeric não é suportado na criação do campo '" + request.name + "'.");
    default:
      c.flags |= kColumnFixed;
      c.length = static_cast<uint16_t>(columnFixedSize(c));
      if (request.type == ColumnType::Boolean) c.length = 1;
  }
  if (request.autoNumber) {
    if (request.type != ColumnType::Long) throw Error("Numeração automática só é possível em campos Long.");
    c.flags |= kColumnAutoLong;
  }
  return c;
}

// Next free fixed offset and variable slot among the columns of `def`.
void placeColumn(const TableDef& def, ColumnDef& c) {
  size_t fixedEnd = 0;
  int maxVar = -1;
  unsigned varsSoFar = 0;
  for (const auto& o : def.columns) {
    if (o.fixed() && o.type != ColumnType::Boolean) fixedEnd = std::max(fixedEnd, o.fixedOffset + columnFixedSize(o));
    if (!o.fixed()) {
      maxVar = std::max<int>(maxVar, o.varIndex);
      ++varsSoFar;
    }
  }
  if (c.fixed()) {
    c.fixedOffset = static_cast<uint16_t>(fixedEnd);
    c.varIndex = static_cast<uint16_t>(std::max<int>(maxVar + 1, static_cast<int>(def.varColumns)));
  } else {
    c.varIndex = static_cast<uint16_t>(std::max<int>(maxVar + 1, static_cast<int>(def.varColumns)));
  }
}

}  // namespace

// A holder page for usage-map rows with room for `rows` more maps.
MapRef Database::addMapRow(uint32_t& holder, const std::vector<uint8_t>& map) {
  if (holder != 0) {
    PageRef p = pager_->page(holder);
    if (!pageHasRoom(*p, map.size())) holder = 0;
  }
  if (holder == 0) {
    holder = allocatePage(*pager_);
    initDataPage(pager_->modify(holder), 0, false);
  }
  unsigned row = pageAppendRow(pager_->modify(holder), map.data(), map.size());
  return MapRef{static_cast<uint8_t>(row), holder};
}

uint32_t Database::newIndexRoot(const TableDef& def, RealIndexDef& real, uint32_t& holder) {
  uint32_t root = allocatePage(*pager_);
  IndexPage leaf;
  leaf.number = root;
  leaf.leaf = true;
  leaf.tdefPage = def.tdefPage;
  encodeIndexPage(leaf, pager_->modify(root));
  real.rootPage = root;
  real.ownedPages = addMapRow(holder, newInlineMap(root));
  usageMapAdd(*pager_, real.ownedPages, root);
  return root;
}

void Database::registerTable(const TableDef& def) {
  // The owner of new objects is the owner of MSysDb; the users with rights
  // on new tables are those with an entry on the Tables container.
  Value owner = Value(Bytes{0xA6, 0x33});
  {
    const TableDef& sys = tableDef("MSysObjects");
    const ColumnDef* nameCol = sys.findColumn("Name");
    const ColumnDef* ownerCol = sys.findColumn("Owner");
    if (nameCol && ownerCol) {
      int ni = sys.positionOfNumber(nameCol->number), oi = sys.positionOfNumber(ownerCol->number);
      TableScan scan(*this, sys);
      while (scan.next()) {
        const Value& n = scan.values()[ni];
        if (n.is<std::string>() && n.as<std::string>() == "MSysDb" && scan.values()[oi].is<Bytes>()) {
          owner = scan.values()[oi];
        }
      }
    }
  }
  double now = oleNow();
  const TableDef& sys = tableDef("MSysObjects");
  std::vector<Value> row(sys.columns.size());
  auto set = [&](const char* col, Value v) {
    const ColumnDef* c = sys.findColumn(col);
    if (c) row[sys.positionOfNumber(c->number)] = std::move(v);
  };
  set("Id", Value(static_cast<int32_t>(def.tdefPage)));
  set("ParentId", Value(tablesContainerId_));
  set("Name", Value(def.name));
  set("Type", Value(int16_t{1}));
  set("DateCreate", Value(DateTime{now}));
  set("DateUpdate", Value(DateTime{now}));
  set("Owner", owner);
  set("Flags", Value(int32_t{0}));
  insertRow("MSysObjects", std::move(row));

  if (!hasTable("MSysACEs")) return;
  const TableDef& aces = tableDef("MSysACEs");
  const ColumnDef* objCol = aces.findColumn("ObjectId");
  const ColumnDef* sidCol = aces.findColumn("SID");
  const ColumnDef* acmCol = aces.findColumn("ACM");
  const ColumnDef* inhCol = aces.findColumn("FInheritable");
  if (!objCol || !sidCol || !acmCol || !inhCol) return;
  int oi = aces.positionOfNumber(objCol->number), si = aces.positionOfNumber(sidCol->number);
  std::vector<Bytes> sids;
  {
    TableScan scan(*this, aces);
    while (scan.next()) {
      const auto& v = scan.values();
      if (v[oi] == Value(tablesContainerId_) && v[si].is<Bytes>() &&
          std::find(sids.begin(), sids.end(), v[si].as<Bytes>()) == sids.end()) {
        sids.push_back(v[si].as<Bytes>());
      }
    }
  }
  if (sids.empty()) sids.push_back(Bytes{0xA6, 0x33});
  for (const Bytes& sid : sids) {
    std::vector<Value> ace(aces.columns.size());
    ace[oi] = Value(static_cast<int32_t>(def.tdefPage));
    ace[si] = Value(sid);
    ace[aces.positionOfNumber(acmCol->number)] = Value(kFullAccess);
    ace[aces.positionOfNumber(inhCol->number)] = Value(false);
    insertRow("MSysACEs", std::move(ace));
  }
}

TableDef Database::buildTable(const TableSpec& layout, uint32_t tdefPage, uint8_t tableType) {
  validName(layout.name, "tabela");
  if (layout.columns.empty()) throw Error("A tabela '" + layout.name + "' precisa de ao menos um campo.");
  if (layout.columns.size() > 255) throw Error("A tabela '" + layout.name + "' tem campos demais.");
  TableDef def;
  def.name = layout.name;
  def.tdefPage = tdefPage;
  def.tdefPages = {tdefPage};
  def.tableType = tableType;
  std::set<std::string> names;
  for (const auto& cs : layout.columns) {
    validName(cs.name, "campo");
    if (!names.insert(foldName(cs.name)).second) {
      throw Error("O campo '" + cs.name + "' aparece mais de uma vez na tabela '" + layout.name + "'.");
    }
    ColumnDef c = newColumn(cs, static_cast<uint16_t>(def.columns.size()));
    placeColumn(def, c);
    if (!c.fixed()) def.varColumns = static_cast<uint16_t>(c.varIndex + 1);
    def.columns.push_back(c);
  }
  def.maxColumns = static_cast<uint16_t>(def.columns.size());

  uint32_t holder = 0;
  def.ownedPages = addMapRow(holder, newReferenceMap());
  def.freePages = addMapRow(holder, newInlineMap(0));
  for (auto& c : def.columns) {
    if (!isLongValueType(c.type)) continue;
    c.lvOwned = addMapRow(holder, newInlineMap(0));
    c.lvFree = addMapRow(holder, newInlineMap(0));
  }
  for (const auto& is : layout.indexes) addIndexDef(def, is, holder);
  return def;
}

void Database::addIndexDef(TableDef& def, const IndexSpec& is, uint32_t& holder) {
  std::string name = is.name.empty() && is.primaryKey ? "PrimaryKey" : is.name;
  validName(name, "índice");
  for (const auto& x : def.indexes) {
    if (foldName(x.name) == foldName(name)) {
      throw Error("O índice '" + name + "' já existe na tabela '" + def.name + "'.");
    }
    if (is.primaryKey && x.primaryKey()) {
      throw Error("A tabela '" + def.name + "' já tem uma chave primária.");
    }
  }
  if (is.columns.empty() || is.columns.size() > 10) {
    throw Error("O índice '" + name + "' deve ter de 1 a 10 campos.");
  }
  if (def.indexes.size() >= 32) throw Error("A tabela '" + def.name + "' tem índices demais.");
  RealIndexDef real;
  for (const auto& [col, asc] : is.columns) {
    const ColumnDef* c = def.findColumn(col);
    if (!c) throw Error("Nome de campo desconhecido: '" + col + "'.");
    if (!keyColumnSupported(*c)) {
      throw Error("O campo '" + col + "' não pode fazer parte de um índice.");
    }
    real.columns.push_back(IndexColumn{c->number, asc});
  }
  real.flags = 0x80;
  if (is.primaryKey) real.flags |= kIndexUnique | kIndexRequired;
  else if (is.unique) real.flags |= kIndexUnique;
  newIndexRoot(def, real, holder);
  IndexDef logical;
  logical.name = name;
  logical.number = 0;
  for (const auto& x : def.indexes) logical.number = std::max(logical.number, x.number + 1);
  logical.realIndex = static_cast<uint32_t>(def.realIndexes.size());
  logical.kind = is.primaryKey ? kIndexKindPrimaryKey : kIndexKindNormal;
  def.realIndexes.push_back(real);
  def.indexes.push_back(logical);
}

void Database::createTable(const TableSpec& layout) {
  inOperation([&] {
    if (hasTable(layout.name)) throw Error("A tabela '" + layout.name + "' já existe.");
    uint32_t tdef = allocatePage(*pager_);
    TableDef def = buildTable(layout, tdef, 0x4E);
    writeTableDefPages(*pager_, def, serializeTableDef(def));
    registerTable(def);
    CatalogEntry e;
    e.name = def.name;
    e.id = static_cast<int32_t>(tdef);
    e.parentId = tablesContainerId_;
    e.type = 1;
    catalog_.push_back(e);
    {
      std::string key = foldName(def.name);
      defs_[key] = std::make_unique<TableDef>(std::move(def));
    }
  });
}

void Database::rewriteTableDef(TableDef& def) { writeTableDefPages(*pager_, def, serializeTableDef(def)); }

void Database::addColumn(std::string_view table, const ColumnSpec& request) {
  inOperation([&] {
    TableDef& def = writableDef(table);
    validName(request.name, "campo");
    if (def.findColumn(request.name)) {
      throw Error("O campo '" + request.name + "' já existe na tabela '" + def.name + "'.");
    }
    if (def.columns.size() >= 255 || def.maxColumns >= 0xFFFF) {
      throw Error("A tabela '" + def.name + "' tem campos demais.");
    }
    ColumnDef c = newColumn(request, def.maxColumns);
    placeColumn(def, c);
    if (isLongValueType(c.type)) {
      uint32_t holder = def.ownedPages.page;
      c.lvOwned = addMapRow(holder, newInlineMap(0));
      c.lvFree = addMapRow(holder, newInlineMap(0));
    }
    TableDef changed = def;
    changed.columns.push_back(c);
    changed.maxColumns = static_cast<uint16_t>(def.maxColumns + 1);
    if (!c.fixed()) changed.varColumns = static_cast<uint16_t>(std::max<int>(def.varColumns, c.varIndex + 1));
    rewriteTableDef(changed);
    def = std::move(changed);
  });
}

void Database::createIndex(std::string_view table, const IndexSpec& request) {
  inOperation([&] {
    TableDef& def = writableDef(table);
    TableDef changed = def;
    uint32_t holder = def.ownedPages.page;
    addIndexDef(changed, request, holder);
    const RealIndexDef& real = changed.realIndexes.back();
    IndexBtree tree(*pager_, changed.tdefPage, real);
    // Fill the new index from the rows already there, refusing duplicates.
    struct Entry {
      std::vector<uint8_t> key;
      RowId row;
      bool hasNull;
    };
    std::vector<Entry> entries;
    {
      TableScan scan(*this, def);
      while (scan.next()) {
        if (real.ignoreNulls() && rowKeyAllNull(changed, real, scan.values())) continue;
        if (real.required() && rowKeyAnyNull(changed, real, scan.values())) {
          throw Error("O índice '" + request.name + "' não aceita valores nulos, mas a tabela '" + def.name +
                      "' tem registros com campos nulos.");
        }
        entries.push_back(Entry{rowKey(changed, real, scan.values()), scan.rowId(),
                                rowKeyAnyNull(changed, real, scan.values())});
      }
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
      return compareEntries(a.key, a.row, b.key, b.row) < 0;
    });
    uint32_t distinct = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
      bool fresh = i == 0 || entries[i].key != entries[i - 1].key;
      if (!fresh && real.unique() && !entries[i].hasNull) {
        throw Error("Não foi possível criar o índice '" + request.name + "': a tabela '" + def.name +
                    "' tem valores duplicados.");
      }
      distinct += fresh;
      tree.insert(entries[i].key, entries[i].row);
      pager_->spillIfOverBudget();
    }
    changed.realIndexes.back().uniqueEntryCount = distinct;
    rewriteTableDef(changed);
    def = std::move(changed);
  });
}

void Database::dropTable(std::string_view table) {
  inOperation([&] {
    TableDef& def = const_cast<TableDef&>(tableDef(table));
    const uint32_t tdefPage = def.tdefPage;
    if (def.tableType != 0x4E) throw Error("A tabela de sistema '" + def.name + "' não pode ser excluída.");
    for (const auto& x : def.indexes) {
      if (x.foreignKey()) {
        throw Error("A tabela '" + def.name + "' faz parte de um relacionamento e não pode ser excluída.");
      }
    }
    // Catalog rows first: the table stops existing for every reader.
    auto deleteWhere = [&](const char* sysTable, const char* column) {
      if (!hasTable(sysTable)) return;
      const TableDef& sys = tableDef(sysTable);
      const ColumnDef* c = sys.findColumn(column);
      if (!c) return;
      int pos = sys.positionOfNumber(c->number);
      std::vector<RowId> ids;
      TableScan scan(*this, sys);
      while (scan.next()) {
        if (scan.values()[pos] == Value(static_cast<int32_t>(tdefPage))) ids.push_back(scan.rowId());
      }
      for (RowId id : ids) deleteRow(sysTable, id);
    };
    deleteWhere("MSysObjects", "Id");
    deleteWhere("MSysACEs", "ObjectId");

    // Then its pages go back to the global map as free.
    std::set<uint32_t> pages(def.tdefPages.begin(), def.tdefPages.end());
    for (uint32_t p : usageMapPages(def.ownedPages)) pages.insert(p);
    for (const auto& c : def.columns) {
      if (c.lvOwned.page) for (uint32_t p : usageMapPages(c.lvOwned)) pages.insert(p);
    }
    for (const auto& r : def.realIndexes) {
      if (r.ownedPages.page) for (uint32_t p : usageMapPages(r.ownedPages)) pages.insert(p);
    }
    for (uint32_t p : pages) {
      if (p > 2) freePage(*pager_, p);
    }
    std::string key = foldName(def.name);
    catalog_.erase(std::remove_if(catalog_.begin(), catalog_.end(),
                                  [&](const CatalogEntry& e) { return foldName(e.name) == key; }),
                   catalog_.end());
    auto it = defs_.find(key);
    if (it != defs_.end()) {
      it->second->tdefPage = 0;
      retired_.push_back(std::move(it->second));
      defs_.erase(it);
    }
    writeState().tables.erase(tdefPage);
  });
}

}  // namespace jet
