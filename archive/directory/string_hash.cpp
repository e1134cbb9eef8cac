#include "archive/directory/string_hash.h"

#include <utility>

namespace parcelon {

namespace {

// Unlinks a chain node by node, so that a long chain is freed in a loop
// instead of through one nested destructor call per node.
template <typename Node>
void FreeChain(std::unique_ptr<Node>& head) {
  while (head) head = std::move(head->Next);
}

}  // namespace

// A hash of size 0 would have no bucket to put a key in; one bucket is the
// least that works.
TPLStringHash::TPLStringHash(size_t size) : buckets_(size == 0 ? 1 : size) {}

TPLStringHash::~TPLStringHash() {
  Clear();
}

uint32_t TPLStringHash::HashOf(std::u16string_view key) {
  uint32_t h = 0;
  for (char16_t c : key) h = ((h << 2) | (h >> 30)) ^ static_cast<uint32_t>(c);
  return h;
}

std::unique_ptr<TPLStringHash::THashItem>* TPLStringHash::BucketOf(std::u16string_view key) {
  return &buckets_[HashOf(key) % buckets_.size()];
}

const std::unique_ptr<TPLStringHash::THashItem>& TPLStringHash::BucketOf(
    std::u16string_view key) const {
  return buckets_[HashOf(key) % buckets_.size()];
}

void TPLStringHash::Add(std::u16string_view key, int32_t value) {
  std::unique_ptr<THashItem>* bucket = BucketOf(key);
  auto node = std::make_unique<THashItem>();
  node->Key = std::u16string(key);
  node->Value = value;
  node->Next = std::move(*bucket);
  *bucket = std::move(node);
}

int32_t TPLStringHash::Find(std::u16string_view key) const {
  for (const THashItem* node = BucketOf(key).get(); node; node = node->Next.get()) {
    if (node->Key == key) return node->Value;
  }
  return -1;
}

void TPLStringHash::Remove(std::u16string_view key) {
  for (std::unique_ptr<THashItem>* link = BucketOf(key); *link; link = &(*link)->Next) {
    if ((*link)->Key == key) {
      *link = std::move((*link)->Next);
      return;
    }
  }
}

void TPLStringHash::RemoveValue(std::u16string_view key, int32_t value) {
  for (std::unique_ptr<THashItem>* link = BucketOf(key); *link; link = &(*link)->Next) {
    if ((*link)->Key == key && (*link)->Value == value) {
      *link = std::move((*link)->Next);
      return;
    }
  }
}

void TPLStringHash::Clear() {
  for (std::unique_ptr<THashItem>& bucket : buckets_) FreeChain(bucket);
}

}  // namespace parcelon
