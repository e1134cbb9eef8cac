// A read-only view of one entry of an open archive's directory: what the
// front ends read of an entry to list it, choose it or refuse it. The view
// refers to the entry in place; it stays valid until the directory changes
// (an update, a cancel, a close or another open) and never changes it.
#pragma once

#include <cstdint>
#include <string>

#include "archive/common/types.h"

namespace parcelon {

struct TDirItem;

class EntryView {
 public:
  // `item` must outlive the view.
  explicit EntryView(const TDirItem& item) : item_(&item) {}

  // The name as stored, '/' between folders.
  std::u16string Name() const;
  // The sizes and CRC-32 as the directory states them (the 64-bit values
  // where the 32-bit fields are saturated).
  uint64_t Size() const;
  uint64_t PackedSize() const;
  uint32_t Crc32() const;
  // The modification time as stored, in DOS form.
  uint16_t FileDate() const;
  uint16_t FileTime() const;
  uint32_t ExternalAttributes() const;
  uint16_t Method() const;
  // A folder by its attributes (a trailing '/' is not looked at).
  bool IsFolder() const;
  bool IsEncrypted() const;
  // The cipher of an encrypted entry.
  TPLCryptoAlgorithm Encryption() const;
  // Queued with new data or as a new entry in the open update.
  bool Modified() const;

 private:
  const TDirItem* item_;
};

}  // namespace parcelon
