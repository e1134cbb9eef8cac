// Writes the central directory, the Zip64 end records when needed and the
// end of central directory record at the end of the archive stream.
#pragma once

#include <span>
#include <vector>

#include "archive/common/settings.h"
#include "archive/directory/dir_manager.h"

namespace parcelon {

// What one entry's central header was written with: its fixed fields (the
// UTF-8 flag, the lengths of name, extra area and comment, and the versions
// raised to 4.5 with a Zip64 field) and whether a Zip64 field was written.
struct WrittenHeader {
  CentralDirHeader header;
  bool zip64 = false;
};

// Writes, from the end of the manager's stream on, every entry's central
// header, name, extra fields (a fresh Zip64 field where the fixed part is
// saturated, the others as kept, within the 16-bit area) and comment, then
// the Zip64 end records when the directory needs them, the end record and
// the kept archive comment. The entries are left as they are; the manager's
// end records and central directory offset become those written. Returns
// what each entry's header was written with, in directory order. A short
// write raises EPLException 46 (named by
// settings.component); other stream errors pass.
std::vector<WrittenHeader> WriteCentralDirectory(TPLDirManager& manager,
                                                 const platform::CodePages& code_pages,
                                                 const EngineSettings& settings);

// Gives the entries of `dir` the header fields they were written with, so
// that the directory in memory is the one on disk.
void AdoptWrittenHeaders(TPLDirArray& dir, std::span<const WrittenHeader> written);

}  // namespace parcelon
