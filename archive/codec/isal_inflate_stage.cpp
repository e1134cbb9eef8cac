#include "archive/codec/isal_inflate_stage.h"

#include <isa-l/igzip_lib.h>

#include <limits>

namespace parcelon {
namespace {

constexpr size_t kOutputSize = size_t{1} << 20;

}  // namespace

// Left uninitialized: isal_inflate_init sets every field inflating reads,
// and the state's buffers (tens of KiB) need no zeroing for each entry.
struct IsalInflateStage::State {
  inflate_state isal;
};

IsalInflateStage::IsalInflateStage(DataStage& next)
    : state_(std::make_unique_for_overwrite<State>()),
      next_(next),
      out_(std::make_unique_for_overwrite<uint8_t[]>(kOutputSize)) {
  isal_inflate_init(&state_->isal);
  state_->isal.crc_flag = ISAL_DEFLATE;
}

IsalInflateStage::~IsalInflateStage() = default;

bool IsalInflateStage::Put(std::span<const uint8_t> block, bool) {
  if (block.size() > std::numeric_limits<uint32_t>::max()) throw CodecError("block too large");
  inflate_state& state = state_->isal;
  state.next_in = const_cast<uint8_t*>(block.data());
  state.avail_in = static_cast<uint32_t>(block.size());
  while (!finished_) {
    state.next_out = out_.get();
    state.avail_out = static_cast<uint32_t>(kOutputSize);
    if (isal_inflate(&state) < 0) throw CodecError("invalid deflate data");
    finished_ = state.block_state == ISAL_BLOCK_FINISH;
    const size_t made = kOutputSize - state.avail_out;
    if (made > 0 && !next_.Put({out_.get(), made}, false)) return false;
    if (state.avail_out > 0 && state.avail_in == 0) break;  // all input taken, all output out
  }
  return true;
}

}  // namespace parcelon
