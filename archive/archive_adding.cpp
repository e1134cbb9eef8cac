// Adding files from disk: the transaction around the disk scan, the engine
// lock and the working folder it runs with.
#include <mutex>
#include <utility>

#include "archive/base_archiver.h"
#include "archive/engine_lock.h"
#include "archive/update/disk_scan.h"
#include "archive/update/stored_name.h"
#include "platform/unicode.h"

namespace parcelon {
namespace {

TPLStringList ListOf(const std::u16string& mask) {
  return mask.empty() ? TPLStringList() : TPLStringList{mask};
}

// Sets a folder for as long as it lives and puts the old one back.
class FolderChange {
 public:
  FolderChange(std::u16string& folder, std::u16string value)
      : folder_(folder), previous_(std::exchange(folder, std::move(value))) {}
  ~FolderChange() { folder_ = std::move(previous_); }
  FolderChange(const FolderChange&) = delete;
  FolderChange& operator=(const FolderChange&) = delete;

 private:
  std::u16string& folder_;
  std::u16string previous_;
};

}  // namespace

void TPLBaseArchiver::MoveFiles(const std::u16string& file_mask, int32_t search_attr,
                                const std::u16string& exclusion_mask) {
  AddInTransaction({file_mask}, search_attr, true, ListOf(exclusion_mask));
}

void TPLBaseArchiver::MoveFiles(const TPLStringList& file_masks, int32_t search_attr,
                                const TPLStringList& exclusion_masks) {
  AddInTransaction(file_masks, search_attr, true, exclusion_masks);
}

void TPLBaseArchiver::AddFiles(const std::u16string& file_mask, int32_t search_attr,
                               const std::u16string& exclusion_mask) {
  AddInTransaction({file_mask}, search_attr, false, ListOf(exclusion_mask));
}

void TPLBaseArchiver::AddFiles(const TPLStringList& file_masks, int32_t search_attr,
                               const TPLStringList& exclusion_masks) {
  AddInTransaction(file_masks, search_attr, false, exclusion_masks);
}

void TPLBaseArchiver::AddInTransaction(const TPLStringList& masks, int32_t search_attr,
                                       bool move_flag, const TPLStringList& exclusion_masks) {
  CheckOpen();
  BeginUpdate();
  try {
    AddFilesInternal(masks, search_attr, options_.Recurse(), move_flag, exclusion_masks);
    EndUpdate();
  } catch (...) {
    CancelUpdate();
    throw;
  }
}

void TPLBaseArchiver::AddFilesInternal(const TPLStringList& masks, int32_t search_attr,
                                       bool recurse, bool move_flag,
                                       const TPLStringList& exclusion_masks) {
  const std::lock_guard<std::recursive_mutex> lock(EngineLock());
  const FolderChange change(working_folder_, ResolvedBaseDir());
  const std::u16string base = working_folder_;
  const EngineSettings settings = SettingsNow();
  TPLDiskScan scan(dir_manager_->Dir(), *file_system_, *code_pages_, events_, settings,
                   DiskScanTaskNow(search_attr, move_flag, exclusion_masks));
  for (const std::u16string& mask : masks) scan.ScanDiskFolder(base, mask, recurse);
}

// BaseDir made absolute against the working folder (or the process's
// current folder); an empty BaseDir is that folder itself.
std::u16string TPLArchiverState::ResolvedBaseDir() {
  const std::u16string previous = working_folder_.empty()
                                      ? platform::Utf8ToUtf16(file_system_->CurrentFolder())
                                      : working_folder_;
  return base_dir_.empty() ? AbsolutePath(previous, u"/") : AbsolutePath(base_dir_, previous);
}

DiskScanTask TPLBaseArchiver::DiskScanTaskNow(int32_t search_attr, bool move_flag,
                                              const TPLStringList& exclusion_masks) {
  DiskScanTask task;
  task.queue.item.working_folder = WorkingFolderNow();
  task.queue.base = working_folder_;
  task.queue.move = move_flag;
  task.search_attr = search_attr;
  task.exclusion_masks = exclusion_masks;
  if (!in_memory_ && !external_stream_ && !file_name_.empty()) {
    // The archive file is opened by its name as given, relative to the
    // process's current folder.
    const std::u16string current = platform::Utf8ToUtf16(file_system_->CurrentFolder());
    task.archive_paths = {AbsolutePath(file_name_, current),
                          AbsolutePath(platform::Utf8ToUtf16(ArchivePath()), current)};
    if (!unpublished_path_.empty())  // a new archive is written under a hidden name first
      task.archive_paths.push_back(AbsolutePath(platform::Utf8ToUtf16(unpublished_path_), current));
    task.archive_identity = file_system_->IdentityOf(ArchivePath());
    task.archive_size = file_system_->Stat(ArchivePath()).size;
  }
  return task;
}

}  // namespace parcelon
