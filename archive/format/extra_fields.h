// Extra fields of central and local headers: parsing the area into records
// and the fields the engine interprets (Zip64, Unicode name, AES, and the
// Unicode path field of other tools).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace parcelon {

inline constexpr uint16_t kZip64FieldId = 0x0001;
inline constexpr uint16_t kUnicodeNameFieldId = 0x554E;
inline constexpr uint32_t kUnicodeNameMarker = 0x5843554E;
inline constexpr uint16_t kAesFieldId = 0x9901;
inline constexpr uint16_t kUnicodePathFieldId = 0x7075;

// One extra field: ID, declared (possibly cut) size, and its data.
struct ExtraField {
  uint16_t HeaderID = 0;
  uint16_t DataSize = 0;
  std::vector<uint8_t> Data;  // DataSize bytes
};

// Splits an extra area into fields, in order. A field whose declared size
// runs past the area is cut to what remains (its DataSize then tells the
// bytes kept); fewer than 4 bytes left after the last field (alignment
// padding or a torn header) are no field and are dropped.
std::vector<ExtraField> ParseExtraFields(std::span<const uint8_t> area);

// Appends the field as ID, DataSize and data; data shorter than DataSize is
// padded with zeros, so that the declared size stays true.
void AppendExtraField(std::vector<uint8_t>& out, const ExtraField& field);

// Which fixed fields of a central header are saturated, so that the Zip64
// field holds their value.
struct Zip64Needs {
  bool unpacked = false;
  bool packed = false;
  bool offset = false;
  bool disk = false;
};

// Values taken from a Zip64 field, each present only when needed and when
// data remained for it (consumed strictly in the order unpacked, packed,
// offset, disk).
struct Zip64Values {
  std::optional<uint64_t> unpacked;
  std::optional<uint64_t> packed;
  std::optional<uint64_t> offset;
  std::optional<uint32_t> disk;
};
Zip64Values ReadZip64Field(std::span<const uint8_t> data, Zip64Needs needs);
// The central-header Zip64 field with the given values (only those present).
ExtraField MakeZip64Field(const Zip64Values& values);

// The Unicode name field's name, when its marker matches and its count fits
// the data; nullopt otherwise.
std::optional<std::u16string> ReadUnicodeNameField(std::span<const uint8_t> data);
// The longest name a Unicode name field can carry (its data size is a u16).
inline constexpr size_t kMaxUnicodeNameUnits = (0xFFFF - 8) / 2;
// The field for `name`. A name longer than kMaxUnicodeNameUnits gives a
// field with no data, which readers ignore (its marker is missing); a writer
// may leave such a field out.
ExtraField MakeUnicodeNameField(std::u16string_view name);

// The method word of an AES-encrypted entry's headers; its real method is
// in the AES field.
inline constexpr uint16_t kMethodAesEncrypted = 99;
// AES field vendor versions: 1 keeps the entry's CRC-32 in its headers, 2
// may leave it 0 (the authentication code checks the data instead).
inline constexpr uint16_t kAesVendorVersion1 = 1;
inline constexpr uint16_t kAesVendorVersion2 = 2;

// The AES field (7 data bytes): vendor version, the vendor ID "AE", the key
// strength (1, 2, 3 for a 128, 192, 256-bit key) and the real method.
struct AesField {
  uint16_t VendorVersion = kAesVendorVersion2;
  uint8_t KeyStrength = 0;  // 1, 2 or 3
  uint16_t Method = 0;
};
// The field in `data`; nullopt unless it has exactly 7 bytes, vendor
// version 1 or 2, the vendor ID "AE" and key strength 1, 2 or 3.
std::optional<AesField> ReadAesField(std::span<const uint8_t> data);
ExtraField MakeAesField(const AesField& field);

// The UTF-8 name of a Unicode path field (version 1) when the CRC-32 it
// records matches `stored_name`, the raw name bytes of the header.
std::optional<std::string> ReadUnicodePathField(std::span<const uint8_t> data,
                                                std::string_view stored_name);

}  // namespace parcelon
