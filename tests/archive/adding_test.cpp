// Adding files from disk through the archiver: which files a mask finds,
// how they are named and stored, what happens to an entry of the same name,
// and that links, odd names and failures never spoil the archive. Results
// are read back with Python's zipfile.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>

#include "archive/errors/pl_exception.h"
#include "archive/parcelon.h"
#include "archive/update/new_item.h"
#include "platform/iconv_code_pages.h"
#include "platform/memory_stream.h"
#include "platform/scripted_dialogs.h"
#include "platform/unicode.h"
#include "tests/faulty_file_system.h"
#include "tests/test_support.h"

namespace parcelon {
namespace {

using namespace testing_support;
using Names = std::vector<std::string>;

constexpr int32_t kFilesOnly = 0x27;  // read-only, hidden, system, archive
constexpr int64_t kTime = 1700000000;

std::u16string U(const std::string& text) {
  return platform::Utf8ToUtf16(text);
}

class AddingTest : public testing::Test {
 protected:
  AddingTest() {
    fs.CreateFolders(base);
    archiver.SetFileName(U(path));
    archiver.SetBaseDir(U(base));
    archiver.OnConfirmProcessFile = [this](TPLBaseArchiver&, const std::u16string& name,
                                           TPLProcessOperation, bool& confirm) {
      ++confirmed;
      confirm = platform::Utf16ToUtf8(name).find("declined") == std::string::npos;
    };
    archiver.OnProcessFileFailure = [this](TPLBaseArchiver&, const std::u16string& name,
                                           TPLProcessOperation, int32_t native, int32_t,
                                           const std::u16string&, TPLAction& action) {
      failures.push_back(platform::Utf16ToUtf8(name) + " " + std::to_string(native));
      action = answer;
    };
  }

