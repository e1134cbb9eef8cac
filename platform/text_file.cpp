#include "platform/text_file.h"

#include <emmintrin.h>

#include <cstring>

#include "platform/sequential_file.h"

namespace platform {

namespace {

constexpr char kCtrlZ = 26;

// Offset of the first line feed, carriage return or Ctrl-Z in p[0, n), or n.
// Sixteen characters at a time: lines are long against these three.
size_t FindLineStop(const char* p, size_t n) {
  const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'), z = _mm_set1_epi8(kCtrlZ);
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chars, lf), _mm_cmpeq_epi8(chars, cr)),
                                _mm_cmpeq_epi8(chars, z));
    if (int mask = _mm_movemask_epi8(hits)) return i + static_cast<size_t>(__builtin_ctz(mask));
  }
  for (; i < n; ++i)
    if (p[i] == '\n' || p[i] == '\r' || p[i] == kCtrlZ) return i;
  return n;
}

}  // namespace

TextReader::TextReader(std::unique_ptr<Stream> file, std::string path, size_t buffer_size)
    : file_(std::move(file)), path_(std::move(path)), buf_(buffer_size) {}

bool TextReader::Fill() {
  if (eof_) return false;
  pos_ = 0;
  end_ = ReadSome(*file_, path_, buf_.data(), buf_.size());
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

void TextReader::ConsumeStop() {
  char c = buf_[pos_++];
  if (c == kCtrlZ) stopped_ = true;
  if (c == '\r') pending_cr_ = true;
}

bool TextReader::ScanLine(std::string_view* text) {
  const char* start = buf_.data() + pos_;
  size_t scan = FindLineStop(start, end_ - pos_);
  *text = std::string_view(start, scan);
  pos_ += scan;
  if (pos_ == end_) return false;
  ConsumeStop();
  return true;
}

std::string_view TextReader::NextLine() {
  if (AtEnd()) return {};
  std::string_view part;
  if (ScanLine(&part)) return part;  // the whole line lies in the buffer
  spill_.assign(part);
  while (Fill()) {
    bool ended = ScanLine(&part);
    spill_.append(part);
    if (ended) break;
  }
  return spill_;
}

bool TextReader::DataAfterCtrlZ() {
  bool in_mark = stopped_;
  do {
    for (; pos_ < end_; ++pos_) {
      if (buf_[pos_] == kCtrlZ)
        in_mark = true;
      else if (in_mark)
        return true;
    }
  } while (Fill());
  return false;
}

void TextReader::ReadLine(std::string* line) {
  line->assign(NextLine());
}

TextWriter::TextWriter(std::unique_ptr<Stream> file, std::string path, size_t buffer_size)
    : file_(std::move(file)), path_(std::move(path)), buf_(buffer_size) {}

TextWriter::~TextWriter() = default;

void TextWriter::Flush() {
  if (used_ > 0) WriteAll(*file_, path_, buf_.data(), used_);
  used_ = 0;
}

void TextWriter::Append(const char* data, size_t n) {
  if (n > buf_.size() - used_) {
    Flush();
    if (n >= buf_.size()) {
      WriteAll(*file_, path_, data, n);
      return;
    }
  }
  std::memcpy(buf_.data() + used_, data, n);
  used_ += n;
}

char* TextWriter::Reserve(size_t n) {
  if (n > buf_.size() - used_) {
    Flush();
    if (n > buf_.size()) buf_.resize(n);
  }
  return buf_.data() + used_;
}

void TextWriter::WriteLine(std::string_view text) {
  Append(text.data(), text.size());
  Append("\r\n", 2);
}

void TextWriter::Sync() {
  Flush();
  SyncFile(*file_, path_);
}

void TextWriter::Close() {
  Flush();
  CloseFile(*file_, path_);
}

}  // namespace platform
