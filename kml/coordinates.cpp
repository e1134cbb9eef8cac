#include "kml/coordinates.h"

#include <cstring>

namespace kml {

namespace {

constexpr std::string_view kOpenTag = "<coordinates>";
constexpr std::string_view kCloseTag = "</coordinates>";

inline char* Put(char* dst, std::string_view text) {
  std::memcpy(dst, text.data(), text.size());
  return dst + text.size();
}

}  // namespace

size_t CoordinateLines::ContinueElement(std::string_view line, char** dst) {
  // One pass over the line finds its tabs, its first '<' and its separators.
  TupleCleaner::TextFacts facts;
  cleaner_.Classify(line, &facts);
  // A continuation line is re-indented with as many tabs as it holds.
  // Sixteen at a time into the room that MaxOutput() provides: a fixed-size
  // fill is a single store, where a loop would become a call to memset.
  for (size_t done = 0; done < facts.tabs; done += 16) std::memset(*dst + done, '\t', 16);
  *dst += facts.tabs;
  size_t close = facts.first_open == std::string_view::npos
                     ? std::string_view::npos
                     : line.find(kCloseTag, facts.first_open);
  *dst =
      cleaner_.CleanClassified(line, close == std::string_view::npos ? line.size() : close, *dst);
  if (close == std::string_view::npos) return close;
  in_element_ = false;
  *dst = Put(*dst, kCloseTag);
  return close + kCloseTag.size();
}

char* CoordinateLines::ProcessFrom(std::string_view line, size_t from, char* dst) {
  while (from < line.size()) {
    size_t open = line.find(kOpenTag, from);
    if (open == std::string_view::npos) break;
    size_t start = open + kOpenTag.size();
    dst = Put(dst, line.substr(from, start - from));
    size_t close = line.find(kCloseTag, start);
    dst = cleaner_.Clean(
        line.substr(start, close == std::string_view::npos ? close : close - start), dst);
    if (close == std::string_view::npos) {
      in_element_ = true;
      return dst;
    }
    dst = Put(dst, kCloseTag);
    from = close + kCloseTag.size();
  }
  return from < line.size() ? Put(dst, line.substr(from)) : dst;
}

char* CoordinateLines::Process(std::string_view line, char* dst) {
  size_t from = 0;
  if (in_element_) {
    from = ContinueElement(line, &dst);
    if (from == std::string_view::npos) return dst;
  }
  return ProcessFrom(line, from, dst);
}

void CoordinateLines::Process(std::string_view line, std::string* out) {
  size_t base = out->size();
  out->resize(base + MaxOutput(line.size()));
  char* end = Process(line, out->data() + base);
  out->resize(static_cast<size_t>(end - out->data()));
}

}  // namespace kml
