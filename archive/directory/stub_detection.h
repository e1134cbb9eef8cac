// Finding data in front of the archive proper (a self-extracting stub or any
// prefix) and moving entry offsets that count from the archive proper.
#pragma once

#include <cstdint>

#include "archive/directory/dir_array.h"
#include "platform/stream.h"

namespace parcelon {

struct StubInfo {
  int64_t stub_size = 0;  // where the archive proper begins
  int64_t shift = 0;      // what to add to every local header offset
};

// With no entry, everything before `end_position` (the first end record) is
// prefix. Otherwise the first local header at or after entry 0's offset that
// repeats entry 0's version, method, time, date, CRC-32 and sizes (taken
// from its Zip64 field where the header's own are saturated), or any local
// header at position 0, marks the archive proper; the shift is how far
// it lies behind the offset entry 0 states. No such header: no stub. Local
// headers stand in front of the central directory, so the search ends at
// `directory_start`: a large file is not scanned past its directory.
StubInfo DetectStub(platform::Stream& stream, const TPLDirArray& dir, int64_t end_position,
                    int64_t directory_start);

// Adds `shift` to every entry's local header offset, moving it into the
// Zip64 value when the 32-bit field is saturated or the sum does not fit it.
void ShiftOffsets(TPLDirArray& dir, int64_t shift);

}  // namespace parcelon
