#include "archive/directory/central_reader.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "archive/directory/format_damage.h"
#include "archive/format/byte_io.h"
#include "archive/format/name_codec.h"

namespace parcelon {
namespace {

std::string_view AsText(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// `index` counts from 0; the reason counts from 1, as people do.
[[noreturn]] void ThrowDamaged(size_t index) {
  throw EPLFormatDamage("central header " + std::to_string(index + 1) + " is damaged");
}

void ApplyZip64Field(TDirItem& item, std::span<const uint8_t> data) {
  Zip64Needs needs;
  needs.unpacked = item.UnpackedSize == kSaturated32;
  needs.packed = item.PackedSize == kSaturated32;
  needs.offset = item.LocalHeaderOffset == kSaturated32;
  needs.disk = item.DiskStart == kSaturated16;
  const Zip64Values values = ReadZip64Field(data, needs);
  if (values.unpacked) item.Zip64UnpackedSize = *values.unpacked;
  if (values.packed) item.Zip64PackedSize = *values.packed;
  if (values.offset) item.Zip64LocalHeaderOffset = *values.offset;
  if (values.disk) item.Zip64DiskStart = *values.disk;
  item.IsZip64 = true;
}

void ApplyAesField(TDirItem& item, std::span<const uint8_t> data) {
  if (item.VersionNeeded >= kVersionAesLimit) return;
  const std::optional<AesField> aes = ReadAesField(data);
  if (!aes) return;
  if (aes->KeyStrength >= 1 && aes->KeyStrength <= 3)
    item.Encryption = static_cast<TPLCryptoAlgorithm>(caAES_128 + (aes->KeyStrength - 1));
  item.RealMethod = aes->Method;
}

// The stated directory area seen through a window of at least 1 MiB that
// moves forward with the headers: the area is never held whole, and a
// stated size far beyond the real headers costs no memory.
class AreaWindow {
 public:
  AreaWindow(platform::Stream& stream, int64_t start, uint64_t size)
      : stream_(stream), start_(start), size_(size) {}

  uint64_t Size() const { return size_; }

  // The `count` bytes at `position`; nullopt when the area ends before.
  std::optional<std::span<const uint8_t>> Bytes(uint64_t position, size_t count) {
    if (count > size_ || position > size_ - count) return std::nullopt;
    if (position < first_ || position + count > first_ + bytes_.size()) Read(position, count);
    return std::span<const uint8_t>(bytes_).subspan(static_cast<size_t>(position - first_), count);
  }

 private:
  void Read(uint64_t position, size_t count) {
    constexpr uint64_t kWindow = 1024 * 1024;
    const auto length =
        static_cast<size_t>(std::min(std::max<uint64_t>(count, kWindow), size_ - position));
    bytes_.resize(length);
    first_ = position;
    stream_.Seek(start_ + static_cast<int64_t>(position), platform::SeekOrigin::kBegin);
    stream_.ReadBuffer(bytes_.data(), length);
  }

  platform::Stream& stream_;
  int64_t start_;
  uint64_t size_;
  uint64_t first_ = 0;
  std::vector<uint8_t> bytes_;
};

// The length of the header at `position` with its name, extra area and
// comment, or nullopt when no header starts there. Throws when the header
// runs past the area.
std::optional<size_t> HeaderLength(AreaWindow& area, uint64_t position, uint64_t index) {
  const auto fixed = area.Bytes(position, kCentralHeaderSize);
  if (!fixed || LoadU32(*fixed, 0) != kCentralHeaderSignature) return std::nullopt;
  const size_t length =
      kCentralHeaderSize + LoadU16(*fixed, 28) + LoadU16(*fixed, 30) + LoadU16(*fixed, 32);
  if (length > area.Size() - position) ThrowDamaged(static_cast<size_t>(index));
  return length;
}

// The number of headers to read: `claimed` ones first, each of which must
// start with the central header signature, then those that follow with it.
// Each header's name, extra area and comment must lie inside the area.
uint64_t CountHeaders(AreaWindow& area, uint64_t claimed) {
  if (claimed > area.Size() / kCentralHeaderSize)
    throw EPLFormatDamage("the end record counts more entries than the central directory holds");
  uint64_t count = 0;
  for (uint64_t position = 0;; ++count) {
    const std::optional<size_t> length = HeaderLength(area, position, count);
    if (!length && count < claimed) ThrowDamaged(static_cast<size_t>(count));
    if (!length) return count;
    position += *length;
  }
}

// Interprets the extra fields of `area` for `item`; gives the name a name
// field carries.
std::optional<std::u16string> ApplyExtraFields(TDirItem& item, std::span<const uint8_t> area,
                                               std::string_view stored_name,
                                               const platform::CodePages& code_pages) {
  item.IsZip64 = false;
  std::optional<std::u16string> unicode_name;
  std::optional<std::u16string> path_name;
  for (const ExtraField& field : ParseExtraFields(area)) {
    const std::span<const uint8_t> data(field.Data);
    if (field.HeaderID == kZip64FieldId) {
      ApplyZip64Field(item, data);
    } else if (field.HeaderID == kAesFieldId && field.DataSize == 7) {
      ApplyAesField(item, data);
    } else if (field.HeaderID == kUnicodeNameFieldId) {
      if (auto name = ReadUnicodeNameField(data)) unicode_name = std::move(name);  // last wins
    } else if (field.HeaderID == kUnicodePathFieldId && !path_name) {
      if (auto utf8 = ReadUnicodePathField(data, stored_name))
        path_name = code_pages.Utf8ToWide(*utf8);
    }
  }
  return unicode_name ? unicode_name : path_name;
}

void ReadHeader(std::span<const uint8_t> header, bool oem_file_names,
                const platform::CodePages& code_pages, TPLDirArray& dir, int32_t index) {
  TDirItem& item = dir.Items(index);
  item = TDirItem();  // a reused slot keeps nothing of an earlier entry
  item.ParseHeader(header.first<kCentralHeaderSize>());
  // A saturated field without a Zip64 value means what it says.
  item.Zip64UnpackedSize = item.UnpackedSize;
  item.Zip64PackedSize = item.PackedSize;
  item.Zip64LocalHeaderOffset = item.LocalHeaderOffset;
  item.RealMethod = item.Method;
  ByteReader reader(header.subspan(kCentralHeaderSize));
  const std::string_view stored = AsText(reader.Bytes(item.NameLength));
  const auto extra = reader.Bytes(item.ExtraLength);
  const auto comment = reader.Bytes(item.CommentLength);
  if (!reader.Ok()) ThrowDamaged(static_cast<size_t>(index));
  dir.SetName(index, DecodeEntryName(item, {stored, AsText(comment), extra}, oem_file_names,
                                     code_pages, &dir.Arena()));
}

}  // namespace

TEntryName DecodeEntryName(TDirItem& item, const StoredTexts& stored, bool oem_file_names,
                           const platform::CodePages& code_pages, TPLTextArena* arena) {
  std::optional<std::u16string> name;
  if (!stored.extra.empty()) name = ApplyExtraFields(item, stored.extra, stored.name, code_pages);
  const bool utf8 = (item.Flags & kFlagUtf8) != 0;
  if (!name) {
    name = DecodeStoredName(stored.name, utf8, oem_file_names, code_pages,
                            MadeOnUnix(item.VersionMadeBy));
  }
  item.SetLoaded({*name, stored.name, utf8, stored.comment, stored.extra}, arena);
  if (arena) return TEntryName::Borrowed(item.LoadedName());
  return TEntryName(*name);
}

void ReadCentralHeaders(platform::Stream& stream, int64_t start, uint64_t size, uint64_t claimed,
                        bool oem_file_names, const platform::CodePages& code_pages,
                        TPLDirArray& dir) {
  AreaWindow area(stream, start, size);
  const uint64_t count = CountHeaders(area, claimed);
  if (count > uint64_t{std::numeric_limits<int32_t>::max()})
    throw EPLFormatDamage("the central directory holds more entries than can be loaded");
  dir.SetCount(static_cast<int32_t>(count));
  uint64_t position = 0;
  for (int32_t i = 0; i < static_cast<int32_t>(count); ++i) {
    const size_t length = *HeaderLength(area, position, static_cast<uint64_t>(i));
    ReadHeader(*area.Bytes(position, length), oem_file_names, code_pages, dir, i);
    position += length;
  }
}

}  // namespace parcelon
