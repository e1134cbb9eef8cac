// A stream that passes every call on to another stream it does not own, so
// that a reader or writer that takes ownership of its stream can work on a
// stream someone else keeps: closing the reference only lets go of it, the
// stream referred to stays open for its owner.
#pragma once

#include "platform/stream.h"

namespace platform {

class StreamRef final : public Stream {
 public:
  // `target` must outlive the reference.
  explicit StreamRef(Stream& target) : target_(target) {}

  size_t Read(void* buffer, size_t n) override { return target_.Read(buffer, n); }
  size_t Write(const void* buffer, size_t n) override { return target_.Write(buffer, n); }
  int64_t Seek(int64_t offset, SeekOrigin origin) override { return target_.Seek(offset, origin); }
  void SetSize(int64_t size) override { target_.SetSize(size); }
  void Flush() override { target_.Flush(); }
  // Lets go of the target without closing it.
  void Close() override {}
  int Descriptor() const override { return target_.Descriptor(); }

 private:
  Stream& target_;
};

}  // namespace platform
