#include "app/spill_range.h"

#include <algorithm>

#include "platform/exception.h"

namespace kmlcompat {

size_t SpillRange::Read(void* buffer, size_t n) {
  if (position_ >= size_ || n == 0) return 0;
  const auto count =
      static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), size_ - position_));
  file_.Seek(start_ + position_, platform::SeekOrigin::kBegin);
  const size_t got = file_.Read(buffer, count);
  position_ += static_cast<int64_t>(got);
  return got;
}

size_t SpillRange::Write(const void*, size_t) {
  throw platform::EStreamError(u"Stream write error: the stream is read-only");
}

int64_t SpillRange::Seek(int64_t offset, platform::SeekOrigin origin) {
  int64_t base = 0;
  if (origin == platform::SeekOrigin::kCurrent) base = position_;
  if (origin == platform::SeekOrigin::kEnd) base = size_;
  if (offset < -base) throw platform::EStreamError(u"Stream seek error");
  position_ = base + offset;
  return position_;
}

void SpillRange::SetSize(int64_t) {
  throw platform::EStreamError(u"Stream size error: the stream is read-only");
}

}  // namespace kmlcompat
