// How a file on disk is named in the archive, and disk paths made absolute.
//
// Disk paths here are native: '/' alone separates folders and there are no
// drives. Paths are made absolute and normalised lexically ("." and ".."
// resolved, repeated separators dropped) without following links.
#pragma once

#include <string>
#include <string_view>

#include "archive/common/types.h"

namespace parcelon {

// `path` made absolute against the absolute folder `against`, normalised.
std::u16string AbsolutePath(std::u16string_view path, std::u16string_view against);

// The stored name of the file `file_name` added from the folder `base`
// (relative paths resolve against `working_folder`, itself absolute):
//   spNoPath: the file-name part;
//   spRelativePath: the path relative to `base`, or the absolute path when
//     the file lies outside `base`;
//   spFullPath, spFullPathWithDrive: the absolute path.
// One trailing separator is removed, the leading separators are dropped
// (there is no drive to keep), and every '\' becomes '/'. May be empty.
std::u16string FormStoredName(std::u16string_view file_name, std::u16string_view base,
                              TPLStorePathMode store_path, std::u16string_view working_folder);

}  // namespace parcelon
