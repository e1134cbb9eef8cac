// The commit under a power cut at every file-system call, in place with its
// journal and into a new file: what the disk keeps opens as exactly the old
// or exactly the new archive, and the new one once the commit said so.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

#include "archive/parcelon.h"
#include "platform/iconv_code_pages.h"
#include "platform/memory_stream.h"
#include "platform/scripted_dialogs.h"
#include "platform/unicode.h"
#include "tests/faulty_file_system.h"
#include "tests/test_support.h"

namespace parcelon {
namespace {

using namespace testing_support;

class CommitPowerLoss : public testing::Test {
 protected:
  CommitPowerLoss() {
    const CommandResult made =
        RunCommand("cd " + ShellQuote(dir.path()) +
                   " && printf first > a && head -c 70000 /dev/zero > b && printf third > c"
                   " && zip -q a.zip a b c && rm a b c");
    EXPECT_EQ(made.status, 0) << made.err;
  }
  // Replaces a and adds d, with the power cut at the `n`th call (never with
  // 0); true when the commit ran to its end first.
  bool Commit(int64_t n, int64_t threshold) {
    TParcelon archiver{nullptr, {&dialogs, &code_pages, &fs}};
    archiver.SetFileName(platform::Utf8ToUtf16(path));
    archiver.SetRewriteThreshold(threshold);
    std::vector<std::unique_ptr<platform::MemoryStream>> sources;
    fs.Inject({n, kOpAll, FaultEffect::kPowerCut});
    try {
      archiver.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);
      archiver.BeginUpdate();
      for (const char* data : {"changed", "added"}) {
        sources.push_back(std::make_unique<platform::MemoryStream>(
            std::vector<uint8_t>(data, data + std::char_traits<char>::length(data))));
        archiver.AddStream(sources.size() == 1 ? u"a" : u"d", *sources.back());
      }
      archiver.EndUpdate();
      archiver.CloseArchive();
    } catch (const std::exception&) {
      // The power went; what the disk holds is checked.
    }
    return !fs.PoweredOff();
  }
  // The entries as zipfile reads them after a recovering open (asked once
  // for each archive that comes out).
  std::string Reopened() {
    fs.Inject({});
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

  ScratchDir dir;
  std::string path = dir.File("a.zip");
  platform::ScriptedDialogs dialogs;
  platform::IconvCodePages code_pages;
  FaultyFileSystem fs;
  std::map<std::string, std::string> views;  // archive bytes -> what zipfile reads
};

TEST_F(CommitPowerLoss, APowerCutAtAnyCallLeavesTheOldOrTheNewArchive) {
  const std::string before = ReadAll(path);
  const std::string old_view = "a=5;b=70000;c=5\n", new_view = "a=7;b=70000;c=5;d=5\n";
  for (const int64_t threshold : {int64_t{1} << 40, int64_t{0}}) {
    bool finished = false;
    for (int64_t n = 1; !finished; ++n) {
      WriteAll(path, before);
      finished = Commit(n, threshold);
      if (finished) fs.CutPower();  // after a commit that said it was done
      const std::string view = Reopened();
      EXPECT_TRUE(view == old_view || view == new_view) << threshold << " " << n << ": " << view;
      if (finished) {
        EXPECT_EQ(view, new_view) << threshold;
      }
    }
  }
}

}  // namespace
}  // namespace parcelon
