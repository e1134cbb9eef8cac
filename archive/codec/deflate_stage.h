// The deflate encoder as a stage: raw deflate through zlib at a level 0-9
// with zlib's default window (15 bits), memory level (8) and strategy.
// Every block but the last ends with a sync flush (an empty stored block,
// 00 00 FF FF), the last one with the final block, so the bytes equal zlib's
// output for the same blocks and flushes without its 2-byte header and its
// 4-byte Adler-32 trailer.
#pragma once

#include <memory>
#include <vector>

#include "archive/common/byte_buffer.h"
#include "archive/common/data_stage.h"

namespace parcelon {

class DeflateStage : public DataStage {
 public:
  // `next` must outlive the stage. Throws CodecError when zlib cannot start.
  DeflateStage(int level, DataStage& next);
  ~DeflateStage() override;
  DeflateStage(const DeflateStage&) = delete;
  DeflateStage& operator=(const DeflateStage&) = delete;

  bool Put(std::span<const uint8_t> block, bool last) override;
  // Starts a new deflate stream at the same level, as a new stage would,
  // keeping zlib's memory and the output buffer. Throws CodecError.
  void Reset();

 private:
  struct Stream;
  // Deflates `block` with a sync flush, or the final flush when `last`, into
  // the output buffer; gives the bytes made.
  std::span<const uint8_t> CompressBlock(std::span<const uint8_t> block, bool last);
  void Grow();

  std::unique_ptr<Stream> stream_;
  DataStage& next_;
  ByteBuffer out_;  // only the bytes deflate made are read
};

}  // namespace parcelon
