// Key encodings: known keys of single values, multi-column keys, and the
// ordering the B-tree relies on.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "jet/storage/error.h"
#include "jet/storage/index_key.h"

namespace jet {
namespace {

std::string hex(const std::vector<uint8_t>& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i) s += ' ';
    s += digits[bytes[i] >> 4];
    s += digits[bytes[i] & 15];
  }
  return s;
}

std::string keyHex(const Value& v, ColumnType t, bool asc = true) {
  std::vector<uint8_t> out;
  appendKeyPart(out, v, t, asc);
  return hex(out);
}

struct Case {
  const char* what;
  Value value;
  ColumnType type;
  bool ascending;
  const char* key;
};

TEST(IndexKey, KnownKeys) {
  const Case cases[] = {
      {"long 1", Value(int32_t{1}), ColumnType::Long, true, "7F 80 00 00 01"},
      {"long -1", Value(int32_t{-1}), ColumnType::Long, true, "7F 7F FF FF FF"},
      {"long 1 desc", Value(int32_t{1}), ColumnType::Long, false, "80 7F FF FF FE"},
      {"integer 5", Value(int16_t{5}), ColumnType::Integer, true, "7F 80 05"},
      {"integer from long", Value(int32_t{5}), ColumnType::Integer, true, "7F 80 05"},
      {"byte 200", Value(uint8_t{200}), ColumnType::Byte, true, "7F C8"},
      {"byte 200 desc", Value(uint8_t{200}), ColumnType::Byte, false, "80 37"},
      {"currency 3.5", Value::currency(35000), ColumnType::Currency, true,
       "7F 80 00 00 00 00 00 88 B8"},
      {"currency -1", Value::currency(-10000), ColumnType::Currency, true,
       "7F 7F FF FF FF FF FF D8 F0"},
      {"double 1", Value(1.0), ColumnType::Double, true, "7F BF F0 00 00 00 00 00 00"},
      {"double -1", Value(-1.0), ColumnType::Double, true, "7F 40 0F FF FF FF FF FF FF"},
      {"double 1 desc", Value(1.0), ColumnType::Double, false, "80 40 0F FF FF FF FF FF FF"},
      {"single 1", Value(1.0f), ColumnType::Single, true, "7F BF 80 00 00"},
      {"date zero day", Value::date(0), ColumnType::DateTime, true, "7F 80 00 00 00 00 00 00 00"},
      {"true", Value(true), ColumnType::Boolean, true, "7F 00"},
      {"false", Value(false), ColumnType::Boolean, true, "7F FF"},
      {"true desc", Value(true), ColumnType::Boolean, false, "80 FF"},
      {"null yes/no is false", Value(), ColumnType::Boolean, true, "7F FF"},
      {"null", Value(), ColumnType::Long, true, "00"},
      {"null desc", Value(), ColumnType::Text, false, "FF"},
      {"binary 3 bytes", Value(Bytes{1, 2, 3}), ColumnType::Binary, true,
       "7F 01 02 03 00 00 00 00 00 03"},
      {"binary 9 bytes", Value(Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}), ColumnType::Binary, true,
       "7F 01 02 03 04 05 06 07 08 09 09 00 00 00 00 00 00 00 01"},
      {"guid", Value(Guid{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}}),
       ColumnType::Guid, true, "7F 01 02 03 04 05 06 07 08 09 09 0A 0B 0C 0D 0E 0F 10 08"},
      {"text a", Value("a"), ColumnType::Text, true, "7F 4A 01 00"},
      {"text abcdefg", Value("abcdefg"), ColumnType::Text, true,
       "7F 4A 4C 4D 4F 51 53 55 01 00"},
      {"MSysObjects", Value("MSysObjects"), ColumnType::Text, true,
       "7F 60 6B 76 6B 64 4C 5B 51 4D 6D 6B 01 00"},
      {"underscore", Value("MSP_Projects"), ColumnType::Text, true,
       "7F 60 6B 66 2B 03 66 69 64 5B 51 4D 6D 6B 01 00"},
      {"hyphen is unprintable", Value("-1"), ColumnType::Text, true,
       "7F 38 01 01 01 01 80 07 06 82 00"},
      {"accent", Value("Café"), ColumnType::Text, true, "7F 4D 4A 53 51 01 02 02 02 0E 00"},
      {"case folds", Value("CAFE"), ColumnType::Text, true, "7F 4D 4A 53 51 01 00"},
      {"apostrophe", Value("O'Brien"), ColumnType::Text, true,
       "7F 64 4C 69 59 51 62 01 01 01 01 80 0B 06 80 00"},
      {"two accents", Value("Ñandú"), ColumnType::Text, true,
       "7F 62 4A 62 4F 6F 01 19 02 02 02 0E 00"},
      {"euro sign", Value("€uro"), ColumnType::Text, true, "7F 35 A1 6F 69 64 01 00"},
      {"trailing spaces dropped", Value("a   "), ColumnType::Text, true, "7F 4A 01 00"},
      {"empty text", Value(""), ColumnType::Text, true, "7F 01 00"},
      {"text desc", Value("a"), ColumnType::Text, false, "80 B5 FE FF 00"},
      {"memo like text", Value("a"), ColumnType::Memo, true, "7F 4A 01 00"},
      // Hiragana small a carries flag 2, plain a flag 3 (dropped at the end).
      {"flagged char", Value("\u3041"), ColumnType::Text, true,
       "7F 7F 02 01 01 01 A0 FF 02 80 FF 80 00"},
      {"flag 3 trimmed", Value("\u3042"), ColumnType::Text, true,
       "7F 7F 02 01 01 01 FF 02 80 FF 80 00"},
      {"flag then unprintable", Value("\u3041-"), ColumnType::Text, true,
       "7F 7F 02 01 01 01 A0 FF 02 80 FF 80 FF 01 80 0B 06 82 00"},
      // A surrogate pair: each code unit is its own two-byte code.
      {"surrogate pair", Value("\U0001F600"), ColumnType::Text, true, "7F B0 3F B6 02 01 00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(keyHex(c.value, c.type, c.ascending), c.key) << c.what;
  }
}

