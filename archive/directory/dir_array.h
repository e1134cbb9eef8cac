// The in-memory central directory: an array of entries and the index of
// their names, position for position. Names are told apart exactly: two
// entries whose names differ only in letter case are two files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/directory/dir_item.h"
#include "archive/directory/dir_item_chunks.h"
#include "archive/directory/name_index.h"
#include "platform/code_pages.h"

namespace parcelon {

class TPLDirArray {
 public:
  // `code_pages` must outlive the array.
  explicit TPLDirArray(const platform::CodePages& code_pages);
  ~TPLDirArray();
  TPLDirArray(const TPLDirArray&) = delete;
  TPLDirArray& operator=(const TPLDirArray&) = delete;

  int32_t Count() const { return item_count_; }
  // Sets the count, growing the storage by the doubling step policy (500
  // doubled before each growth, capped at 10,000); 0 releases the storage
  // and the array's share of the arena.
  // Shrinking keeps the storage and resets the dropped slots, releasing
  // what they held.
  void SetCount(int32_t n);
  int32_t Capacity() const { return static_cast<int32_t>(items_.size()); }
  int32_t AllocBy() const { return alloc_by_; }
  void Clear();

  // Direct access; an index outside 0..Count()-1 raises error 3.
  TDirItem& Items(int32_t index);
  const TDirItem& Items(int32_t index) const;
  // A copy of the entry; out of range raises error 2.
  TDirItem GetItem(int32_t index) const;
  // Stores a copy of `item` at `index` and its name at the same
  // position of the name list; out of range raises error 1, a name list that
  // does not line up raises error 58.
  void SetItem(int32_t index, const TDirItem& item);
  // A copy of another array that shares its arena: the texts its entries
  // were read with are not copied, and stay as long as either array keeps
  // the arena. The records are shared too, chunk by chunk, until either
  // array writes to a chunk (see TDirItemChunks): every non-const access to
  // a record counts as a write, so a reference taken through const access
  // must not be held across one. The copy takes the source's capacity.
  void Assign(const TPLDirArray& source);
  // Empties the array and drops its storage, its share of the arena and of
  // the records of arrays it was assigned from or to, allocating nothing.
  void Release() noexcept;
  // Removes the entry; out of range raises error 4.
  void Delete(int32_t index);
  void ClearMarks();
  // The index of the entry named exactly `name` (the last of equal names),
  // or -1.
  bool Find(std::u16string_view name, int32_t& index);
  // As Find, letter case ignored; a scan of the whole directory.
  bool FindIgnoringCase(std::u16string_view name, int32_t& index) const;
  // Renames the entry at `index` (an existing slot) and its index entry.
  void SetName(int32_t index, TEntryName name);
  // Where the texts of entries read from an archive are kept. Emptying the
  // array (Clear, SetCount(0)) gives it a new arena; the old one is
  // released once no array made by Assign shares it any more.
  TPLTextArena& Arena();

  const TPLNameIndex& NameIndex() const { return names_; }

 private:
  // Stores `item` at `index` (in range) and lists its name there.
  void Place(int32_t index, TDirItem item);

  const platform::CodePages& code_pages_;
  TDirItemChunks items_;
  std::shared_ptr<TPLTextArena> arena_ = std::make_shared<TPLTextArena>();
  TPLNameIndex names_;
  int32_t alloc_by_ = 500;
  int32_t max_alloc_by_ = 10000;
  int32_t item_count_ = 0;
};

}  // namespace parcelon
