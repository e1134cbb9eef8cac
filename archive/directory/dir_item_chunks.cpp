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
  chunks_.resize(chunks);
  ResetFrom(n);
  size_ = n;
}

// The chunk holding `from` is made this storage's own first, when `from`
// lies inside it; the chunks after it are reset in place when they are this
// storage's own, and dropped when shared.
void TDirItemChunks::ResetFrom(size_t from) {
  const size_t end = std::min(size_, chunks_.size() * kChunk);
  if (from >= end) return;
  if (from % kChunk != 0) {
    TDirItem* records = Own(from / kChunk);
    for (; from % kChunk != 0 && from < end; ++from) records[from % kChunk] = TDirItem();
  }
  for (size_t c = (from + kChunk - 1) / kChunk; c * kChunk < end; ++c) {
    if (chunks_[c].use_count() > 1) {
      chunks_[c].reset();
    } else if (chunks_[c]) {
      for (size_t i = 0; i < RecordsIn(c); ++i) chunks_[c][i] = TDirItem();
    }
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
