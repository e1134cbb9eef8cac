// Whether the repair would refuse to write a file, found without changing
// anything. The repair itself asks this before it starts, and the check of
// kmlcompat-cli asks it of every file that needs a repair, so that both give
// the same answer for the same file.
#pragma once

#include <string>

#include "platform/file_system.h"

namespace kmlcompat {

// Why the repair would leave `path` unchanged and fail whatever the file
// holds: it is missing, a folder or no regular file, it is read-only, or its
// folder does not let the repair put a new file in its place. Empty when
// nothing stands in the way. What the file holds (no KML, a damaged archive,
// a Ctrl-Z before more data) is judged by reading it: kml::AnalyseKmlFile
// and AnalyseKmz. Never throws.
std::string RepairRefusal(const std::string& path, platform::FileSystem& fs);

}  // namespace kmlcompat
