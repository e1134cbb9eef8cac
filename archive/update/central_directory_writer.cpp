#include "archive/update/central_directory_writer.h"

#include <algorithm>
#include <span>
#include <string_view>
#include <vector>

#include "archive/errors/pl_exception.h"
#include "archive/format/name_codec.h"

namespace parcelon {
namespace {

constexpr size_t kMaxFieldLength = 0xFFFF;
constexpr size_t kFlushThreshold = 1 << 16;

// Collects output and writes it in blocks; a block the stream takes only in
// part raises error 46.
class CheckedWriter {
 public:
  CheckedWriter(platform::Stream& stream, const TComponent* component)
      : stream_(stream), component_(component) {}

  void Append(std::span<const uint8_t> bytes) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    if (pending_.size() >= kFlushThreshold) Flush();
  }
  void Append(std::string_view text) {
    Append({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
  }
  void Flush() {
    if (pending_.empty()) return;
    if (stream_.Write(pending_.data(), pending_.size()) != pending_.size())
      throw EPLException::Create(errc::kShortWrite, component_);
    written_ += static_cast<int64_t>(pending_.size());
    pending_.clear();
  }
  // Bytes written and pending.
  int64_t Count() const { return written_ + static_cast<int64_t>(pending_.size()); }

 private:
  platform::Stream& stream_;
  const TComponent* component_;
  std::vector<uint8_t> pending_;
  int64_t written_ = 0;
};

// Readers need version 4.5 to take Zip64 fields; the host byte stays.
uint16_t RaisedForZip64(uint16_t version) {
  return (version & 0xFF) < kVersionZip64
             ? static_cast<uint16_t>((version & 0xFF00) | kVersionZip64)
             : version;
}

// The local header offset of an entry: the 32-bit field, saturated from
// 4 GiB on, and the full value.
struct HeaderOffset {
  uint32_t field = 0;
  uint64_t full = 0;
};

// The entry's own offset, or the new one given aside.
HeaderOffset OffsetOf(const TDirItem& item, uint64_t new_offset) {
  if (new_offset == kKeptOffset) return {item.LocalHeaderOffset, item.Zip64LocalHeaderOffset};
  return {new_offset >= kSaturated32 ? kSaturated32 : static_cast<uint32_t>(new_offset),
          new_offset};
}

// A fresh Zip64 field for whatever the fixed part leaves saturated, then
// every kept field except a kept Zip64 one, as long as the area stays within
// the 16-bit length. `zip64` tells whether the fresh field is there.
std::vector<uint8_t> ExtraAreaOf(const TDirItem& item, HeaderOffset offset, bool& zip64) {
  Zip64Values values;
  if (item.UnpackedSize == kSaturated32) values.unpacked = item.Zip64UnpackedSize;
  if (item.PackedSize == kSaturated32) values.packed = item.Zip64PackedSize;
  if (offset.field == kSaturated32) values.offset = offset.full;
  if (item.DiskStart == kSaturated16) values.disk = item.Zip64DiskStart;
  std::vector<uint8_t> area;
  zip64 = values.unpacked || values.packed || values.offset || values.disk;
  if (zip64) AppendExtraField(area, MakeZip64Field(values));
  for (const ExtraField& field : item.ExtraFields()) {
    if (field.HeaderID == kZip64FieldId) continue;
    if (area.size() + 4 + field.DataSize > kMaxFieldLength) continue;
    AppendExtraField(area, field);
  }
  return area;
}

// What the header of `item` is written with, followed by a name, extra
// area and comment of these lengths.
WrittenHeader WrittenOf(const TDirItem& item, size_t name_bytes, bool utf8, size_t extra_bytes,
                        size_t comment_bytes, bool zip64) {
  WrittenHeader written;
  written.version_made_by = zip64 ? RaisedForZip64(item.VersionMadeBy) : item.VersionMadeBy;
  written.version_needed = zip64 ? RaisedForZip64(item.VersionNeeded) : item.VersionNeeded;
  written.flags = static_cast<uint16_t>(utf8 ? item.Flags | kFlagUtf8 : item.Flags & ~kFlagUtf8);
  written.name_length = static_cast<uint16_t>(name_bytes);
  written.extra_length = static_cast<uint16_t>(extra_bytes);
  written.comment_length = static_cast<uint16_t>(comment_bytes);
  written.zip64 = zip64;
  return written;
}

WrittenHeader WriteEntry(const TDirItem& item, uint64_t new_offset,
                         const platform::CodePages& code_pages, CheckedWriter& out) {
  const EncodedName name = NameToStore(item, code_pages);
  const std::string_view comment = item.Comment().substr(0, kMaxFieldLength);
  const HeaderOffset offset = OffsetOf(item, new_offset);
  bool zip64 = false;
  const std::vector<uint8_t> extra = ExtraAreaOf(item, offset, zip64);
  const WrittenHeader written =
      WrittenOf(item, name.bytes.size(), name.utf8, extra.size(), comment.size(), zip64);
  CentralDirHeader header = item;
  header.LocalHeaderOffset = offset.field;
  written.ApplyTo(header);
  out.Append(header.SerializeHeader());
  out.Append(name.bytes);
  out.Append(extra);
  out.Append(comment);
  return written;
}

EndRecord EndRecordOf(int64_t count, int64_t offset, int64_t size, size_t comment_length) {
  EndRecord record;
  const auto entries = static_cast<uint16_t>(std::min<int64_t>(count, kSaturated16));
  record.EntriesOnDisk = record.TotalEntries = entries;
  record.DirectorySize = static_cast<uint32_t>(std::min<int64_t>(size, kSaturated32));
  record.DirectoryOffset = static_cast<uint32_t>(std::min<int64_t>(offset, kSaturated32));
  record.CommentLength = static_cast<uint16_t>(comment_length);
  return record;
}

Zip64EndRecord Zip64EndRecordOf(int64_t count, int64_t offset, int64_t size) {
  Zip64EndRecord record;
  record.EntriesOnDisk = record.TotalEntries = static_cast<uint64_t>(count);
  record.DirectorySize = static_cast<uint64_t>(size);
  record.DirectoryOffset = static_cast<uint64_t>(offset);
  return record;
}

// The Zip64 end record and its locator, for the directory that ends at
// `end`; the manager keeps both.
void WriteZip64Records(TPLDirManager& manager, int64_t count, int64_t offset, int64_t end,
                       CheckedWriter& out) {
  manager.Zip64End() = Zip64EndRecordOf(count, offset, end - offset);
  Zip64Locator locator;
  locator.EndRecordDisk = 0;
  locator.EndRecordOffset = static_cast<uint64_t>(end);
  locator.TotalDisks = 1;
  manager.Zip64Loc() = locator;
  out.Append(manager.Zip64End().Serialize());
  out.Append(locator.Serialize());
}

}  // namespace

// Writes at the end of the stream; the directory goes out in blocks, not
// one write per field.
std::vector<WrittenHeader> WriteCentralDirectory(TPLDirManager& manager,
                                                 const platform::CodePages& code_pages,
                                                 const EngineSettings& settings,
                                                 std::span<const uint64_t> new_offsets) {
  platform::Stream& stream = manager.Stream();
  const std::string comment = manager.ArchiveComment().substr(0, kMaxFieldLength);
  const int64_t offset = stream.Seek(0, platform::SeekOrigin::kEnd);
  CheckedWriter out(stream, settings.component);
  const TPLDirArray& dir = manager.Dir();
  std::vector<WrittenHeader> written;
  written.reserve(static_cast<size_t>(dir.Count()));
  for (int32_t i = 0; i < dir.Count(); ++i) {
    const auto at = static_cast<size_t>(i);
    const uint64_t new_offset = at < new_offsets.size() ? new_offsets[at] : kKeptOffset;
    written.push_back(WriteEntry(dir.Items(i), new_offset, code_pages, out));
  }
  const int64_t end = offset + out.Count();
  if (end >= int64_t{kSaturated32} || dir.Count() >= kSaturated16)
    WriteZip64Records(manager, dir.Count(), offset, end, out);
  manager.EndRec() = EndRecordOf(dir.Count(), offset, end - offset, comment.size());
  out.Append(manager.EndRec().Serialize());
  out.Append(comment);
  out.Flush();
  manager.SetCentralDirOffset(offset);
  return written;
}

void WrittenHeader::ApplyTo(CentralDirHeader& header) const {
  header.VersionMadeBy = version_made_by;
  header.VersionNeeded = version_needed;
  header.Flags = flags;
  header.NameLength = name_length;
  header.ExtraLength = extra_length;
  header.CommentLength = comment_length;
}

void AdoptWrittenHeaders(TPLDirArray& dir, std::span<const WrittenHeader> written,
                         std::span<const uint64_t> new_offsets) {
  for (int32_t i = 0; i < dir.Count() && static_cast<size_t>(i) < written.size(); ++i) {
    const auto at = static_cast<size_t>(i);
    TDirItem& item = dir.Items(i);
    if (at < new_offsets.size() && new_offsets[at] != kKeptOffset) {
      const HeaderOffset offset = OffsetOf(item, new_offsets[at]);
      item.LocalHeaderOffset = offset.field;
      item.Zip64LocalHeaderOffset = offset.full;
    }
    written[at].ApplyTo(item);
    item.IsZip64 = written[at].zip64;
  }
}

}  // namespace parcelon
