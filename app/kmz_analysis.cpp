#include "app/kmz_analysis.h"

#include <cstdint>

#include "app/scratch_folder.h"
#include "archive/parcelon.h"
#include "platform/file_stream.h"
#include "platform/unicode.h"

namespace kmlcompat {
namespace {

using parcelon::TParcelon;

// The entries the repair takes up: names ending in .KML in any letter case,
// in any folder; folder entries (by attribute or trailing slash) excluded.
constexpr char16_t kKmlMask[] = u"*.KML";
constexpr int32_t kKmlSearchAttr = 0x2F;

bool IsFolderEntry(const parcelon::TDirItem& entry) {
  return entry.IsFolder() || entry.Name.ends_with(u'/') || entry.Name.ends_with(u'\\');
}

// The archive, open for reading from construction to destruction.
class ReadOnlyArchive {
 public:
  explicit ReadOnlyArchive(TParcelon& archive) : archive_(archive) {
    archive_.OpenArchive(platform::fmOpenRead | platform::fmShareDenyWrite);
  }
  ~ReadOnlyArchive() { archive_.CloseArchive(); }
  ReadOnlyArchive(const ReadOnlyArchive&) = delete;
  ReadOnlyArchive& operator=(const ReadOnlyArchive&) = delete;

 private:
  TParcelon& archive_;
};

std::vector<int32_t> FindKmlEntries(TParcelon& archive) {
  std::vector<int32_t> found;
  const parcelon::TPLDirArray& dir = archive.DirManager()->Dir();
  parcelon::TPLArchiveItem item;
  for (bool more = archive.FindFirst(kKmlMask, item, kKmlSearchAttr, u""); more;
       more = archive.FindNext(item))
    if (!IsFolderEntry(dir.Items(item.SearchRec.ItemIndex)))
      found.push_back(item.SearchRec.ItemIndex);
  return found;
}

// Decodes entry `index` into a file of its own in `scratch` and analyses it;
// the file is removed afterwards.
kml::KmlAnalysis AnalyseEntry(TParcelon& archive, int32_t index, const std::string& scratch,
                              platform::FileSystem& fs) {
  std::string path;
  try {
    archive.ExtractItemToStream(index, *fs.CreateUniqueStream(scratch, "entry", &path));
  } catch (const std::exception& e) {
    return {false, std::string("it could not be decoded: ") + e.what(), {}};
  }
  kml::KmlAnalysis analysis = kml::AnalyseKmlFile(path, fs);
  try {
    fs.Remove(path);
  } catch (const std::exception&) {
    // The scratch folder goes with everything in it at the end.
  }
  return analysis;
}

}  // namespace

std::vector<KmzEntryAnalysis> AnalyseKmz(const std::string& kmz_path, platform::FileSystem& fs,
                                         platform::Dialogs& dialogs) {
  ScratchFolder scratch;
  TParcelon archive(nullptr, {&dialogs, nullptr, &fs});
  archive.SetFileName(platform::Utf8ToUtf16(kmz_path));
  ReadOnlyArchive opened(archive);
  std::vector<KmzEntryAnalysis> entries;
  const parcelon::TPLDirArray& dir = archive.DirManager()->Dir();
  for (int32_t index : FindKmlEntries(archive))
    entries.push_back({platform::Utf16ToUtf8(dir.Items(index).Name),
                       AnalyseEntry(archive, index, scratch.Path(), fs)});
  return entries;
}

}  // namespace kmlcompat
