#include "app/file_arguments.h"

#include <filesystem>
#include <string_view>

namespace kmlcompat {

std::vector<std::string> FileArguments(int argc, const char* const argv[]) {
  std::vector<std::string> files;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.empty()) continue;
    if (!options_end && arg == "--") {
      options_end = true;
    } else if (options_end || !arg.starts_with('-')) {
      files.push_back(std::filesystem::absolute(std::filesystem::path(arg)).string());
    }
  }
  return files;
}

}  // namespace kmlcompat
