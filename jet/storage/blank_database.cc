// Creating a blank Jet 4 database, and setting its password.
//
// A new file starts as two pages written directly: the header page and page 1
// with the global usage map. Everything else is built by the engine's own
// writer in one operation: the four system tables (MSysObjects at page 2,
// MSysACEs, MSysQueries, MSysRelationships) are laid out like any table, and
// their catalog rows, the containers and the access entries go in through
// the ordinary insert path, which also fills the catalog's indexes. The set
// of owners and access entries is the one of a file made by the Jet engine
// itself.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include "jet/storage/bytes.h"
#include "jet/storage/data_page.h"
#include "jet/storage/database.h"
#include "jet/storage/database_internal.h"
#include "jet/storage/error.h"
#include "jet/storage/tdef_writer.h"
#include "jet/storage/text_form.h"
#include "jet/storage/usage_map.h"

namespace jet {

namespace {

constexpr int32_t kRootId = 0x0F000000;
constexpr int32_t kTablesId = 0x0F000001;
constexpr int32_t kDatabasesId = 0x0F000002;
constexpr int32_t kRelationshipsId = 0x0F000003;
constexpr int32_t kMSysDbId = 0x10000000;
constexpr uint32_t kSystemFlag = 0x80000000u;

// Masks or unmasks the 40 password bytes for a creation date.
void maskPassword(uint8_t* field, double creationDate) {
  int32_t seed = (creationDate > -2147483648.0 && creationDate < 2147483647.0) ? static_cast<int32_t>(creationDate) : 0;
  uint8_t mask[4];
  putLe32(mask, static_cast<uint32_t>(seed));
  for (int i = 0; i < 40; ++i) field[i] ^= mask[i % 4];
}

void putPassword(uint8_t* decodedHeader, const std::string& password) {
  std::u16string pw = utf8ToUtf16(password);
  if (pw.size() > 20) throw Error("A senha do banco de dados pode ter no máximo 20 caracteres.");
  uint8_t* field = decodedHeader + 0x42;
  std::memset(field, 0, 40);
  for (size_t i = 0; i < pw.size(); ++i) putLe16(field + 2 * i, pw[i]);
  double date;
  std::memcpy(&date, decodedHeader + 0x72, 8);
  maskPassword(field, date);
}

void applyHeaderMask(uint8_t* page) {
  for (size_t i = 0; i < kHeaderMask.size(); ++i) page[0x18 + i] ^= kHeaderMask[i];
}

double oleNow() {
  using namespace std::chrono;
  double secs = duration<double>(system_clock::now().time_since_epoch()).count();
  return secs / 86400.0 + 25569.0;
}

PageBuffer headerPage(const std::string& password) {
  PageBuffer p{};
  p[1] = 0x01;
  std::memcpy(p.data() + 4, "Standard Jet DB", 16);
  p[0x14] = 0x01;
  static const uint8_t kStart[24] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                                     0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
  std::memcpy(p.data() + 0x18, kStart, sizeof kStart);
  putLe16(p.data() + 0x3C, 1252);
  putLe32(p.data() + 0x3E, 0);
  p[0x6A] = 0xA6;
  p[0x6B] = 0x11;
  putLe16(p.data() + 0x6E, 0x0409);
  double created = oleNow();
  std::memcpy(p.data() + 0x72, &created, 8);
  putPassword(p.data(), password);
  applyHeaderMask(p.data());
  static const uint8_t kVersion[8] = {0x54, 0x06, 0x00, 0x00, '4', '.', '0', 0x00};
  std::memcpy(p.data() + 0x98, kVersion, sizeof kVersion);
  for (size_t i = 0xE00; i < kPageSize; i += 2) p[i] = 0x01;
  return p;
}

PageBuffer globalMapPage() {
  PageBuffer p{};
  initDataPage(p, 1, false);
  std::vector<uint8_t> map = newInlineMap(0);
  for (size_t bit = 2; bit < (map.size() - 5) * 8; ++bit) map[5 + bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
  pageAppendRow(p, map.data(), map.size());
  std::vector<uint8_t> spare(69, 0);
  pageAppendRow(p, spare.data(), spare.size());
  return p;
}

ColumnSpec col(const char* name, ColumnType type, unsigned chars = 255) {
  ColumnSpec c;
  c.name = name;
  c.type = type;
  c.textChars = chars;
  return c;
}

}  // namespace

std::unique_ptr<Database> Database::create(const std::string& path, const std::string& password) {
  if (std::filesystem::exists(path)) throw Error("O arquivo '" + path + "' já existe.");
  {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw Error("Não foi possível criar o arquivo '" + path + "': " + std::strerror(errno) + ".");
    PageBuffer pages[2] = {headerPage(password), globalMapPage()};
    bool ok = ::write(fd, pages, sizeof pages) == static_cast<ssize_t>(sizeof pages) && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok) {
      std::filesystem::remove(path);
      throw Error("Não foi possível gravar o arquivo '" + path + "'.");
    }
  }
  try {
    std::unique_ptr<Database> db(new Database());
    db->pager_ = Pager::open(path, true);
    db->bootstrap();
    return db;
  } catch (...) {
    std::filesystem::remove(path);
    throw;
  }
}

void Database::bootstrap() {
  beginOperation();
  uint32_t pages[4];
  for (uint32_t& p : pages) p = allocatePage(*pager_);  // 2, 3, 4, 5

  TableSpec objects{"MSysObjects",
                    {col("Id", ColumnType::Long), col("ParentId", ColumnType::Long), col("Name", ColumnType::Text),
                     col("Type", ColumnType::Integer), col("DateCreate", ColumnType::DateTime),
                     col("DateUpdate", ColumnType::DateTime), col("Owner", ColumnType::Binary),
                     col("Flags", ColumnType::Long), col("Database", ColumnType::Memo),
                     col("Connect", ColumnType::Memo), col("ForeignName", ColumnType::Text),
                     col("RmtInfoShort", ColumnType::Binary), col("RmtInfoLong", ColumnType::OLE),
                     col("Lv", ColumnType::OLE), col("LvProp", ColumnType::OLE), col("LvModule", ColumnType::OLE),
                     col("LvExtra", ColumnType::OLE)},
                    {IndexSpec{"ParentIdName", {{"ParentId", true}, {"Name", true}}, false, true},
                     IndexSpec{"Id", {{"Id", true}}, true, true}}};
  TableSpec aces{"MSysACEs",
                 {col("ObjectId", ColumnType::Long), col("SID", ColumnType::Binary), col("ACM", ColumnType::Long),
                  col("FInheritable", ColumnType::Boolean)},
                 {IndexSpec{"ObjectId", {{"ObjectId", true}}, false, false}}};
  TableSpec queries{"MSysQueries",
                    {col("ObjectId", ColumnType::Long), col("Attribute", ColumnType::Byte),
                     col("Order", ColumnType::Binary), col("Name1", ColumnType::Text), col("Name2", ColumnType::Text),
                     col("Expression", ColumnType::Memo), col("Flag", ColumnType::Integer),
                     col("LvExtra", ColumnType::Long)},
                    {IndexSpec{"ObjectIdAttribute", {{"ObjectId", true}, {"Attribute", true}, {"Order", true}}, false,
                               true}}};
  TableSpec relationships{"MSysRelationships",
                          {col("szRelationship", ColumnType::Text), col("grbit", ColumnType::Long),
                           col("ccolumn", ColumnType::Long), col("icolumn", ColumnType::Long),
                           col("szObject", ColumnType::Text), col("szColumn", ColumnType::Text),
                           col("szReferencedObject", ColumnType::Text), col("szReferencedColumn", ColumnType::Text)},
                          {IndexSpec{"szRelationship", {{"szRelationship", true}}, false, false},
                           IndexSpec{"szObject", {{"szObject", true}}, false, false},
                           IndexSpec{"szReferencedObject", {{"szReferencedObject", true}}, false, false}}};
  TableSpec layouts[4] = {objects, aces, queries, relationships};
  for (int i = 0; i < 4; ++i) {
    TableDef def = buildTable(layouts[i], pages[i], 0x53);
    for (auto& c : def.columns) c.extFlags = 0;  // system text is stored uncompressed
    for (auto& r : def.realIndexes) r.flags = 0x80 | (r.flags & kIndexUnique);
    if (i == 0) def.indexes[1].kind = kIndexKindPrimaryKey;
    if (i == 1) def.realIndexes[0].flags = 0x80 | kIndexRequired;
    if (i == 3) for (auto& r : def.realIndexes) r.flags = 0x80 | kIndexIgnoreNulls;
    writeTableDefPages(*pager_, def, serializeTableDef(def));
    {
      std::string key = foldName(def.name);
      defs_[key] = std::make_unique<TableDef>(std::move(def));
    }
  }

  auto sid = [](uint16_t v) { return Value(Bytes{static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v & 0xFF)}); };
  double now = oleNow();
  const TableDef& sys = tableDef("MSysObjects");
  auto object = [&](const char* name, int32_t id, int32_t parent, int16_t type, uint16_t owner) {
    std::vector<Value> row(sys.columns.size());
    row[0] = Value(id);
    row[1] = Value(parent);
    row[2] = Value(std::string(name));
    row[3] = Value(type);
    row[4] = Value(DateTime{now});
    row[5] = Value(DateTime{now});
    row[6] = sid(owner);
    row[7] = Value(static_cast<int32_t>(kSystemFlag));
    insertRow("MSysObjects", std::move(row));
  };
  object("Tables", kTablesId, kRootId, 3, 0x06EA);
  object("Databases", kDatabasesId, kRootId, 3, 0x06EA);
  object("Relationships", kRelationshipsId, kRootId, 3, 0x06EA);
  object("MSysDb", kMSysDbId, kDatabasesId, 2, 0x07E8);
  for (int i = 0; i < 4; ++i) object(layouts[i].name.c_str(), static_cast<int32_t>(pages[i]), kTablesId, 1, 0x06EA);

