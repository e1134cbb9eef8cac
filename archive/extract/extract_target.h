// Where an extracted file goes: a path relative to the destination folder
// that stays below it, or a path an event handler chose, taken as given.
#pragma once

#include <cstdint>
#include <string>

namespace parcelon {

struct ExtractTarget {
  std::string root;      // the destination folder, without a trailing '/'
  std::string relative;  // '/'-separated, no "." or ".." components
  std::string chosen;    // the handler's path, when it chose one
  bool Chosen() const { return !chosen.empty(); }
  std::string Path() const {
    return Chosen() ? chosen : std::string(root).append("/").append(relative);
  }
  // The folder the file is in (the path up to its last '/').
  std::string Folder() const;
  // The file name alone.
  std::string FileName() const;
};

// `target` with its file name hidden and marked as a partial copy:
// ".NAME.part-" and `number` as eight hexadecimal digits.
ExtractTarget PartOf(const ExtractTarget& target, uint32_t number);

// Whether `name` is a partial copy of the file named `file` as PartOf names it.
bool IsPartOf(const std::string& name, const std::string& file);

}  // namespace parcelon
