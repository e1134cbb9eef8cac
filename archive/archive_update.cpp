// Update transactions of the archiver: beginning, ending and cancelling
// them, the queue operations that need one, and running the commit.
#include <algorithm>
#include <ctime>
#include <memory>
#include <thread>

#include "archive/base_archiver.h"
#include "archive/errors/pl_exception.h"
#include "archive/format/dos_time.h"
#include "archive/update/commit.h"
#include "archive/update/new_item.h"
#include "platform/unicode.h"

namespace parcelon {

void TPLBaseArchiver::BeginUpdate() {
  if (spanning_mode_ != smNone && update_ended_since_open_)
    throw EPLException::Create(errc::kMultiVolumeTransactions, this);
  if (update_depth_ == 0) {
    if (!is_open_) OpenArchive();
    if (open_mode_ != fmCreate && (open_mode_ & 0x3) == fmOpenRead && !external_stream_)
      throw EPLException::Create(errc::kReadOnlyArchive, this);
    TakeSnapshot();
  }
  ++update_depth_;
}

// Clears the modified marks, numbers the entries, and copies the directory
// (sharing its records). The marks are set before the copy, and no earlier
// snapshot shares the records then, so that setting them clones nothing.
void TPLArchiverState::TakeSnapshot() {
  dir_manager_->BackupDir().Release();
  TPLDirArray& dir = dir_manager_->Dir();
  for (int32_t i = 0; i < dir.Count(); ++i) {
    dir.Items(i).Modified = false;
    dir.Items(i).SnapshotIndex = i;
  }
  dir_manager_->BackupDir().Assign(dir);
}

void TPLBaseArchiver::EndUpdate() {
  if (update_depth_ <= 0) return;
  if (update_depth_ >= 2) {
    --update_depth_;
    return;
  }
  update_ended_since_open_ = true;
  CommitUpdates();
}

void TPLBaseArchiver::CancelUpdate() {
  if (update_depth_ <= 0) return;
  update_depth_ = 0;
  overlaps_.clear();
  if (dir_manager_) dir_manager_->RestoreSnapshot();
}

// Past the commit point the new archive is the archive, whatever fails
// afterwards (the folder sync, a handler of the end event): the guard
// adopts it on every way out.
void TPLBaseArchiver::CommitUpdates() {
  if (update_depth_ <= 0) return;
  update_depth_ = 0;
  overlaps_.clear();
  const EngineSettings settings = SettingsNow();
  TPLCommit commit(*dir_manager_, CommitRequestNow(settings));
  const CommitGuard adopt([this, &commit]() noexcept {
    last_commit_recoverable_ = commit.Recoverable();
    if (commit.PastCommitPoint()) AdoptNewArchive(commit);
  });
  try {
    commit.Run();
  } catch (const ERollbackFailed&) {
    is_open_ = false;
    ReleaseArchive();
    throw;
  }
}

void TPLBaseArchiver::AdoptNewArchive(TPLCommit& commit) noexcept {
  overlaps_.clear();
  if (dir_manager_) AdoptReplacement(commit.TakeReplacement());
}

// A commit that wrote the archive into a new file hands over its stream,
// which now names the archive (and holds its lock).
void TPLArchiverState::AdoptReplacement(std::unique_ptr<platform::Stream> stream) noexcept {
  if (!stream) return;
  own_stream_ = std::move(stream);
  archive_stream_ = own_stream_.get();
  dir_manager_->SetStream(*archive_stream_);
}

std::string TPLArchiverState::ArchivePath() {
  return file_system_->ResolveLinks(platform::Utf16ToUtf8(file_name_));
}

CommitRequest TPLBaseArchiver::CommitRequestNow(const EngineSettings& settings) {
  const bool on_disk = !in_memory_ && !external_stream_;
  const EntryWriteContext entries{.archive = *archive_stream_,
                                  .fs = *file_system_,
                                  .code_pages = *code_pages_,
                                  .events = events_,
                                  .settings = settings};
  SavedTail::Place place = TailPlaceNow();
  std::string replace_path;
  if (on_disk && unpublished_path_.empty()) {
    replace_path = ArchivePath();
    place.journal_path = JournalPathFor(replace_path);
    const platform::FileInfo info = file_system_->Stat(replace_path);
    if (!info.is_regular || info.links != 1) replace_path.clear();
  }
  CommitRequest request{.entries = entries,
                        .tail_place = place,
                        .replace_path = replace_path,
                        .publish = nullptr,
                        .after_publish = nullptr};
  if (!unpublished_path_.empty()) {  // nobody sees it before it is complete: no journal
    request.publish = [this] { PublishOrRefuse(); };
    request.after_publish = [this] { SyncNewArchiveFolder(); };
  }
  return request;
}

int TPLArchiverState::ThreadsNow() const {
  constexpr int kMostThreads = 64;
  if (threads_ > 0) return std::min(threads_, kMostThreads);
  if (cores_ == 0) cores_ = std::max(std::thread::hardware_concurrency(), 1u);
  return static_cast<int>(std::min<unsigned>(cores_, kMostThreads));
}

SavedTail::Place TPLBaseArchiver::TailPlaceNow() {
  SavedTail::Place place;
  place.scratch_folder = platform::Utf16ToUtf8(temp_dir_);
  place.in_memory = in_memory_;
  place.allow_unprotected = allow_unprotected_;
  place.on_unprotected = [this] {
    if (OnUnprotectedUpdate) OnUnprotectedUpdate(*this);
  };
  place.component = this;
  return place;
}

void TPLBaseArchiver::RemoveItem(int32_t index) {
  if (!InUpdate()) throw EPLException::Create(errc::kRemoveOutsideUpdate, this);
  if (index < 0 || index >= dir_manager_->Dir().Count())
    throw EPLException::Create(errc::kRemoveOutOfBounds, this);
  dir_manager_->Dir().Delete(index);
}

namespace {

// The directory in which entry `index` may be given new data: error 25
// outside a transaction, 24 for an index outside the directory.
TPLDirArray& DirToMark(const TPLBaseArchiver& archiver, TPLDirArray& dir, int32_t index) {
  if (!archiver.InUpdate()) throw EPLException::Create(errc::kMarkOutsideUpdate, &archiver);
  if (index < 0 || index >= dir.Count())
    throw EPLException::Create(errc::kMarkOutOfBounds, &archiver);
  return dir;
}

}  // namespace

void TPLBaseArchiver::MarkItemForUpdate(int32_t index, const std::u16string& file_name,
                                        bool keep_entry_attributes) {
  TPLDirArray& dir = DirToMark(*this, dir_manager_->Dir(), index);
  const platform::FileInfo info = file_system_->Stat(platform::Utf16ToUtf8(file_name));
  const NewItemOrigin origin{.working_folder = WorkingFolderNow(),
                             .keep_entry_attributes = keep_entry_attributes};
  FillNewItem(dir, index, file_name, base_dir_, info, SettingsNow(), origin);
  dir.Items(index).Operation = poUpdate;
}

void TPLBaseArchiver::MarkItemForUpdate(int32_t index, platform::Stream& source) {
  TPLDirArray& dir = DirToMark(*this, dir_manager_->Dir(), index);
  FillStreamedItem(dir, index, std::shared_ptr<platform::Stream>(&source, [](platform::Stream*) {}),
                   SettingsNow());
  dir.Items(index).Operation = poUpdate;
}

std::u16string TPLArchiverState::WorkingFolderNow() {
  return working_folder_.empty() ? platform::Utf8ToUtf16(file_system_->CurrentFolder())
                                 : working_folder_;
}

void TPLBaseArchiver::AddStream(const std::u16string& stored_name, platform::Stream& source) {
  CheckOpen();
  if (InUpdate()) return QueueStream(stored_name, source);
  BeginUpdate();
  try {
    QueueStream(stored_name, source);
    EndUpdate();
  } catch (...) {
    CancelUpdate();
    throw;
  }
}

// Appends or replaces the entry, its data to come from `source`.
void TPLBaseArchiver::QueueStream(const std::u16string& stored_name, platform::Stream& source) {
  TPLDirArray& dir = dir_manager_->Dir();
  int32_t index = -1;
  const bool replace = dir.Find(stored_name, index);
  if (!replace) {
    index = dir.Count();
    dir.SetCount(index + 1);
  }
  TDirItem item;
  item.SnapshotIndex = replace ? dir.Items(index).SnapshotIndex : -1;
  item.Operation = replace ? poUpdate : poAdd;
  item.Modified = true;
  item.SetPassword(password_);
  item.Flags = HasSecret(password_) ? kFlagEncrypted : 0;
  item.Method = item.RealMethod = new_entry_method_ == 8 ? 8 : 0;
  item.CompressionMode = item.RealMethod == 8 ? compression_mode_ : 0;
  const DosDateTime now = ToDosDateTime(std::time(nullptr));
  item.FileDate = now.date;
  item.FileTime = now.time;
  item.ExternalAttributes = faArchive;  // no file, so no Unix mode to give
  item.VersionMadeBy = kMadeOnUnix | kVersionOem;
  item.Name = stored_name;
  item.SetSourceFileName(stored_name);
  item.SetDataStream(std::shared_ptr<platform::Stream>(&source, [](platform::Stream*) {}),
                     source.Position(), false);
  dir.SetItem(index, item);
}

}  // namespace parcelon
