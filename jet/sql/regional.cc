// Regional forms: reading and writing numbers and dates the Brazilian way.
//
// Reading is lenient in the way of Jet's conversions: blanks around a value,
// thousands separators anywhere in the integer part, a leading currency
// symbol, a sign in front. Dates accept "/", "-" and "." between parts and
// two-digit years (00-29 are 2000-2029, 30-99 are 1930-1999).
#include "jet/sql/regional.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

#include "jet/storage/text_form.h"

namespace jet::sql {

__extension__ typedef __int128 i128;  // exact Currency products

const Regional& regional() {
  static const Regional r;
  return r;
}

namespace {

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Normalises regional number text into C form ("1234.5e3"); false when the
// text is not a number.
bool normaliseNumber(std::string_view text, std::string& out) {
  std::string_view s = trimBlanks(text);
  const Regional& r = regional();
  std::string_view sym = r.currencySymbol;
  out.clear();
  bool neg = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    neg = s.front() == '-';
    s.remove_prefix(1);
    s = trimBlanks(s);
  }
  if (s.substr(0, sym.size()) == sym) {
    s.remove_prefix(sym.size());
    s = trimBlanks(s);
    if (!neg && !s.empty() && (s.front() == '-' || s.front() == '+')) {
      neg = s.front() == '-';
      s.remove_prefix(1);
    }
  }
  if (neg) out.push_back('-');
  size_t i = 0;
  bool digits = false;
  while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == r.thousands)) {
    if (s[i] != r.thousands) {
      out.push_back(s[i]);
      digits = true;
    } else if (!digits) {
      return false;
    }
    ++i;
  }
  if (i < s.size() && s[i] == r.decimal) {
    out.push_back('.');
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
      out.push_back(s[i++]);
      digits = true;
    }
  }
  if (!digits) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    out.push_back('e');
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) out.push_back(s[i++]);
    bool exp = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
      out.push_back(s[i++]);
      exp = true;
    }
    if (!exp) return false;
  }
  return i == s.size();
}

struct Parts {
  std::vector<int> nums;
  std::vector<int> widths;
};

// Splits "a/b/c" (or '-', '.') into numbers; false on anything else.
bool splitDate(std::string_view s, Parts& p) {
  size_t i = 0;
  char sep = 0;
  while (i < s.size()) {
    size_t start = i;
    long v = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
      v = v * 10 + (s[i] - '0');
      if (v > 100000) return false;
      ++i;
    }
    if (i == start) return false;
    p.nums.push_back(static_cast<int>(v));
    p.widths.push_back(static_cast<int>(i - start));
    if (i == s.size()) break;
    char c = s[i];
    if (c != '/' && c != '-' && c != '.') return false;
    if (sep && c != sep) return false;
    sep = c;
    ++i;
    if (i == s.size()) return false;
  }
  return p.nums.size() >= 2 && p.nums.size() <= 3;
}

int fullYear(int y, int width) {
  if (width <= 2) return y < 30 ? 2000 + y : 1900 + y;
  return y;
}

// Reads "h:n[:s] [AM|PM]" into a day fraction.
std::optional<double> parseTime(std::string_view s) {
  s = trimBlanks(s);
  int ampm = 0;
  auto endsWith = [&](std::string_view suf) {
    if (s.size() < suf.size()) return false;
    for (size_t k = 0; k < suf.size(); ++k)
      if (std::toupper(static_cast<unsigned char>(s[s.size() - suf.size() + k])) != suf[k]) return false;
    return true;
  };
  if (endsWith("AM")) ampm = 1;
  else if (endsWith("PM")) ampm = 2;
  if (ampm) s = trimBlanks(s.substr(0, s.size() - 2));
  int f[3] = {0, 0, 0};
  int n = 0;
  size_t i = 0;
  while (i <= s.size() && n < 3) {
    size_t start = i;
    int v = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
      v = v * 10 + (s[i] - '0');
      if (v > 1000) return std::nullopt;
      ++i;
    }
    if (i == start) return std::nullopt;
    f[n++] = v;
    if (i == s.size()) break;
    if (s[i] != ':') return std::nullopt;
    ++i;
  }
  if (i != s.size() || (n < 2 && !ampm)) return std::nullopt;
  if (ampm) {
    if (f[0] < 1 || f[0] > 12) return std::nullopt;
    if (ampm == 1 && f[0] == 12) f[0] = 0;
    if (ampm == 2 && f[0] != 12) f[0] += 12;
  }
  if (f[0] > 23 || f[1] > 59 || f[2] > 59) return std::nullopt;
  return makeTime(f[0], f[1], f[2]);
}

