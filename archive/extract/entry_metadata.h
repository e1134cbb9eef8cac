// What an extracted file takes from its entry besides the data: its
// modification time and its permission bits.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>

#include "archive/directory/dir_item.h"

namespace parcelon {

// The entry's modification time in seconds since 1970 (UTC): the extended
// timestamp field's (0x5455) where the entry has one, else the MS-DOS date
// and time taken as local time; nullopt for a DOS date that does not exist.
std::optional<int64_t> ModifiedTimeOf(const TDirItem& entry);

// The permission bits an extracted file gets, from `current` (what it was
// created with): an entry made on a Unix host (host 3) with mode bits in the
// upper half of its external attributes gets those (without set-user-ID,
// set-group-ID and sticky bits); any other entry keeps `current`, less the
// write bits when its read-only attribute is set.
mode_t PermissionsOf(const TDirItem& entry, mode_t current);

}  // namespace parcelon
