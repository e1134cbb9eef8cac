// Turns one entry of an archive into its uncompressed bytes on a
// destination, and decides whether they are sound: the size and the CRC-32
// that the central directory records.
#pragma once

#include <cstdint>
#include <string>

#include "archive/codec/inflate_stage.h"
#include "archive/codec/progress.h"
#include "archive/common/engine_callbacks.h"
#include "archive/common/settings.h"
#include "archive/crypto/aes_key_read_ahead.h"
#include "archive/directory/dir_item.h"
#include "platform/stream.h"

namespace parcelon {

// One decoding: what it reports to and, from the settings, the archive's
// name (for the disk-full event), the inflater and the password that
// decrypts an encrypted entry (the password event replaces it while it does
// not fit).
struct DecodeSettings {
  EngineCallbacks& events;
  RunProgress& progress;
  const EngineSettings& engine;
  // No entry's data reaches this archive offset (where the central
  // directory starts): data that would is cut there.
  uint64_t data_limit = UINT64_MAX;
  // Keys of AES entries derived ahead (see UnlockEntry); null derives them
  // in turn.
  AesKeyReadAhead* keys_ahead = nullptr;
};

// The input is read in chunks of this size.
inline constexpr size_t kDecodeChunkSize = size_t{1} << 20;

// Decodes `entry`, whose local header lies at `archive`'s position (the
// data is found through the local header's own name and extra lengths),
// onto `destination`, stored (method 0) or deflated (8), in chunks of
// kDecodeChunkSize; a disk-full prompt answers a short write. Progress
// events fire per block while the progress's reporting is on. An encrypted
// entry (traditional or AES) is first unlocked with the settings' password
// or one the password event gives (see UnlockEntry), then decrypted on the
// way; an AES entry's authentication code is checked. Returns true when all
// of the entry was produced and matches its recorded size and CRC-32 (where
// ComparesCrc). Returns false when it does not (damaged data, a wrong
// password that passed the header check, an unknown method, data that runs
// past the archive or beyond its stated size, which is not written), when a
// handler cancelled (the progress's cancel flag is then set), and when the
// password event gave the entry up (its skip flag is then set; nothing was
// written). Raises error 55 for
// Deflate64 (method 9) and 65 from the disk-full default; the stream errors
// of the archive and the destination pass.
bool DecompressItem(platform::Stream& archive, platform::Stream& destination, const TDirItem& entry,
                    const DecodeSettings& settings);

}  // namespace parcelon
