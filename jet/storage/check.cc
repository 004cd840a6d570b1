// The structure check.
//
// The check first reads the type and owner of every page of the file once,
// then visits each table of the catalog: its definition pages, its usage maps
// (and the bitmap pages of reference maps), its data pages slot by slot, the
// long values its rows point to, and the pages of each index tree. Every
// page reached this way is collected; at the end each must be marked used in
// the global map. The rules are only those that files written by the Jet
// engine and by other writers keep: a page marked used that no structure
// reaches is not a problem (compaction reclaims it), nor is a page in a
// free-space map that is full, nor a system table whose row counter is off.
//
// Memory: a few bytes per page of the file (its type and owner, bitmaps of
// the pages reached and owned), eight bytes per relocated row of the table
// being checked, and what the index check holds (see checkIndexes); never
// the rows or the entries of a whole table.
#include "jet/storage/check.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "jet/storage/bytes.h"
#include "jet/storage/data_page.h"
#include "jet/storage/error.h"
#include "jet/storage/index_btree.h"
#include "jet/storage/usage_map.h"

namespace jet {

namespace {

constexpr uint8_t kDataPageType = 0x01;
constexpr uint8_t kMapPageType = 0x05;

struct PageInfo {
  uint8_t type = 0;
  uint32_t owner = 0;  // data pages: the TDEF page named in the header
  bool lval = false;   // data pages: the long-value marker
};

class Checker {
 public:
  explicit Checker(Database& db) : db_(db), pager_(db.pager()) {}

  std::vector<std::string> run() {
    readPageTypes();
    use(0);
    use(1);
    std::vector<CatalogEntry> tables = db_.catalog();
    bool hasCatalog = std::any_of(tables.begin(), tables.end(), [](const CatalogEntry& e) { return e.id == 2; });
    if (!hasCatalog) tables.insert(tables.begin(), CatalogEntry{"MSysObjects", 2, 0, 1, 0x80000000u});
    std::vector<bool> tdefs(pages_.size());
    for (const CatalogEntry& e : tables) {
      if (e.id <= 0 || static_cast<uint32_t>(e.id) >= pager_.pageCount()) {
        problem("Tabela '" + e.name + "': a definição aponta para a página " + std::to_string(e.id) +
                ", fora do arquivo.");
        continue;
      }
      tdefs[static_cast<uint32_t>(e.id)] = true;
      try {
        checkTable(db_.tableDef(e.name));
      } catch (const Error& err) {
        problem("Tabela '" + e.name + "': " + err.what());
      }
    }
    // Data pages that name a table which does not exist (left behind by a
    // dropped table) while the global map still counts them as used. Pages
    // that name no table (usage-map holders) may be left by any writer.
    for (uint32_t n = 3; n < pages_.size(); ++n) {
      const PageInfo& p = pages_[n];
      if (p.type == kDataPageType && !p.lval && p.owner != 0 && (p.owner >= tdefs.size() || !tdefs[p.owner]) && !used_[n] && globalUsed(n)) {
        problem("Página " + std::to_string(n) + ": página de dados de uma tabela inexistente (definição na página " +
                std::to_string(p.owner) + ") marcada como usada.");
      }
    }
    for (uint32_t n = 0; n < used_.size(); ++n) {
      if (!used_[n]) continue;
      if (!globalUsed(n)) {
        problem("Página " + std::to_string(n) + ": usada por uma estrutura mas livre no mapa global.");
      }
    }
    return std::move(problems_);
  }

 private:
  void problem(std::string message) { problems_.push_back(std::move(message)); }
  // Page `n` is reached by a structure (pages out of the file are reported
  // where they are reached).
  void use(uint32_t n) {
    if (n < used_.size()) used_[n] = true;
  }

  bool globalUsed(uint32_t n) {
    try {
      return globalMapUsed(pager_, n);
    } catch (const Error& e) {
      if (!globalMapBroken_) problem(std::string("Mapa global: ") + e.what());
      globalMapBroken_ = true;
      return true;
    }
  }

  void readPageTypes() {
    pages_.resize(pager_.pageCount());
    used_.assign(pager_.pageCount(), false);
    for (uint32_t n = 1; n < pager_.pageCount(); ++n) {
      try {
        PageRef p = pager_.page(n);
        PageInfo& info = pages_[n];
        info.type = (*p)[0];
        if (info.type == kDataPageType) {
          info.lval = std::memcmp(p->data() + 4, "LVAL", 4) == 0;
          info.owner = le32(p->data() + 4);
        }
      } catch (const Error& e) {
        problem(e.what());
      }
    }
  }