  // Writes `data` to `name` below the base folder, making its folders.
  void Put(const std::string& name, const std::string& data = "x") {
    const std::string file = base + "/" + name;
    fs.CreateFolders(file.substr(0, file.rfind('/')));
    WriteAll(file, data);
  }
  void Tree() {
    for (const char* name : {"a.kml", "b.png", "c.tmp", ".hidden", "sub/d.kml", "sub/e.tmp",
                             "sub/deeper/f.kml", "build/g.kml"})
      Put(name, name);
    fs.CreateFolders(base + "/empty");
  }
  // Opens (or creates) the archive, runs `add` and closes it.
  void Run(const std::function<void()>& add) {
    archiver.OpenArchive();
    add();
    archiver.CloseArchive();
  }
  // "name method data" per entry in directory order, as zipfile reads them
  // after testzip(), each as long as its entry says.
  Names PeerView() {
    const CommandResult result = RunCommand(
        "python3 -c 'import sys,zipfile\n"
        "z=zipfile.ZipFile(sys.argv[1]); assert z.testzip() is None\n"
        "for i in z.infolist():\n"
        " d=z.read(i); assert len(d)==i.file_size, i.filename\n"
        " print(repr(i.filename), i.compress_type, d.decode())' " +
        ShellQuote(path));
    EXPECT_EQ(result.status, 0) << result.err;
    Names lines;
    std::istringstream in(result.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  Names SortedPeerView() {
    Names lines = PeerView();
    std::sort(lines.begin(), lines.end());
    return lines;
  }
  bool OnDisk(const std::string& name) { return fs.Exists(base + "/" + name); }

  ScratchDir dir;
  std::string base = dir.File("base");
  std::string path = dir.File("a.zip");
  platform::ScriptedDialogs dialogs;
  platform::IconvCodePages code_pages;
  FaultyFileSystem fs;
  TParcelon archiver{nullptr, {&dialogs, &code_pages, &fs}};
  int confirmed = 0;
  Names failures;
  TPLAction answer = fxaIgnore;
};

// The tool's call: a rewritten file in the scratch folder replaces its entry
// and is deleted once committed; with recursion a file of the same name in a
// subfolder comes along under its relative name.
TEST_F(AddingTest, MoveFilesReplacesTheEntryAndDeletesTheSources) {
  for (const bool recurse : {true, false}) {
    unlink(path.c_str());
    Run([&] {
      platform::MemoryStream old_kml({'o', 'l', 'd'}), png({'p', 'n', 'g'});
      archiver.AddStream(u"doc.kml", old_kml);
      archiver.AddStream(u"b.png", png);
    });
    Put("doc.kml", "new");
    Put("old/doc.kml", "nested");
    archiver.Options().SetRecurse(recurse);
    Run([&] { archiver.MoveFiles(u"doc.kml", kAllEntries, u""); });
    Names expected = {"'doc.kml' 0 new", "'b.png' 0 png"};
    if (recurse) expected.push_back("'old/doc.kml' 0 nested");
    EXPECT_EQ(PeerView(), expected) << recurse;
    EXPECT_FALSE(OnDisk("doc.kml"));
    EXPECT_EQ(OnDisk("old/doc.kml"), !recurse);
    EXPECT_TRUE(OnDisk("old"));
    unlink((base + "/old/doc.kml").c_str());
  }
}

struct MaskCase {
  std::vector<std::u16string> masks;
  std::vector<std::u16string> exclusions;
  int32_t search_attr;
  Names entries;  // sorted "name method data"
};

TEST_F(AddingTest, MasksAttributesAndExclusionsSelectTheFiles) {
  Tree();
  archiver.SetNoCompressionMasks({u"*.png"});
  const std::vector<MaskCase> cases = {
      {{u"*.kml"},
       {},
       kFilesOnly,
       {"'a.kml' 0 a.kml", "'build/g.kml' 0 build/g.kml", "'sub/d.kml' 0 sub/d.kml",
        "'sub/deeper/f.kml' 0 sub/deeper/f.kml"}},
      {{u"*.kml", u"a.kml"},  // a.kml found twice, queued once
       {u"build"},
       kFilesOnly,
       {"'a.kml' 0 a.kml", "'sub/d.kml' 0 sub/d.kml", "'sub/deeper/f.kml' 0 sub/deeper/f.kml"}},
      {{u"*"},
       {u"*.tmp", u"sub/deeper/*"},
       kFilesOnly,
       {"'.hidden' 0 .hidden", "'a.kml' 0 a.kml", "'b.png' 0 b.png", "'build/g.kml' 0 build/g.kml",
        "'sub/d.kml' 0 sub/d.kml"}},
      {{u"*.*"}, {u"*.kml", u"*.tmp"}, faArchive, {"'b.png' 0 b.png"}},  // not hidden
      {{u"sub/*"},
       {},
       kFilesOnly,
       {"'sub/d.kml' 0 sub/d.kml", "'sub/deeper/f.kml' 0 sub/deeper/f.kml",
        "'sub/e.tmp' 0 sub/e.tmp"}},
      {{u"f.kml"}, {}, kFilesOnly, {"'sub/deeper/f.kml' 0 sub/deeper/f.kml"}},
      {{u"./f.kml", u"./sub/d.kml"}, {}, kFilesOnly, {"'sub/d.kml' 0 sub/d.kml"}},
      {{u"sub"},  // a folder named with the directory bit: its entry, and inside only "sub"
       {},
       kAllEntries,
       {"'sub/' 0 "}},
      {{u"*"},
       {u"*.kml", u".*"},
       kAllEntries,
       {"'b.png' 0 b.png", "'build/' 0 ", "'c.tmp' 0 c.tmp", "'empty/' 0 ", "'sub/' 0 ",
        "'sub/deeper/' 0 ", "'sub/e.tmp' 0 sub/e.tmp"}},
  };
  for (const MaskCase& c : cases) {
    unlink(path.c_str());
    confirmed = 0;
    Run([&] { archiver.AddFiles(c.masks, c.search_attr, c.exclusions); });
    EXPECT_EQ(SortedPeerView(), c.entries) << platform::Utf16ToUtf8(c.masks[0]);
    EXPECT_EQ(confirmed, static_cast<int>(c.entries.size())) << platform::Utf16ToUtf8(c.masks[0]);
  }
  EXPECT_TRUE(OnDisk("a.kml"));  // added, not moved
}

TEST_F(AddingTest, StoredNamesFollowStorePath) {
  Put("sub/d.kml", "d");
  WriteAll(dir.File("outside.txt"), "o");
  const std::string rooted = base.substr(1);  // absolute, without the leading '/'
  const struct {
    TPLStorePathMode store_path;
    std::string mask;
    std::string name;
  } cases[] = {
      {spNoPath, "sub/d.kml", "d.kml"},
      {spRelativePath, "sub/d.kml", "sub/d.kml"},
      {spFullPath, "sub/d.kml", rooted + "/sub/d.kml"},
      {spRelativePath, dir.File("outside.txt"), dir.path().substr(1) + "/outside.txt"},
      {spRelativePath, "../outside.txt", dir.path().substr(1) + "/outside.txt"},
  };
  for (const auto& c : cases) {
    unlink(path.c_str());
    archiver.Options().SetStorePath(c.store_path);
    Run([&] { archiver.AddFiles(U(c.mask), kFilesOnly); });
    const Names view = PeerView();
    ASSERT_EQ(view.size(), 1u) << c.mask;
    EXPECT_EQ(view[0].substr(0, view[0].find(' ')), "'" + c.name + "'") << c.mask;
  }
}

TEST_F(AddingTest, OverwriteModesDecideOnAnEntryOfTheSameName) {
  const struct {
    TPLOverwriteMode mode;
    int64_t newer_by;  // seconds the disk file is newer than the entry
    bool confirm;      // the answer to the prompt
    bool replaced;
  } cases[] = {
      {omAlways, 0, false, true},       {omNever, 3600, false, false},
      {omIfNewer, 0, false, false},     {omIfNewer, 3600, false, true},
      {omIfNewer, -3600, false, false}, {omIfOlder, -3600, false, true},
      {omIfOlder, 0, false, false},     {omPrompt, 0, false, false},
      {omPrompt, 0, true, true},
  };
  bool confirm = false;
  archiver.OnConfirmOverwrite = [&](TPLBaseArchiver&, const std::u16string&, std::u16string& dest,
                                    bool& reply) {
    EXPECT_EQ(dest, u"doc.kml");
    reply = confirm;
  };
  for (const auto& c : cases) {
    unlink(path.c_str());
    Put("doc.kml", "old");
    fs.SetModifiedTime(base + "/doc.kml", kTime);
    archiver.Options().SetOverwriteMode(omAlways);
    Run([&] { archiver.AddFiles(u"doc.kml", kFilesOnly); });
    Put("doc.kml", "new");
    fs.SetModifiedTime(base + "/doc.kml", kTime + c.newer_by);
    archiver.Options().SetOverwriteMode(c.mode);
    confirm = c.confirm;
    Run([&] { archiver.AddFiles(u"doc.kml", kFilesOnly); });
    EXPECT_EQ(PeerView(), Names{c.replaced ? "'doc.kml' 0 new" : "'doc.kml' 0 old"})
        << int{c.mode} << " " << c.newer_by;
  }
}

// Links to folders are never entered (a loop ends, nothing outside the base
// comes along); links to files are followed; FIFOs and dangling links are
// left alone.
TEST_F(AddingTest, LinksToFoldersAreNotEnteredAndSpecialFilesAreSkipped) {
  Put("sub/d.kml", "d");
  ASSERT_EQ(symlink("..", (base + "/sub/loop").c_str()), 0);
  ASSERT_EQ(symlink(dir.path().c_str(), (base + "/outside").c_str()), 0);
  ASSERT_EQ(symlink("sub/d.kml", (base + "/link.kml").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (base + "/dangling.kml").c_str()), 0);
  ASSERT_EQ(mkfifo((base + "/fifo.kml").c_str(), 0600), 0);
  Run([&] { archiver.AddFiles(u"*", kAllEntries, u""); });
  EXPECT_EQ(SortedPeerView(), (Names{"'link.kml' 0 d", "'sub/' 0 ", "'sub/d.kml' 0 d"}));
  EXPECT_TRUE(failures.empty());
}

// Names with line breaks, names of the longest length and names that are no
// UTF-8 are stored as they are, and the moved files go by their own names.
TEST_F(AddingTest, OddNamesAreStoredAsTheyAre) {
  const std::string long_name = std::string(251, 'n') + ".kml";
  Put("new\nline.kml", "1");
  Put(long_name, "2");
  Put("bad\xff.kml", "3");
  Put("bad\xef\xbf\xbd.kml", "4");  // what the bad name would turn into
  Run([&] { archiver.MoveFiles(u"*.kml", kAllEntries, u""); });
  EXPECT_EQ(SortedPeerView(), (Names{"'bad\\xa0.kml' 0 3", "'bad\xef\xbf\xbd.kml' 0 4",
                                     "'new\\nline.kml' 0 1", "'" + long_name + "' 0 2"}));
  EXPECT_TRUE(failures.empty());
  EXPECT_FALSE(std::filesystem::exists(base + "/bad\xff.kml"));
  platform::FileInfo file;
  file.exists = file.is_regular = true;
  file.mode = 0644;
  EXPECT_EQ(AttributesOf(file, u"/b/a\\.b") & 0xFFFF, faArchive);  // '\' separates nothing
  EXPECT_EQ(AttributesOf(file, u"x") >> 16, 0100644u);             // st_mode above
}

// New data from a stream replaces an entry by its place: two entries of one
// name are told apart, and the entry keeps its stored name, its host (here
// MS-DOS) and its attributes.
TEST_F(AddingTest, AStreamReplacesTheEntryAtItsPlace) {
  const std::string view =
      "import sys,zipfile\n"
      "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
      " print(i.filename, i.flag_bits & 0x800, i.create_system,"
      " hex(i.external_attr), i.compress_type)";
  ASSERT_EQ(RunCommand("python3 -c \"import sys,zipfile\n"
                       "z=zipfile.ZipFile(sys.argv[1],'w')\n"
                       "for d in (b'old',b'twin'):\n"
                       " i=zipfile.ZipInfo('tw\\xfcn.kml'); i.create_system=0;"
                       " i.external_attr=0x21; z.writestr(i,d)\" " +
                       ShellQuote(path) + " 2>/dev/null")
                .status,
            0);
  const std::string before = RunCommand("python3 -c \"" + view + "\" " + ShellQuote(path)).out;
  archiver.OpenArchive();
  platform::MemoryStream data(std::vector<uint8_t>(200, 'n'));
  EXPECT_THROW(archiver.MarkItemForUpdate(1, data), EPLException);  // outside a transaction
  archiver.BeginUpdate();
  EXPECT_THROW(archiver.MarkItemForUpdate(2, data), EPLException);
  archiver.MarkItemForUpdate(1, data);
  archiver.EndUpdate();
  archiver.CloseArchive();
  EXPECT_EQ(PeerView(), (Names{"'twün.kml' 0 old", "'twün.kml' 8 " + std::string(200, 'n')}));
  std::string expected = before;
  expected.replace(expected.size() - 2, 1, "8");  // deflated now
  EXPECT_EQ(RunCommand("python3 -c \"" + view + "\" " + ShellQuote(path)).out, expected);
}

// A scan that fails leaves the archive and the directory as they were and
// keeps nothing queued; an ignored folder is left out.
TEST_F(AddingTest, AFailedScanCancelsTheTransaction) {
  Run([&] {
    platform::MemoryStream data({'1'});
    archiver.AddStream(u"kept", data);
  });
  Put("a.kml");
  Put("sub/b.kml");
  const std::string before = ReadAll(path);
  answer = fxaAbort;
  archiver.OpenArchive();
  fs.Inject({2, kOpList});  // the listing of sub fails
  EXPECT_THROW(archiver.MoveFiles(u"*.kml", kAllEntries, u""), EPLException);
  EXPECT_FALSE(archiver.InUpdate());
  EXPECT_EQ(archiver.DirManager()->Dir().Count(), 1);
  archiver.CloseArchive();
  EXPECT_EQ(ReadAll(path), before);
  EXPECT_TRUE(OnDisk("a.kml"));
  answer = fxaIgnore;
  archiver.OpenArchive();
  fs.Inject({2, kOpList});
  archiver.MoveFiles(u"*.kml", kAllEntries, u"");
  archiver.CloseArchive();
  EXPECT_EQ(PeerView(), (Names{"'kept' 0 1", "'a.kml' 0 x"}));
  EXPECT_EQ(failures, (Names{base + "/sub/ 33", base + "/sub/ 33"}));
  EXPECT_TRUE(OnDisk("sub/b.kml"));
}

// Two files of one stored name: the second replaces the entry queued for the
// first, which stays a new entry: when it cannot be read and is skipped, it
// is dropped rather than taken for an old version the archive never had.
TEST_F(AddingTest, AFileReplacingOneQueuedBeforeStaysANewEntry) {
  Put("a/doc.kml");
  Put("b/doc.kml");
  archiver.Options().SetStorePath(spNoPath);
  fs.Inject({1, kOpOpen});  // the commit cannot open the source
  Run([&] { archiver.AddFiles(u"*.kml", kFilesOnly); });
  EXPECT_EQ(PeerView(), Names{});
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_TRUE(failures[0].ends_with("/doc.kml 33")) << failures[0];
}

// Neither the archive nor a link it is opened through is added (and then
// deleted) by a move of everything around it.
TEST_F(AddingTest, TheArchiveIsNeverAddedToItself) {
  Put("a.kml");
  path = base + "/self.zip";
  ASSERT_EQ(symlink("self.zip", (base + "/link.zip").c_str()), 0);
  archiver.SetFileName(U(base + "/link.zip"));
  Run([&] { archiver.MoveFiles(u"*", kAllEntries, u""); });
  EXPECT_EQ(PeerView(), Names{"'a.kml' 0 x"});
  EXPECT_TRUE(OnDisk("link.zip"));
}

// Through a link to its folder the archive is no source of its own either;
// a source that changed after it was stored is kept and reported.
TEST_F(AddingTest, AMoveDeletesOnlyTheFilesItStoredAsTheyWere) {
  path = base + "/self.zip";
  archiver.SetFileName(U(path));
  Run([&] {
    platform::MemoryStream old({'o'});
    archiver.AddStream(u"old.txt", old);
  });
  Put("a.kml", "a");
  Put("grows.kml", "first");
  ASSERT_EQ(symlink(base.c_str(), dir.File("linked").c_str()), 0);
  archiver.SetBaseDir(U(dir.File("linked")));
  archiver.OnFileProgress = [&](TPLBaseArchiver&, const std::u16string& name, double,
                                TPLProcessOperation, TPLProgressPhase phase, bool&) {
    if (phase == ppEnd && name.find(u"grows") != std::u16string::npos)
      WriteAll(base + "/grows.kml", "first and more");
  };
  Run([&] { archiver.MoveFiles(u"*", kAllEntries, u""); });
  EXPECT_EQ(SortedPeerView(), (Names{"'a.kml' 0 a", "'grows.kml' 0 first", "'old.txt' 0 o"}));
  EXPECT_FALSE(OnDisk("a.kml"));
  EXPECT_EQ(ReadAll(base + "/grows.kml"), "first and more");
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].find("grows.kml 27"), std::string::npos) << failures[0];
}

// A move deletes the files it took, then its folders; a declined file stays.
TEST_F(AddingTest, MovedFoldersAreRemovedAfterTheirFilesDeclinedFilesStay) {
  Tree();
  Put("declined.kml");
  Run([&] { archiver.MoveFiles(u"*", kAllEntries, u""); });
  EXPECT_EQ(PeerView().size(), 12u);
  EXPECT_EQ(fs.ListFolder(base).size(), 1u);
  EXPECT_TRUE(OnDisk("declined.kml"));
}

// A file of 4 GiB or more is marked Zip64 when queued; with Zip64 disabled
// its commit then fails and the entry is left out.
TEST_F(AddingTest, LargeFilesAreMarkedZip64WhenQueued) {
  Put("big.bin", "");
  ASSERT_EQ(truncate((base + "/big.bin").c_str(), int64_t{1} << 32), 0);
  archiver.OpenArchive();
  archiver.BeginUpdate();
  archiver.AddFiles(u"big.bin", kFilesOnly);
  const TDirItem& item = archiver.DirManager()->Dir().Items(0);
  EXPECT_TRUE(item.IsZip64);
  EXPECT_EQ(item.UnpackedSize, 0xFFFFFFFFu);
  EXPECT_EQ(item.Zip64UnpackedSize, uint64_t{1} << 32);
  archiver.EndUpdate();
  EXPECT_EQ(archiver.DirManager()->Dir().Count(), 0);
  archiver.CloseArchive();
  EXPECT_EQ(failures, Names{base + "/big.bin 43"});
}

}  // namespace
}  // namespace parcelon
