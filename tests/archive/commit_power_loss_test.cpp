// Every way of writing an archive under a power cut at every file-system
// call (an update in place with its journal or into a new file, a delete,
// a new archive, and the rollback of a journal): what the disk keeps opens
// as exactly the old or exactly the new archive, and the new one once the
// run said so.
#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "archive/parcelon.h"
#include "archive/update/rollback_journal.h"
#include "platform/iconv_code_pages.h"
#include "platform/memory_stream.h"
#include "platform/scripted_dialogs.h"
#include "platform/unicode.h"
#include "tests/faulty_file_system.h"
#include "tests/test_support.h"

namespace parcelon {
namespace {

using namespace testing_support;

// One way of writing an archive: what it does to the archiver, and what
// zipfile reads before and after it ("missing" for no archive).
struct WritePath {
  const char* name;
  int64_t threshold;  // the rewrite threshold: in place below it, else a new file
  bool starts_missing;
  std::function<void(TParcelon&, std::vector<std::unique_ptr<platform::MemoryStream>>&)> run;
  const char* old_view;
  const char* new_view;
  FaultEffect effect = FaultEffect::kPowerCut;  // what befalls the chosen call
};

constexpr int64_t kInPlace = int64_t{1} << 40;
constexpr const char* kOldView = "a=5;b=70000;c=5\n";

// Replaces a and adds d from memory.
void ReplaceAndAdd(TParcelon& archiver,
                   std::vector<std::unique_ptr<platform::MemoryStream>>& keep) {
  archiver.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);
  archiver.BeginUpdate();
  for (const char* data : {"changed", "added"}) {
    keep.push_back(std::make_unique<platform::MemoryStream>(
        std::vector<uint8_t>(data, data + std::char_traits<char>::length(data))));
    archiver.AddStream(keep.size() == 1 ? u"a" : u"d", *keep.back());
  }
  archiver.EndUpdate();
}

const WritePath kPaths[] = {
    {"update in place", kInPlace, false, ReplaceAndAdd, kOldView, "a=7;b=70000;c=5;d=5\n"},
    {"update into a new file", 0, false, ReplaceAndAdd, kOldView, "a=7;b=70000;c=5;d=5\n"},
    {"delete", kInPlace, false,
     [](TParcelon& archiver, auto&) {
       archiver.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);
       archiver.DeleteFiles(u"b");
     },
     kOldView, "a=5;c=5\n"},
    {"new archive", kInPlace, true,
     [](TParcelon& archiver, auto&) {
       archiver.OpenArchive();
       archiver.AddFiles(u"s*");
     },
     "missing", "src=6\n"},
    // The unchanged entries are copied inside the system; any call failing,
    // one of those copies among them, leaves the old archive.
    {"update into a new file, a call failing", 0, false, ReplaceAndAdd, kOldView,
     "a=7;b=70000;c=5;d=5\n", FaultEffect::kFail},
};