  bool inFile(uint32_t n) const { return n > 0 && n < pages_.size(); }

  // Marks the pages of a usage map row (the holder and any bitmap pages) as
  // used and returns the pages the map records.
  std::vector<uint32_t> mapPages(MapRef ref, const std::string& label) {
    if (ref.page == 0) return {};
    if (!inFile(ref.page)) {
      problem(label + ": o mapa de uso aponta para a página " + std::to_string(ref.page) + ", fora do arquivo.");
      return {};
    }
    use(ref.page);
    std::vector<uint32_t> pages;
    try {
      PageRef p = pager_.page(ref.page);
      std::vector<SlotImage> slots = pageSlots(*p);
      if ((*p)[0] != kDataPageType || ref.row >= slots.size() || slots[ref.row].bytes.size() < 5) {
        problem(label + ": o mapa de uso (linha " + std::to_string(ref.row) + " da página " +
                std::to_string(ref.page) + ") não existe.");
        return {};
      }
      const Bytes& row = slots[ref.row].bytes;
      if (row[0] == 0x01) {
        for (size_t off = 1; off + 4 <= row.size(); off += 4) {
          uint32_t bitmap = le32(row.data() + off);
          if (bitmap == 0) continue;
          if (!inFile(bitmap) || pages_[bitmap].type != kMapPageType) {
            problem(label + ": a página de bitmap " + std::to_string(bitmap) + " do mapa de uso é inválida.");
            continue;
          }
          use(bitmap);
        }
      }
      pages = usageMapPages(pager_, ref);
    } catch (const Error& e) {
      problem(label + ": " + e.what());
      return {};
    }
    for (uint32_t n : pages) {
      if (!inFile(n)) {
        problem(label + ": o mapa de uso lista a página " + std::to_string(n) + ", fora do arquivo.");
      }
    }
    pages.erase(std::remove_if(pages.begin(), pages.end(), [&](uint32_t n) { return !inFile(n); }), pages.end());
    return pages;
  }

  void checkTable(const TableDef& def) {
    const std::string label = "Tabela '" + def.name + "'";
    for (uint32_t n : def.tdefPages) use(n);

    std::vector<uint32_t> owned = mapPages(def.ownedPages, label + " (páginas próprias)");
    mapPages(def.freePages, label + " (páginas com espaço livre)");
    std::vector<bool> ownedSet(pages_.size());
    for (uint32_t n : owned) ownedSet[n] = true;

    // Every data page the table owns names it, and every page that names it
    // is owned. Pages in the owned map that are not data pages are tolerated
    // when free: some writers leave the bit of a released page set.
    std::vector<uint32_t> dataPages;
    for (uint32_t n : owned) {
      const PageInfo& p = pages_[n];
      if (p.type == kDataPageType && !p.lval && p.owner == def.tdefPage) {
        dataPages.push_back(n);
        use(n);
      } else if (globalUsed(n)) {
        problem(label + ": a página " + std::to_string(n) +
                " está no mapa de páginas próprias mas não é uma página de dados da tabela.");
      }
    }
    for (uint32_t n = 1; n < pages_.size(); ++n) {
      const PageInfo& p = pages_[n];
      if (p.type == kDataPageType && !p.lval && p.owner == def.tdefPage && !ownedSet[n] && globalUsed(n)) {
        problem(label + ": a página de dados " + std::to_string(n) + " não está no mapa de páginas próprias.");
      }
    }

    for (const ColumnDef& c : def.columns) {
      if (!isLongValueType(c.type)) continue;
      for (uint32_t n : mapPages(c.lvOwned, label + ", campo '" + c.name + "'")) use(n);
      mapPages(c.lvFree, label + ", campo '" + c.name + "'");
    }

    checkRows(def, dataPages, ownedSet);

    for (const std::string& m : checkIndexes(db_, def)) problem(m);
    for (size_t i = 0; i < def.realIndexes.size(); ++i) checkIndexPages(def, i);
  }

