#include "archive/format/records.h"

#include "archive/format/byte_io.h"

namespace parcelon {
namespace {

// Each record's fields are listed once, in file order, by a visitor that
// either reads them (ByteReader) or writes them (ByteWriter).
template <typename Record, size_t N, typename Visit>
Record ParseWith(std::span<const uint8_t, N> bytes, Visit visit) {
  ByteReader reader(bytes);
  Record record;
  visit(reader, record);
  return record;
}

template <size_t N, typename Record, typename Visit>
std::array<uint8_t, N> SerializeWith(const Record& record, Visit visit) {
  std::array<uint8_t, N> out{};
  ByteWriter writer(out);
  visit(writer, record);
  return out;
}

const auto kLocalFields = [](auto& io, auto& h) {
  io.Field(h.Signature);
  io.Field(h.VersionNeeded);
  io.Field(h.Flags);
  io.Field(h.Method);
  io.Field(h.FileTime);
  io.Field(h.FileDate);
  io.Field(h.Crc32);
  io.Field(h.PackedSize);
  io.Field(h.UnpackedSize);
  io.Field(h.NameLength);
  io.Field(h.ExtraLength);
};

const auto kCentralFields = [](auto& io, auto& h) {
  io.Field(h.Signature);
  io.Field(h.VersionMadeBy);
  io.Field(h.VersionNeeded);
  io.Field(h.Flags);
  io.Field(h.Method);
  io.Field(h.FileTime);
  io.Field(h.FileDate);
  io.Field(h.Crc32);
  io.Field(h.PackedSize);
  io.Field(h.UnpackedSize);
  io.Field(h.NameLength);
  io.Field(h.ExtraLength);
  io.Field(h.CommentLength);
  io.Field(h.DiskStart);
  io.Field(h.InternalAttributes);
  io.Field(h.ExternalAttributes);
  io.Field(h.LocalHeaderOffset);
};

const auto kEndFields = [](auto& io, auto& e) {
  io.Field(e.Signature);
  io.Field(e.ThisDisk);
  io.Field(e.DirectoryDisk);
  io.Field(e.EntriesOnDisk);
  io.Field(e.TotalEntries);
  io.Field(e.DirectorySize);
  io.Field(e.DirectoryOffset);
  io.Field(e.CommentLength);
};

const auto kZip64EndFields = [](auto& io, auto& e) {
  io.Field(e.Signature);
  io.Field(e.RecordSize);
  io.Field(e.VersionMadeBy);
  io.Field(e.VersionNeeded);
  io.Field(e.ThisDisk);
  io.Field(e.DirectoryDisk);
  io.Field(e.EntriesOnDisk);
  io.Field(e.TotalEntries);
  io.Field(e.DirectorySize);
  io.Field(e.DirectoryOffset);
};

const auto kLocatorFields = [](auto& io, auto& l) {
  io.Field(l.Signature);
  io.Field(l.EndRecordDisk);
  io.Field(l.EndRecordOffset);
  io.Field(l.TotalDisks);
};

const auto kDescriptorFields = [](auto& io, auto& d) {
  io.Field(d.Signature);
  io.Field(d.Crc32);
  io.Field(d.PackedSize);
  io.Field(d.UnpackedSize);
};

}  // namespace

LocalFileHeader LocalFileHeader::Parse(std::span<const uint8_t, kLocalHeaderSize> bytes) {
  return ParseWith<LocalFileHeader>(bytes, kLocalFields);
}

std::array<uint8_t, kLocalHeaderSize> LocalFileHeader::Serialize() const {
  return SerializeWith<kLocalHeaderSize>(*this, kLocalFields);
}

void CentralDirHeader::ParseHeader(std::span<const uint8_t, kCentralHeaderSize> bytes) {
  ByteReader reader(bytes);
  kCentralFields(reader, *this);
}

std::array<uint8_t, kCentralHeaderSize> CentralDirHeader::SerializeHeader() const {
  return SerializeWith<kCentralHeaderSize>(*this, kCentralFields);
}

EndRecord EndRecord::Parse(std::span<const uint8_t, kEndRecordSize> bytes) {
  return ParseWith<EndRecord>(bytes, kEndFields);
}

std::array<uint8_t, kEndRecordSize> EndRecord::Serialize() const {
  return SerializeWith<kEndRecordSize>(*this, kEndFields);
}

Zip64EndRecord Zip64EndRecord::Parse(std::span<const uint8_t, kZip64EndRecordSize> bytes) {
  return ParseWith<Zip64EndRecord>(bytes, kZip64EndFields);
}

std::array<uint8_t, kZip64EndRecordSize> Zip64EndRecord::Serialize() const {
  return SerializeWith<kZip64EndRecordSize>(*this, kZip64EndFields);
}

Zip64Locator Zip64Locator::Parse(std::span<const uint8_t, kZip64LocatorSize> bytes) {
  return ParseWith<Zip64Locator>(bytes, kLocatorFields);
}

std::array<uint8_t, kZip64LocatorSize> Zip64Locator::Serialize() const {
  return SerializeWith<kZip64LocatorSize>(*this, kLocatorFields);
}

DataDescriptor DataDescriptor::Parse(std::span<const uint8_t, kDataDescriptorSize> bytes) {
  return ParseWith<DataDescriptor>(bytes, kDescriptorFields);
}

Zip64DataDescriptor Zip64DataDescriptor::Parse(
    std::span<const uint8_t, kZip64DataDescriptorSize> bytes) {
  return ParseWith<Zip64DataDescriptor>(bytes, kDescriptorFields);
}

namespace {

// The fields a local header and a central header share, either way.
template <class From, class To>
void CopySharedFields(const From& from, To& to) {
  to.VersionNeeded = from.VersionNeeded;
  to.Flags = from.Flags;
  to.Method = from.Method;
  to.FileTime = from.FileTime;
  to.FileDate = from.FileDate;
  to.Crc32 = from.Crc32;
  to.PackedSize = from.PackedSize;
  to.UnpackedSize = from.UnpackedSize;
  to.NameLength = from.NameLength;
  to.ExtraLength = from.ExtraLength;
}

}  // namespace

LocalFileHeader LocalHeaderOf(const CentralDirHeader& entry) {
  LocalFileHeader header;
  CopySharedFields(entry, header);
  return header;
}

void CopyLocalFields(const LocalFileHeader& local, CentralDirHeader& entry) {
  CopySharedFields(local, entry);
}

}  // namespace parcelon
