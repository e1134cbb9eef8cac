// Measures the archive engine on a large directory: opening an archive of
// 100,000 tiny entries and walking all of them with FindFirst/FindNext and
// the mask "*", against `unzip -l` on the same archive (rounds interleaved,
// best of each counts); then the exact-name lookup through the name index.
//
// Usage: archive_bench [ARCHIVE]   (default: generated in $TMPDIR or /tmp)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive/common/types.h"
#include "archive/parcelon.h"
#include "platform/scripted_dialogs.h"
#include "platform/unicode.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 5;
constexpr int kEntries = 100000;
constexpr int kLookups = 10000;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Writes, with Python's zipfile, `kEntries` stored one-byte entries named
// like folder123/file123456.kml.
bool Generate(const std::string& folder, const std::string& archive) {
  const std::string script = folder + "/generate.py";
  std::ofstream(script) << "import sys, zipfile\n"
                           "with zipfile.ZipFile(sys.argv[1], 'w') as zf:\n"
                           "    for i in range("
                        << kEntries
                        << "):\n"
                           "        zf.writestr('folder%03d/file%06d.kml' % (i % 1000, i), b'x')\n";
  return std::system(("python3 " + Quote(script) + " " + Quote(archive)).c_str()) == 0;
}

// A temporary folder, removed with its contents on destruction.
class TempFolder {
 public:
  TempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    path_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/archive-bench-XXXXXX";
    if (!mkdtemp(path_.data())) path_.clear();
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct Archiver {
  platform::ScriptedDialogs dialogs;
  parcelon::TParcelon engine{nullptr, {&dialogs, nullptr}};
  explicit Archiver(const std::string& path) {
    engine.SetFileName(platform::Utf8ToUtf16(path));
    engine.OpenArchive(parcelon::fmOpenRead | parcelon::fmShareDenyWrite);
  }  // the engine closes the archive when it goes
};

// Open, walk everything, close; the names found go to `names` when given.
size_t EngineWalk(const std::string& path, std::vector<std::u16string>* names) {
  Archiver archiver(path);
  parcelon::TPLArchiveItem item;
  size_t count = 0;
  for (bool ok = archiver.engine.FindFirst(u"*", item); ok;
       ok = archiver.engine.FindNext(item), ++count)
    if (names) names->push_back(item.EntryPath + item.FileName);
  return count;
}

// Average microseconds of an exact-name FindFirst (Recurse off: the name
// index) over `kLookups` names drawn at random; -1 when one is not found.
double ExactLookupMicros(const std::string& path, const std::vector<std::u16string>& names) {
  Archiver archiver(path);
  archiver.engine.Options().SetRecurse(false);
  std::mt19937 random(12345);
  std::uniform_int_distribution<size_t> pick(0, names.size() - 1);
  parcelon::TPLArchiveItem item;
  Clock::time_point start = Clock::now();
  for (int i = 0; i < kLookups; ++i)
    if (!archiver.engine.FindFirst(names[pick(random)], item)) return -1;
  return Seconds(start) * 1e6 / kLookups;
}

int Run(const std::string& archive) {
  std::vector<std::u16string> names;
  std::printf("archive: %s, %zu entries\n", archive.c_str(), EngineWalk(archive, &names));
  if (names.empty()) return std::puts("no entries"), 1;
  const bool have_unzip = std::system("command -v unzip >/dev/null 2>&1") == 0;
  const std::string unzip = "unzip -l " + Quote(archive) + " >/dev/null";
  double best_unzip = 1e9, best_engine = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    Clock::time_point start = Clock::now();
    if (have_unzip && std::system(unzip.c_str()) == 0)
      best_unzip = std::min(best_unzip, Seconds(start));
    start = Clock::now();
    EngineWalk(archive, nullptr);
    best_engine = std::min(best_engine, Seconds(start));
  }
  std::printf("engine open + walk + close: %.4f s (best of %d)\n", best_engine, kRounds);
  if (have_unzip)
    std::printf("unzip -l: %.4f s; engine/unzip %.2f\n", best_unzip, best_engine / best_unzip);
  std::printf("exact lookup: %.2f us (average of %d)\n", ExactLookupMicros(archive, names),
              kLookups);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc > 1) return Run(argv[1]);
    TempFolder folder;
    const std::string archive = folder.path() + "/bench.zip";
    if (folder.path().empty() || !Generate(folder.path(), archive))
      return std::puts("cannot generate the archive"), 1;
    return Run(archive);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "archive_bench: %s\n", e.what());
    return 1;
  }
}
