// A read-only stream over one range of a file that other ranges share: it
// keeps its own position and moves the shared file to it before each read,
// so the streams of several ranges may be read in turn on one thread.
#pragma once

#include <cstdint>

#include "platform/stream.h"

namespace kmlcompat {

class SpillRange final : public platform::Stream {
 public:
  // `file` is not owned and must outlive the range: bytes [start, start + size).
  SpillRange(platform::Stream& file, int64_t start, int64_t size)
      : file_(file), start_(start), size_(size) {}

  size_t Read(void* buffer, size_t n) override;
  // Refuses (throws EStreamError): the range is read-only.
  size_t Write(const void* buffer, size_t n) override;
  // Positions past the end read nothing; before the start throw EStreamError.
  int64_t Seek(int64_t offset, platform::SeekOrigin origin) override;
  // Refuses (throws EStreamError): the range is read-only.
  void SetSize(int64_t size) override;

 private:
  platform::Stream& file_;
  int64_t start_;
  int64_t size_;
  int64_t position_ = 0;
};

}  // namespace kmlcompat
