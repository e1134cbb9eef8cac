// What the end records of an open archive say and how its directory was
// loaded, as a copy for the front ends.
#pragma once

#include <cstdint>
#include <string>

namespace parcelon {

struct ArchiveSummary {
  int32_t entries = 0;           // loaded into the directory
  uint64_t entries_counted = 0;  // as the end records (Zip64 ones when present) count them
  std::string comment;           // the archive comment's bytes as stored
  int64_t stub_size = 0;         // bytes before the first entry
  bool zip64 = false;
  int64_t central_dir_offset = 0;
  uint64_t central_dir_size = 0;   // as the end records state it
  int64_t end_record_offset = -1;  // -1 when no end record was found
  uint32_t this_disk = 0;
  // Why the directory was rebuilt from the local headers, in a few stable
  // lower-case words; empty when the central directory was read.
  std::string rebuild_reason;
};

}  // namespace parcelon
