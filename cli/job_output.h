// What one file's job writes to standard output and standard error, kept in
// the order it was written until the file's turn comes to be printed, so
// that files taken up at the same time print as if one came after another.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kmlcompat {

class JobOutput {
 public:
  enum Stream { kOut, kErr };

  // Neither stream is owned; both must outlive this object.
  JobOutput(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  // Keeps `text` for `stream`, or writes it at once after GoDirect.
  void Write(Stream stream, std::string_view text);
  // Writes what was kept, in its order, and flushes both streams; from then
  // on Write writes at once.
  void GoDirect();

 private:
  std::ostream& Target(Stream stream) { return stream == kOut ? out_ : err_; }

  std::ostream& out_;
  std::ostream& err_;
  std::vector<std::pair<Stream, std::string>> kept_;
  bool direct_ = false;
};

// A stream buffer that passes what is written to one stream of the job set
// last; text written while no job is set is dropped.
class JobStreamBuf : public std::streambuf {
 public:
  explicit JobStreamBuf(JobOutput::Stream stream) : stream_(stream) {}
  void SetJob(JobOutput* job) { job_ = job; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;

 private:
  JobOutput::Stream stream_;
  JobOutput* job_ = nullptr;
};

}  // namespace kmlcompat
