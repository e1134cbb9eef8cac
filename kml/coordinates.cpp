#include "kml/coordinates.h"

#include <emmintrin.h>

#include <algorithm>

namespace kml {

namespace {

constexpr std::string_view kOpenTag = "<coordinates>";
constexpr std::string_view kCloseTag = "</coordinates>";

size_t CountTabs(std::string_view line) {
  // Sixteen characters at a time: each compare gives -1 per tab, summed in
  // byte lanes that are folded before they can overflow.
  size_t tabs = 0, i = 0;
  const __m128i tab = _mm_set1_epi8('\t');
  while (i + 16 <= line.size()) {
    __m128i lanes = _mm_setzero_si128();
    for (int round = 0; round < 255 && i + 16 <= line.size(); ++round, i += 16) {
      __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + i));
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(chars, tab));
    }
    __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    tabs += static_cast<size_t>(_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4));
  }
  for (; i < line.size(); ++i) tabs += line[i] == '\t';
  return tabs;
}

}  // namespace

size_t CoordinateLines::ContinueElement(std::string_view line, std::string* out) {
  // A continuation line is re-indented with as many tabs as it holds.
  out->append(CountTabs(line), '\t');
  size_t close = line.find(kCloseTag);
  cleaner_.Clean(line.substr(0, close), out);
  if (close == std::string_view::npos) return close;
  in_element_ = false;
  out->append(kCloseTag);
  return close + kCloseTag.size();
}

void CoordinateLines::ProcessFrom(std::string_view line, size_t from, std::string* out) {
  while (from < line.size()) {
    size_t open = line.find(kOpenTag, from);
    if (open == std::string_view::npos) break;
    size_t start = open + kOpenTag.size();
    out->append(line.substr(from, start - from));
    size_t close = line.find(kCloseTag, start);
    cleaner_.Clean(line.substr(start, close == std::string_view::npos ? close : close - start),
                   out);
    if (close == std::string_view::npos) {
      in_element_ = true;
      return;
    }
    out->append(kCloseTag);
    from = close + kCloseTag.size();
  }
  if (from < line.size()) out->append(line.substr(from));
}

void CoordinateLines::Process(std::string_view line, std::string* out) {
  size_t from = 0;
  if (in_element_) {
    from = ContinueElement(line, out);
    if (from == std::string_view::npos) return;
  }
  ProcessFrom(line, from, out);
}

}  // namespace kml
