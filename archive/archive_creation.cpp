// Creating a new archive file so that it appears under its name only
// complete: it is written into a hidden file beside the name, synced, and
// renamed to the name without replacing anything that took the name
// meanwhile; the folder is synced after. A crash before that leaves only the
// hidden file, which the next open or creation of the archive removes.
#include <random>

#include "archive/base_archiver.h"
#include "archive/errors/pl_exception.h"
#include "archive/update/rollback_journal.h"
#include "platform/exception.h"
#include "platform/unicode.h"

namespace parcelon {
namespace {

// Six characters that make a hidden file's name unique.
std::string UniqueSuffix() {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device random;
  std::string suffix(6, 'x');
  for (char& c : suffix) c = kLetters[random() % (sizeof(kLetters) - 1)];
  return suffix;
}

// Creates the hidden file for a new archive at `final_path`; stores its path.
std::unique_ptr<platform::Stream> CreateHiddenFile(platform::FileSystem& fs,
                                                   const std::string& final_path,
                                                   std::string& path) {
  const std::string stem = platform::FolderOf(final_path) + NewFilePrefixFor(final_path) + ".";
  for (int attempt = 0;; ++attempt) {
    path = stem + UniqueSuffix();
    try {
      return fs.CreateExclusiveStream(path, platform::FileInfo());
    } catch (const platform::EStreamError& failure) {
      if (failure.Errno() != EEXIST || attempt == 99) throw;
    }
  }
}

}  // namespace

// An existing file of that name is emptied in place, as it always was; a
// journal left for its old content no longer applies.
std::unique_ptr<platform::Stream> TPLArchiverState::CreateArchiveFile() {
  const std::string final_path = ArchivePath();
  if (file_system_->Stat(final_path).exists) {
    auto stream = OpenFile(file_name_, fmCreate);
    DiscardJournal();
    return stream;
  }
  RemoveUnfinishedNewFiles(*file_system_, final_path);
  auto stream = CreateHiddenFile(*file_system_, final_path, unpublished_path_);
  publish_path_ = final_path;
  return stream;
}

bool TPLArchiverState::PublishNewArchive() {
  if (unpublished_path_.empty()) return true;
  if (options_.FlushBuffers()) archive_stream_->Flush();
  if (!file_system_->RenameNoReplace(unpublished_path_, publish_path_)) return false;
  unpublished_path_.clear();
  return true;
}

void TPLArchiverState::PublishOrRefuse() {
  if (!PublishNewArchive())
    throw EPLException::CreateFmtWithReason(
        errc::kNewArchiveNameTaken, {file_name_},
        u"another file took the name while the new archive was written; nothing was changed", this);
}

void TPLArchiverState::SettleNewArchive() {
  if (options_.FlushBuffers()) file_system_->SyncFolder(platform::ContainingFolder(publish_path_));
}

void TPLArchiverState::DropUnpublished() noexcept {
  if (unpublished_path_.empty()) return;
  try {
    file_system_->Remove(unpublished_path_);
  } catch (...) {
    // Left for the next open or creation, which removes it.
  }
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
