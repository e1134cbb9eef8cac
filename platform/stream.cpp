#include "platform/stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/exception.h"

namespace platform {

int64_t Stream::Size() {
  const int64_t position = Position();
  const int64_t size = Seek(0, SeekOrigin::kEnd);
  Seek(position, SeekOrigin::kBegin);
  return size;
}

int64_t Stream::NextData(int64_t position) {
  const int fd = Descriptor();
  if (fd < 0) return position;
  const off_t kept = ::lseek(fd, 0, SEEK_CUR);
  const off_t data = ::lseek(fd, static_cast<off_t>(position), SEEK_DATA);
  const bool past_data = data < 0 && errno == ENXIO;
  if (kept >= 0) ::lseek(fd, kept, SEEK_SET);
  if (past_data) return -1;
  return data < 0 ? position : static_cast<int64_t>(data);
}

void Stream::ReadBuffer(void* buffer, size_t n) {
  if (n != 0 && Read(buffer, n) != n) throw EStreamError(u"Stream read error");
}

void Stream::WriteBuffer(const void* buffer, size_t n) {
  if (n != 0 && Write(buffer, n) != n) throw EStreamError(u"Stream write error");
}

int64_t Stream::CopyInSystemFrom(Stream& source, int64_t n) {
  const int in = source.Descriptor(), out = Descriptor();
  if (in < 0 || out < 0) return 0;
  loff_t in_at = source.Position(), out_at = Position();
  int64_t done = 0;
  while (done < n) {
    const ssize_t copied =
        ::copy_file_range(in, &in_at, out, &out_at, static_cast<size_t>(n - done), 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied <= 0) break;
    done += copied;
  }
  source.Seek(in_at, SeekOrigin::kBegin);
  Seek(out_at, SeekOrigin::kBegin);
  return done;
}

void Stream::CopyFrom(Stream& source, int64_t n, const ChunkCallback& on_chunk) {
  if (!on_chunk) n -= CopyInSystemFrom(source, n);
  constexpr int64_t kMaxBuffer = 61440;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::clamp<int64_t>(n, 0, kMaxBuffer)));
  while (n > 0) {
    const auto chunk = static_cast<size_t>(std::min<int64_t>(n, kMaxBuffer));
    source.ReadBuffer(buffer.data(), chunk);
    WriteBuffer(buffer.data(), chunk);
    if (on_chunk) on_chunk({buffer.data(), chunk});
    n -= static_cast<int64_t>(chunk);
  }
}

}  // namespace platform
