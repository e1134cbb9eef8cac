#include "archive/extract/aes_key_planning.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "archive/codec/decryption_password.h"
#include "archive/format/records.h"
#include "platform/exception.h"

namespace parcelon {
namespace {

bool Comes(const AesKeyPlanning& planning, int32_t index) {
  const TDirItem& entry = planning.dir.Items(index);
  const bool overlaps =
      size_t(index) < planning.overlaps.size() && planning.overlaps[size_t(index)];
  return (!planning.marked_only || entry.Marked) && !entry.IsFolder() && IsAesEntry(entry) &&
         !overlaps;
}

// `count` bytes at `offset`, when they lie before `end` and can be read.
std::optional<std::vector<uint8_t>> ReadAt(platform::Stream& archive, uint64_t offset, size_t count,
                                           uint64_t end) {
  if (offset > end || count > end - offset) return std::nullopt;
  archive.Seek(static_cast<int64_t>(offset), platform::SeekOrigin::kBegin);
  std::vector<uint8_t> bytes(count);
  if (archive.Read(bytes.data(), count) != count) return std::nullopt;
  return bytes;
}

// The salt in front of the entry's data, found as the decoder finds it.
std::optional<std::vector<uint8_t>> ReadSalt(const AesKeyPlanning& planning,
                                             const TDirItem& entry) {
  const size_t length = AesSaltLength(static_cast<uint8_t>(entry.Encryption));
  const uint64_t end = std::min(uint64_t(planning.archive.Size()), planning.data_limit);
  const uint64_t offset = entry.LocalHeaderOffset64();
  const auto header = ReadAt(planning.archive, offset, kLocalHeaderSize, end);
  if (length == 0 || length > entry.PackedSize64() || !header) return std::nullopt;
  const LocalFileHeader local = LocalFileHeader::Parse(
      std::span<const uint8_t, kLocalHeaderSize>(header->data(), kLocalHeaderSize));
  const uint64_t start = offset + kLocalHeaderSize + local.NameLength + local.ExtraLength;
  return ReadAt(planning.archive, start, length, end);
}

std::optional<std::vector<uint8_t>> SaltOrNothing(const AesKeyPlanning& planning,
                                                  const TDirItem& entry) {
  try {
    return ReadSalt(planning, entry);
  } catch (const platform::IoError&) {
    return std::nullopt;
  }
}

}  // namespace

void PlanAesKeysAfter(int32_t index, const AesKeyPlanning& planning,
                      std::shared_ptr<AesKeyReadAhead>& ahead) {
  if (ahead) ahead->DropBefore(index);
  // Plain entries pay nothing: planning starts at the first AES entry.
  if (!HasSecret(planning.password) || !IsAesEntry(planning.dir.Items(index))) return;
  const std::string& password = planning.password->Text();
  const int64_t last =
      std::min<int64_t>(planning.dir.Count() - int64_t{1}, int64_t{index} + kAesLookAhead);
  for (int32_t next = index + 1; next <= last; ++next) {
    if (!Comes(planning, next) || (ahead && ahead->Planned(next, password))) continue;
    if (!ahead && !(ahead = AesKeyReadAhead::Start())) return;
    const TDirItem& entry = planning.dir.Items(next);
    const auto salt = SaltOrNothing(planning, entry);
    if (salt &&
        !ahead->Plan(next, planning.password, *salt, static_cast<uint8_t>(entry.Encryption)))
      return;  // as many planned as the read ahead takes
  }
}

}  // namespace parcelon
