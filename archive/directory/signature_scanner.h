// Forward search for a 4-byte record signature in a stream, reading each
// byte of the stream about once however many positions are asked for.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/stream.h"

namespace parcelon {

class SignatureScanner {
 public:
  // `stream` must outlive the scanner; `stream_size` is its size. The scanner
  // moves the stream's position as it reads.
  SignatureScanner(platform::Stream& stream, int64_t stream_size, uint32_t signature,
                   size_t chunk_size = 65536);

  // The first position at or after `from` where the signature stands with at
  // least `min_tail` bytes (4 or more) from there to the end of the stream,
  // or nullopt. Asking for positions in increasing order reads the stream
  // once, and a position between the last question and its answer is
  // answered without searching again; a position behind the cached chunk
  // reloads it.
  std::optional<int64_t> NextFrom(int64_t from, int64_t min_tail = 4);

 private:
  struct Answer {
    int64_t from;
    int64_t min_tail;
    std::optional<int64_t> hit;
  };
  std::optional<int64_t> Search(int64_t from, int64_t min_tail);
  bool Covers(int64_t position) const;
  void Load(int64_t position);
  std::optional<int64_t> SearchChunk(int64_t from) const;

  platform::Stream& stream_;
  int64_t stream_size_;
  uint8_t bytes_[4];
  size_t chunk_size_;
  std::vector<uint8_t> chunk_;
  int64_t chunk_start_ = 0;
  std::optional<Answer> last_;
};

// Reads exactly `count` bytes at `position` into `out` (resized); false,
// without reading, when the stream does not hold them all.
bool ReadExactAt(platform::Stream& stream, int64_t stream_size, int64_t position, size_t count,
                 std::vector<uint8_t>& out);

}  // namespace parcelon
