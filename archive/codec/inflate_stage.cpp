#include "archive/codec/inflate_stage.h"

#include <zlib.h>

#include <limits>

#ifdef PARCELON_HAVE_ISAL
#include "archive/codec/isal_inflate_stage.h"
#endif

namespace parcelon {
namespace {

constexpr size_t kOutputSize = size_t{1} << 20;

}  // namespace

struct ZlibInflateStage::Stream {
  z_stream z{};
  ~Stream() { inflateEnd(&z); }
};

ZlibInflateStage::ZlibInflateStage(DataStage& next)
    : stream_(std::make_unique<Stream>()),
      next_(next),
      out_(std::make_unique_for_overwrite<uint8_t[]>(kOutputSize)) {
  constexpr int kRawWindowBits = -15;
  if (inflateInit2(&stream_->z, kRawWindowBits) != Z_OK) throw CodecError("inflate cannot start");
}

ZlibInflateStage::~ZlibInflateStage() = default;

bool ZlibInflateStage::Put(std::span<const uint8_t> block, bool last) {
  if (block.size() > std::numeric_limits<uInt>::max()) throw CodecError("block too large");
  z_stream& z = stream_->z;
  z.next_in = const_cast<Bytef*>(block.data());
  z.avail_in = static_cast<uInt>(block.size());
  while (!finished_ && (z.avail_in > 0 || last)) {
    z.next_out = out_.get();
    z.avail_out = static_cast<uInt>(kOutputSize);
    const int result = inflate(&z, Z_NO_FLUSH);
    if (result == Z_STREAM_END)
      finished_ = true;
    else if (result != Z_OK && result != Z_BUF_ERROR)
      throw CodecError("invalid deflate data");
    const size_t made = kOutputSize - z.avail_out;
    if (made > 0 && !next_.Put({out_.get(), made}, false)) return false;
    if (made == 0 && result == Z_BUF_ERROR) break;  // needs more input than there is
  }
  return true;
}

std::unique_ptr<Inflater> MakeInflater(DataStage& next, InflaterKind kind) {
#ifdef PARCELON_HAVE_ISAL
  if (kind == InflaterKind::kFastest) return std::make_unique<IsalInflateStage>(next);
#endif
  (void)kind;
  return std::make_unique<ZlibInflateStage>(next);
}

bool HasFastInflater() {
#ifdef PARCELON_HAVE_ISAL
  return true;
#else
  return false;
#endif
}

}  // namespace parcelon
