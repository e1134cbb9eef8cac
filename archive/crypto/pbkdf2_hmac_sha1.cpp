// The SHA-1 block interface below is marked deprecated in OpenSSL 3 in
// favour of EVP, whose per-call context copies make PBKDF2 several times
// slower; it is still supported and runs the same accelerated block code
// (SHA extensions where the processor has them). Only this file uses it.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "archive/crypto/pbkdf2_hmac_sha1.h"

#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <vector>

#include "archive/common/data_stage.h"

namespace parcelon {
namespace {

// The five chaining words of a SHA-1 state, h0 to h4, which lie in a row
// in the state; they are copied in and out as one piece, so that the block
// function's wide loads find them in a single store.
using Words = std::array<uint32_t, 5>;
using Digest = std::array<uint8_t, SHA_DIGEST_LENGTH>;
static_assert(sizeof(SHA_LONG) == 4 && offsetof(SHA_CTX, h4) == offsetof(SHA_CTX, h0) + 16);

Words WordsOf(const SHA_CTX& state) {
  Words words;
  std::memcpy(words.data(), reinterpret_cast<const uint8_t*>(&state) + offsetof(SHA_CTX, h0),
              sizeof words);
  return words;
}

void SetWords(SHA_CTX& state, const Words& words) {
  std::memcpy(reinterpret_cast<uint8_t*>(&state) + offsetof(SHA_CTX, h0), words.data(),
              sizeof words);
}

// A word whose bytes in memory are `word`'s from the most significant.
uint32_t BigEndian(uint32_t word) {
  if constexpr (std::endian::native == std::endian::little) return __builtin_bswap32(word);
  return word;
}

// The words as a digest: big-endian bytes, as SHA-1 outputs them.
void StoreDigest(const Words& words, uint8_t* out) {
  for (size_t i = 0; i < words.size(); ++i) {
    const uint32_t word = BigEndian(words[i]);
    std::memcpy(out + 4 * i, &word, 4);
  }
}

// The words of a digest.
Words LoadDigest(const uint8_t* digest) {
  Words words{};
  for (size_t i = 0; i < words.size(); ++i)
    for (size_t b = 0; b < 4; ++b) words[i] = words[i] << 8 | digest[4 * i + b];
  return words;
}

// The SHA-1 states after an HMAC key's inner and outer pad: every HMAC
// under that key goes on from them.
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

// HMAC-SHA1 of a message of any length: the first round of a block.
Words Mac(const HmacPads& pads, std::span<const uint8_t> message) {
  Digest code;
  SHA_CTX state = pads.inner;
  SHA1_Update(&state, message.data(), message.size());
  SHA1_Final(code.data(), &state);
  state = pads.outer;
  SHA1_Update(&state, code.data(), code.size());
  SHA1_Final(code.data(), &state);
  const Words words = LoadDigest(code.data());
  OPENSSL_cleanse(code.data(), code.size());
  OPENSSL_cleanse(&state, sizeof state);
  return words;
}

// The later rounds: HMAC-SHA1 of a 20-byte digest, two calls of the block
// function each. Both hashes of such a round end with one block of the
// same shape (the digest, the end mark 0x80, zeros and the message length
// of 64 + 20 bytes in bits), so one pre-padded block serves both and only
// its first 32 bytes are rewritten, in one piece; the words are read out
// of the state directly.
class DigestRounds {
 public:
  explicit DigestRounds(const HmacPads& pads)
      : inner_(WordsOf(pads.inner)), outer_(WordsOf(pads.outer)) {
    constexpr uint32_t kBits = (SHA_CBLOCK + SHA_DIGEST_LENGTH) * 8;
    block_[block_.size() - 1] = BigEndian(kBits);
  }
  ~DigestRounds() { OPENSSL_cleanse(this, sizeof *this); }
  DigestRounds(const DigestRounds&) = delete;
  DigestRounds& operator=(const DigestRounds&) = delete;

  // The HMAC of the digest `u`.
  Words Next(const Words& u) {
    Hash(inner_, u);
    Hash(outer_, WordsOf(state_));
    return WordsOf(state_);
  }

 private:
  // Hashes the last block, holding `digest`, on from the chaining words
  // `start`; the result is left in the state.
  void Hash(const Words& start, const Words& digest) {
    const std::array<uint32_t, 8> head{BigEndian(digest[0]),
                                       BigEndian(digest[1]),
                                       BigEndian(digest[2]),
                                       BigEndian(digest[3]),
                                       BigEndian(digest[4]),
                                       BigEndian(0x80000000),
                                       0,
                                       0};
    std::memcpy(block_.data(), head.data(), sizeof head);
    SetWords(state_, start);
    SHA1_Transform(&state_, reinterpret_cast<const uint8_t*>(block_.data()));
  }

  Words inner_;
  Words outer_;
  SHA_CTX state_{};  // only its chaining words are used
  alignas(16) std::array<uint32_t, SHA_LBLOCK> block_{};
};

// Block `index` (from 1) of the derived bytes: U1 = HMAC(salt || index),
// Un = HMAC(Un-1), their XOR.
Words DerivedBlock(const HmacPads& pads, std::vector<uint8_t>& salted, uint32_t index,
                   unsigned iterations) {
  const size_t at = salted.size() - 4;
  for (size_t i = 0; i < 4; ++i) salted[at + i] = static_cast<uint8_t>(index >> (24 - 8 * i));
  DigestRounds rounds(pads);
  Words u = Mac(pads, salted);
  Words sum = u;
  for (unsigned round = 1; round < iterations; ++round) {
    u = rounds.Next(u);
    for (size_t i = 0; i < sum.size(); ++i) sum[i] ^= u[i];
  }
  OPENSSL_cleanse(u.data(), sizeof u);
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
  Digest block;
  for (size_t done = 0, index = 1; done < out.size(); ++index) {
    Words words = DerivedBlock(pads, salted, static_cast<uint32_t>(index), iterations);
    StoreDigest(words, block.data());
    const size_t n = std::min(block.size(), out.size() - done);
    std::copy_n(block.begin(), n, out.begin() + static_cast<ptrdiff_t>(done));
    OPENSSL_cleanse(words.data(), sizeof words);
    done += n;
  }
  OPENSSL_cleanse(block.data(), block.size());
  OPENSSL_cleanse(salted.data(), salted.size());
}

}  // namespace parcelon
