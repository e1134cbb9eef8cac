#include "archive/update/disk_masks.h"

#include "archive/common/entry_path.h"
#include "archive/search/wildcard.h"
#include "archive/update/stored_name.h"

namespace parcelon {
namespace {

bool ClimbsOut(std::u16string_view mask) {
  return mask == u".." || mask.find(u"../") != std::u16string_view::npos || mask.ends_with(u"/..");
}

// `mask` made absolute against `folder`, normalised; a trailing '/' stays.
std::u16string Joined(std::u16string_view mask, std::u16string_view folder) {
  std::u16string path = AbsolutePath(mask, folder);
  if (mask.ends_with(u'/') && !path.ends_with(u'/')) path.push_back(u'/');
  return path;
}

// A last component "*.*" becomes "*": it stands for every name.
std::u16string WithAllFilesAsStar(std::u16string pattern) {
  if (pattern == u"*.*" || pattern.ends_with(u"/*.*")) pattern.resize(pattern.size() - 2);
  return pattern;
}

}  // namespace

ResolvedMask ResolveMask(std::u16string_view mask, std::u16string_view folder) {
  if (mask.starts_with(u'/')) return {Joined(mask, u"/"), false, true};
  if (mask.starts_with(u"./")) return {Joined(mask.substr(2), folder), false, false};
  if (ClimbsOut(mask)) return {Joined(mask, folder), false, true};
  return {Joined(mask, folder), true, false};
}

bool HasWildcards(std::u16string_view mask) {
  return mask.find_first_of(u"*?") != std::u16string_view::npos;
}

std::u16string_view DiskFolderPart(std::u16string_view path) {
  const size_t slash = path.find_last_of(u'/');
  return slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash + 1);
}

bool DiskFileMatchesMask(std::u16string_view file_name, std::u16string_view mask, bool is_folder,
                         std::u16string_view working_folder,
                         const platform::CodePages& code_pages) {
  if (mask == u"*.*") return true;
  if (mask.empty()) return false;
  std::u16string_view bare = file_name;
  if (bare.size() > 1 && bare.ends_with(u'/')) bare.remove_suffix(1);
  const bool name_only = mask.find(u'/') == std::u16string_view::npos;
  std::u16string candidate(name_only ? paths::DiskFileName(bare) : bare);
  std::u16string pattern =
      WithAllFilesAsStar(name_only ? std::u16string(mask) : ResolveMask(mask, working_folder).path);
  if (is_folder) {
    candidate.push_back(u'/');
    if (!pattern.ends_with(u'*') && !pattern.ends_with(u'/')) pattern.push_back(u'/');
  }
  return WildcardMatch(candidate, pattern, true, code_pages);
}

}  // namespace parcelon
