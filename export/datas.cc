#include "export/datas.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace kor {

namespace {

using namespace std::chrono;

constexpr sys_days kDiaZero = sys_days(year{1899} / December / 30);

}  // namespace

DataCivil DataDe(double ole) {
  const year_month_day d{kDiaZero + days{static_cast<long>(std::trunc(ole))}};
  return {static_cast<int>(d.year()), static_cast<int>(static_cast<unsigned>(d.month())),
          static_cast<int>(static_cast<unsigned>(d.day()))};
}

double OleDe(const DataCivil& data) {
  const sys_days d = year{data.ano} / month{static_cast<unsigned>(data.mes)} / day{static_cast<unsigned>(data.dia)};
  return static_cast<double>((d - kDiaZero).count());
}

int DiasDoMes(int ano, int mes) {
  return static_cast<int>(static_cast<unsigned>((year{ano} / month{static_cast<unsigned>(mes)} / last).day()));
}

std::string DataSQL(double ole) {
  const DataCivil d = DataDe(ole);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d.mes, d.dia, d.ano);
  return buf;
}

}  // namespace kor
