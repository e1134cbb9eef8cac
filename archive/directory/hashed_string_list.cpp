#include "archive/directory/hashed_string_list.h"

#include <algorithm>
#include <utility>

namespace parcelon {

namespace {

constexpr size_t kMinValueBuckets = 1000;
constexpr size_t kMaxLoadPerBucket = 5;

}  // namespace

TPLHashedStringList::TPLHashedStringList(const platform::CodePages& code_pages)
    : code_pages_(code_pages) {}

std::u16string TPLHashedStringList::KeyOf(std::u16string_view s) const {
  return case_sensitive_ ? std::u16string(s) : code_pages_.WideLower(s);
}

void TPLHashedStringList::SetCaseSensitive(bool value) {
  if (value == case_sensitive_) return;
  case_sensitive_ = value;
  values_valid_ = false;
}

void TPLHashedStringList::Add(std::u16string s) {
  const auto position = static_cast<int32_t>(strings_.size());
  if (values_ && values_valid_) values_->Add(KeyOf(s), position);
  strings_.push_back(std::move(s));
  if (values_ && strings_.size() > kMaxLoadPerBucket * values_->Size()) {
    values_.reset();
    values_valid_ = false;
  }
}

// The table drops the node of the old string at this very position (not
// just the first node of an equal key, which may belong to another
// position) and gains one for the new string.
void TPLHashedStringList::Put(int32_t index, std::u16string s) {
  std::u16string& slot = strings_[static_cast<size_t>(index)];
  if (values_ && values_valid_) {
    values_->RemoveValue(KeyOf(slot), index);
    values_->Add(KeyOf(s), index);
  }
  slot = std::move(s);
}

void TPLHashedStringList::Delete(int32_t index) {
  strings_.erase(strings_.begin() + index);
  values_valid_ = false;
}

// An empty list agrees with an empty table, which so stays valid.
void TPLHashedStringList::Clear() {
  strings_.clear();
  if (values_) values_->Clear();
  values_valid_ = true;
}

void TPLHashedStringList::RebuildValues() {
  if (!values_) {
    values_ = std::make_unique<TPLStringHash>(std::max(strings_.size(), kMinValueBuckets));
    values_valid_ = false;
  }
  if (values_valid_) return;
  values_->Clear();
  for (size_t i = 0; i < strings_.size(); ++i) {
    values_->Add(KeyOf(strings_[i]), static_cast<int32_t>(i));
  }
  values_valid_ = true;
}

int32_t TPLHashedStringList::IndexOf(std::u16string_view s) {
  RebuildValues();
  return values_->Find(KeyOf(s));
}

}  // namespace parcelon