  void checkRows(const TableDef& def, const std::vector<uint32_t>& dataPages, const std::vector<bool>& owned) {
    const std::string label = "Tabela '" + def.name + "'";
    uint64_t live = 0;
    // Relocated copies seen and copies pointed to, as page << 8 | row.
    std::vector<uint64_t> copies, targets;
    auto at = [](uint32_t page, unsigned row) { return uint64_t{page} << 8 | row; };
    std::vector<Value> values;
    for (uint32_t n : dataPages) {
      PageRef p;
      std::vector<SlotImage> slots;
      try {
        p = pager_.page(n);
        slots = pageSlots(*p);
      } catch (const Error& e) {
        problem(label + ": " + e.what());
        continue;
      }
      for (unsigned s = 0; s < slots.size(); ++s) {
        const SlotImage& slot = slots[s];
        const std::string where = label + ", linha " + std::to_string(s) + " da página " + std::to_string(n);
        if ((slot.flags & 0xC000) == 0xC000) continue;  // deleted
        if (slot.flags == kSlotRelocatedCopy) {
          copies.push_back(at(n, s));
          continue;
        }
        const Bytes* data = &slot.bytes;
        SlotImage target;
        uint32_t dataPage = n;
        if (slot.flags == kSlotPointer) {
          if (slot.bytes.size() < 4) {
            problem(where + ": ponteiro de realocação curto demais.");
            continue;
          }
          unsigned row = slot.bytes[0];
          uint32_t page = le24(slot.bytes.data() + 1);
          if (page >= owned.size() || !owned[page] || pages_[page].type != kDataPageType || pages_[page].owner != def.tdefPage) {
            problem(where + ": o ponteiro de realocação leva à página " + std::to_string(page) +
                    ", que não é uma página de dados da tabela.");
            continue;
          }
          std::vector<SlotImage> tslots = pageSlots(*pager_.page(page));
          if (row >= tslots.size() || tslots[row].flags != kSlotRelocatedCopy || tslots[row].bytes.empty()) {
            problem(where + ": o ponteiro de realocação leva à linha " + std::to_string(row) + " da página " +
                    std::to_string(page) + ", que não é uma cópia realocada.");
            continue;
          }
          targets.push_back(at(page, row));
          target = tslots[row];
          data = &target.bytes;
          dataPage = page;
        } else if (slot.bytes.empty()) {
          continue;
        }
        ++live;
        try {
          db_.readRow(def, *p, n, s, values);
        } catch (const Error& e) {
          problem(where + ": " + e.what());
          continue;
        }
        checkLongValues(def, *data, dataPage, where);
      }
    }
    std::sort(targets.begin(), targets.end());
    std::sort(copies.begin(), copies.end());
    auto where = [](uint64_t a) {
      return "na linha " + std::to_string(a & 0xFF) + " da página " + std::to_string(a >> 8);
    };
    for (size_t i = 0; i < targets.size();) {
      size_t j = i;
      while (j < targets.size() && targets[j] == targets[i]) ++j;
      if (j - i > 1) {
        problem(label + ": a cópia realocada " + where(targets[i]) + " é o destino de " + std::to_string(j - i) +
                " ponteiros.");
      }
      i = j;
    }
    for (uint64_t a : copies) {
      if (!std::binary_search(targets.begin(), targets.end(), a)) {
        problem(label + ": a cópia realocada " + where(a) + " não é o destino de nenhum ponteiro.");
      }
    }
    // Access does not keep the counters of its own system tables exact
    // (MSysACEs is often off), so only user tables are held to this rule.
    if (def.tableType != 0x53 && live != def.rowCount) {
      problem(label + ": a definição conta " + std::to_string(def.rowCount) + " linhas, mas a tabela tem " +
              std::to_string(live) + ".");
    }
  }

  // Follows each long value of a stored row (the slot that holds its data)
  // and checks that it holds exactly the declared number of bytes.
  void checkLongValues(const TableDef& def, const Bytes& row, uint32_t pageNo, const std::string& where) {
    if (row.size() < 2 || def.varColumns == 0) return;
    unsigned colCount = le16(row.data());
    size_t maskLen = (colCount + 7) / 8;
    size_t len = row.size();
    if (len < maskLen + 4) return;  // readRow has reported it
    const uint8_t* mask = row.data() + len - maskLen;
    unsigned varCount = le16(row.data() + len - maskLen - 2);
    size_t table = len - maskLen - 4;
    for (const ColumnDef& c : def.columns) {
      if (!isLongValueType(c.type) || c.fixed() || c.number >= colCount || c.varIndex >= varCount) continue;
      if (!((mask[c.number / 8] >> (c.number % 8)) & 1)) continue;
      if (table < 2u * (c.varIndex + 1u)) continue;
      unsigned s = le16(row.data() + table - 2 * c.varIndex);
      unsigned t = le16(row.data() + table - 2 * (c.varIndex + 1u));
      if (s > t || t > len) continue;  // readRow has reported it
      const std::string label = where + ", campo '" + c.name + "'";
      if (t - s < 12) {
        if (t != s) problem(label + ": definição de valor longo com " + std::to_string(t - s) + " bytes.");
        continue;
      }
      followLongValue(row.data() + s, t - s, label);
    }
    (void)pageNo;
  }

