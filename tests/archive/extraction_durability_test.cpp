// Extraction under power cuts and link races: whatever instant the power
// goes, each target holds its old content or the entry's, under its own
// name, and what an earlier cut left behind goes at the next extraction;
// times and permissions are set on the open file, never through its name.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/parcelon.h"
#include "platform/iconv_code_pages.h"
#include "platform/scripted_dialogs.h"
#include "platform/unicode.h"
#include "tests/faulty_file_system.h"
#include "tests/test_support.h"

namespace parcelon {
namespace {

using namespace testing_support;
using platform::Utf8ToUtf16;

class ExtractionDurability : public testing::Test {
 protected:
  ExtractionDurability() {
    archiver.OnProcessFileFailure = [](TPLBaseArchiver&, const std::u16string&, TPLProcessOperation,
                                       int32_t, int32_t, const std::u16string&,
                                       TPLAction& action) { action = fxaIgnore; };
    archiver.SetBaseDir(Utf8ToUtf16(out));
    archiver.SetFileName(Utf8ToUtf16(dir.File("a.zip")));
    const CommandResult made = RunCommand(
        "cd " + ShellQuote(dir.path()) +
        " && mkdir -p t/d1/d2 && printf NEW-new > t/new.txt && printf NEW-old > t/old.txt && "
        "printf NEW-deep > t/d1/d2/deep.txt && cd t && zip -qr ../a.zip . && cd .. && rm -r t");
    EXPECT_EQ(made.status, 0) << made.err;
  }
  // `out` as the extraction finds it: old.txt, and a partial copy that a
  // cut left behind.
  void Prepare() {
    std::filesystem::remove_all(out);
    ASSERT_TRUE(fs.CreateFolders(out));
    WriteAll(out + "/old.txt", "old");
    WriteAll(out + "/.new.txt.part-0badf00d", "left by a cut");
  }
  void Extract() {
    try {
      archiver.OpenArchive(fmOpenRead | fmShareDenyWrite);
      archiver.ExtractFiles(u"*");
      archiver.CloseArchive();
    } catch (const std::exception&) {
      // The power went; what the disk holds is checked.
    }
  }
  // The files below `out` with their content, sorted.
  std::string Tree() {
    std::vector<std::string> lines;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out)) {
      if (!entry.is_regular_file()) continue;
      std::string line("./");
      line.append(entry.path().lexically_relative(out).string()).append("=");
      lines.push_back(line.append(ReadAll(entry.path().string())));
    }
    std::sort(lines.begin(), lines.end());
    std::string tree;
    for (const std::string& line : lines) tree += line + "\n";
    return tree;
  }

  ScratchDir dir;
  std::string out = dir.File("out");
  FaultyFileSystem fs;
  platform::ScriptedDialogs dialogs;
  platform::IconvCodePages code_pages;
  TParcelon archiver{nullptr, {&dialogs, &code_pages, &fs}};
};

// Each line of the tree after a cut: the old state, the new one, or a
// partial copy (which the next extraction removes).
bool OldOrNew(const std::string& line) {
  static const std::vector<std::string> allowed = {"./old.txt=old", "./old.txt=NEW-old",
                                                   "./new.txt=NEW-new", "./d1/d2/deep.txt=NEW-deep",
                                                   "./.new.txt.part-0badf00d=left by a cut"};
  for (const std::string& good : allowed)
    if (line == good) return true;
  return line.find(".part-") != std::string::npos;
}

TEST_F(ExtractionDurability, APowerCutAtAnyCallLeavesOldOrNewFiles) {
  const std::string extracted = "./d1/d2/deep.txt=NEW-deep\n./new.txt=NEW-new\n./old.txt=NEW-old\n";
  bool finished = false;
  for (int64_t n = 1; !finished; ++n) {
    Prepare();
    fs.Inject({n, kOpAll, FaultEffect::kPowerCut});
    Extract();
    finished = !fs.PoweredOff();
    if (finished) fs.CutPower();  // after a run that said it was done
    std::string tree = Tree();
    for (size_t at = 0, end; (end = tree.find('\n', at)) != std::string::npos; at = end + 1) {
      EXPECT_TRUE(OldOrNew(tree.substr(at, end - at))) << "cut at call " << n << ":\n" << tree;
    }
    if (finished) {
      EXPECT_EQ(tree, extracted);
    }
    fs.Inject({});
    Extract();
    EXPECT_EQ(Tree(), extracted) << "after a cut at call " << n;
  }
}

// A run that only makes folders syncs them too.
TEST_F(ExtractionDurability, FoldersMadeSurviveAPowerCutAfterTheRun) {
  Prepare();
  fs.Inject({0, kOpAll, FaultEffect::kPowerCut});
  archiver.OpenArchive(fmOpenRead | fmShareDenyWrite);
  archiver.ExtractFiles(u"d1");
  archiver.CloseArchive();
  fs.CutPower();
  EXPECT_TRUE(std::filesystem::is_directory(out + "/d1"));
}

// The time and the permissions go onto the open file, so a name swapped for
// a link meanwhile cannot redirect them to the link's target.
TEST_F(ExtractionDurability, TimesAndPermissionsAreSetOnTheOpenFile) {
  Prepare();
  fs.ClearCalls();
  Extract();
  EXPECT_EQ(fs.Count(kOpSetMode | kOpSetTime), 0);
  EXPECT_EQ(fs.Count(kOpSetTimeOpen), 3);
  EXPECT_EQ(fs.Count(kOpSetModeOpen), 3);
}

// Copies that need not survive a crash are extracted alike, with no sync.
TEST_F(ExtractionDurability, ExtractionWithoutDurabilitySyncsNothing) {
  Prepare();
  archiver.Options().SetDurableExtraction(false);
  fs.ClearCalls();
  Extract();
  EXPECT_EQ(fs.Count(kOpSync), 0);
  EXPECT_EQ(Tree(), "./d1/d2/deep.txt=NEW-deep\n./new.txt=NEW-new\n./old.txt=NEW-old\n");
}

}  // namespace
}  // namespace parcelon
