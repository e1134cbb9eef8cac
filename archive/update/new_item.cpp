#include "archive/update/new_item.h"

#include <sys/stat.h>

#include <ctime>

#include "archive/common/entry_path.h"
#include "archive/format/dos_time.h"
#include "archive/format/name_codec.h"
#include "archive/update/stored_name.h"

namespace parcelon {
namespace {

DosDateTime TimeOf(const platform::FileInfo& info) {
  const bool known = info.exists && !info.is_directory && info.modified > 0;
  return known ? FileDosDateTime(info) : ToDosDateTime(std::time(nullptr));
}

std::u16string StoredNameOf(const std::u16string& file_name, const std::u16string& base,
                            const platform::FileInfo& info, TPLStorePathMode store_path,
                            const std::u16string& working_folder) {
  std::u16string name = FormStoredName(file_name, base, store_path, working_folder);
  if (info.is_directory && !name.empty() && name.back() != u'/') name.push_back(u'/');
  return name;
}

// A replaced entry keeps its stored name's bytes while they read as the same
// name under the new entry's host: 8-bit bytes that are not UTF-8 read as a
// code page on other hosts but as raw bytes on Unix; such a name is stored
// afresh instead.
void KeepStoredName(const TDirItem& old, TDirItem& filled) {
  if (filled.Name != old.LoadedName()) return;
  const bool same_host = (old.VersionMadeBy >> 8) == (filled.VersionMadeBy >> 8);
  const std::string bytes = old.LoadedNameBytes();
  if (!same_host && !old.LoadedNameUtf8() && HasNonAsciiByte(bytes) && !IsValidUtf8(bytes)) return;
  filled.CopyLoadedName(old);
}

// The header image every new version of an entry starts from: version
// made on Unix, the settings' method, compression and password, the time,
// CRC-32 0xFFFFFFFF until compressed; the caller sets name and attributes.
TDirItem NewHeader(const TDirItem& item, const EngineSettings& settings, DosDateTime time) {
  TDirItem filled;
  filled.Operation = item.Operation;
  filled.SnapshotIndex = item.SnapshotIndex;
  filled.Modified = true;
  filled.SetPassword(settings.password);
  filled.CompressionMode = settings.writing.compression_mode;
  filled.Method = filled.RealMethod = settings.writing.default_method;
  filled.VersionNeeded = kVersionOem;
  filled.VersionMadeBy = kMadeOnUnix | kVersionOem;
  filled.Flags = HasSecret(settings.password) ? kFlagEncrypted : 0;
  filled.FileDate = time.date;
  filled.FileTime = time.time;
  filled.Crc32 = 0xFFFFFFFF;
  return filled;
}

}  // namespace

uint32_t AttributesOf(const platform::FileInfo& info, std::u16string_view name) {
  if (!info.exists) return faArchive;
  uint32_t attributes = info.is_directory ? faDirectory : faArchive;
  if ((info.mode & S_IWUSR) == 0) attributes |= faReadOnly;
  // A disk name, where '/' alone separates folders: a file "a\.b" is not hidden.
  if (name.size() > 1 && name.ends_with(u'/')) name.remove_suffix(1);
  if (paths::DiskFileName(name).starts_with(u'.')) attributes |= faHidden;
  const uint32_t type = info.is_directory ? S_IFDIR : S_IFREG;
  return attributes | (type | (static_cast<uint32_t>(info.mode) & 07777)) << 16;
}

void FillNewItem(TPLDirArray& dir, int32_t index, const std::u16string& file_name,
                 const std::u16string& base, const platform::FileInfo& info,
                 const EngineSettings& settings, const NewItemOrigin& origin) {
  TDirItem& item = dir.Items(index);
  TDirItem filled = NewHeader(item, settings, TimeOf(info));
  filled.SetSourceFileName(file_name);
  filled.ExternalAttributes = AttributesOf(info, file_name);
  if (origin.keep_entry_attributes) {
    filled.VersionMadeBy = item.VersionMadeBy;
    filled.ExternalAttributes = item.ExternalAttributes;
  }
  if (info.is_directory) {
    filled.CompressionMode = 0;
    filled.Method = filled.RealMethod = 0;
    filled.Crc32 = 0;
    filled.Flags = kFlagFolder;
  }
  filled.Name =
      StoredNameOf(file_name, base, info, settings.names.store_path, origin.working_folder);
  KeepStoredName(item, filled);
  dir.SetItem(index, filled);
}

void FillStreamedItem(TPLDirArray& dir, int32_t index, std::shared_ptr<platform::Stream> source,
                      const EngineSettings& settings) {
  TDirItem& item = dir.Items(index);
  TDirItem filled = NewHeader(item, settings, ToDosDateTime(std::time(nullptr)));
  filled.VersionMadeBy = item.VersionMadeBy;
  filled.ExternalAttributes = item.ExternalAttributes;
  filled.Name = item.Name.str();
  filled.CopyLoadedName(item);
  filled.SetSourceFileName(item.Name.str());
  const int64_t position = source->Position();
  filled.SetDataStream(std::move(source), position, false);
  dir.SetItem(index, filled);
}

}  // namespace parcelon
