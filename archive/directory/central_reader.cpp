#include "archive/directory/central_reader.h"

#include <algorithm>
#include <limits>
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

// The bytes of the stated directory area, read from the stream only as far
// as the headers found so far reach (at least doubling each time), so that a
// stated size far beyond the real headers costs no memory.
class GrowingArea {
 public:
  GrowingArea(platform::Stream& stream, int64_t start, uint64_t size)
      : stream_(stream), start_(start), size_(size) {}

  uint64_t Size() const { return size_; }
  std::span<const uint8_t> Bytes() const { return bytes_; }

  // Makes the first `count` bytes available; false when the area is smaller.
  bool Ensure(uint64_t count) {
    if (count > size_) return false;
    if (count <= bytes_.size()) return true;
    constexpr uint64_t kFirstRead = 64 * 1024;
    const uint64_t wanted = std::max({count, uint64_t{bytes_.size()} * 2, kFirstRead});
    const auto target = static_cast<size_t>(std::min(wanted, size_));
    const size_t have = bytes_.size();
    bytes_.resize(target);
    stream_.Seek(start_ + static_cast<int64_t>(have), platform::SeekOrigin::kBegin);
    stream_.ReadBuffer(bytes_.data() + have, target - have);
    return true;
  }

 private:
  platform::Stream& stream_;
  int64_t start_;
  uint64_t size_;
  std::vector<uint8_t> bytes_;
};

// The offsets of the headers to read: `claimed` ones first, each of which
// must start with the central header signature, then those that follow with
// it. Each header's name, extra area and comment must lie inside the area.
std::vector<size_t> LocateHeaders(GrowingArea& area, uint64_t claimed) {
  if (claimed > area.Size() / kCentralHeaderSize)
    throw EPLFormatDamage("the end record counts more entries than the central directory holds");
  std::vector<size_t> offsets;
  offsets.reserve(static_cast<size_t>(std::min<uint64_t>(claimed, 1 << 16)));
  size_t position = 0;
  for (;;) {
    const bool header = area.Ensure(uint64_t{position} + kCentralHeaderSize) &&
                        LoadU32(area.Bytes(), position) == kCentralHeaderSignature;
    if (!header && offsets.size() < claimed) ThrowDamaged(offsets.size());
    if (!header) break;
    const auto bytes = area.Bytes();
    const size_t variable = size_t{LoadU16(bytes, position + 28)} + LoadU16(bytes, position + 30) +
                            LoadU16(bytes, position + 32);
    if (!area.Ensure(uint64_t{position} + kCentralHeaderSize + variable))
      ThrowDamaged(offsets.size());
    offsets.push_back(position);
    position += kCentralHeaderSize + variable;
  }
  return offsets;
}

// Keeps the extra fields of `area` on `item` in order and interprets them;
// gives the name a name field carries.
std::optional<std::u16string> ApplyExtraFields(TDirItem& item, std::span<const uint8_t> area,
                                               std::string_view stored_name,
                                               const platform::CodePages& code_pages) {
  item.IsZip64 = false;
  item.ExtraFields = ParseExtraFields(area);
  std::optional<std::u16string> unicode_name;
  std::optional<std::u16string> path_name;
  for (const ExtraField& field : item.ExtraFields) {
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
  item.Comment = std::string(AsText(comment));
  dir.SetName(index, DecodeEntryName(item, stored, extra, oem_file_names, code_pages));
}

}  // namespace

std::u16string DecodeEntryName(TDirItem& item, std::string_view stored,
                               std::span<const uint8_t> extra, bool oem_file_names,
                               const platform::CodePages& code_pages) {
  std::optional<std::u16string> name;
  if (!extra.empty()) name = ApplyExtraFields(item, extra, stored, code_pages);
  item.LoadedNameUtf8 = (item.Flags & kFlagUtf8) != 0;
  item.LoadedNameBytes = std::string(stored);
  item.LoadedName = name ? std::move(*name)
                         : DecodeStoredName(stored, item.LoadedNameUtf8, oem_file_names, code_pages,
                                            MadeOnUnix(item.VersionMadeBy));
  return item.LoadedName;
}

void ReadCentralHeaders(platform::Stream& stream, int64_t start, uint64_t size, uint64_t claimed,
                        bool oem_file_names, const platform::CodePages& code_pages,
                        TPLDirArray& dir) {
  GrowingArea area(stream, start, size);
  const std::vector<size_t> offsets = LocateHeaders(area, claimed);
  if (offsets.size() > size_t{std::numeric_limits<int32_t>::max()})
    throw EPLFormatDamage("the central directory holds more entries than can be loaded");
  dir.SetCount(static_cast<int32_t>(offsets.size()));
  for (size_t i = 0; i < offsets.size(); ++i) {
    ReadHeader(area.Bytes().subspan(offsets[i]), oem_file_names, code_pages, dir,
               static_cast<int32_t>(i));
  }
}

}  // namespace parcelon
