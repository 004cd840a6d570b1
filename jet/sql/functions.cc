// Scalar functions: type tests, dates, text, conversions, Format, numbers.
//
// Each follows Jet: Null in gives Null out (except the Is* tests, which
// answer False for Null, and Len/Trim/..., which pass Null through).
#include "jet/sql/functions.h"

#include <cmath>
#include <cstring>

#include "jet/sql/format.h"
#include "jet/sql/plan.h"
#include "jet/sql/regional.h"
#include "jet/sql/value_ops.h"
#include "jet/storage/error.h"
#include "jet/storage/text_form.h"

namespace jet::sql {

namespace {

using Args = std::vector<Value>;

bool anyNull(const Args& a) {
  for (const auto& v : a)
    if (v.isNull()) return true;
  return false;
}

CivilDateTime civilOf(const Value& v) { return toCivil(toDate(v)); }

Value fIsDate(const Args& a, ExecState&) {
  const Value& v = a[0];
  if (v.kind() == ValueKind::Date) return Value(true);
  if (v.kind() == ValueKind::Text) return Value(parseDateText(v.as<std::string>()).has_value());
  return Value(false);
}
Value fIsNumeric(const Args& a, ExecState&) {
  const Value& v = a[0];
  if (v.isNull() || v.kind() == ValueKind::Date) return Value(false);
  if (v.kind() == ValueKind::Text) return Value(parseNumber(v.as<std::string>()).has_value());
  return Value(isNumberLike(v));
}
Value fIsNull(const Args& a, ExecState&) { return Value(a[0].isNull()); }
Value fIsEmpty(const Args& a, ExecState&) { return Value(a[0].isNull()); }

Value fYear(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  return Value(static_cast<int16_t>(civilOf(a[0]).year));
}
Value fMonth(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  return Value(static_cast<int16_t>(civilOf(a[0]).month));
}
Value fDay(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  return Value(static_cast<int16_t>(civilOf(a[0]).day));
}
Value fHour(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  return Value(static_cast<int16_t>(civilOf(a[0]).hour));
}
Value fMinute(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  return Value(static_cast<int16_t>(civilOf(a[0]).minute));
}
Value fSecond(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  return Value(static_cast<int16_t>(civilOf(a[0]).second));
}
Value fWeekday(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  int64_t d = static_cast<int64_t>(std::floor(toDate(a[0])));
  return Value(static_cast<int16_t>(((d % 7) + 7 + 6) % 7 + 1));
}
Value fNow(const Args&, ExecState& x) { return Value::date(x.now); }
Value fDate(const Args&, ExecState& x) { return Value::date(std::floor(x.now)); }
Value fTime(const Args&, ExecState& x) { return Value::date(x.now - std::floor(x.now)); }
Value fDateSerial(const Args& a, ExecState&) {
  if (anyNull(a)) return Value();
  int y = toInteger(a[0]), m = toInteger(a[1]), d = toInteger(a[2]);
  // Months and days out of range roll over, as in Jet.
  int mm = m - 1;
  y += mm >= 0 ? mm / 12 : -((11 - mm) / 12);
  mm = ((mm % 12) + 12) % 12;
  if (y < 100 || y > 9999) throwOverflow();
  return Value::date(makeDate(y, mm + 1, 1) + (d - 1));
}
Value fTimeSerial(const Args& a, ExecState&) {
  if (anyNull(a)) return Value();
  return Value::date((toInteger(a[0]) * 3600.0 + toInteger(a[1]) * 60.0 + toInteger(a[2])) / 86400.0);
}

Value fLen(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  return Value(static_cast<int32_t>(textLength(toText(a[0]))));
}
std::string trimBlanks(std::string s, bool left, bool right) {
  size_t b = 0, e = s.size();
  if (left)
    while (b < e && s[b] == ' ') ++b;
  if (right)
    while (e > b && s[e - 1] == ' ') --e;
  return s.substr(b, e - b);
}
Value fTrim(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  return Value::text(trimBlanks(toText(a[0]), true, true));
}
Value fLTrim(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  return Value::text(trimBlanks(toText(a[0]), true, false));
}
Value fRTrim(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  return Value::text(trimBlanks(toText(a[0]), false, true));
}
Value fUCase(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  return Value::text(upperText(toText(a[0])));
}
Value fLCase(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  return Value::text(lowerText(toText(a[0])));
}

// Byte offsets of code points, for Left/Right/Mid on UTF-8.
std::vector<size_t> charStarts(const std::string& s) {
  std::vector<size_t> out;
  for (size_t i = 0; i < s.size(); ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) out.push_back(i);
  out.push_back(s.size());
  return out;
}
std::string substrChars(const std::string& s, long start, long count) {
  auto st = charStarts(s);
  long n = static_cast<long>(st.size()) - 1;
  if (start < 0) start = 0;
  if (start > n) return {};
  long end = count < 0 ? n : std::min(n, start + count);
  return s.substr(st[start], st[end] - st[start]);
}
Value fLeft(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  long n = toLong(a[1]);
  if (n < 0) throw Error("Chamada de procedimento ou argumento inválido.");
  return Value::text(substrChars(toText(a[0]), 0, n));
}
Value fRight(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  long n = toLong(a[1]);
  if (n < 0) throw Error("Chamada de procedimento ou argumento inválido.");
  std::string s = toText(a[0]);
  long len = static_cast<long>(textLength(s));
  return Value::text(substrChars(s, std::max(0L, len - n), n));
}
Value fMid(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  long start = toLong(a[1]);
  if (start < 1) throw Error("Chamada de procedimento ou argumento inválido.");
  long count = a.size() > 2 && !a[2].isNull() ? toLong(a[2]) : -1;
  if (a.size() > 2 && count < 0) throw Error("Chamada de procedimento ou argumento inválido.");
  return Value::text(substrChars(toText(a[0]), start - 1, count));
}
Value fInStr(const Args& a, ExecState&) {
  // InStr([start,] text, search)
  size_t i = 0;
  long start = 1;
  if (a.size() == 3) {
    if (a[0].isNull()) return Value();
    start = toLong(a[0]);
    i = 1;
  }
  if (a[i].isNull() || a[i + 1].isNull()) return Value();
  std::string hay = foldCase(toText(a[i])), needle = foldCase(toText(a[i + 1]));
  auto st = charStarts(hay);
  if (start < 1) throw Error("Chamada de procedimento ou argumento inválido.");
  if (static_cast<size_t>(start - 1) >= st.size()) return Value(static_cast<int32_t>(0));
  size_t pos = hay.find(needle, st[start - 1]);
  if (pos == std::string::npos) return Value(static_cast<int32_t>(0));
  return Value(static_cast<int32_t>(textLength(hay.substr(0, pos)) + 1));
}
Value fReplace(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  std::string s = toText(a[0]), from = toText(a[1]), to = toText(a[2]);
  if (from.empty()) return Value::text(s);
  std::string fs = foldCase(s), ff = foldCase(from), out;
  // Case-insensitive match; the folded text has the same byte offsets only
  // for ASCII, so match on the original when lengths differ.
  bool sameLen = fs.size() == s.size() && ff.size() == from.size();
  const std::string& hay = sameLen ? fs : s;
  const std::string& needle = sameLen ? ff : from;
  size_t i = 0;
  while (true) {
    size_t p = hay.find(needle, i);
    if (p == std::string::npos) break;
    out += s.substr(i, p - i);
    out += to;
    i = p + needle.size();
  }
  out += s.substr(i);
  return Value::text(out);
}
Value fSpace(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  long n = toLong(a[0]);
  if (n < 0) throw Error("Chamada de procedimento ou argumento inválido.");
  return Value::text(std::string(static_cast<size_t>(n), ' '));
}
Value fString(const Args& a, ExecState&) {
  if (anyNull(a)) return Value();
  long n = toLong(a[0]);
  std::string c = toText(a[1]);
  if (n < 0 || c.empty()) throw Error("Chamada de procedimento ou argumento inválido.");
  std::string ch = substrChars(c, 0, 1), out;
  for (long i = 0; i < n; ++i) out += ch;
  return Value::text(out);
}
Value fChr(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  long c = toLong(a[0]);
  if (c < 0 || c > 0xFFFF) throw Error("Chamada de procedimento ou argumento inválido.");
  std::u16string u(1, static_cast<char16_t>(c));
  return Value::text(utf16ToUtf8(u));
}
Value fAsc(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  std::u16string u = utf8ToUtf16(toText(a[0]));
  if (u.empty()) throw Error("Chamada de procedimento ou argumento inválido.");
  return Value(static_cast<int32_t>(u[0]));
}

Value fFormat(const Args& a, ExecState&) {
  std::string pattern = a.size() > 1 && !a[1].isNull() ? toText(a[1]) : "";
  return formatValue(a[0], pattern);
}

Value fCStr(const Args& a, ExecState&) {
  if (a[0].isNull()) throw Error("Uso inválido de Nulo.");
  return Value::text(toText(a[0]));
}
Value fCLng(const Args& a, ExecState&) {
  if (a[0].isNull()) throw Error("Uso inválido de Nulo.");
  return Value(toLong(a[0]));
}
Value fCInt(const Args& a, ExecState&) {
  if (a[0].isNull()) throw Error("Uso inválido de Nulo.");
  return Value(toInteger(a[0]));
}
Value fCByte(const Args& a, ExecState&) {
  if (a[0].isNull()) throw Error("Uso inválido de Nulo.");
  int32_t n = toLong(a[0]);
  if (n < 0 || n > 255) throwOverflow();
  return Value(static_cast<uint8_t>(n));
}
Value fCDbl(const Args& a, ExecState&) {
  if (a[0].isNull()) throw Error("Uso inválido de Nulo.");
  return Value(toDouble(a[0]));
}
Value fCSng(const Args& a, ExecState&) {
  if (a[0].isNull()) throw Error("Uso inválido de Nulo.");
  return Value(static_cast<float>(toDouble(a[0])));
}
Value fCCur(const Args& a, ExecState&) {
  if (a[0].isNull()) throw Error("Uso inválido de Nulo.");
  return Value::currency(toCurrencyScaled(a[0]));
}
Value fCDate(const Args& a, ExecState&) {
  if (a[0].isNull()) throw Error("Uso inválido de Nulo.");
  return Value::date(toDate(a[0]));
}
Value fCBool(const Args& a, ExecState&) {
  if (a[0].isNull()) throw Error("Uso inválido de Nulo.");
  return Value(*toBool(a[0]));
}
Value fCVar(const Args& a, ExecState&) { return a[0]; }
Value fVal(const Args& a, ExecState&) {
  // Val reads the leading number of a text, with "." as the decimal point.
  if (a[0].isNull()) throw Error("Uso inválido de Nulo.");
  std::string s = toText(a[0]), c;
  bool dot = false, digit = false;
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) c += s[i++];
  for (; i < s.size(); ++i) {
    char ch = s[i];
    if (ch == ' ' || ch == '\t') continue;
    if (std::isdigit(static_cast<unsigned char>(ch))) {
      c += ch;
      digit = true;
    } else if (ch == '.' && !dot) {
      c += ch;
      dot = true;
    } else break;
  }
  return Value(digit ? std::strtod(c.c_str(), nullptr) : 0.0);
}
Value fStr(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  double d = toDouble(a[0]);
  std::string s = formatGeneralNumber(d);
  for (char& ch : s)
    if (ch == ',') ch = '.';
  return Value::text(d >= 0 ? " " + s : s);
}

Value fAbs(const Args& a, ExecState&) {
  const Value& v = a[0];
  if (v.isNull()) return Value();
  if (v.kind() == ValueKind::Currency) return Value::currency(std::llabs(v.as<Currency>().scaled));
  Value n = compareValues(v.kind() == ValueKind::Text ? Value(toDouble(v)) : v, Value(static_cast<int32_t>(0)))
                .value_or(0) < 0
                ? negate(v.kind() == ValueKind::Text ? Value(toDouble(v)) : v)
                : (v.kind() == ValueKind::Text ? Value(toDouble(v)) : v);
  return n;
}
Value fInt(const Args& a, ExecState&) {
  const Value& v = a[0];
  if (v.isNull()) return Value();
  if (isIntegerKind(v.kind())) return v;
  if (v.kind() == ValueKind::Currency) {
    int64_t s = v.as<Currency>().scaled;
    int64_t q = s / 10000;
    if (s % 10000 < 0) --q;
    return Value::currency(q * 10000);
  }
  double d = std::floor(toDouble(v));
  if (v.kind() == ValueKind::Date) return Value::date(d);
  return Value(d);
}
Value fFix(const Args& a, ExecState&) {
  const Value& v = a[0];
  if (v.isNull()) return Value();
  if (isIntegerKind(v.kind())) return v;
  if (v.kind() == ValueKind::Currency) return Value::currency(v.as<Currency>().scaled / 10000 * 10000);
  return Value(std::trunc(toDouble(v)));
}
Value fRound(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  int digits = a.size() > 1 && !a[1].isNull() ? toInteger(a[1]) : 0;
  if (digits < 0) throw Error("Chamada de procedimento ou argumento inválido.");
  if (a[0].kind() == ValueKind::Currency) {
    int64_t s = a[0].as<Currency>().scaled;
    if (digits >= 4) return a[0];
    int64_t unit = 1;
    for (int i = 0; i < 4 - digits; ++i) unit *= 10;
    int64_t q = s / unit, r = s % unit;
    if (r < 0) {
      r += unit;
      --q;
    }
    if (r * 2 > unit || (r * 2 == unit && (q & 1))) ++q;
    return Value::currency(q * unit);
  }
  double p = std::pow(10.0, digits);
  double r = std::nearbyint(toDouble(a[0]) * p) / p;
  if (isIntegerKind(a[0].kind())) return a[0];
  return Value(r);
}
Value fSgn(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  double d = toDouble(a[0]);
  return Value(static_cast<int16_t>(d > 0 ? 1 : d < 0 ? -1 : 0));
}
Value fSqr(const Args& a, ExecState&) {
  if (a[0].isNull()) return Value();
  double d = toDouble(a[0]);
  if (d < 0) throw Error("Chamada de procedimento ou argumento inválido.");
  return Value(std::sqrt(d));
}

Value fDateAdd(const Args& a, ExecState&) {
  if (anyNull(a)) return Value();
  std::string unit = foldCase(toText(a[0]));
  double n = toDouble(a[1]);
  double d = toDate(a[2]);
  CivilDateTime c = toCivil(d);
  double frac = d - std::floor(d);
  if (unit == "YYYY" || unit == "Q" || unit == "M") {
    int months = static_cast<int>(std::trunc(n)) * (unit == "YYYY" ? 12 : unit == "Q" ? 3 : 1);
    int total = c.year * 12 + (c.month - 1) + months;
    int y = total / 12, m = total % 12 + 1;
    if (y < 100 || y > 9999) throwOverflow();
    int day = std::min(c.day, daysInMonth(y, m));
    return Value::date(makeDate(y, m, day) + (d >= 0 ? frac : 0));
  }
  double perDay = unit == "D" || unit == "Y" || unit == "W" ? 1 : unit == "WW" ? 7 : unit == "H" ? 1.0 / 24
                  : unit == "N" ? 1.0 / 1440 : unit == "S" ? 1.0 / 86400 : 0;
  if (perDay == 0) throw Error("Chamada de procedimento ou argumento inválido.");
  return Value::date(d + std::trunc(n) * perDay);
}
Value fDateDiff(const Args& a, ExecState&) {
  if (a[1].isNull() || a[2].isNull()) return Value();
  std::string unit = foldCase(toText(a[0]));
  double x = toDate(a[1]), y = toDate(a[2]);
  CivilDateTime cx = toCivil(x), cy = toCivil(y);
  int64_t r;
  if (unit == "YYYY") r = cy.year - cx.year;
  else if (unit == "Q") r = (cy.year * 4 + (cy.month - 1) / 3) - (cx.year * 4 + (cx.month - 1) / 3);
  else if (unit == "M") r = (cy.year * 12 + cy.month) - (cx.year * 12 + cx.month);
  else if (unit == "D" || unit == "Y" || unit == "W") r = static_cast<int64_t>(std::floor(y) - std::floor(x));
  else if (unit == "WW") r = static_cast<int64_t>((std::floor(y) - std::floor(x)) / 7);
  else if (unit == "H") r = static_cast<int64_t>(std::floor(y * 24) - std::floor(x * 24));
  else if (unit == "N") r = static_cast<int64_t>(std::floor(y * 1440) - std::floor(x * 1440));
  else if (unit == "S") r = static_cast<int64_t>(std::llround(y * 86400) - std::llround(x * 86400));
  else throw Error("Chamada de procedimento ou argumento inválido.");
  if (unit == "W") r /= 7;
  return Value(static_cast<int32_t>(r));
}

const FunctionDef kFunctions[] = {
    {"ISDATE", 1, 1, fIsDate, ColumnType::Boolean},
    {"ISNUMERIC", 1, 1, fIsNumeric, ColumnType::Boolean},
    {"ISNULL", 1, 1, fIsNull, ColumnType::Boolean},
    {"ISEMPTY", 1, 1, fIsEmpty, ColumnType::Boolean},
    {"YEAR", 1, 1, fYear, ColumnType::Integer},
    {"MONTH", 1, 1, fMonth, ColumnType::Integer},
    {"DAY", 1, 1, fDay, ColumnType::Integer},
    {"HOUR", 1, 1, fHour, ColumnType::Integer},
    {"MINUTE", 1, 1, fMinute, ColumnType::Integer},
    {"SECOND", 1, 1, fSecond, ColumnType::Integer},
    {"WEEKDAY", 1, 2, fWeekday, ColumnType::Integer},
    {"NOW", 0, 0, fNow, ColumnType::DateTime},
    {"DATE", 0, 0, fDate, ColumnType::DateTime},
    {"TIME", 0, 0, fTime, ColumnType::DateTime},
    {"DATESERIAL", 3, 3, fDateSerial, ColumnType::DateTime},
    {"TIMESERIAL", 3, 3, fTimeSerial, ColumnType::DateTime},
    {"DATEADD", 3, 3, fDateAdd, ColumnType::DateTime},
    {"DATEDIFF", 3, 5, fDateDiff, ColumnType::Long},
    {"LEN", 1, 1, fLen, ColumnType::Long},
    {"TRIM", 1, 1, fTrim, ColumnType::Text},
    {"LTRIM", 1, 1, fLTrim, ColumnType::Text},
    {"RTRIM", 1, 1, fRTrim, ColumnType::Text},
    {"UCASE", 1, 1, fUCase, ColumnType::Text},
    {"LCASE", 1, 1, fLCase, ColumnType::Text},
    {"LEFT", 2, 2, fLeft, ColumnType::Text},
    {"RIGHT", 2, 2, fRight, ColumnType::Text},
    {"MID", 2, 3, fMid, ColumnType::Text},
    {"INSTR", 2, 3, fInStr, ColumnType::Long},
    {"REPLACE", 3, 3, fReplace, ColumnType::Text},
    {"SPACE", 1, 1, fSpace, ColumnType::Text},
    {"STRING", 2, 2, fString, ColumnType::Text},
    {"CHR", 1, 1, fChr, ColumnType::Text},
    {"ASC", 1, 1, fAsc, ColumnType::Long},
    {"FORMAT", 1, 2, fFormat, ColumnType::Text},
    {"CSTR", 1, 1, fCStr, ColumnType::Text},
    {"CLNG", 1, 1, fCLng, ColumnType::Long},
    {"CINT", 1, 1, fCInt, ColumnType::Integer},
    {"CBYTE", 1, 1, fCByte, ColumnType::Byte},
    {"CDBL", 1, 1, fCDbl, ColumnType::Double},
    {"CSNG", 1, 1, fCSng, ColumnType::Single},
    {"CCUR", 1, 1, fCCur, ColumnType::Currency},
    {"CDATE", 1, 1, fCDate, ColumnType::DateTime},
    {"CVDATE", 1, 1, fCDate, ColumnType::DateTime},
    {"CBOOL", 1, 1, fCBool, ColumnType::Boolean},
    {"CVAR", 1, 1, fCVar, ColumnType::Text, false, true},
    {"VAL", 1, 1, fVal, ColumnType::Double},
    {"STR", 1, 1, fStr, ColumnType::Text},
    {"ABS", 1, 1, fAbs, ColumnType::Double, true},
    {"INT", 1, 1, fInt, ColumnType::Double, true},
    {"FIX", 1, 1, fFix, ColumnType::Double, true},
    {"ROUND", 1, 2, fRound, ColumnType::Double, true},
    {"SGN", 1, 1, fSgn, ColumnType::Integer},
    {"SQR", 1, 1, fSqr, ColumnType::Double},
};

}  // namespace

const FunctionDef* findFunction(std::string_view name) {
  for (const auto& f : kFunctions)
    if (name == f.name) return &f;
  return nullptr;
}

bool isAggregateName(std::string_view n) {
  return n == "COUNT" || n == "SUM" || n == "AVG" || n == "MIN" || n == "MAX" || n == "FIRST" || n == "LAST" ||
         n == "STDEV" || n == "VAR" || n == "STDEVP" || n == "VARP";
}

}  // namespace jet::sql