  struct Ace {
    int32_t object;
    uint16_t sid;
    int32_t acm;
    bool inheritable;
  };
  const Ace entries[] = {
      {2, 0x07E8, 393216, false},        {3, 0x07E8, 393216, false},
      {4, 0x07E8, 393216, false},        {5, 0x07E8, 917504, false},
      {kTablesId, 0x06ED, 983294, true}, {kTablesId, 0x07E8, 393217, false},
      {kRelationshipsId, 0x06ED, 983294, true}, {kRelationshipsId, 0x07E8, 393217, false},
      {kDatabasesId, 0x07E8, 393216, false}, {kMSysDbId, 0x07E8, 393230, false},
      {kMSysDbId, 0x06E8, 14, false},     {4, 0x06E8, 20, false},
      {5, 0x06E8, 20, false},             {2, 0x06E8, 20, false},
      {kTablesId, 0x06E8, 1048319, true}, {kRelationshipsId, 0x06E8, 1048575, true},
  };
  for (const Ace& a : entries) {
    insertRow("MSysACEs", {Value(a.object), sid(a.sid), Value(a.acm), Value(a.inheritable)});
  }
  commitOperation();
  loadCatalog();
}

void Database::setPassword(const std::string& password) {
  inOperation([&] {
    PageBuffer& p = pager_->modify(0);
    applyHeaderMask(p.data());
    putPassword(p.data(), password);
    applyHeaderMask(p.data());
  });
  pager_->reloadHeader();
}

}  // namespace jet
