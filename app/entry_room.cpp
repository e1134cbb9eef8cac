#include "app/entry_room.h"

#include "platform/exception.h"

namespace kmlcompat {

std::string NoRoomForEntry(platform::FileSystem& fs, const std::string& folder, uint64_t size) {
  uint64_t free = 0;
  try {
    free = fs.FreeSpace(folder);
  } catch (const platform::IoError& e) {
    return std::string("it is not extracted: ") + e.what();
  }
  // The extracted copy and its rewritten copy lie side by side for a while.
  if (size <= free / 2) return {};
  return "it declares " + std::to_string(size) + " bytes, more than the " + std::to_string(free) +
         " bytes free in the scratch folder can hold twice; it is not " +
         "extracted and the entry is left as it was";
}

std::string EntryRefusal(platform::FileSystem& fs, const std::string& folder,
                         const parcelon::EntryView& entry) {
  if (entry.IsEncrypted())
    return "it is encrypted and would be stored back unencrypted; the entry is left as it was";
  return NoRoomForEntry(fs, folder, entry.Size());
}

}  // namespace kmlcompat
