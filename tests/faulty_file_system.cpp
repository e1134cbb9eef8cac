#include "tests/faulty_file_system.h"

#include <unistd.h>

#include <cerrno>

#include "platform/exception.h"
#include "platform/file_stream.h"
#include "platform/io_error.h"
#include "platform/unicode.h"

namespace testing_support {
namespace {

[[noreturn]] void ThrowIoError(FsOp op, const std::string& path, bool disk_full) {
  const int errnum = disk_full && op == kOpWrite ? ENOSPC : EIO;
  throw platform::IoError(std::string("injected ") + OpName(op) + " failure: " + path, errnum);
}

[[noreturn]] void ThrowStreamError(FsOp op) {
  throw platform::EStreamError(u"Stream " + platform::Utf8ToUtf16(OpName(op)) +
                               u" error: Input/output error (injected)");
}

class FaultyReader : public platform::ReadableFile {
 public:
  FaultyReader(std::unique_ptr<platform::ReadableFile> inner, FaultyFileSystem& fs,
               std::string path)
      : inner_(std::move(inner)), fs_(fs), path_(std::move(path)) {}
  size_t Read(char* buf, size_t n) override {
    if (fs_.Due(kOpRead, path_)) ThrowIoError(kOpRead, path_, false);
    return inner_->Read(buf, n);
  }

 private:
  std::unique_ptr<platform::ReadableFile> inner_;
  FaultyFileSystem& fs_;
  std::string path_;
};

class FaultyWriter : public platform::WritableFile {
 public:
  FaultyWriter(std::unique_ptr<platform::WritableFile> inner, FaultyFileSystem& fs,
               std::string path)
      : inner_(std::move(inner)), fs_(fs), path_(std::move(path)) {}
  void Write(const char* data, size_t n) override {
    if (fs_.Due(kOpWrite, path_)) ThrowIoError(kOpWrite, path_, fs_.DiskFull());
    inner_->Write(data, n);
  }
  void Sync() override {
    if (fs_.Due(kOpSync, path_)) ThrowIoError(kOpSync, path_, false);
    inner_->Sync();
  }
  void SetModeAndOwner(const platform::FileInfo& like) override {
    if (fs_.Due(kOpSetMode, path_)) ThrowIoError(kOpSetMode, path_, false);
    inner_->SetModeAndOwner(like);
  }
  void Close() override {
    if (fs_.Due(kOpClose, path_)) {
      inner_->Close();
      ThrowIoError(kOpClose, path_, false);
    }
    inner_->Close();
  }

 private:
  std::unique_ptr<platform::WritableFile> inner_;
  FaultyFileSystem& fs_;
  std::string path_;
};

class FaultyStream : public platform::Stream {
 public:
  FaultyStream(std::unique_ptr<platform::Stream> inner, FaultyFileSystem& fs, std::string path)
      : inner_(std::move(inner)), fs_(fs), path_(std::move(path)) {}
  size_t Read(void* buffer, size_t n) override {
    if (fs_.Due(kOpRead, path_)) ThrowStreamError(kOpRead);
    return inner_->Read(buffer, n);
  }
  size_t Write(const void* buffer, size_t n) override {
    if (!fs_.Due(kOpWrite, path_)) return inner_->Write(buffer, n);
    if (fs_.DiskFull()) return 0;
    ThrowStreamError(kOpWrite);
  }
  int64_t Seek(int64_t offset, platform::SeekOrigin origin) override {
    return inner_->Seek(offset, origin);
  }
  void SetSize(int64_t size) override {
    if (fs_.Due(kOpTruncate, path_)) ThrowStreamError(kOpTruncate);
    inner_->SetSize(size);
  }
  void Flush() override {
    if (fs_.Due(kOpSync, path_)) ThrowStreamError(kOpSync);
    inner_->Flush();
  }
  platform::Stream& Inner() { return *inner_; }
  const std::string& Path() const { return path_; }

