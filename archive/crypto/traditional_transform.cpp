#include "archive/crypto/traditional_transform.h"

#include <algorithm>

namespace parcelon {

TTraditionalCryptoTransform::TTraditionalCryptoTransform(Passkey, CryptoMode mode,
                                                         std::string_view password, uint32_t check)
    : TPLCryptoTransform(mode), password_(password), check_(check) {}

std::unique_ptr<TTraditionalCryptoTransform> TTraditionalCryptoTransform::ForDecryption(
    std::string_view password, uint8_t check_byte) {
  return std::make_unique<TTraditionalCryptoTransform>(Passkey{}, CryptoMode::kDecrypt, password,
                                                       check_byte);
}

std::unique_ptr<TTraditionalCryptoTransform> TTraditionalCryptoTransform::ForEncryption(
    std::string_view password, uint32_t crc) {
  return std::make_unique<TTraditionalCryptoTransform>(Passkey{}, CryptoMode::kEncrypt, password,
                                                       crc);
}

bool TTraditionalCryptoTransform::AcceptHeader(std::span<const uint8_t> header) {
  Require(CryptoMode::kDecrypt);
  if (header.size() != kTraditionalHeaderSize) return false;
  TraditionalHeader stored{};
  std::copy(header.begin(), header.end(), stored.begin());
  return CheckPassword(stored, password_, static_cast<uint8_t>(check_), keys_);
}

std::vector<uint8_t> TTraditionalCryptoTransform::MakeHeader() {
  Require(CryptoMode::kEncrypt);
  const TraditionalHeader header = MakeTraditionalHeader(password_, check_, keys_);
  return {header.begin(), header.end()};
}

void TTraditionalCryptoTransform::Transform(std::span<uint8_t> data) {
  if (Mode() == CryptoMode::kEncrypt)
    EncryptRange(data, 0, data.size(), keys_);
  else
    DecryptBuffer(data, keys_);
}

std::vector<uint8_t> TTraditionalCryptoTransform::MakeTrailer() {
  Require(CryptoMode::kEncrypt);
  return {};
}

bool TTraditionalCryptoTransform::CheckTrailer(std::span<const uint8_t> trailer) {
  Require(CryptoMode::kDecrypt);
  return trailer.empty();
}

}  // namespace parcelon
