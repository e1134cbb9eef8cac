// Locating and validating the end of central directory record.
#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include "archive/directory/dir_manager.h"
#include "archive/format/byte_io.h"

namespace parcelon {
namespace {

constexpr int64_t kEndSearchWindow = 65600;

// The record at `position` (whose 22 bytes are in hand) describes a
// directory that can stand before it, and its comment fits the stream.
bool IsPlausibleEndRecord(const EndRecord& record, int64_t position, int64_t stream_size) {
  const int64_t record_end = position + static_cast<int64_t>(kEndRecordSize);
  if (record.DirectoryDisk > record.ThisDisk) return false;
  if (record.EntriesOnDisk > record.TotalEntries) return false;
  if (record.DirectorySize != kSaturated32 && record.DirectorySize >= record_end) return false;
  if (record.DirectoryDisk == record.ThisDisk && record.DirectoryOffset != kSaturated32 &&
      record.DirectoryOffset >= record_end - int64_t{record.DirectorySize})
    return false;
  return record.CommentLength <= stream_size - record_end;
}

// The bytes of [base, base + count), the stream's position kept.
std::vector<uint8_t> ReadKeepingPosition(platform::Stream& stream, int64_t base, int64_t count) {
  std::vector<uint8_t> buffer(static_cast<size_t>(count));
  const int64_t saved = stream.Position();
  stream.Seek(base, platform::SeekOrigin::kBegin);
  stream.ReadBuffer(buffer.data(), buffer.size());
  stream.Seek(saved, platform::SeekOrigin::kBegin);
  return buffer;
}

// Where in `buffer` (the stream's last bytes, from `base` on) the end record
// stands: among the candidates that validate, the first in file order whose
// comment ends exactly at the end of the stream (every later one lies inside
// its comment: an archive stored as the comment, or text that looks like a
// record), else the last one. nullopt when none validates.
std::optional<size_t> ChooseEndRecord(std::span<const uint8_t> buffer, int64_t base) {
  const int64_t size = base + static_cast<int64_t>(buffer.size());
  std::optional<size_t> last;
  std::optional<size_t> reaching_end;
  for (size_t start = buffer.size() >= kEndRecordSize ? buffer.size() - kEndRecordSize + 1 : 0;
       start-- > 0;) {
    if (LoadU32(buffer, start) != kEndRecordSignature) continue;
    const auto candidate = EndRecord::Parse(buffer.subspan(start).first<kEndRecordSize>());
    const int64_t at = base + static_cast<int64_t>(start);
    if (!IsPlausibleEndRecord(candidate, at, size)) continue;
    if (!last) last = start;
    if (at + int64_t{kEndRecordSize} + candidate.CommentLength == size) reaching_end = start;
  }
  return reaching_end ? reaching_end : last;
}

}  // namespace

// The last Window bytes are read once; candidates are validated from that
// buffer, which holds the whole record and comment of any candidate.
bool TPLDirManager::FindEndRecord(EndRecord& record, int64_t& position) {
  position = -1;
  archive_comment_.clear();
  record = EndRecord{};
  record.Signature = 0;
  const int64_t size = stream_->Size();
  const int64_t base = size - std::min(size, kEndSearchWindow);
  const std::vector<uint8_t> buffer = ReadKeepingPosition(*stream_, base, size - base);
  const std::optional<size_t> start = ChooseEndRecord(buffer, base);
  if (!start) return false;
  const std::span<const uint8_t> bytes = std::span<const uint8_t>(buffer).subspan(*start);
  record = EndRecord::Parse(bytes.first<kEndRecordSize>());
  position = base + static_cast<int64_t>(*start);
  const auto comment = bytes.subspan(kEndRecordSize, record.CommentLength);
  archive_comment_.assign(comment.begin(), comment.end());
  return true;
}

bool TPLDirManager::LocateEnd(bool repair) {
  const bool found = FindEndRecord(end_record_, end_record_position_);
  return found || repair;
}

}  // namespace parcelon
