// Calendar dates of the export's routines. Dates arrive from the database as
// OLE dates: days since 30 December 1899, the time of day as the fraction.
#pragma once

#include <string>

namespace kor {

struct DataCivil {
  int ano = 1899;
  int mes = 12;
  int dia = 30;
};

// The calendar date of an OLE date (the time of day dropped; for a negative
// date the fraction is the time of the day before zero, as OLE dates go).
DataCivil DataDe(double ole);
// The OLE date of a valid calendar date, at midnight.
double OleDe(const DataCivil& data);
// The days of a month (1 to 12) of a Gregorian year.
int DiasDoMes(int ano, int mes);
// "MM/DD/YYYY", the order in which Jet reads a date literal #...#.
std::string DataSQL(double ole);

}  // namespace kor
