#include "archive/crypto/aes_keys.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <array>

#include "archive/common/data_stage.h"

namespace parcelon {

size_t AesKeyLength(uint8_t strength) {
  return strength >= 1 && strength <= 3 ? size_t{8} + 8 * size_t{strength} : 0;
}

AesKeys::~AesKeys() {
  OPENSSL_cleanse(encryption.data(), encryption.size());
  OPENSSL_cleanse(authentication.data(), authentication.size());
}

AesKeys DeriveAesKeys(std::string_view password, std::span<const uint8_t> salt, size_t key_length) {
  if (key_length != 16 && key_length != 24 && key_length != 32)
    throw CodecError("no AES key of that length");
  std::array<uint8_t, 2 * kAesMaxKeyLength + kAesVerifierSize> derived{};
  const std::span<uint8_t> out(derived.data(), 2 * key_length + kAesVerifierSize);
  Pbkdf2HmacSha1(password, salt, kAesKeyIterations, out);
  AesKeys keys;
  keys.length = key_length;
  std::copy_n(out.begin(), key_length, keys.encryption.begin());
  std::copy_n(out.begin() + static_cast<ptrdiff_t>(key_length), key_length,
              keys.authentication.begin());
  std::copy_n(out.end() - kAesVerifierSize, kAesVerifierSize, keys.verifier.begin());
  OPENSSL_cleanse(derived.data(), derived.size());
  return keys;
}

}  // namespace parcelon
