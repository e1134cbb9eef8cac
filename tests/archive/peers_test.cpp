// The archive engine seen from outside, through the parcelon program: archives
// written by real ZIP writers (Info-ZIP zip, Python's zipfile, 7-Zip, bsdtar)
// and the KMZ files of the shared corpus are listed and compared with what
// Python's zipfile reads from them (tests/archive/peers/zipfile_listing.py).
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/test_support.h"

namespace {

using testing_support::CommandResult;
using testing_support::CorpusDir;
using testing_support::CorpusFiles;
using testing_support::ReadAll;
using testing_support::RunCommand;
using testing_support::ScratchDir;
using testing_support::ShellQuote;

const std::string kParcelon = PARCELON_PROGRAM;
const std::string kPython = PARCELON_PYTHON;
const std::string kScripts = PARCELON_PEER_SCRIPTS;

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Quoted(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text.append(" ").append(ShellQuote(w));
  return text;
}

CommandResult Parcelon(const std::vector<std::string>& args) {
  return RunCommand(ShellQuote(kParcelon) + Quoted(args));
}

// `parcelon list --tsv ARCHIVE [MASK...]`, one entry a line.
std::vector<std::string> EngineListing(const std::string& archive,
                                       const std::vector<std::string>& masks = {}) {
  std::vector<std::string> args = {"list", "--tsv", archive};
  args.insert(args.end(), masks.begin(), masks.end());
  CommandResult r = Parcelon(args);
  EXPECT_EQ(r.status, 0) << archive << ": " << r.err;
  return Lines(r.out);
}

// Python zipfile's listing of `archive` with the given options of
// zipfile_listing.py; fails the test when zipfile cannot read it.
std::vector<std::string> OracleListing(const std::string& archive,
                                       const std::vector<std::string>& options = {}) {
  CommandResult r =
      RunCommand(ShellQuote(kPython) + " " + ShellQuote(kScripts + "/zipfile_listing.py") +
                 Quoted(options) + " " + ShellQuote(archive));
  EXPECT_EQ(r.status, 0) << archive << ": " << r.err;
  return Lines(r.out);
}

// Same lines in the same order; on a difference names the first few lines
// that differ instead of printing tens of thousands of lines.
testing::AssertionResult SameListing(const std::vector<std::string>& engine,
                                     const std::vector<std::string>& oracle) {
  auto failure = testing::AssertionFailure();
  if (engine.size() != oracle.size())
    failure << "engine lists " << engine.size() << " entries, zipfile " << oracle.size() << "\n";
  int shown = 0;
  for (size_t i = 0; i < std::max(engine.size(), oracle.size()) && shown < 5; ++i) {
    std::string e = i < engine.size() ? engine[i] : "(none)";
    std::string o = i < oracle.size() ? oracle[i] : "(none)";
    if (e == o) continue;
    failure << "line " << i + 1 << "\n  engine:  " << e << "\n  zipfile: " << o << "\n";
    ++shown;
  }
  if (shown == 0 && engine.size() == oracle.size()) return testing::AssertionSuccess();
  return failure;
}

// `parcelon info ARCHIVE` as key/value pairs.
std::map<std::string, std::string> EngineInfo(const std::string& archive) {
  CommandResult r = Parcelon({"info", archive});
  EXPECT_EQ(r.status, 0) << archive << ": " << r.err;
  std::map<std::string, std::string> facts;
  for (const std::string& line : Lines(r.out)) {
    size_t colon = line.find(": ");
    if (colon != std::string::npos) facts[line.substr(0, colon)] = line.substr(colon + 2);
  }
  return facts;
}

// The little-endian number of `width` bytes at `pos`, 0 past the end.
uint32_t LittleEndian(const std::string& data, size_t pos, size_t width) {
  uint32_t value = 0;
  if (pos + width > data.size()) return 0;
  for (size_t i = width; i-- > 0;) value = value << 8 | static_cast<unsigned char>(data[pos + i]);
  return value;
}

// Where the central directory of an archive without Zip64 records really
// lies: its size back from the end record (the last signature whose comment
// reaches exactly to the end of the file).
std::string PhysicalCentralDirectory(const std::string& archive) {
  std::string data = ReadAll(archive);
  for (size_t pos = data.rfind("PK\x05\x06"); pos != std::string::npos && pos > 0;
       pos = data.rfind("PK\x05\x06", pos - 1)) {
    uint32_t comment = LittleEndian(data, pos + 20, 2);
    if (pos + 22 + comment == data.size())
      return std::to_string(pos - LittleEndian(data, pos + 12, 4));
  }
  return "(no end record)";
}

// The archives made by the peers, built on first use into one scratch folder
// for the whole test program.
class PeerArchives : public testing::Test {
 protected:
  static void TearDownTestSuite() { folder_.reset(); }