class CommitPowerLoss : public testing::Test {
 protected:
  CommitPowerLoss() {
    const CommandResult made =
        RunCommand("cd " + ShellQuote(dir.path()) +
                   " && printf first > a && head -c 70000 /dev/zero > b && printf third > c"
                   " && zip -q a.zip a b c && rm a b c && mkdir in && printf source > in/src");
    EXPECT_EQ(made.status, 0) << made.err;
  }
  // Runs `way` with its fault at the `n`th call (never with 0); true when it
  // ran to its end first. `reported` tells whether it reported success.
  bool Run(const WritePath& way, int64_t n, bool* reported = nullptr) {
    TParcelon archiver{nullptr, {&dialogs, &code_pages, &fs}};
    archiver.SetFileName(platform::Utf8ToUtf16(path));
    archiver.SetBaseDir(platform::Utf8ToUtf16(dir.File("in")));
    archiver.SetRewriteThreshold(way.threshold);
    std::vector<std::unique_ptr<platform::MemoryStream>> sources;
    fs.ClearCalls();
    fs.Inject({n, kOpAll, way.effect});
    bool succeeded = false;
    try {
      way.run(archiver, sources);
      archiver.CloseArchive();
      succeeded = true;
    } catch (const std::exception&) {
      // The fault struck; what the disk holds is checked.
    }
    if (reported) *reported = succeeded;
    return fs.Count(kOpAll) < n;
  }
  // Opens the archive (which rolls back a journal left behind) with the
  // power cut at the `n`th call; true when the open ran to its end.
  bool Recover(int64_t n) {
    fs.Inject({n, kOpAll, FaultEffect::kPowerCut});
    try {
      TParcelon reader{nullptr, {&dialogs, &code_pages, &fs}};
      reader.SetFileName(platform::Utf8ToUtf16(path));
      reader.OpenArchive(fmOpenRead | fmShareDenyWrite);
      reader.CloseArchive();
    } catch (const std::exception&) {
      // The power went during the recovery.
    }
    return !fs.PoweredOff();
  }
  // The entries as zipfile reads them after a recovering open (asked once
  // for each archive that comes out).
  std::string Reopened() {
    fs.Inject({});
    if (access(path.c_str(), F_OK) != 0) return "missing";
    TParcelon reader{nullptr, {&dialogs, &code_pages}};
    reader.SetFileName(platform::Utf8ToUtf16(path));
    reader.OpenArchive(fmOpenRead | fmShareDenyWrite);
    reader.CloseArchive();
    std::string& view = views[ReadAll(path)];
    if (view.empty())
      view = RunCommand(
                 "python3 -c 'import sys,zipfile\n"
                 "z=zipfile.ZipFile(sys.argv[1]); assert z.testzip() is None\n"
                 "print(\";\".join(i.filename+\"=\"+str(len(z.read(i))) for i in "
                 "z.infolist()))' " +
                 ShellQuote(path))
                 .out;
    return view;
  }
  // Puts the archive back as it was before `way`.
  void Reset(const WritePath& way, const std::string& before) {
    unlink(journal.c_str());
    if (way.starts_missing)
      unlink(path.c_str());
    else
      WriteAll(path, before);
  }

  ScratchDir dir;
  std::string path = dir.File("a.zip");
  std::string journal = JournalPathFor(path);
  platform::ScriptedDialogs dialogs;
  platform::IconvCodePages code_pages;
  FaultyFileSystem fs;
  std::map<std::string, std::string> views;  // archive bytes -> what zipfile reads
};

TEST_F(CommitPowerLoss, APowerCutAtAnyCallLeavesTheOldOrTheNewArchive) {
  const std::string before = ReadAll(path);
  for (const WritePath& way : kPaths) {
    bool finished = false;
    for (int64_t n = 1; !finished; ++n) {
      Reset(way, before);
      bool reported = false;
      finished = Run(way, n, &reported);
      // The power goes after a run that said it was done, too.
      if (way.effect == FaultEffect::kPowerCut) fs.CutPower();
      const std::string view = Reopened();
      EXPECT_TRUE(view == way.old_view || view == way.new_view)
          << way.name << " " << n << ": " << view;
      EXPECT_TRUE(!finished || reported) << way.name << " " << n;
      if (reported) {
        EXPECT_EQ(view, way.new_view) << way.name << " " << n;
      }
    }
  }
}

// A cut in the middle of an update in place leaves its journal; the open
// that rolls it back, cut at any call, still ends with the old archive.
TEST_F(CommitPowerLoss, TheRecoveryOfAJournalSurvivesAPowerCutAtAnyCall) {
  const std::string before = ReadAll(path);
  const WritePath& way = kPaths[0];
  // The last cut of the update that still leaves its journal behind.
  int64_t last = 0;
  for (int64_t n = 1; Reset(way, before), !Run(way, n); ++n)
    if (access(journal.c_str(), F_OK) == 0) last = n;
  ASSERT_GT(last, 0);
  Reset(way, before);
  Run(way, last);
  ASSERT_NE(ReadAll(path), before);
  const std::string cut_archive = ReadAll(path), cut_journal = ReadAll(journal);
  bool finished = false;
  for (int64_t n = 1; !finished; ++n) {
    WriteAll(path, cut_archive);
    WriteAll(journal, cut_journal);
    finished = Recover(n);
    EXPECT_EQ(Reopened(), kOldView) << n;
  }
}

}  // namespace
}  // namespace parcelon
