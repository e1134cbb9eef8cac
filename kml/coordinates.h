// Rewriting of the coordinate text of a document, line by line.
#pragma once

#include <string>
#include <string_view>

#include "kml/tuple_cleaner.h"

namespace kml {

// Rewrites the lines of a document, cleaning the text of every <coordinates>
// element. Elements may span lines; the processor remembers an open element
// between calls.
class CoordinateLines {
 public:
  // Appends the rewritten form of `line` to *out.
  void Process(std::string_view line, std::string* out);
  // Writes the rewritten form of `line` from dst on, which must have room for
  // MaxOutput(line.size()) characters; returns the end of what it wrote.
  char* Process(std::string_view line, char* dst);
  // A bound on the output for a line of n characters: a continuation line
  // may gain as many tabs as it has characters, and the cleaning writes up
  // to TupleCleaner::kSlack characters past its end.
  static size_t MaxOutput(size_t n) { return 2 * n + TupleCleaner::kSlack; }
  // True while a <coordinates> element opened on an earlier line is not closed.
  bool InElement() const { return in_element_; }

 private:
  // Cleans an element that goes on from an earlier line; returns the position
  // after its closing tag, or npos when the line ends inside it.
  size_t ContinueElement(std::string_view line, char** dst);
  // Copies text and cleans the elements that start in line[from...].
  char* ProcessFrom(std::string_view line, size_t from, char* dst);

  TupleCleaner cleaner_;
  bool in_element_ = false;
};

}  // namespace kml
