#include "archive/codec/output_sink.h"

#include <utility>

namespace parcelon {

OutputSink::OutputSink(platform::Stream& output, EngineCallbacks& events,
                       std::u16string archive_name, bool& cancel)
    : output_(output), events_(events), archive_name_(std::move(archive_name)), cancel_(cancel) {}

bool OutputSink::Put(std::span<const uint8_t> block, bool) {
  return WriteOutput(block);
}

bool OutputSink::WriteOutput(std::span<const uint8_t> data) {
  const int64_t start = output_.Position();
  while (output_.Write(data.data(), data.size()) != data.size()) {
    bool cancel = true;
    events_.DiskFull(0, archive_name_, cancel);
    if (cancel) {
      cancel_ = true;
      return false;
    }
    output_.Seek(start, platform::SeekOrigin::kBegin);
  }
  written_ += data.size();
  return true;
}

}  // namespace parcelon
