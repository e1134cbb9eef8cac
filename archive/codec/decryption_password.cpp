#include "archive/codec/decryption_password.h"

#include <optional>
#include <vector>

#include "archive/crypto/aes_transform.h"
#include "archive/crypto/traditional_cipher.h"
#include "archive/crypto/traditional_transform.h"
#include "archive/format/extra_fields.h"

namespace parcelon {
namespace {

uint16_t AesVendorVersion(const TDirItem& entry) {
  for (const ExtraField& field : entry.ExtraFields()) {
    if (field.HeaderID != kAesFieldId) continue;
    if (const std::optional<AesField> aes = ReadAesField(field.Data)) return aes->VendorVersion;
  }
  return kAesVendorVersion2;
}

// The size of the entry's encryption header.
size_t HeaderSizeOf(const TDirItem& entry) {
  if (!IsAesEntry(entry)) return kTraditionalHeaderSize;
  return AesSaltLength(static_cast<uint8_t>(entry.Encryption)) + kAesVerifierSize;
}

// A decrypting transform for `password`; an AES one takes the keys derived
// ahead for the password and the salt of `header`, when there are any.
std::unique_ptr<TPLCryptoTransform> MakeTransform(const EncryptedData& data,
                                                  const std::string& password,
                                                  std::span<const uint8_t> header) {
  if (!IsAesEntry(data.entry)) {
    const LocalFileHeader& local = data.local;
    return TTraditionalCryptoTransform::ForDecryption(
        password, CheckByteOf(local.Flags, local.Crc32, local.FileTime));
  }
  auto aes = std::make_unique<TAESCryptoTransform>(
      CryptoMode::kDecrypt, static_cast<uint8_t>(data.entry.Encryption), data.entry.RealMethod);
  aes->SetPassword(password);
  const std::span<const uint8_t> salt = header.first(aes->SaltLength());
  if (data.keys_ahead)
    if (const auto keys = data.keys_ahead->Take(password, salt, aes->Strength()))
      aes->UseKeys(salt, *keys);
  return aes;
}

// The encryption header; nothing when the data is shorter or the archive
// ends first.
std::optional<std::vector<uint8_t>> ReadHeader(platform::Stream& archive,
                                               const EncryptedData& data) {
  const size_t size = HeaderSizeOf(data.entry);
  if (size > data.size) return std::nullopt;
  archive.Seek(data.start, platform::SeekOrigin::kBegin);
  std::vector<uint8_t> header(size);
  if (archive.Read(header.data(), size) != size) return std::nullopt;
  return header;
}

}  // namespace

bool IsAesEntry(const TDirItem& entry) {
  return entry.IsEncrypted() && entry.VersionNeeded < kVersionAesLimit &&
         entry.Encryption != caPkzipClassic;
}

bool ComparesCrc(const TDirItem& entry) {
  if (entry.VersionNeeded >= kVersionAesLimit) return false;
  return !IsAesEntry(entry) || AesVendorVersion(entry) == kAesVendorVersion1;
}

std::unique_ptr<TPLCryptoTransform> UnlockEntry(platform::Stream& archive,
                                                const EncryptedData& data, std::string& password,
                                                EngineCallbacks& events, bool& skipped) {
  skipped = false;
  std::optional<std::vector<uint8_t>> header;
  for (;;) {
    if (!password.empty()) {
      if (!header) header = ReadHeader(archive, data);
      if (!header) return nullptr;
      auto transform = MakeTransform(data, password, *header);
      if (transform->AcceptHeader(*header)) return transform;
    }
    events.Password(data.entry.Name.str(), password, skipped);
    if (skipped) return nullptr;
  }
}

}  // namespace parcelon