  // Path of the archive `name` of make_archives.py, or empty when the program
  // that writes it is not installed.
  static std::string Archive(const std::string& name) {
    if (!folder_) folder_ = std::make_unique<ScratchDir>();
    std::string path = folder_->File(name);
    if (Exists(path)) return path;
    CommandResult r =
        RunCommand(ShellQuote(kPython) + " " + ShellQuote(kScripts + "/make_archives.py") + " " +
                   ShellQuote(folder_->path()) + " " + ShellQuote(name));
    EXPECT_EQ(r.status, 0) << r.err;
    return Exists(path) ? path : std::string();
  }

 private:
  static std::unique_ptr<ScratchDir> folder_;
};
std::unique_ptr<ScratchDir> PeerArchives::folder_;

#define ARCHIVE_OR_SKIP(var, name)                                              \
  const std::string var = Archive((name));                                      \
  if (var.empty()) GTEST_SKIP() << "the writer of " << (name) << " is missing"; \
  static_assert(true)

// One archive, the archive whose zipfile listing is the expected result, and
// the options of that listing. Where the oracle is another archive or takes
// options, `why` says why the engine's right answer differs from zipfile's
// plain view.
struct PeerCase {
  const char* archive;
  const char* oracle;
  std::vector<std::string> options;
  const char* why;
};

std::ostream& operator<<(std::ostream& out, const PeerCase& c) {
  return out << c.archive;
}

const std::vector<PeerCase>& PeerCases() {
  static const std::vector<PeerCase> cases = {
      {"infozip_plain.zip", nullptr, {}, ""},
      {"infozip_folders.zip", nullptr, {}, ""},
      {"infozip_stored.zip", nullptr, {}, ""},
      {"infozip_comment.zip",
       nullptr,
       {"--strip-comment"},
       "zipfile takes the end record signature inside the comment for the end record and "
       "fails; the engine validates candidates and finds the real one"},
      {"infozip_encrypted.zip", nullptr, {}, ""},
      {"infozip_unicode.zip",
       nullptr,
       {"--names-as-utf8"},
       "zip stores the UTF-8 bytes of the name without flag bit 11: UTF-8 to the engine, CP437 "
       "to zipfile"},
      {"infozip_stream.zip", nullptr, {}, ""},
      {"infozip_prefix_unadjusted.zip", nullptr, {}, ""},
      {"infozip_prefix_adjusted.zip", nullptr, {}, ""},
      {"infozip_gap.zip",
       "infozip_plain.zip",
       {},
       "three bytes between the central directory and the end record: zipfile fails, the "
       "engine finds the directory at its stated offset"},
      {"infozip_zip64_stream.zip", nullptr, {}, ""},
      {"infozip_zip64_stream_cut_cd.zip",
       "infozip_zip64_stream.zip",
       {"--rebuilt"},
       "directory cut off: rebuilt from local headers with Zip64 fields and 24-byte data "
       "descriptors"},
      {"py_zip64.zip", nullptr, {}, ""},
      {"py_zip64_cut_cd.zip",
       "py_zip64.zip",
       {"--rebuilt"},
       "directory cut off: rebuilt from local headers whose Zip64 fields hold the sizes"},
      {"py_descriptor.zip", nullptr, {}, ""},
      {"py_utf8.zip", nullptr, {}, ""},
      {"py_control_names.zip", nullptr, {}, ""},
      {"py_zip64_huge.zip", nullptr, {}, ""},
      {"py_cp437.zip",
       nullptr,
       {"--names-as-utf8"},
       "a name without flag bit 11 whose bytes are valid UTF-8 (caf\\xc3\\xa9.kml) is UTF-8 "
       "to the engine and CP437 to zipfile; made on Unix, other bytes stay raw"},
      {"7z_plain.zip", nullptr, {}, ""},
      {"7z_aes.zip", nullptr, {}, ""},
      {"bsdtar_stream.zip", nullptr, {}, ""},
      {"py_65535.zip",
       nullptr,
       {},
       "65,535 entries without Zip64 records: the count 0xFFFF means what it says"},
      {"py_65535_zip64.zip", nullptr, {}, ""},
      {"py_70000_zip64.zip", nullptr, {}, ""},
      {"py_70000_wrapped.zip",
       nullptr,
       {},
       "the entry count wrapped to 4,464; the central directory's size holds all 70,000"},
      {"infozip_truncated_cd.zip",
       "infozip_folders.zip",
       {"--rebuilt"},
       "no end record: the directory is rebuilt from the intact local headers"},
      {"infozip_zeroed_cd.zip",
       "infozip_folders.zip",
       {"--rebuilt"},
       "central headers overwritten with zeros: rebuilt from the intact local headers"},
  };
  return cases;
}

class PeerListing : public PeerArchives, public testing::WithParamInterface<PeerCase> {};

TEST_P(PeerListing, MatchesZipfile) {
  const PeerCase& c = GetParam();
  ARCHIVE_OR_SKIP(archive, c.archive);
  ARCHIVE_OR_SKIP(oracle, c.oracle ? c.oracle : c.archive);
  EXPECT_TRUE(SameListing(EngineListing(archive), OracleListing(oracle, c.options))) << c.why;
}

INSTANTIATE_TEST_SUITE_P(Peers, PeerListing, testing::ValuesIn(PeerCases()),
                         [](const testing::TestParamInfo<PeerCase>& param_info) {
                           std::string name = param_info.param.archive;
                           name = name.substr(0, name.find('.'));
                           return name;
                         });

// --- end-record facts -------------------------------------------------------

TEST_F(PeerArchives, InfoOfPlainArchive) {
  ARCHIVE_OR_SKIP(archive, "infozip_plain.zip");
  auto facts = EngineInfo(archive);
  EXPECT_EQ(facts["entries"], "3");
  EXPECT_EQ(facts["stub size"], "0");
  EXPECT_EQ(facts["central directory offset"], PhysicalCentralDirectory(archive));
}

TEST_F(PeerArchives, InfoOfPrefixedArchives) {
  // With offsets relative to the archive proper or counting the prefix, the
  // prefix is found and the directory is where it really lies; also when the
  // local headers keep their sizes in Zip64 fields, or defer them to data
  // descriptors.
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"infozip_prefix_unadjusted.zip", "3"},
      {"infozip_prefix_adjusted.zip", "3"},
      {"py_zip64_prefix_unadjusted.zip", "4"},
      {"infozip_zip64_stream_prefix_unadjusted.zip", "2"},
  };
  for (const auto& [name, entries] : cases) {
    ARCHIVE_OR_SKIP(archive, name);
    auto facts = EngineInfo(archive);
    EXPECT_EQ(facts["entries"], entries) << name;
    EXPECT_EQ(facts["stub size"], "100") << name;
    EXPECT_EQ(facts["central directory offset"], PhysicalCentralDirectory(archive)) << name;
  }
}

