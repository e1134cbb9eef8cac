#include "archive/crypto/crypto_stages.h"

#include <algorithm>

namespace parcelon {
namespace {

constexpr size_t kPiece = size_t{64} << 10;

// Copies `data` piece by piece into `work`, transforms each piece in place
// and hands it on; false when `next` gave up.
bool TransformOnto(TPLCryptoTransform& transform, DataStage& next, std::vector<uint8_t>& work,
                   std::span<const uint8_t> data) {
  while (!data.empty()) {
    const size_t n = std::min(data.size(), kPiece);
    work.assign(data.begin(), data.begin() + static_cast<ptrdiff_t>(n));
    transform.Transform(work);
    if (!next.Put(work, false)) return false;
    data = data.subspan(n);
  }
  return true;
}

}  // namespace

DecryptStage::DecryptStage(TPLCryptoTransform& transform, DataStage& next)
    : transform_(transform), next_(next) {}

bool DecryptStage::Put(std::span<const uint8_t> block, bool last) {
  const std::span<const uint8_t> rest = TakeHeader(block);
  if (keyed_) {
    const size_t keep = transform_.TrailerSize();
    if (rest.size() >= keep) {
      if (!PassOn(tail_) || !PassOn(rest.first(rest.size() - keep))) return false;
      tail_.assign(rest.end() - static_cast<ptrdiff_t>(keep), rest.end());
    } else {
      tail_.insert(tail_.end(), rest.begin(), rest.end());
      const size_t excess = tail_.size() > keep ? tail_.size() - keep : 0;
      const std::vector<uint8_t> released(tail_.begin(),
                                          tail_.begin() + static_cast<ptrdiff_t>(excess));
      tail_.erase(tail_.begin(), tail_.begin() + static_cast<ptrdiff_t>(excess));
      if (!PassOn(released)) return false;
    }
  }
  return last ? Finish() : true;
}

std::span<const uint8_t> DecryptStage::TakeHeader(std::span<const uint8_t> block) {
  if (keyed_) return block;
  const size_t n = std::min(block.size(), transform_.HeaderSize() - header_.size());
  header_.insert(header_.end(), block.begin(), block.begin() + static_cast<ptrdiff_t>(n));
  if (header_.size() < transform_.HeaderSize()) return {};
  if (!transform_.AcceptHeader(header_)) throw WrongPasswordError("wrong password");
  keyed_ = true;
  return block.subspan(n);
}

bool DecryptStage::PassOn(std::span<const uint8_t> data) {
  return TransformOnto(transform_, next_, work_, data);
}

bool DecryptStage::Finish() {
  if (!keyed_ || tail_.size() < transform_.TrailerSize())
    throw CodecError("encrypted data shorter than its header and trailer");
  if (!transform_.CheckTrailer(tail_)) throw AuthenticationError("authentication code differs");
  return next_.Put({}, true);
}

EncryptStage::EncryptStage(TPLCryptoTransform& transform, DataStage& next)
    : transform_(transform), next_(next) {}

bool EncryptStage::Put(std::span<const uint8_t> block, bool last) {
  if (!started_) {
    started_ = true;
    if (!next_.Put(transform_.MakeHeader(), false)) return false;
  }
  if (!TransformOnto(transform_, next_, work_, block)) return false;
  return last ? next_.Put(transform_.MakeTrailer(), true) : true;
}

}  // namespace parcelon
