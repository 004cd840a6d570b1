// Values of the Jet engine.
//
// A Value is one Jet Variant: Null or a value of one of the Jet 4 scalar
// types. Text is held as UTF-8 (the file stores UTF-16); binary and OLE data
// as raw bytes. Currency is exact: a 64-bit count of 1/10000 units. Dates are
// the OLE Automation double: days since 1899-12-30, the fraction a time of day.
//
// Values are small, copyable and own their data.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace jet {

// Column types as stored in a table definition (byte 0 of a column descriptor).
enum class ColumnType : uint8_t {
  Boolean = 0x01,
  Byte = 0x02,
  Integer = 0x03,   // 16-bit
  Long = 0x04,      // 32-bit
  Currency = 0x05,  // int64 scaled by 10000
  Single = 0x06,
  Double = 0x07,
  DateTime = 0x08,
  Binary = 0x09,    // at most 255 bytes
  Text = 0x0A,      // at most 255 characters
  OLE = 0x0B,       // long binary
  Memo = 0x0C,      // long text
  Guid = 0x0F,
  Numeric = 0x10,   // scaled decimal, 17 bytes
};

// The name used in schema listings ("Long", "Text", ...); "Unknown(0x..)" for
// a type byte that is not a Jet 4 type.
std::string columnTypeName(ColumnType type);
// True for the types whose value lives in a long-value (LVAL) structure.
inline bool isLongValueType(ColumnType t) { return t == ColumnType::Memo || t == ColumnType::OLE; }
inline bool isTextType(ColumnType t) { return t == ColumnType::Text || t == ColumnType::Memo; }

struct Currency {
  int64_t scaled = 0;  // value × 10000
  friend bool operator==(Currency, Currency) = default;
};

struct DateTime {
  double days = 0;  // days since 1899-12-30; fraction = time of day
  friend bool operator==(DateTime, DateTime) = default;
};

struct Guid {
  std::array<uint8_t, 16> bytes{};
  friend bool operator==(const Guid&, const Guid&) = default;
};

using Bytes = std::vector<uint8_t>;

// The kind of a value: the alternatives of Value::Storage, in order.
enum class ValueKind : uint8_t {
  Null, Boolean, Byte, Integer, Long, Currency, Single, Double, Date, Text, Binary, Guid,
};

class Value {
 public:
  using Storage = std::variant<std::monostate, bool, uint8_t, int16_t, int32_t, Currency, float,
                               double, DateTime, std::string, Bytes, Guid>;

  Value() = default;
  Value(bool v) : v_(v) {}
  Value(uint8_t v) : v_(v) {}
  Value(int16_t v) : v_(v) {}
  Value(int32_t v) : v_(v) {}
  Value(Currency v) : v_(v) {}
  Value(float v) : v_(v) {}
  Value(double v) : v_(v) {}
  Value(DateTime v) : v_(v) {}
  Value(std::string v) : v_(std::move(v)) {}
  Value(const char* v) : v_(std::string(v)) {}
  Value(Bytes v) : v_(std::move(v)) {}
  Value(Guid v) : v_(v) {}

  static Value null() { return Value(); }
  static Value text(std::string utf8) { return Value(std::move(utf8)); }
  static Value date(double days) { return Value(DateTime{days}); }
  static Value currency(int64_t scaled) { return Value(Currency{scaled}); }

  ValueKind kind() const { return static_cast<ValueKind>(v_.index()); }
  bool isNull() const { return v_.index() == 0; }

  template <class T> bool is() const { return std::holds_alternative<T>(v_); }
  template <class T> const T& as() const { return std::get<T>(v_); }
  template <class T> T& as() { return std::get<T>(v_); }
  const Storage& storage() const { return v_; }
  Storage& storage() { return v_; }

  friend bool operator==(const Value&, const Value&) = default;

 private:
  Storage v_;
};

// UTF-16LE <-> UTF-8. Unpaired surrogates become U+FFFD.
std::string utf16leToUtf8(const uint8_t* data, size_t bytes);
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view s);

}  // namespace jet
