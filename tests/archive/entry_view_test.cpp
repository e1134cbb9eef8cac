// The entry view and the runs over given entries that the front ends use:
// a real KMZ read through Entry(i), one entry extracted alone, and the runs
// over a list of indices.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/parcelon.h"
#include "platform/iconv_code_pages.h"
#include "platform/scripted_dialogs.h"
#include "platform/unicode.h"
#include "tests/archive/engine_error.h"
#include "tests/test_support.h"

namespace parcelon {
namespace {

using testing_support::CodeOf;

// A copy of a corpus KMZ: doc.kml, the folder entries 0/ and 0/0/ (without
// the folder attribute), 0/0/0.jpg and 0/0/0.kml, all deflated.
class EntryViewTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::string kmz =
        testing_support::CorpusDir() + "/fastkml__small_world_deflated_dirs.kmz";
    if (!std::filesystem::exists(kmz)) GTEST_SKIP() << "no corpus file " << kmz;
    std::filesystem::copy_file(kmz, path);
    std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    archiver.SetFileName(platform::Utf8ToUtf16(path));
    archiver.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);
  }

  testing_support::ScratchDir dir;
  std::string path = dir.File("a.kmz");
  platform::ScriptedDialogs dialogs;
  platform::IconvCodePages code_pages;
  TParcelon archiver{nullptr, {&dialogs, &code_pages}};
};

TEST_F(EntryViewTest, ShowsWhatTheDirectoryStates) {
  const struct {
    const char* name;
    uint64_t size, packed;
    uint32_t crc;
  } expected[] = {{"doc.kml", 786, 372, 0x83e32511},
                  {"0/", 0, 2, 0},
                  {"0/0/", 0, 2, 0},
                  {"0/0/0.jpg", 14680, 14312, 0xdde887cc},
                  {"0/0/0.kml", 894, 367, 0x292fc524}};
  ASSERT_EQ(archiver.EntryCount(), 5);
  for (int32_t i = 0; i < 5; ++i) {
    const EntryView entry = archiver.Entry(i);
    EXPECT_EQ(platform::Utf16ToUtf8(entry.Name()), expected[i].name);
    EXPECT_EQ(entry.Size(), expected[i].size) << i;
    EXPECT_EQ(entry.PackedSize(), expected[i].packed) << i;
    EXPECT_EQ(entry.Crc32(), expected[i].crc) << i;
    EXPECT_EQ(entry.Method(), 8) << i;
    EXPECT_FALSE(entry.IsFolder() || entry.IsEncrypted() || entry.Modified()) << i;
  }
  const ArchiveSummary summary = archiver.Summary();
  EXPECT_EQ(summary.entries, 5);
  EXPECT_EQ(summary.entries_counted, 5u);
  EXPECT_EQ(summary.rebuild_reason, "");
}

TEST_F(EntryViewTest, RefusesIndicesOutsideAndAClosedArchive) {
  for (const int32_t index : {-1, 5})
    EXPECT_EQ(CodeOf([&] { archiver.Entry(index); }), 16) << index;
  EXPECT_EQ(CodeOf([&] { archiver.ExtractEntry(5, platform::Utf8ToUtf16(dir.File("x"))); }), 16);
  EXPECT_EQ(CodeOf([&] { archiver.ProcessEntries(poTest, {0, 7}); }), 16);
  archiver.CloseArchive();
  EXPECT_EQ(CodeOf([&] { archiver.Entry(0); }), 13);
}

TEST_F(EntryViewTest, ExtractsOneEntryAloneAndKeepsBaseDir) {
  archiver.SetBaseDir(u"elsewhere");
  archiver.ExtractEntry(4, platform::Utf8ToUtf16(dir.File("out")));
  EXPECT_EQ(archiver.BaseDir(), u"elsewhere");
  EXPECT_EQ(std::filesystem::file_size(dir.File("out/0/0/0.kml")), 894u);
  EXPECT_FALSE(std::filesystem::exists(dir.File("out/doc.kml")));
}

TEST_F(EntryViewTest, RunsOverExactlyTheGivenEntries) {
  std::vector<std::u16string> tested;
  archiver.OnFileProgress = [&](TPLBaseArchiver&, const std::u16string& name, double,
                                TPLProcessOperation, TPLProgressPhase phase, bool&) {
    if (phase == ppStart) tested.push_back(name);
  };
  archiver.ProcessEntries(poTest, {4, 0});
  EXPECT_EQ(tested, (std::vector<std::u16string>{u"doc.kml", u"0/0/0.kml"}));
  archiver.BeginUpdate();
  archiver.ProcessEntries(poDelete, {1, 2});
  archiver.EndUpdate();
  ASSERT_EQ(archiver.EntryCount(), 3);
  EXPECT_EQ(archiver.Entry(1).Name(), u"0/0/0.jpg");
}

}  // namespace
}  // namespace parcelon
