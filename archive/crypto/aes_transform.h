// AES encryption of one entry: a salt and a two-byte password verification
// value in front of the data, the data in AES counter mode, and the first
// ten bytes of an HMAC-SHA1 over the encrypted data behind it. The keys come
// from the password and the salt (aes_keys.h).
#pragma once

#include <optional>
#include <string>

#include "archive/crypto/aes_keys.h"
#include "archive/crypto/aes_primitives.h"
#include "archive/crypto/crypto_transform.h"
#include "archive/format/extra_fields.h"

namespace parcelon {

class TAESCryptoTransform : public TPLCryptoTransform {
 public:
  // `strength` 1, 2 or 3 (a 128, 192 or 256-bit key); `actual_method` the
  // entry's real compression method. Throws CodecError for another strength.
  TAESCryptoTransform(CryptoMode mode, uint8_t strength, uint16_t actual_method);

  // Takes the password. When encrypting, a new salt is drawn (bytes 0 to
  // 254, from the secure generator) and the keys derived. Throws CodecError
  // when the library fails.
  void SetPassword(std::string_view password);
  // Encrypting with a given salt (SaltLength() bytes; else CodecError).
  void SetPassword(std::string_view password, std::span<const uint8_t> salt);
  const std::string& Password() const { return password_; }
  // Decrypting: takes `keys` as those of Password() and `salt` (derived
  // ahead, see aes_key_read_ahead.h), so that a header with that salt is
  // checked without deriving them again. They must be what DeriveAesKeys
  // gives for them; the password given next drops them.
  void UseKeys(std::span<const uint8_t> salt, const AesKeys& keys);

  uint8_t Strength() const { return strength_; }
  size_t KeyLength() const { return AesKeyLength(strength_); }
  size_t SaltLength() const { return AesSaltLength(strength_); }
  // The AES extra field of the entry: vendor version 2, the strength, the
  // actual method.
  AesField Field() const;

  size_t HeaderSize() const override { return SaltLength() + kAesVerifierSize; }
  size_t TrailerSize() const override { return kAesCodeSize; }
  bool AcceptHeader(std::span<const uint8_t> header) override;
  // Throws std::logic_error before a password was given.
  std::vector<uint8_t> MakeHeader() override;
  void Transform(std::span<uint8_t> data) override;
  std::vector<uint8_t> MakeTrailer() override;
  bool CheckTrailer(std::span<const uint8_t> trailer) override;

 private:
  // Keys the cipher and the code from the password and `salt`.
  void Key(std::span<const uint8_t> salt);
  // Starts the key stream at counter 1 and the code afresh, with the keys.
  void Restart();
  // Throws std::logic_error when no keys were derived yet.
  void RequireKeys() const;

  uint8_t strength_;
  uint16_t actual_method_;
  std::string password_;
  std::vector<uint8_t> salt_;
  AesKeys keys_;
  std::optional<AesCounterMode> cipher_;
  std::optional<HmacSha1> code_;
};

}  // namespace parcelon
