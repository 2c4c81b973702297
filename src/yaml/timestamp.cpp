#include <cstdio>
#include <cstdlib>

#include "yaml/node_data.h"

namespace zarn::yaml {
namespace {

bool leap(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && leap(year) ? 29 : kDays[month - 1];
}

// Days since 0001-01-01 in the proleptic Gregorian calendar (Python's ordinal - 1).
std::int64_t day_number(int year, int month, int day) {
  const std::int64_t y = year - 1;
  std::int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += days_in_month(year, m);
  return days + day - 1;
}

}  // namespace

std::string Timestamp::iso_text() const {
  char buffer[64];
  int length = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
  std::string text(buffer, static_cast<std::size_t>(length));
  if (!has_time) return text;
  length = std::snprintf(buffer, sizeof buffer, " %02d:%02d:%02d", hour, minute, second);
  text.append(buffer, static_cast<std::size_t>(length));
  if (microsecond != 0) {
    length = std::snprintf(buffer, sizeof buffer, ".%06d", microsecond);
    text.append(buffer, static_cast<std::size_t>(length));
  }
  if (utc_offset_minutes) {
    const int offset = *utc_offset_minutes;
    length = std::snprintf(buffer, sizeof buffer, "%c%02d:%02d", offset < 0 ? '-' : '+',
                           std::abs(offset) / 60, std::abs(offset) % 60);
    text.append(buffer, static_cast<std::size_t>(length));
  }
  return text;
}

namespace detail {

bool timestamp_valid(const Timestamp& t) {
  if (t.year < 1 || t.year > 9999 || t.month < 1 || t.month > 12) return false;
  if (t.day < 1 || t.day > days_in_month(t.year, t.month)) return false;
  if (!t.has_time) return true;
  if (t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59) return false;
  if (t.second < 0 || t.second > 59 || t.microsecond < 0 || t.microsecond > 999999) return false;
  return !t.utc_offset_minutes || std::abs(*t.utc_offset_minutes) < 24 * 60;
}

std::int64_t timestamp_instant(const Timestamp& t) {
  std::int64_t minutes = day_number(t.year, t.month, t.day) * 1440;
  if (t.has_time) {
    minutes += t.hour * 60 + t.minute - t.utc_offset_minutes.value_or(0);
  }
  return (minutes * 60 + (t.has_time ? t.second : 0)) * 1000000 + (t.has_time ? t.microsecond : 0);
}

}  // namespace detail
}  // namespace zarn::yaml
