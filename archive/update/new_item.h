// Filling a directory entry for a file about to be added from disk: its
// stored name, pending marks and the header image the commit writes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive/common/settings.h"
#include "archive/directory/dir_array.h"
#include "platform/file_system.h"
#include "platform/stream.h"

namespace parcelon {

// Where the files of one call come from; the settings do the rest.
struct NewItemOrigin {
  std::u16string working_folder;  // absolute; resolves relative paths
  // A replaced entry keeps its own version made by and external attributes
  // instead of taking the new file's (for data put back after an edit).
  bool keep_entry_attributes = false;
};

// The external attributes of a disk file: in the low byte the attribute word
// as Windows would report it: a folder (0x10) or a file (archive, 0x20),
// read-only (0x01) without the owner's write bit, hidden (0x02) when its
// name starts with a dot; in the high 16 bits its Unix st_mode (file type
// and permission bits). 0x20 alone for a file that does not exist.
uint32_t AttributesOf(const platform::FileInfo& info, std::u16string_view name);

// Fills entry `index` of `dir` for the disk file `file_name` (described by
// `info`), added from `base`: the stored name (a folder's ends in '/'),
// the modified mark, the password (shared with the settings; a non-empty
// one sets flag bit 0) and source file name, the settings' compression
// mode and method, and the header image: version (made on Unix), flags,
// the file's time (or now, for a folder or a time that cannot be read) as
// local MS-DOS time, CRC-32 0xFFFFFFFF until compressed, sizes 0, the
// attributes. A folder gets method 0, CRC-32 0 and flags 2. Keeps the
// entry's pending operation and its place in the snapshot.
void FillNewItem(TPLDirArray& dir, int32_t index, const std::u16string& file_name,
                 const std::u16string& base, const platform::FileInfo& info,
                 const EngineSettings& settings, const NewItemOrigin& origin);

// Fills entry `index` of `dir` for new data from `source`, read from its
// current position on at the commit (the entry shares the stream; it must
// stay alive and unchanged until then). The entry keeps its stored name,
// bytes included, its version made by and its external attributes; it takes
// the time now and, as FillNewItem, the settings' method, compression and
// password. Keeps the pending operation and the place in the snapshot.
void FillStreamedItem(TPLDirArray& dir, int32_t index, std::shared_ptr<platform::Stream> source,
                      const EngineSettings& settings);

}  // namespace parcelon
