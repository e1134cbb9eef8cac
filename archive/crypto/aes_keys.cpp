// The SHA-1 block interface below is marked deprecated in OpenSSL 3 in
// favour of EVP, whose per-call context copies make PBKDF2 several times
// slower; it is still supported and uses the same accelerated code.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "archive/crypto/aes_keys.h"

#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <algorithm>
#include <array>
#include <vector>

#include "archive/codec/data_stage.h"

namespace parcelon {

size_t AesKeyLength(uint8_t strength) {
  return strength >= 1 && strength <= 3 ? size_t{8} + 8 * size_t{strength} : 0;
}

namespace {

// The SHA-1 states after an HMAC key's inner and outer pad: every HMAC
// under that key goes on from copies of them, two SHA-1 blocks for a short
// message instead of a fresh HMAC with its allocations.
struct HmacPads {
  SHA_CTX inner;
  SHA_CTX outer;
  ~HmacPads() { OPENSSL_cleanse(this, sizeof *this); }
};

void StartPad(SHA_CTX& state, const std::array<uint8_t, SHA_CBLOCK>& key, uint8_t pad) {
  std::array<uint8_t, SHA_CBLOCK> block;
  for (size_t i = 0; i < block.size(); ++i) block[i] = key[i] ^ pad;
  SHA1_Init(&state);
  SHA1_Update(&state, block.data(), block.size());
  OPENSSL_cleanse(block.data(), block.size());
}

void KeyPads(std::string_view password, HmacPads& pads) {
  std::array<uint8_t, SHA_CBLOCK> key{};  // a longer key is hashed first
  const auto* bytes = reinterpret_cast<const uint8_t*>(password.data());
  if (password.size() > key.size())
    SHA1(bytes, password.size(), key.data());
  else
    std::copy_n(bytes, password.size(), key.begin());
  StartPad(pads.inner, key, 0x36);
  StartPad(pads.outer, key, 0x5c);
  OPENSSL_cleanse(key.data(), key.size());
}

using Digest = std::array<uint8_t, SHA_DIGEST_LENGTH>;

// HMAC-SHA1 of `message` into `code` (which may hold the message).
void Mac(const HmacPads& pads, std::span<const uint8_t> message, Digest& code) {
  SHA_CTX state = pads.inner;
  SHA1_Update(&state, message.data(), message.size());
  SHA1_Final(code.data(), &state);
  state = pads.outer;
  SHA1_Update(&state, code.data(), code.size());
  SHA1_Final(code.data(), &state);
  OPENSSL_cleanse(&state, sizeof state);
}

// Block `index` (from 1) of the derived bytes: U1 = HMAC(salt || index),
// Un = HMAC(Un-1), their XOR.
Digest DerivedBlock(const HmacPads& pads, std::vector<uint8_t>& salted, uint32_t index,
                    unsigned iterations) {
  const size_t at = salted.size() - 4;
  for (size_t i = 0; i < 4; ++i) salted[at + i] = static_cast<uint8_t>(index >> (24 - 8 * i));
  Digest u, sum;
  Mac(pads, salted, u);
  sum = u;
  for (unsigned round = 1; round < iterations; ++round) {
    Mac(pads, u, u);
    for (size_t i = 0; i < sum.size(); ++i) sum[i] ^= u[i];
  }
  OPENSSL_cleanse(u.data(), u.size());
  return sum;
}

}  // namespace

void Pbkdf2HmacSha1(std::string_view password, std::span<const uint8_t> salt, unsigned iterations,
                    std::span<uint8_t> out) {
  if (iterations == 0) throw CodecError("key derivation needs one round at least");
  HmacPads pads;
  KeyPads(password, pads);
  std::vector<uint8_t> salted(salt.begin(), salt.end());
  salted.resize(salt.size() + 4);
  for (size_t done = 0, index = 1; done < out.size(); ++index) {
    Digest block = DerivedBlock(pads, salted, static_cast<uint32_t>(index), iterations);
    const size_t n = std::min(block.size(), out.size() - done);
    std::copy_n(block.begin(), n, out.begin() + static_cast<ptrdiff_t>(done));
    OPENSSL_cleanse(block.data(), block.size());
    done += n;
  }
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