std::optional<double> combine(std::optional<double> date, std::optional<double> time) {
  double d = date ? *date : 0;
  double t = time ? *time : 0;
  return d >= 0 ? d + t : d - t;
}

// Splits "date time" at the first blank.
void splitDateTime(std::string_view s, std::string_view& date, std::string_view& time) {
  size_t sp = s.find(' ');
  if (sp == std::string_view::npos) {
    date = s;
    time = {};
  } else {
    date = s.substr(0, sp);
    time = trimBlanks(s.substr(sp + 1));
  }
}

std::optional<double> parseDatePart(std::string_view s, bool monthFirst) {
  Parts p;
  if (!splitDate(s, p)) return std::nullopt;
  int y, m, d;
  if (p.nums.size() == 3 && p.widths[0] >= 3) {
    y = p.nums[0];
    m = p.nums[1];
    d = p.nums[2];
  } else {
    int a = p.nums[0], b = p.nums[1];
    if (p.nums.size() == 3) {
      y = fullYear(p.nums[2], p.widths[2]);
    } else {
      std::time_t t = std::time(nullptr);
      std::tm tm{};
      localtime_r(&t, &tm);
      y = tm.tm_year + 1900;
    }
    if (monthFirst) {
      m = a;
      d = b;
      if (!validDate(y, m, d)) std::swap(m, d);
    } else {
      d = a;
      m = b;
      if (!validDate(y, m, d)) std::swap(m, d);
    }
  }
  if (!validDate(y, m, d)) return std::nullopt;
  return makeDate(y, m, d);
}

std::optional<double> parseDateGeneric(std::string_view text, bool monthFirst) {
  std::string_view s = trimBlanks(text);
  if (s.empty()) return std::nullopt;
  if (s.find(':') != std::string_view::npos && s.find(' ') == std::string_view::npos &&
      s.find('/') == std::string_view::npos && s.find('-') == std::string_view::npos) {
    auto t = parseTime(s);
    if (!t) return std::nullopt;
    return *t;
  }
  std::string_view date, time;
  splitDateTime(s, date, time);
  // "12:00:00 AM" alone has a blank too.
  if (date.find(':') != std::string_view::npos) {
    auto t = parseTime(s);
    if (!t) return std::nullopt;
    return *t;
  }
  auto d = parseDatePart(date, monthFirst);
  if (!d) return std::nullopt;
  std::optional<double> t;
  if (!time.empty()) {
    t = parseTime(time);
    if (!t) return std::nullopt;
  }
  return combine(d, t);
}

// The fewest significant digits (at most `precision`) that read back as the
// value rounded to `precision` digits, and the decimal exponent of the first
// one: 1300 gives "13" and 3.
template <class F>
std::pair<std::string, int> shortestDigits(F v, int precision) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", precision - 1, static_cast<double>(v));
  const double target = std::strtod(buf, nullptr);
  for (int p = 1; p <= precision; ++p) {
    std::snprintf(buf, sizeof buf, "%.*e", p - 1, static_cast<double>(v));
    if (std::strtod(buf, nullptr) == target) break;
  }
  // buf is "-d.ddde+XX": keep the digits, read the exponent.
  std::string digits;
  const char* c = buf;
  for (; *c && *c != 'e'; ++c)
    if (*c >= '0' && *c <= '9') digits += *c;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  return {digits, std::atoi(c + 1)};
}

}  // namespace

