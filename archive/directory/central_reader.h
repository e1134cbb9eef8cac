// Turning central directory headers (and the local headers of a rebuild)
// into directory entries: the header image, the decoded name, the extra
// fields the engine interprets, and the comment.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "archive/directory/dir_array.h"
#include "platform/code_pages.h"
#include "platform/stream.h"

namespace parcelon {

// What an entry's header stores after its fixed fields.
struct StoredTexts {
  std::string_view name;
  std::string_view comment;
  std::span<const uint8_t> extra;
};

// The name of an entry whose header stored `stored`. The extra fields are
// interpreted: a
// Zip64 field fills the 64-bit values of the saturated fixed fields and marks
// the entry as Zip64; an AES field (7 data bytes, version needed below 0x4114)
// sets the encryption and the real method. The name is the one the last valid
// Unicode name field (0x554E) carries, else the one of the first Unicode path
// field (0x7075) whose CRC-32 matches `stored`, else `stored` decoded by flag
// bit 11 and `oem_file_names`. Keeps the texts, the flag and the name on
// `item` as the ones it was read with, in `arena` when given (the name
// returned is then a view of it, valid while the arena is), else in the
// entry's side record (the name returned is then a copy).
TEntryName DecodeEntryName(TDirItem& item, const StoredTexts& stored, bool oem_file_names,
                           const platform::CodePages& code_pages, TPLTextArena* arena);

// Fills the empty `dir` from the central directory of `size` bytes at
// `start` in `stream` (the caller has checked that the stream holds them):
// the `claimed` headers, then every further header that starts with the
// central header signature and lies inside the area (writers that keep the
// count modulo 65,536 leave them beyond the count). The area is read twice
// through a window of 1 MiB, as far as the headers reach: once to count the
// headers and check that they fit, and only then to fill the entries. Throws EPLFormatDamage when
// one of the `claimed` headers does not start with the central header signature, when a header,
// name, extra area or comment runs past the area, or when `claimed` headers cannot fit it. The
// stream's own errors pass as they are (a stream that gives fewer bytes than it holds among them).
void ReadCentralHeaders(platform::Stream& stream, int64_t start, uint64_t size, uint64_t claimed,
                        bool oem_file_names, const platform::CodePages& code_pages,
                        TPLDirArray& dir);

}  // namespace parcelon
