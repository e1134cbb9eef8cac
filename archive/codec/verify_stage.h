// The check at the end of a decoder: counts and CRC-32s what passes, stops
// an entry that gives more bytes than it states, reports progress, and hands
// the bytes on.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "archive/common/data_stage.h"

namespace parcelon {

class VerifyStage : public DataStage {
 public:
  // Called before each block is handed on with the bytes produced so far;
  // returns false to stop (a cancel).
  using Progress = std::function<bool(uint64_t produced)>;

  // `next` must outlive the stage; more than `limit` bytes are refused.
  VerifyStage(DataStage& next, uint64_t limit, Progress progress)
      : next_(next), limit_(limit), progress_(std::move(progress)) {}

  // Throws CodecError when the bytes would pass the limit; false when the
  // progress callback or the next stage stopped.
  bool Put(std::span<const uint8_t> block, bool last) override;
  uint64_t Produced() const { return produced_; }
  uint32_t Crc32() const { return crc_; }

 private:
  DataStage& next_;
  uint64_t limit_;
  Progress progress_;
  uint64_t produced_ = 0;
  uint32_t crc_ = 0;
};

}  // namespace parcelon
