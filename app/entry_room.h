// Whether an archive entry may be extracted into a scratch folder: its
// declared size must fit in the free space there, so that an archive whose
// small compressed entry claims gigabytes cannot fill the disk under the
// scratch folder (shared with every other user of it).
#pragma once

#include <cstdint>
#include <string>

#include "platform/file_system.h"

namespace kmlcompat {

// Why an entry that declares `size` bytes is not extracted into `folder`:
// its working copy and the rewritten copy beside it must both fit in the
// free space of the folder's file system. Empty when they fit. A free space
// that cannot be learned refuses the entry too. Never throws.
std::string NoRoomForEntry(platform::FileSystem& fs, const std::string& folder, uint64_t size);

}  // namespace kmlcompat
