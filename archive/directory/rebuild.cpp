// Rebuilding the directory from the local file headers, in file order.
#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include "archive/common/entry_path.h"
#include "archive/directory/central_reader.h"
#include "archive/directory/dir_manager.h"
#include "archive/directory/signature_scanner.h"
#include "archive/errors/pl_exception.h"
#include "archive/format/byte_io.h"
#include "archive/format/name_codec.h"

namespace parcelon {
namespace {

constexpr uint16_t kMaxRebuiltExtraLength = 260;

struct RebuildContext {
  platform::Stream& stream;
  int64_t size;
  bool oem_names;  // an end record was found and the OEM option is on
  const platform::CodePages& code_pages;
  TPLDirArray& dir;
  SignatureScanner& inner_headers;  // local header signatures inside a header's name or extra
  SignatureScanner& descriptors;
};

TDirItem ItemOf(const LocalFileHeader& local) {
  TDirItem item;
  CopyLocalFields(local, item);
  item.VersionMadeBy = local.VersionNeeded;
  item.RealMethod = local.Method;
  item.Zip64PackedSize = local.PackedSize;
  item.Zip64UnpackedSize = local.UnpackedSize;
  return item;
}

// Only an entry without data whose name ends in a separator is a folder: an
// empty file stays a file.
void SetAttributesAndOffset(TDirItem& item, int64_t position) {
  const bool has_data = item.UnpackedSize64() != 0 || (item.Flags & kFlagDataDescriptor) != 0;
  const bool folder_name = !item.Name.empty() && paths::IsSeparator(item.Name.back());
  item.ExternalAttributes = !has_data && folder_name ? faDirectory : faArchive;
  if (position < int64_t{kSaturated32}) {
    item.LocalHeaderOffset = static_cast<uint32_t>(position);
    return;
  }
  item.LocalHeaderOffset = kSaturated32;
  item.Zip64LocalHeaderOffset = static_cast<uint64_t>(position);
  item.IsZip64 = true;
}

// How many bytes of name and extra area the stream holds behind the fixed
// header at `at`; a name that runs past the stream is left out (an empty
// name), and so is what would follow it.
int64_t VariableLength(const RebuildContext& context, TDirItem& item, int64_t at) {
  const int64_t left = std::max<int64_t>(context.size - at, 0);
  if (item.NameLength > left) {
    item.NameLength = 0;
    return 0;
  }
  return std::min<int64_t>(left, int64_t{item.NameLength} + item.ExtraLength);
}

// Another local header signature stands wholly inside [from, end).
bool HoldsLocalSignature(const RebuildContext& context, int64_t from, int64_t end) {
  const auto hit = context.inner_headers.NextFrom(from);
  return hit && *hit + 4 <= end;
}

// The Zip64 field of a local header holds both sizes, the uncompressed one
// first, whichever of the fixed fields is saturated (a central header holds
// only those that are).
void ApplyLocalZip64Field(TDirItem& item) {
  for (const ExtraField& field : item.ExtraFields()) {
    if (field.HeaderID != kZip64FieldId || field.Data.size() < 16) continue;
    item.Zip64UnpackedSize = LoadU64(field.Data, 0);
    item.Zip64PackedSize = LoadU64(field.Data, 8);
  }
}

// Decodes the name and interprets the extra area.
void ReadNameAndExtra(const RebuildContext& context, TDirItem& item,
                      std::span<const uint8_t> variable) {
  const auto name = variable.first(item.NameLength);
  const std::string_view stored(reinterpret_cast<const char*>(name.data()), name.size());
  item.Name = DecodeEntryName(item, {stored, {}, variable.subspan(item.NameLength)},
                              context.oem_names, context.code_pages, nullptr);
  ApplyLocalZip64Field(item);
}

// A record signature, or the end of the stream, stands at `at`.
bool RecordAt(const RebuildContext& context, int64_t at) {
  if (at == context.size) return true;
  std::vector<uint8_t> bytes;
  if (!ReadExactAt(context.stream, context.size, at, 4, bytes)) return false;
  const uint32_t signature = LoadU32(bytes, 0);
  for (uint32_t known : {kLocalHeaderSignature, kCentralHeaderSignature, kEndRecordSignature,
                         kZip64EndRecordSignature, kDataDescriptorSignature})
    if (signature == known) return true;
  return false;
}

// A data descriptor as read in one of its two forms.
struct Descriptor {
  uint32_t crc32 = 0;
  uint64_t packed = 0;
  uint64_t unpacked = 0;
  int64_t end = 0;  // where it ends
};

std::optional<Descriptor> DescriptorAt(const RebuildContext& context, int64_t at, bool wide) {
  std::vector<uint8_t> bytes;
  const size_t length = wide ? kZip64DataDescriptorSize : kDataDescriptorSize;
  if (!ReadExactAt(context.stream, context.size, at, length, bytes)) return std::nullopt;
  const int64_t end = at + static_cast<int64_t>(length);
  if (wide) {
    const auto d =
        Zip64DataDescriptor::Parse(std::span<const uint8_t, kZip64DataDescriptorSize>(bytes));
    return Descriptor{d.Crc32, d.PackedSize, d.UnpackedSize, end};
  }
  const auto d = DataDescriptor::Parse(std::span<const uint8_t, kDataDescriptorSize>(bytes));
  return Descriptor{d.Crc32, d.PackedSize, d.UnpackedSize, end};
}

// The descriptor's compressed size is the length of the data in front of it,
// and a record (or the end of the stream) follows it.
bool Fits(const RebuildContext& context, const std::optional<Descriptor>& descriptor,
          int64_t data_start, int64_t at) {
  return descriptor && descriptor->packed == uint64_t(at - data_start) &&
         RecordAt(context, descriptor->end);
}

uint32_t Saturated(uint64_t value) {
  return value < kSaturated32 ? static_cast<uint32_t>(value) : kSaturated32;
}

void TakeSizes(TDirItem& item, const Descriptor& descriptor) {
  item.Crc32 = descriptor.crc32;
  item.Zip64PackedSize = descriptor.packed;
  item.Zip64UnpackedSize = descriptor.unpacked;
  item.PackedSize = Saturated(descriptor.packed);
  item.UnpackedSize = Saturated(descriptor.unpacked);
  if (item.PackedSize == kSaturated32 || item.UnpackedSize == kSaturated32) item.IsZip64 = true;
}

bool HasZip64Field(const TDirItem& item) {
  const std::vector<ExtraField> fields = item.ExtraFields();
  return std::any_of(fields.begin(), fields.end(),
                     [](const ExtraField& field) { return field.HeaderID == kZip64FieldId; });
}

// Takes the CRC-32 and sizes from the first data descriptor behind the data
// start. The descriptor has 64-bit sizes (24 bytes) when only that form
// fits, 32-bit sizes (16 bytes) when only that one does, and otherwise when
// the local header has a Zip64 field, as writers do. Gives where the data
// and descriptor end when the descriptor fits.
std::optional<int64_t> ApplyDescriptor(const RebuildContext& context, TDirItem& item,
                                       int64_t data_start) {
  const auto hit = context.descriptors.NextFrom(data_start, int64_t{kDataDescriptorSize});
  if (!hit) return std::nullopt;
  const auto narrow = DescriptorAt(context, *hit, false);
  if (!narrow) return std::nullopt;  // the stream gave less than it holds
  const auto wide = DescriptorAt(context, *hit, true);
  const bool narrow_fits = Fits(context, narrow, data_start, *hit);
  const bool wide_fits = Fits(context, wide, data_start, *hit);
  const bool use_wide = wide && (wide_fits != narrow_fits ? wide_fits : HasZip64Field(item));
  const Descriptor& chosen = use_wide ? *wide : *narrow;
  TakeSizes(item, chosen);
  if (use_wide ? wide_fits : narrow_fits) return chosen.end;
  return std::nullopt;
}

// Where the data of a header that states its compressed size ends, when a
// record signature (or the end of the stream) stands right there: the data
// between is skipped, so an archive stored inside the archive gives no
// entries of its own. Without that evidence the sizes are not trusted. A
// header that defers its sizes to a data descriptor ends where a descriptor
// that fits ends.
std::optional<int64_t> VerifiedDataEnd(const RebuildContext& context, TDirItem& item,
                                       int64_t data_start) {
  if ((item.Flags & kFlagDataDescriptor) != 0) return ApplyDescriptor(context, item, data_start);
  const uint64_t packed = item.PackedSize64();
  if (packed > uint64_t(context.size - data_start)) return std::nullopt;
  const int64_t end = data_start + int64_t(packed);
  if (RecordAt(context, end)) return end;
  return std::nullopt;
}

void Append(TPLDirArray& dir, TDirItem item) {
  const int32_t index = dir.Count();
  TEntryName name = std::move(item.Name);
  item.Name.clear();
  dir.SetCount(index + 1);
  dir.Items(index) = std::move(item);
  dir.SetName(index, std::move(name));
}

// Appends the entry of the local header at `at` when it passes the checks;
// gives the position to search the next header from. The name and extra
// area are read only once they are known to hold no other header, so no
// byte is read for more than one accepted header. The compressed size is
// checked once the extra area has given its Zip64 value.
int64_t RebuildEntryAt(const RebuildContext& context, int64_t at) {
  std::vector<uint8_t> bytes;
  if (!ReadExactAt(context.stream, context.size, at, kLocalHeaderSize, bytes)) return context.size;
  const auto local = LocalFileHeader::Parse(std::span<const uint8_t, kLocalHeaderSize>(bytes));
  if (local.ExtraLength > kMaxRebuiltExtraLength) return at + 4;
  TDirItem item = ItemOf(local);
  const int64_t variable_at = at + int64_t{kLocalHeaderSize};
  const int64_t variable_end = variable_at + VariableLength(context, item, variable_at);
  if (HoldsLocalSignature(context, variable_at, variable_end)) return at + 4;
  const auto length = static_cast<size_t>(variable_end - variable_at);
  if (!ReadExactAt(context.stream, context.size, variable_at, length, bytes)) return at + 4;
  ReadNameAndExtra(context, item, bytes);
  if (item.PackedSize64() >= uint64_t(context.size)) return at + 4;
  SetAttributesAndOffset(item, at);
  const auto data_end = VerifiedDataEnd(context, item, variable_end);
  Append(context.dir, std::move(item));
  return data_end ? std::max(at + 4, *data_end) : std::max(at + 4, variable_end - 3);
}

}  // namespace

// Each hit is examined once, in file order. A header whose name or extra
// area holds another local header signature declares lengths that run into
// that header: it is no header. The search resumes behind an accepted
// header's name and extra area (less 3 bytes, for a signature that straddles
// their end), which hold no signature, so names never overlap and any input
// ends after one forward pass; the data descriptor search moves forward only.
void TPLDirManager::RebuildDirectory(const EngineSettings& settings, bool end_record_found) {
  dir_.Clear();
  dir_.SetCount(0);
  const int64_t size = stream_->Size();
  SignatureScanner headers(*stream_, size, kLocalHeaderSignature);
  SignatureScanner inner_headers(*stream_, size, kLocalHeaderSignature);
  SignatureScanner descriptors(*stream_, size, kDataDescriptorSignature);
  const RebuildContext context{*stream_,    size, end_record_found && settings.names.oem,
                               code_pages_, dir_, inner_headers,
                               descriptors};
  auto hit = headers.NextFrom(0, int64_t{kLocalHeaderSize});
  if (!hit) throw EPLException::Create(errc::kInvalidArchive, nullptr);
  while (hit) {
    hit = headers.NextFrom(RebuildEntryAt(context, *hit), int64_t{kLocalHeaderSize});
  }
  // Signatures that begin no acceptable header are damage, not an empty archive.
  if (dir_.Count() == 0) throw EPLException::Create(errc::kInvalidArchive, nullptr);
  central_dir_offset_ = size;
}

}  // namespace parcelon
