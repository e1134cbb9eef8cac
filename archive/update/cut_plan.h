// Where a commit cuts the archive, and from which entry on it rewrites it.
#pragma once

#include <cstdint>

#include "archive/directory/dir_array.h"
#include "platform/stream.h"

namespace parcelon {

struct CutPlan {
  int32_t first = 0;  // the first entry the commit writes or copies again
  int64_t cut = 0;    // where the archive is cut
};

// Plans the cut for a commit whose first change is at `first_change`, over
// the directory as it was (`snapshot`), whose entries end where the old
// central directory starts (`entries_end`) and, with no entry, at
// `stub_size`. The cut is the lowest local header offset among the
// snapshot's entries from the first rewritten one on (or `entries_end` when
// there is none), and no entry left in place may reach behind it: when an
// entry before the first change does (entries out of directory order,
// overlapping entries), every entry is rewritten. Reads the local headers of
// entries near the cut; stream errors pass.
CutPlan PlanCut(const TPLDirArray& snapshot, int32_t first_change, int64_t entries_end,
                int64_t stub_size, platform::Stream& archive);

}  // namespace parcelon
