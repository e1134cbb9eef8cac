// Whether the source file of a moved entry may be deleted after the commit.
#pragma once

#include "archive/directory/dir_item.h"
#include "platform/file_system.h"

namespace parcelon {

// True when the file at `item`'s source is still what the entry stored: a
// regular file of the entry's uncompressed size, with the modification time
// the entry took from it. A file that grew or changed after it was queued
// (or while it was read) is not; deleting it would lose what the archive
// does not hold.
bool MovedSourceUnchanged(platform::FileSystem& fs, const TDirItem& item);

}  // namespace parcelon