  void followLongValue(const uint8_t* d, size_t n, const std::string& label) {
    uint32_t word = le32(d);
    uint64_t total = word & 0x3FFFFFFF;
    uint8_t kind = d[3] & 0xC0;
    if (kind == 0x80) {
      if (12 + total > n) problem(label + ": valor longo embutido maior que o espaço da linha.");
      return;
    }
    if (kind == 0xC0) {
      problem(label + ": definição de valor longo de tipo desconhecido.");
      return;
    }
    unsigned row = d[4];
    uint32_t page = le24(d + 5);
    uint64_t got = 0;
    std::set<std::pair<uint32_t, unsigned>> seen;
    for (;;) {
      if (!inFile(page) || pages_[page].type != kDataPageType || !pages_[page].lval) {
        problem(label + ": o valor longo aponta para a página " + std::to_string(page) +
                ", que não é uma página de valores longos.");
        return;
      }
      if (!seen.insert({page, row}).second) {
        problem(label + ": a cadeia do valor longo passa duas vezes pela linha " + std::to_string(row) +
                " da página " + std::to_string(page) + ".");
        return;
      }
      use(page);
      std::vector<SlotImage> slots = pageSlots(*pager_.page(page));
      if (row >= slots.size() || (slots[row].flags & 0x8000) != 0) {
        problem(label + ": o valor longo aponta para a linha " + std::to_string(row) + " da página " +
                std::to_string(page) + ", que não existe.");
        return;
      }
      const Bytes& b = slots[row].bytes;
      if (kind == 0x40) {
        if (b.size() < total) {
          problem(label + ": o valor longo declara " + std::to_string(total) + " bytes, mas a linha tem " +
                  std::to_string(b.size()) + ".");
        }
        return;
      }
      if (b.size() < 4) {
        problem(label + ": elo da cadeia do valor longo curto demais na página " + std::to_string(page) + ".");
        return;
      }
      got += b.size() - 4;
      unsigned nextRow = b[0];
      uint32_t nextPage = le24(b.data() + 1);
      if (got >= total || nextPage == 0) {
        if (got < total) {
          problem(label + ": a cadeia do valor longo termina com " + std::to_string(got) + " dos " +
                  std::to_string(total) + " bytes declarados.");
        }
        return;
      }
      row = nextRow;
      page = nextPage;
    }
  }

  // Walks the pages of one index tree: each must be an index page of the
  // table, in the index's owned-pages map, and used.
  void checkIndexPages(const TableDef& def, size_t i) {
    const RealIndexDef& index = def.realIndexes[i];
    std::string name = std::to_string(i);
    for (const auto& x : def.indexes) {
      if (x.realIndex == i) {
        name = x.name;
        break;
      }
    }
    const std::string label = "Índice '" + name + "' da tabela '" + def.name + "'";
    std::vector<bool> ownedSet(pages_.size());
    for (uint32_t n : mapPages(index.ownedPages, label)) ownedSet[n] = true;
    if (index.rootPage == 0) return;
    std::vector<uint32_t> todo{index.rootPage};
    std::set<uint32_t> outside;  // pages out of the file already reported
    std::vector<bool> seen(pages_.size());
    while (!todo.empty()) {
      uint32_t n = todo.back();
      todo.pop_back();
      if (!inFile(n)) {
        if (outside.insert(n).second) {
          problem(label + ": aponta para a página " + std::to_string(n) + ", fora do arquivo.");
        }
        continue;
      }
      if (seen[n]) continue;
      seen[n] = true;
      used_[n] = true;
      if (index.ownedPages.page && !ownedSet[n]) {
        problem(label + ": a página " + std::to_string(n) + " não está no mapa de páginas do índice.");
      }
      try {
        IndexPage page = parseIndexPage(pager_, *pager_.page(n), n);
        if (page.leaf) continue;
        for (const IndexEntry& e : page.entries) todo.push_back(e.child);
        if (page.tail) todo.push_back(page.tail);
      } catch (const Error& e) {
        // checkIndexes reports a tree it cannot walk.
      }
    }
  }

  Database& db_;
  Pager& pager_;
  std::vector<PageInfo> pages_;
  std::vector<bool> used_;  // pages some structure reaches
  std::vector<std::string> problems_;
  bool globalMapBroken_ = false;
};

}  // namespace

std::vector<std::string> checkDatabase(Database& db) { return Checker(db).run(); }

}  // namespace jet
