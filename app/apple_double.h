// Telling the resource-fork companions that macOS's archiver stores beside
// every file (AppleDouble files: "__MACOSX/dir/._name.kml") from KML
// documents. Their names end in ".kml" like the documents', but they hold
// binary metadata and are no KML.
#pragma once

#include <string>

#include "platform/stream.h"

namespace kmlcompat {

// True when the entry's stored name lies in a "__MACOSX" folder or its file
// name begins with "._", and its data, decoded into the file `data_path`,
// begins with the AppleDouble magic number 00 05 16 07. `data` holds the
// decoded entry and is read from its start; its position is left where
// reading stopped. Throws what reading the stream throws.
bool IsAppleDouble(const std::u16string& stored_name, platform::Stream& data);

}  // namespace kmlcompat
