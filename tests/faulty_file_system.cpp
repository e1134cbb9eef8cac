#include "tests/faulty_file_system.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/exception.h"
#include "platform/file_stream.h"
#include "platform/unicode.h"

namespace testing_support {
namespace {

[[noreturn]] void ThrowIoError(FsOp op, const std::string& path) {
  throw platform::IoError(std::string("injected ") + OpName(op) + " failure: " + path, EIO, path);
}

[[noreturn]] void ThrowStreamError(FsOp op, const std::string& path) {
  throw platform::EStreamError(
      u"Stream " + platform::Utf8ToUtf16(OpName(op)) + u" error: Input/output error (injected)", 0,
      path);
}

// The folder that holds `path` (which may end in '/').
std::string ParentOf(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return platform::ContainingFolder(path);
}

// Where CreateUniqueStream puts its file when given no folder.
std::string UniqueFolder(const std::string& folder) {
  if (!folder.empty()) return folder;
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? std::string(tmp) : std::string("/tmp");
}

class FaultyStream : public platform::Stream {
 public:
  FaultyStream(std::unique_ptr<platform::Stream> inner, FaultyFileSystem& fs, std::string path,
               PowerLossDisk::NodePtr node = nullptr)
      : inner_(std::move(inner)), fs_(fs), path_(std::move(path)), node_(std::move(node)) {}
  size_t Read(void* buffer, size_t n) override {
    if (fs_.Due(kOpRead, path_)) ThrowStreamError(kOpRead, path_);
    return inner_->Read(buffer, n);
  }
  size_t Write(const void* buffer, size_t n) override {
    if (!fs_.Due(kOpWrite, path_)) return inner_->Write(buffer, n);
    if (fs_.DiskFull()) return 0;
    ThrowStreamError(kOpWrite, path_);
  }
  int64_t Seek(int64_t offset, platform::SeekOrigin origin) override {
    return inner_->Seek(offset, origin);
  }
  // A copy inside the system counts as one read of the source and one write
  // here, each of which may be the faulted call.
  int64_t CopyInSystemFrom(platform::Stream& source, int64_t n) override;
  void SetSize(int64_t size) override {
    if (fs_.Due(kOpTruncate, path_)) ThrowStreamError(kOpTruncate, path_);
    inner_->SetSize(size);
  }
  void Flush() override {
    if (fs_.Due(kOpSync, path_)) ThrowStreamError(kOpSync, path_);
    inner_->Flush();
    fs_.Disk().FileSynced(node_, inner_->Descriptor());
  }
  void Close() override {
    const bool due = fs_.Due(kOpClose, path_);
    inner_->Close();
    if (due) ThrowStreamError(kOpClose, path_);
  }
  platform::Stream& Inner() { return *inner_; }
  const std::string& Path() const { return path_; }

 private:
  std::unique_ptr<platform::Stream> inner_;
  FaultyFileSystem& fs_;
  std::string path_;
  PowerLossDisk::NodePtr node_;
};

// The stream a FaultyStream wraps, or `file` itself.
platform::Stream& Unwrapped(platform::Stream& file) {
  auto* faulty = dynamic_cast<FaultyStream*>(&file);
  return faulty ? faulty->Inner() : file;
}

std::string PathOf(platform::Stream& file) {
  auto* faulty = dynamic_cast<FaultyStream*>(&file);
  return faulty ? faulty->Path() : std::string("?");
}

int64_t FaultyStream::CopyInSystemFrom(platform::Stream& source, int64_t n) {
  platform::Stream& from = Unwrapped(source);
  if (n <= 0 || from.Descriptor() < 0 || inner_->Descriptor() < 0) return 0;
  if (fs_.Due(kOpRead, PathOf(source))) ThrowStreamError(kOpRead, PathOf(source));
  if (!fs_.Due(kOpWrite, path_)) return inner_->CopyInSystemFrom(from, n);
  if (fs_.DiskFull()) throw platform::EStreamError(u"Stream write error");
  ThrowStreamError(kOpWrite, path_);
}

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
    case kOpSetModeOpen:
      return "fchmod";
    case kOpSetTimeOpen:
      return "futimens";
    default:
      return "?";
  }
}

void FaultyFileSystem::Inject(const Fault& fault) {
  fault_ = fault;
  matching_ = 0;
  off_ = false;
  if (fault.effect == FaultEffect::kPowerCut) {
    disk_.Start();
  } else {
    disk_.Stop();
  }
}

void FaultyFileSystem::CutPower() {
  disk_.Cut();
  off_ = true;
}

