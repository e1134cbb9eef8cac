#include "archive/entry_view.h"

#include "archive/directory/dir_item.h"

namespace parcelon {

std::u16string EntryView::Name() const {
  return item_->Name.str();
}

uint64_t EntryView::Size() const {
  return item_->UnpackedSize64();
}

uint64_t EntryView::PackedSize() const {
  return item_->PackedSize64();
}

uint32_t EntryView::Crc32() const {
  return item_->Crc32;
}

uint16_t EntryView::FileDate() const {
  return item_->FileDate;
}

uint16_t EntryView::FileTime() const {
  return item_->FileTime;
}

uint32_t EntryView::ExternalAttributes() const {
  return item_->ExternalAttributes;
}

uint16_t EntryView::Method() const {
  return item_->Method;
}

bool EntryView::IsFolder() const {
  return item_->IsFolder();
}

bool EntryView::IsEncrypted() const {
  return item_->IsEncrypted();
}

TPLCryptoAlgorithm EntryView::Encryption() const {
  return item_->Encryption;
}

bool EntryView::Modified() const {
  return item_->Modified;
}

}  // namespace parcelon