TEST(IndexKey, CombiningAccentEqualsPrecomposed) {
  EXPECT_EQ(keyHex("Cafe\u0301", ColumnType::Text), keyHex("Café", ColumnType::Text));
  EXPECT_EQ(keyHex("e\u0301xe\u0300", ColumnType::Text), keyHex("éxè", ColumnType::Text));
}

TEST(IndexKey, TextIsCutAt255Characters) {
  std::string longText(300, 'b');
  std::string cut(255, 'b');
  EXPECT_EQ(keyHex(longText, ColumnType::Text), keyHex(cut, ColumnType::Text));
  EXPECT_NE(keyHex(std::string(254, 'b'), ColumnType::Text), keyHex(cut, ColumnType::Text));
}

TEST(IndexKey, MultiColumnKeyIsConcatenation) {
  Value parent(int32_t{0x0F000001});
  Value name("MSysObjects");
  auto key = encodeKey({{&parent, ColumnType::Long, true}, {&name, ColumnType::Text, true}});
  EXPECT_EQ(hex(key), "7F 8F 00 00 01 7F 60 6B 76 6B 64 4C 5B 51 4D 6D 6B 01 00");
}

// Byte order of keys must be the order of the values, both directions.
TEST(IndexKey, KeyOrderFollowsValueOrder) {
  auto sorted = [](const std::vector<Value>& values, ColumnType t, bool asc) {
    std::vector<std::vector<uint8_t>> keys;
    for (const Value& v : values) {
      std::vector<uint8_t> k;
      appendKeyPart(k, v, t, asc);
      keys.push_back(k);
    }
    return asc ? std::is_sorted(keys.begin(), keys.end())
               : std::is_sorted(keys.rbegin(), keys.rend());
  };
  for (bool asc : {true, false}) {
    SCOPED_TRACE(asc ? "ascending" : "descending");
    EXPECT_TRUE(sorted({Value(int32_t{INT32_MIN}), Value(int32_t{-5}), Value(int32_t{0}),
                        Value(int32_t{7}), Value(int32_t{INT32_MAX})},
                       ColumnType::Long, asc));
    EXPECT_TRUE(sorted({Value(-1e300), Value(-2.5), Value(-0.001), Value(0.0), Value(1e-300),
                        Value(3.0), Value(1e300)},
                       ColumnType::Double, asc));
    EXPECT_TRUE(sorted({Value::currency(INT64_MIN), Value::currency(-1), Value::currency(0),
                        Value::currency(INT64_MAX)},
                       ColumnType::Currency, asc));
    EXPECT_TRUE(sorted({Value(""), Value("a"), Value("á"), Value("ab"), Value("abc"),
                        Value("b"), Value("coop"), Value("co-op"), Value("z")},
                       ColumnType::Text, asc));
  }
  // NULL sorts first ascending, last descending.
  std::vector<uint8_t> nullAsc, oneAsc, nullDesc, oneDesc;
  appendKeyPart(nullAsc, Value(), ColumnType::Long, true);
  appendKeyPart(oneAsc, Value(int32_t{INT32_MIN}), ColumnType::Long, true);
  appendKeyPart(nullDesc, Value(), ColumnType::Long, false);
  appendKeyPart(oneDesc, Value(int32_t{INT32_MAX}), ColumnType::Long, false);
  EXPECT_LT(nullAsc, oneAsc);
  EXPECT_GT(nullDesc, oneDesc);
}

TEST(IndexKey, RefusesValuesThatDoNotFit) {
  std::vector<uint8_t> out;
  EXPECT_THROW(appendKeyPart(out, Value(int32_t{70000}), ColumnType::Integer, true), Error);
  EXPECT_THROW(appendKeyPart(out, Value(2.5), ColumnType::Long, true), Error);
  EXPECT_THROW(appendKeyPart(out, Value("x"), ColumnType::Long, true), Error);
  EXPECT_THROW(appendKeyPart(out, Value(int32_t{1}), ColumnType::Text, true), Error);
  EXPECT_THROW(appendKeyPart(out, Value(Bytes{1}), ColumnType::OLE, true), Error);
}

}  // namespace
}  // namespace jet
