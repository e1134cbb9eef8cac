// A stream that takes every write and keeps nothing: a test decodes entries
// into it to learn only whether they are sound.
#pragma once

#include <algorithm>

#include "platform/stream.h"

namespace platform {

class TNullStream : public Stream {
 public:
  size_t Read(void*, size_t) override { return 0; }
  size_t Write(const void*, size_t n) override {
    position_ += static_cast<int64_t>(n);
    size_ = std::max(size_, position_);
    return n;
  }
  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    const int64_t base = origin == SeekOrigin::kBegin     ? 0
                         : origin == SeekOrigin::kCurrent ? position_
                                                          : size_;
    return position_ = base + offset;
  }
  void SetSize(int64_t size) override { size_ = size; }

 private:
  int64_t position_ = 0;
  int64_t size_ = 0;
};

}  // namespace platform
