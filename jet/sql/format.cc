// Format(value, pattern): numeric, date and text patterns (see format.h).
#include "jet/sql/format.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

#include "jet/sql/regional.h"
#include "jet/sql/value_ops.h"
#include "jet/storage/error.h"
#include "jet/storage/text_form.h"

namespace jet::sql {

namespace {

std::vector<std::string> splitSections(std::string_view p) {
  std::vector<std::string> out(1);
  bool quoted = false;
  for (size_t i = 0; i < p.size(); ++i) {
    char c = p[i];
    if (c == '"') quoted = !quoted;
    if (!quoted && c == '\\' && i + 1 < p.size()) {
      out.back() += c;
      out.back() += p[++i];
      continue;
    }
    if (!quoted && c == ';') {
      out.emplace_back();
      continue;
    }
    out.back() += c;
  }
  return out;
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// True when the pattern holds date or time placeholders outside quotes.
bool isDatePattern(std::string_view p) {
  bool quoted = false;
  for (size_t i = 0; i < p.size(); ++i) {
    char c = p[i];
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (quoted) continue;
    if (c == '\\') {
      ++i;
      continue;
    }
    char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (l == 'd' || l == 'm' || l == 'y' || l == 'h' || l == 'n' || l == 's' || l == 'q' || l == 'w' || l == 'c')
      return true;
  }
  return false;
}

bool isTextPattern(std::string_view p) {
  for (char c : p)
    if (c == '@' || c == '&' || c == '<' || c == '>') return true;
  return false;
}

// --- numbers ------------------------------------------------------------------

std::string groupThousands(const std::string& digits) {
  std::string out;
  int n = static_cast<int>(digits.size());
  for (int i = 0; i < n; ++i) {
    if (i && (n - i) % 3 == 0) out += regional().thousands;
    out += digits[i];
  }
  return out;
}

struct NumToken {
  enum Kind { Zero, Hash, Literal } kind;
  std::string text;
};

std::string formatNumberSection(double v, const std::string& sec, bool showMinus) {
  // Split the section into integer-part tokens, the decimal point, and
  // fraction-part tokens; collect literals before the first placeholder as
  // prefix and after the last as suffix.
  std::vector<NumToken> intTok, fracTok;
  bool seenPoint = false, grouping = false, percent = false;
  int scale = 0;
  std::string prefix, suffix;
  bool seenDigit = false;
  size_t i = 0;
  std::string pendingCommas;
  auto pushLiteral = [&](const std::string& t) {
    if (!seenDigit && !seenPoint) prefix += t;
    else if (seenPoint) fracTok.push_back({NumToken::Literal, t});
    else intTok.push_back({NumToken::Literal, t});
  };
  int commasBeforeNext = 0;
  while (i < sec.size()) {
    char c = sec[i];
    if (c == '"') {
      size_t j = sec.find('"', i + 1);
      if (j == std::string::npos) j = sec.size();
      pushLiteral(sec.substr(i + 1, j - i - 1));
      i = j + 1;
      continue;
    }
    if (c == '\\' && i + 1 < sec.size()) {
      pushLiteral(std::string(1, sec[i + 1]));
      i += 2;
      continue;
    }
    if (c == '0' || c == '#') {
      if (commasBeforeNext && !seenPoint) grouping = true;
      commasBeforeNext = 0;
      seenDigit = true;
      (seenPoint ? fracTok : intTok).push_back({c == '0' ? NumToken::Zero : NumToken::Hash, ""});
      ++i;
      continue;
    }
    if (c == '.') {
      if (!seenPoint) {
        scale += commasBeforeNext;
        commasBeforeNext = 0;
        seenPoint = true;
        seenDigit = true;
      } else {
        pushLiteral(".");
      }
      ++i;
      continue;
    }
    if (c == ',' && !seenPoint) {
      ++commasBeforeNext;
      ++i;
      continue;
    }
    if (c == '%') percent = true;
    pushLiteral(std::string(1, c));
    ++i;
  }
  if (!seenPoint) scale += commasBeforeNext;
  // Literals after the last placeholder form the suffix.
  auto moveSuffix = [&](std::vector<NumToken>& toks) {
    std::string s;
    while (!toks.empty() && toks.back().kind == NumToken::Literal) {
      s = toks.back().text + s;
      toks.pop_back();
    }
    return s;
  };
  if (seenPoint) suffix = moveSuffix(fracTok);
  if (!seenPoint || fracTok.empty()) suffix = moveSuffix(intTok) + suffix;
  if (percent) v *= 100;
  for (int k = 0; k < scale; ++k) v /= 1000;
  int maxFrac = 0, minFrac = 0;
  for (auto& t : fracTok) {
    if (t.kind == NumToken::Literal) continue;
    ++maxFrac;
  }
  // Mandatory fraction digits are those up to the last '0'.
  {
    int pos = 0;
    for (auto& t : fracTok) {
      if (t.kind == NumToken::Literal) continue;
      ++pos;
      if (t.kind == NumToken::Zero) minFrac = pos;
    }
  }
  int minInt = 0;
  bool intLiterals = false;
  for (auto& t : intTok) {
    if (t.kind == NumToken::Zero) ++minInt;
    if (t.kind == NumToken::Literal) intLiterals = true;
  }
  // Round half away from zero to maxFrac digits.
  double a = std::fabs(v);
  char buf[400];
  double p10 = std::pow(10.0, maxFrac);
  double r = std::floor(a * p10 + 0.5 + 1e-9 * (a * p10 > 1 ? 1 : 0));
  if (r >= 1e300) r = a * p10;
  std::snprintf(buf, sizeof buf, "%.0f", r);
  std::string all = buf;
  if (static_cast<int>(all.size()) <= maxFrac) all = std::string(maxFrac + 1 - all.size(), '0') + all;
  std::string intDigits = all.substr(0, all.size() - maxFrac);
  std::string fracDigits = all.substr(all.size() - maxFrac);
  bool isZero = r == 0;
  if (intDigits == "0") intDigits.clear();
  while (static_cast<int>(fracDigits.size()) > minFrac && fracDigits.back() == '0') fracDigits.pop_back();
  if (static_cast<int>(intDigits.size()) < minInt) intDigits = std::string(minInt - intDigits.size(), '0') + intDigits;
  std::string intText;
  if (!intLiterals) {
    intText = grouping ? groupThousands(intDigits) : intDigits;
  } else {
    // Place digits from the right into the placeholders, literals in place.
    int di = static_cast<int>(intDigits.size()) - 1;
    std::string rev;
    int placeholders = 0;
    for (auto& t : intTok)
      if (t.kind != NumToken::Literal) ++placeholders;
    int seen = 0;
    for (int k = static_cast<int>(intTok.size()) - 1; k >= 0; --k) {
      const NumToken& t = intTok[k];
      if (t.kind == NumToken::Literal) {
        rev.append(t.text.rbegin(), t.text.rend());
        continue;
      }
      ++seen;
      if (seen == placeholders) {
        while (di >= 0) rev += intDigits[di--];
      } else if (di >= 0) {
        rev += intDigits[di--];
      }
    }
    intText.assign(rev.rbegin(), rev.rend());
  }
  std::string out = prefix;
  if (showMinus && v < 0 && !isZero) out = "-" + out;
  out += intText;
  if (seenPoint && (!fracDigits.empty() || maxFrac == 0)) {
    out += regional().decimal;
    size_t fi = 0;
    for (auto& t : fracTok) {
      if (t.kind == NumToken::Literal) {
        out += t.text;
        continue;
      }
      if (fi < fracDigits.size()) out += fracDigits[fi++];
    }
  }
  out += suffix;
  return out;
}

std::string formatNumber(double v, std::string_view pattern, bool& usedNullSection, bool isNull) {
  auto secs = splitSections(pattern);
  usedNullSection = false;
  if (isNull) {
    if (secs.size() >= 4) {
      usedNullSection = true;
      return formatNumberSection(0, secs[3], false);
    }
    return {};
  }
  if (v < 0 && secs.size() >= 2 && !secs[1].empty()) return formatNumberSection(-v, secs[1], false);
  if (v == 0 && secs.size() >= 3 && !secs[2].empty()) return formatNumberSection(0, secs[2], false);
  return formatNumberSection(v, secs[0], true);
}

// --- dates --------------------------------------------------------------------

const char* kMonths[] = {"janeiro", "fevereiro", "março", "abril", "maio", "junho",
                         "julho", "agosto", "setembro", "outubro", "novembro", "dezembro"};
const char* kMonthsShort[] = {"jan", "fev", "mar", "abr", "mai", "jun", "jul", "ago", "set", "out", "nov", "dez"};
const char* kDays[] = {"domingo", "segunda-feira", "terça-feira", "quarta-feira",
                       "quinta-feira", "sexta-feira", "sábado"};
const char* kDaysShort[] = {"dom", "seg", "ter", "qua", "qui", "sex", "sáb"};

int weekday(double days) {  // 1 = Sunday
  int64_t d = static_cast<int64_t>(std::floor(days));
  int w = static_cast<int>(((d % 7) + 7 + 6) % 7);  // 30/12/1899 was a Saturday
  return w + 1;
}

std::string two(int v) {
  char b[16];
  std::snprintf(b, sizeof b, "%02d", v);
  return b;
}

std::string formatDatePattern(double days, std::string_view p) {
  CivilDateTime c = toCivil(days);
  std::string out;
  size_t i = 0;
  bool lastWasHour = false;
  auto lower = [](char ch) { return static_cast<char>(std::tolower(static_cast<unsigned char>(ch))); };
  auto run = [&](char ch) {
    size_t j = i;
    while (j < p.size() && lower(p[j]) == ch) ++j;
    return j - i;
  };
  // Whether an 'm' run at position i means minutes: right after an hour, or
  // right before seconds.
  auto minutesContext = [&](size_t at, size_t len) {
    if (lastWasHour) return true;
    size_t j = at + len;
    while (j < p.size() && (p[j] == ':' || p[j] == ' ')) ++j;
    return j < p.size() && lower(p[j]) == 's';
  };
  while (i < p.size()) {
    char ch = p[i];
    char l = lower(ch);
    if (ch == '"') {
      size_t j = p.find('"', i + 1);
      if (j == std::string_view::npos) j = p.size();
      out += p.substr(i + 1, j - i - 1);
      i = j + 1;
      continue;
    }
    if (ch == '\\' && i + 1 < p.size()) {
      out += p[i + 1];
      i += 2;
      continue;
    }
    if (l == 'd') {
      size_t n = run('d');
      if (n == 1) out += std::to_string(c.day);
      else if (n == 2) out += two(c.day);
      else if (n == 3) out += kDaysShort[weekday(days) - 1];
      else if (n == 4) out += kDays[weekday(days) - 1];
      else if (n == 5) out += two(c.day) + "/" + two(c.month) + "/" + std::to_string(c.year);
      else out += formatDatePattern(days, "dddd, d \"de\" mmmm \"de\" yyyy");
      i += n;
      lastWasHour = false;
      continue;
    }
    if (l == 'm') {
      size_t n = run('m');
      if (n <= 2 && minutesContext(i, n)) {
        out += n == 1 ? std::to_string(c.minute) : two(c.minute);
      } else if (n == 1) {
        out += std::to_string(c.month);
      } else if (n == 2) {
        out += two(c.month);
      } else if (n == 3) {
        out += kMonthsShort[c.month - 1];
      } else {
        out += kMonths[c.month - 1];
      }
      i += n;
      lastWasHour = false;
      continue;
    }
    if (l == 'y') {
      size_t n = run('y');
      if (n == 1 || n == 3) {
        double jan1 = makeDate(c.year, 1, 1);
        out += std::to_string(static_cast<int>(std::floor(days) - jan1) + 1);
        if (n == 3) out += two(c.year % 100);
      } else if (n == 2) {
        out += two(c.year % 100);
      } else {
        out += std::to_string(c.year);
      }
      i += n;
      lastWasHour = false;
      continue;
    }
    if (l == 'h') {
      size_t n = run('h');
      bool ampm = false;
      for (size_t k = 0; k + 4 < p.size() + 1; ++k)
        if (k + 5 <= p.size() && iequals(p.substr(k, 5), "AM/PM")) ampm = true;
      int h = c.hour;
      if (ampm) {
        h %= 12;
        if (h == 0) h = 12;
      }
      out += n == 1 ? std::to_string(h) : two(h);
      i += n;
      lastWasHour = true;
      continue;
    }
    if (l == 'n') {
      size_t n = run('n');
      out += n == 1 ? std::to_string(c.minute) : two(c.minute);
      i += n;
      lastWasHour = false;
      continue;
    }
    if (l == 's') {
      size_t n = run('s');
      out += n == 1 ? std::to_string(c.second) : two(c.second);
      i += n;
      lastWasHour = false;
      continue;
    }
    if (l == 'q') {
      out += std::to_string((c.month - 1) / 3 + 1);
      ++i;
      continue;
    }
    if (l == 'w') {
      size_t n = run('w');
      if (n == 1) {
        out += std::to_string(weekday(days));
      } else {
        double jan1 = makeDate(c.year, 1, 1);
        int doy = static_cast<int>(std::floor(days) - jan1);
        out += std::to_string((doy + weekday(jan1) - 1) / 7 + 1);
      }
      i += n;
      continue;
    }
    if (l == 'c') {
      out += formatGeneralDate(days);
      ++i;
      continue;
    }
    if (l == 'a' && i + 5 <= p.size() && iequals(p.substr(i, 5), "AM/PM")) {
      bool upper = p[i] == 'A';
      out += c.hour < 12 ? (upper ? "AM" : "am") : (upper ? "PM" : "pm");
      i += 5;
      continue;
    }
    if (l == 'a' && i + 3 <= p.size() && iequals(p.substr(i, 3), "A/P")) {
      bool upper = p[i] == 'A';
      out += c.hour < 12 ? (upper ? "A" : "a") : (upper ? "P" : "p");
      i += 3;
      continue;
    }
    if (ch == '/') out += regional().dateSep;
    else if (ch == ':') out += regional().timeSep;
    else out += ch;
    ++i;
  }
  return out;
}

std::string formatTextPattern(const std::string& s, std::string_view p) {
  bool upper = false, lower = false;
  std::string pat;
  for (char c : p) {
    if (c == '>') upper = true;
    else if (c == '<') lower = true;
    else pat += c;
  }
  std::string t = upper ? upperText(s) : lower ? lowerText(s) : s;
  size_t placeholders = 0;
  for (char c : pat)
    if (c == '@' || c == '&') ++placeholders;
  if (placeholders == 0) return t + pat;
  // Characters fill the placeholders from the right; '@' shows a blank when
  // there is no character left, '&' nothing.
  std::string out;
  long ti = static_cast<long>(t.size()) - 1;
  long extra = static_cast<long>(t.size()) - static_cast<long>(placeholders);
  std::string rev;
  size_t seen = 0;
  for (long k = static_cast<long>(pat.size()) - 1; k >= 0; --k) {
    char c = pat[k];
    if (c == '@' || c == '&') {
      ++seen;
      if (ti >= 0) rev += t[ti--];
      else if (c == '@') rev += ' ';
      if (seen == placeholders && extra > 0)
        while (ti >= 0) rev += t[ti--];
    } else {
      rev += c;
    }
  }
  out.assign(rev.rbegin(), rev.rend());
  return out;
}

std::optional<std::string> namedFormat(const Value& v, std::string_view name) {
  auto num = [&]() { return toDouble(v); };
  bool n;
  if (iequals(name, "General Number")) return toText(Value(num()));
  if (iequals(name, "Currency")) return formatNumber(num(), "\"R$ \"#,##0.00;\"-R$ \"#,##0.00", n, false);
  if (iequals(name, "Fixed")) return formatNumber(num(), "0.00", n, false);
  if (iequals(name, "Standard")) return formatNumber(num(), "#,##0.00", n, false);
  if (iequals(name, "Percent")) return formatNumber(num(), "0.00%", n, false);
  if (iequals(name, "Scientific")) {
    char b[64];
    std::snprintf(b, sizeof b, "%.2E", num());
    std::string s = b;
    for (char& c : s)
      if (c == '.') c = regional().decimal;
    return s;
  }
  if (iequals(name, "Yes/No")) return *toBool(v) ? "Sim" : "Não";
  if (iequals(name, "True/False")) return *toBool(v) ? "Verdadeiro" : "Falso";
  if (iequals(name, "On/Off")) return *toBool(v) ? "Ativado" : "Desativado";
  auto date = [&]() { return toDate(v); };
  if (iequals(name, "General Date")) return formatGeneralDate(date());
  if (iequals(name, "Long Date")) return formatDatePattern(date(), "dddd, d \"de\" mmmm \"de\" yyyy");
  if (iequals(name, "Medium Date")) return formatDatePattern(date(), "dd-mmm-yy");
  if (iequals(name, "Short Date")) return formatDatePattern(date(), "dd/mm/yyyy");
  if (iequals(name, "Long Time")) return formatDatePattern(date(), "hh:nn:ss");
  if (iequals(name, "Medium Time")) return formatDatePattern(date(), "hh:nn AM/PM");
  if (iequals(name, "Short Time")) return formatDatePattern(date(), "hh:nn");
  return std::nullopt;
}

}  // namespace

Value formatValue(const Value& v, std::string_view pattern) {
  if (pattern.empty()) return v.isNull() ? Value() : Value::text(toText(v));
  if (v.isNull()) {
    if (!isDatePattern(pattern) && !isTextPattern(pattern)) {
      bool usedNull = false;
      std::string s = formatNumber(0, pattern, usedNull, true);
      if (usedNull) return Value::text(s);
    }
    return Value();
  }
  if (auto named = namedFormat(v, pattern)) return Value::text(*named);
  if (isTextPattern(pattern)) return Value::text(formatTextPattern(toText(v), pattern));
  if (isDatePattern(pattern)) {
    if (v.kind() == ValueKind::Text) {
      auto d = parseDateText(v.as<std::string>());
      if (!d) {
        auto n = parseNumber(v.as<std::string>());
        if (!n) return v;
        return Value::text(formatDatePattern(*n, pattern));
      }
      return Value::text(formatDatePattern(*d, pattern));
    }
    if (!isNumberLike(v)) return Value::text(toText(v));
    return Value::text(formatDatePattern(toDouble(v), pattern));
  }
  double d;
  if (v.kind() == ValueKind::Text) {
    auto n = parseNumber(v.as<std::string>());
    if (!n) return v;
    d = *n;
  } else if (isNumberLike(v)) {
    d = toDouble(v);
  } else {
    return Value::text(toText(v));
  }
  bool usedNull = false;
  return Value::text(formatNumber(d, pattern, usedNull, false));
}

}  // namespace jet::sql
