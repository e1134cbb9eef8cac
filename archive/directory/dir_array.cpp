#include "archive/directory/dir_array.h"

#include <algorithm>
#include <utility>

#include "archive/errors/pl_exception.h"

namespace parcelon {

TPLDirArray::TPLDirArray(const platform::CodePages& code_pages)
    : code_pages_(code_pages), names_([this](int32_t position) -> std::u16string_view {
        return std::as_const(items_)[static_cast<size_t>(position)].Name;
      }) {}

TPLDirArray::~TPLDirArray() = default;

// A negative count is no count at all; it is refused like an index out of
// bounds. Shrinking drops the names beyond the new count, so that Find never
// answers with a slot that is no longer in use, and resets the dropped slots,
// which releases what they held (a pending data stream keeps its file open).
void TPLDirArray::SetCount(int32_t n) {
  if (n < 0) throw EPLException::Create(errc::kStoreOutOfBounds, nullptr);
  if (n == 0) {
    items_ = TDirItemChunks();
    arena_ = std::make_shared<TPLTextArena>();
  } else if (n < item_count_) {
    items_.ResetFrom(static_cast<size_t>(n));
  } else if (n > Capacity()) {
    alloc_by_ = std::min(alloc_by_ * 2, max_alloc_by_);
    const int64_t grown = int64_t{Capacity()} + alloc_by_;
    items_.resize(grown <= n ? static_cast<size_t>(n) : static_cast<size_t>(grown));
  }
  names_.Truncate(n);
  item_count_ = n;
}

void TPLDirArray::Clear() {
  // The storage stays; what the entries held (names, fields, pending data
  // streams) is released now.
  items_.ResetFrom(0);
  item_count_ = 0;
  names_.Clear();
  arena_ = std::make_shared<TPLTextArena>();
}

void TPLDirArray::Release() noexcept {
  items_ = TDirItemChunks();
  item_count_ = 0;
  names_.Clear();
  arena_.reset();
}

TPLTextArena& TPLDirArray::Arena() {
  if (!arena_) arena_ = std::make_shared<TPLTextArena>();
  return *arena_;
}

TDirItem& TPLDirArray::Items(int32_t index) {
  if (index < 0 || index >= item_count_)
    throw EPLException::Create(errc::kReferenceOutOfBounds, nullptr);
  return items_[static_cast<size_t>(index)];
}

const TDirItem& TPLDirArray::Items(int32_t index) const {
  if (index < 0 || index >= item_count_)
    throw EPLException::Create(errc::kReferenceOutOfBounds, nullptr);
  return items_[static_cast<size_t>(index)];
}

TDirItem TPLDirArray::GetItem(int32_t index) const {
  if (index < 0 || index >= item_count_)
    throw EPLException::Create(errc::kCopyOutOfBounds, nullptr);
  return items_[static_cast<size_t>(index)];
}

void TPLDirArray::SetItem(int32_t index, const TDirItem& item) {
  if (index < 0 || index >= item_count_)
    throw EPLException::Create(errc::kStoreOutOfBounds, nullptr);
  Place(index, item);
}

// The entries' borrowed names and loaded blocks lie in the source's arena,
// which this array shares from now on, and so do the record chunks until
// either array writes to one of them.
void TPLDirArray::Assign(const TPLDirArray& source) {
  if (&source == this) return;
  TDirItemChunks shared = source.items_;
  items_ = std::move(shared);
  arena_ = source.arena_;
  item_count_ = source.item_count_;
  names_.Clear();
  for (int32_t i = 0; i < item_count_; ++i) names_.Add();
}

// As SetName: a name list that does not line up is refused before anything
// changes. The item is moved in whole, its name with it.
void TPLDirArray::Place(int32_t index, TDirItem item) {
  const int32_t listed = names_.Count();
  if (index > listed) throw EPLException::Create(errc::kNameListMisaligned, nullptr);
  if (index < listed) names_.Unlist(index);
  items_[static_cast<size_t>(index)] = std::move(item);
  if (index < listed) {
    names_.Relist(index);
  } else {
    names_.Add();
  }
}

// Later entries move down by one; the slot freed at the end is reset, which
// releases the extra fields and the data stream reference it held.
void TPLDirArray::Delete(int32_t index) {
  if (index < 0 || index >= item_count_)
    throw EPLException::Create(errc::kDeleteOutOfBounds, nullptr);
  for (int32_t i = index; i + 1 < item_count_; ++i)
    items_[static_cast<size_t>(i)] = std::move(items_[static_cast<size_t>(i) + 1]);
  items_.ResetFrom(static_cast<size_t>(item_count_) - 1);
  if (index < names_.Count()) names_.Delete(index);
  --item_count_;
}

void TPLDirArray::ClearMarks() {
  for (int32_t i = 0; i < item_count_; ++i)
    if (std::as_const(items_)[static_cast<size_t>(i)].Marked)
      items_[static_cast<size_t>(i)].Marked = false;
}

bool TPLDirArray::Find(std::u16string_view name, int32_t& index) {
  index = names_.IndexOf(name);
  if (index >= item_count_) index = -1;
  return index >= 0;
}

bool TPLDirArray::FindIgnoringCase(std::u16string_view name, int32_t& index) const {
  const std::u16string key = code_pages_.WideLower(name);
  for (index = item_count_ - 1; index >= 0; --index)
    if (code_pages_.WideLower(Items(index).Name) == key) return true;
  return false;
}

// The name list lines up with the entries position for position, so the
// slot's name is replaced in place, or appended when the list ends right at
// this slot (the way a directory is loaded, entry by entry). A list that ends
// earlier does not line up; it is refused before anything changes.
void TPLDirArray::SetName(int32_t index, TEntryName name) {
  if (index < 0 || index >= item_count_)
    throw EPLException::Create(errc::kStoreOutOfBounds, nullptr);
  const int32_t listed = names_.Count();
  if (index > listed) throw EPLException::Create(errc::kNameListMisaligned, nullptr);
  if (index < listed) names_.Unlist(index);
  items_[static_cast<size_t>(index)].Name = std::move(name);
  if (index < listed) {
    names_.Relist(index);
  } else {
    names_.Add();
  }
}

}  // namespace parcelon
