#include "archive/update/stored_name.h"

#include <vector>

#include "archive/common/entry_path.h"

namespace parcelon {
namespace {

std::vector<std::u16string_view> Components(std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  for (size_t start = 0; start <= path.size();) {
    const size_t end = std::min(path.find(u'/', start), path.size());
    const std::u16string_view part = path.substr(start, end - start);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  return parts;
}

// The part of `path` below the folder `folder` (both absolute and
// normalised), or nullopt-like empty flag when it does not lie below it.
bool RelativeTo(std::u16string_view path, std::u16string_view folder, std::u16string& relative) {
  if (folder == u"/") folder = u"";
  if (path.size() <= folder.size() || path.substr(0, folder.size()) != folder ||
      path[folder.size()] != u'/')
    return false;
  relative = path.substr(folder.size() + 1);
  return true;
}

}  // namespace

std::u16string AbsolutePath(std::u16string_view path, std::u16string_view against) {
  std::u16string joined = path.starts_with(u'/')
                              ? std::u16string(path)
                              : std::u16string(against) + u"/" + std::u16string(path);
  std::u16string out;
  for (std::u16string_view part : Components(joined)) out.append(u"/").append(part);
  return out.empty() ? u"/" : out;
}

std::u16string FormStoredName(std::u16string_view file_name, std::u16string_view base,
                              TPLStorePathMode store_path, std::u16string_view working_folder) {
  const std::u16string base_path =
      AbsolutePath(base.empty() ? working_folder : base, working_folder);
  const std::u16string file_path = AbsolutePath(file_name, base_path);
  std::u16string name = file_path;
  if (store_path == spNoPath) {
    name = std::u16string(paths::DiskFileName(file_path));
  } else if (store_path == spRelativePath) {
    std::u16string relative;
    if (RelativeTo(file_path, base_path, relative)) name = relative;
  }
  size_t start = 0;
  while (start < name.size() && name[start] == u'/') ++start;
  return paths::WithSlashes(std::u16string_view(name).substr(start));
}

}  // namespace parcelon
