#include "archive/directory/signature_scanner.h"

#include <algorithm>
#include <cstring>

#include "archive/format/byte_io.h"

namespace parcelon {

SignatureScanner::SignatureScanner(platform::Stream& stream, int64_t stream_size,
                                   uint32_t signature, size_t chunk_size)
    : stream_(stream), stream_size_(stream_size), chunk_size_(std::max<size_t>(chunk_size, 8)) {
  StoreU32(bytes_, 0, signature);
}

bool SignatureScanner::Covers(int64_t position) const {
  const int64_t end = chunk_start_ + static_cast<int64_t>(chunk_.size());
  return position >= chunk_start_ && end - position >= 4;
}

void SignatureScanner::Load(int64_t position) {
  const int64_t left = stream_size_ - position;
  const auto count = static_cast<size_t>(std::min<int64_t>(left, int64_t(chunk_size_)));
  chunk_.resize(count);
  chunk_start_ = position;
  stream_.Seek(position, platform::SeekOrigin::kBegin);
  chunk_.resize(stream_.Read(chunk_.data(), count));
}

std::optional<int64_t> SignatureScanner::SearchChunk(int64_t from) const {
  const uint8_t* first = chunk_.data() + (from - chunk_start_);
  const uint8_t* last = chunk_.data() + chunk_.size() - 3;  // last start that leaves 4 bytes
  while (first < last) {
    const auto* hit = static_cast<const uint8_t*>(
        std::memchr(first, bytes_[0], static_cast<size_t>(last - first)));
    if (hit == nullptr) return std::nullopt;
    if (std::memcmp(hit, bytes_, 4) == 0) return chunk_start_ + (hit - chunk_.data());
    first = hit + 1;
  }
  return std::nullopt;
}

// Each chunk after the first starts 3 bytes before the end of the previous
// one, so a signature across the boundary is found exactly once.
std::optional<int64_t> SignatureScanner::Search(int64_t from, int64_t min_tail) {
  int64_t position = from;
  while (stream_size_ - position >= min_tail) {
    if (!Covers(position)) {
      // A hole reads as zeros, and no signature starts with a zero byte:
      // a sparse file costs only its data.
      if (bytes_[0] != 0) position = stream_.NextData(position);
      if (position < 0 || stream_size_ - position < min_tail) return std::nullopt;
      Load(position);
    }
    if (chunk_.size() < 4) return std::nullopt;  // the stream gave less than its size
    if (auto hit = SearchChunk(position)) {
      if (stream_size_ - *hit >= min_tail) return hit;
      return std::nullopt;  // later hits leave even fewer bytes
    }
    position = chunk_start_ + static_cast<int64_t>(chunk_.size()) - 3;
  }
  return std::nullopt;
}

// No signature stands between the last question and its answer, so any
// position in that range has the same answer.
std::optional<int64_t> SignatureScanner::NextFrom(int64_t from, int64_t min_tail) {
  from = std::max<int64_t>(from, 0);
  min_tail = std::max<int64_t>(min_tail, 4);
  if (last_ && last_->min_tail == min_tail && from >= last_->from &&
      (!last_->hit || from <= *last_->hit))
    return last_->hit;
  last_ = Answer{from, min_tail, Search(from, min_tail)};
  return last_->hit;
}

bool ReadExactAt(platform::Stream& stream, int64_t stream_size, int64_t position, size_t count,
                 std::vector<uint8_t>& out) {
  if (position < 0 || position > stream_size) return false;
  if (static_cast<uint64_t>(stream_size - position) < count) return false;
  out.resize(count);
  if (count == 0) return true;
  stream.Seek(position, platform::SeekOrigin::kBegin);
  return stream.Read(out.data(), count) == count;
}

}  // namespace parcelon
