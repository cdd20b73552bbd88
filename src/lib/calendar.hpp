// Calendar arithmetic of the proleptic Gregorian calendar, free of the C
// library's time zone handling.
#pragma once

#include <cstdint>

inline bool isleapyear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Days of month m (1 to 12) in year y.
inline int daysinmonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isleapyear(y) ? 29 : kDays[m - 1];
}

// Days from 1970-01-01 to the given day.
inline std::int64_t daysfromcivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}
