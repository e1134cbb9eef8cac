// The storage of the directory's records: fixed chunks of records that
// never move once made. Growing adds chunks; unlike one contiguous block,
// it never holds the old and the new storage at once, which for a
// directory of a million entries would be another hundred megabytes for the
// time of the copy.
#pragma once

#include <algorithm>
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
  void resize(size_t n) {
    const size_t chunks = (n + kChunk - 1) / kChunk;
    while (chunks_.size() < chunks) chunks_.push_back(std::make_unique<TDirItem[]>(kChunk));
    chunks_.resize(chunks);
    for (size_t i = n; i < std::min(size_, chunks * kChunk); ++i) (*this)[i] = TDirItem();
    size_ = n;
  }
  TDirItem& operator[](size_t i) { return chunks_[i / kChunk][i % kChunk]; }
  const TDirItem& operator[](size_t i) const { return chunks_[i / kChunk][i % kChunk]; }

 private:
  static constexpr size_t kChunk = 1024;  // 120 KiB of records
  std::vector<std::unique_ptr<TDirItem[]>> chunks_;
  size_t size_ = 0;
};

}  // namespace parcelon
