// One entry of the in-memory central directory: the central header image,
// its decoded name, comment and extra fields, and the engine's pending marks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/common/secret_text.h"
#include "archive/common/types.h"
#include "archive/format/extra_fields.h"
#include "archive/format/name_codec.h"
#include "archive/format/records.h"
#include "platform/stream.h"

namespace parcelon {

struct TDirItem : CentralDirHeader {
  std::u16string Name;          // as stored, '/' between folders
  std::u16string PreviousName;  // before a pending rename
  // The name's bytes and UTF-8 flag as read from the archive, and the name
  // they were read as; empty for an entry the engine made.
  std::string LoadedNameBytes;
  bool LoadedNameUtf8 = false;
  std::u16string LoadedName;
  std::string Comment;  // bytes as stored
  std::vector<ExtraField> ExtraFields;
  TPLCryptoAlgorithm Encryption = caPkzipClassic;
  bool IsZip64 = false;
  uint64_t Zip64UnpackedSize = 0;
  uint64_t Zip64PackedSize = 0;
  uint64_t Zip64LocalHeaderOffset = 0;
  uint32_t Zip64DiskStart = 0;
  bool Modified = false;
  SharedSecret Password;  // the archiver's password when queued; shared, not copied
  std::shared_ptr<platform::Stream> DataStream;  // pending data from a stream
  bool OwnsDataStream = false;
  int64_t DataStreamPosition = 0;
  bool Marked = false;
  std::u16string SourceFileName;
  uint16_t RealMethod = 0;
  uint8_t CompressionMode = 0;
  TPLProcessOperation Operation = poAdd;
  // The entry's place in the snapshot of the open update transaction; -1
  // for an entry the transaction added.
  int32_t SnapshotIndex = -1;

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
};

// The name as the entry's headers store it: while the name is the one read
// from the archive, the very bytes and flag it was read with, so that a
// rewritten directory or a replaced entry never alters a stored name;
// otherwise the name encoded afresh.
inline EncodedName NameToStore(const TDirItem& item, const platform::CodePages& code_pages) {
  if (!item.LoadedName.empty() && item.Name == item.LoadedName)
    return {item.LoadedNameBytes, item.LoadedNameUtf8};
  return EncodeStoredName(item.Name, code_pages);
}

}  // namespace parcelon
