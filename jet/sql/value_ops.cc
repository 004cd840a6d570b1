// Variant operations of the SQL engine (see value_ops.h for the rules).
#include "jet/sql/value_ops.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "jet/sql/regional.h"
#include "jet/storage/error.h"

namespace jet::sql {

__extension__ typedef __int128 i128;  // exact Currency products

[[noreturn]] void throwTypeMismatch() {
  throw Error("Tipos de dados incompatíveis na expressão de critério.");
}
[[noreturn]] void throwOverflow() { throw Error("Estouro."); }

// --- Text --------------------------------------------------------------------

namespace {

// Decodes one code point; invalid bytes read as themselves (Latin-1).
inline uint32_t decodeUtf8(std::string_view s, size_t& i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) {
    ++i;
    return c;
  }
  int n = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
  if (n == 0 || i + n >= s.size()) {
    ++i;
    return c;
  }
  uint32_t cp = c & (0x3F >> n);
  for (int k = 1; k <= n; ++k) {
    unsigned char cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) {
      ++i;
      return c;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  i += n + 1;
  return cp;
}

inline void encodeUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

uint32_t toUpperCp(uint32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c & ~1u;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 0) ? c - 1 : c;
  if (c >= 0x3B1 && c <= 0x3C9) return c == 0x3C2 ? 0x3A3 : c - 0x20;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

uint32_t toLowerCp(uint32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if (c == 0x178) return 0xFF;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1u;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 1) ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3A9) return c + 0x20;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

// Base letter of an upper-case letter, for the primary level of the order.
uint32_t baseLetter(uint32_t c) {
  if (c < 0xC0 || c > 0x17F) return c;
  static const char latin1[] = "AAAAAAACEEEEIIIIDNOOOOO*OUUUUYTS";  // C0..DF
  if (c <= 0xDF) {
    char b = latin1[c - 0xC0];
    return b == '*' ? c : static_cast<unsigned char>(b);
  }
  static const char extA[] =  // 0x100..0x17F
      "AAAAAACCCCCCCCDDDDEEEEEEEEEEGGGGGGGGHHHHIIIIIIIIIIJJJJKKKLLLLLLLLLLNNNNNNNNNOOOOOOOORRRRRRSSSSSSSSTTTTTTUUUUUUUUUUUUWWYYYZZZZZZS";
  static_assert(sizeof extA == 129);
  return static_cast<unsigned char>(extA[c - 0x100]);
}

inline bool isAscii(std::string_view s) {
  for (char ch : s)
    if (static_cast<unsigned char>(ch) >= 0x80) return false;
  return true;
}

template <class F>
std::string mapText(std::string_view s, F f) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) encodeUtf8(out, f(decodeUtf8(s, i)));
  return out;
}

}  // namespace

std::string foldCase(std::string_view s) {
  if (isAscii(s)) {
    std::string out(s);
    for (char& c : out)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
  }
  return mapText(s, toUpperCp);
}

std::string upperText(std::string_view s) { return foldCase(s); }
std::string lowerText(std::string_view s) { return mapText(s, toLowerCp); }

size_t textLength(std::string_view s) {
  size_t n = 0;
  for (char ch : s)
    if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) ++n;
  return n;
}

std::string_view significantText(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\0')) --n;
  return s.substr(0, n);
}

int compareText(std::string_view a, std::string_view b) {
  a = significantText(a);
  b = significantText(b);
  if (isAscii(a) && isAscii(b)) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
      if (x >= 'a' && x <= 'z') x -= 32;
      if (y >= 'a' && y <= 'z') y -= 32;
      if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  }
  std::vector<uint32_t> x, y;
  for (size_t i = 0; i < a.size();) x.push_back(toUpperCp(decodeUtf8(a, i)));
  for (size_t i = 0; i < b.size();) y.push_back(toUpperCp(decodeUtf8(b, i)));
  size_t n = std::min(x.size(), y.size());
  for (size_t i = 0; i < n; ++i) {
    uint32_t p = baseLetter(x[i]), q = baseLetter(y[i]);
    if (p != q) return p < q ? -1 : 1;
  }
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  for (size_t i = 0; i < n; ++i)
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  return 0;
}

