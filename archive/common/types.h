// The enumerations of the archive engine.
#pragma once

#include <cstdint>

#include "platform/file_stream.h"

namespace parcelon {

enum TPLProcessOperation : uint8_t {
  poAdd,
  poMove,
  poDelete,
  poUpdate,
  poExtract,
  poTest,
  poRename,
  poChangeAttr,
  poChangeComment,
  poMakeSFX,
  poMerge
};
enum TPLProgressPhase : uint8_t { ppStart, ppProcess, ppEnd };
enum TPLAction : uint8_t { fxaRetry, fxaIgnore, fxaAbort };

enum TPLCompressionLevel : uint8_t { clNone, clFastest, clNormal, clMax };
enum TPLSpanningMode : uint8_t { smNone, smSpanning, smSplitting };
enum TPLStorePathMode : uint8_t { spNoPath, spRelativePath, spFullPath, spFullPathWithDrive };
enum TPLFileShareMode : uint8_t {
  smShareCompat,
  smShareExclusive,
  smShareDenyWrite,
  smShareDenyRead,
  smShareDenyNone
};
enum TPLOverwriteMode : uint8_t { omPrompt, omAlways, omNever, omIfNewer, omIfOlder };
enum TZip64Mode : uint8_t { zmDisabled, zmAuto, zmAlways };
enum TPLCryptoAlgorithm : uint8_t { caPkzipClassic, caAES_128, caAES_192, caAES_256 };
enum TPLVolumeSize : uint8_t {
  vsAutoDetect,
  vsCustom,
  vs1_44MB,
  vs100MB,
  vs200MB,
  vs250MB,
  vs600MB,
  vs650MB,
  vs700MB,
  vs4700MB
};

// File attribute bits (the Windows attribute word of external attributes).
inline constexpr uint32_t faReadOnly = 0x01;
inline constexpr uint32_t faHidden = 0x02;
inline constexpr uint32_t faSysFile = 0x04;
inline constexpr uint32_t faVolumeID = 0x08;
inline constexpr uint32_t faDirectory = 0x10;
inline constexpr uint32_t faArchive = 0x20;

// The search attributes that find every entry: hidden, system, volume label
// and directory among them.
inline constexpr int32_t kAllEntries = 10431;

// File modes of the archive stream are those of the file layer.
using platform::fmCreate;
using platform::fmOpenRead;
using platform::fmOpenReadWrite;
using platform::fmOpenWrite;
using platform::fmShareCompat;
using platform::fmShareDenyNone;
using platform::fmShareDenyRead;
using platform::fmShareDenyWrite;
using platform::fmShareExclusive;

}  // namespace parcelon
