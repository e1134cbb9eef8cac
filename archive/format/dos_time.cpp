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

std::time_t FromDosDateTime(DosDateTime value) {
  std::tm parts{};
  parts.tm_year = (value.date >> 9) + kFirstYear - 1900;
  parts.tm_mon = ((value.date >> 5) & 0x0F) - 1;
  parts.tm_mday = value.date & 0x1F;
  parts.tm_hour = value.time >> 11;
  parts.tm_min = (value.time >> 5) & 0x3F;
  parts.tm_sec = (value.time & 0x1F) * 2;
  parts.tm_isdst = -1;
  const std::tm wanted = parts;
  const std::time_t result = std::mktime(&parts);
  // mktime normalises impossible fields (month 13, 31 February, 25:00);
  // such words name no time at all.
  if (result == -1 || parts.tm_mon != wanted.tm_mon || parts.tm_mday != wanted.tm_mday ||
      parts.tm_hour != wanted.tm_hour || parts.tm_min != wanted.tm_min ||
      parts.tm_sec != wanted.tm_sec)
    return -1;
  return result;
}

std::string FormatDosDateTime(uint16_t date, uint16_t time) {
  char buffer[32] = {};
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", (date >> 9) + kFirstYear,
                (date >> 5) & 0x0F, date & 0x1F, time >> 11, (time >> 5) & 0x3F, (time & 0x1F) * 2);
  return buffer;
}

}  // namespace parcelon
