#include "platform/text_file.h"

#include <cstring>

namespace platform {

namespace {
constexpr char kCtrlZ = 26;
}

TextReader::TextReader(std::unique_ptr<ReadableFile> file, size_t buffer_size)
    : file_(std::move(file)), buf_(buffer_size) {}

bool TextReader::Fill() {
  if (eof_) return false;
  pos_ = 0;
  end_ = file_->Read(buf_.data(), buf_.size());
  if (end_ == 0) eof_ = true;
  return end_ > 0;
}

bool TextReader::AtEnd() {
  if (stopped_) return true;
  if (pending_cr_) {
    if (pos_ == end_ && !Fill()) return true;
    if (buf_[pos_] == '\n') ++pos_;
    pending_cr_ = false;
  }
  if (pos_ == end_ && !Fill()) return true;
  return buf_[pos_] == kCtrlZ;
}

bool TextReader::ScanLine(std::string* line) {
  const char* start = buf_.data() + pos_;
  size_t avail = end_ - pos_;
  // Line ends and Ctrl-Z are rare against ordinary text: find the first of
  // them with memchr, which is far faster than a byte loop.
  const char* stop = static_cast<const char*>(std::memchr(start, '\n', avail));
  size_t scan = stop ? static_cast<size_t>(stop - start) : avail;
  if (const void* cr = std::memchr(start, '\r', scan)) scan = static_cast<const char*>(cr) - start;
  if (const void* z = std::memchr(start, kCtrlZ, scan)) scan = static_cast<const char*>(z) - start;
  line->append(start, scan);
  pos_ += scan;
  if (pos_ == end_) return false;
  char c = buf_[pos_++];
  if (c == kCtrlZ) stopped_ = true;
  if (c == '\r') pending_cr_ = true;
  return true;
}

void TextReader::ReadLine(std::string* line) {
  line->clear();
  if (AtEnd()) return;
  while (!ScanLine(line)) {
    if (!Fill()) return;
  }
}

TextWriter::TextWriter(std::unique_ptr<WritableFile> file, size_t buffer_size)
    : file_(std::move(file)), buf_(buffer_size) {}

TextWriter::~TextWriter() = default;

void TextWriter::Flush() {
  if (used_ > 0) file_->Write(buf_.data(), used_);
  used_ = 0;
}

void TextWriter::Append(const char* data, size_t n) {
  if (n > buf_.size() - used_) {
    Flush();
    if (n >= buf_.size()) {
      file_->Write(data, n);
      return;
    }
  }
  std::memcpy(buf_.data() + used_, data, n);
  used_ += n;
}

void TextWriter::WriteLine(std::string_view text) {
  Append(text.data(), text.size());
  Append("\r\n", 2);
}

void TextWriter::Close() {
  Flush();
  file_->Close();
}

}  // namespace platform
