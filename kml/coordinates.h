// Cleaning of coordinate text: the blanks inside coordinate tuples are
// removed and tuples are separated by exactly one blank, without losing any
// value.
#pragma once

#include <string>
#include <string_view>

namespace kml {

// Appends the cleaned form of `text` to *out.
//
// A value is a run of characters that are neither whitespace (codes 0 to 32)
// nor commas; a separator is a run of whitespace and commas. Between two
// values a separator without a comma ends a tuple, and one with commas joins
// the values by its commas alone; but a single comma next to whitespace right
// after a tuple's third value ends the tuple ("1, 2, 3, 4, 5, 6" gives
// "1,2,3 4,5,6"). Tuples are joined by one blank. Before the first and after
// the last value only the commas of a separator are kept.
void CleanTuples(std::string_view text, std::string* out);

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

  bool in_element_ = false;
};

}  // namespace kml
