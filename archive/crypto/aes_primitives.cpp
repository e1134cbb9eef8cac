#include "archive/crypto/aes_primitives.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>

#include "archive/common/data_stage.h"

namespace parcelon {
namespace {

const EVP_CIPHER* EcbCipher(size_t key_length) {
  switch (key_length) {
    case 16:
      return EVP_aes_128_ecb();
    case 24:
      return EVP_aes_192_ecb();
    case 32:
      return EVP_aes_256_ecb();
    default:
      throw CodecError("no AES key of that length");
  }
}

// data ^= stream, eight bytes at a time where it can.
void XorInto(std::span<uint8_t> data, std::span<const uint8_t> stream) {
  size_t i = 0;
  for (; i + 8 <= data.size(); i += 8) {
    uint64_t a = 0;
    uint64_t b = 0;
    std::memcpy(&a, data.data() + i, 8);
    std::memcpy(&b, stream.data() + i, 8);
    a ^= b;
    std::memcpy(data.data() + i, &a, 8);
  }
  for (; i < data.size(); ++i) data[i] = static_cast<uint8_t>(data[i] ^ stream[i]);
}

struct CipherFree {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
struct MacFree {
  void operator()(EVP_MAC* mac) const { EVP_MAC_free(mac); }
};
struct MacCtxFree {
  void operator()(EVP_MAC_CTX* ctx) const { EVP_MAC_CTX_free(ctx); }
};

}  // namespace

struct AesCounterMode::Context {
  std::unique_ptr<EVP_CIPHER_CTX, CipherFree> cipher{EVP_CIPHER_CTX_new()};
};

AesCounterMode::AesCounterMode(std::span<const uint8_t> key)
    : context_(std::make_unique<Context>()) {
  const EVP_CIPHER* cipher = EcbCipher(key.size());
  EVP_CIPHER_CTX* ctx = context_->cipher.get();
  if (!ctx || EVP_EncryptInit_ex(ctx, cipher, nullptr, key.data(), nullptr) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx, 0) != 1)
    throw CodecError("AES cannot start");
}

AesCounterMode::~AesCounterMode() {
  OPENSSL_cleanse(stream_.data(), stream_.size());
}
AesCounterMode::AesCounterMode(AesCounterMode&&) noexcept = default;
AesCounterMode& AesCounterMode::operator=(AesCounterMode&&) noexcept = default;

void AesCounterMode::Apply(std::span<uint8_t> data) {
  while (!data.empty()) {
    if (used_ == stream_.size()) Refill();
    const size_t n = std::min(data.size(), stream_.size() - used_);
    XorInto(data.first(n), {stream_.data() + used_, n});
    used_ += n;
    data = data.subspan(n);
  }
}

void AesCounterMode::Refill() {
  std::array<uint8_t, kBlock * kBatch> blocks{};  // bytes 8 to 15 of each block stay zero
  for (size_t at = 0; at < blocks.size(); at += kBlock) {
    const uint64_t counter = ++counter_;  // wraps within its 8 bytes
    for (size_t i = 0; i < 8; ++i) blocks[at + i] = static_cast<uint8_t>(counter >> (8 * i));
  }
  int made = 0;
  if (EVP_EncryptUpdate(context_->cipher.get(), stream_.data(), &made, blocks.data(),
                        static_cast<int>(blocks.size())) != 1 ||
      made != static_cast<int>(blocks.size()))
    throw CodecError("AES failed");
  used_ = 0;
}

struct HmacSha1::Context {
  std::unique_ptr<EVP_MAC, MacFree> mac{EVP_MAC_fetch(nullptr, "HMAC", nullptr)};
  std::unique_ptr<EVP_MAC_CTX, MacCtxFree> ctx;
};

HmacSha1::HmacSha1(std::span<const uint8_t> key) : context_(std::make_unique<Context>()) {
  if (context_->mac) context_->ctx.reset(EVP_MAC_CTX_new(context_->mac.get()));
  char digest[] = "SHA1";
  const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                               OSSL_PARAM_END};
  if (!context_->ctx || EVP_MAC_init(context_->ctx.get(), key.data(), key.size(), params) != 1)
    throw CodecError("HMAC-SHA1 cannot start");
}

HmacSha1::~HmacSha1() = default;
HmacSha1::HmacSha1(HmacSha1&&) noexcept = default;
HmacSha1& HmacSha1::operator=(HmacSha1&&) noexcept = default;

void HmacSha1::Update(std::span<const uint8_t> data) {
  if (EVP_MAC_update(context_->ctx.get(), data.data(), data.size()) != 1)
    throw CodecError("HMAC-SHA1 failed");
}

std::array<uint8_t, HmacSha1::kSize> HmacSha1::Final() {
  std::array<uint8_t, kSize> code{};
  size_t length = 0;
  if (EVP_MAC_final(context_->ctx.get(), code.data(), &length, code.size()) != 1 || length != kSize)
    throw CodecError("HMAC-SHA1 failed");
  return code;
}

}  // namespace parcelon
