// The files a run of kmlcompat-cli takes up.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace kmlcompat {

// Called once per file to take up; `problem` is empty, or says why the
// folder `path` could not be searched.
using FileVisitor = std::function<void(const std::string& path, const std::string& problem)>;

// Visits the arguments in their order. Without `recursive` each one is a
// file. With it, an argument that is a folder (or a symbolic link to one)
// stands for the regular files below it whose names end in .kml or .kmz, in
// any letter case: depth first, the names of each folder in byte order.
// Symbolic links below the argument are not followed, neither to folders nor
// to files; other files are left out. Throws only what `visit` throws.
void VisitFiles(const std::vector<std::string>& args, bool recursive, platform::FileSystem& fs,
                const FileVisitor& visit);

}  // namespace kmlcompat
