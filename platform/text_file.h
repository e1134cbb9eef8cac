// Line-oriented text files of 8-bit characters.
//
// Reading: a line ends at a line feed, at a carriage return followed by a line
// feed, or at a lone carriage return. A Ctrl-Z (code 26) ends the line's text
// and the whole input; DataAfterCtrlZ tells an old end-of-file mark (Ctrl-Z
// bytes only, to the end) from a Ctrl-Z with data behind it, which the reader
// would lose. Reading when no input is left gives an empty line.
// Writing: every line is followed by carriage return and line feed.
// Both sides are buffered, so a rewrite streams through memory that grows
// only with the longest line. Failures are worded as sequential_file.h
// words them ("cannot read PATH: reason", "cannot write PATH: reason").
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/stream.h"

namespace platform {

class TextReader {
 public:
  // Takes ownership of `file`, open at its start; `path` names it in failures.
  TextReader(std::unique_ptr<Stream> file, std::string path, size_t buffer_size = 1 << 18);

  // Replaces *line with the next line's text (without its end). At the end of
  // the input *line becomes empty. Throws IoError when reading fails.
  void ReadLine(std::string* line);
  // The same without a copy where possible: the text stays valid until the
  // next call on this reader.
  std::string_view NextLine();
  // True when no characters remain or the next one is a Ctrl-Z.
  bool AtEnd();
  // Reads the rest of the input, from where reading stands: true when it
  // holds a Ctrl-Z followed by anything but more Ctrl-Z bytes (the
  // lines are not returned). Throws IoError when reading fails.
  bool DataAfterCtrlZ();

 private:
  bool Fill();  // false at the end of the file
  // Takes text up to the next line end or Ctrl-Z from the buffer into
  // *text; true when the line ended inside the buffer.
  bool ScanLine(std::string_view* text);
  void ConsumeStop();  // steps over the line end or Ctrl-Z at pos_

  std::unique_ptr<Stream> file_;
  std::string path_;
  std::vector<char> buf_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool eof_ = false;         // the file has no more bytes
  bool stopped_ = false;     // a Ctrl-Z ended the input
  bool pending_cr_ = false;  // the last line ended at a CR: drop an LF that follows
  std::string spill_;        // a line that crosses the end of the buffer
};

class TextWriter {
 public:
  // Takes ownership of `file`; `path` names it in failures.
  TextWriter(std::unique_ptr<Stream> file, std::string path, size_t buffer_size = 1 << 18);
  // Closes the file without reporting errors if Close() was not called.
  ~TextWriter();

  // Writes text followed by CR LF. Throws IoError.
  void WriteLine(std::string_view text);
  // Writes a line whose text `produce(char* dst)` puts straight into the
  // buffer: at most max_size characters from dst on, returning the end of
  // what it wrote. CR LF follows. Throws IoError.
  template <typename Produce>
  void WriteLineInPlace(size_t max_size, Produce&& produce) {
    char* end = produce(Reserve(max_size + 2));
    *end++ = '\r';
    *end++ = '\n';
    used_ = static_cast<size_t>(end - buf_.data());
  }
  // Flushes the buffer and forces what was written to stable storage.
  // Throws IoError.
  void Sync();
  // Flushes the buffer and closes the file. Throws IoError.
  void Close();
  // Gives the file the permission bits and, where allowed, the owner of
  // `like`, through its descriptor (FileSystem::SetModeAndOwnerOf). Throws
  // IoError.
  void SetModeAndOwner(FileSystem& fs, const FileInfo& like) { fs.SetModeAndOwnerOf(*file_, like); }

 private:
  void Append(const char* data, size_t n);
  void Flush();
  // Room for n more characters at the end of the buffer, which grows when
  // it is smaller than n.
  char* Reserve(size_t n);

  std::unique_ptr<Stream> file_;
  std::string path_;
  std::vector<char> buf_;
  size_t used_ = 0;
};

}  // namespace platform
