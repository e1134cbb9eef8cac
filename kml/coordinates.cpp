#include "kml/coordinates.h"

#include <algorithm>

namespace kml {

namespace {

constexpr std::string_view kOpenTag = "<coordinates>";
constexpr std::string_view kCloseTag = "</coordinates>";

inline bool IsSpace(char c) {
  return static_cast<unsigned char>(c) <= 32;
}
inline bool IsSeparator(char c) {
  return c == ',' || IsSpace(c);
}

// A run of separator characters.
struct Separator {
  size_t end = 0;      // position after the run
  size_t commas = 0;   // commas in the run
  bool blank = false;  // whether the run holds whitespace
};

Separator ScanSeparator(std::string_view text, size_t i) {
  Separator sep;
  for (; i < text.size() && IsSeparator(text[i]); ++i) {
    if (text[i] == ',') {
      ++sep.commas;
    } else {
      sep.blank = true;
    }
  }
  sep.end = i;
  return sep;
}

size_t ScanValue(std::string_view text, size_t i) {
  while (i < text.size() && !IsSeparator(text[i])) ++i;
  return i;
}

}  // namespace

void CleanTuples(std::string_view text, std::string* out) {
  size_t i = 0;
  int components = 0;  // values so far in the current tuple
  bool seen_value = false;
  while (i < text.size()) {
    Separator sep = ScanSeparator(text, i);
    i = sep.end;
    bool at_end = i == text.size();
    bool ends_tuple = sep.commas == 0 || (components == 3 && sep.commas == 1 && sep.blank);
    if (!seen_value || at_end || !ends_tuple) {
      out->append(sep.commas, ',');
    } else {
      out->push_back(' ');
      components = 0;
    }
    if (at_end) break;
    size_t value_end = ScanValue(text, i);
    out->append(text.substr(i, value_end - i));
    i = value_end;
    ++components;
    seen_value = true;
  }
}

size_t CoordinateLines::ContinueElement(std::string_view line, std::string* out) {
  // A continuation line is re-indented with as many tabs as it holds.
  out->append(static_cast<size_t>(std::count(line.begin(), line.end(), '\t')), '\t');
  size_t close = line.find(kCloseTag);
  CleanTuples(line.substr(0, close), out);
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
    CleanTuples(line.substr(start, close == std::string_view::npos ? close : close - start), out);
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
