#include "platform/file_stream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/exception.h"
#include "platform/unicode.h"

namespace platform {
namespace {

// The advisory lock a file mode asks for: LOCK_EX, LOCK_SH or 0 for none.
int LockFor(uint16_t mode) {
  if (mode == fmCreate) return LOCK_EX;
  const int access = mode & 0x3;
  const int share = mode & 0x70;
  if (access != fmOpenRead || share == fmShareCompat || share == fmShareExclusive ||
      share == fmShareDenyRead)
    return LOCK_EX;
  return share == fmShareDenyWrite ? LOCK_SH : 0;
}

int OpenFlags(uint16_t mode) {
  if (mode == fmCreate) return O_RDWR | O_CREAT | O_CLOEXEC;
  const int access = mode & 0x3;
  const int flags = access == fmOpenRead ? O_RDONLY : access == fmOpenWrite ? O_WRONLY : O_RDWR;
  return flags | O_CLOEXEC;
}

std::u16string Reason(int errnum) {
  if (errnum == EWOULDBLOCK) return u"The file is in use by another program";
  return Utf8ToUtf16(std::strerror(errnum));
}

[[noreturn]] void ThrowStreamError(const char16_t* what, int errnum, const std::u16string& path) {
  throw EStreamError(std::u16string(what) + Reason(errnum), errnum, Utf16ToUtf8(path));
}

[[noreturn]] void ThrowOpenError(const std::u16string& path, uint16_t mode, int errnum) {
  const std::u16string reason = Reason(errnum);
  if (mode == fmCreate)
    throw EFCreateError(u"Cannot create file \"" + path + u"\". " + reason, errnum,
                        Utf16ToUtf8(path));
  throw EFOpenError(u"Cannot open file \"" + path + u"\". " + reason, errnum, Utf16ToUtf8(path));
}

}  // namespace

FileStream::FileStream(const std::u16string& path, uint16_t mode) : path_(path) {
  const std::string native = Utf16ToUtf8(path);
  fd_ = UniqueFd(::open(native.c_str(), OpenFlags(mode), 0666));
  if (!fd_.Valid()) ThrowOpenError(path, mode, errno);
  const int lock = LockFor(mode);
  if ((lock != 0 && ::flock(fd_.Get(), lock | LOCK_NB) != 0) ||
      (mode == fmCreate && ::ftruncate(fd_.Get(), 0) != 0))
    ThrowOpenError(path, mode, errno);
}

std::unique_ptr<FileStream> FileStream::Adopt(UniqueFd fd, const std::u16string& path) {
  auto stream = std::make_unique<FileStream>(AdoptKey{}, std::move(fd), path);
  if (::flock(stream->Descriptor(), LOCK_EX | LOCK_NB) != 0)
    ThrowOpenError(path, fmOpenReadWrite, errno);
  return stream;
}

size_t FileStream::Read(void* buffer, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t got = ::read(fd_.Get(), static_cast<char*>(buffer) + done, n - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      position_ = kUnknown;  // part of the data may have been read
      ThrowStreamError(u"Stream read error: ", errno, path_);
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  Advance(done);
  return done;
}

size_t FileStream::Write(const void* buffer, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t put = ::write(fd_.Get(), static_cast<const char*>(buffer) + done, n - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno == ENOSPC) break;  // reported as a short write
    if (put < 0) {
      position_ = kUnknown;  // part of the data may have been written
      ThrowStreamError(u"Stream write error: ", errno, path_);
    }
    if (put == 0) break;
    done += static_cast<size_t>(put);
  }
  Advance(done);
  return done;
}

int64_t FileStream::Seek(int64_t offset, SeekOrigin origin) {
  const bool stays = origin == SeekOrigin::kCurrent
                         ? offset == 0
                         : origin == SeekOrigin::kBegin && offset == position_;
  if (stays && position_ != kUnknown) return position_;
  const int whence = origin == SeekOrigin::kBegin     ? SEEK_SET
                     : origin == SeekOrigin::kCurrent ? SEEK_CUR
                                                      : SEEK_END;
  const off_t position = ::lseek(fd_.Get(), offset, whence);
  if (position < 0) ThrowStreamError(u"Stream seek error: ", errno, path_);
  return position_ = position;
}

int64_t FileStream::Size() {
  struct stat info;
  if (::fstat(fd_.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return Stream::Size();
  return info.st_size;
}

void FileStream::SetSize(int64_t size) {
  if (::ftruncate(fd_.Get(), size) != 0) ThrowStreamError(u"Stream size error: ", errno, path_);
}

void FileStream::Flush() {
  if (::fsync(fd_.Get()) != 0) ThrowStreamError(u"Stream flush error: ", errno, path_);
}

void FileStream::Close() {
  if (fd_.Close() != 0) ThrowStreamError(u"Stream close error: ", errno, path_);
}

}  // namespace platform
