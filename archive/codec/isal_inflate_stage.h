// The fast inflater: raw deflate through Intel's ISA-L, with the same
// results as zlib's. Built only where the build finds ISA-L.
#pragma once

#include <memory>

#include "archive/codec/inflate_stage.h"

namespace parcelon {

class IsalInflateStage : public Inflater {
 public:
  // `next` must outlive the stage.
  explicit IsalInflateStage(DataStage& next);
  ~IsalInflateStage() override;
  IsalInflateStage(const IsalInflateStage&) = delete;
  IsalInflateStage& operator=(const IsalInflateStage&) = delete;

  // Inflates `block`. Throws CodecError for data that is no valid deflate
  // stream; returns false when the next stage gave up.
  bool Put(std::span<const uint8_t> block, bool last) override;
  bool Finished() const override { return finished_; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  DataStage& next_;
  std::unique_ptr<uint8_t[]> out_;  // never zeroed: inflating fills what is handed on
  bool finished_ = false;
};

}  // namespace parcelon
