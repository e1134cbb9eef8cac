// Opening, creating and closing the archive, and moving it between memory
// and its file.
#include <sys/stat.h>

#include "archive/base_archiver.h"
#include "archive/errors/pl_exception.h"
#include "archive/update/central_directory_writer.h"
#include "platform/file_stream.h"
#include "platform/memory_stream.h"
#include "platform/unicode.h"

namespace parcelon {
namespace {

// The text after the last folder separator.
std::u16string_view FileNamePart(std::u16string_view path) {
  const size_t slash = path.find_last_of(u'/');
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

platform::FileInfo TPLBaseArchiver::ArchiveFileInfo() const {
  return file_system_->Stat(platform::Utf16ToUtf8(file_name_));
}

bool TPLBaseArchiver::ArchiveFileExists() const {
  const platform::FileInfo info = ArchiveFileInfo();
  return info.exists && !info.is_directory;
}

uint16_t TPLBaseArchiver::ChooseOpenMode() const {
  const platform::FileInfo info = ArchiveFileInfo();
  if (in_memory_ || !info.exists || info.is_directory) return fmCreate;
  // Read-only is the owner's missing write bit.
  if ((info.mode & S_IWUSR) == 0) return fmOpenRead | fmShareDenyNone;
  try {
    platform::FileStream probe(file_name_, fmOpenReadWrite | fmShareDenyWrite);
  } catch (const platform::EStreamError&) {
    return fmOpenRead | fmShareDenyNone;
  }
  return fmOpenReadWrite | fmShareDenyWrite;
}

void TPLBaseArchiver::OpenArchive() {
  committed_ = false;
  if (!in_memory_ && FileNamePart(file_name_).empty())
    throw EPLException::Create(errc::kBlankNameOpen, this);
  OpenArchive(ChooseOpenMode());
}

void TPLBaseArchiver::OpenArchive(uint16_t mode) {
  committed_ = false;
  if (!in_memory_ && FileNamePart(file_name_).empty())
    throw EPLException::Create(errc::kBlankNameOpenMode, this);
  if (mode != fmCreate && !ArchiveFileExists() && spanning_mode_ != smSpanning)
    throw EPLException::CreateFmt(errc::kArchiveNotFound, {file_name_}, this);
  if (mode != fmCreate && in_memory_) throw EPLException::Create(errc::kInMemoryCreateOnly, this);
  CloseArchive();
  open_mode_ = mode;
  try {
    InternalOpen();
  } catch (...) {
    ReleaseArchive();
    throw;
  }
  is_open_ = true;
  DoAfterOpen();
}

void TPLBaseArchiver::InternalOpen() {
  if (open_mode_ == fmCreate || in_memory_) {
    CreateNewArchive();
  } else {
    OpenExistingArchive();
  }
}

void TPLBaseArchiver::CreateNewArchive() {
  if (in_memory_) {
    archive_stream_ = std::make_unique<platform::MemoryStream>();
  } else {
    archive_stream_ = std::make_unique<platform::FileStream>(file_name_, fmCreate);
  }
  current_volume_name_ = file_name_;
  dir_manager_ = std::make_unique<TPLDirManager>(*archive_stream_, *code_pages_, true);
  volume_info_.SetFirst();
  if (in_memory_ || sfx_stub_.empty()) return;
  platform::FileStream stub(sfx_stub_, fmOpenRead | fmShareDenyWrite);
  const int64_t size = stub.Size();
  archive_stream_->CopyFrom(stub, size);
  dir_manager_->SetStubSize(size);
}

void TPLBaseArchiver::OpenExistingArchive() {
  spanning_mode_ = smNone;
  volume_info_.Reset();
  archive_stream_ = std::make_unique<platform::FileStream>(file_name_, open_mode_);
  current_volume_name_ = file_name_;
  dir_manager_ = std::make_unique<TPLDirManager>(*archive_stream_, *code_pages_, false);
  // A record on another disk than 0 belongs to a multi-volume set; its
  // directory is still read as that of a single file.
  if (!dir_manager_->LocateEnd(repair_directory_))
    throw EPLException::Create(errc::kNoEndRecord, this);
  dir_manager_->LoadDirectory({repair_directory_, options_.OEMFileNames()});
  volume_info_.SetLastVolumeNumber(dir_manager_->ThisDisk());
  volume_info_.SetNumber(dir_manager_->DirectoryDisk());
}

// Finishes the archive: pending changes are committed (update transactions
// set the depth back to 0), and an archive that holds nothing but its
// optional stub gets its central directory, which makes a new archive a
// valid empty one.
void TPLBaseArchiver::FinishArchive() {
  update_depth_ = 0;
  if (!archive_stream_ || archive_stream_->Size() != dir_manager_->StubSize()) return;
  WriteCentralDirectory(*dir_manager_, *code_pages_, {options_.OEMFileNames(), this});
  if (options_.FlushBuffers()) archive_stream_->Flush();
}

void TPLBaseArchiver::CloseArchive() noexcept {
  if (is_open_) {
    try {
      FinishArchive();
    } catch (...) {
      // Closing never fails: the archive is closed whatever happened.
    }
    is_open_ = false;
  }
  ReleaseArchive();
}

void TPLBaseArchiver::ReleaseArchive() noexcept {
  dir_manager_.reset();
  archive_stream_.reset();
}

// Writes the finished in-memory archive to FileName. The archive is finished
// first, so that a new archive reaches the file with its central directory.
void TPLBaseArchiver::MoveArchiveToFile() {
  FinishArchive();
  platform::FileStream file(file_name_, fmCreate);
  archive_stream_->Seek(0, platform::SeekOrigin::kBegin);
  file.CopyFrom(*archive_stream_, archive_stream_->Size());
}

void TPLBaseArchiver::SetInMemory(bool value) {
  if (value == in_memory_) return;
  if (is_open_ && in_memory_) {
    if (FileNamePart(file_name_).empty())
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
