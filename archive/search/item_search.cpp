#include "archive/search/item_search.h"

#include <cstdint>

#include "archive/common/entry_path.h"
#include "archive/search/wildcard.h"

namespace parcelon {
namespace {

using paths::WithoutTrailingSeparator;
using paths::WithSlashes;

// The folder part of `path` in lower case, with '/' between folders.
std::u16string FolderKey(const SearchScope& scope, std::u16string_view path) {
  return scope.code_pages.WideLower(WithSlashes(paths::FolderPart(path)));
}

// The entry lies in the folder whose key is `mask_folder`.
bool InMaskFolder(const SearchScope& scope, std::u16string_view name,
                  const std::u16string& mask_folder) {
  return FolderKey(scope, WithoutTrailingSeparator(name)) == mask_folder;
}

// The entry of exactly the mask's name; only when there is none, the one
// whose name differs in letter case alone (masks ignore case).
bool ExactLookup(const SearchScope& scope, TPLArchiveItem& item) {
  int32_t index = -1;
  const std::u16string& name = item.SearchRec.Mask;
  if (!scope.dir.Find(name, index) && !scope.dir.FindIgnoringCase(name, index)) return false;
  if (index < item.SearchRec.ItemIndex) return false;
  item.SearchRec.ItemIndex = index;
  FillArchiveItem(scope.dir.Items(index), item);
  return true;
}

// The entry's name (or its file name part) is `name` exactly.
bool NamedExactly(std::u16string_view entry_name, std::u16string_view name) {
  return entry_name == name || paths::FileNamePart(entry_name) == name;
}

bool AnyEntryNamed(const SearchScope& scope, std::u16string_view name) {
  for (int32_t i = 0; i < scope.dir.Count(); ++i)
    if (NamedExactly(WithSlashes(WithoutTrailingSeparator(scope.dir.Items(i).Name)), name))
      return true;
  return false;
}

// A size beyond what the signed field holds (only a hostile header states
// one) reads as the largest value, never as a negative one.
int64_t SignedSize(uint64_t size) {
  return size > uint64_t{INT64_MAX} ? INT64_MAX : static_cast<int64_t>(size);
}

bool Scan(const SearchScope& scope, TPLArchiveItem& item) {
  const TInternalSearchRec& rec = item.SearchRec;
  const std::u16string mask_folder = scope.recurse ? u"" : FolderKey(scope, rec.Mask);
  for (int32_t i = rec.ItemIndex < 0 ? 0 : rec.ItemIndex; i < scope.dir.Count(); ++i) {
    const TDirItem& entry = scope.dir.Items(i);
    if (!scope.recurse && !InMaskFolder(scope, entry.Name, mask_folder)) continue;
    if (!ItemMatchesEntry(scope, i, item)) continue;
    if (!AttributesMatch(entry.ExternalAttributes, static_cast<uint32_t>(rec.SearchAttr))) continue;
    item.SearchRec.ItemIndex = i;
    FillArchiveItem(entry, item);
    return true;
  }
  return false;
}

}  // namespace

std::u16string PrepareMask(std::u16string_view mask, bool keep_drive) {
  return WithSlashes(keep_drive ? mask : mask.substr(paths::DrivePrefixLength(mask)));
}

bool FindFirstItem(const SearchScope& scope, std::u16string_view mask, TPLArchiveItem& item,
                   int32_t search_attr, std::u16string_view exclusion_mask, bool keep_drive) {
  TInternalSearchRec& rec = item.SearchRec;
  rec.Mask = PrepareMask(mask, keep_drive);
  rec.ExclusionMask = WithSlashes(exclusion_mask);
  rec.HasWildcards = rec.Mask.find_first_of(u"*?") != std::u16string::npos;
  rec.ExactCase = !rec.HasWildcards && AnyEntryNamed(scope, rec.Mask);
  rec.SearchAttr = search_attr;
  rec.ItemIndex = 0;
  return InternalFindItem(scope, item);
}

bool FindNextItem(const SearchScope& scope, TPLArchiveItem& item) {
  ++item.SearchRec.ItemIndex;
  return InternalFindItem(scope, item);
}

bool InternalFindItem(const SearchScope& scope, TPLArchiveItem& item) {
  if (!item.SearchRec.HasWildcards && !scope.recurse) return ExactLookup(scope, item);
  return Scan(scope, item);
}

bool ItemMatchesEntry(const SearchScope& scope, int32_t index, const TPLArchiveItem& item) {
  const TDirItem& entry = scope.dir.Items(index);
  std::u16string_view name = WithoutTrailingSeparator(entry.Name);
  std::u16string slashed;  // only names holding a backslash are copied
  if (name.find(u'\\') != std::u16string_view::npos) name = slashed = WithSlashes(name);
  const std::u16string_view mask = item.SearchRec.Mask;
  const bool matches = item.SearchRec.ExactCase
                           ? NamedExactly(name, mask)
                           : NameMatchesMask(name, mask, scope.code_pages) ||
                                 NameMatchesMask(paths::FileNamePart(name), mask, scope.code_pages);
  return matches && !NameMatchesMask(name, item.SearchRec.ExclusionMask, scope.code_pages);
}

void FillArchiveItem(const TDirItem& entry, TPLArchiveItem& item) {
  const std::u16string_view name = WithoutTrailingSeparator(entry.Name);
  item.FileName = paths::FileNamePart(name);
  item.EntryPath = WithSlashes(paths::FolderPart(name));
  item.CompressedSize = SignedSize(entry.PackedSize64());
  item.UncompressedSize = SignedSize(entry.UnpackedSize64());
  double percent = 100;
  if (item.UncompressedSize > 0)
    percent = (1.0 - static_cast<double>(item.CompressedSize) /
                         static_cast<double>(item.UncompressedSize)) *
              100.0;
  item.CompressionPercent = percent < 0 ? 0 : percent;
  item.Encrypted = entry.IsEncrypted();
  item.LastModFileDate = entry.FileDate;
  item.LastModFileTime = entry.FileTime;
  item.Crc32 = entry.Crc32;
  item.ExternalAttributes = entry.ExternalAttributes;
  item.FileComment = std::string(entry.Comment());
}

}  // namespace parcelon
