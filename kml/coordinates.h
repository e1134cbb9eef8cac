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
  // True while a <coordinates> element opened on an earlier line is not closed.
  bool InElement() const { return in_element_; }

 private:
  // Cleans an element that goes on from an earlier line; returns the position
  // after its closing tag, or npos when the line ends inside it.
  size_t ContinueElement(std::string_view line, std::string* out);
  // Copies text and cleans the elements that start in line[from...].
  void ProcessFrom(std::string_view line, size_t from, std::string* out);

  TupleCleaner cleaner_;
  bool in_element_ = false;
};

}  // namespace kml
