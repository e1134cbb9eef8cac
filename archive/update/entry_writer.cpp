#include "archive/update/entry_writer.h"

#include <algorithm>
#include <memory>
#include <span>
#include <vector>

#include "archive/codec/compressor.h"
#include "archive/errors/pl_exception.h"
#include "archive/format/byte_io.h"
#include "archive/format/extra_fields.h"
#include "archive/format/name_codec.h"
#include "archive/format/records.h"
#include "archive/update/encryption_setup.h"
#include "archive/update/entry_read_ahead.h"
#include "archive/update/source_file.h"
#include "platform/exception.h"
#include "platform/file_stream.h"
#include "platform/stream_window.h"
#include "platform/unicode.h"

namespace parcelon {
namespace {

// Deflate may make a block a little larger than it was: a source this close
// to 4 GiB gets Zip64 fields in advance, as its data might reach 4 GiB.
constexpr uint64_t kExpansionMargin = uint64_t{8} << 20;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

std::u16string EventName(const TDirItem& item) {
  return item.Operation == poAdd || item.Operation == poMove ? item.SourceFileName()
                                                             : item.Name.str();
}

std::u16string FailureName(const TDirItem& item) {
  return item.Operation == poUpdate ? item.Name.str() : item.SourceFileName();
}

EntryState StateOf(TPLAction action) {
  if (action == fxaRetry) return EntryState::kRetry;
  return action == fxaIgnore ? EntryState::kCarryOn : EntryState::kAbort;
}

// The source of a new entry for as long as it is written: what was read
// ahead, the caller's stream from the entry's start position (moved back
// afterwards, or freed when the entry owns it), a disk file opened here, or
// nothing for a folder.
class EntrySource {
 public:
  EntrySource(TDirItem& item, const EntryWriteContext& context, PreparedSource* prepared)
      : item_(item), prepared_(prepared) {
    if (prepared) {
      prepared->Stream();  // raises the failure to open it
    } else if (item.DataStream()) {
      remembered_ = item.DataStream()->Position();
      window_ =
          std::make_unique<platform::StreamWindow>(*item.DataStream(), item.DataStreamPosition());
      // The stream may be anywhere, before the entry's start included (one
      // stream read from several places).
      window_->Seek(0, platform::SeekOrigin::kBegin);
    } else if (!item.IsFolder()) {
      file_ = OpenSourceFile(item.SourceFileName(), context);
    }
  }
  ~EntrySource() {
    if (!item_.DataStream()) return;
    try {
      // What was read ahead puts the caller's position back itself.
      if (!item_.OwnsDataStream() && !prepared_)
        item_.DataStream()->Seek(remembered_, platform::SeekOrigin::kBegin);
    } catch (...) {
      // The caller's stream keeps whatever position it reached.
    }
    if (item_.OwnsDataStream()) item_.ReleaseDataStream();
  }
  EntrySource(const EntrySource&) = delete;
  EntrySource& operator=(const EntrySource&) = delete;

  // The source, or null for a folder.
  platform::Stream* Get() {
    if (prepared_) return &prepared_->Stream();
    return window_ ? static_cast<platform::Stream*>(window_.get()) : file_.get();
  }
  uint64_t Size() {
    if (prepared_) return prepared_->Size();
    return Get() ? static_cast<uint64_t>(Get()->Size()) : 0;
  }

 private:
  TDirItem& item_;
  PreparedSource* prepared_;
  std::unique_ptr<platform::Stream> file_;
  std::unique_ptr<platform::StreamWindow> window_;
  int64_t remembered_ = 0;
};

class NewEntry {
 public:
  NewEntry(TDirItem& item, const EntryWriteContext& context, CommitProgress& progress,
           PreparedSource* prepared)
      : item_(item), c_(context), progress_(progress), prepared_(prepared) {}

  // Writes the whole entry; false when a handler cancelled.
  bool Write() {
    EncodeName();
    item_.IsZip64 = false;
    EntrySource source(item_, c_, prepared_);
    // A folder has no data, so nothing to encrypt.
    const bool encrypted = source.Get() != nullptr && HasSecret(item_.Password());
    if (encrypted)
      cipher_ = PrepareEncryption(item_, c_.settings.writing.encryption_method, *source.Get(),
                                  c_.settings.component);
    PlaceHeader(source.Get() != nullptr, source.Size());
    BuildExtra();
    if (prepared_ && !encrypted && source.Size() <= ReadBufferSize(item_.CompressionMode))
      return WriteInOne(*source.Get(), source.Size());
    WriteHeader();
    if (source.Get() != nullptr) {
      const int64_t data_start = c_.archive.Position();
      if (!Encode(*source.Get(), source.Size())) return false;
      if (!encrypted && DeflateGrew() && !StoreInstead(*source.Get(), data_start)) return false;
      if (encrypted) FinishEncryption(item_, cipher_, c_.settings.component);
      Patch();
    }
    c_.archive.Seek(0, platform::SeekOrigin::kEnd);
    return true;
  }

