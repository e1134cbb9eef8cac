// Paths in the engine, in one place: the stored names of entries and the
// native paths of files on disk.
//
// Stored names separate folders with '/'; some writers use '\', which counts
// as a separator too. A ':' is an ordinary character of a stored name (it is
// legal in file names here). Disk paths are native: '/' alone separates
// folders. Names that a user types (masks) may begin with a drive ("C:") or a
// network share ("\\server\share") from another system.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace parcelon::paths {

// '/' or '\'.
bool IsSeparator(char16_t c);
// `name` with every '\' turned into '/'.
std::u16string WithSlashes(std::u16string_view name);
// `name` without one trailing separator (a folder entry's name ends in one).
std::u16string_view WithoutTrailingSeparator(std::u16string_view name);
// The position just after the last separator of a stored name; 0 when
// there is none.
size_t FileNameStart(std::u16string_view name);
// The file-name part of a stored name (after the last separator).
std::u16string_view FileNamePart(std::u16string_view name);
// The folder part of a stored name, up to and including its last separator.
std::u16string_view FolderPart(std::u16string_view name);
// The length of a leading drive ("X:") or network share ("\\server\share",
// either separator) of a name typed by a user; 0 when there is none.
size_t DrivePrefixLength(std::u16string_view name);

// The file-name part of a native disk path (after its last '/').
std::u16string_view DiskFileName(std::u16string_view path);

// A stored name reduced to a relative path that stays below whatever folder
// it is joined to: a NUL ends the name; a drive or network-share prefix,
// leading separators, and every empty, "." and ".." component are dropped;
// the components are joined by '/'; a trailing separator (a folder entry) is
// kept. Gives an empty string when nothing remains.
std::u16string SafeRelativePath(std::u16string_view name);

}  // namespace parcelon::paths
