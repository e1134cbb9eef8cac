// Walking the entries of an open archive that match a mask: the caller's
// search record and the search steps over the in-memory directory.
#pragma once

#include <cstdint>
#include <string>

#include "archive/directory/dir_array.h"
#include "platform/code_pages.h"

namespace parcelon {

// The search state kept in the caller's record.
struct TInternalSearchRec {
  int32_t ItemIndex = 0;      // entry last found; the next search starts here
  std::u16string Mask;        // the prepared mask, any length
  bool HasWildcards = false;  // Mask holds '*' or '?'
  // Mask is a plain name that some entry has exactly (whole or as its file
  // name): letter case then counts, so that of two entries whose names
  // differ only in case the other is never taken for it.
  bool ExactCase = false;
  int32_t SearchAttr = 0;  // attribute filter
  std::u16string ExclusionMask;
};

// What FindFirst and FindNext report about an entry; owned by the caller.
struct TPLArchiveItem {
  std::u16string FileName;   // the name without its folder part
  std::u16string EntryPath;  // the folder part, ending with '/'; empty at the root
  int64_t CompressedSize = 0;
  int64_t UncompressedSize = 0;
  double CompressionPercent = 0;
  bool Encrypted = false;
  uint16_t LastModFileDate = 0;
  uint16_t LastModFileTime = 0;
  uint32_t Crc32 = 0;
  uint32_t ExternalAttributes = 0;
  std::string FileComment;
  TInternalSearchRec SearchRec;
};

// What a search reads besides the directory.
struct SearchScope {
  TPLDirArray& dir;
  const platform::CodePages& code_pages;
  bool recurse = true;
};

// Turns a user's mask into the stored-name form: a leading drive ("C:") or
// network share ("\\server\share") is removed unless `keep_drive`, and every
// '\' becomes '/'.
std::u16string PrepareMask(std::u16string_view mask, bool keep_drive);
// Starts a search in `item` and finds the first match.
bool FindFirstItem(const SearchScope& scope, std::u16string_view mask, TPLArchiveItem& item,
                   int32_t search_attr, std::u16string_view exclusion_mask, bool keep_drive);
// Finds the next match after the entry last found.
bool FindNextItem(const SearchScope& scope, TPLArchiveItem& item);
// The search step from item.SearchRec.ItemIndex on; fills `item` on success
// and leaves it untouched otherwise.
bool InternalFindItem(const SearchScope& scope, TPLArchiveItem& item);
// The name test of one directory entry.
bool ItemMatchesEntry(const SearchScope& scope, int32_t index, const TPLArchiveItem& item);
// Fills the visible fields of `item` from entry `index`.
void FillArchiveItem(const TDirItem& entry, TPLArchiveItem& item);

}  // namespace parcelon