TEST_F(PeerArchives, InfoOfCommentWithFakeEndRecord) {
  ARCHIVE_OR_SKIP(archive, "infozip_comment.zip");
  auto facts = EngineInfo(archive);
  EXPECT_EQ(facts["entries"], "2");
  EXPECT_NE(facts["comment"].find("fake end record PK"), std::string::npos) << facts["comment"];
  EXPECT_EQ(facts["central directory offset"], PhysicalCentralDirectory(archive));
}

TEST_F(PeerArchives, InfoOfEmptyArchive) {
  ARCHIVE_OR_SKIP(archive, "py_empty.zip");
  auto facts = EngineInfo(archive);
  EXPECT_EQ(facts["entries"], "0");
  EXPECT_EQ(facts["stub size"], "0");
  EXPECT_TRUE(EngineListing(archive).empty());
}

TEST_F(PeerArchives, InfoSaysWhetherAndWhyTheDirectoryWasRebuilt) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"infozip_plain.zip", "no"},
      {"infozip_gap.zip", "no"},
      {"infozip_truncated_cd.zip", "no end record"},
      {"infozip_zeroed_cd.zip", "central header 4 is damaged"},
  };
  for (const auto& [name, reason] : cases) {
    ARCHIVE_OR_SKIP(archive, name);
    EXPECT_EQ(EngineInfo(archive)["directory rebuilt"], reason) << name;
  }
}

