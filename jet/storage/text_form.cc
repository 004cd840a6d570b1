#include "jet/storage/text_form.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace jet {

namespace {

// Days from 1970-01-01 to a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

constexpr int64_t kOleEpoch = -25569;  // 1899-12-30 in days from 1970-01-01

template <class F>
std::string shortest(F x) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, r.ptr);
}

}  // namespace

CivilDateTime toCivil(double v) {
  CivilDateTime c;
  if (!std::isfinite(v)) return c;
  double dayPart = std::trunc(v);
  double frac = std::fabs(v - dayPart);
  int64_t day = static_cast<int64_t>(dayPart);
  int64_t ms = static_cast<int64_t>(std::llround(frac * 86400000.0));
  if (ms >= 86400000) {
    ms -= 86400000;
    day += 1;
  }
  civilFromDays(day + kOleEpoch, c.year, c.month, c.day);
  c.hour = static_cast<int>(ms / 3600000);
  c.minute = static_cast<int>(ms / 60000 % 60);
  c.second = static_cast<int>(ms / 1000 % 60);
  c.millisecond = static_cast<int>(ms % 1000);
  return c;
}

double fromCivil(const CivilDateTime& c) {
  int64_t day = daysFromCivil(c.year, static_cast<unsigned>(c.month), static_cast<unsigned>(c.day)) - kOleEpoch;
  double frac = (c.hour * 3600000.0 + c.minute * 60000.0 + c.second * 1000.0 + c.millisecond) / 86400000.0;
  // Before the epoch the day part counts down while the time still counts up.
  return day >= 0 ? day + frac : day - frac;
}

std::string canonicalText(const Value& v) {
  char buf[80];
  switch (v.kind()) {
    case ValueKind::Null: return "\\N";
    case ValueKind::Boolean: return v.as<bool>() ? "1" : "0";
    case ValueKind::Byte: return std::to_string(v.as<uint8_t>());
    case ValueKind::Integer: return std::to_string(v.as<int16_t>());
    case ValueKind::Long: return std::to_string(v.as<int32_t>());
    case ValueKind::Currency: {
      int64_t s = v.as<Currency>().scaled;
      uint64_t a = s < 0 ? 0 - static_cast<uint64_t>(s) : static_cast<uint64_t>(s);
      std::snprintf(buf, sizeof buf, "%s%llu.%04llu", s < 0 ? "-" : "",
                    static_cast<unsigned long long>(a / 10000), static_cast<unsigned long long>(a % 10000));
      return buf;
    }
    case ValueKind::Single: return shortest(v.as<float>());
    case ValueKind::Double: return shortest(v.as<double>());
    case ValueKind::Date: {
      CivilDateTime c = toCivil(v.as<DateTime>().days);
      int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day,
                            c.hour, c.minute, c.second);
      if (c.millisecond) std::snprintf(buf + n, sizeof buf - n, ".%03d", c.millisecond);
      return buf;
    }
    case ValueKind::Text: {
      const std::string& s = v.as<std::string>();
      std::string out;
      out.reserve(s.size());
      for (char ch : s) {
        switch (ch) {
          case '\\': out += "\\\\"; break;
          case '\t': out += "\\t"; break;
          case '\r': out += "\\r"; break;
          case '\n': out += "\\n"; break;
          default: out.push_back(ch);
        }
      }
      return out;
    }
    case ValueKind::Binary: {
      static const char* hex = "0123456789abcdef";
      std::string out;
      for (uint8_t b : v.as<Bytes>()) {
        out.push_back(hex[b >> 4]);
        out.push_back(hex[b & 15]);
      }
      return out;
    }
    case ValueKind::Guid: {
      const auto& g = v.as<Guid>().bytes;
      std::snprintf(buf, sizeof buf,
                    "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[3], g[2],
                    g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14],
                    g[15]);
      return buf;
    }
  }
  return {};
}

}  // namespace jet
