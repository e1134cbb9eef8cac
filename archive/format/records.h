// The fixed parts of the ZIP records, read from and written to little-endian
// byte images. Parsing a fixed image cannot fail: the caller supplies exactly
// the record's size; the signature is returned as read, not checked.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace parcelon {

inline constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr uint32_t kEndRecordSignature = 0x06054B50;
inline constexpr uint32_t kZip64EndRecordSignature = 0x06064B50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
inline constexpr uint32_t kDataDescriptorSignature = 0x08074B50;

inline constexpr size_t kLocalHeaderSize = 30;
inline constexpr size_t kCentralHeaderSize = 46;
inline constexpr size_t kEndRecordSize = 22;
inline constexpr size_t kZip64EndRecordSize = 56;
inline constexpr size_t kZip64LocatorSize = 20;
inline constexpr size_t kDataDescriptorSize = 16;
inline constexpr size_t kZip64DataDescriptorSize = 24;

inline constexpr uint32_t kSaturated32 = 0xFFFFFFFF;
inline constexpr uint16_t kSaturated16 = 0xFFFF;

// General purpose flag bits.
inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagFolder = 0x0002;
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr uint16_t kFlagUtf8 = 0x0800;

// Version values written by the engine; below kVersionAesLimit a set
// encryption bit means traditional encryption unless an AES field says otherwise.
inline constexpr uint16_t kVersionZip64 = 45;
inline constexpr uint16_t kVersionOem = 20;
inline constexpr uint16_t kVersionAesLimit = 0x4114;
// The host byte (high byte of version made by) of entries made on Unix: their
// external attributes carry st_mode in the high 16 bits, and names without
// flag bit 11 are the file's own bytes.
inline constexpr uint16_t kHostUnix = 3;
inline constexpr uint16_t kMadeOnUnix = kHostUnix << 8;
inline bool MadeOnUnix(uint16_t version_made_by) {
  return (version_made_by >> 8) == kHostUnix;
}

struct LocalFileHeader {
  uint32_t Signature = kLocalHeaderSignature;
  uint16_t VersionNeeded = 0;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint16_t FileTime = 0;
  uint16_t FileDate = 0;
  uint32_t Crc32 = 0;
  uint32_t PackedSize = 0;
  uint32_t UnpackedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;

  static LocalFileHeader Parse(std::span<const uint8_t, kLocalHeaderSize> bytes);
  std::array<uint8_t, kLocalHeaderSize> Serialize() const;
};

// The 46-byte central directory header image; the in-memory directory entry
// begins with these fields.
struct CentralDirHeader {
  uint32_t Signature = kCentralHeaderSignature;
  uint16_t VersionMadeBy = 0;
  uint16_t VersionNeeded = 0;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint16_t FileTime = 0;
  uint16_t FileDate = 0;
  uint32_t Crc32 = 0;
  uint32_t PackedSize = 0;
  uint32_t UnpackedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;
  uint16_t CommentLength = 0;
  uint16_t DiskStart = 0;
  uint16_t InternalAttributes = 0;
  uint32_t ExternalAttributes = 0;
  uint32_t LocalHeaderOffset = 0;

  // Fills the 17 fields from a header image.
  void ParseHeader(std::span<const uint8_t, kCentralHeaderSize> bytes);
  std::array<uint8_t, kCentralHeaderSize> SerializeHeader() const;
};

// The fields a local header shares with an entry (version needed, flags,
// method, time, date, CRC-32, sizes, name and extra lengths), copied from
// the entry into a new local header, or from a local header into `entry`
// (its other fields left as they are). The writer of a local header sets
// the sizes and lengths it writes.
LocalFileHeader LocalHeaderOf(const CentralDirHeader& entry);
void CopyLocalFields(const LocalFileHeader& local, CentralDirHeader& entry);

// The fixed 22 bytes of the end of central directory record.
struct EndRecord {
  uint32_t Signature = kEndRecordSignature;
  uint16_t ThisDisk = 0;
  uint16_t DirectoryDisk = 0;
  uint16_t EntriesOnDisk = 0;
  uint16_t TotalEntries = 0;
  uint32_t DirectorySize = 0;
  uint32_t DirectoryOffset = 0;
  uint16_t CommentLength = 0;

  static EndRecord Parse(std::span<const uint8_t, kEndRecordSize> bytes);
  std::array<uint8_t, kEndRecordSize> Serialize() const;
};

struct Zip64EndRecord {
  uint32_t Signature = kZip64EndRecordSignature;
  uint64_t RecordSize = 44;
  uint16_t VersionMadeBy = kVersionZip64;
  uint16_t VersionNeeded = kVersionZip64;
  uint32_t ThisDisk = 0;
  uint32_t DirectoryDisk = 0;
  uint64_t EntriesOnDisk = 0;
  uint64_t TotalEntries = 0;
  uint64_t DirectorySize = 0;
  uint64_t DirectoryOffset = 0;

  static Zip64EndRecord Parse(std::span<const uint8_t, kZip64EndRecordSize> bytes);
  std::array<uint8_t, kZip64EndRecordSize> Serialize() const;
};

struct Zip64Locator {
  uint32_t Signature = kZip64LocatorSignature;
  uint32_t EndRecordDisk = 0;
  uint64_t EndRecordOffset = 0;
  uint32_t TotalDisks = 0;

  static Zip64Locator Parse(std::span<const uint8_t, kZip64LocatorSize> bytes);
  std::array<uint8_t, kZip64LocatorSize> Serialize() const;
};

struct DataDescriptor {
  uint32_t Signature = kDataDescriptorSignature;
  uint32_t Crc32 = 0;
  uint32_t PackedSize = 0;
  uint32_t UnpackedSize = 0;

  static DataDescriptor Parse(std::span<const uint8_t, kDataDescriptorSize> bytes);
};

// The data descriptor with 64-bit sizes that follows the data of an entry
// whose local header has a Zip64 field.
struct Zip64DataDescriptor {
  uint32_t Signature = kDataDescriptorSignature;
  uint32_t Crc32 = 0;
  uint64_t PackedSize = 0;
  uint64_t UnpackedSize = 0;

  static Zip64DataDescriptor Parse(std::span<const uint8_t, kZip64DataDescriptorSize> bytes);
};

}  // namespace parcelon