TEST_F(PeerArchives, InfoOfZip64Archives) {
  ARCHIVE_OR_SKIP(with, "py_65535_zip64.zip");
  ARCHIVE_OR_SKIP(plain, "infozip_plain.zip");
  EXPECT_EQ(EngineInfo(with)["entries"], "65535");
  EXPECT_NE(EngineInfo(with)["zip64"], EngineInfo(plain)["zip64"]);
}

// --- the table -----------------------------------------------------------------

TEST_F(PeerArchives, TableShowsStoredSizesOneLinePerEntry) {
  ARCHIVE_OR_SKIP(huge, "py_zip64_huge.zip");
  ARCHIVE_OR_SKIP(control, "py_control_names.zip");
  // Sizes above 2^63 as stored; totals stop at the largest value.
  std::vector<std::string> lines = Lines(Parcelon({"list", huge}).out);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_TRUE(lines[2].starts_with("18446744073709551615  9223372036854775808    50%")) << lines[2];
  EXPECT_TRUE(lines[5].starts_with("18446744073709551615  18446744073709551615")) << lines[5];
  // Header, 8 entries, totals.
  lines = Lines(Parcelon({"list", control}).out);
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_TRUE(lines[2].ends_with("       tab\\there.kml")) << lines[2];
}

TEST_F(PeerArchives, ListSaysWhenTheDirectoryWasRebuilt) {
  ARCHIVE_OR_SKIP(zeroed, "infozip_zeroed_cd.zip");
  ARCHIVE_OR_SKIP(intact, "infozip_folders.zip");
  EXPECT_EQ(Parcelon({"list", intact}).err, "");
  // Central headers overwritten with zeros: the loader rebuilds the directory
  // from the local headers and records why; both formats pass that on.
  const std::string notice = "directory rebuilt from local headers: ";
  for (const char* format : {"--tsv", "--"}) {
    CommandResult r = Parcelon({"list", format, zeroed});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.starts_with(notice)) << format << ": " << r.err;
    EXPECT_GT(r.err.find('\n'), notice.size()) << format << ": no reason in " << r.err;
  }
}

// --- failures -----------------------------------------------------------------

TEST_F(PeerArchives, FilesWithoutAnyHeaderAreNoArchive) {
  // Empty, or a local header signature that begins no header.
  for (const char* name : {"zero_bytes.zip", "local_signature_only.zip"}) {
    ARCHIVE_OR_SKIP(archive, name);
    for (const char* verb : {"list", "info"}) {
      CommandResult r = Parcelon({verb, "--verbose", archive});
      EXPECT_EQ(r.status, 1) << name << " " << verb;
      EXPECT_NE(r.err.find(": not a ZIP archive (no end of central directory record found)\n"),
                std::string::npos)
          << name << ": " << r.err;
      EXPECT_NE(r.err.find("\nparcelon: engine: Invalid archive file. - Native error: 00035\n"),
                std::string::npos)
          << name << " " << verb << ": " << r.err;
    }
  }
}

TEST_F(PeerArchives, MissingArchive) {
  ScratchDir dir;
  for (const char* verb : {"list", "info"}) {
    CommandResult r = Parcelon({verb, "--verbose", dir.File("absent.zip")});
    EXPECT_EQ(r.status, 1) << verb;
    EXPECT_NE(r.err.find("absent.zip: cannot open: No such file or directory\n"), std::string::npos)
        << verb << ": " << r.err;
    EXPECT_NE(r.err.find("not found - Native error: 00012\n"), std::string::npos)
        << verb << ": " << r.err;
  }
}

