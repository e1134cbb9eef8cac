#include "platform/stream.h"

#include <algorithm>
#include <vector>

#include "platform/exception.h"

namespace platform {

int64_t Stream::Size() {
  const int64_t position = Position();
  const int64_t size = Seek(0, SeekOrigin::kEnd);
  Seek(position, SeekOrigin::kBegin);
  return size;
}

void Stream::ReadBuffer(void* buffer, size_t n) {
  if (n != 0 && Read(buffer, n) != n) throw EStreamError(u"Stream read error");
}

void Stream::WriteBuffer(const void* buffer, size_t n) {
  if (n != 0 && Write(buffer, n) != n) throw EStreamError(u"Stream write error");
}

void Stream::CopyFrom(Stream& source, int64_t n) {
  constexpr int64_t kMaxBuffer = 61440;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::clamp<int64_t>(n, 0, kMaxBuffer)));
  while (n > 0) {
    const auto chunk = static_cast<size_t>(std::min<int64_t>(n, kMaxBuffer));
    source.ReadBuffer(buffer.data(), chunk);
    WriteBuffer(buffer.data(), chunk);
    n -= static_cast<int64_t>(chunk);
  }
}

}  // namespace platform
