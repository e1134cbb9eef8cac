// Creating a new archive file so that it appears under its name only
// complete: it is written into a hidden file beside the name, synced, and
// renamed to the name without replacing anything that took the name
// meanwhile; the folder is synced after (the steps: crash_protocol.h, 3).
#include "archive/base_archiver.h"
#include "archive/errors/pl_exception.h"
#include "archive/update/crash_protocol.h"
#include "platform/unicode.h"

namespace parcelon {

// An existing file of that name is emptied in place, as it always was; a
// journal left for its old content no longer applies.
std::unique_ptr<platform::Stream> TPLArchiverState::CreateArchiveFile() {
  const std::string final_path = ArchivePath();
  if (file_system_->Stat(final_path).exists) {
    auto stream = OpenFile(file_name_, fmCreate);
    DiscardJournal(*file_system_, final_path);
    return stream;
  }
  auto stream = CreateHiddenArchive(*file_system_, final_path, unpublished_path_);
  publish_path_ = final_path;
  return stream;
}

bool TPLArchiverState::PublishNewArchive() {
  if (unpublished_path_.empty()) return true;
  if (!PublishHiddenArchive(*file_system_, *archive_stream_, unpublished_path_, publish_path_,
                            options_.FlushBuffers()))
    return false;
  unpublished_path_.clear();
  return true;
}

void TPLArchiverState::PublishOrRefuse() {
  if (!PublishNewArchive())
    throw EPLException::CreateFmtWithReason(
        errc::kNewArchiveNameTaken, {file_name_},
        u"another file took the name while the new archive was written; nothing was changed", this);
}

void TPLArchiverState::SyncNewArchiveFolder() {
  SyncPublishedFolder(*file_system_, publish_path_, options_.FlushBuffers());
}

void TPLArchiverState::DropUnpublished() noexcept {
  if (unpublished_path_.empty()) return;
  RemoveHiddenArchive(*file_system_, unpublished_path_);
  unpublished_path_.clear();
}

void TPLBaseArchiver::AbandonArchive() noexcept {
  CancelUpdate();
  if (unpublished_path_.empty()) return CloseArchive();
  is_open_ = false;
  update_depth_ = 0;
  ReleaseArchive();
}

void TPLArchiverState::CheckRegularArchive() {
  if (in_memory_) return;
  const platform::FileInfo info = ArchiveFileInfo();
  if (!info.exists || info.is_regular) return;
  throw EPLException::CreateWithReason(
      errc::kNotRegularArchive,
      u"\"" + file_name_ + u"\" is not a regular file (a folder, a FIFO or a device)", this);
}

}  // namespace parcelon
