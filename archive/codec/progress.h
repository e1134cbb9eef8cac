// The progress of one commit, shared by the entries it writes: the bytes of
// all pending entries, those that earlier entries finished, the packed bytes
// of the unchanged entries it copies and how many of those are copied, and
// the cancel flag that every progress event of the commit shares.
#pragma once

#include <cstdint>

namespace parcelon {

struct CommitProgress {
  uint64_t total_bytes = 0;   // uncompressed bytes of all pending entries
  uint64_t done_bytes = 0;    // of those, what finished entries held
  uint64_t copy_bytes = 0;    // packed bytes of the entries copied unchanged
  uint64_t copied_bytes = 0;  // of those, what is copied
  bool reporting = false;     // fire progress events while encoding
  bool cancel = false;

  // Overall progress in percent once `current` more bytes are done, over the
  // bytes written and copied; 50 when there are none.
  double Percent(uint64_t current) const {
    const uint64_t all = total_bytes + copy_bytes;
    if (all == 0) return 50;
    return static_cast<double>(done_bytes + current + copied_bytes) / static_cast<double>(all) *
           100;
  }
};

// The progress of a run over entries (extracting, testing): how many are
// done and to do, the cancel flag that every progress event of the run
// shares, and whether the password event gave the current entry up.
struct RunProgress {
  int32_t processed = 0;   // entries finished
  int32_t total = 0;       // entries in the run
  bool reporting = false;  // fire progress events while decoding
  bool cancel = false;
  bool skip_file = false;  // cleared at the start of every entry

  // Overall progress in percent with `fraction` (0 to 1) of the current
  // entry done.
  double Percent(double fraction) const {
    if (total <= 0) return 100;
    return (fraction + processed) / total * 100;
  }
};

}  // namespace parcelon
