#include "archive/codec/deflate_stage.h"

#include <zlib.h>

#include <limits>

namespace parcelon {

// zlib's stream record, created zeroed and ended with the stage.
struct DeflateStage::Stream {
  z_stream z{};
  ~Stream() { deflateEnd(&z); }
};

DeflateStage::DeflateStage(int level, DataStage& next)
    : stream_(std::make_unique<Stream>()), next_(next) {
  constexpr int kRawWindowBits = -15;
  constexpr int kMemoryLevel = 8;
  if (deflateInit2(&stream_->z, level, Z_DEFLATED, kRawWindowBits, kMemoryLevel,
                   Z_DEFAULT_STRATEGY) != Z_OK)
    throw CodecError("deflate cannot start");
}

DeflateStage::~DeflateStage() = default;

void DeflateStage::Reset() {
  if (deflateReset(&stream_->z) != Z_OK) throw CodecError("deflate cannot restart");
}

bool DeflateStage::Put(std::span<const uint8_t> block, bool last) {
  return next_.Put(CompressBlock(block, last), last);
}

// The buffer holds a block's worth of output whatever its content (input
// plus a tenth plus 12 bytes, rounded up to 256); should deflate still want
// more room, the buffer grows and deflate goes on.
std::span<const uint8_t> DeflateStage::CompressBlock(std::span<const uint8_t> block, bool last) {
  if (block.size() > std::numeric_limits<uInt>::max()) throw CodecError("block too large");
  const size_t wanted = ((block.size() + block.size() / 10 + 12) + 255) & ~size_t{255};
  if (out_.size() < wanted) out_.resize(wanted);
  z_stream& z = stream_->z;
  z.next_in = const_cast<Bytef*>(block.data());
  z.avail_in = static_cast<uInt>(block.size());
  size_t made = 0;
  for (;;) {
    z.next_out = out_.data() + made;
    z.avail_out = static_cast<uInt>(out_.size() - made);
    const int result = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    made = out_.size() - z.avail_out;
    if (result != Z_OK && result != Z_BUF_ERROR && result != Z_STREAM_END)
      throw CodecError("deflate failed");
    if (last ? result == Z_STREAM_END : z.avail_out != 0) break;
    if (z.avail_out != 0) throw CodecError("deflate stalled");
    Grow();
  }
  return {out_.data(), made};
}

void DeflateStage::Grow() {
  out_.resize(out_.size() * 2);
}

}  // namespace parcelon
