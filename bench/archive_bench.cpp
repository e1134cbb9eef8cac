// Measures the archive engine on a large directory: opening an archive of
// 100,000 tiny entries and walking all of them with FindFirst/FindNext and
// the mask "*", and the parcelon program listing it (`parcelon list`, both
// formats, output to /dev/null), against `unzip -l` on the same archive
// (rounds interleaved, best of each counts); then the exact-name lookup
// through the name index.
//
// Usage: archive_bench [ARCHIVE]   (default: generated in $TMPDIR or /tmp)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <string_view>
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

// One thing measured: what the report calls it, how to run it once (false
// when it failed), and its best time in seconds.
struct Measured {
  const char* label;
  std::function<bool()> run;
  double best = 1e9;
};

Measured ShellCommand(const char* label, std::string line) {
  return {label, [line = std::move(line)] { return std::system(line.c_str()) == 0; }};
}

// Runs each once a round, `kRounds` rounds, keeping the best times.
void TimeRounds(std::vector<Measured>& measured) {
  for (int round = 0; round < kRounds; ++round)
    for (Measured& m : measured) {
      const Clock::time_point start = Clock::now();
      if (m.run()) m.best = std::min(m.best, Seconds(start));
    }
}

// The best times, and each against `unzip -l`'s when it is the first.
void Report(const std::vector<Measured>& measured) {
  const bool unzip = std::string_view(measured.front().label) == "unzip -l";
  for (const Measured& m : measured) {
    if (m.best >= 1e9) {
      std::printf("%s: failed\n", m.label);
      continue;
    }
    std::printf("%s: %.4f s (best of %d)", m.label, m.best, kRounds);
    if (unzip) std::printf("; / unzip -l %.2f", m.best / measured.front().best);
    std::puts("");
  }
}

int Run(const std::string& archive) {
  std::vector<std::u16string> names;
  std::printf("archive: %s, %zu entries\n", archive.c_str(), EngineWalk(archive, &names));
  if (names.empty()) return std::puts("no entries"), 1;
  const std::string to_null = " " + Quote(archive) + " >/dev/null";
  const std::string list = Quote(PARCELON_PROGRAM) + " list";
  std::vector<Measured> measured;
  if (std::system("command -v unzip >/dev/null 2>&1") == 0)
    measured.push_back(ShellCommand("unzip -l", "unzip -l" + to_null));
  measured.push_back(
      {"engine open + walk + close", [&] { return EngineWalk(archive, nullptr) > 0; }});
  measured.push_back(ShellCommand("parcelon list", list + to_null));
  measured.push_back(ShellCommand("parcelon list --tsv", list + " --tsv" + to_null));
  TimeRounds(measured);
  Report(measured);
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
