#include "app/kml_entries.h"

namespace kmlcompat {
namespace {

constexpr char16_t kKmlMask[] = u"*.KML";
// Read-only, hidden, system, volume label and archive: folder entries are
// not searched for.
constexpr int32_t kKmlSearchAttr = 0x2F;

bool IsFolderEntry(const parcelon::EntryView& entry) {
  return entry.IsFolder() || entry.Name().ends_with(u'/') || entry.Name().ends_with(u'\\');
}

}  // namespace

std::vector<KmlEntryRef> FindKmlEntries(parcelon::TParcelon& archive) {
  std::vector<KmlEntryRef> found;
  parcelon::TPLArchiveItem item;
  for (bool more = archive.FindFirst(kKmlMask, item, kKmlSearchAttr, u""); more;
       more = archive.FindNext(item))
    if (!IsFolderEntry(archive.Entry(item.SearchRec.ItemIndex)))
      found.push_back({item.SearchRec.ItemIndex, item.FileName});
  return found;
}

}  // namespace kmlcompat
