// A private folder for the working copies of one run: made anew below the
// system's temporary folder, readable and writable by its owner only, and
// removed with everything in it when the object goes.
#pragma once

#include <string>

namespace kmlcompat {

class ScratchFolder {
 public:
  // Creates the folder below $TMPDIR, or /tmp when that is unset or empty.
  // Throws std::system_error when it cannot be made.
  ScratchFolder();
  // Removes the folder and its contents; failures are ignored.
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder's absolute path, without a trailing '/'.
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace kmlcompat
