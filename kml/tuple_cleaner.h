// Cleaning of coordinate text: the blanks inside coordinate tuples are
// removed and tuples are separated by exactly one blank, without losing any
// value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kml {

// Cleans coordinate text. Reusable: keeps its scratch memory between calls,
// so that cleaning line after line allocates nothing.
//
// A value is a run of characters that are neither whitespace (codes 0 to 32)
// nor commas; a separator is a run of whitespace and commas. Between two
// values a separator without a comma ends a tuple, and one with commas joins
// the values by its commas alone; but a single comma next to whitespace right
// after a tuple's third value ends the tuple ("1, 2, 3, 4, 5, 6" gives
// "1,2,3 4,5,6"). Tuples are joined by one blank. Before the first and after
// the last value only the commas of a separator are kept.
class TupleCleaner {
 public:
  // Appends the cleaned form of `text` to *out.
  void Clean(std::string_view text, std::string* out);

 private:
  // Marks separators and commas, one bit per character of `text`.
  void Classify(std::string_view text);
  size_t CommasIn(size_t begin, size_t end) const;

  std::vector<uint64_t> separators_;
  std::vector<uint64_t> commas_;
};

// Convenience for a single text: appends its cleaned form to *out.
void CleanTuples(std::string_view text, std::string* out);

}  // namespace kml
