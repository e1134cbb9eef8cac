// The cipher of an encrypted entry: which kind it is, and the password
// loop that finds a password fitting its encryption header before any of
// its data is decoded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive/common/engine_callbacks.h"
#include "archive/crypto/aes_key_read_ahead.h"
#include "archive/crypto/crypto_transform.h"
#include "archive/directory/dir_item.h"
#include "archive/format/records.h"
#include "platform/stream.h"

namespace parcelon {

// Whether the entry is AES-encrypted: its encryption bit is set, its
// version needed is below kVersionAesLimit and its AES field named a key
// strength. Any other encrypted entry uses the traditional cipher.
bool IsAesEntry(const TDirItem& entry);

// Whether the entry's recorded CRC-32 is to be compared with its data: not
// from version needed kVersionAesLimit up, and not for an AES entry of
// vendor version 2 (which records 0; vendor version 1 records the real one).
bool ComparesCrc(const TDirItem& entry);

// Where an encrypted entry's data lies and what its header is checked with.
struct EncryptedData {
  const TDirItem& entry;
  const LocalFileHeader& local;  // flags, CRC-32 and time give the traditional check byte
  int64_t start = 0;             // archive offset of the encryption header
  uint64_t size = 0;             // bytes of data from there, header and trailer included
  // Keys derived ahead, taken for a password and salt they were derived
  // for; null derives every key here.
  AesKeyReadAhead* keys_ahead = nullptr;
};

// The password loop. While `password` is empty (which counts as wrong
// before anything is read) or does not fit the encryption header, raises
// `events.Password` for another one, until one fits or the event gives
// the entry up. `password` is left as the last one tried. Returns a
// transform in decryption mode for the fitting password, to be fed the
// entry's data from its first byte (DecryptStage); null when the entry was
// given up (`skipped` set) or its header cannot be read in full. The
// archive's position is left anywhere.
std::unique_ptr<TPLCryptoTransform> UnlockEntry(platform::Stream& archive,
                                                const EncryptedData& data, std::string& password,
                                                EngineCallbacks& events, bool& skipped);

}  // namespace parcelon
