// Telling the resource-fork companions that macOS's archiver stores beside
// every file (AppleDouble files: "__MACOSX/dir/._name.kml") from KML
// documents. Their names end in ".kml" like the documents', but they hold
// binary metadata and are no KML.
#pragma once

#include <string>

#include "platform/file_system.h"

namespace kmlcompat {

// True when the entry's stored name lies in a "__MACOSX" folder or its file
// name begins with "._", and its data, decoded into the file `data_path`,
// begins with the AppleDouble magic number 00 05 16 07. Throws what reading
// the file throws.
bool IsAppleDouble(const std::u16string& stored_name, const std::string& data_path,
                   platform::FileSystem& fs);

}  // namespace kmlcompat
