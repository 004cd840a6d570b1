// Operations on Jet Variants: comparison, arithmetic, conversion.
//
// These are the rules of Jet's expression service as the SQL engine applies
// them to jet::Value:
//   - Null propagates through arithmetic and comparison (a comparison with
//     Null is neither true nor false: std::nullopt).
//   - Numbers of every width, Currency, Boolean (True is -1) and Date compare
//     and combine numerically; Currency arithmetic is exact (64-bit scaled).
//   - Text compares without regard to letter case but with regard to accents:
//     "natação" = "NATAÇÃO", "acao" <> "ação". Ordering puts accented letters
//     next to their base letter (a < á < b). Trailing blanks (character 32)
//     and NUL characters do not count: "abc  " = "ABC", as the General sort
//     order's index keys leave them out; a TAB or a no-break space does
//     count. This holds for every comparison by value (=, <, IN, BETWEEN,
//     joins, GROUP BY, DISTINCT, UNION, ORDER BY, MIN and MAX) but not for
//     LIKE, which matches every character of the text.
//   - Text against a number or a date is a type mismatch (jet::Error).
//   - Assigning a value to a column converts it to the column's type the way
//     Jet does (the text "23:59:00" into a Date column is that time on the
//     zero day, "18" into a Number column is 18, a number into a Text column
//     is its regional text form); a conversion that cannot be made throws.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "jet/storage/table_def.h"
#include "jet/storage/value.h"

namespace jet::sql {

// --- Text ------------------------------------------------------------------

// The text with every letter in its upper-case form; accents are kept.
std::string foldCase(std::string_view utf8);
std::string upperText(std::string_view utf8);
std::string lowerText(std::string_view utf8);
// Number of characters (code points) of UTF-8 text.
size_t textLength(std::string_view utf8);
// The part of a text that takes part in comparisons: without its trailing
// blanks and NUL characters.
std::string_view significantText(std::string_view utf8);
// Jet's text order: <0, 0, >0. Equal exactly when foldCase() of the
// significantText() is equal.
int compareText(std::string_view a, std::string_view b);

// --- Classification ----------------------------------------------------------

// Boolean, Byte, Integer, Long, Currency, Single, Double or Date.
bool isNumberLike(const Value& v);
bool isIntegerKind(ValueKind k);

// --- Comparison --------------------------------------------------------------

// Three-way comparison under Jet's rules; nullopt when either side is Null.
// Throws jet::Error "Tipos de dados incompatíveis na expressão de critério."
// for values that cannot be compared (text against a number, ...).
std::optional<int> compareValues(const Value& a, const Value& b);
// Total order used by ORDER BY: Null first, then numbers, then text, then
// binary. Never throws.
int orderValues(const Value& a, const Value& b);

// Appends a key such that two values give the same key exactly when they are
// equal under compareValues (numbers by value, text case-folded and without
// its trailing blanks). Null gives its own key. Used for hash joins and
// lookups, IN sets, GROUP BY, DISTINCT and UNION.
void appendKey(std::string& out, const Value& v);

// A set of non-Null values under the equality of appendKey. Numbers are
// kept apart as their value's bits, so that the common case (codes) needs
// no key text.
class KeySet {
 public:
  void insert(const Value& v);
  bool contains(const Value& v) const;

 private:
  static uint64_t numberBits(const Value& v);
  std::unordered_set<uint64_t> numbers_;
  std::unordered_set<std::string> others_;
};

// --- Arithmetic --------------------------------------------------------------

enum class ArithOp { Add, Sub, Mul, Div, IntDiv, Mod, Pow };
Value arithmetic(ArithOp op, const Value& a, const Value& b);
Value negate(const Value& a);
// The & operator: Null counts as empty text; Null & Null is Null.
Value concatenate(const Value& a, const Value& b);

// --- Conversion --------------------------------------------------------------

// The truth of a condition: nullopt for Null. Numbers are true when non-zero.
std::optional<bool> toBool(const Value& v);
// Number conversions; text is read in the regional form. Throw jet::Error
// with "Tipos de dados incompatíveis na expressão." when impossible.
double toDouble(const Value& v);
int64_t toCurrencyScaled(const Value& v);
// Rounded to the nearest integer, a half to the even neighbour; range-checked.
int32_t toLong(const Value& v);
int16_t toInteger(const Value& v);
double toDate(const Value& v);
// The regional text form (CStr): numbers with decimal comma, dates dd/mm/yyyy
// hh:nn:ss (date or time part omitted when zero), True as "Verdadeiro"...
// Null gives "".
std::string toText(const Value& v);

// Converts `v` to the type of `column`, as an assignment in INSERT or UPDATE.
// Null stays Null. Throws jet::Error naming the column when the value cannot
// be converted or does not fit.
Value convertForColumn(const Value& v, const ColumnDef& column);
Value convertToType(const Value& v, ColumnType type, const std::string& columnName);

// Jet-style name of a type for messages ("Texto", "Data/Hora", ...).
std::string typeDisplayName(ColumnType type);

// Error helpers (messages in the manner of the Jet engine).
[[noreturn]] void throwTypeMismatch();
[[noreturn]] void throwOverflow();

}  // namespace jet::sql
