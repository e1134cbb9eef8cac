// A chained hash from wide strings to 32-bit values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace parcelon {

class TPLStringHash {
 public:
  explicit TPLStringHash(size_t size);
  ~TPLStringHash();
  TPLStringHash(const TPLStringHash&) = delete;
  TPLStringHash& operator=(const TPLStringHash&) = delete;

  // h = (h rotated left by 2) XOR code unit, over the key's code units, from 0.
  static uint32_t HashOf(std::u16string_view key);

  size_t Size() const { return buckets_.size(); }
  // Puts a new node at the head of the key's chain; equal keys are kept apart.
  void Add(std::u16string_view key, int32_t value);
  // The value of the first node whose key equals `key` exactly, or -1.
  int32_t Find(std::u16string_view key) const;
  // Unlinks the first such node, if any.
  void Remove(std::u16string_view key);
  // Unlinks the first node with this key and value, if any.
  void RemoveValue(std::u16string_view key, int32_t value);
  void Clear();

 private:
  struct THashItem {
    std::unique_ptr<THashItem> Next;
    std::u16string Key;
    int32_t Value;
  };
  std::unique_ptr<THashItem>* BucketOf(std::u16string_view key);
  const std::unique_ptr<THashItem>& BucketOf(std::u16string_view key) const;
  std::vector<std::unique_ptr<THashItem>> buckets_;
};

}  // namespace parcelon
