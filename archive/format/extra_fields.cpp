#include "archive/format/extra_fields.h"

#include <algorithm>

#include "archive/format/byte_io.h"
#include "archive/format/crc32.h"

namespace parcelon {
namespace {

constexpr size_t kFieldHeaderSize = 4;
constexpr size_t kUnicodeNamePrefixSize = 8;  // marker and count
constexpr size_t kAesDataSize = 7;
constexpr uint8_t kUnicodePathVersion = 1;

ExtraField FieldOf(uint16_t id, std::vector<uint8_t> data) {
  ExtraField field;
  field.HeaderID = id;
  field.DataSize = static_cast<uint16_t>(data.size());
  field.Data = std::move(data);
  return field;
}

// Reads the next value of `width` bytes into `slot` when it is needed. Gives
// false once a needed value does not fit, so later values are not taken
// from the wrong place.
template <typename T>
bool TakeIfNeeded(ByteReader& reader, bool needed, std::optional<T>& slot) {
  if (!needed) return true;
  if (!reader.Has(sizeof(T))) return false;
  slot = static_cast<T>(sizeof(T) == 8 ? reader.U64() : reader.U32());
  return true;
}

}  // namespace

std::vector<ExtraField> ParseExtraFields(std::span<const uint8_t> area) {
  std::vector<ExtraField> fields;
  ByteReader reader(area);
  while (reader.Remaining() >= kFieldHeaderSize) {
    const uint16_t id = reader.U16();
    const uint16_t declared = reader.U16();
    const size_t size = std::min<size_t>(declared, reader.Remaining());
    auto data = reader.Bytes(size);
    fields.push_back(FieldOf(id, {data.begin(), data.end()}));
  }
  // Fewer than 4 bytes left hold no field: alignment padding, or a torn
  // header. They are not kept, so a rewrite neither invents a field from
  // them nor moves what follows.
  return fields;
}

void AppendExtraField(std::vector<uint8_t>& out, const ExtraField& field) {
  AppendLE<uint16_t>(out, field.HeaderID);
  AppendLE<uint16_t>(out, field.DataSize);
  const size_t size = std::min<size_t>(field.DataSize, field.Data.size());
  out.insert(out.end(), field.Data.begin(), field.Data.begin() + static_cast<ptrdiff_t>(size));
  out.resize(out.size() + (field.DataSize - size), 0);  // keep the declared size true
}

Zip64Values ReadZip64Field(std::span<const uint8_t> data, Zip64Needs needs) {
  Zip64Values values;
  ByteReader reader(data);
  TakeIfNeeded(reader, needs.unpacked, values.unpacked) &&
      TakeIfNeeded(reader, needs.packed, values.packed) &&
      TakeIfNeeded(reader, needs.offset, values.offset) &&
      TakeIfNeeded(reader, needs.disk, values.disk);
  return values;
}

ExtraField MakeZip64Field(const Zip64Values& values) {
  std::vector<uint8_t> data;
  if (values.unpacked) AppendLE<uint64_t>(data, *values.unpacked);
  if (values.packed) AppendLE<uint64_t>(data, *values.packed);
  if (values.offset) AppendLE<uint64_t>(data, *values.offset);
  if (values.disk) AppendLE<uint32_t>(data, *values.disk);
  return FieldOf(kZip64FieldId, std::move(data));
}

std::optional<std::u16string> ReadUnicodeNameField(std::span<const uint8_t> data) {
  ByteReader reader(data);
  if (reader.U32() != kUnicodeNameMarker || !reader.Ok()) return std::nullopt;
  const uint64_t count = reader.U32();
  if (!reader.Ok() || count * 2 > reader.Remaining()) return std::nullopt;
  std::u16string name;
  name.reserve(static_cast<size_t>(count));
  for (uint64_t i = 0; i < count; ++i) name += static_cast<char16_t>(reader.U16());
  return name;
}

ExtraField MakeUnicodeNameField(std::u16string_view name) {
  if (name.size() > kMaxUnicodeNameUnits) return FieldOf(kUnicodeNameFieldId, {});
  std::vector<uint8_t> data;
  data.reserve(kUnicodeNamePrefixSize + 2 * name.size());
  AppendLE<uint32_t>(data, kUnicodeNameMarker);
  AppendLE<uint32_t>(data, static_cast<uint32_t>(name.size()));
  for (char16_t unit : name) AppendLE<uint16_t>(data, unit);
  return FieldOf(kUnicodeNameFieldId, std::move(data));
}

std::optional<AesField> ReadAesField(std::span<const uint8_t> data) {
  if (data.size() != kAesDataSize) return std::nullopt;
  ByteReader reader(data);
  AesField field;
  field.VendorVersion = reader.U16();
  const auto vendor = reader.Bytes(2);
  field.KeyStrength = reader.U8();
  field.Method = reader.U16();
  const bool known_version =
      field.VendorVersion == kAesVendorVersion1 || field.VendorVersion == kAesVendorVersion2;
  const bool our_vendor = vendor.size() == 2 && vendor[0] == 'A' && vendor[1] == 'E';
  if (!reader.Ok() || !known_version || !our_vendor) return std::nullopt;
  if (field.KeyStrength < 1 || field.KeyStrength > 3) return std::nullopt;
  return field;
}

ExtraField MakeAesField(const AesField& field) {
  std::vector<uint8_t> data;
  AppendLE<uint16_t>(data, field.VendorVersion);
  data.push_back('A');
  data.push_back('E');
  data.push_back(field.KeyStrength);
  AppendLE<uint16_t>(data, field.Method);
  return FieldOf(kAesFieldId, std::move(data));
}

std::optional<std::string> ReadUnicodePathField(std::span<const uint8_t> data,
                                                std::string_view stored_name) {
  ByteReader reader(data);
  const uint8_t version = reader.U8();
  const uint32_t crc = reader.U32();
  if (!reader.Ok() || version != kUnicodePathVersion || crc != Crc32Of(stored_name))
    return std::nullopt;
  auto name = reader.Bytes(reader.Remaining());
  return std::string(name.begin(), name.end());
}

}  // namespace parcelon
