// The work of the real file system that goes through an open descriptor
// rather than a path, so that a name swapped for a link in the meantime
// never redirects it: describing and setting up open files, creating a
// file exclusively, and renaming without replacing.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/exception.h"
#include "platform/file_stream.h"
#include "platform/posix_file_system.h"
#include "platform/stat_info.h"
#include "platform/unicode.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

FileInfo DescribeDescriptor(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) throw IoError::FromErrno("cannot examine", "an open file", errno);
  return InfoOf(st);
}

// Keeping the owner needs privileges that an ordinary user lacks; that is
// no failure.
void SetUp(int fd, const FileInfo& like, const std::string& path) {
  if (::fchown(fd, like.uid, like.gid) != 0 && errno != EPERM)
    throw IoError::FromErrno("cannot set the owner of", path, errno);
  if (::fchmod(fd, like.mode & 07777) != 0)
    throw IoError::FromErrno("cannot set the permissions of", path, errno);
}

[[noreturn]] void ThrowCreate(const std::string& path, int errnum) {
  throw EFCreateError(
      u"Cannot create file \"" + Utf8ToUtf16(path) + u"\". " + Utf8ToUtf16(std::strerror(errnum)),
      errnum, path);
}

// SetUp for a file just created: a failure is one to create it.
void SetUpNew(int fd, const FileInfo& like, const std::string& path) {
  try {
    SetUp(fd, like, path);
  } catch (const IoError& failure) {
    ThrowCreate(path, failure.Errno());
  }
}

}  // namespace

FileInfo PosixFileSystem::StatOpen(Stream& file) {
  return file.Descriptor() < 0 ? FileInfo() : DescribeDescriptor(file.Descriptor());
}

void PosixFileSystem::SetModeAndOwnerOf(Stream& file, const FileInfo& like) {
  const auto* named = dynamic_cast<const FileStream*>(&file);
  if (file.Descriptor() >= 0)
    SetUp(file.Descriptor(), like, named ? Utf16ToUtf8(named->Path()) : "an open file");
}

// Created for nobody but its owner when it is to have other bits, so that
// nobody else can open it before it has them.
std::unique_ptr<Stream> PosixFileSystem::CreateExclusiveStream(const std::string& path,
                                                               const FileInfo& like) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                     like.exists ? 0600 : 0666));
  if (!fd.Valid()) ThrowCreate(path, errno);
  std::unique_ptr<Stream> stream;
  try {
    stream = FileStream::Adopt(std::move(fd), Utf8ToUtf16(path));
    if (like.exists) SetUpNew(stream->Descriptor(), like, path);
  } catch (...) {
    ::unlink(path.c_str());
    throw;
  }
  return stream;
}

bool PosixFileSystem::RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EEXIST) return false;
  if (errno != EINVAL && errno != ENOSYS)
    throw IoError::FromErrno("cannot rename " + from + " to", to, errno);
  if (::link(from.c_str(), to.c_str()) != 0) {
    if (errno == EEXIST) return false;
    throw IoError::FromErrno("cannot rename " + from + " to", to, errno);
  }
  // The file has its new name now; an old name left behind is removed by
  // whoever clears unfinished files, so that is no failure.
  ::unlink(from.c_str());
  return true;
}

}  // namespace platform