std::optional<double> parseNumber(std::string_view text) {
  std::string c;
  if (!normaliseNumber(text, c)) return std::nullopt;
  char* end = nullptr;
  double v = std::strtod(c.c_str(), &end);
  if (!std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<int64_t> parseCurrency(std::string_view text) {
  std::string c;
  if (!normaliseNumber(text, c)) return std::nullopt;
  if (c.find('e') != std::string::npos) {
    double v = std::strtod(c.c_str(), nullptr);
    if (!std::isfinite(v) || std::fabs(v) > 922337203685477.0) return std::nullopt;
    return static_cast<int64_t>(std::llround(v * 10000.0));
  }
  bool neg = !c.empty() && c[0] == '-';
  size_t i = neg ? 1 : 0;
  i128 whole = 0;
  for (; i < c.size() && c[i] != '.'; ++i) {
    whole = whole * 10 + (c[i] - '0');
    if (whole > static_cast<i128>(922337203685477)) return std::nullopt;
  }
  i128 frac = 0;
  int fd = 0;
  bool roundUp = false;
  if (i < c.size() && c[i] == '.') {
    for (++i; i < c.size(); ++i) {
      if (fd < 4) {
        frac = frac * 10 + (c[i] - '0');
        ++fd;
      } else if (fd == 4) {
        roundUp = c[i] >= '5';
        ++fd;
      }
    }
  }
  while (fd < 4) {
    frac *= 10;
    ++fd;
  }
  i128 v = whole * 10000 + frac + (roundUp ? 1 : 0);
  if (neg) v = -v;
  return static_cast<int64_t>(v);
}

std::optional<double> parseDateText(std::string_view text) { return parseDateGeneric(text, false); }
std::optional<double> parseDateLiteral(std::string_view text) { return parseDateGeneric(text, true); }

bool validDate(int year, int month, int day) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  return day <= daysInMonth(year, month);
}

int daysInMonth(int year, int month) {
  static const int d[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2) {
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return leap ? 29 : 28;
  }
  return d[(month - 1) % 12];
}

double makeDate(int year, int month, int day) {
  CivilDateTime c;
  c.year = year;
  c.month = month;
  c.day = day;
  c.hour = c.minute = c.second = c.millisecond = 0;
  return fromCivil(c);
}

double makeTime(int hour, int minute, int second) {
  return (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

double nowDate() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return makeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) + makeTime(tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::string formatGeneralNumber(double v, bool single) {
  if (v == 0) return "0";
  if (!std::isfinite(v)) return std::isnan(v) ? "NaN" : (v > 0 ? "Infinito" : "-Infinito");
  const int precision = single ? 7 : 15;
  auto [digits, exp] = shortestDigits(v, precision);
  const char comma = regional().decimal;
  std::string out = v < 0 ? "-" : "";
  if (exp < -4 || exp >= precision) {
    // Scientific, as the general form writes very large and small numbers.
    out += digits[0];
    if (digits.size() > 1) out += comma + digits.substr(1);
    char buf[16];
    std::snprintf(buf, sizeof buf, "E%c%02d", exp < 0 ? '-' : '+', std::abs(exp));
    return out + buf;
  }
  if (exp < 0) return out + "0" + comma + std::string(static_cast<size_t>(-exp - 1), '0') + digits;
  const size_t whole = static_cast<size_t>(exp) + 1;
  if (digits.size() <= whole) return out + digits + std::string(whole - digits.size(), '0');
  return out + digits.substr(0, whole) + comma + digits.substr(whole);
}

std::string formatCurrencyGeneral(int64_t scaled) {
  uint64_t a = scaled < 0 ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  std::string out = scaled < 0 ? "-" : "";
  out += std::to_string(a / 10000);
  unsigned frac = static_cast<unsigned>(a % 10000);
  if (frac) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04u", frac);
    std::string f = buf;
    while (!f.empty() && f.back() == '0') f.pop_back();
    out += regional().decimal;
    out += f;
  }
  return out;
}

std::string formatGeneralDate(double days) {
  CivilDateTime c = toCivil(days);
  char buf[64];
  // As CStr: the date part is left out on the zero day, the time part at
  // midnight; the zero day at midnight reads "00:00:00".
  bool hasDate = std::trunc(days) != 0;
  bool hasTime = c.hour || c.minute || c.second || !hasDate;
  std::string out;
  if (hasDate) {
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", c.day, c.month, c.year);
    out = buf;
  }
  if (hasTime) {
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", c.hour, c.minute, c.second);
    if (!out.empty()) out += ' ';
    out += buf;
  }
  return out;
}

}  // namespace jet::sql
