// An ordered list of wide strings with hashed lookup of a string's position
// (the value table). Case-insensitive by default: keys are lower-cased
// before they reach the table.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/directory/string_hash.h"
#include "platform/code_pages.h"

namespace parcelon {

class TPLHashedStringList {
 public:
  // `code_pages` supplies the lower-case mapping and must outlive the list.
  explicit TPLHashedStringList(const platform::CodePages& code_pages);

  int32_t Count() const { return static_cast<int32_t>(strings_.size()); }
  const std::u16string& operator[](int32_t index) const { return strings_[index]; }
  bool CaseSensitive() const { return case_sensitive_; }
  void SetCaseSensitive(bool value);

  // Appends; keeps a valid value table up to date, and discards it once the
  // list holds more than five strings per bucket.
  void Add(std::u16string s);
  // Replaces the string at `index` (0 <= index < Count()).
  void Put(int32_t index, std::u16string s);
  // Removes the string at `index`; the table becomes invalid.
  void Delete(int32_t index);
  void Clear();
  // The position of `s` (the most recently entered of equal strings), or -1.
  // Builds the value table (max(Count, 1000) buckets) or rebuilds it when invalid.
  int32_t IndexOf(std::u16string_view s);

  // The value table's bucket count, 0 when there is none (for tests).
  size_t ValueTableSize() const { return values_ ? values_->Size() : 0; }

 private:
  std::u16string KeyOf(std::u16string_view s) const;
  void RebuildValues();

  const platform::CodePages& code_pages_;
  std::vector<std::u16string> strings_;
  std::unique_ptr<TPLStringHash> values_;
  bool values_valid_ = false;
  bool case_sensitive_ = false;
};

}  // namespace parcelon
