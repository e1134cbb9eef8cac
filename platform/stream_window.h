// A read-only view of a stretch of another stream: the bytes from a start
// position to the other stream's end, seen as a stream of their own that
// begins at 0.
#pragma once

#include "platform/stream.h"

namespace platform {

class StreamWindow : public Stream {
 public:
  // `base` must outlive the window; `start` must not lie past its end.
  StreamWindow(Stream& base, int64_t start) : base_(base), start_(start) {}

  size_t Read(void* buffer, size_t n) override { return base_.Read(buffer, n); }
  // Refuses: the window is read-only (throws EStreamError).
  size_t Write(const void* buffer, size_t n) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  // Refuses: the window is read-only (throws EStreamError).
  void SetSize(int64_t size) override;

 private:
  Stream& base_;
  int64_t start_;
};

}  // namespace platform
