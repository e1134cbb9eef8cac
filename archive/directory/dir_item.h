// One entry of the in-memory central directory: the central header image,
// its decoded name, comment and extra fields, and the engine's pending marks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/common/types.h"
#include "archive/format/extra_fields.h"
#include "archive/format/records.h"
#include "platform/stream.h"

namespace parcelon {

struct TDirItem : CentralDirHeader {
  std::u16string Name;          // as stored, '/' between folders
  std::u16string PreviousName;  // before a pending rename
  std::string Comment;          // bytes as stored
  std::vector<ExtraField> ExtraFields;
  TPLCryptoAlgorithm Encryption = caPkzipClassic;
  bool IsZip64 = false;
  uint64_t Zip64UnpackedSize = 0;
  uint64_t Zip64PackedSize = 0;
  uint64_t Zip64LocalHeaderOffset = 0;
  uint32_t Zip64DiskStart = 0;
  bool Modified = false;
  std::string Password;
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

}  // namespace parcelon
