// Cleaning of coordinate text: the blanks inside coordinate tuples are
// removed and tuples are separated by exactly one blank, without losing any
// value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kml {

// The ways a cleaner can find separators, sixteen characters at a time; all
// give the same results. The portable one is there on every processor; SSE2
// instructions, faster, on x86-64.
struct PortableClassifier {};
#ifdef __SSE2__
struct Sse2Classifier {};
using NativeClassifier = Sse2Classifier;
#else
using NativeClassifier = PortableClassifier;
#endif

// Cleans coordinate text, finding separators the `Classifier` way. Reusable:
// keeps its scratch memory between calls, so that cleaning line after line
// allocates nothing.
//
// A value is a run of characters that are neither whitespace (codes 0 to 32)
// nor commas; a separator is a run of whitespace and commas. Between two
// values a separator without a comma ends a tuple, and one with commas joins
// the values by its commas alone; but a single comma next to whitespace right
// after a tuple's third value ends the tuple ("1, 2, 3, 4, 5, 6" gives
// "1,2,3 4,5,6"). Tuples are joined by one blank. Before the first and after
// the last value only the commas of a separator are kept.
template <typename Classifier>
class BasicTupleCleaner {
 public:
  // Room the cleaning may use past the end of its output.
  static constexpr size_t kSlack = 16;

  // Appends the cleaned form of `text` to *out.
  void Clean(std::string_view text, std::string* out);
  // Writes the cleaned form of `text` from dst on, which must have room for
  // text.size() + kSlack characters; returns the end of the cleaned text.
  char* Clean(std::string_view text, char* dst);

  // What Classify() learns of a line besides its separators.
  struct TextFacts {
    size_t tabs = 0;                             // tab characters
    size_t first_open = std::string_view::npos;  // position of the first '<'
  };
  // Looks at `text` in one pass, ready for CleanClassified(), and fills *facts.
  void Classify(std::string_view text, TextFacts* facts);
  // Like Clean() for text[0, n), where `text` is what Classify() looked at last.
  char* CleanClassified(std::string_view text, size_t n, char* dst);

 private:
  // Marks separators, one bit per character of `text`; with
  // kFacts, also counts tabs and finds the first '<' into *facts.
  template <bool kFacts>
  void ClassifyText(std::string_view text, TextFacts* facts);

  std::vector<uint64_t> separators_;
};

// The cleaner for this processor.
using TupleCleaner = BasicTupleCleaner<NativeClassifier>;

// Instantiated in tuple_cleaner.cpp for every classifier there is.
extern template class BasicTupleCleaner<PortableClassifier>;
#ifdef __SSE2__
extern template class BasicTupleCleaner<Sse2Classifier>;
#endif

// Convenience for a single text: appends its cleaned form to *out.
void CleanTuples(std::string_view text, std::string* out);

}  // namespace kml
