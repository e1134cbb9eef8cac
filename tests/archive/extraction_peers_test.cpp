// Archives that other ZIP writers make at test time come back, through
// either inflater, as the tree they were made from: folders, bytes,
// permissions and modification times. Stored, deflated, streamed with data
// descriptors, Zip64, behind a prefix; a link comes back as a file holding
// its target's name.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <filesystem>

#include "archive/format/crc32.h"
#include "archive/parcelon.h"
#include "platform/iconv_code_pages.h"
#include "platform/scripted_dialogs.h"
#include "platform/unicode.h"
#include "tests/archive/extraction_fixture.h"
#include "tests/test_support.h"

namespace parcelon {
namespace {

using namespace testing_support;
using platform::Utf8ToUtf16;

// Every file gets one even second (DOS times have two-second steps), and
// modes that no umask gives; big.txt is deflated to some 2.4 MB, several
// chunks of input and of output.
constexpr const char* kSourceTree =
    "mkdir -p src/sub/deep src/empty && printf '<kml/>' > src/doc.kml && "
    "head -c 2400000 /dev/urandom | base64 > src/sub/deep/big.txt && printf x > src/run.sh && "
    ": > src/zero.txt && chmod 750 src/run.sh && chmod 600 src/sub/deep/big.txt && "
    "chmod 640 src/doc.kml && ln -s sub/deep/big.txt src/link && "
    "find src -exec touch -h -d '2019-03-04 05:06:08' {} +";

struct Peer {
  const char* what;
  std::string command;  // makes a.zip of the folder src
  bool keeps_links;     // stores a link as a link; else the file it points to
};

std::vector<Peer> Peers() {
  const std::string python =
      std::string(PARCELON_PYTHON) + " " + PARCELON_PEER_SCRIPTS + "/zipfile_tree.py ";
  const std::string stub = "head -c 3000 /dev/urandom > stub && zip -qry b.zip src && ";
  return {
      {"zip, deflated", "zip -qry a.zip src", true},
      {"zip, stored", "zip -qry -0 a.zip src", true},
      {"zip to a pipe, data descriptors", "zip -qr - src | cat > a.zip", false},
      {"zip, Zip64", "zip -qry -fz a.zip src", true},
      {"7z, deflated", "7z a -tzip a.zip src > /dev/null", true},
      {"7z, stored", "7z a -tzip -mx0 a.zip src > /dev/null", true},
      {"bsdtar, data descriptors", "bsdtar --format zip -cf a.zip src", true},
      {"zipfile, deflated", python + "a.zip src", false},
      {"zipfile, stored", python + "--stored a.zip src", false},
      {"zipfile, Zip64", python + "--zip64 a.zip src", false},
      {"prefixed, offsets from the zip", stub + "cat stub b.zip > a.zip", true},
      {"prefixed, offsets adjusted", stub + "cat stub b.zip > a.zip && zip -qA a.zip", true},
  };
}

mode_t NewFileMode() {
  const mode_t mask = umask(022);
  umask(mask);
  return 0666 & ~mask;
}

// One line for each file and folder below `root`, sorted: its path, and for
// a file its size, CRC-32, permission bits and modification time. A link is
// a file holding its target's name (`links_as_names`) or the file it points to.
std::string Manifest(const std::string& root, bool links_as_names) {
  std::vector<std::string> lines;
  if (!std::filesystem::exists(root)) return "";
  for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
    const std::string path = item.path().string();
    const std::string line = path.substr(root.size() + 1);
    struct stat st {};
    const bool link = item.is_symlink() && links_as_names;
    EXPECT_EQ(link ? lstat(path.c_str(), &st) : stat(path.c_str(), &st), 0) << path;
    if (S_ISDIR(st.st_mode)) {
      lines.push_back(line + "/");
      continue;
    }
    const std::string bytes = link ? std::filesystem::read_symlink(path).string() : ReadAll(path);
    // A link comes back as a plain file with the mode of any new file.
    const mode_t bits = link ? NewFileMode() : st.st_mode & 0777;
    char mode[8];
    std::snprintf(mode, sizeof mode, "%03o", unsigned(bits));
    lines.push_back(line + " " + std::to_string(bytes.size()) + " crc " +
                    std::to_string(Crc32Of(bytes)) + " mode " + mode + " time " +
                    std::to_string(st.st_mtime));
  }
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

class ExtractionPeersTest : public ExtractionFixture {
 protected:
  ExtractionPeersTest() : ExtractionFixture(true) {}
  // Extracts a.zip afresh into `out` with `inflater`.
  void Extract(InflaterKind inflater) {
    std::filesystem::remove_all(out);
    failures.clear();
    archiver.SetInflater(inflater);
    archiver.OpenArchive(fmOpenRead | fmShareDenyWrite);
    archiver.ExtractFiles(u"*");
    archiver.CloseArchive();
  }
};

TEST_F(ExtractionPeersTest, PeerArchivesComeBackAsTheTreeTheyWereMadeFrom) {
  Shell(kSourceTree);
  const std::string source = dir.File("src");
  const std::string with_links = Manifest(source, true), followed = Manifest(source, false);
  std::vector<InflaterKind> inflaters = {InflaterKind::kZlib};
  if (HasFastInflater()) inflaters.push_back(InflaterKind::kFastest);
  for (const Peer& peer : Peers()) {
    SCOPED_TRACE(peer.what);
    Shell("rm -f a.zip b.zip && " + peer.command);
    for (const InflaterKind inflater : inflaters) {
      Extract(inflater);
      EXPECT_EQ(failures, "");
      EXPECT_EQ(Manifest(out + "/src", false), peer.keeps_links ? with_links : followed);
    }
  }
}

}  // namespace
}  // namespace parcelon
