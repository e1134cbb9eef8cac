// The one owner of a POSIX file descriptor.
#pragma once

#include <unistd.h>

#include <utility>

namespace platform {

// Owns a descriptor (negative: none) and closes it on destruction. Move-only;
// a move leaves the source owning nothing.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = other.Release();
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Close(); }

  int Get() const noexcept { return fd_; }
  bool Valid() const noexcept { return fd_ >= 0; }
  // Gives the descriptor up to the caller, who then owns it.
  int Release() noexcept { return std::exchange(fd_, -1); }
  // Closes the descriptor now; 0, or -1 with errno set when close() reports
  // a failure (the descriptor is gone either way). 0 when none is owned.
  int Close() noexcept {
    const int fd = Release();
    return fd < 0 ? 0 : ::close(fd);
  }

 private:
  int fd_ = -1;
};

}  // namespace platform
