#include "archive/update/file_queue.h"

#include <utility>

#include "archive/common/entry_path.h"
#include "archive/format/overwrite_rule.h"
#include "archive/format/records.h"
#include "archive/update/disk_masks.h"
#include "archive/update/stored_name.h"

namespace parcelon {
namespace {

// The stored name FillNewItem gives; a folder's ends in '/'.
std::u16string StoredNameOf(const std::u16string& full, const platform::FileInfo& info,
                            const EngineSettings& settings, const QueueOrigin& origin) {
  std::u16string name =
      FormStoredName(full, origin.base, settings.names.store_path, origin.item.working_folder);
  if (info.is_directory && !name.empty() && !name.ends_with(u'/')) name.push_back(u'/');
  return name;
}

}  // namespace

TPLFileQueue::TPLFileQueue(TPLDirArray& dir, EngineCallbacks& events,
                           const platform::CodePages& code_pages, const EngineSettings& settings,
                           QueueOrigin origin)
    : dir_(dir),
      events_(events),
      code_pages_(code_pages),
      settings_(settings),
      origin_(std::move(origin)) {}

int32_t TPLFileQueue::QueueFile(const std::u16string& full, const platform::FileInfo& info) {
  if (!events_.ConfirmProcessFile(full, origin_.move ? poMove : poAdd)) return -1;
  const int32_t index = AddDirItem(full, info);
  if (index < 0) return -1;
  TDirItem& item = dir_.Items(index);
  if (origin_.move) item.Operation = poMove;
  if (StoredUncompressed(full, info.is_directory)) {
    item.CompressionMode = 0;
    item.Method = item.RealMethod = 0;
  }
  MarkSize(item, info);
  return index;
}

// The entry for `full`: the stored name as the store event leaves it, then
// an existing entry of that name (when it may be replaced) or a new one.
// A name that comes out empty cannot be stored and is skipped.
int32_t TPLFileQueue::AddDirItem(const std::u16string& full, const platform::FileInfo& info) {
  std::u16string name = StoredNameOf(full, info, settings_, origin_);
  if (name.empty()) return -1;
  auto attributes = static_cast<int32_t>(AttributesOf(info, full));
  std::string comment;
  events_.StoreFile(name, attributes, comment, full);
  name = paths::WithSlashes(name);
  if (name.empty()) return -1;
  int32_t index = -1;
  if (dir_.Find(name, index)) {
    if (!MayReplace(dir_.Items(index), full, name, info)) return -1;
    TDirItem& existing = dir_.Items(index);
    // An entry queued earlier in this transaction has no old version to
    // keep: it stays a new one, which the commit drops if it cannot write it.
    existing.Operation = existing.SnapshotIndex >= 0 ? poUpdate : poAdd;
  } else {
    index = AppendEntry();
  }
  FillNewItem(dir_, index, full, origin_.base, info, settings_, origin_.item);
  FinishEntry(index, std::move(name), attributes, std::move(comment));
  return index;
}

bool TPLFileQueue::MayReplace(const TDirItem& existing, const std::u16string& full,
                              std::u16string name, const platform::FileInfo& info) {
  const TPLOverwriteMode mode =
      settings_.files.overwrite_mode ? settings_.files.overwrite_mode() : omAlways;
  return MayOverwrite(mode, FileDosDateTime(info),
                      DosDateTime{existing.FileDate, existing.FileTime},
                      [&] { return events_.ConfirmOverwrite(full, name); });
}

int32_t TPLFileQueue::AppendEntry() {
  const int32_t index = dir_.Count();
  dir_.SetCount(index + 1);
  TDirItem& item = dir_.Items(index);
  item = TDirItem();
  item.Operation = poAdd;
  item.SnapshotIndex = -1;
  return index;
}

void TPLFileQueue::FinishEntry(int32_t index, std::u16string name, int32_t attributes,
                               std::string comment) {
  dir_.SetName(index, std::move(name));
  TDirItem& item = dir_.Items(index);
  item.ExternalAttributes = static_cast<uint32_t>(attributes);
  item.SetComment(std::move(comment));
  item.SetExtraFields({});
}

bool TPLFileQueue::StoredUncompressed(const std::u16string& full, bool is_folder) const {
  for (const std::u16string& mask : settings_.writing.no_compression_masks)
    if (DiskFileMatchesMask(full, mask, is_folder, origin_.item.working_folder, code_pages_))
      return true;
  return false;
}

// The size the commit counts its progress by until the entry is written.
// A folder holds nothing, whatever size the file system gives it.
void TPLFileQueue::MarkSize(TDirItem& item, const platform::FileInfo& info) const {
  const uint64_t size = info.is_directory || info.size < 0 ? 0 : static_cast<uint64_t>(info.size);
  item.IsZip64 = size >= kSaturated32 || settings_.writing.zip64_mode == zmAlways;
  item.Zip64UnpackedSize = item.IsZip64 ? size : 0;
  item.UnpackedSize = item.IsZip64 ? kSaturated32 : static_cast<uint32_t>(size);
}

}  // namespace parcelon
