#include "jet/storage/index_maintenance.h"

#include "jet/storage/error.h"
#include "jet/storage/index_btree.h"
#include "jet/storage/index_key.h"

namespace jet {

bool tableWritable(Database& db, const TableDef& def, std::string* why) {
  if (db.pager().header().sortOrder != 0 && db.pager().header().sortOrder != 0x0409) {
    if (why) *why = "a ordem de classificação do banco de dados não é a Geral";
    return false;
  }
  for (size_t i = 0; i < def.realIndexes.size(); ++i) {
    if (!indexKeysSupported(def, def.realIndexes[i])) {
      if (why) {
        std::string name = "?";
        for (const auto& x : def.indexes) {
          if (x.realIndex == i) name = x.name;
        }
        *why = "o índice '" + name + "' usa um tipo de chave ou uma ordem de classificação não suportada";
      }
      return false;
    }
  }
  return true;
}

void indexCheckInsert(Database& db, const TableDef& def, const std::vector<Value>& values, const RowId* self) {
  std::optional<RowId> replacing;
  if (self) replacing = *self;
  if (auto violation = indexInsertViolation(db.pager(), def, values, replacing)) throw Error(*violation);
}

void indexInsert(Database& db, TableDef& def, const std::vector<Value>& values, RowId id) {
  indexInsertRow(db.pager(), def, values, id);
}

void indexRemove(Database& db, TableDef& def, const std::vector<Value>& values, RowId id) {
  indexRemoveRow(db.pager(), def, values, id);
}

void indexUpdate(Database& db, TableDef& def, const std::vector<Value>& before, const std::vector<Value>& after,
                 RowId id) {
  indexUpdateRow(db.pager(), def, before, after, id);
}

}  // namespace jet
