// Entry encryption: the known answers of the traditional key schedule,
// PBKDF2-HMAC-SHA1 and the AES counter mode; round trips through the
// encrypt and decrypt stages in blocks that split header and trailer; and
// the failures: a wrong password, changed data, data cut short.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <memory>
#include <random>
#include <string>

#include "archive/crypto/aes_transform.h"
#include "archive/crypto/crypto_stages.h"
#include "archive/crypto/random_bytes.h"
#include "archive/crypto/traditional_transform.h"
#include "archive/format/crc32.h"

namespace parcelon {
namespace {

using Bytes = std::vector<uint8_t>;

struct Collect : DataStage {
  bool Put(std::span<const uint8_t> block, bool last) override {
    bytes.insert(bytes.end(), block.begin(), block.end());
    ended = ended || last;
    return true;
  }
  Bytes bytes;
  bool ended = false;
};

Bytes FromHex(std::string_view hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}

Bytes Text(size_t size) {
  Bytes out(size);
  for (size_t i = 0; i < size; ++i)
    out[i] = static_cast<uint8_t>("<kml> 0123,45.6 </kml>\n"[i % 23]);
  return out;
}

// Puts `data` into `stage` in blocks of `block`; the final one is `last`.
void PutInBlocks(DataStage& stage, const Bytes& data, size_t block) {
  size_t at = 0;
  do {
    const size_t n = std::min(block, data.size() - at);
    ASSERT_TRUE(stage.Put(std::span(data).subspan(at, n), at + n == data.size()));
    at += n;
  } while (at < data.size());
}

TEST(TraditionalCipher, EmptyPasswordGivesTheInitialKeys) {
  Keys keys;
  InitKeys("", keys);
  EXPECT_EQ(keys, (Keys{0x12345678, 0x23456789, 0x34567890}));
}

TEST(TraditionalCipher, HeaderCarriesTheCrcAndBothSidesKeepEqualKeys) {
  const std::array<uint8_t, kTraditionalRandomSize> random{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  Keys writer;
  Keys reader;
  const TraditionalHeader header = MakeTraditionalHeader("pw", 0xA7D47C49, random, writer);
  ASSERT_TRUE(CheckPassword(header, "pw", 0xA7, reader));
  EXPECT_EQ(reader, writer);
  TraditionalHeader plain = header;
  Keys again;
  InitKeys("pw", again);
  DecryptBuffer(plain, again);
  EXPECT_EQ(plain[10], 0xD4);
  EXPECT_EQ(plain[11], 0xA7);
  Bytes data = Text(100);
  EncryptRange(data, 0, 1000, writer);  // the range is cut at the buffer's end
  DecryptBuffer(data, reader);
  EXPECT_EQ(data, Text(100));
  EXPECT_EQ(reader, writer);
  EXPECT_EQ(CheckByteOf(0x0008, 0xA7D47C49, 0x8B12), 0x8B);  // with a data descriptor: the time
  EXPECT_EQ(CheckByteOf(0x0001, 0xA7D47C49, 0x8B12), 0xA7);
}

TEST(AesKeys, Pbkdf2HmacSha1GivesTheKnownAnswers) {
  const struct {
    unsigned iterations;
    const char* hex;
  } cases[] = {{1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
               {2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
               {4096, "4b007901b765489abead49d926f721d065a429c1"}};
  const std::string_view salt = "salt";
  for (const auto& c : cases) {
    Bytes out(20);
    Pbkdf2HmacSha1("password", {reinterpret_cast<const uint8_t*>(salt.data()), salt.size()},
                   c.iterations, out);
    EXPECT_EQ(out, FromHex(c.hex)) << c.iterations;
  }
}

// Against OpenSSL's own derivation: random passwords (empty, and longer
// than a SHA-1 block), salts, round counts and output lengths of one byte
// to several blocks.
TEST(AesKeys, Pbkdf2HmacSha1AgreesWithOpenSsl) {
  std::mt19937 random(2026);
  const auto pick = [&](size_t most) {
    return std::uniform_int_distribution<size_t>(0, most)(random);
  };
  for (int trial = 0; trial < 60; ++trial) {
    std::string password(pick(trial % 10 == 0 ? 150 : 40), '\0');
    Bytes salt(pick(40));
    for (char& c : password) c = static_cast<char>(pick(255));
    for (uint8_t& b : salt) b = static_cast<uint8_t>(pick(255));
    const unsigned iterations = trial % 20 == 0 ? 1000 : static_cast<unsigned>(1 + pick(40));
    Bytes out(1 + pick(90)), expected(out.size());
    Pbkdf2HmacSha1(password, salt, iterations, out);
    ASSERT_EQ(
        PKCS5_PBKDF2_HMAC(password.data(), int(password.size()), salt.data(), int(salt.size()),
                          int(iterations), EVP_sha1(), int(expected.size()), expected.data()),
        1);
    EXPECT_EQ(out, expected) << "trial " << trial;
  }
}

// OpenSSL's own AES-ECB of one block.
Bytes EcbBlock(std::span<const uint8_t> key, const Bytes& block) {
  const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_ecb()
                             : key.size() == 24 ? EVP_aes_192_ecb()
                                                : EVP_aes_256_ecb();
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                      &EVP_CIPHER_CTX_free);
  Bytes out(16);
  int n = 0;
  EVP_EncryptInit_ex(ctx.get(), cipher, nullptr, key.data(), nullptr);
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  EVP_EncryptUpdate(ctx.get(), out.data(), &n, block.data(), 16);
  return out;
}

TEST(AesCounter, KeyStreamIsTheEncryptedLittleEndianCounterFromOne) {
  for (const size_t key_length : {16, 24, 32}) {
    Bytes key(key_length);
    for (size_t i = 0; i < key_length; ++i) key[i] = static_cast<uint8_t>(i * 7 + 1);
    Bytes stream(257 * 16);
    AesCounterMode counter(key);
    for (size_t at = 0; at < stream.size(); at += 13)  // pieces that split blocks
      counter.Apply(std::span(stream).subspan(at, std::min<size_t>(13, stream.size() - at)));
    const struct {
      size_t block;
      Bytes counter;
    } expected[] = {{0, {1}}, {1, {2}}, {255, {0, 1}}, {256, {1, 1}}};
    for (const auto& e : expected) {
      Bytes block = e.counter;
      block.resize(16);
      EXPECT_EQ(Bytes(stream.begin() + 16 * e.block, stream.begin() + 16 * (e.block + 1)),
                EcbBlock(key, block))
          << key_length << " " << e.block;
    }
  }
}

// One kind of cipher: how to make its transform for each direction.
struct Kind {
  const char* name;
  uint8_t strength;  // 0: traditional
};
constexpr Kind kKinds[] = {{"traditional", 0}, {"AES-128", 1}, {"AES-192", 2}, {"AES-256", 3}};
constexpr uint32_t kCrc = 0x5EC7E7A1;

std::unique_ptr<TPLCryptoTransform> Transform(const Kind& kind, CryptoMode mode,
                                              std::string_view password) {
  if (kind.strength == 0) {
    if (mode == CryptoMode::kEncrypt)
      return TTraditionalCryptoTransform::ForEncryption(password, kCrc);
    return TTraditionalCryptoTransform::ForDecryption(password, kCrc >> 24);
  }
  auto aes = std::make_unique<TAESCryptoTransform>(mode, kind.strength, 8);
  const Bytes salt(aes->SaltLength(), 0x5A);
  if (mode == CryptoMode::kEncrypt)
    aes->SetPassword(password, salt);  // a fixed salt: the tests do not depend on chance
  else
    aes->SetPassword(password);
  return aes;
}

// Encrypts `data` with a fixed header (traditional: fixed random bytes).
Bytes Encrypt(const Kind& kind, const Bytes& data, size_t block = 4096) {
  Collect out;
  if (kind.strength == 0) {
    const std::array<uint8_t, kTraditionalRandomSize> random{9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    Keys keys;
    const TraditionalHeader header = MakeTraditionalHeader("pw", kCrc, random, keys);
    out.bytes.assign(header.begin(), header.end());
    out.bytes.insert(out.bytes.end(), data.begin(), data.end());
    EncryptRange(out.bytes, header.size(), data.size(), keys);
    return out.bytes;
  }
  const auto transform = Transform(kind, CryptoMode::kEncrypt, "pw");
  EncryptStage stage(*transform, out);
  PutInBlocks(stage, data, block);
  EXPECT_TRUE(out.ended);
  return out.bytes;
}

Bytes Decrypt(const Kind& kind, const Bytes& stored, size_t block, std::string_view password) {
  const auto transform = Transform(kind, CryptoMode::kDecrypt, password);
  Collect out;
  DecryptStage stage(*transform, out);
  PutInBlocks(stage, stored, block);
  EXPECT_TRUE(out.ended);
  return out.bytes;
}

TEST(CryptoStages, RoundTripInBlocksThatSplitHeaderAndTrailer) {
  for (const Kind& kind : kKinds) {
    for (const size_t size : {0, 1, 9, 11, 100, 70000}) {
      const Bytes data = Text(size);
      for (const size_t block : {1, 3, 7, 11, 13, 17, 65536 + 5}) {
        if (size > 1000 && block < 11) continue;  // long enough in small blocks already
        const Bytes stored = Encrypt(kind, data, block);
        const auto transform = Transform(kind, CryptoMode::kDecrypt, "pw");
        ASSERT_EQ(stored.size(), size + transform->HeaderSize() + transform->TrailerSize());
        EXPECT_EQ(Decrypt(kind, stored, block, "pw"), data)
            << kind.name << " size " << size << " block " << block;
      }
    }
  }
}

TEST(CryptoStages, TheTraditionalEncryptStageWritesACheckableHeader) {
  const Bytes data = Text(5000);
  const uint32_t crc = UpdateCrc32(0, data);
  auto writer = TTraditionalCryptoTransform::ForEncryption("pw", crc);
  Collect stored;
  EncryptStage stage(*writer, stored);
  PutInBlocks(stage, data, 1000);
  auto reader = TTraditionalCryptoTransform::ForDecryption("pw", static_cast<uint8_t>(crc >> 24));
  Collect plain;
  DecryptStage back(*reader, plain);
  PutInBlocks(back, stored.bytes, 5);
  EXPECT_EQ(plain.bytes, data);
}

TEST(CryptoStages, WrongPasswordFailsTheHeaderCheck) {
  for (const Kind& kind : kKinds) {
    const Bytes stored = Encrypt(kind, Text(50));
    EXPECT_THROW(Decrypt(kind, stored, 5, "pW"), WrongPasswordError) << kind.name;
  }
}

TEST(CryptoStages, ChangedAesDataOrCodeFailsTheAuthentication) {
  for (const Kind& kind : kKinds) {
    if (kind.strength == 0) continue;
    const Bytes stored = Encrypt(kind, Text(300));
    const size_t header = AesSaltLength(kind.strength) + kAesVerifierSize;
    for (const size_t at : {header, stored.size() - kAesCodeSize - 1, stored.size() - 1}) {
      Bytes changed = stored;
      changed[at] ^= 0x01;
      EXPECT_THROW(Decrypt(kind, changed, 64, "pw"), AuthenticationError)
          << kind.name << " at " << at;
    }
  }
}

TEST(CryptoStages, DataShorterThanHeaderAndTrailerFails) {
  for (const Kind& kind : kKinds) {
    const Bytes stored = Encrypt(kind, {});
    for (size_t cut = 1; cut <= stored.size(); cut += 7) {
      const Bytes shorter(stored.begin(), stored.end() - static_cast<ptrdiff_t>(cut));
      EXPECT_THROW(Decrypt(kind, shorter, 4, "pw"), CodecError) << kind.name << " " << cut;
    }
  }
}

TEST(AesTransform, EachPasswordGetsANewSaltWithoutTheByte255) {
  TAESCryptoTransform first(CryptoMode::kEncrypt, 3, 8);
  TAESCryptoTransform second(CryptoMode::kEncrypt, 3, 8);
  first.SetPassword("pw");
  second.SetPassword("pw");
  EXPECT_NE(first.MakeHeader(), second.MakeHeader());
  EXPECT_EQ(first.MakeHeader().size(), 18u);
  Bytes salt(1 << 16);
  FillRandomBelow255(salt);
  EXPECT_EQ(std::count(salt.begin(), salt.end(), 0xFF), 0);
  EXPECT_GT(std::count(salt.begin(), salt.end(), 0xFE), 0);
  const AesField field = first.Field();
  EXPECT_EQ(field.VendorVersion, 2);
  EXPECT_EQ(field.KeyStrength, 3);
  EXPECT_EQ(field.Method, 8);
}

}  // namespace
}  // namespace parcelon
