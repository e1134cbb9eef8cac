// The encryption of a new entry that carries a password: the traditional
// cipher, keyed with the CRC-32 of a first pass over the source (its header
// needs the CRC before any data is written, and no data descriptor follows
// the data), or AES, whose field names the key strength and the real method.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "archive/common/component.h"
#include "archive/crypto/crypto_transform.h"
#include "archive/directory/dir_item.h"
#include "platform/stream.h"

namespace parcelon {

struct EncryptionSetup {
  std::unique_ptr<TPLCryptoTransform> transform;  // in encryption mode, keyed
  std::optional<ExtraField> aes_field;            // for both headers, with AES
  uint32_t crc = 0;                               // the CRC-32 the first pass found
};

// Prepares the encryption of `item` (which has a password) from `source`
// by `method`: sets flag bit 0 and the item's Encryption; an empty source
// is stored; with AES the header method becomes 99. The item's AES field
// (replacing any earlier one) is kept on it for the central directory.
// Throws EPLException 34 when the secure random generator fails; stream
// errors pass.
EncryptionSetup PrepareEncryption(TDirItem& item, TPLCryptoAlgorithm method,
                                  platform::Stream& source, const TComponent* component);

// After the data was written: a traditional entry whose data no longer has
// the CRC-32 of the first pass (the source changed in between) raises
// EPLException 34, as its header would check the wrong byte; an AES entry
// gets CRC-32 0, as the authentication code checks its data and a CRC of
// the plain data would only tell about it.
void FinishEncryption(TDirItem& item, const EncryptionSetup& cipher, const TComponent* component);

}  // namespace parcelon
