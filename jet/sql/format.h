// The Format function of Jet's expression service, with the Brazilian
// regional forms.
//
// Numeric patterns: '0' (digit or zero), '#' (digit or nothing), '.' (the
// decimal comma), ',' (thousands grouping when it stands among the digit
// placeholders of the integer part, scaling by 1000 when it stands right
// before the decimal point or at the end), '%' (percent), literal text in
// quotes or after '\', sections for positive;negative;zero;null.
// Date patterns: d dd ddd dddd m mm mmm mmmm yy yyyy h hh n nn s ss, q, w,
// y, "/" and ":" (the regional separators), AM/PM, c.
// Text patterns: @ & < >.
// Named formats: General Number, Currency, Fixed, Standard, Percent,
// Scientific, General Date, Long Date, Medium Date, Short Date, Long Time,
// Medium Time, Short Time, Yes/No, True/False, On/Off.
#pragma once

#include <string>
#include <string_view>

#include "jet/storage/value.h"

namespace jet::sql {

// Format(value, pattern). Null gives Null unless the pattern has a fourth
// section. An empty pattern gives the general text form.
Value formatValue(const Value& v, std::string_view pattern);

}  // namespace jet::sql
