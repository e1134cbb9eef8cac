// Measures the KMZ round trip of the workflow (every KML entry extracted,
// rewritten and put back, the archive committed) against reading the same
// archive with Info-ZIP: `unzip -tq` plus `unzip -q` into a folder, in one
// run (the fastest of three interleaved runs of each). The archive holds 200 old-style KML
// documents (2.1 namespace, blanks inside the tuples) and 50 images of random bytes, made by `zip`.
// Counts the commits the round trip made (journals and new files the engine created for the
// archive).
//
// Usage: kmz_roundtrip_bench [KML_KILOBYTES] [FOLDER]   (defaults: 300, $TMPDIR or /tmp)
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>

#include "app/kml_tool.h"
#include "platform/posix_file_system.h"
#include "platform/scripted_dialogs.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kKmlFiles = 200;
constexpr int kImages = 50;
constexpr size_t kImageBytes = 200 * 1024;

// The real file system, counting the files the engine creates to commit an
// update: the rollback journal beside the archive, the tail copy in the
// temporary folder, or the new archive file that replaces the old one.
class CommitCountingFileSystem : public platform::PosixFileSystem {
 public:
  int commits = 0;

  std::unique_ptr<platform::Stream> OpenStream(const std::string& path, uint16_t mode) override {
    if (mode == 0xFFFF && path.ends_with("-journal")) ++commits;
    return PosixFileSystem::OpenStream(path, mode);
  }
  std::unique_ptr<platform::Stream> CreateUniqueStream(const std::string& folder,
                                                       const std::string& prefix,
                                                       std::string* path) override {
    ++commits;
    return PosixFileSystem::CreateUniqueStream(folder, prefix, path);
  }
};

// Progress lines are dropped; problems are printed.
class QuietLog : public kmlcompat::ProcessLog {
 public:
  void Clear() override {}
  void Add(const std::string&) override {}
  void Problem(const std::string& line) override { std::cerr << line << '\n'; }
};

// An old-style document of about `bytes` bytes: 2.1 namespace, LF line ends,
// tab indents and coordinate blocks with blanks inside the tuples.
void WriteKml(const std::string& path, size_t bytes, unsigned seed) {
  std::ofstream out(path, std::ios::binary);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<kml xmlns=\"http://earth.google.com/kml/2.1\">\n<Document>\n";
  char tuple[96];
  for (size_t written = 0, n = seed; written < bytes; ++n) {
    std::string block = "\t<Placemark><name>Area ";
    block.append(std::to_string(n)).append("</name><Polygon><outerBoundaryIs><LinearRing>\n");
    block.append("\t\t<coordinates>\n");
    for (int line = 0; line < 8; ++line) {
      block.append("\t\t\t");
      for (int t = 0; t < 4; ++t) {
        const auto k = static_cast<int>(n % 9000) + line * 4 + t;
        std::snprintf(tuple, sizeof tuple, "-%d.%06d, %d.%06d, %d  ", 100 + k % 80, k * 37 % 999983,
                      30 + k % 20, k * 91 % 999979, k % 3000);
        block.append(tuple);
      }
      block.append("\n");
    }
    block.append("\t\t</coordinates>\n\t</LinearRing></outerBoundaryIs></Polygon></Placemark>\n");
    out << block;
    written += block.size();
  }
  out << "</Document>\n</kml>\n";
}

void WriteRandom(const std::string& path, size_t bytes, std::mt19937& random) {
  std::string data(bytes, '\0');
  for (char& c : data) c = static_cast<char>(random() & 0xFF);
  std::ofstream(path, std::ios::binary) << data;
}

void Run(const std::string& command) {
  if (std::system(command.c_str()) != 0) {
    std::cerr << "failed: " << command << '\n';
    std::exit(1);
  }
}

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Builds the tree and zips it into `kmz`.
void MakeArchive(const std::string& root, const std::string& kmz, size_t kml_bytes) {
  std::filesystem::create_directories(root + "/tree/images");
  std::filesystem::create_directories(root + "/tree/layers");
  for (int i = 0; i < kKmlFiles; ++i)
    WriteKml(root + "/tree/layers/layer" + std::to_string(i) + ".kml", kml_bytes,
             static_cast<unsigned>(i) * 1000);
  std::mt19937 random(42);
  for (int i = 0; i < kImages; ++i)
    WriteRandom(root + "/tree/images/photo" + std::to_string(i) + ".jpg", kImageBytes, random);
  Run("cd '" + root + "/tree' && zip -q -r '" + kmz + "' layers images");
}

// The fastest of kRounds interleaved runs of each side counts; each round
// trip works on a fresh copy of the archive.
constexpr int kRounds = 3;

double TimePeer(const std::string& kmz, const std::string& out) {
  const auto start = Clock::now();
  Run("unzip -tq '" + kmz + "' > /dev/null");
  Run("unzip -q -o '" + kmz + "' -d '" + out + "'");
  return Seconds(start);
}

// The round trip of a copy of `kmz`; `commits` gets the count it made.
double TimeRoundTrip(const std::string& kmz, const std::string& copy, int& commits) {
  std::filesystem::copy_file(kmz, copy, std::filesystem::copy_options::overwrite_existing);
  CommitCountingFileSystem fs;
  platform::ScriptedDialogs dialogs;
  kmlcompat::KmlTool tool(fs, dialogs);
  QuietLog log;
  const auto start = Clock::now();
  const bool done = tool.ProcessFile(copy, false, log);
  const double seconds = Seconds(start);
  commits = fs.commits;
  if (!done) std::exit(1);
  Run("unzip -tq '" + copy + "' > /dev/null");
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t kml_bytes = (argc > 1 ? std::stoul(argv[1]) : 300) * 1024;
  const char* tmp = std::getenv("TMPDIR");
  std::string root = argc > 2 ? argv[2] : (tmp != nullptr && *tmp != '\0' ? tmp : "/tmp");
  root.append("/kmz_bench.XXXXXX");
  if (mkdtemp(root.data()) == nullptr) return 1;
  const std::string kmz = root + "/area.kmz";
  MakeArchive(root, kmz, kml_bytes);
  std::cout << "archive: " << std::filesystem::file_size(kmz) / 1024 << " KiB, " << kKmlFiles
            << " KML entries of " << kml_bytes / 1024 << " KiB, " << kImages << " images\n";
  double peer = 1e9, round_trip = 1e9;
  int commits = 0;
  for (int round = 0; round < kRounds; ++round) {
    peer = std::min(peer, TimePeer(kmz, root + "/out"));
    round_trip = std::min(round_trip, TimeRoundTrip(kmz, root + "/work.kmz", commits));
  }
  std::printf("unzip -t + unzip: %.3f s\nround trip:       %.3f s (%d commit%s)\n", peer,
              round_trip, commits, commits == 1 ? "" : "s");
  std::printf("ratio: %.2f (target: at most 3)\n", round_trip / peer);
  std::filesystem::remove_all(root);
  return commits == 1 && round_trip <= 3 * peer ? 0 : 1;
}
