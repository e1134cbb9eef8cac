#include "app/kmz_analysis.h"

#include <cstdint>

#include "app/entry_room.h"
#include "app/kml_entries.h"
#include "app/password_tries.h"
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

// Decodes entry `index` into a file of its own in `scratch` and analyses it;
// the file is removed afterwards.
kml::KmlAnalysis AnalyseEntry(TParcelon& archive, int32_t index, const std::string& scratch,
                              platform::FileSystem& fs) {
  const uint64_t size = archive.DirManager()->Dir().Items(index).UnpackedSize64();
  if (std::string no_room = NoRoomForEntry(fs, scratch, size); !no_room.empty())
    return {false, std::move(no_room), {}};
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
  PasswordTries passwords(dialogs);
  passwords.Attach(archive);
  archive.SetFileName(platform::Utf8ToUtf16(kmz_path));
  ReadOnlyArchive opened(archive);
  std::vector<KmzEntryAnalysis> entries;
  const parcelon::TPLDirArray& dir = archive.DirManager()->Dir();
  for (const KmlEntryRef& entry : FindKmlEntries(archive))
    entries.push_back({platform::Utf16ToUtf8(dir.Items(entry.index).Name),
                       AnalyseEntry(archive, entry.index, scratch.Path(), fs)});
  return entries;
}

}  // namespace kmlcompat
