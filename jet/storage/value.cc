#include "jet/storage/value.h"

#include <cstdio>

namespace jet {

std::string columnTypeName(ColumnType type) {
  switch (type) {
    case ColumnType::Boolean: return "Boolean";
    case ColumnType::Byte: return "Byte";
    case ColumnType::Integer: return "Integer";
    case ColumnType::Long: return "Long";
    case ColumnType::Currency: return "Currency";
    case ColumnType::Single: return "Single";
    case ColumnType::Double: return "Double";
    case ColumnType::DateTime: return "DateTime";
    case ColumnType::Binary: return "Binary";
    case ColumnType::Text: return "Text";
    case ColumnType::OLE: return "OLE";
    case ColumnType::Memo: return "Memo";
    case ColumnType::Guid: return "GUID";
    case ColumnType::Numeric: return "Numeric";
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "Unknown(0x%02X)", static_cast<unsigned>(type));
  return buf;
}

namespace {

void appendUtf8(std::string& out, uint32_t cp) {
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

template <class Unit>
std::string utf16ToUtf8Impl(size_t n, Unit unitAt) {
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    uint32_t u = unitAt(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n) {
      uint32_t lo = unitAt(i + 1);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        ++i;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
    appendUtf8(out, u);
  }
  return out;
}

}  // namespace

std::string utf16leToUtf8(const uint8_t* data, size_t bytes) {
  return utf16ToUtf8Impl(bytes / 2, [data](size_t i) {
    return static_cast<uint32_t>(data[2 * i] | (data[2 * i + 1] << 8));
  });
}

std::string utf16ToUtf8(std::u16string_view s) {
  return utf16ToUtf8Impl(s.size(), [s](size_t i) { return static_cast<uint32_t>(s[i]); });
}

std::u16string utf8ToUtf16(std::string_view in) {
  std::u16string out;
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    auto c = static_cast<unsigned char>(in[i]);
    uint32_t cp;
    size_t len;
    if (c < 0x80) { cp = c; len = 1; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; len = 2; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; len = 4; }
    else { out.push_back(0xFFFD); ++i; continue; }
    if (i + len > in.size()) { out.push_back(0xFFFD); break; }
    bool ok = true;
    for (size_t k = 1; k < len; ++k) {
      auto cc = static_cast<unsigned char>(in[i + k]);
      if ((cc & 0xC0) != 0x80) { ok = false; break; }
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) { out.push_back(0xFFFD); ++i; continue; }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

}  // namespace jet
