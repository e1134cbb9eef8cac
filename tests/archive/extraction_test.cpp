// Extraction, tests and deletions through the archiver: entries written by
// Info-ZIP come back with their folders, times and permissions; hostile
// names, links, overlapping entries, lying sizes and damaged data write
// nothing where they must not; the overwrite rules; runs over many entries.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "archive/parcelon.h"
#include "platform/iconv_code_pages.h"
#include "platform/null_stream.h"
#include "platform/scripted_dialogs.h"
#include "platform/unicode.h"
#include "tests/archive/engine_error.h"
#include "tests/archive/zip_builder.h"
#include "tests/test_support.h"

namespace parcelon {
namespace {

using namespace testing_support;
using platform::Utf8ToUtf16;

struct Failure {
  std::string name;
  int32_t code;
  std::string message;
};

class ExtractionTest : public testing::Test {
 protected:
  ExtractionTest() {
    archiver.OnProcessFileFailure = [this](TPLBaseArchiver&, const std::u16string& name,
                                           TPLProcessOperation, int32_t code, int32_t,
                                           const std::u16string& message, TPLAction& action) {
      failures.push_back({platform::Utf16ToUtf8(name), code, platform::Utf16ToUtf8(message)});
      action = fxaIgnore;
    };
    archiver.SetBaseDir(Utf8ToUtf16(out));
    archiver.SetFileName(Utf8ToUtf16(path));
  }
  void Shell(const std::string& command) {
    const CommandResult result = RunCommand("cd " + ShellQuote(dir.path()) + " && " + command);
    ASSERT_EQ(result.status, 0) << command << "\n" << result.err;
  }
  void WriteArchive(const ziptest::Bytes& bytes) {
    WriteAll(path, std::string(bytes.begin(), bytes.end()));
  }
  void Extract(const std::u16string& mask = u"*") {
    archiver.OpenArchive(fmOpenRead | fmShareDenyWrite);
    archiver.ExtractFiles(mask);
    archiver.CloseArchive();
  }
  // The files below `out`, as "path" lines (folders end in '/'), sorted.
  std::string Tree() {
    return RunCommand(
               "cd " + ShellQuote(out) +
               " && find . -mindepth 1 \\( -type d -printf '%P/\\n' \\) -o -printf '%P\\n' | sort")
        .out;
  }

