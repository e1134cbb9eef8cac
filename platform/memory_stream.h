// A stream over a growable buffer in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/stream.h"

namespace platform {

class MemoryStream : public Stream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  size_t Read(void* buffer, size_t n) override;
  // Writes at the position, growing the buffer as needed.
  size_t Write(const void* buffer, size_t n) override;
  // Any non-negative position is allowed; a negative one throws EStreamError.
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  void SetSize(int64_t size) override;

  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  int64_t position_ = 0;
};

}  // namespace platform