TEST_F(PeerArchives, ListFailsWhenItsOutputCannotBeWritten) {
  ARCHIVE_OR_SKIP(archive, "infozip_plain.zip");
  if (!Exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  for (const char* format : {"--tsv", "--"}) {
    CommandResult r = RunCommand(ShellQuote(kParcelon) + " list " + format + " " +
                                 ShellQuote(archive) + " >/dev/full");
    EXPECT_EQ(r.status, 1) << format;
    EXPECT_EQ(r.err, "parcelon: cannot write the listing\n") << format;
  }
}

TEST_F(PeerArchives, HelpOfEveryVerb) {
  for (const char* verb : {"list", "info", "add", "move"}) {
    CommandResult r = Parcelon({verb, "--help"});
    EXPECT_EQ(r.status, 0) << verb << ": " << r.err;
    EXPECT_FALSE(r.out.empty()) << verb;
  }
}

// --- masks --------------------------------------------------------------------

std::vector<std::string> Names(const std::vector<std::string>& listing) {
  std::vector<std::string> names;
  for (const std::string& line : listing) names.push_back(line.substr(0, line.find('\t')));
  return names;
}

using NameList = std::vector<std::string>;

TEST_F(PeerArchives, MasksSelectEntries) {
  ARCHIVE_OR_SKIP(archive, "infozip_folders.zip");
  // Case ignored, '*' across folders, directory order.
  EXPECT_EQ(Names(EngineListing(archive, {"*.kml"})),
            (NameList{"doc.kml", "files/a.kml", "files/sub/B.KML"}));
  // A mask without a folder finds entries inside folders by their file name.
  EXPECT_EQ(Names(EngineListing(archive, {"a.kml"})), (NameList{"files/a.kml"}));
  EXPECT_EQ(Names(EngineListing(archive, {"b.kml"})), (NameList{"files/sub/B.KML"}));
  EXPECT_EQ(Names(EngineListing(archive, {"files/*.txt"})), (NameList{"files/readme.txt"}));
  EXPECT_EQ(Names(EngineListing(archive, {"?oc.kml"})), (NameList{"doc.kml"}));
  // A mask ending in a dot finds names without an extension: the folders.
  EXPECT_EQ(Names(EngineListing(archive, {"*."})), (NameList{"files/", "files/sub/"}));
  EXPECT_TRUE(EngineListing(archive, {"*.doc"}).empty());
  // Backslashes in a mask stand for folder separators.
  EXPECT_EQ(Names(EngineListing(archive, {"files\\sub\\*"})), (NameList{"files/sub/B.KML"}));
}

TEST_F(PeerArchives, SeveralMasksListEachEntryOnceInDirectoryOrder) {
  ARCHIVE_OR_SKIP(archive, "infozip_folders.zip");
  EXPECT_EQ(Names(EngineListing(archive, {"*.txt", "doc.kml", "*.kml"})),
            (NameList{"doc.kml", "files/a.kml", "files/readme.txt", "files/sub/B.KML"}));
}

TEST_F(PeerArchives, MasksMatchUnicodeNames) {
  ARCHIVE_OR_SKIP(archive, "py_utf8.zip");
  EXPECT_EQ(Names(EngineListing(archive, {"\u00dcN\u00cfCODE.KML"})),
            (NameList{"\u03a9mega/\u00fcn\u00efcode.kml"}));
  EXPECT_EQ(Names(EngineListing(archive, {"\u65e5\u672c/*"})),
            (NameList{"\u65e5\u672c/\u5730\u56f3.kml"}));
}

TEST_F(PeerArchives, MasksOverManyEntries) {
  ARCHIVE_OR_SKIP(archive, "py_70000_zip64.zip");
  EXPECT_EQ(Names(EngineListing(archive, {"file069999.kml"})),
            (NameList{"folder999/file069999.kml"}));
  EXPECT_EQ(EngineListing(archive, {"folder123/*"}).size(), 70u);
}

// --- the shared corpus ----------------------------------------------------------

class CorpusListing : public testing::TestWithParam<std::string> {};

TEST_P(CorpusListing, MatchesZipfile) {
  std::string path = CorpusDir() + "/" + GetParam();
  EXPECT_TRUE(SameListing(EngineListing(path), OracleListing(path)));
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusListing, testing::ValuesIn(CorpusFiles({".kmz", ".zip"})),
                         [](const testing::TestParamInfo<std::string>& param_info) {
                           std::string name = param_info.param;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusListing);

}  // namespace
