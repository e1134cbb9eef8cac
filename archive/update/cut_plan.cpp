#include "archive/update/cut_plan.h"

#include <algorithm>
#include <span>
#include <vector>

#include "archive/format/records.h"

namespace parcelon {
namespace {

// The most a local header's name and extra area and a data descriptor can
// add to an entry: an entry that starts this far before the cut cannot
// reach it unless its data does.
constexpr uint64_t kMaxVariable = 2 * 0xFFFF + 24;

uint64_t Offset(const TDirItem& item) {
  return item.LocalHeaderOffset64();
}

// Where the entry's record ends, read from its local header; the largest
// value when the header cannot be read or does not hold one.
uint64_t RecordEnd(const TDirItem& item, platform::Stream& archive, int64_t size) {
  const uint64_t offset = Offset(item);
  if (offset > uint64_t(size) || uint64_t(size) - offset < kLocalHeaderSize) return UINT64_MAX;
  std::vector<uint8_t> bytes(kLocalHeaderSize);
  archive.Seek(int64_t(offset), platform::SeekOrigin::kBegin);
  archive.ReadBuffer(bytes.data(), bytes.size());
  const auto local = LocalFileHeader::Parse(std::span<const uint8_t, kLocalHeaderSize>(bytes));
  if (local.Signature != kLocalHeaderSignature) return UINT64_MAX;
  const uint64_t descriptor = (local.Flags & kFlagDataDescriptor) != 0 ? 24 : 0;
  const uint64_t fixed = kLocalHeaderSize + uint64_t{local.NameLength} + local.ExtraLength;
  const uint64_t packed = item.PackedSize64();
  return packed > UINT64_MAX - offset - fixed - descriptor ? UINT64_MAX
                                                           : offset + fixed + packed + descriptor;
}

// Every entry before `first` ends at or before `cut`.
bool PrefixFits(const TPLDirArray& snapshot, int32_t first, uint64_t cut,
                platform::Stream& archive) {
  const int64_t size = archive.Size();
  for (int32_t i = 0; i < first; ++i) {
    const TDirItem& item = snapshot.Items(i);
    const uint64_t offset = Offset(item);
    if (offset >= cut) return false;
    const uint64_t packed = item.PackedSize64();
    if (packed <= cut - offset && cut - offset - packed >= kMaxVariable) continue;
    if (RecordEnd(item, archive, size) > cut) return false;
  }
  return true;
}

uint64_t LowestOffsetFrom(const TPLDirArray& snapshot, int32_t first, uint64_t entries_end) {
  uint64_t lowest = entries_end;
  for (int32_t i = first; i < snapshot.Count(); ++i)
    lowest = std::min(lowest, Offset(snapshot.Items(i)));
  return lowest;
}

}  // namespace

CutPlan PlanCut(const TPLDirArray& snapshot, int32_t first_change, int64_t entries_end,
                int64_t stub_size, platform::Stream& archive) {
  const int64_t size = archive.Size();
  const auto end =
      uint64_t(std::clamp<int64_t>(snapshot.Count() == 0 ? stub_size : entries_end, 0, size));
  const int32_t first = std::min(first_change, snapshot.Count());
  const uint64_t cut = LowestOffsetFrom(snapshot, first, end);
  if (PrefixFits(snapshot, first, cut, archive)) return {first, int64_t(cut)};
  return {0, int64_t(std::min<uint64_t>(LowestOffsetFrom(snapshot, 0, end), uint64_t(size)))};
}

}  // namespace parcelon
