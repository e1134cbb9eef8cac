#include "archive/format/records.h"

#include "archive/format/byte_io.h"

namespace parcelon {

LocalFileHeader LocalFileHeader::Parse(std::span<const uint8_t, kLocalHeaderSize> bytes) {
  ByteReader r(bytes);
  LocalFileHeader h;
  h.Signature = r.U32();
  h.VersionNeeded = r.U16();
  h.Flags = r.U16();
  h.Method = r.U16();
  h.FileTime = r.U16();
  h.FileDate = r.U16();
  h.Crc32 = r.U32();
  h.PackedSize = r.U32();
  h.UnpackedSize = r.U32();
  h.NameLength = r.U16();
  h.ExtraLength = r.U16();
  return h;
}

std::array<uint8_t, kLocalHeaderSize> LocalFileHeader::Serialize() const {
  std::array<uint8_t, kLocalHeaderSize> out{};
  ByteWriter w(out);
  w.U32(Signature);
  w.U16(VersionNeeded);
  w.U16(Flags);
  w.U16(Method);
  w.U16(FileTime);
  w.U16(FileDate);
  w.U32(Crc32);
  w.U32(PackedSize);
  w.U32(UnpackedSize);
  w.U16(NameLength);
  w.U16(ExtraLength);
  return out;
}

void CentralDirHeader::ParseHeader(std::span<const uint8_t, kCentralHeaderSize> bytes) {
  ByteReader r(bytes);
  Signature = r.U32();
  VersionMadeBy = r.U16();
  VersionNeeded = r.U16();
  Flags = r.U16();
  Method = r.U16();
  FileTime = r.U16();
  FileDate = r.U16();
  Crc32 = r.U32();
  PackedSize = r.U32();
  UnpackedSize = r.U32();
  NameLength = r.U16();
  ExtraLength = r.U16();
  CommentLength = r.U16();
  DiskStart = r.U16();
  InternalAttributes = r.U16();
  ExternalAttributes = r.U32();
  LocalHeaderOffset = r.U32();
}

std::array<uint8_t, kCentralHeaderSize> CentralDirHeader::SerializeHeader() const {
  std::array<uint8_t, kCentralHeaderSize> out{};
  ByteWriter w(out);
  w.U32(Signature);
  w.U16(VersionMadeBy);
  w.U16(VersionNeeded);
  w.U16(Flags);
  w.U16(Method);
  w.U16(FileTime);
  w.U16(FileDate);
  w.U32(Crc32);
  w.U32(PackedSize);
  w.U32(UnpackedSize);
  w.U16(NameLength);
  w.U16(ExtraLength);
  w.U16(CommentLength);
  w.U16(DiskStart);
  w.U16(InternalAttributes);
  w.U32(ExternalAttributes);
  w.U32(LocalHeaderOffset);
  return out;
}

EndRecord EndRecord::Parse(std::span<const uint8_t, kEndRecordSize> bytes) {
  ByteReader r(bytes);
  EndRecord e;
  e.Signature = r.U32();
  e.ThisDisk = r.U16();
  e.DirectoryDisk = r.U16();
  e.EntriesOnDisk = r.U16();
  e.TotalEntries = r.U16();
  e.DirectorySize = r.U32();
  e.DirectoryOffset = r.U32();
  e.CommentLength = r.U16();
  return e;
}

std::array<uint8_t, kEndRecordSize> EndRecord::Serialize() const {
  std::array<uint8_t, kEndRecordSize> out{};
  ByteWriter w(out);
  w.U32(Signature);
  w.U16(ThisDisk);
  w.U16(DirectoryDisk);
  w.U16(EntriesOnDisk);
  w.U16(TotalEntries);
  w.U32(DirectorySize);
  w.U32(DirectoryOffset);
  w.U16(CommentLength);
  return out;
}

Zip64EndRecord Zip64EndRecord::Parse(std::span<const uint8_t, kZip64EndRecordSize> bytes) {
  ByteReader r(bytes);
  Zip64EndRecord e;
  e.Signature = r.U32();
  e.RecordSize = r.U64();
  e.VersionMadeBy = r.U16();
  e.VersionNeeded = r.U16();
  e.ThisDisk = r.U32();
  e.DirectoryDisk = r.U32();
  e.EntriesOnDisk = r.U64();
  e.TotalEntries = r.U64();
  e.DirectorySize = r.U64();
  e.DirectoryOffset = r.U64();
  return e;
}

std::array<uint8_t, kZip64EndRecordSize> Zip64EndRecord::Serialize() const {
  std::array<uint8_t, kZip64EndRecordSize> out{};
  ByteWriter w(out);
  w.U32(Signature);
  w.U64(RecordSize);
  w.U16(VersionMadeBy);
  w.U16(VersionNeeded);
  w.U32(ThisDisk);
  w.U32(DirectoryDisk);
  w.U64(EntriesOnDisk);
  w.U64(TotalEntries);
  w.U64(DirectorySize);
  w.U64(DirectoryOffset);
  return out;
}

Zip64Locator Zip64Locator::Parse(std::span<const uint8_t, kZip64LocatorSize> bytes) {
  ByteReader r(bytes);
  Zip64Locator l;
  l.Signature = r.U32();
  l.EndRecordDisk = r.U32();
  l.EndRecordOffset = r.U64();
  l.TotalDisks = r.U32();
  return l;
}

std::array<uint8_t, kZip64LocatorSize> Zip64Locator::Serialize() const {
  std::array<uint8_t, kZip64LocatorSize> out{};
  ByteWriter w(out);
  w.U32(Signature);
  w.U32(EndRecordDisk);
  w.U64(EndRecordOffset);
  w.U32(TotalDisks);
  return out;
}

DataDescriptor DataDescriptor::Parse(std::span<const uint8_t, kDataDescriptorSize> bytes) {
  ByteReader r(bytes);
  DataDescriptor d;
  d.Signature = r.U32();
  d.Crc32 = r.U32();
  d.PackedSize = r.U32();
  d.UnpackedSize = r.U32();
  return d;
}

}  // namespace parcelon
