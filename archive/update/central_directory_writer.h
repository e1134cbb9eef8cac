// Writes the central directory, the Zip64 end records when needed and the
// end of central directory record at the end of the archive stream.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "archive/common/settings.h"
#include "archive/directory/dir_manager.h"

namespace parcelon {

// What one entry's central header was written with where it may differ
// from the entry: the versions (raised to 4.5 with a Zip64 field), the
// flags (the UTF-8 bit), the lengths of name, extra area and comment, and
// whether a Zip64 field was written. Every other field is the entry's own.
// 14 bytes, as the commit keeps one per entry until the directory is out.
struct WrittenHeader {
  uint16_t version_made_by = 0;
  uint16_t version_needed = 0;
  uint16_t flags = 0;
  uint16_t name_length = 0;
  uint16_t extra_length = 0;
  uint16_t comment_length = 0;
  bool zip64 = false;

  // Puts these fields into `header`.
  void ApplyTo(CentralDirHeader& header) const;
};

// A new local header offset given aside for each entry, by directory
// position; this value (or a position beyond the list) means the entry keeps
// the offset it holds.
inline constexpr uint64_t kKeptOffset = UINT64_MAX;

// Writes, from the end of the manager's stream on, every entry's central
// header (with its new offset where `new_offsets` gives one, in a Zip64
// field when it is 4 GiB or more), name, extra fields (a fresh Zip64 field where the fixed part is
// saturated, the others as kept, within the 16-bit area) and comment, then
// the Zip64 end records when the directory needs them, the end record and
// the kept archive comment. The entries are left as they are; the manager's
// end records and central directory offset become those written. Returns
// what each entry's header was written with, in directory order. A short
// write raises EPLException 46 (named by
// settings.component); other stream errors pass.
std::vector<WrittenHeader> WriteCentralDirectory(TPLDirManager& manager,
                                                 const platform::CodePages& code_pages,
                                                 const EngineSettings& settings,
                                                 std::span<const uint64_t> new_offsets = {});

// Gives the entries of `dir` the new offsets and the header fields they
// were written with, so that the directory in memory is the one on disk.
// Writes every record: when `dir` shares its records with another array
// (Assign), the chunks are cloned, which may throw std::bad_alloc.
void AdoptWrittenHeaders(TPLDirArray& dir, std::span<const WrittenHeader> written,
                         std::span<const uint64_t> new_offsets = {});

}  // namespace parcelon