  ScratchDir dir;
  std::string path = dir.File("a.zip");
  std::string out = dir.File("out");
  platform::ScriptedDialogs dialogs;
  platform::IconvCodePages code_pages;
  TParcelon archiver{nullptr, {&dialogs, &code_pages}};
  std::vector<Failure> failures;
};

TEST_F(ExtractionTest, InfoZipEntriesComeBackWithFoldersTimesAndPermissions) {
  Shell(
      "mkdir -p t/sub t/empty && printf kml > t/sub/doc.kml && printf x > t/run.sh && "
      "chmod 750 t/run.sh && touch -d '2011-05-04 10:20:30' t/sub/doc.kml && "
      "ln -s sub/doc.kml t/link && zip -qry a.zip t");
  Extract();
  EXPECT_TRUE(failures.empty()) << failures[0].message;
  EXPECT_EQ(Tree(), "t/\nt/empty/\nt/link\nt/run.sh\nt/sub/\nt/sub/doc.kml\n");
  EXPECT_EQ(ReadAll(out + "/t/link"), "sub/doc.kml");  // a link comes back as its target's name
  struct stat st {
  }, source{};
  ASSERT_EQ(lstat((out + "/t/run.sh").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0750u);
  ASSERT_EQ(stat((out + "/t/sub/doc.kml").c_str(), &st), 0);
  ASSERT_EQ(stat(dir.File("t/sub/doc.kml").c_str(), &source), 0);
  EXPECT_EQ(st.st_mtime, source.st_mtime);  // from the extended timestamp, to the second
}

TEST_F(ExtractionTest, HostileNamesStayBelowTheDestination) {
  struct Case {
    std::string stored, lands;
  };
  const std::vector<Case> cases = {{"/abs/a.txt", "abs/a.txt"},
                                   {"../up.txt", "up.txt"},
                                   {"x/../../up2.txt", "x/up2.txt"},
                                   {"..\\win.txt", "win.txt"},
                                   {"C:\\drive.txt", "drive.txt"},
                                   {"\\\\srv\\share\\unc.txt", "unc.txt"},
                                   {std::string("nul.txt\0/../../evil", 19), "nul.txt"}};
  std::vector<ziptest::TestEntry> entries;
  for (const Case& c : cases) {
    ziptest::TestEntry entry;
    entry.name = c.stored;
    entry.data = "data";
    entries.push_back(entry);
  }
  WriteArchive(ziptest::BuildZip(entries));
  Extract();
  for (const Case& c : cases) EXPECT_EQ(ReadAll(out + "/" + c.lands), "data") << c.lands;
  EXPECT_EQ(RunCommand("ls " + ShellQuote(dir.path())).out, "a.zip\nout\n");
}

TEST_F(ExtractionTest, NothingIsWrittenThroughALink) {
  Shell(
      "mkdir -p out elsewhere && printf secret > elsewhere/file && "
      "ln -s ../elsewhere out/folder && ln -s ../elsewhere/file out/file");
  std::vector<ziptest::TestEntry> entries(2);
  entries[0].name = "folder/new.txt";
  entries[1].name = "file";
  entries[0].data = entries[1].data = "written";
  WriteArchive(ziptest::BuildZip(entries));
  Extract();
  ASSERT_EQ(failures.size(), 1u);  // the folder cannot be entered
  EXPECT_EQ(failures[0].code, 20);
  EXPECT_NE(access(dir.File("elsewhere/new.txt").c_str(), F_OK), 0);
  EXPECT_EQ(ReadAll(dir.File("elsewhere/file")), "secret");
  EXPECT_EQ(ReadAll(out + "/file"), "written");  // the link itself was replaced by a file
}

// An archive of one file d.txt, as zip makes it with `options`.
ziptest::Bytes Zipped(const ScratchDir& dir, const std::string& options) {
  const std::string zip = dir.File("h.zip");
  EXPECT_EQ(RunCommand("cd " + ShellQuote(dir.path()) + " && rm -f h.zip && head -c 200000 " +
                       "/dev/zero | tr '\\0' d > d.txt && zip -q -X " + options + " h.zip d.txt")
                .status,
            0);
  const std::string bytes = ReadAll(zip);
  return {bytes.begin(), bytes.end()};
}

// `archive` with the 32-bit field at `field` of its first central header
// (or, with a negative `field`, the 16-bit field at -`field` of its first
// local header) set to `value`.
ziptest::Bytes Patched(ziptest::Bytes archive, int field, uint32_t value) {
  size_t at = size_t(std::abs(field));
  if (field > 0) at += ziptest::U32At(archive, archive.size() - 22 + 16);  // after the end record
  const size_t width = field > 0 ? 4 : 2;
  for (size_t i = 0; i < width; ++i) archive.at(at + i) = uint8_t(value >> (8 * i));
  return archive;
}

TEST_F(ExtractionTest, OverlappingLyingAndDamagedEntriesWriteNothing) {
  ziptest::TestEntry first, second, lying, huge;
  first.name = "one.bin";
  first.data = std::string(5000, '1');
  second = first;
  second.name = "two.bin";
  second.central_offset = 0;  // shares the first entry's data: the overlapping-entries bomb
  lying.name = "lying.txt";
  lying.data = "much more than it says";
  lying.central_unpacked = 4;
  huge.name = "huge.txt";
  huge.data = "small";
  huge.central_unpacked = huge.central_packed = 0xFFFFFFFF;
  ziptest::TestEntry huge_unpacked = huge, huge_packed = huge;
  huge_unpacked.central_extra = ziptest::Zip64Field({(uint64_t{1} << 63) + 5, 5});
  huge_packed.central_extra = ziptest::Zip64Field({5, (uint64_t{1} << 63) + 5});
  const ziptest::Bytes stored = Zipped(dir, "-0"), deflated = Zipped(dir, "-6");
  constexpr int kCentralPacked = 20, kCentralUnpacked = 24, kCentralOffset = 42;
  constexpr int kLocalExtraLength = -28;
  const struct {
    const char* what;
    ziptest::Bytes archive;
    size_t failures;
    const char* reason;  // in the first failure's message
  } cases[] = {
      {"overlapping and lying entries", ziptest::BuildZip({first, second, lying}), 3, "overlaps"},
      {"stored data into the directory",
       Patched(Patched(stored, kCentralPacked, 200100), kCentralUnpacked, 200100), 1, "overlaps"},
      {"stored data pushed into the directory", Patched(stored, kLocalExtraLength, 100), 1, ""},
      {"deflated data cut by its size", Patched(deflated, kCentralPacked, 100), 1, ""},
      {"offset past the end", Patched(stored, kCentralOffset, 300000), 1, ""},
      {"sizes above 2^63", ziptest::BuildZip({huge_unpacked, huge_packed}), 2, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteArchive(c.archive);
    failures.clear();
    Extract();
    ASSERT_EQ(failures.size(), c.failures);
    for (const Failure& failure : failures) EXPECT_EQ(failure.code, 8) << failure.message;
    EXPECT_NE(failures[0].message.find(c.reason), std::string::npos) << failures[0].message;
    EXPECT_EQ(Tree(), "");
  }
  Shell(
      "printf 'stored data, not compressed' > d.txt && zip -q -X -0 b.zip d.txt && "
      "printf '\\377' | dd of=b.zip bs=1 seek=40 conv=notrunc 2>/dev/null");
  archiver.SetFileName(Utf8ToUtf16(dir.File("b.zip")));
  failures.clear();
  WriteAll(out + "/d.txt", "old");  // a damaged entry never costs the file it would replace
  Extract();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].code, 8);
  EXPECT_EQ(Tree(), "d.txt\n");
  EXPECT_EQ(ReadAll(out + "/d.txt"), "old");
  archiver.SetExtractCorruptedFiles(true);
  failures.clear();
  Extract();
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(Tree(), "d.txt\n");
  EXPECT_EQ(ReadAll(out + "/d.txt").size(), 27u);
}

TEST_F(ExtractionTest, TheOverlapCheckFollowsTheArchiveThatIsOpen) {
  std::vector<ziptest::TestEntry> entries(2);
  entries[0].name = "one.bin";
  entries[1].name = "two.bin";
  entries[0].data = entries[1].data = std::string(5000, '1');
  WriteArchive(ziptest::BuildZip(entries));
  archiver.OpenArchive(fmOpenRead | fmShareDenyWrite);
  archiver.TestFiles(u"*");  // finds no overlap in this archive
  archiver.CloseArchive();
  entries[1].central_offset = 0;
  WriteArchive(ziptest::BuildZip(entries));  // the same count of entries, one sharing data
  archiver.OpenArchive(fmOpenRead | fmShareDenyWrite);
  platform::TNullStream nothing;
  EXPECT_EQ(CodeOf([&] { archiver.ExtractItemToStream(1, nothing); }), 8);
  archiver.CloseArchive();
}

TEST_F(ExtractionTest, OverwriteRules) {
  Shell(
      "printf new > f.txt && touch -d '2015-01-01 12:00:00' f.txt && zip -q a.zip f.txt && "
      "mkdir out && printf old > out/f.txt");
  const auto run = [&](TPLOverwriteMode mode, const char* file_time, bool read_only) {
    WriteAll(out + "/f.txt", "old");
    chmod((out + "/f.txt").c_str(), read_only ? 0444 : 0644);
    Shell(std::string("touch -d '") + file_time + "' out/f.txt");
    archiver.Options().SetOverwriteMode(mode);
    Extract();
    return ReadAll(out + "/f.txt");
  };
  EXPECT_EQ(run(omAlways, "2016-01-01", false), "new");
  EXPECT_EQ(run(omNever, "2010-01-01", false), "old");
  EXPECT_EQ(run(omIfNewer, "2015-01-01 12:00:00", false), "old");  // equal times skip
  EXPECT_EQ(run(omIfNewer, "2014-01-01", false), "new");
  EXPECT_EQ(run(omIfOlder, "2014-01-01", false), "old");
  archiver.Options().SetReplaceReadOnly(false);
  EXPECT_EQ(run(omAlways, "2014-01-01", true), "old");
  archiver.Options().SetReplaceReadOnly(true);
  EXPECT_EQ(run(omAlways, "2014-01-01", true), "new");
}

TEST_F(ExtractionTest, TestsAndDeletesRunOverTheMatches) {
  Shell(
      "printf one > a.kml && printf two > b.kml && printf three > c.png && "
      "zip -q -X -0 a.zip a.kml b.kml c.png && printf '\\377' | dd of=a.zip bs=1 seek=36 "
      "conv=notrunc 2>/dev/null");
  archiver.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);
  archiver.TestFiles(u"*");
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].name, "a.kml");
  archiver.DeleteFiles(u"*.kml");
  archiver.CloseArchive();
  EXPECT_EQ(RunCommand("unzip -Z1 " + ShellQuote(path)).out, "c.png\n");
  EXPECT_EQ(RunCommand("unzip -tqq " + ShellQuote(path)).status, 0);
}

}  // namespace
}  // namespace parcelon
