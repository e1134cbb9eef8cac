// The traditional cipher as a transform: a 12-byte header whose last byte
// checks the password, no trailer.
#pragma once

#include <memory>
#include <string>

#include "archive/crypto/crypto_transform.h"
#include "archive/crypto/traditional_cipher.h"

namespace parcelon {

class TTraditionalCryptoTransform : public TPLCryptoTransform {
 public:
  // Decrypting entry data whose header must check as `check_byte`
  // (CheckByteOf the local header).
  static std::unique_ptr<TTraditionalCryptoTransform> ForDecryption(std::string_view password,
                                                                    uint8_t check_byte);
  // Encrypting the data of an entry whose uncompressed data has CRC-32 `crc`.
  static std::unique_ptr<TTraditionalCryptoTransform> ForEncryption(std::string_view password,
                                                                    uint32_t crc);

  size_t HeaderSize() const override { return kTraditionalHeaderSize; }
  size_t TrailerSize() const override { return 0; }
  bool AcceptHeader(std::span<const uint8_t> header) override;
  std::vector<uint8_t> MakeHeader() override;
  void Transform(std::span<uint8_t> data) override;
  std::vector<uint8_t> MakeTrailer() override;
  bool CheckTrailer(std::span<const uint8_t> trailer) override;

 private:
  struct Passkey {};  // only the two named constructors above make one

 public:
  TTraditionalCryptoTransform(Passkey, CryptoMode mode, std::string_view password, uint32_t check);

 private:
  std::string password_;
  uint32_t check_;  // the check byte, or the CRC-32 when encrypting
  Keys keys_;
};

}  // namespace parcelon
