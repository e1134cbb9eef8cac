#include "app/repair_refusal.h"

#include <sys/stat.h>

namespace kmlcompat {
namespace {

std::string RefusalOf(const std::string& path, platform::FileSystem& fs) {
  const std::string target = fs.ResolveLinks(path);
  const platform::FileInfo info = fs.Stat(target);
  if (!info.exists) return path + " does not exist";
  if (info.is_directory) return path + " is a folder, not a file";
  if (!info.is_regular) return path + " is not a regular file";
  if ((info.mode & S_IWUSR) == 0 || !fs.Writable(target))
    return path + " is read-only; file left unchanged";
  // The new file is made beside the link's target; a KMZ file is renamed
  // where it is named.
  for (const std::string& named : {target, path}) {
    const std::string folder = platform::FolderOf(named);
    if (!fs.Writable(folder.empty() ? "." : folder))
      return "the folder of " + path + " cannot be written; file left unchanged";
  }
  return {};
}

}  // namespace

std::string RepairRefusal(const std::string& path, platform::FileSystem& fs) {
  try {
    return RefusalOf(path, fs);
  } catch (const std::exception& e) {
    return e.what();
  }
}

}  // namespace kmlcompat
