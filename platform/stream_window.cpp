#include "platform/stream_window.h"

#include "platform/exception.h"

namespace platform {

size_t StreamWindow::Write(const void*, size_t) {
  throw EStreamError(u"Stream write error: the stream is read-only");
}

int64_t StreamWindow::Seek(int64_t offset, SeekOrigin origin) {
  if (origin == SeekOrigin::kBegin) offset += start_;
  const int64_t position = base_.Seek(offset, origin);
  if (position < start_) {
    base_.Seek(start_, SeekOrigin::kBegin);
    throw EStreamError(u"Stream seek error: before the start of the window");
  }
  return position - start_;
}

void StreamWindow::SetSize(int64_t) {
  throw EStreamError(u"Stream size error: the stream is read-only");
}

}  // namespace platform
