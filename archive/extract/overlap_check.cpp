#include "archive/extract/overlap_check.h"

#include <algorithm>
#include <numeric>

#include "archive/format/records.h"

namespace parcelon {
namespace {

// Where the entry's record ends at the least; the largest value when the
// sum does not fit.
uint64_t RecordEnd(const TDirItem& item) {
  const uint64_t start = item.LocalHeaderOffset64();
  const uint64_t length = kLocalHeaderSize + uint64_t{item.NameLength};
  const uint64_t packed = item.PackedSize64();
  if (start > UINT64_MAX - length || packed > UINT64_MAX - start - length) return UINT64_MAX;
  return start + length + packed;
}

}  // namespace

std::vector<bool> FindOverlaps(const TPLDirArray& dir, uint64_t directory_start) {
  const auto count = static_cast<size_t>(dir.Count());
  std::vector<int32_t> order(count);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&dir](int32_t a, int32_t b) {
    return dir.Items(a).LocalHeaderOffset64() < dir.Items(b).LocalHeaderOffset64();
  });
  std::vector<bool> overlaps(count, false);
  uint64_t reach = 0;  // the furthest end of the records so far
  int32_t reaching = -1;
  for (const int32_t index : order) {
    const TDirItem& item = dir.Items(index);
    if (reaching >= 0 && item.LocalHeaderOffset64() < reach)
      overlaps[size_t(index)] = overlaps[size_t(reaching)] = true;
    if (RecordEnd(item) > directory_start) overlaps[size_t(index)] = true;
    if (RecordEnd(item) > reach) reach = RecordEnd(item), reaching = index;
  }
  return overlaps;
}

}  // namespace parcelon
