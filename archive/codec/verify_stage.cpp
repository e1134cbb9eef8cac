#include "archive/codec/verify_stage.h"

#include "archive/format/crc32.h"

namespace parcelon {

bool VerifyStage::Put(std::span<const uint8_t> block, bool last) {
  if (block.size() > limit_ - produced_) throw CodecError("more data than the entry states");
  if (progress_ && !progress_(produced_)) return false;
  crc_ = UpdateCrc32(crc_, block);
  produced_ += block.size();
  return next_.Put(block, last);
}

}  // namespace parcelon