bool FaultyFileSystem::Due(FsOp op, const std::string& path) {
  calls_.push_back({op, path});
  if (off_) return true;
  if ((fault_.ops & op) == 0 || ++matching_ != fault_.at) return false;
  if (fault_.effect == FaultEffect::kDie) ::_exit(kDeathStatus);
  if (fault_.effect == FaultEffect::kPowerCut) CutPower();
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

void FaultyFileSystem::Rename(const std::string& from, const std::string& to) {
  if (Due(kOpRename, from + " -> " + to)) ThrowIoError(kOpRename, to);
  disk_.BeforeFolderChange(ParentOf(from));
  disk_.BeforeFolderChange(ParentOf(to));
  PosixFileSystem::Rename(from, to);
}

bool FaultyFileSystem::Exchange(const std::string& a, const std::string& b) {
  if (Due(kOpRename, a + " <-> " + b)) ThrowIoError(kOpRename, b);
  disk_.BeforeFolderChange(ParentOf(a));
  disk_.BeforeFolderChange(ParentOf(b));
  return PosixFileSystem::Exchange(a, b);
}

void FaultyFileSystem::Remove(const std::string& path) {
  if (Due(kOpRemove, path)) ThrowIoError(kOpRemove, path);
  disk_.BeforeFolderChange(ParentOf(path));
  PosixFileSystem::Remove(path);
}

void FaultyFileSystem::SetModeAndOwner(const std::string& path, const platform::FileInfo& like) {
  if (Due(kOpSetMode, path)) ThrowIoError(kOpSetMode, path);
  PosixFileSystem::SetModeAndOwner(path, like);
}

std::unique_ptr<platform::Stream> FaultyFileSystem::OpenStream(const std::string& path,
                                                               uint16_t mode) {
  const FsOp op = mode == platform::fmCreate ? kOpCreate : kOpOpen;
  if (Due(op, path))
    throw platform::EFOpenError(u"Cannot open file \"" + platform::Utf8ToUtf16(path) +
                                u"\". Input/output error (injected)");
  const bool writable = mode == platform::fmCreate || (mode & 3) != platform::fmOpenRead;
  if (writable) disk_.BeforeFolderChange(ParentOf(path));
  const bool existed = PosixFileSystem::StatLink(path).exists;
  auto stream = PosixFileSystem::OpenStream(path, mode);
  PowerLossDisk::NodePtr node;
  if (writable) node = existed ? disk_.Opened(path) : disk_.Created(path);
  return std::make_unique<FaultyStream>(std::move(stream), *this, path, std::move(node));
}

std::unique_ptr<platform::Stream> FaultyFileSystem::CreateUniqueStream(const std::string& folder,
                                                                       const std::string& prefix,
                                                                       std::string* path) {
  if (Due(kOpCreate, folder + prefix))
    throw platform::EFCreateError(u"Cannot create file \"" + platform::Utf8ToUtf16(prefix) +
                                  u"\". Input/output error (injected)");
  disk_.BeforeFolderChange(UniqueFolder(folder));
  auto stream = PosixFileSystem::CreateUniqueStream(folder, prefix, path);
  return std::make_unique<FaultyStream>(std::move(stream), *this, *path, disk_.Created(*path));
}

void FaultyFileSystem::SyncFolder(const std::string& path) {
  if (Due(kOpSync, path)) ThrowIoError(kOpSync, path);
  PosixFileSystem::SyncFolder(path);
  disk_.FolderSynced(path);
}

void FaultyFileSystem::RemoveFolder(const std::string& path) {
  if (Due(kOpRemove, path)) ThrowIoError(kOpRemove, path);
  disk_.BeforeFolderChange(ParentOf(path));
  PosixFileSystem::RemoveFolder(path);
}

std::vector<platform::FolderEntry> FaultyFileSystem::ListFolder(const std::string& path) {
  if (Due(kOpList, path)) ThrowIoError(kOpList, path);
  return PosixFileSystem::ListFolder(path);
}

void FaultyFileSystem::MakeFoldersBelow(const std::string& root, const std::string& relative) {
  if (Due(kOpCreate, root + "/" + relative)) ThrowIoError(kOpCreate, relative);
  const std::vector<std::string> made = FoldersToMake(root, relative);
  PosixFileSystem::MakeFoldersBelow(root, relative);
  FoldersMade(made);
}

std::unique_ptr<platform::Stream> FaultyFileSystem::CreateFileBelow(const std::string& root,
                                                                    const std::string& relative) {
  const std::string path = root + "/" + relative;
  if (Due(kOpCreate, path))
    throw platform::EFCreateError(u"Cannot create file \"" + platform::Utf8ToUtf16(path) +
                                  u"\". Input/output error (injected)");
  disk_.BeforeFolderChange(ParentOf(path));
  auto stream = PosixFileSystem::CreateFileBelow(root, relative);
  return std::make_unique<FaultyStream>(std::move(stream), *this, path, disk_.Created(path));
}

void FaultyFileSystem::SetPermissions(const std::string& path, mode_t mode) {
  if (Due(kOpSetMode, path)) ThrowIoError(kOpSetMode, path);
  PosixFileSystem::SetPermissions(path, mode);
}

void FaultyFileSystem::SetModifiedTime(const std::string& path, int64_t seconds) {
  if (Due(kOpSetTime, path)) ThrowIoError(kOpSetTime, path);
  PosixFileSystem::SetModifiedTime(path, seconds);
}

std::vector<std::string> FaultyFileSystem::FoldersToMake(const std::string& root,
                                                         const std::string& relative) {
  std::vector<std::string> missing;
  std::string path = root;
  for (size_t start = 0; start < relative.size();) {
    const size_t end = std::min(relative.find('/', start), relative.size());
    if (end > start) {
      const std::string parent = path.empty() ? std::string(".") : path;
      if (!path.empty() && path.back() != '/') path.push_back('/');
      path.append(relative, start, end - start);
      if (!PosixFileSystem::StatLink(path).exists) {
        if (missing.empty()) disk_.BeforeFolderChange(parent);
        missing.push_back(path);
      }
    }
    start = end + 1;
  }
  return missing;
}

void FaultyFileSystem::FoldersMade(const std::vector<std::string>& made) {
  for (const std::string& folder : made) disk_.FolderCreated(folder);
}

bool FaultyFileSystem::CreateFolders(const std::string& path) {
  if (off_) return false;
  const bool absolute = !path.empty() && path.front() == '/';
  const std::vector<std::string> made = FoldersToMake(absolute ? "/" : "", path);
  const bool done = PosixFileSystem::CreateFolders(path);
  FoldersMade(made);
  return done;
}

platform::FileInfo FaultyFileSystem::StatOpen(platform::Stream& file) {
  return PosixFileSystem::StatOpen(Unwrapped(file));
}

void FaultyFileSystem::SetModeAndOwnerOf(platform::Stream& file, const platform::FileInfo& like) {
  const std::string path = PathOf(file);
  if (Due(kOpSetMode, path)) ThrowIoError(kOpSetMode, path);
  PosixFileSystem::SetModeAndOwnerOf(Unwrapped(file), like);
}

std::unique_ptr<platform::Stream> FaultyFileSystem::CreateExclusiveStream(
    const std::string& path, const platform::FileInfo& like) {
  if (Due(kOpCreate, path))
    throw platform::EFCreateError(u"Cannot create file \"" + platform::Utf8ToUtf16(path) +
                                  u"\". Input/output error (injected)");
  disk_.BeforeFolderChange(ParentOf(path));
  auto stream = PosixFileSystem::CreateExclusiveStream(path, like);
  return std::make_unique<FaultyStream>(std::move(stream), *this, path, disk_.Created(path));
}

bool FaultyFileSystem::RenameNoReplace(const std::string& from, const std::string& to) {
  if (Due(kOpRename, from + " -> " + to)) ThrowIoError(kOpRename, to);
  disk_.BeforeFolderChange(ParentOf(from));
  disk_.BeforeFolderChange(ParentOf(to));
  return PosixFileSystem::RenameNoReplace(from, to);
}

void FaultyFileSystem::SetPermissionsOpen(platform::Stream& file, mode_t mode) {
  if (Due(kOpSetModeOpen, PathOf(file))) ThrowIoError(kOpSetModeOpen, PathOf(file));
  PosixFileSystem::SetPermissionsOpen(Unwrapped(file), mode);
}

void FaultyFileSystem::SetModifiedTimeOpen(platform::Stream& file, int64_t seconds) {
  if (Due(kOpSetTimeOpen, PathOf(file))) ThrowIoError(kOpSetTimeOpen, PathOf(file));
  PosixFileSystem::SetModifiedTimeOpen(Unwrapped(file), seconds);
}

void FaultyFileSystem::SyncFileSystem(const std::string& path) {
  if (Due(kOpSync, path)) ThrowIoError(kOpSync, path);
  // In the power-loss mode the model is the disk: syncing the real one, with
  // what everything else on the machine wrote, would only take time.
  if (!disk_.Tracking()) PosixFileSystem::SyncFileSystem(path);
  disk_.AllSynced();
}

void FaultyFileSystem::RenameBelow(const std::string& root, const std::string& from,
                                   const std::string& to) {
  const std::string path = root + "/" + to;
  if (Due(kOpRename, root + "/" + from + " -> " + path)) ThrowIoError(kOpRename, path);
  disk_.BeforeFolderChange(ParentOf(path));
  PosixFileSystem::RenameBelow(root, from, to);
}

void FaultyFileSystem::RemoveBelow(const std::string& root, const std::string& relative) {
  const std::string path = root + "/" + relative;
  if (Due(kOpRemove, path)) ThrowIoError(kOpRemove, path);
  disk_.BeforeFolderChange(ParentOf(path));
  PosixFileSystem::RemoveBelow(root, relative);
}

}  // namespace testing_support
