// Whether an archive entry may be extracted into a scratch folder: its
// declared size must fit in the free space there, so that an archive whose
// small compressed entry claims gigabytes cannot fill the disk under the
// scratch folder (shared with every other user of it); and, for the repair,
// it must be one that can be written back as it was.
#pragma once

#include <cstdint>
#include <string>

#include "archive/entry_view.h"
#include "platform/file_system.h"

namespace kmlcompat {

// Why an entry that declares `size` bytes is not extracted into `folder`:
// its working copy and the rewritten copy beside it must both fit in the
// free space of the folder's file system. Empty when they fit. A free space
// that cannot be learned refuses the entry too. Never throws.
std::string NoRoomForEntry(platform::FileSystem& fs, const std::string& folder, uint64_t size);

// Why the KMZ repair does not take `entry` out into `folder`: it is
// encrypted (put back, it would be stored unencrypted, and no password
// typed to read an entry is ever one that entries are written with), or
// there is no room for it. Empty when it may be taken out. Never throws.
std::string EntryRefusal(platform::FileSystem& fs, const std::string& folder,
                         const parcelon::EntryView& entry);

}  // namespace kmlcompat
