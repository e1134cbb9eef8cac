#include "cli/job_output.h"

namespace kmlcompat {

void JobOutput::Write(Stream stream, std::string_view text) {
  if (direct_) {
    Target(stream).write(text.data(), static_cast<std::streamsize>(text.size()));
    return;
  }
  // Text for the same stream as the last is joined to it, so that a line
  // goes out in one piece.
  if (kept_.empty() || kept_.back().first != stream) kept_.emplace_back(stream, std::string());
  kept_.back().second.append(text);
}

void JobOutput::GoDirect() {
  for (const auto& [stream, text] : kept_) {
    Target(stream).write(text.data(), static_cast<std::streamsize>(text.size()));
    Target(stream).flush();
  }
  kept_.clear();
  out_.flush();
  err_.flush();
  direct_ = true;
}

JobStreamBuf::int_type JobStreamBuf::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char text = traits_type::to_char_type(c);
  xsputn(&text, 1);
  return c;
}

std::streamsize JobStreamBuf::xsputn(const char* text, std::streamsize count) {
  if (job_ != nullptr) job_->Write(stream_, std::string_view(text, static_cast<size_t>(count)));
  return count;
}

}  // namespace kmlcompat
