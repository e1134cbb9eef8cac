// Entries whose data overlap another entry's, or the central directory: the
// overlapping-entries zip bomb, where many entries share one stretch of
// compressed data.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/directory/dir_array.h"

namespace parcelon {

// For each entry, whether its record (local header with the central
// header's name length, and its compressed data) overlaps another entry's
// record or reaches past `directory_start`. Costs a sort of the offsets.
std::vector<bool> FindOverlaps(const TPLDirArray& dir, uint64_t directory_start);

}  // namespace parcelon
