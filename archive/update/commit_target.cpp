#include "archive/update/commit_target.h"

#include <utility>

#include "platform/exception.h"

namespace parcelon {

void InPlaceTarget::Prepare(int64_t cut) {
  SaveTail(cut);
  archive_.SetSize(cut);
  archive_.Seek(cut, platform::SeekOrigin::kBegin);
}

void InPlaceTarget::SaveTail(int64_t cut) {
  tail_ = SavedTail::Save(fs_, place_, archive_, cut, sync_);
  tail_path_ = tail_->Path();
  recoverable_ = tail_->Recoverable();
}

void InPlaceTarget::Commit() {
  if (sync_) archive_.Flush();
  DropTempFile();
}

void InPlaceTarget::DropTempFile() {
  tail_->Drop();
  tail_.reset();
}

void InPlaceTarget::MakeCommitDurable() {
  if (sync_ && recoverable_) fs_.SyncFolder(platform::ContainingFolder(tail_path_));
}

void InPlaceTarget::Rollback() {
  if (!tail_) return;
  RestoreTail();
  DropTempFile();
  MakeCommitDurable();
}

void InPlaceTarget::RestoreTail() {
  tail_->Restore(archive_, sync_);
}

NewFileTarget::~NewFileTarget() {
  if (file_path_.empty()) return;
  file_.reset();
  try {
    fs_.Remove(file_path_);
  } catch (...) {
    // A new file left behind holds nothing anyone needs.
  }
}

void NewFileTarget::Prepare(int64_t cut) {
  file_ = fs_.CreateUniqueStream(platform::ContainingFolder(archive_path_),
                                 NewFilePrefixFor(archive_path_), &file_path_);
  archive_.Seek(0, platform::SeekOrigin::kBegin);
  file_->CopyFrom(archive_, cut);
  old_ = std::make_unique<OldArchive>(archive_, cut);
}

// The files are swapped rather than the new one renamed over the old: a
// rename over a file makes some file systems write the new file out at once,
// which a caller that asked for no syncing did not want to wait for. The
// new file gets the archive's owner and bits through its descriptor, so a
// name swapped for a link meanwhile redirects nothing.
void NewFileTarget::Commit() {
  fs_.SetModeAndOwnerOf(*file_, fs_.StatOpen(archive_));
  if (sync_) file_->Flush();
  old_file_ = fs_.Exchange(file_path_, archive_path_) ? file_path_ : std::string();
  file_path_.clear();
}

// The old archive now lies under the new file's name: it goes (should that
// fail, the next open removes it), and the folder is synced.
void NewFileTarget::MakeCommitDurable() {
  try {
    if (!old_file_.empty()) fs_.Remove(std::exchange(old_file_, std::string()));
  } catch (const platform::IoError&) {
    // Left for the next open, which removes new files no commit holds.
  }
  if (sync_) fs_.SyncFolder(platform::ContainingFolder(archive_path_));
}

void NewFileTarget::Rollback() {
  if (file_path_.empty()) return;
  file_.reset();
  fs_.Remove(file_path_);
  file_path_.clear();
}

}  // namespace parcelon
