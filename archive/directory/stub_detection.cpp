#include "archive/directory/stub_detection.h"

#include <algorithm>
#include <span>
#include <vector>

#include "archive/directory/signature_scanner.h"
#include "archive/format/byte_io.h"
#include "archive/format/extra_fields.h"
#include "archive/format/records.h"

namespace parcelon {
namespace {

// The sizes a local header states: a saturated one is held in its Zip64
// field (which holds both sizes, the uncompressed one first), when it has one.
struct LocalSizes {
  uint64_t packed = 0;
  uint64_t unpacked = 0;
};

LocalSizes SizesOf(const LocalFileHeader& local, std::span<const uint8_t> extra) {
  LocalSizes sizes{local.PackedSize, local.UnpackedSize};
  for (const ExtraField& field : ParseExtraFields(extra)) {
    if (field.HeaderID != kZip64FieldId || field.Data.size() < 16) continue;
    if (local.UnpackedSize == kSaturated32) sizes.unpacked = LoadU64(field.Data, 0);
    if (local.PackedSize == kSaturated32) sizes.packed = LoadU64(field.Data, 8);
  }
  return sizes;
}

// A header written before its data was known (flag bit 3) may leave the
// CRC-32 and sizes at 0; the data descriptor carries them instead.
bool RepeatsEntry(const LocalFileHeader& local, const LocalSizes& sizes, const TDirItem& entry) {
  const bool deferred = (local.Flags & kFlagDataDescriptor) != 0;
  const auto same = [deferred](uint64_t in_header, uint64_t in_directory) {
    return in_header == in_directory || (deferred && in_header == 0);
  };
  return local.VersionNeeded == entry.VersionNeeded && local.Method == entry.Method &&
         local.FileTime == entry.FileTime && local.FileDate == entry.FileDate &&
         same(local.Crc32, entry.Crc32) && same(sizes.packed, entry.PackedSize64()) &&
         same(sizes.unpacked, entry.UnpackedSize64());
}

// Where the archive proper begins once entry 0's header stands at `hit`: at
// the first local header, which need not be entry 0's.
int64_t FirstHeader(const TPLDirArray& dir, int64_t hit, int64_t shift) {
  int64_t first = hit;
  for (int32_t i = 1; i < dir.Count(); ++i) {
    const uint64_t stated = dir.Items(i).LocalHeaderOffset64();
    if (stated < uint64_t(hit) && int64_t(stated) + shift >= 0)
      first = std::min(first, int64_t(stated) + shift);
  }
  return first;
}

// The hit is a whole local header (its name and extra area included) that
// stands for entry 0.
bool AcceptsHeader(platform::Stream& stream, int64_t size, int64_t hit, const TDirItem& entry) {
  std::vector<uint8_t> bytes;
  if (!ReadExactAt(stream, size, hit, kLocalHeaderSize, bytes)) return false;
  const auto local = LocalFileHeader::Parse(std::span<const uint8_t, kLocalHeaderSize>(bytes));
  if (local.Signature != kLocalHeaderSignature) return false;
  const int64_t extra_at = hit + int64_t{kLocalHeaderSize} + local.NameLength;
  if (extra_at > size) return false;
  if (hit == 0) return true;
  const auto extra_length =
      static_cast<size_t>(std::min<int64_t>(local.ExtraLength, size - extra_at));
  if (!ReadExactAt(stream, size, extra_at, extra_length, bytes)) return false;
  return RepeatsEntry(local, SizesOf(local, bytes), entry);
}

// A hostile Zip64 offset near the top of the range would wrap around to a
// small one that points at real data; it saturates instead, past any end.
void ShiftOffset(TDirItem& item, int64_t shift) {
  const uint64_t offset = item.LocalHeaderOffset64();
  const auto step = static_cast<uint64_t>(shift);
  const uint64_t moved = offset > UINT64_MAX - step ? UINT64_MAX : offset + step;
  if (item.LocalHeaderOffset != kSaturated32 && moved < kSaturated32) {
    item.LocalHeaderOffset = static_cast<uint32_t>(moved);
    return;
  }
  item.LocalHeaderOffset = kSaturated32;
  item.Zip64LocalHeaderOffset = moved;
  item.IsZip64 = true;
}

}  // namespace

StubInfo DetectStub(platform::Stream& stream, const TPLDirArray& dir, int64_t end_position,
                    int64_t directory_start) {
  StubInfo info;
  if (dir.Count() == 0) {
    info.stub_size = end_position;
    return info;
  }
  const TDirItem& first = dir.Items(0);
  const uint64_t stated = first.LocalHeaderOffset64();
  const int64_t size = std::min(stream.Size(), directory_start);
  if (size < 0 || stated >= static_cast<uint64_t>(size)) return info;
  SignatureScanner scanner(stream, size, kLocalHeaderSignature);
  auto hit = scanner.NextFrom(static_cast<int64_t>(stated));
  while (hit && !AcceptsHeader(stream, size, *hit, first)) hit = scanner.NextFrom(*hit + 1);
  if (!hit) return info;
  info.shift = *hit - static_cast<int64_t>(stated);
  info.stub_size = FirstHeader(dir, *hit, info.shift);
  return info;
}

void ShiftOffsets(TPLDirArray& dir, int64_t shift) {
  if (shift <= 0) return;
  for (int32_t i = 0; i < dir.Count(); ++i) ShiftOffset(dir.Items(i), shift);
}

}  // namespace parcelon
