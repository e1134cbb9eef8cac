// Encryption and decryption as stages of an entry's data path. A decrypt
// stage sits between the archive and the inflater and takes the entry's
// data from its first byte (the encryption header included); an encrypt
// stage sits between the deflater and the sink and puts the header in
// front and the trailer behind what passes. Both work in pieces of at most
// 64 KiB, whatever the block sizes.
#pragma once

#include <vector>

#include "archive/common/data_stage.h"
#include "archive/crypto/crypto_errors.h"
#include "archive/crypto/crypto_transform.h"

namespace parcelon {

class DecryptStage : public DataStage {
 public:
  // `transform` (in decryption mode, with its password) and `next` must
  // outlive the stage.
  DecryptStage(TPLCryptoTransform& transform, DataStage& next);

  // Collects the header and checks it (WrongPasswordError when it does not
  // fit the password), then hands the decrypted data on, withholding the
  // last TrailerSize() bytes seen: at the `last` block they are the
  // trailer, which is checked before `last` is handed on
  // (AuthenticationError when it does not match; all of the data has been
  // handed on by then). Throws CodecError when the data ends before its
  // header and trailer. False when the next stage gave up.
  bool Put(std::span<const uint8_t> block, bool last) override;

 private:
  // Takes header bytes from the front of `block`; gives the rest.
  std::span<const uint8_t> TakeHeader(std::span<const uint8_t> block);
  // Decrypts and hands on `data` (never the last block).
  bool PassOn(std::span<const uint8_t> data);
  bool Finish();

  TPLCryptoTransform& transform_;
  DataStage& next_;
  std::vector<uint8_t> header_;
  bool keyed_ = false;
  std::vector<uint8_t> tail_;  // the withheld bytes, at most TrailerSize()
  std::vector<uint8_t> work_;
};

class EncryptStage : public DataStage {
 public:
  // `transform` (in encryption mode, with its password) and `next` must
  // outlive the stage. What reaches `next` is HeaderSize() + TrailerSize()
  // bytes longer than what is put.
  EncryptStage(TPLCryptoTransform& transform, DataStage& next);

  // Hands on the header before the first bytes, the encrypted block, and
  // with `last` the trailer. False when the next stage gave up.
  bool Put(std::span<const uint8_t> block, bool last) override;

 private:
  TPLCryptoTransform& transform_;
  DataStage& next_;
  bool started_ = false;
  std::vector<uint8_t> work_;
};

}  // namespace parcelon