// --- Classification ------------------------------------------------------------

bool isIntegerKind(ValueKind k) {
  return k == ValueKind::Boolean || k == ValueKind::Byte || k == ValueKind::Integer || k == ValueKind::Long;
}

bool isNumberLike(const Value& v) {
  switch (v.kind()) {
    case ValueKind::Boolean: case ValueKind::Byte: case ValueKind::Integer: case ValueKind::Long:
    case ValueKind::Currency: case ValueKind::Single: case ValueKind::Double: case ValueKind::Date:
      return true;
    default:
      return false;
  }
}

namespace {

inline int64_t integerOf(const Value& v) {
  switch (v.kind()) {
    case ValueKind::Boolean: return v.as<bool>() ? -1 : 0;
    case ValueKind::Byte: return v.as<uint8_t>();
    case ValueKind::Integer: return v.as<int16_t>();
    case ValueKind::Long: return v.as<int32_t>();
    default: return 0;
  }
}

// Numeric value of a number-like value.
inline double numberOf(const Value& v) {
  switch (v.kind()) {
    case ValueKind::Currency: return static_cast<double>(v.as<Currency>().scaled) / 10000.0;
    case ValueKind::Single: return v.as<float>();
    case ValueKind::Double: return v.as<double>();
    case ValueKind::Date: return v.as<DateTime>().days;
    default: return static_cast<double>(integerOf(v));
  }
}

template <class T>
int cmp3(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int compareBytes(const uint8_t* a, size_t na, const uint8_t* b, size_t nb) {
  int c = std::memcmp(a, b, std::min(na, nb));
  if (c) return c < 0 ? -1 : 1;
  return cmp3(na, nb);
}

}  // namespace

std::optional<int> compareValues(const Value& a, const Value& b) {
  if (a.isNull() || b.isNull()) return std::nullopt;
  ValueKind ka = a.kind(), kb = b.kind();
  if (ka == ValueKind::Text && kb == ValueKind::Text) return compareText(a.as<std::string>(), b.as<std::string>());
  if (isNumberLike(a) && isNumberLike(b)) {
    if (isIntegerKind(ka) && isIntegerKind(kb)) return cmp3(integerOf(a), integerOf(b));
    if (ka == ValueKind::Currency && kb == ValueKind::Currency)
      return cmp3(a.as<Currency>().scaled, b.as<Currency>().scaled);
    if ((ka == ValueKind::Currency && isIntegerKind(kb)) || (kb == ValueKind::Currency && isIntegerKind(ka))) {
      int64_t x = ka == ValueKind::Currency ? a.as<Currency>().scaled : integerOf(a) * 10000;
      int64_t y = kb == ValueKind::Currency ? b.as<Currency>().scaled : integerOf(b) * 10000;
      return cmp3(x, y);
    }
    double x = numberOf(a), y = numberOf(b);
    if (ka == ValueKind::Single && kb != ValueKind::Single) y = static_cast<double>(static_cast<float>(y)), x = a.as<float>();
    if (kb == ValueKind::Single && ka != ValueKind::Single) x = static_cast<double>(static_cast<float>(x));
    return cmp3(x, y);
  }
  if (ka == ValueKind::Binary && kb == ValueKind::Binary) {
    const Bytes& x = a.as<Bytes>();
    const Bytes& y = b.as<Bytes>();
    return compareBytes(x.data(), x.size(), y.data(), y.size());
  }
  if (ka == ValueKind::Guid && kb == ValueKind::Guid)
    return compareBytes(a.as<Guid>().bytes.data(), 16, b.as<Guid>().bytes.data(), 16);
  throwTypeMismatch();
}

int orderValues(const Value& a, const Value& b) {
  auto cls = [](const Value& v) {
    if (v.isNull()) return 0;
    if (isNumberLike(v)) return 1;
    if (v.kind() == ValueKind::Text) return 2;
    return 3;
  };
  int ca = cls(a), cb = cls(b);
  if (ca != cb) return ca < cb ? -1 : 1;
  if (ca == 0) return 0;
  if (ca == 3 && a.kind() != b.kind()) return a.kind() < b.kind() ? -1 : 1;
  return *compareValues(a, b);
}

uint64_t KeySet::numberBits(const Value& v) {
  double d = numberOf(v);
  if (d == 0) d = 0;  // -0 and +0 are one key
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}

void KeySet::insert(const Value& v) {
  if (isNumberLike(v)) {
    numbers_.insert(numberBits(v));
    return;
  }
  std::string k;
  appendKey(k, v);
  others_.insert(std::move(k));
}

bool KeySet::contains(const Value& v) const {
  if (isNumberLike(v)) return numbers_.count(numberBits(v)) != 0;
  if (others_.empty()) return false;
  std::string k;
  appendKey(k, v);
  return others_.count(k) != 0;
}

void appendKey(std::string& out, const Value& v) {
  if (v.isNull()) {
    out.push_back('\0');
    return;
  }
  if (isNumberLike(v)) {
    double d = numberOf(v);
    if (d == 0) d = 0;  // -0 and +0 are one key
    out.push_back('n');
    char buf[sizeof d];
    std::memcpy(buf, &d, sizeof d);
    out.append(buf, sizeof d);
    return;
  }
  auto appendLen = [&](size_t n) {
    uint32_t u = static_cast<uint32_t>(n);
    char buf[4];
    std::memcpy(buf, &u, 4);
    out.append(buf, 4);
  };
  switch (v.kind()) {
    case ValueKind::Text: {
      std::string f = foldCase(significantText(v.as<std::string>()));
      out.push_back('t');
      appendLen(f.size());
      out += f;
      return;
    }
    case ValueKind::Binary: {
      const Bytes& b = v.as<Bytes>();
      out.push_back('b');
      appendLen(b.size());
      out.append(reinterpret_cast<const char*>(b.data()), b.size());
      return;
    }
    case ValueKind::Guid:
      out.push_back('g');
      out.append(reinterpret_cast<const char*>(v.as<Guid>().bytes.data()), 16);
      return;
    default:
      out.push_back('?');
  }
}

// --- Conversion ----------------------------------------------------------------

std::optional<bool> toBool(const Value& v) {
  if (v.isNull()) return std::nullopt;
  if (v.kind() == ValueKind::Boolean) return v.as<bool>();
  if (isNumberLike(v)) return numberOf(v) != 0;
  if (v.kind() == ValueKind::Text) {
    const std::string f = foldCase(v.as<std::string>());
    if (f == "TRUE" || f == "VERDADEIRO" || f == "SIM" || f == "YES" || f == "ON") return true;
    if (f == "FALSE" || f == "FALSO" || f == "NÃO" || f == "NAO" || f == "NO" || f == "OFF") return false;
    if (auto n = parseNumber(v.as<std::string>())) return *n != 0;
  }
  throw Error("Tipos de dados incompatíveis na expressão.");
}

double toDouble(const Value& v) {
  if (isNumberLike(v)) return numberOf(v);
  if (v.kind() == ValueKind::Text) {
    if (auto n = parseNumber(v.as<std::string>())) return *n;
  }
  if (v.isNull()) throw Error("Uso inválido de Nulo.");
  throw Error("Tipos de dados incompatíveis na expressão.");
}

int64_t toCurrencyScaled(const Value& v) {
  if (v.kind() == ValueKind::Currency) return v.as<Currency>().scaled;
  if (isIntegerKind(v.kind())) return integerOf(v) * 10000;
  if (v.kind() == ValueKind::Text) {
    if (auto c = parseCurrency(v.as<std::string>())) return *c;
    throw Error("Tipos de dados incompatíveis na expressão.");
  }
  double d = toDouble(v);
  if (!std::isfinite(d) || std::fabs(d) > 922337203685477.0) throwOverflow();
  return static_cast<int64_t>(std::nearbyint(d * 10000.0));
}

namespace {
int64_t roundHalfEven(double d) {
  if (!std::isfinite(d) || std::fabs(d) > 9.2e18) throwOverflow();
  return static_cast<int64_t>(std::nearbyint(d));  // default rounding mode: half to even
}
int64_t toInt64(const Value& v) {
  if (isIntegerKind(v.kind())) return integerOf(v);
  if (v.kind() == ValueKind::Currency) {
    int64_t s = v.as<Currency>().scaled;
    int64_t q = s / 10000, r = s % 10000;
    if (r < 0) {
      r += 10000;
      --q;
    }
    if (r > 5000 || (r == 5000 && (q & 1))) ++q;
    return q;
  }
  return roundHalfEven(toDouble(v));
}
}  // namespace

int32_t toLong(const Value& v) {
  int64_t n = toInt64(v);
  if (n < INT32_MIN || n > INT32_MAX) throwOverflow();
  return static_cast<int32_t>(n);
}

int16_t toInteger(const Value& v) {
  int64_t n = toInt64(v);
  if (n < INT16_MIN || n > INT16_MAX) throwOverflow();
  return static_cast<int16_t>(n);
}

double toDate(const Value& v) {
  if (v.kind() == ValueKind::Date) return v.as<DateTime>().days;
  if (v.kind() == ValueKind::Text) {
    if (auto d = parseDateText(v.as<std::string>())) return *d;
    throw Error("Tipos de dados incompatíveis na expressão.");
  }
  double d = toDouble(v);
  if (d < -657434.0 || d >= 2958466.0) throwOverflow();
  return d;
}

std::string toText(const Value& v) {
  switch (v.kind()) {
    case ValueKind::Null: return {};
    case ValueKind::Boolean: return v.as<bool>() ? "True" : "False";
    case ValueKind::Byte: case ValueKind::Integer: case ValueKind::Long: return std::to_string(integerOf(v));
    case ValueKind::Currency: return formatCurrencyGeneral(v.as<Currency>().scaled);
    case ValueKind::Single: return formatGeneralNumber(v.as<float>(), true);
    case ValueKind::Double: return formatGeneralNumber(v.as<double>());
    case ValueKind::Date: return formatGeneralDate(v.as<DateTime>().days);
    case ValueKind::Text: return v.as<std::string>();
    case ValueKind::Binary: {
      const Bytes& b = v.as<Bytes>();
      return std::string(b.begin(), b.end());
    }
    case ValueKind::Guid: {
      const auto& g = v.as<Guid>().bytes;
      char buf[48];
      std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                    g[3], g[2], g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13],
                    g[14], g[15]);
      return buf;
    }
  }
  return {};
}