 private:
  // The name in its stored form; a name that cannot be stored whole (longer
  // than the 16-bit length allows) is refused, never cut.
  void EncodeName() {
    name_ = NameToStore(item_, c_.code_pages);
    if (DecodeStoredName(name_.bytes, name_.utf8, c_.settings.names.oem, c_.code_pages,
                         MadeOnUnix(item_.VersionMadeBy)) != item_.Name)
      throw EPLException::CreateFmt(errc::kNameTooLong, {item_.Name.str()}, c_.settings.component);
    item_.Flags =
        static_cast<uint16_t>(name_.utf8 ? item_.Flags | kFlagUtf8 : item_.Flags & ~kFlagUtf8);
  }

  // An entry read ahead whose data is one block: its header, holding the
  // final values, and its data in one write. Only when deflating grew the
  // data (which is then not written) is it stored instead, after the header,
  // and the header patched. The entry ends at the end of the archive either
  // way.
  bool WriteInOne(platform::Stream& source, uint64_t size) {
    const int64_t data_start =
        c_.archive.Position() +
        static_cast<int64_t>(kLocalHeaderSize + name_.bytes.size() + extra_.size());
    const auto record = [this](std::span<const uint8_t> deflated) {
      std::vector<uint8_t> bytes = FinalHeader();
      if (!DeflateGrew()) bytes.insert(bytes.end(), deflated.begin(), deflated.end());
      return bytes;
    };
    if (!WriteDeflatedItemAfter(record, *prepared_, size, c_.archive, item_, Settings()))
      return false;
    if (!DeflateGrew()) return true;
    if (!StoreInstead(source, data_start)) return false;
    Patch();
    c_.archive.Seek(0, platform::SeekOrigin::kEnd);
    return true;
  }

  // The entry's data from the source, or from what was read ahead.
  bool Encode(platform::Stream& source, uint64_t size) {
    if (prepared_) return WriteDeflatedItem(*prepared_, size, c_.archive, item_, Settings());
    return CompressItem(source, c_.archive, item_, Settings());
  }

  // Whether deflating gave no fewer bytes than the source holds (data that
  // does not compress, such as images or archives).
  bool DeflateGrew() const {
    return item_.RealMethod == kMethodDeflated && item_.PackedSize64() >= item_.UnpackedSize64();
  }

  // Writes the entry's data again, stored, over the deflated bytes from
  // `data_start` on, and cuts off what the deflated form had beyond it. The
  // source is read a second time, without progress events (its bytes were
  // counted once). Encrypted entries never come here: their cipher header
  // was made for the first pass. False when a handler cancelled.
  bool StoreInstead(platform::Stream& source, int64_t data_start) {
    c_.archive.Seek(data_start, platform::SeekOrigin::kBegin);
    item_.RealMethod = item_.Method = kMethodStored;
    const bool reporting = progress_.reporting;
    progress_.reporting = false;
    progress_.done_bytes -= item_.UnpackedSize64();
    const bool done = CompressItem(source, c_.archive, item_, Settings());
    progress_.reporting = reporting;
    c_.archive.SetSize(c_.archive.Position());
    return done;
  }

  // Where the entry starts, whether its sizes get Zip64 fields, and the
  // version a reader needs.
  void PlaceHeader(bool has_source, uint64_t source_size) {
    const bool always = c_.settings.writing.zip64_mode == zmAlways;
    const auto offset = static_cast<uint64_t>(c_.archive.Position());
    item_.Zip64LocalHeaderOffset = offset;
    item_.LocalHeaderOffset = static_cast<uint32_t>(offset);
    if (offset >= kSaturated32 || always) item_.LocalHeaderOffset = kSaturated32;
    const bool may_grow = c_.settings.writing.zip64_mode == zmAuto &&
                          (item_.RealMethod == 8 || cipher_.transform) &&
                          source_size + kExpansionMargin >= kSaturated32;
    zip64_sizes_ = has_source && (always || source_size >= kSaturated32 || may_grow);
    item_.IsZip64 = zip64_sizes_ || item_.LocalHeaderOffset == kSaturated32;
    source_size_ = has_source ? source_size : 0;
    SetVersion(item_.IsZip64 || source_size >= kSaturated32);
    if (item_.IsZip64 && c_.settings.writing.zip64_mode == zmDisabled)
      throw EPLException::CreateFmt(errc::kZip64NeededCommitting, {item_.SourceFileName()},
                                    c_.settings.component);
  }

  // The host byte of version made by stays what the entry was given (Unix
  // for what the engine makes, the old entry's own when it keeps it).
  void SetVersion(bool zip64) {
    item_.VersionNeeded = zip64 ? kVersionZip64 : kVersionOem;
    item_.VersionMadeBy =
        static_cast<uint16_t>((item_.VersionMadeBy & 0xFF00) | item_.VersionNeeded);
  }

