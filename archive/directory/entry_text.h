// The text of a directory entry (its name, or bytes as stored): either a
// view of text that the entry's directory keeps in its arena, or a copy of
// its own. Copying a text always makes a copy of its own, so that a copy
// never depends on an arena; moving keeps the view. 16 bytes, no heap block
// for a view.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace parcelon {

template <typename CharT>
class TEntryText {
 public:
  using View = std::basic_string_view<CharT>;
  using String = std::basic_string<CharT>;

  TEntryText() = default;
  TEntryText(View text) { Own(text); }
  TEntryText(const String& text) { Own(text); }
  TEntryText(const CharT* text) { Own(View(text)); }
  // A view of `text`, which must outlive this text and every move of it.
  static TEntryText Borrowed(View text) {
    TEntryText borrowed;
    borrowed.data_ = text.data();
    borrowed.size_ = Checked(text.size());
    return borrowed;
  }
  TEntryText(const TEntryText& other) { Own(other.view()); }
  TEntryText(TEntryText&& other) noexcept { Swap(other); }
  TEntryText& operator=(const TEntryText& other) {
    if (this != &other) TEntryText(other).Swap(*this);
    return *this;
  }
  TEntryText& operator=(TEntryText&& other) noexcept {
    TEntryText(std::move(other)).Swap(*this);
    return *this;
  }
  ~TEntryText() { Release(); }

  View view() const { return View(data_, size_); }
  operator View() const { return view(); }
  String str() const { return String(view()); }
  // Whether the text is a view of another's storage.
  bool borrowed() const { return !owned_ && size_ != 0; }
  bool empty() const { return size_ == 0; }
  size_t size() const { return size_; }
  const CharT* data() const { return data_; }
  const CharT* begin() const { return data_; }
  const CharT* end() const { return data_ + size_; }
  CharT back() const { return data_[size_ - 1]; }
  CharT operator[](size_t i) const { return data_[i]; }
  bool ends_with(CharT c) const { return view().ends_with(c); }
  bool starts_with(View prefix) const { return view().starts_with(prefix); }
  void clear() { TEntryText().Swap(*this); }

  friend bool operator==(const TEntryText& a, const TEntryText& b) { return a.view() == b.view(); }
  friend bool operator==(const TEntryText& a, View b) { return a.view() == b; }
  friend bool operator==(const TEntryText& a, const String& b) { return a.view() == View(b); }
  friend bool operator==(const TEntryText& a, const CharT* b) { return a.view() == View(b); }

 private:
  static uint32_t Checked(size_t size) {
    if (size > UINT32_MAX) throw std::length_error("entry text too long");
    return static_cast<uint32_t>(size);
  }
  void Own(View text) {
    if (text.empty()) return;
    const uint32_t size = Checked(text.size());
    CharT* copy = std::allocator<CharT>().allocate(size);
    std::char_traits<CharT>::copy(copy, text.data(), size);
    data_ = copy;
    size_ = size;
    owned_ = true;
  }
  void Release() {
    if (owned_) std::allocator<CharT>().deallocate(const_cast<CharT*>(data_), size_);
  }
  void Swap(TEntryText& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(owned_, other.owned_);
  }

  const CharT* data_ = nullptr;
  uint32_t size_ = 0;
  bool owned_ = false;
};

using TEntryName = TEntryText<char16_t>;

}  // namespace parcelon
