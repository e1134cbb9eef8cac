#include "archive/update/moved_source.h"

#include "archive/format/dos_time.h"
#include "platform/unicode.h"

namespace parcelon {

bool MovedSourceUnchanged(platform::FileSystem& fs, const TDirItem& item) {
  const platform::FileInfo now = fs.Stat(platform::Utf16ToUtf8(item.SourceFileName()));
  if (!now.exists || !now.is_regular || uint64_t(now.size) != item.UnpackedSize64()) return false;
  const DosDateTime time = FileDosDateTime(now);
  return time.date == item.FileDate && time.time == item.FileTime;
}

}  // namespace parcelon
