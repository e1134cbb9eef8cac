#include "platform/memory_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/exception.h"

namespace platform {

size_t MemoryStream::Read(void* buffer, size_t n) {
  const auto size = static_cast<int64_t>(bytes_.size());
  if (position_ >= size) return 0;
  const auto count =
      static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), size - position_));
  std::memcpy(buffer, bytes_.data() + position_, count);
  position_ += static_cast<int64_t>(count);
  return count;
}

size_t MemoryStream::Write(const void* buffer, size_t n) {
  if (n == 0) return 0;
  const auto end = static_cast<size_t>(position_) + n;
  if (end > bytes_.size()) bytes_.resize(end);
  std::memcpy(bytes_.data() + position_, buffer, n);
  position_ = static_cast<int64_t>(end);
  return n;
}

int64_t MemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base = 0;
  if (origin == SeekOrigin::kCurrent) base = position_;
  if (origin == SeekOrigin::kEnd) base = static_cast<int64_t>(bytes_.size());
  if (offset < -base) throw EStreamError(u"Stream seek error");
  position_ = base + offset;
  return position_;
}

void MemoryStream::SetSize(int64_t size) {
  if (size < 0) throw EStreamError(u"Stream size error");
  bytes_.resize(static_cast<size_t>(size));
}

}  // namespace platform
