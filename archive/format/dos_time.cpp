#include "archive/format/dos_time.h"

#include <cstdio>

namespace parcelon {
namespace {

constexpr int kFirstYear = 1980;
constexpr int kLastYear = 2107;

DosDateTime Pack(int year, int month, int day, int hour, int minute, int second) {
  DosDateTime out;
  out.date = static_cast<uint16_t>(((year - kFirstYear) << 9) | (month << 5) | day);
  out.time = static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
  return out;
}

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 1 && IsLeapYear(year) ? 29 : kDays[month];
}

// Whether the fields (month 0-11) name a real calendar date and clock time.
bool Exists(const std::tm& parts) {
  if (parts.tm_mon < 0 || parts.tm_mon > 11 || parts.tm_mday < 1) return false;
  if (parts.tm_mday > DaysInMonth(parts.tm_year + 1900, parts.tm_mon)) return false;
  return parts.tm_hour < 24 && parts.tm_min < 60 && parts.tm_sec < 60;
}

}  // namespace

DosDateTime ToDosDateTime(std::time_t local_time) {
  std::tm parts{};
  if (!localtime_r(&local_time, &parts)) return Pack(kFirstYear, 1, 1, 0, 0, 0);
  const int year = parts.tm_year + 1900;
  if (year < kFirstYear) return Pack(kFirstYear, 1, 1, 0, 0, 0);
  if (year > kLastYear) return Pack(kLastYear, 12, 31, 23, 59, 58);
  // A leap second (tm_sec 60) has no DOS form: keep it within the minute.
  const int second = parts.tm_sec > 59 ? 59 : parts.tm_sec;
  return Pack(year, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, second);
}

DosDateTime FileDosDateTime(const platform::FileInfo& info) {
  return ToDosDateTime(static_cast<std::time_t>(info.modified));
}

std::time_t FromDosDateTime(DosDateTime value) {
  std::tm parts{};
  parts.tm_year = (value.date >> 9) + kFirstYear - 1900;
  parts.tm_mon = ((value.date >> 5) & 0x0F) - 1;
  parts.tm_mday = value.date & 0x1F;
  parts.tm_hour = value.time >> 11;
  parts.tm_min = (value.time >> 5) & 0x3F;
  parts.tm_sec = (value.time & 0x1F) * 2;
  parts.tm_isdst = -1;
  if (!Exists(parts)) return -1;
  // A time skipped by a change to summer time is moved forward by mktime.
  return std::mktime(&parts);
}

std::string FormatDosDateTime(uint16_t date, uint16_t time) {
  char buffer[32] = {};
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", (date >> 9) + kFirstYear,
                (date >> 5) & 0x0F, date & 0x1F, time >> 11, (time >> 5) & 0x3F, (time & 0x1F) * 2);
  return buffer;
}

}  // namespace parcelon
