// MS-DOS date and time words.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "platform/file_system.h"

namespace parcelon {

struct DosDateTime {
  uint16_t date = 0;
  uint16_t time = 0;
  // As one 32-bit value: the date word high, the time word low.
  uint32_t Packed() const { return (uint32_t{date} << 16) | time; }
};

// A local time (seconds since the epoch) as DOS words; years before 1980
// give 1980-01-01 00:00:00, after 2107 give 2107-12-31 23:59:58.
DosDateTime ToDosDateTime(std::time_t local_time);
// A disk file's modification time as DOS words.
DosDateTime FileDosDateTime(const platform::FileInfo& info);
// The DOS words as a local time; -1 for a date that does not exist
// (month 0, day 0 and the like).
std::time_t FromDosDateTime(DosDateTime value);
// "YYYY-MM-DD HH:MM:SS", straight from the bit fields (seconds are doubled),
// whatever they hold.
std::string FormatDosDateTime(uint16_t date, uint16_t time);

}  // namespace parcelon
