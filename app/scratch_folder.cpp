#include "app/scratch_folder.h"

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

namespace kmlcompat {
namespace {

std::string TemporaryRoot() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string root = tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp";
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return std::filesystem::absolute(root).string();
}

}  // namespace

ScratchFolder::ScratchFolder() {
  std::string pattern = TemporaryRoot();
  pattern.append("/kmlcompat-XXXXXX");
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) {
    std::string what = "Cannot create a temporary folder in ";
    throw std::system_error(errno, std::generic_category(), what.append(TemporaryRoot()));
  }
  path_ = name.data();
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace kmlcompat
