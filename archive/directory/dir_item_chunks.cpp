#include "archive/directory/dir_item_chunks.h"

#include <algorithm>

namespace parcelon {
namespace {

const TDirItem& DefaultRecord() {
  static const TDirItem record;
  return record;
}

}  // namespace

void TDirItemChunks::resize(size_t n) {
  const size_t chunks = (n + kChunk - 1) / kChunk;
  chunks_.reserve(chunks);
  while (chunks_.size() < chunks) chunks_.push_back(std::make_shared<TDirItem[]>(kChunk));
  const size_t kept_end = std::min(size_, chunks * kChunk);
  chunks_.resize(chunks);
  if (n < kept_end) Reset(n, kept_end);
  size_ = n;
}

// Whole chunks are reset in place when they are this storage's own, and
// dropped when shared; a chunk only partly in the range is made its own
// first.
void TDirItemChunks::Reset(size_t from, size_t to) {
  while (from < to) {
    const size_t c = from / kChunk;
    const size_t end = std::min(to, (c + 1) * kChunk);
    if (from % kChunk == 0 && end - from == kChunk && chunks_[c].use_count() > 1) {
      chunks_[c].reset();
    } else if (chunks_[c]) {
      TDirItem* records = Own(c);
      for (size_t i = from; i < end; ++i) records[i % kChunk] = TDirItem();
    }
    from = end;
  }
}

const TDirItem& TDirItemChunks::operator[](size_t i) const {
  const Chunk& chunk = chunks_[i / kChunk];
  return chunk ? chunk[i % kChunk] : DefaultRecord();
}

TDirItem* TDirItemChunks::Own(size_t c) {
  Chunk& chunk = chunks_[c];
  if (chunk && chunk.use_count() == 1) return chunk.get();
  Chunk own = std::make_shared<TDirItem[]>(kChunk);
  if (chunk) {
    for (size_t i = 0; i < RecordsIn(c); ++i) own[i] = chunk[i].CopySharingArena();
  }
  chunk = std::move(own);
  return chunk.get();
}

size_t TDirItemChunks::RecordsIn(size_t c) const {
  return std::min(kChunk, size_ - std::min(size_, c * kChunk));
}

}  // namespace parcelon
