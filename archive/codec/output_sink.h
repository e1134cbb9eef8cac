// The end of an encoder: writes entry data to the archive stream, counts it,
// and survives a full disk through the disk-full event.
#pragma once

#include <cstdint>
#include <string>

#include "archive/common/data_stage.h"
#include "archive/common/engine_callbacks.h"
#include "platform/stream.h"

namespace parcelon {

class OutputSink : public DataStage {
 public:
  // `output`, `events` and `cancel` (the operation's shared cancel flag)
  // must outlive the sink; `archive_name` is what the disk-full event names.
  OutputSink(platform::Stream& output, EngineCallbacks& events, std::u16string archive_name,
             bool& cancel);

  bool Put(std::span<const uint8_t> block, bool last) override;
  // Writes all of `data` at the output's position. When the stream takes
  // less, the disk-full event decides: retry (the output goes back to where
  // the write began and all of it is written again) or give up (the cancel
  // flag is set and the result is false). The event's default raises error
  // 65. Stream errors pass.
  bool WriteOutput(std::span<const uint8_t> data);
  // The bytes written so far.
  uint64_t Written() const { return written_; }

 private:
  platform::Stream& output_;
  EngineCallbacks& events_;
  std::u16string archive_name_;
  bool& cancel_;
  uint64_t written_ = 0;
};

}  // namespace parcelon
