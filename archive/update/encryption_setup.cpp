#include "archive/update/encryption_setup.h"

#include <algorithm>

#include "archive/codec/compressor.h"
#include "archive/common/data_stage.h"
#include "archive/crypto/aes_transform.h"
#include "archive/crypto/traditional_transform.h"
#include "archive/errors/pl_exception.h"

namespace parcelon {
namespace {

uint8_t StrengthOf(TPLCryptoAlgorithm method) {
  return static_cast<uint8_t>(method - caAES_128 + 1);
}

[[noreturn]] void ThrowMismatch(uint64_t size, uint64_t count, const TComponent* component) {
  throw EPLException::CreateFmt(errc::kCompressedSizeMismatch,
                                {static_cast<int64_t>(size), static_cast<int64_t>(count)},
                                component);
}

void UseAes(TDirItem& item, TPLCryptoAlgorithm method, EncryptionSetup& cipher) {
  auto aes = std::make_unique<TAESCryptoTransform>(CryptoMode::kEncrypt, StrengthOf(method),
                                                   item.RealMethod);
  aes->SetPassword(item.Password()->Text());
  cipher.aes_field = MakeAesField(aes->Field());
  std::vector<ExtraField> fields = item.ExtraFields();
  std::erase_if(fields, [](const ExtraField& field) { return field.HeaderID == kAesFieldId; });
  fields.push_back(*cipher.aes_field);
  item.SetExtraFields(std::move(fields));
  item.Method = kMethodAesEncrypted;
  cipher.transform = std::move(aes);
}

}  // namespace

EncryptionSetup PrepareEncryption(TDirItem& item, TPLCryptoAlgorithm method,
                                  platform::Stream& source, const TComponent* component) {
  const auto size = static_cast<uint64_t>(source.Size());
  if (size == 0) item.Method = item.RealMethod = 0;
  item.Flags |= kFlagEncrypted;
  item.Encryption = method;
  EncryptionSetup cipher;
  try {
    if (method == caPkzipClassic) {
      cipher.crc = SourceCrc32(source, item.CompressionMode);
      cipher.transform =
          TTraditionalCryptoTransform::ForEncryption(item.Password()->Text(), cipher.crc);
    } else {
      UseAes(item, method, cipher);
    }
  } catch (const CodecError&) {
    ThrowMismatch(size, 0, component);
  }
  return cipher;
}

void FinishEncryption(TDirItem& item, const EncryptionSetup& cipher, const TComponent* component) {
  if (cipher.aes_field) {
    item.Crc32 = 0;
  } else if (item.Crc32 != cipher.crc) {
    ThrowMismatch(item.UnpackedSize64(), item.UnpackedSize64(), component);
  }
}

}  // namespace parcelon