std::string typeDisplayName(ColumnType type) {
  switch (type) {
    case ColumnType::Boolean: return "Sim/Não";
    case ColumnType::Byte: return "Byte";
    case ColumnType::Integer: return "Inteiro";
    case ColumnType::Long: return "Inteiro Longo";
    case ColumnType::Currency: return "Moeda";
    case ColumnType::Single: return "Simples";
    case ColumnType::Double: return "Duplo";
    case ColumnType::DateTime: return "Data/Hora";
    case ColumnType::Binary: return "Binário";
    case ColumnType::Text: return "Texto";
    case ColumnType::OLE: return "Objeto OLE";
    case ColumnType::Memo: return "Memorando";
    case ColumnType::Guid: return "Código de replicação";
    case ColumnType::Numeric: return "Decimal";
  }
  return "?";
}

Value convertToType(const Value& v, ColumnType type, const std::string& name) {
  if (v.isNull()) return v;
  auto mismatch = [&]() -> Error {
    std::string shown = toText(v);
    if (shown.size() > 60) shown = shown.substr(0, 60) + "...";
    return Error("Tipos de dados incompatíveis: o valor '" + shown + "' não pode ser gravado no campo '" + name +
                 "' (" + typeDisplayName(type) + ").");
  };
  auto overflow = [&]() -> Error {
    return Error("Estouro de campo numérico: o valor '" + toText(v) + "' não cabe no campo '" + name + "' (" +
                 typeDisplayName(type) + ").");
  };
  try {
    switch (type) {
      case ColumnType::Boolean:
        return Value(*toBool(v));
      case ColumnType::Byte: {
        if (!isNumberLike(v) && v.kind() != ValueKind::Text) throw mismatch();
        int64_t n = toInt64(v);
        if (n < 0 || n > 255) throw overflow();
        return Value(static_cast<uint8_t>(n));
      }
      case ColumnType::Integer: {
        if (!isNumberLike(v) && v.kind() != ValueKind::Text) throw mismatch();
        int64_t n = toInt64(v);
        if (n < INT16_MIN || n > INT16_MAX) throw overflow();
        return Value(static_cast<int16_t>(n));
      }
      case ColumnType::Long: {
        if (!isNumberLike(v) && v.kind() != ValueKind::Text) throw mismatch();
        int64_t n = toInt64(v);
        if (n < INT32_MIN || n > INT32_MAX) throw overflow();
        return Value(static_cast<int32_t>(n));
      }
      case ColumnType::Currency:
        if (!isNumberLike(v) && v.kind() != ValueKind::Text) throw mismatch();
        return Value::currency(toCurrencyScaled(v));
      case ColumnType::Single: {
        if (!isNumberLike(v) && v.kind() != ValueKind::Text) throw mismatch();
        double d = toDouble(v);
        if (std::fabs(d) > 3.402823466e38) throw overflow();
        return Value(static_cast<float>(d));
      }
      case ColumnType::Double:
      case ColumnType::Numeric:
        if (!isNumberLike(v) && v.kind() != ValueKind::Text) throw mismatch();
        return Value(toDouble(v));
      case ColumnType::DateTime:
        if (!isNumberLike(v) && v.kind() != ValueKind::Text) throw mismatch();
        return Value::date(toDate(v));
      case ColumnType::Text:
      case ColumnType::Memo:
        return Value::text(toText(v));
      case ColumnType::Binary:
      case ColumnType::OLE:
        if (v.kind() == ValueKind::Binary) return v;
        if (v.kind() == ValueKind::Text) {
          const std::string& s = v.as<std::string>();
          return Value(Bytes(s.begin(), s.end()));
        }
        throw mismatch();
      case ColumnType::Guid: {
        if (v.kind() == ValueKind::Guid) return v;
        if (v.kind() != ValueKind::Text) throw mismatch();
        std::string hex;
        for (char c : v.as<std::string>())
          if (std::isxdigit(static_cast<unsigned char>(c))) hex.push_back(c);
          else if (c != '{' && c != '}' && c != '-' && c != ' ') throw mismatch();
        if (hex.size() != 32) throw mismatch();
        uint8_t raw[16];
        for (int i = 0; i < 16; ++i) raw[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
        Guid g;
        const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
        for (int i = 0; i < 16; ++i) g.bytes[order[i]] = raw[i];
        return Value(g);
      }
    }
  } catch (const Error& e) {
    std::string m = e.what();
    if (m.rfind("Tipos de dados incompatíveis:", 0) == 0 || m.rfind("Estouro de campo", 0) == 0) throw;
    if (m == "Estouro.") throw overflow();
    throw mismatch();
  }
  throw mismatch();
}

Value convertForColumn(const Value& v, const ColumnDef& column) {
  return convertToType(v, column.type, column.name);
}

// --- Arithmetic ----------------------------------------------------------------

namespace {

enum class NumClass { Int, Currency, Double, Date };

NumClass classOf(const Value& v) {
  switch (v.kind()) {
    case ValueKind::Currency: return NumClass::Currency;
    case ValueKind::Single: case ValueKind::Double: return NumClass::Double;
    case ValueKind::Date: return NumClass::Date;
    default: return NumClass::Int;
  }
}

int intRank(ValueKind k) {
  switch (k) {
    case ValueKind::Byte: return 1;
    case ValueKind::Boolean: case ValueKind::Integer: return 2;
    default: return 3;
  }
}

Value fitInteger(int64_t n, int rank) {
  if (rank <= 1 && n >= 0 && n <= 255) return Value(static_cast<uint8_t>(n));
  if (rank <= 2 && n >= INT16_MIN && n <= INT16_MAX) return Value(static_cast<int16_t>(n));
  if (n >= INT32_MIN && n <= INT32_MAX) return Value(static_cast<int32_t>(n));
  return Value(static_cast<double>(n));
}

Value currencyOf(i128 scaled) {
  if (scaled > INT64_MAX || scaled < INT64_MIN) throwOverflow();
  return Value::currency(static_cast<int64_t>(scaled));
}

// Text operands of arithmetic are read as numbers.
Value numericOperand(const Value& v) {
  if (v.kind() == ValueKind::Text) {
    if (auto n = parseNumber(v.as<std::string>())) return Value(*n);
    throwTypeMismatch();
  }
  if (!isNumberLike(v)) throwTypeMismatch();
  return v;
}

i128 divRoundHalfEven(i128 a, i128 b) {
  i128 q = a / b, r = a % b;
  if (r != 0) {
    i128 twice = (r < 0 ? -r : r) * 2;
    i128 ab = b < 0 ? -b : b;
    bool neg = (a < 0) != (b < 0);
    if (twice > ab || (twice == ab && (q & 1))) q += neg ? -1 : 1;
  }
  return q;
}

}  // namespace

Value arithmetic(ArithOp op, const Value& a0, const Value& b0) {
  if (a0.isNull() || b0.isNull()) return Value();
  if (op == ArithOp::Add && a0.kind() == ValueKind::Text && b0.kind() == ValueKind::Text)
    return Value::text(a0.as<std::string>() + b0.as<std::string>());
  Value a = numericOperand(a0), b = numericOperand(b0);
  NumClass ca = classOf(a), cb = classOf(b);
  // Dates: date ± number is a date; date - date is a number of days.
  if (ca == NumClass::Date || cb == NumClass::Date) {
    double x = numberOf(a), y = numberOf(b);
    if (op == ArithOp::Add) return Value::date(x + y);
    if (op == ArithOp::Sub) {
      if (ca == NumClass::Date && cb == NumClass::Date) return Value(x - y);
      return Value::date(x - y);
    }
    ca = cb = NumClass::Double;
  }
  switch (op) {
    case ArithOp::Add:
    case ArithOp::Sub:
    case ArithOp::Mul: {
      if (ca == NumClass::Int && cb == NumClass::Int) {
        int64_t x = integerOf(a), y = integerOf(b);
        int64_t r = op == ArithOp::Add ? x + y : op == ArithOp::Sub ? x - y : x * y;
        return fitInteger(r, std::max(intRank(a.kind()), intRank(b.kind())));
      }
      if (ca != NumClass::Double && cb != NumClass::Double) {
        i128 x = toCurrencyScaled(a), y = toCurrencyScaled(b);
        if (op == ArithOp::Add) return currencyOf(x + y);
        if (op == ArithOp::Sub) return currencyOf(x - y);
        return currencyOf(divRoundHalfEven(x * y, 10000));
      }
      double x = numberOf(a), y = numberOf(b);
      return Value(op == ArithOp::Add ? x + y : op == ArithOp::Sub ? x - y : x * y);
    }
    case ArithOp::Div: {
      double y = numberOf(b);
      if (y == 0) throw Error("Divisão por zero.");
      return Value(numberOf(a) / y);
    }
    case ArithOp::IntDiv:
    case ArithOp::Mod: {
      int64_t x = toInt64(a), y = toInt64(b);
      if (y == 0) throw Error("Divisão por zero.");
      int64_t r = op == ArithOp::IntDiv ? x / y : x % y;
      return fitInteger(r, std::max(intRank(a.kind()), intRank(b.kind())));
    }
    case ArithOp::Pow:
      return Value(std::pow(numberOf(a), numberOf(b)));
  }
  return Value();
}

Value negate(const Value& a0) {
  if (a0.isNull()) return a0;
  Value a = numericOperand(a0);
  switch (a.kind()) {
    case ValueKind::Currency: return currencyOf(-static_cast<i128>(a.as<Currency>().scaled));
    case ValueKind::Single: return Value(-a.as<float>());
    case ValueKind::Double: return Value(-a.as<double>());
    case ValueKind::Date: return Value::date(-a.as<DateTime>().days);
    default: return fitInteger(-integerOf(a), intRank(a.kind()));
  }
}

Value concatenate(const Value& a, const Value& b) {
  if (a.isNull() && b.isNull()) return Value();
  return Value::text(toText(a) + toText(b));
}

}  // namespace jet::sql