 private:
  std::unique_ptr<platform::Stream> inner_;
  FaultyFileSystem& fs_;
  std::string path_;
};

}  // namespace

const char* OpName(FsOp op) {
  switch (op) {
    case kOpOpen:
      return "open";
    case kOpCreate:
      return "create";
    case kOpRead:
      return "read";
    case kOpWrite:
      return "write";
    case kOpTruncate:
      return "truncate";
    case kOpSync:
      return "sync";
    case kOpRename:
      return "rename";
    case kOpRemove:
      return "remove";
    case kOpClose:
      return "close";
    case kOpSetMode:
      return "chmod";
    case kOpSetTime:
      return "touch";
    case kOpList:
      return "list";
    default:
      return "?";
  }
}

void FaultyFileSystem::Inject(const Fault& fault) {
  fault_ = fault;
  matching_ = 0;
}

bool FaultyFileSystem::Due(FsOp op, const std::string& path) {
  calls_.push_back({op, path});
  if ((fault_.ops & op) == 0 || ++matching_ != fault_.at) return false;
  if (fault_.effect == FaultEffect::kDie) ::_exit(kDeathStatus);
  return true;
}

int64_t FaultyFileSystem::Count(uint32_t ops) const {
  int64_t count = 0;
  for (const FsCall& call : calls_) count += (call.op & ops) != 0;
  return count;
}

std::vector<std::string> FaultyFileSystem::Trace(uint32_t ops) const {
  std::vector<std::string> lines;
  for (const FsCall& call : calls_)
    if ((call.op & ops) != 0) lines.push_back(std::string(OpName(call.op)) + " " + call.path);
  return lines;
}

void FaultyFileSystem::ClearCalls() {
  calls_.clear();
  matching_ = 0;
}

std::unique_ptr<platform::ReadableFile> FaultyFileSystem::OpenForRead(const std::string& path) {
  if (Due(kOpOpen, path)) ThrowIoError(kOpOpen, path, false);
  return std::make_unique<FaultyReader>(PosixFileSystem::OpenForRead(path), *this, path);
}

std::unique_ptr<platform::WritableFile> FaultyFileSystem::CreateUnique(const std::string& folder,
                                                                       const std::string& prefix,
                                                                       std::string* path) {
  if (Due(kOpCreate, folder + prefix)) ThrowIoError(kOpCreate, folder + prefix, false);
  auto file = PosixFileSystem::CreateUnique(folder, prefix, path);
  return std::make_unique<FaultyWriter>(std::move(file), *this, *path);
}

void FaultyFileSystem::Rename(const std::string& from, const std::string& to) {
  if (Due(kOpRename, from + " -> " + to)) ThrowIoError(kOpRename, to, false);
  PosixFileSystem::Rename(from, to);
}

bool FaultyFileSystem::Exchange(const std::string& a, const std::string& b) {
  if (Due(kOpRename, a + " <-> " + b)) ThrowIoError(kOpRename, b, false);
  return PosixFileSystem::Exchange(a, b);
}

void FaultyFileSystem::Remove(const std::string& path) {
  if (Due(kOpRemove, path)) ThrowIoError(kOpRemove, path, false);
  PosixFileSystem::Remove(path);
}

void FaultyFileSystem::SetModeAndOwner(const std::string& path, const platform::FileInfo& like) {
  if (Due(kOpSetMode, path)) ThrowIoError(kOpSetMode, path, false);
  PosixFileSystem::SetModeAndOwner(path, like);
}

std::unique_ptr<platform::Stream> FaultyFileSystem::OpenStream(const std::string& path,
                                                               uint16_t mode) {
  const FsOp op = mode == platform::fmCreate ? kOpCreate : kOpOpen;
  if (Due(op, path))
    throw platform::EFOpenError(u"Cannot open file \"" + platform::Utf8ToUtf16(path) +
                                u"\". Input/output error (injected)");
  return std::make_unique<FaultyStream>(PosixFileSystem::OpenStream(path, mode), *this, path);
}

std::unique_ptr<platform::Stream> FaultyFileSystem::CreateUniqueStream(const std::string& folder,
                                                                       const std::string& prefix,
                                                                       std::string* path) {
  if (Due(kOpCreate, folder + prefix))
    throw platform::EFCreateError(u"Cannot create file \"" + platform::Utf8ToUtf16(prefix) +
                                  u"\". Input/output error (injected)");
  auto stream = PosixFileSystem::CreateUniqueStream(folder, prefix, path);
  return std::make_unique<FaultyStream>(std::move(stream), *this, *path);
}

void FaultyFileSystem::SyncFolder(const std::string& path) {
  if (Due(kOpSync, path)) ThrowIoError(kOpSync, path, false);
  PosixFileSystem::SyncFolder(path);
}

void FaultyFileSystem::RemoveFolder(const std::string& path) {
  if (Due(kOpRemove, path)) ThrowIoError(kOpRemove, path, false);
  PosixFileSystem::RemoveFolder(path);
}

std::vector<platform::FolderEntry> FaultyFileSystem::ListFolder(const std::string& path) {
  if (Due(kOpList, path)) ThrowIoError(kOpList, path, false);
  return PosixFileSystem::ListFolder(path);
}

void FaultyFileSystem::MakeFoldersBelow(const std::string& root, const std::string& relative) {
  if (Due(kOpCreate, root + "/" + relative)) ThrowIoError(kOpCreate, relative, false);
  PosixFileSystem::MakeFoldersBelow(root, relative);
}

std::unique_ptr<platform::Stream> FaultyFileSystem::CreateFileBelow(const std::string& root,
                                                                    const std::string& relative) {
  const std::string path = root + "/" + relative;
  if (Due(kOpCreate, path))
    throw platform::EFCreateError(u"Cannot create file \"" + platform::Utf8ToUtf16(path) +
                                  u"\". Input/output error (injected)");
  return std::make_unique<FaultyStream>(PosixFileSystem::CreateFileBelow(root, relative), *this,
                                        path);
}

void FaultyFileSystem::SetPermissions(const std::string& path, mode_t mode) {
  if (Due(kOpSetMode, path)) ThrowIoError(kOpSetMode, path, false);
  PosixFileSystem::SetPermissions(path, mode);
}

void FaultyFileSystem::SetModifiedTime(const std::string& path, int64_t seconds) {
  if (Due(kOpSetTime, path)) ThrowIoError(kOpSetTime, path, false);
  PosixFileSystem::SetModifiedTime(path, seconds);
}

namespace {

// The real stream behind one of ours (descriptor work goes to it).
platform::Stream& Unwrapped(platform::Stream& file) {
  auto* faulty = dynamic_cast<FaultyStream*>(&file);
  return faulty ? faulty->Inner() : file;
}

}  // namespace

platform::FileInfo FaultyFileSystem::StatOpen(platform::Stream& file) {
  return PosixFileSystem::StatOpen(Unwrapped(file));
}

void FaultyFileSystem::SetModeAndOwnerOf(platform::Stream& file, const platform::FileInfo& like) {
  auto* faulty = dynamic_cast<FaultyStream*>(&file);
  const std::string path = faulty ? faulty->Path() : std::string();
  if (Due(kOpSetMode, path)) ThrowIoError(kOpSetMode, path, false);
  PosixFileSystem::SetModeAndOwnerOf(Unwrapped(file), like);
}

std::unique_ptr<platform::Stream> FaultyFileSystem::CreateExclusiveStream(
    const std::string& path, const platform::FileInfo& like) {
  if (Due(kOpCreate, path))
    throw platform::EFCreateError(u"Cannot create file \"" + platform::Utf8ToUtf16(path) +
                                  u"\". Input/output error (injected)");
  auto stream = PosixFileSystem::CreateExclusiveStream(path, like);
  return std::make_unique<FaultyStream>(std::move(stream), *this, path);
}

bool FaultyFileSystem::RenameNoReplace(const std::string& from, const std::string& to) {
  if (Due(kOpRename, from + " -> " + to)) ThrowIoError(kOpRename, to, false);
  return PosixFileSystem::RenameNoReplace(from, to);
}

}  // namespace testing_support
