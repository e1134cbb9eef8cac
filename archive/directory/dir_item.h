// One entry of the in-memory central directory: the central header image,
// its decoded name, and the engine's pending marks. The texts the entry was
// read with (name, stored name bytes, comment, extra area) lie in one block,
// in the directory's arena for an entry read from the central directory;
// what an entry has beyond that (changed texts, pending data) lies in a side
// record made only for the entries that need one.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/common/secret_text.h"
#include "archive/common/types.h"
#include "archive/directory/entry_text.h"
#include "archive/directory/text_arena.h"
#include "archive/format/extra_fields.h"
#include "archive/format/name_codec.h"
#include "archive/format/records.h"
#include "platform/stream.h"

namespace parcelon {

// The texts an entry was read with.
struct TLoadedTexts {
  std::u16string_view name;
  std::string_view name_bytes;
  bool name_utf8 = false;  // flag bit 11 as read
  std::string_view comment;
  std::span<const uint8_t> extra;
};

// Where an entry's loaded block and side record are kept. Copying makes the
// copy own both, so that a copy never depends on the directory's arena;
// only CopySharingArena makes a copy that does.
class TDirItemStore {
 public:
  struct Side;
  TDirItemStore();
  TDirItemStore(const TDirItemStore& other);
  TDirItemStore(TDirItemStore&&) noexcept;
  TDirItemStore& operator=(const TDirItemStore& other);
  TDirItemStore& operator=(TDirItemStore&&) noexcept;
  ~TDirItemStore();

  // The loaded block, nullptr for an entry the engine made.
  const char16_t* Loaded() const { return loaded_; }
  // Lays `texts` out in `arena`, or with no arena in the side record.
  void SetLoaded(const TLoadedTexts& texts, TPLTextArena* arena);
  // The comment and extra area of the loaded block, empty without one.
  std::string_view LoadedComment() const;
  std::span<const uint8_t> LoadedExtra() const;
  const Side* SideRecord() const { return side_.get(); }
  Side& MakeSide();
  // A copy that points at the loaded block where it lies in an arena, so
  // the arena must outlive it; a block of the side record is copied with
  // it, and a side record is made only where there is one.
  TDirItemStore CopySharingArena() const;

 private:
  const char16_t* loaded_ = nullptr;
  std::unique_ptr<Side> side_;
};

// The fields are in the order that packs them tightest (120 bytes): the
// directory holds one record per entry.
struct TDirItem : CentralDirHeader {
  uint32_t Zip64DiskStart = 0;
  // The entry's place in the snapshot of the open update transaction; -1
  // for an entry the transaction added.
  int32_t SnapshotIndex = -1;
  uint16_t RealMethod = 0;
  TPLCryptoAlgorithm Encryption = caPkzipClassic;
  bool IsZip64 = false;
  bool Modified = false;
  bool Marked = false;
  uint8_t CompressionMode = 0;
  TPLProcessOperation Operation = poAdd;
  // As stored, '/' between folders; a view of the loaded block while the
  // entry keeps the name it was read with.
  TEntryName Name;
  uint64_t Zip64UnpackedSize = 0;
  uint64_t Zip64PackedSize = 0;
  uint64_t Zip64LocalHeaderOffset = 0;

  // The name and its bytes as read from the archive, and the name they were
  // read as; empty for an entry the engine made.
  std::u16string_view LoadedName() const;
  std::string LoadedNameBytes() const;
  bool LoadedNameUtf8() const;
  // Keeps `texts` as the ones the entry was read with (see TDirItemStore).
  void SetLoaded(const TLoadedTexts& texts, TPLTextArena* arena) { store_.SetLoaded(texts, arena); }
  // Takes over the loaded name, its bytes and flag of `other` (not its
  // comment or extra fields).
  void CopyLoadedName(const TDirItem& other);
  // A copy for an array that shares this entry's arena: its loaded block
  // and a name borrowed from the arena stay where they lie (the arena must
  // outlive the copy); the rest is copied as by the copy constructor,
  // whose copies own all their texts.
  TDirItem CopySharingArena() const;

  // The comment bytes as stored; the extra fields in order.
  std::string_view Comment() const;
  void SetComment(std::string comment);
  std::vector<ExtraField> ExtraFields() const;
  void SetExtraFields(std::vector<ExtraField> fields);

  // Pending updates: the name before a pending rename, the file to read the
  // data from, the archiver's password when queued (shared, not copied),
  // pending data from a stream read from `position` (closed when the entry
  // is written if `owned`).
  const std::u16string& PreviousName() const;
  void SetPreviousName(std::u16string name);
  const std::u16string& SourceFileName() const;
  void SetSourceFileName(std::u16string name);
  const SharedSecret& Password() const;
  void SetPassword(SharedSecret password);
  const std::shared_ptr<platform::Stream>& DataStream() const;
  int64_t DataStreamPosition() const;
  bool OwnsDataStream() const;
  void SetDataStream(std::shared_ptr<platform::Stream> stream, int64_t position, bool owned);
  void ReleaseDataStream();

  // The sizes and offset with the 64-bit values where the 32-bit field is
  // saturated.
  uint64_t PackedSize64() const {
    return PackedSize == kSaturated32 ? Zip64PackedSize : PackedSize;
  }
  uint64_t UnpackedSize64() const {
    return UnpackedSize == kSaturated32 ? Zip64UnpackedSize : UnpackedSize;
  }
  uint64_t LocalHeaderOffset64() const {
    return LocalHeaderOffset == kSaturated32 ? Zip64LocalHeaderOffset : LocalHeaderOffset;
  }
  bool IsFolder() const { return (ExternalAttributes & faDirectory) != 0; }
  bool IsEncrypted() const { return (Flags & kFlagEncrypted) != 0; }

 private:
  TDirItemStore store_;
};

// The name as the entry's headers store it: while the name is the one read
// from the archive, the very bytes and flag it was read with, so that a
// rewritten directory or a replaced entry never alters a stored name;
// otherwise the name encoded afresh.
inline EncodedName NameToStore(const TDirItem& item, const platform::CodePages& code_pages) {
  const std::u16string_view loaded = item.LoadedName();
  if (!loaded.empty() && item.Name == loaded)
    return {item.LoadedNameBytes(), item.LoadedNameUtf8()};
  return EncodeStoredName(item.Name, code_pages);
}

}  // namespace parcelon