  LocalFileHeader Header() const {
    LocalFileHeader header = LocalHeaderOf(item_);
    header.NameLength = static_cast<uint16_t>(name_.bytes.size());
    header.ExtraLength = static_cast<uint16_t>(extra_.size());
    return header;
  }

  // The local extra area: room for the Zip64 sizes, the Unicode name field
  // when asked for and the name is Unicode text (kept on the entry for its
  // central header too), and the AES field of an entry encrypted so. A name
  // of raw bytes gets no Unicode field: lone surrogates in it would be no
  // text to any reader, and its stored bytes already are the name.
  void BuildExtra() {
    if (zip64_sizes_) AppendExtraField(extra_, MakeZip64Field({0, 0, {}, {}}));
    if (c_.settings.names.unicode && IsWellFormedUnicode(item_.Name)) {
      ExtraField field = MakeUnicodeNameField(item_.Name);
      AppendExtraField(extra_, field);
      std::vector<ExtraField> fields = item_.ExtraFields();
      fields.push_back(std::move(field));
      item_.SetExtraFields(std::move(fields));
    }
    if (cipher_.aes_field) AppendExtraField(extra_, *cipher_.aes_field);
  }

  // The header with placeholder sizes, the extra area built.
  void WriteHeader() {
    LocalFileHeader header = Header();
    header.UnpackedSize = zip64_sizes_ ? kSaturated32 : static_cast<uint32_t>(source_size_);
    header.PackedSize = zip64_sizes_ ? kSaturated32 : 0;
    WriteWhole(header);
  }

  // The header, the name and the extra fields in one write.
  void WriteWhole(const LocalFileHeader& header) {
    const std::vector<uint8_t> whole = Whole(header);
    c_.archive.WriteBuffer(whole.data(), whole.size());
  }

  std::vector<uint8_t> Whole(const LocalFileHeader& header) const {
    const auto bytes = header.Serialize();
    std::vector<uint8_t> whole(bytes.size() + name_.bytes.size() + extra_.size());
    auto at = std::copy(bytes.begin(), bytes.end(), whole.begin());
    at = std::copy(name_.bytes.begin(), name_.bytes.end(), at);
    std::copy(extra_.begin(), extra_.end(), at);
    return whole;
  }

  // Writes the header again with the final values (FinalHeader) over the
  // first one.
  void Patch() {
    const std::vector<uint8_t> whole = FinalHeader();
    c_.archive.Seek(static_cast<int64_t>(item_.Zip64LocalHeaderOffset),
                    platform::SeekOrigin::kBegin);
    c_.archive.WriteBuffer(whole.data(), whole.size());
  }

  // The header, name and extra fields with the final CRC-32, method and
  // sizes; Zip64 sizes go into the block reserved for them.
  std::vector<uint8_t> FinalHeader() {
    SetVersion(item_.IsZip64);
    LocalFileHeader header = Header();
    header.PackedSize = zip64_sizes_ ? kSaturated32 : item_.PackedSize;
    header.UnpackedSize = zip64_sizes_ ? kSaturated32 : item_.UnpackedSize;
    if (zip64_sizes_) {
      const ExtraField sizes =
          MakeZip64Field({item_.UnpackedSize64(), item_.PackedSize64(), {}, {}});
      std::vector<uint8_t> block;
      AppendExtraField(block, sizes);
      std::copy(block.begin(), block.end(), extra_.begin());
    }
    return Whole(header);
  }

  EncodeSettings Settings() const {
    return {.events = c_.events,
            .progress = progress_,
            .engine = c_.settings,
            .cipher = cipher_.transform.get()};
  }

  TDirItem& item_;
  const EntryWriteContext& c_;
  CommitProgress& progress_;
  PreparedSource* prepared_;
  EncodedName name_;
  EncryptionSetup cipher_;
  std::vector<uint8_t> extra_;
  bool zip64_sizes_ = false;
  uint64_t source_size_ = 0;
};

}  // namespace

bool WriteNewEntry(TDirItem& item, const EntryWriteContext& context, CommitProgress& progress,
                   EntryState& state) {
  state = EntryState::kCarryOn;
  context.events.FileProgress(EventName(item), 0, item.Operation, ppStart, progress.cancel);
  if (progress.cancel) return false;
  const int64_t start = context.archive.Position();
  const std::unique_ptr<PreparedSource> prepared =
      context.read_ahead ? context.read_ahead->Take(item) : nullptr;
  try {
    if (!NewEntry(item, context, progress, prepared.get()).Write()) return false;
  } catch (const EPLException& failure) {
    context.archive.SetSize(start);
    context.archive.Seek(start, platform::SeekOrigin::kBegin);
    state = StateOf(context.events.ProcessFileFailure(FailureName(item), item.Operation,
                                                      failure.NativeError(), failure.ErrorCode(),
                                                      failure.Message()));
    return false;
  }
  context.events.FileProgress(EventName(item), 100, item.Operation, ppEnd, progress.cancel);
  return true;
}

}  // namespace parcelon
