// Measures updates of a 1 GiB archive (1024 entries of 1 MiB of random
// bytes, stored) by the engine against Info-ZIP zip, 7-Zip and libzip's
// ziptool, in one run: replacing the last entry, appending a small file and
// replacing the first entry. Each update starts from a fresh copy of the
// archive; the fastest of a few rounds counts. The engine runs in a child
// process, so that its peak memory is its own.
//
// Usage: commit_bench [FOLDER]   (default $TMPDIR or /tmp; needs 3 GiB free)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "archive/parcelon.h"
#include "platform/memory_stream.h"
#include "platform/unicode.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kEntries = 1024;
constexpr int64_t kEntrySize = int64_t{1} << 20;
constexpr int kRounds = 3;

// Pseudo-random bytes computed on reading: a large source that takes no memory.
class PatternStream : public platform::Stream {
 public:
  PatternStream(int64_t size, uint64_t seed) : size_(size), seed_(seed) {}
  size_t Read(void* buffer, size_t n) override {
    const auto count = static_cast<size_t>(std::min<int64_t>(int64_t(n), size_ - position_));
    auto* out = static_cast<unsigned char*>(buffer);
    for (size_t i = 0; i < count; ++i) out[i] = ByteAt(position_ + int64_t(i));
    position_ += int64_t(count);
    return count;
  }
  size_t Write(const void*, size_t) override { return 0; }
  int64_t Seek(int64_t offset, platform::SeekOrigin origin) override {
    const int64_t base = origin == platform::SeekOrigin::kBegin     ? 0
                         : origin == platform::SeekOrigin::kCurrent ? position_
                                                                    : size_;
    return position_ = base + offset;
  }
  void SetSize(int64_t) override {}

 private:
  unsigned char ByteAt(int64_t at) const {
    uint64_t x = seed_ ^ (uint64_t(at) * 0x9E3779B97F4A7C15ull);
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    return static_cast<unsigned char>(x >> 32);
  }
  int64_t size_;
  uint64_t seed_;
  int64_t position_ = 0;
};

std::string EntryName(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "e%04d.bin", index);
  return name;
}

void Run(const std::string& command) {
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
}

bool Has(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null").c_str()) == 0;
}

void MakeArchive(const std::string& path) {
  parcelon::TParcelon archiver;
  archiver.SetFileName(platform::Utf8ToUtf16(path));
  archiver.SetCompressionMode(0);
  archiver.OpenArchive(parcelon::fmCreate);
  for (int i = 0; i < kEntries; ++i) {
    PatternStream data(kEntrySize, uint64_t(i));
    archiver.AddStream(platform::Utf8ToUtf16(EntryName(i)), data);
  }
  archiver.CloseArchive();
}

// A file of `size` random bytes named like entry `index`, in `folder`.
std::string MakeSource(const std::string& folder, int index, int64_t size) {
  const std::string path = folder + "/" + EntryName(index);
  PatternStream data(size, 777);
  std::vector<char> bytes(static_cast<size_t>(size));
  data.Read(bytes.data(), bytes.size());
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  return path;
}

// Adds (or replaces) `source` under the name `name` with the engine.
void EngineUpdate(const std::string& archive, const std::string& source, const std::string& name,
                  bool flush) {
  parcelon::TParcelon archiver;
  archiver.SetFileName(platform::Utf8ToUtf16(archive));
  archiver.Options().SetFlushBuffers(flush);
  archiver.OpenArchive(parcelon::fmOpenReadWrite | parcelon::fmShareDenyWrite);
  std::ifstream in(source, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  platform::MemoryStream data(std::move(bytes));
  archiver.AddStream(platform::Utf8ToUtf16(name), data);
  archiver.CloseArchive();
}

struct Timing {
  double seconds = 1e9;
  long peak_kib = 0;
};

// Runs `update` in a child on a fresh copy of the archive; the fastest of
// kRounds counts.
Timing Measure(const std::string& master, const std::string& work,
               const std::function<void()>& update) {
  Timing best;
  for (int round = 0; round < kRounds; ++round) {
    Run("cp '" + master + "' '" + work + "' && sync");
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
      update();
      _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::exit(1);
    if (seconds < best.seconds) best = {seconds, usage.ru_maxrss};
  }
  return best;
}

void Report(const char* what, const Timing& engine,
            const std::vector<std::pair<std::string, Timing>>& peers) {
  std::printf("%s\n  engine: %.3f s (peak RSS %ld KiB)\n", what, engine.seconds, engine.peak_kib);
  for (const auto& [tool, timing] : peers)
    std::printf("  %-8s %.3f s   engine / %s = %.3f\n", (tool + ":").c_str(), timing.seconds,
                tool.c_str(), engine.seconds / timing.seconds);
}

// The peers' commands for adding or replacing `name` (a file in the
// current folder) at entry `index`.
std::vector<std::pair<std::string, std::string>> PeerCommands(const std::string& work,
                                                              const std::string& name, int index) {
  std::vector<std::pair<std::string, std::string>> commands;
  if (Has("zip")) commands.push_back({"zip", "zip -q '" + work + "' " + name});
  if (Has("7z")) commands.push_back({"7z", "7z u -bd -bso0 '" + work + "' " + name});
  if (Has("ziptool")) {
    const std::string replace = index < kEntries ? " delete " + std::to_string(index) : "";
    commands.push_back(
        {"libzip", "ziptool '" + work + "'" + replace + " add_file " + name + " " + name + " 0 0"});
  }
  return commands;
}

void Case(const char* what, const std::string& master, const std::string& folder, int index,
          int64_t size, bool flush) {
  const std::string work = folder + "/work.zip";
  const std::string name = EntryName(index);
  const std::string source = MakeSource(folder, index, size);
  const Timing engine = Measure(master, work, [&] { EngineUpdate(work, source, name, flush); });
  std::vector<std::pair<std::string, Timing>> peers;
  for (const auto& peer : PeerCommands(work, name, index)) {
    const std::string& command = peer.second;
    peers.push_back({peer.first, Measure(master, work, [&] {
                       if (chdir(folder.c_str()) != 0) _exit(1);
                       _exit(std::system(command.c_str()) == 0 ? 0 : 1);
                     })});
  }
  Report(what, engine, peers);
}

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string base = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
  const std::string folder = base + "/parcelon-commit-bench";
  Run("rm -rf '" + folder + "' && mkdir -p '" + folder + "'");
  const std::string master = folder + "/master.zip";
  MakeArchive(master);
  std::printf("archive: %d entries of 1 MiB, %s\n", kEntries, master.c_str());
  Case("replace the last entry (1 MiB), engine syncing", master, folder, kEntries - 1, kEntrySize,
       true);
  Case("append a small file (4 KiB), engine syncing", master, folder, kEntries, 4096, true);
  Case("replace the first entry (1 MiB), engine not syncing", master, folder, 0, kEntrySize, false);
  Case("replace the first entry (1 MiB), engine syncing", master, folder, 0, kEntrySize, true);
  Run("rm -rf '" + folder + "'");
  return 0;
}
