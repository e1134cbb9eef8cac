// Planning the key derivation of the AES entries that come after the one
// about to be decoded, so that a worker derives their keys while it decodes
// (see AesKeyReadAhead). Their salts are read here, on the calling thread,
// which owns the archive.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "archive/common/secret_text.h"
#include "archive/crypto/aes_key_read_ahead.h"
#include "archive/directory/dir_array.h"
#include "platform/stream.h"

namespace parcelon {

// Entries looked at after the current one, planned or not.
inline constexpr int32_t kAesLookAhead = 64;

// Where the coming entries are, and what comes.
struct AesKeyPlanning {
  const TPLDirArray& dir;
  const std::vector<bool>& overlaps;  // per entry: its data overlaps (never planned)
  platform::Stream& archive;          // its position is left anywhere
  uint64_t data_limit = UINT64_MAX;   // no entry's data reaches this offset
  bool marked_only = false;           // in a run, only marked entries come
  const SharedSecret& password;       // the one in effect, tried first
};

// Plans the keys of the AES entries (files, not overlapping) that follow
// entry `index` within kAesLookAhead entries, for the password in effect,
// as far as the read ahead takes them; drops the plans of entries before
// `index`. `ahead` is started when an entry is to be planned and it is
// null (it stays null when no thread starts: keys are derived in turn).
// Nothing is planned without a password, nor after an entry that is not
// AES-encrypted (so that plain archives pay nothing). An entry whose salt
// cannot be read is passed over: its own turn meets the failure.
void PlanAesKeysAfter(int32_t index, const AesKeyPlanning& planning,
                      std::shared_ptr<AesKeyReadAhead>& ahead);

}  // namespace parcelon
