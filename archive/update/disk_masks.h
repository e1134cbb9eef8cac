// Masks of files on disk, as an add from disk uses them: where a mask points
// and whether a disk path matches an exclusion or no-compression mask.
//
// Disk paths are native and absolute: '/' alone separates folders, ':' and
// '\' are ordinary characters, and there are no drives or network shares.
// Masks use '*' (any run of characters, '/' included) and '?' (one
// character); letter case is ignored.
#pragma once

#include <string>
#include <string_view>

#include "platform/code_pages.h"

namespace parcelon {

// Where a mask of an add points.
struct ResolvedMask {
  std::u16string path;    // absolute and normalised; may end in a pattern
  bool relative = false;  // the mask was a plain relative path ("*.kml", "sub/a.kml")
  bool named = false;     // the mask named its own path: absolute, or climbing out with ".."
};

// Resolves `mask` against the absolute folder `folder`:
//   "/..." an absolute path, named as it stands;
//   "./..." below `folder`, anchored there (not relative);
//   a mask with a ".." component, resolved against `folder` and named;
//   anything else below `folder`, relative.
ResolvedMask ResolveMask(std::u16string_view mask, std::u16string_view folder);

// Whether `mask` holds '*' or '?'.
bool HasWildcards(std::u16string_view mask);

// The folder part of an absolute disk path, up to and including its last '/'.
std::u16string_view DiskFolderPart(std::u16string_view path);

// Whether the absolute disk path `file_name` (a folder when `is_folder`)
// matches `mask`, relative paths resolving against the absolute
// `working_folder`:
//   "*.*" matches everything, an empty mask nothing;
//   a mask without '/' is matched against the file's own name, in any folder;
//   any other mask is resolved like ResolveMask and matched against the whole
//   path, so that "sub/*" covers everything below sub;
//   a last component "*.*" counts as "*";
//   for a folder both sides get a trailing '/' (the mask unless it ends in
//   '*'), so that "build" or "build/" names the folder build and "sub/*"
//   covers sub itself.
bool DiskFileMatchesMask(std::u16string_view file_name, std::u16string_view mask, bool is_folder,
                         std::u16string_view working_folder, const platform::CodePages& code_pages);

}  // namespace parcelon
