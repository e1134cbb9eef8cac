#include "app/kmz_analysis.h"

#include <cstdint>
#include <memory>

#include "app/apple_double.h"
#include "app/entry_buffer.h"
#include "app/entry_room.h"
#include "app/kml_entries.h"
#include "app/password_tries.h"
#include "app/scratch_folder.h"
#include "archive/errors/failure_words.h"
#include "archive/parcelon.h"
#include "platform/exception.h"
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

// Why an entry could not be decoded: in words, and with the engine's own
// message (empty when it gave none).
struct DecodeProblem {
  std::string words;
  std::string detail;
};

// Decodes entry `index` into `buffer` (its stream goes to *data); the
// reason when it cannot, empty words when it could.
DecodeProblem Decode(TParcelon& archive, int32_t index, const std::string& scratch,
                     platform::FileSystem& fs, EntryBuffer& buffer, platform::Stream** data) {
  const parcelon::EntryView entry = archive.Entry(index);
  const uint64_t size = entry.Size();
  const bool encrypted = entry.IsEncrypted();
  if (std::string no_room = NoRoomForEntry(fs, scratch, size); !no_room.empty())
    return {no_room, {}};
  try {
    platform::Stream& out = buffer.Prepare(size);
    archive.ExtractItemToStream(index, out);
    // An encrypted entry that no password opens is skipped: nothing is written.
    if (encrypted && size > 0 && out.Size() == 0) return {"no password given opens it", {}};
    out.Seek(0, platform::SeekOrigin::kBegin);
    *data = &out;
  } catch (const std::exception& e) {
    const std::string lead = "it could not be decoded: ";
    return {lead + parcelon::FailureWords(e), lead + e.what()};
  }
  return {};
}

// Decodes entry `index` into `buffer` and analyses it, calling it `shown`
// in problems. Sets *apple_double for a macOS resource fork, which is not
// analysed.
kml::KmlAnalysis AnalyseEntry(TParcelon& archive, int32_t index, const std::string& scratch,
                              const std::string& shown, platform::FileSystem& fs,
                              EntryBuffer& buffer, bool* apple_double) {
  platform::Stream* data = nullptr;
  const DecodeProblem problem = Decode(archive, index, scratch, fs, buffer, &data);
  *apple_double = data != nullptr && IsAppleDouble(archive.Entry(index).Name(), *data);
  if (data != nullptr) data->Seek(0, platform::SeekOrigin::kBegin);
  kml::KmlAnalysis analysis = *apple_double ? kml::KmlAnalysis{}
                              : data != nullptr
                                  ? kml::AnalyseKml(*data, shown)
                                  : kml::KmlAnalysis{false, shown + ": " + problem.words, {}, {}};
  if (!problem.detail.empty()) analysis.detail = shown + ": " + problem.detail;
  return analysis;
}

}  // namespace

std::vector<KmzEntryAnalysis> AnalyseKmz(const std::string& kmz_path, platform::FileSystem& fs,
                                         platform::Dialogs& dialogs,
                                         const EntryMemoryLimits& limits) {
  ScratchFolder scratch;
  EntryBuffer buffer(fs, scratch.Path(), limits.entry);
  TParcelon archive(nullptr, {&dialogs, nullptr, &fs});
  PasswordTries passwords(dialogs);
  passwords.Attach(archive);
  archive.SetFileName(platform::Utf8ToUtf16(kmz_path));
  // As in the repair: a damaged directory is not rebuilt, the archive fails.
  archive.SetRepairDirectory(false);
  ReadOnlyArchive opened(archive);
  std::vector<KmzEntryAnalysis> entries;
  for (const KmlEntryRef& entry : FindKmlEntries(archive)) {
    const std::string name = platform::Utf16ToUtf8(archive.Entry(entry.index).Name());
    bool apple_double = false;
    kml::KmlAnalysis analysis = AnalyseEntry(archive, entry.index, scratch.Path(),
                                             name + " in " + kmz_path, fs, buffer, &apple_double);
    if (!apple_double) entries.push_back({name, std::move(analysis)});
  }
  return entries;
}

}  // namespace kmlcompat
