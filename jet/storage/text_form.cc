#include "jet/storage/text_form.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "jet/storage/error.h"

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

namespace {

template <class T>
void appendNumber(std::string& out, T x) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, x);
  out.append(buf, r.ptr);
}

// Appends `v` in exactly `width` digits (0 <= v < 10^width).
void appendDigits(std::string& out, unsigned v, int width) {
  char buf[8];
  for (int i = width - 1; i >= 0; --i) {
    buf[i] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  out.append(buf, static_cast<size_t>(width));
}

}  // namespace

void appendCanonicalText(std::string& out, const Value& v) {
  switch (v.kind()) {
    case ValueKind::Null: out += "\\N"; return;
    case ValueKind::Boolean: out += v.as<bool>() ? '1' : '0'; return;
    case ValueKind::Byte: appendNumber(out, v.as<uint8_t>()); return;
    case ValueKind::Integer: appendNumber(out, v.as<int16_t>()); return;
    case ValueKind::Long: appendNumber(out, v.as<int32_t>()); return;
    case ValueKind::Currency: {
      int64_t s = v.as<Currency>().scaled;
      uint64_t a = s < 0 ? 0 - static_cast<uint64_t>(s) : static_cast<uint64_t>(s);
      if (s < 0) out += '-';
      appendNumber(out, a / 10000);
      out += '.';
      appendDigits(out, static_cast<unsigned>(a % 10000), 4);
      return;
    }
    case ValueKind::Single: appendNumber(out, v.as<float>()); return;
    case ValueKind::Double: appendNumber(out, v.as<double>()); return;
    case ValueKind::Date: {
      CivilDateTime c = toCivil(v.as<DateTime>().days);
      if (c.year >= 0 && c.year <= 9999) {
        appendDigits(out, static_cast<unsigned>(c.year), 4);
      } else {
        char buf[16];
        int n = std::snprintf(buf, sizeof buf, "%04d", c.year);
        out.append(buf, static_cast<size_t>(n));
      }
      out += '-';
      appendDigits(out, static_cast<unsigned>(c.month), 2);
      out += '-';
      appendDigits(out, static_cast<unsigned>(c.day), 2);
      out += ' ';
      appendDigits(out, static_cast<unsigned>(c.hour), 2);
      out += ':';
      appendDigits(out, static_cast<unsigned>(c.minute), 2);
      out += ':';
      appendDigits(out, static_cast<unsigned>(c.second), 2);
      if (c.millisecond) {
        out += '.';
        appendDigits(out, static_cast<unsigned>(c.millisecond), 3);
      }
      return;
    }
    case ValueKind::Text: {
      const std::string& s = v.as<std::string>();
      size_t start = 0;
      for (size_t i = 0; i < s.size(); ++i) {
        const char* esc;
        switch (s[i]) {
          case '\\': esc = "\\\\"; break;
          case '\t': esc = "\\t"; break;
          case '\r': esc = "\\r"; break;
          case '\n': esc = "\\n"; break;
          default: continue;
        }
        out.append(s, start, i - start);
        out.append(esc, 2);
        start = i + 1;
      }
      out.append(s, start, std::string::npos);
      return;
    }
    case ValueKind::Binary: {
      static const char* hex = "0123456789abcdef";
      for (uint8_t b : v.as<Bytes>()) {
        out.push_back(hex[b >> 4]);
        out.push_back(hex[b & 15]);
      }
      return;
    }
    case ValueKind::Guid: {
      char buf[48];
      const auto& g = v.as<Guid>().bytes;
      int n = std::snprintf(buf, sizeof buf,
                            "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[3], g[2],
                            g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14],
                            g[15]);
      out.append(buf, static_cast<size_t>(n));
      return;
    }
  }
}

std::string canonicalText(const Value& v) {
  std::string out;
  appendCanonicalText(out, v);
  return out;
}

OutputBuffer::~OutputBuffer() {
  try {
    flush();
  } catch (...) {
    // A destructor does not throw; callers that care call flush().
  }
}

void OutputBuffer::flush() {
  size_t done = 0;
  while (done < text_.size()) {
    ssize_t n = ::write(fd_, text_.data() + done, text_.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      text_.clear();
      throw Error(std::string("Falha ao escrever a saída: ") + std::strerror(errno));
    }
    done += static_cast<size_t>(n);
  }
  text_.clear();
}

}  // namespace jet
