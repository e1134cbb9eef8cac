// Opening, creating and closing the archive, and moving it between memory
// and its file.
#include <sys/stat.h>

#include "archive/base_archiver.h"
#include "archive/common/entry_path.h"
#include "archive/errors/pl_exception.h"
#include "archive/update/central_directory_writer.h"
#include "archive/update/crash_protocol.h"
#include "platform/memory_stream.h"
#include "platform/unicode.h"

namespace parcelon {
platform::FileInfo TPLArchiverState::ArchiveFileInfo() const {
  return file_system_->Stat(platform::Utf16ToUtf8(file_name_));
}

bool TPLArchiverState::ArchiveFileExists() const {
  const platform::FileInfo info = ArchiveFileInfo();
  return info.exists && !info.is_directory;
}

std::unique_ptr<platform::Stream> TPLArchiverState::OpenFile(const std::u16string& name,
                                                             uint16_t mode) {
  return file_system_->OpenStream(platform::Utf16ToUtf8(name), mode);
}

uint16_t TPLArchiverState::ChooseOpenMode() {
  const platform::FileInfo info = ArchiveFileInfo();
  if (in_memory_ || !info.exists || info.is_directory) return fmCreate;
  // Read-only is the owner's missing write bit.
  if ((info.mode & S_IWUSR) == 0) return fmOpenRead | fmShareDenyNone;
  try {
    OpenFile(file_name_, fmOpenReadWrite | fmShareDenyWrite);
  } catch (const platform::EStreamError&) {
    return fmOpenRead | fmShareDenyNone;
  }
  return fmOpenReadWrite | fmShareDenyWrite;
}

void TPLBaseArchiver::OpenArchive() {
  update_ended_since_open_ = false;
  if (!in_memory_ && paths::DiskFileName(file_name_).empty())
    throw EPLException::Create(errc::kBlankNameOpen, this);
  CheckRegularArchive();
  OpenArchive(ChooseOpenMode());
}

void TPLBaseArchiver::OpenArchive(uint16_t mode) {
  update_ended_since_open_ = false;
  if (!in_memory_ && paths::DiskFileName(file_name_).empty())
    throw EPLException::Create(errc::kBlankNameOpenMode, this);
  CheckRegularArchive();
  if (mode != fmCreate && !ArchiveFileExists() && spanning_mode_ != smSpanning)
    throw EPLException::CreateFmt(errc::kArchiveNotFound, {file_name_}, this);
  if (mode != fmCreate && in_memory_) throw EPLException::Create(errc::kInMemoryCreateOnly, this);
  OpenWith(mode, [this] { InternalOpen(); });
}

void TPLBaseArchiver::OpenArchive(platform::Stream& stream, uint16_t mode) {
  update_ended_since_open_ = false;
  OpenWith(mode, [this, &stream] {
    external_stream_ = true;
    archive_stream_ = &stream;
    current_volume_name_.clear();
    if (open_mode_ == fmCreate) {
      stream.SetSize(0);
      StartDirectory(true);
      return;
    }
    volume_info_.Reset();
    LoadDirectory();
  });
}

// Closes what was open, then opens with `mode` through `internal_open`; on
// failure the archiver is left closed.
void TPLBaseArchiver::OpenWith(uint16_t mode, const std::function<void()>& internal_open) {
  CloseArchive();
  external_stream_ = false;
  open_mode_ = mode;
  try {
    internal_open();
  } catch (...) {
    ReleaseArchive();
    throw;
  }
  is_open_ = true;
  DoAfterOpen();
}

void TPLArchiverState::InternalOpen() {
  if (open_mode_ == fmCreate || in_memory_) {
    CreateNewArchive();
  } else {
    OpenExistingArchive();
  }
}

void TPLArchiverState::StartDirectory(bool creating) {
  dir_manager_ = std::make_unique<TPLDirManager>(*archive_stream_, *code_pages_, creating);
  if (creating) volume_info_.SetFirst();
}

void TPLArchiverState::CreateNewArchive() {
  if (in_memory_) {
    own_stream_ = std::make_unique<platform::MemoryStream>();
  } else {
    own_stream_ = CreateArchiveFile();
  }
  archive_stream_ = own_stream_.get();
  current_volume_name_ = file_name_;
  StartDirectory(true);
  if (in_memory_ || sfx_stub_.empty()) return;
  const auto stub = OpenFile(sfx_stub_, fmOpenRead | fmShareDenyWrite);
  const int64_t size = stub->Size();
  archive_stream_->CopyFrom(*stub, size);
  dir_manager_->SetStubSize(size);
}

void TPLArchiverState::OpenExistingArchive() {
  spanning_mode_ = smNone;
  volume_info_.Reset();
  RecoverJournal(*file_system_, ArchivePath());
  own_stream_ = OpenFile(file_name_, open_mode_);
  if (!file_system_->StatOpen(*own_stream_).is_regular)  // swapped since it was checked
    throw EPLException::CreateWithReason(errc::kNotRegularArchive,
                                         u"\"" + file_name_ + u"\" is not a regular file", this);
  archive_stream_ = own_stream_.get();
  current_volume_name_ = file_name_;
  LoadDirectory();
}

void TPLArchiverState::LoadDirectory() {
  StartDirectory(false);
  // A record on another disk than 0 belongs to a multi-volume set; its
  // directory is still read as that of a single file.
  if (!dir_manager_->LocateEnd(repair_directory_))
    throw EPLException::Create(errc::kNoEndRecord, this);
  dir_manager_->LoadDirectory(SettingsNow());
  volume_info_.SetLastVolumeNumber(dir_manager_->ThisDisk());
  volume_info_.SetNumber(dir_manager_->DirectoryDisk());
}

// Finishes the archive: pending changes are committed (update transactions
// set the depth back to 0), and an archive that holds nothing but its
// optional stub gets its central directory, which makes a new archive a
// valid empty one.
void TPLBaseArchiver::FinishArchive() {
  CommitUpdates();
  if (archive_stream_ == nullptr) return;
  if (archive_stream_->Size() == dir_manager_->StubSize()) {
    AdoptWrittenHeaders(dir_manager_->Dir(),
                        WriteCentralDirectory(*dir_manager_, *code_pages_, SettingsNow()));
    if (options_.FlushBuffers() && unpublished_path_.empty()) archive_stream_->Flush();
  }
  if (unpublished_path_.empty()) return;
  PublishOrRefuse();  // syncs the file first
  SyncNewArchiveFolder();
}

void TPLBaseArchiver::CloseArchive() noexcept {
  if (is_open_) {
    try {
      CommitUpdates();
    } catch (...) {
      // Closing never fails: a failed commit has restored the archive.
    }
    try {
      FinishArchive();
    } catch (...) {
      // Closing never fails: the archive is closed whatever happened.
    }
    is_open_ = false;
  }
  update_depth_ = 0;
  ReleaseArchive();
}

// A new archive file that never took its name goes with it.
void TPLArchiverState::ReleaseArchive() noexcept {
  dir_manager_.reset();
  overlaps_.clear();  // found for this archive's directory; the next one needs its own
  aes_keys_ahead_.reset();
  archive_stream_ = nullptr;
  own_stream_.reset();
  external_stream_ = false;
  DropUnpublished();
}

// Writes the finished in-memory archive to FileName. The archive is finished
// first, so that a new archive reaches the file with its central directory.
void TPLBaseArchiver::MoveArchiveToFile() {
  FinishArchive();
  const auto file = OpenFile(file_name_, fmCreate);
  archive_stream_->Seek(0, platform::SeekOrigin::kBegin);
  file->CopyFrom(*archive_stream_, archive_stream_->Size());
  if (options_.FlushBuffers()) file->Flush();
}

void TPLBaseArchiver::SetInMemory(bool value) {
  if (value == in_memory_) return;
  if (is_open_ && in_memory_) {
    if (paths::DiskFileName(file_name_).empty())
      throw EPLException::Create(errc::kBlankNameLeavingMemory, this);
    MoveArchiveToFile();
    CloseArchive();
    in_memory_ = false;
    OpenArchive();
  } else if (is_open_) {
    CloseArchive();
    in_memory_ = true;
    OpenArchive();
  }
  in_memory_ = value;
}

}  // namespace parcelon
