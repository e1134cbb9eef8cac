#include "cli/file_walk.h"

#include <algorithm>

#include "app/kml_tool.h"
#include "platform/exception.h"

namespace kmlcompat {

namespace {

bool IsKmlOrKmz(const std::string& name) {
  const std::string ext = KmlTool::UpperExtension(name);
  return ext == ".KML" || ext == ".KMZ";
}

bool IsFolder(platform::FileSystem& fs, const std::string& path) {
  try {
    return fs.Stat(path).is_directory;
  } catch (const std::exception&) {
    return false;  // taken up as a file, which then says what is wrong
  }
}

// A name with nothing under it. With -r it may have been meant as a folder,
// so the message names neither kind (rather than calling it no KML file).
bool IsMissing(platform::FileSystem& fs, const std::string& path) {
  try {
    return !fs.StatLink(path).exists;
  } catch (const std::exception&) {
    return false;  // taken up as a file, which then says what is wrong
  }
}

// One name met in a walk: a file to visit or a folder to search.
struct Pending {
  std::string path;
  bool is_folder;
};

// Pushes the entries of `folder` worth visiting, in reverse order so that
// they come off the stack in byte order.
void PushEntries(const std::string& folder, std::vector<platform::FolderEntry> entries,
                 std::vector<Pending>* stack) {
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.name > b.name; });
  const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
  for (const platform::FolderEntry& entry : entries) {
    if (entry.is_link) continue;
    if (entry.info.is_directory)
      stack->push_back({prefix + entry.name, true});
    else if (entry.info.is_regular && IsKmlOrKmz(entry.name))
      stack->push_back({prefix + entry.name, false});
  }
}

// An explicit stack: the depth of a folder tree does not bound the program's.
void Walk(const std::string& root, platform::FileSystem& fs, const FileVisitor& visit) {
  std::vector<Pending> stack{{root, true}};
  while (!stack.empty()) {
    Pending next = std::move(stack.back());
    stack.pop_back();
    if (!next.is_folder) {
      visit(next.path, {});
      continue;
    }
    std::vector<platform::FolderEntry> entries;
    try {
      entries = fs.ListFolder(next.path);
    } catch (const platform::IoError& e) {
      visit(next.path, e.what());
      continue;
    }
    PushEntries(next.path, std::move(entries), &stack);
  }
}

}  // namespace

void VisitFiles(const std::vector<std::string>& args, bool recursive, platform::FileSystem& fs,
                const FileVisitor& visit) {
  for (const std::string& arg : args) {
    if (recursive && IsFolder(fs, arg))
      Walk(arg, fs, visit);
    else if (recursive && IsMissing(fs, arg))
      visit(arg, "no such file or folder: " + arg);
    else
      visit(arg, {});
  }
}

}  // namespace kmlcompat
