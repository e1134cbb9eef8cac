// The storage of the directory's records: fixed chunks of records that
// never move once made. Growing adds chunks; unlike one contiguous block,
// it never holds the old and the new storage at once, which for a
// directory of a million entries would be another hundred megabytes for the
// time of the copy.
//
// A copy shares the chunks (copy on write): copying costs one pointer per
// 1,024 records, and a chunk is cloned only when one of its records is
// reached through non-const access while another copy still holds it. The
// clone's records share the arena of the original records (see
// TDirItem::CopySharingArena), so the arena must outlive every copy; the
// directory arrays share theirs. A reference obtained through const access
// stays valid only until the next non-const access to the same storage:
// that access may give the storage a clone, and the reference then points
// at the record the other copies keep. The storage is not thread-safe.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "archive/directory/dir_item.h"

namespace parcelon {

class TDirItemChunks {
 public:
  // The number of records, each default-made until assigned.
  size_t size() const { return size_; }
  // Grows with default records, or drops the records from `n` on. Throws
  // std::bad_alloc when memory runs out; the records kept stay where they
  // are.
  void resize(size_t n);
  // Resets the records from `from` on to default records, releasing what
  // they held; the size stays. A chunk wholly in the range that other copies
  // share is dropped by this storage, not cloned. Only the chunk holding
  // `from` may need a clone: when it fails (std::bad_alloc), nothing has
  // changed.
  void ResetFrom(size_t from);
  // Non-const access makes the record's chunk this storage's own first
  // (a clone when shared; throws std::bad_alloc when that fails).
  TDirItem& operator[](size_t i) { return Own(i / kChunk)[i % kChunk]; }
  const TDirItem& operator[](size_t i) const;

 private:
  using Chunk = std::shared_ptr<TDirItem[]>;
  static constexpr size_t kChunk = 1024;  // 120 KiB of records

  // Chunk `c`, made this storage's own: a clone when shared, made when
  // dropped.
  TDirItem* Own(size_t c);
  // The number of records of chunk `c` within the size.
  size_t RecordsIn(size_t c) const;

  // A null chunk holds default records only; it is made when written.
  std::vector<Chunk> chunks_;
  size_t size_ = 0;
};

}  // namespace parcelon
