// The keys of an AES-encrypted entry: PBKDF2 with HMAC-SHA1 over the
// password and the entry's salt gives the encryption key, the
// authentication key and the two-byte password verification value.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "archive/crypto/pbkdf2_hmac_sha1.h"

namespace parcelon {

inline constexpr unsigned kAesKeyIterations = 1000;
inline constexpr size_t kAesMaxKeyLength = 32;
inline constexpr size_t kAesVerifierSize = 2;
inline constexpr size_t kAesCodeSize = 10;

// The key length in bytes (16, 24, 32) of key strength 1, 2 or 3; 0 for any
// other strength.
size_t AesKeyLength(uint8_t strength);
// The salt length of a key strength: half its key length (8, 12, 16).
inline size_t AesSaltLength(uint8_t strength) {
  return AesKeyLength(strength) / 2;
}

// What the derivation gives, each key `length` bytes long. The bytes are
// wiped when the object goes.
struct AesKeys {
  size_t length = 0;
  std::array<uint8_t, kAesMaxKeyLength> encryption{};
  std::array<uint8_t, kAesMaxKeyLength> authentication{};
  std::array<uint8_t, kAesVerifierSize> verifier{};

  AesKeys() = default;
  AesKeys(const AesKeys&) = default;
  AesKeys& operator=(const AesKeys&) = default;
  ~AesKeys();
  std::span<const uint8_t> EncryptionKey() const { return {encryption.data(), length}; }
  std::span<const uint8_t> AuthenticationKey() const { return {authentication.data(), length}; }
};

// The keys of `key_length` bytes (16, 24 or 32) for `password` and `salt`.
// Throws CodecError for another key length or when the library fails.
AesKeys DeriveAesKeys(std::string_view password, std::span<const uint8_t> salt, size_t key_length);

}  // namespace parcelon
