#include "archive/update/entry_copier.h"

#include <optional>
#include <span>
#include <vector>

#include "archive/directory/format_damage.h"
#include "archive/errors/pl_exception.h"
#include "archive/format/byte_io.h"
#include "archive/format/extra_fields.h"
#include "archive/format/name_codec.h"

namespace parcelon {
namespace {

constexpr uint64_t kDescriptorSignatureSize = 4;

[[noreturn]] void ThrowNotInTail() {
  throw EPLFormatDamage("an entry does not lie whole in the archive");
}

bool IsRename(const TDirItem& item) {
  return item.Modified && item.Operation == poRename;
}

// The old version of `item`: its own place in the snapshot, or for an
// entry without one the first snapshot entry of its name.
const TDirItem* FindOldVersion(const TDirItem& item, const TPLDirArray& snapshot) {
  if (item.SnapshotIndex >= 0 && item.SnapshotIndex < snapshot.Count())
    return &snapshot.Items(item.SnapshotIndex);
  for (int32_t i = 0; i < snapshot.Count(); ++i) {
    const TDirItem& old = snapshot.Items(i);
    if (old.Name == item.Name || (IsRename(item) && old.Name == item.PreviousName())) return &old;
  }
  return nullptr;
}

// The old entry's record as it lies in the tail: local header, name and
// extra area, data, and a data descriptor when its flags announce one.
struct OldRecord {
  uint64_t offset = 0;
  LocalFileHeader header;
  std::vector<uint8_t> extra;
  uint64_t data_start = 0;  // behind name and extra area
  uint64_t data_length = 0;
  uint64_t Length() const { return data_start + data_length - offset; }
};

class RecordReader {
 public:
  explicit RecordReader(OldEntries& tail) : tail_(tail), end_(uint64_t(tail.End())) {}

  OldRecord Read(const TDirItem& old) {
    OldRecord record;
    record.offset = old.LocalHeaderOffset64();
    std::vector<uint8_t> bytes = ReadAt(record.offset, kLocalHeaderSize);
    record.header = LocalFileHeader::Parse(std::span<const uint8_t, kLocalHeaderSize>(bytes));
    if (record.header.Signature != kLocalHeaderSignature) ThrowNotInTail();
    const uint64_t extra_at = record.offset + kLocalHeaderSize + record.header.NameLength;
    record.extra = ReadAt(extra_at, record.header.ExtraLength);
    record.data_start = extra_at + record.header.ExtraLength;
    record.data_length = DataLength(record, old.PackedSize64());
    if (record.data_length > end_ - record.data_start) ThrowNotInTail();
    return record;
  }

 private:
  std::vector<uint8_t> ReadAt(uint64_t at, size_t count) {
    if (at < uint64_t(tail_.Cut()) || at > end_ || count > end_ - at) ThrowNotInTail();
    std::vector<uint8_t> bytes(count);
    tail_.At(int64_t(at)).ReadBuffer(bytes.data(), count);
    return bytes;
  }

  // The packed data, and the data descriptor behind it for an entry
  // written with flag bit 3 (16 or 24 bytes with its signature, 12 or 20
  // without; the wide forms go with a Zip64 field in the local header).
  uint64_t DataLength(const OldRecord& record, uint64_t packed) {
    if (record.data_start > end_ || packed > end_ - record.data_start) ThrowNotInTail();
    if ((record.header.Flags & kFlagDataDescriptor) == 0) return packed;
    const uint64_t wide = HasZip64Field(record.extra) ? 8 : 0;
    const uint64_t descriptor_at = record.data_start + packed;
    const bool signed_form =
        end_ - descriptor_at >= kDescriptorSignatureSize &&
        LoadU32(ReadAt(descriptor_at, kDescriptorSignatureSize), 0) == kDataDescriptorSignature;
    return packed + 12 + wide + (signed_form ? kDescriptorSignatureSize : 0);
  }

  static bool HasZip64Field(std::span<const uint8_t> extra) {
    for (const ExtraField& field : ParseExtraFields(extra))
      if (field.HeaderID == kZip64FieldId) return true;
    return false;
  }

  OldEntries& tail_;
  uint64_t end_;
};

// A renamed entry's new local header and name, its Zip64 sizes when its
// uncompressed size is saturated, and its other extra fields.
void WriteRenamedHeader(const TDirItem& item, const OldRecord& record,
                        const EntryWriteContext& context) {
  const EncodedName name = NameToStore(item, context.code_pages);
  std::vector<uint8_t> extra;
  if (item.UnpackedSize == kSaturated32)
    AppendExtraField(extra, MakeZip64Field({item.UnpackedSize64(), item.PackedSize64(), {}, {}}));
  for (const ExtraField& field : item.ExtraFields())
    if (field.HeaderID != kZip64FieldId) AppendExtraField(extra, field);
  LocalFileHeader header = record.header;
  header.Flags =
      static_cast<uint16_t>(name.utf8 ? header.Flags | kFlagUtf8 : header.Flags & ~kFlagUtf8);
  header.NameLength = static_cast<uint16_t>(name.bytes.size());
  header.ExtraLength = static_cast<uint16_t>(std::min<size_t>(extra.size(), 0xFFFF));
  const auto bytes = header.Serialize();
  context.archive.WriteBuffer(bytes.data(), bytes.size());
  context.archive.WriteBuffer(name.bytes.data(), name.bytes.size());
  context.archive.WriteBuffer(extra.data(), header.ExtraLength);
}

}  // namespace

// The entry is read through const access: only an entry given up is
// written to, and its record is the directory's own already (it was
// modified).
uint64_t CopyEntry(TPLDirArray& dir, int32_t index, const TPLDirArray& snapshot, OldEntries& tail,
                   const EntryWriteContext& context) {
  const TPLDirArray& entries = dir;
  const TDirItem* old = FindOldVersion(entries.Items(index), snapshot);
  if (old == nullptr) throw EPLException::Create(errc::kNoOldVersion, context.settings.component);
  const TDirItem& given_up = entries.Items(index);
  if (given_up.Modified && (given_up.Operation == poUpdate || given_up.Operation == poMove))
    dir.SetItem(index, *old);
  const TDirItem& item = entries.Items(index);
  const OldRecord record = RecordReader(tail).Read(*old);
  const auto position = static_cast<uint64_t>(context.archive.Position());
  if (IsRename(item)) {
    WriteRenamedHeader(item, record, context);
    context.archive.CopyFrom(tail.At(int64_t(record.data_start)), int64_t(record.data_length));
  } else {
    context.archive.CopyFrom(tail.At(int64_t(record.offset)), int64_t(record.Length()));
  }
  return position;
}

}  // namespace parcelon
