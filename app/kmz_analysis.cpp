#include "app/kmz_analysis.h"

#include <cstdint>

#include "app/apple_double.h"
#include "app/kml_entries.h"
#include "app/scratch_folder.h"
#include "archive/parcelon.h"
#include "platform/file_stream.h"
#include "platform/unicode.h"

namespace kmlcompat {
namespace {

using parcelon::TParcelon;

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

// Decodes entry `index` into a file of its own in `scratch` and analyses it,
// calling it `shown` in problems; the file is removed afterwards. Sets
// *apple_double for a macOS resource fork, which is not analysed.
kml::KmlAnalysis AnalyseEntry(TParcelon& archive, int32_t index, const std::string& scratch,
                              const std::string& shown, platform::FileSystem& fs,
                              bool* apple_double) {
  std::string path;
  try {
    archive.ExtractItemToStream(index, *fs.CreateUniqueStream(scratch, "entry", &path));
  } catch (const std::exception& e) {
    return {false, shown + " could not be decoded: " + e.what(), {}};
  }
  *apple_double = IsAppleDouble(archive.DirManager()->Dir().Items(index).Name, path, fs);
  kml::KmlAnalysis analysis =
      *apple_double ? kml::KmlAnalysis{} : kml::AnalyseKmlFile(path, fs, shown);
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
  // As in the repair: a damaged directory is not rebuilt, the archive fails.
  archive.SetRepairDirectory(false);
  ReadOnlyArchive opened(archive);
  std::vector<KmzEntryAnalysis> entries;
  const parcelon::TPLDirArray& dir = archive.DirManager()->Dir();
  for (const KmlEntryRef& entry : FindKmlEntries(archive)) {
    const std::string name = platform::Utf16ToUtf8(dir.Items(entry.index).Name);
    bool apple_double = false;
    kml::KmlAnalysis analysis = AnalyseEntry(archive, entry.index, scratch.Path(),
                                             name + " in " + kmz_path, fs, &apple_double);
    if (!apple_double) entries.push_back({name, std::move(analysis)});
  }
  return entries;
}

}  // namespace kmlcompat
