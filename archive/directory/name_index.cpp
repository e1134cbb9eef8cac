#include "archive/directory/name_index.h"

#include <algorithm>
#include <utility>

namespace parcelon {
namespace {

constexpr size_t kMinBuckets = 1000;
constexpr size_t kMaxLoadPerBucket = 5;

}  // namespace

TPLNameIndex::TPLNameIndex(NameAt name_at) : name_at_(std::move(name_at)) {}

// FNV-1a over the code units.
uint32_t TPLNameIndex::HashOf(std::u16string_view name) {
  uint32_t h = 2166136261u;
  for (char16_t c : name) h = (h ^ static_cast<uint32_t>(c)) * 16777619u;
  return h;
}

int32_t& TPLNameIndex::BucketOf(std::u16string_view name) {
  return buckets_[HashOf(name) % buckets_.size()];
}

void TPLNameIndex::Link(int32_t position) {
  int32_t& head = BucketOf(name_at_(position));
  next_[static_cast<size_t>(position)] = head;
  head = position;
}

// A table that grows past five positions per bucket is dropped; the next
// lookup builds one to the new size.
void TPLNameIndex::Add() {
  const int32_t position = count_++;
  if (!valid_) return;
  next_.push_back(-1);
  Link(position);
  if (size_t(count_) > kMaxLoadPerBucket * buckets_.size()) valid_ = false;
}

void TPLNameIndex::Unlist(int32_t position) {
  if (!valid_) return;
  int32_t* link = &BucketOf(name_at_(position));
  while (*link >= 0 && *link != position) link = &next_[static_cast<size_t>(*link)];
  if (*link == position) *link = next_[static_cast<size_t>(position)];
}

void TPLNameIndex::Relist(int32_t position) {
  if (valid_) Link(position);
}

void TPLNameIndex::Delete(int32_t position) {
  if (position < 0 || position >= count_) return;
  --count_;
  valid_ = false;
}

void TPLNameIndex::Truncate(int32_t count) {
  if (count >= count_) return;
  count_ = std::max(count, 0);
  valid_ = false;
}

// An empty index agrees with an empty table of the same size.
void TPLNameIndex::Clear() {
  count_ = 0;
  next_.clear();
  std::fill(buckets_.begin(), buckets_.end(), -1);
  valid_ = !buckets_.empty();
}

// Positions are entered in order, so the highest of equal names heads its
// chain.
void TPLNameIndex::Rebuild() {
  if (valid_) return;
  buckets_.assign(std::max(size_t(count_), kMinBuckets), -1);
  next_.assign(size_t(count_), -1);
  for (int32_t position = 0; position < count_; ++position) Link(position);
  valid_ = true;
}

int32_t TPLNameIndex::IndexOf(std::u16string_view name) {
  Rebuild();
  int32_t position = BucketOf(name);
  while (position >= 0 && name_at_(position) != name)
    position = next_[static_cast<size_t>(position)];
  return position;
}

}  // namespace parcelon
