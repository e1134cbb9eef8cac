#include "archive/crypto/aes_transform.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "archive/common/data_stage.h"
#include "archive/crypto/random_bytes.h"

namespace parcelon {

TAESCryptoTransform::TAESCryptoTransform(CryptoMode mode, uint8_t strength, uint16_t actual_method)
    : TPLCryptoTransform(mode), strength_(strength), actual_method_(actual_method) {
  if (AesKeyLength(strength) == 0)
    throw CodecError("no AES key strength " + std::to_string(strength));
}

void TAESCryptoTransform::SetPassword(std::string_view password) {
  password_ = password;
  salt_.clear();  // the keys no longer fit
  if (Mode() == CryptoMode::kDecrypt) return;
  std::vector<uint8_t> salt(SaltLength());
  FillRandomBelow255(salt);
  Key(salt);
}

void TAESCryptoTransform::SetPassword(std::string_view password, std::span<const uint8_t> salt) {
  Require(CryptoMode::kEncrypt);
  if (salt.size() != SaltLength()) throw CodecError("AES salt of the wrong length");
  password_ = password;
  Key(salt);
}

void TAESCryptoTransform::UseKeys(std::span<const uint8_t> salt, const AesKeys& keys) {
  Require(CryptoMode::kDecrypt);
  if (keys.length != KeyLength()) return;  // not keys of this strength: derived when needed
  keys_ = keys;
  salt_.assign(salt.begin(), salt.end());
}

AesField TAESCryptoTransform::Field() const {
  return {.VendorVersion = kAesVendorVersion2, .KeyStrength = strength_, .Method = actual_method_};
}

void TAESCryptoTransform::Key(std::span<const uint8_t> salt) {
  keys_ = DeriveAesKeys(password_, salt, KeyLength());
  salt_.assign(salt.begin(), salt.end());
  Restart();
}

void TAESCryptoTransform::Restart() {
  cipher_.emplace(keys_.EncryptionKey());
  code_.emplace(keys_.AuthenticationKey());
}

void TAESCryptoTransform::RequireKeys() const {
  if (!cipher_ || !code_) throw std::logic_error("AES cipher used before it was keyed");
}

bool TAESCryptoTransform::AcceptHeader(std::span<const uint8_t> header) {
  Require(CryptoMode::kDecrypt);
  if (header.size() != HeaderSize()) return false;
  const std::span<const uint8_t> salt = header.first(SaltLength());
  const std::span<const uint8_t> verifier = header.last(kAesVerifierSize);
  cipher_.reset();
  code_.reset();
  if (!std::equal(salt.begin(), salt.end(), salt_.begin(), salt_.end())) {
    keys_ = DeriveAesKeys(password_, salt, KeyLength());  // derived once for a header seen again
    salt_.assign(salt.begin(), salt.end());
  }
  if (CRYPTO_memcmp(keys_.verifier.data(), verifier.data(), kAesVerifierSize) != 0) return false;
  Restart();
  return true;
}

std::vector<uint8_t> TAESCryptoTransform::MakeHeader() {
  Require(CryptoMode::kEncrypt);
  RequireKeys();
  Restart();
  std::vector<uint8_t> header(salt_);
  header.insert(header.end(), keys_.verifier.begin(), keys_.verifier.end());
  return header;
}

void TAESCryptoTransform::Transform(std::span<uint8_t> data) {
  RequireKeys();
  if (Mode() == CryptoMode::kEncrypt) {
    cipher_->Apply(data);
    code_->Update(data);
  } else {
    code_->Update(data);
    cipher_->Apply(data);
  }
}

std::vector<uint8_t> TAESCryptoTransform::MakeTrailer() {
  Require(CryptoMode::kEncrypt);
  RequireKeys();
  const auto code = code_->Final();
  code_.reset();
  return {code.begin(), code.begin() + kAesCodeSize};
}

bool TAESCryptoTransform::CheckTrailer(std::span<const uint8_t> trailer) {
  Require(CryptoMode::kDecrypt);
  RequireKeys();
  if (trailer.size() != kAesCodeSize) return false;
  const auto code = code_->Final();
  code_.reset();
  return CRYPTO_memcmp(code.data(), trailer.data(), kAesCodeSize) == 0;
}

}  // namespace parcelon
