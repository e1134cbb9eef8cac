#include "app/entry_buffer.h"

namespace kmlcompat {

platform::Stream& EntryBuffer::Prepare(uint64_t size) {
  platform::Stream* target = &memory_;
  if (size > memory_limit_) {
    if (!file_) {
      std::string path;
      file_ = fs_.CreateUniqueStream(folder_, "entry", &path);
    }
    target = file_.get();
  }
  target->SetSize(0);
  target->Seek(0, platform::SeekOrigin::kBegin);
  return *target;
}

}  // namespace kmlcompat
