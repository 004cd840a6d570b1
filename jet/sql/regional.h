// Regional text forms of numbers and dates, fixed to the Brazilian settings
// the system expects, whatever the locale of the machine:
//   short date dd/mm/yyyy, long time hh:nn:ss, decimal comma, thousands dot,
//   currency symbol "R$".
// Also the reading of Jet date literals (#...#), which is not regional:
// month-first when that is a valid date, day-first otherwise.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace jet::sql {

struct Regional {
  char decimal = ',';
  char thousands = '.';
  char dateSep = '/';
  char timeSep = ':';
  const char* currencySymbol = "R$";
};
const Regional& regional();

// Reads a number written in the regional form ("1.234,5", "-3", "1,5E+3",
// "R$ 10,00"); blanks around it are allowed. nullopt when it is not a number.
std::optional<double> parseNumber(std::string_view text);
// Same, exact to four decimals for Currency (value × 10000).
std::optional<int64_t> parseCurrency(std::string_view text);

// Reads a date and/or time text in the regional order (day first; month
// first when day-first is not a valid date; year first when the first part
// has four digits). Time-only text is a time on the zero day.
std::optional<double> parseDateText(std::string_view text);
// Reads the inside of a Jet date literal: month first when that is a valid
// date, day first otherwise; an optional time after the date.
std::optional<double> parseDateLiteral(std::string_view text);

// The general text of a number: shortest form, at most 15 significant digits
// (7 for Single), decimal comma, no grouping; scientific beyond 1E15.
std::string formatGeneralNumber(double v, bool single = false);
std::string formatCurrencyGeneral(int64_t scaled);
// The general text of a date: "dd/mm/yyyy", "hh:nn:ss", or both.
std::string formatGeneralDate(double days);

// Calendar helpers on OLE dates.
bool validDate(int year, int month, int day);
double makeDate(int year, int month, int day);          // no checks
double makeTime(int hour, int minute, int second);      // fraction of a day
int daysInMonth(int year, int month);
// Current local date and time as an OLE date (seconds resolution).
double nowDate();

}  // namespace jet::sql
