#include "archive/extract/entry_metadata.h"

#include "archive/format/byte_io.h"
#include "archive/format/dos_time.h"

namespace parcelon {
namespace {

constexpr uint16_t kExtendedTimestampId = 0x5455;
constexpr uint16_t kUnixHost = 3;
constexpr uint32_t kModeMask = 0777;
constexpr uint32_t kFileTypeMask = 0170000;
constexpr uint32_t kLinkType = 0120000;

std::optional<int64_t> ExtendedTimestamp(const TDirItem& entry) {
  for (const ExtraField& field : entry.ExtraFields()) {
    if (field.HeaderID != kExtendedTimestampId || field.Data.size() < 5) continue;
    if ((field.Data[0] & 1) == 0) continue;  // no modification time in it
    return static_cast<int64_t>(static_cast<int32_t>(LoadU32(field.Data, 1)));
  }
  return std::nullopt;
}

}  // namespace

std::optional<int64_t> ModifiedTimeOf(const TDirItem& entry) {
  if (const auto stamp = ExtendedTimestamp(entry)) return stamp;
  const std::time_t local = FromDosDateTime({entry.FileDate, entry.FileTime});
  if (local == -1) return std::nullopt;
  return static_cast<int64_t>(local);
}

mode_t PermissionsOf(const TDirItem& entry, mode_t current) {
  const uint32_t unix_mode = entry.ExternalAttributes >> 16;
  // A link's own mode is 0777 and says nothing of its target: the plain file
  // that stands for it keeps the mode of a new file.
  const bool link = (unix_mode & kFileTypeMask) == kLinkType;
  if ((entry.VersionMadeBy >> 8) == kUnixHost && (unix_mode & kModeMask) != 0 && !link)
    return static_cast<mode_t>(unix_mode & kModeMask);
  if ((entry.ExternalAttributes & faReadOnly) != 0) return current & ~mode_t{0222};
  return current;
}

}  // namespace parcelon
