// A stream on a disk file, opened with a 16-bit file mode: 0xFFFF creates
// (or truncates) the file; otherwise bits 0-1 are the access (0 read, 1
// write, 2 read and write) and bits 4-6 the sharing mode (0x00 compatible,
// 0x10 exclusive, 0x20 deny write, 0x30 deny read, 0x40 deny none).
//
// Sharing is enforced between programs that honour advisory locks (flock):
// creating, any write access, and the compatible, exclusive and deny-read
// modes take an exclusive lock; reading with deny write takes a shared lock;
// reading with deny none takes none. A lock that another process holds makes
// the open fail at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/stream.h"
#include "platform/unique_fd.h"

namespace platform {

// File modes: create, or access | sharing.
inline constexpr uint16_t fmCreate = 0xFFFF;
inline constexpr uint16_t fmOpenRead = 0x0000;
inline constexpr uint16_t fmOpenWrite = 0x0001;
inline constexpr uint16_t fmOpenReadWrite = 0x0002;
inline constexpr uint16_t fmShareCompat = 0x0000;
inline constexpr uint16_t fmShareExclusive = 0x0010;
inline constexpr uint16_t fmShareDenyWrite = 0x0020;
inline constexpr uint16_t fmShareDenyRead = 0x0030;
inline constexpr uint16_t fmShareDenyNone = 0x0040;

class FileStream : public Stream {
 public:
  // Opens or creates `path` (UTF-16). Throws EFOpenError ("Cannot open file
  // \"%s\". %s") or EFCreateError ("Cannot create file \"%s\". %s") with the
  // system's reason.
  FileStream(const std::u16string& path, uint16_t mode);
  // Takes ownership of `fd`, a descriptor of `path` open for reading and
  // writing, and locks it exclusively. Throws EFOpenError (after closing
  // `fd`) when the lock is refused.
  static std::unique_ptr<FileStream> Adopt(UniqueFd fd, const std::u16string& path);
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  size_t Read(void* buffer, size_t n) override;
  size_t Write(const void* buffer, size_t n) override;
  // The position is kept here too, so that asking for it, or seeking where
  // the stream already stands, costs no system call.
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  // A regular file's size as the system records it (one call).
  int64_t Size() override;
  void SetSize(int64_t size) override;
  // Forces written data to stable storage. Throws EStreamError.
  void Flush() override;
  // Closes the descriptor. Throws EStreamError when the close reports an error.
  void Close() override;

  const std::u16string& Path() const { return path_; }
  int Descriptor() const override { return fd_.Get(); }

 private:
  struct AdoptKey {
    explicit AdoptKey() = default;
  };

 public:
  // Used by Adopt only (the key cannot be made elsewhere).
  FileStream(AdoptKey, UniqueFd fd, const std::u16string& path)
      : path_(path), fd_(std::move(fd)), position_(kUnknown) {}

 private:
  static constexpr int64_t kUnknown = -1;
  // Moves the kept position on by `n` bytes read or written.
  void Advance(size_t n) {
    if (position_ != kUnknown) position_ += static_cast<int64_t>(n);
  }

  std::u16string path_;
  UniqueFd fd_;
  // Where the descriptor stands; only this stream moves it. An adopted
  // descriptor's position is asked of the system the first time.
  int64_t position_ = 0;
};

}  // namespace platform
