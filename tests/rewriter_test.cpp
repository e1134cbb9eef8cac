#include "kml/rewriter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "kml/root_element.h"
#include "platform/memory_stream.h"
#include "platform/scripted_dialogs.h"
#include "tests/faulty_file_system.h"
#include "tests/test_support.h"

namespace kml {
namespace {

using testing_support::CorpusDir;
using testing_support::CorpusFiles;
using testing_support::FaultyFileSystem;
using testing_support::ReadAll;
using testing_support::ScratchDir;
using testing_support::WriteAll;

const std::string kOldRoot = "<kml xmlns=\"http://earth.google.com/kml/2.1\">";
const std::string kNewRoot = FixedRootTag();
const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

class RewriterTest : public ::testing::Test {
 protected:
  // Writes `input` to a file, rewrites it, and returns the file's content.
  std::string Rewrite(const std::string& input) {
    WriteAll(path_, input);
    outcome_ = RewriteKmlFile(path_, fs_, dialogs_);
    return ReadAll(path_);
  }
  void ExpectNoTempFiles() { EXPECT_EQ(dir_.List(), std::vector<std::string>{"doc.kml"}); }

  ScratchDir dir_;
  std::string path_ = dir_.File("doc.kml");
  FaultyFileSystem fs_;
  platform::ScriptedDialogs dialogs_;
  RewriteOutcome outcome_;
};

TEST_F(RewriterTest, OldRootOnLineTwoIsReplacedAfterTheMessage) {
  std::string out = Rewrite(kDecl + "\n" + kOldRoot + "\n<Document>\n</Document>\n</kml>\n");
  EXPECT_TRUE(outcome_.succeeded) << outcome_.problem;
  EXPECT_EQ(out, kDecl + "\r\n" + kNewRoot + "\r\n<Document>\r\n</Document>\r\n</kml>\r\n");
  ASSERT_EQ(dialogs_.Messages().size(), 1u);
  EXPECT_EQ(dialogs_.Messages()[0],
            "File " + path_ + " has an old incompatible namespace definition :" + kOldRoot +
                " This has been changed");
  ExpectNoTempFiles();
}

TEST_F(RewriterTest, RightRootIsKeptWithoutMessage) {
  std::string root = "<kml xmlns=\"http://www.opengis.net/kml/2.2\">";
  std::string out = Rewrite(kDecl + "\n" + root + "\n</kml>");
  EXPECT_TRUE(outcome_.succeeded);
  EXPECT_EQ(out, kDecl + "\r\n" + root + "\r\n</kml>\r\n");
  EXPECT_TRUE(dialogs_.Messages().empty());
}

TEST_F(RewriterTest, TwoLineFileGetsAThirdEmptyLine) {
  EXPECT_EQ(Rewrite(kDecl + "\n" + kOldRoot), kDecl + "\r\n" + kNewRoot + "\r\n\r\n");
}

TEST_F(RewriterTest, OnlyTheTagIsReplacedAndTheRestOfItsLineKept) {
  // A minified document keeps everything on one line; its coordinates are cleaned too.
  std::string out =
      Rewrite(kDecl + kOldRoot + "<Placemark><coordinates>1, 2, 3</coordinates></Placemark></kml>");
  EXPECT_EQ(out, kDecl + kNewRoot +
                     "<Placemark><coordinates>1,2,3</coordinates></Placemark></kml>\r\n\r\n");
}

TEST_F(RewriterTest, RootBehindCommentsIsFoundAndLineTwoLeftAlone) {
  std::string out =
      Rewrite(kDecl + "\n<!-- a comment on line 2 -->\n<!-- <kml> -->\n" + kOldRoot + "\n</kml>\n");
  EXPECT_EQ(out, kDecl + "\r\n<!-- a comment on line 2 -->\r\n<!-- <kml> -->\r\n" + kNewRoot +
                     "\r\n</kml>\r\n");
}

TEST_F(RewriterTest, RootSpreadOverLinesBecomesOneLine) {
  std::string out = Rewrite(kDecl + "\n  <kml\n  xmlns=\"http://earth.google.com/kml/2.1\"\n" +
                            "  xmlns:foo=\"urn:foo\"\n  >  <Document/>\n</kml>\n");
  EXPECT_EQ(out, kDecl + "\r\n  " + kNewRoot.substr(0, 43) + " xmlns:foo=\"urn:foo\"" +
                     kNewRoot.substr(43) + "  <Document/>\r\n</kml>\r\n");
  ASSERT_EQ(dialogs_.Messages().size(), 1u);
  EXPECT_NE(dialogs_.Messages()[0].find("<kml   xmlns=\"http://earth.google.com/kml/2.1\""),
            std::string::npos);
}

// The root tag changes only where it must; a Ctrl-Z is an end-of-file mark
// only when nothing but Ctrl-Z bytes follows it.
TEST_F(RewriterTest, ChangesOnlyWhatItMust) {
  const std::string sky = "<kml xmlns=\"http://earth.google.com/kml/2.2\" hint=\"target=sky\">";
  const std::string schema =
      "<kml xsi:schemaLocation=\"a b\" xmlns:xsi=\"urn:xsi\" xmlns:gx=\"urn:gx\">";
  const std::string body = "\n<Document/>\n</kml>";
  struct Case {
    std::string in, out;
    bool succeeds;
  } cases[] = {
      {kDecl + "\n" + sky + body,
       kDecl + "\r\n" + kNewRoot.substr(0, 43) + " hint=\"target=sky\"" + kNewRoot.substr(43) +
           "\r\n<Document/>\r\n</kml>\r\n",
       true},
      {kDecl + "\n" + schema + body,
       kDecl + "\r\n<kml" + kNewRoot.substr(4, 39) +
           " xsi:schemaLocation=\"a b\" xmlns:xsi=\"urn:xsi\" xmlns:gx=\"urn:gx\"" +
           kNewRoot.substr(88) + "\r\n<Document/>\r\n</kml>\r\n",
       true},
      {kDecl + "\n" + kOldRoot + body + "\x1a\x1a",
       kDecl + "\r\n" + kNewRoot + "\r\n<Document/>\r\n</kml>\r\n", true},
      {kDecl + "\n" + kOldRoot + "\n<a/>\x1a<b/>\n</kml>\n", "", false},
      {kDecl + "\n" + kOldRoot + body + "\x1a\n", "", false},
  };
  for (const Case& c : cases) {
    const std::string out = Rewrite(c.in);
    EXPECT_EQ(outcome_.succeeded, c.succeeds) << c.in;
    EXPECT_EQ(out, c.succeeds ? c.out : c.in);
    EXPECT_EQ(outcome_.problem.find("Ctrl-Z") != std::string::npos, !c.succeeds);
    EXPECT_EQ(AnalyseKmlFile(path_, fs_).succeeded, c.succeeds);
    ExpectNoTempFiles();
  }
}

TEST_F(RewriterTest, RightRootSpreadOverLinesIsWrittenAsRead) {
  std::string in = kDecl + "\n<kml\n xmlns=\"http://www.opengis.net/kml/2.2\"><a>1, 2, 3</a>\n";
  EXPECT_EQ(Rewrite(in), kDecl + "\r\n<kml\r\n xmlns=\"http://www.opengis.net/kml/2.2\">" +
                             "<a>1, 2, 3</a>\r\n\r\n");
}

TEST_F(RewriterTest, CoordinatesAreCleanedAndLineEndsBecomeCrLf) {
  std::string in = kDecl + "\n" + kOldRoot + "\r\n\t\t\t\t<coordinates>\r" +
                   "\t\t\t\t\t-122.08, 37.42, 0  -122.09, 37.43, 0 \n" +
                   "\t\t\t\t</coordinates>\n" + "<name>a, b, c</name>\n</kml>";
  EXPECT_EQ(Rewrite(in), kDecl + "\r\n" + kNewRoot + "\r\n\t\t\t\t<coordinates>\r\n" +
                             "\t\t\t\t\t-122.08,37.42,0 -122.09,37.43,0\r\n" +
                             "\t\t\t\t</coordinates>\r\n<name>a, b, c</name>\r\n</kml>\r\n");
}

TEST_F(RewriterTest, EndOfInputInsideABlockWritesEveryLine) {
  std::string in = kDecl + "\n" + kOldRoot + "\n<coordinates>1, 2, 3\n4, 5, 6";
  EXPECT_EQ(Rewrite(in), kDecl + "\r\n" + kNewRoot + "\r\n<coordinates>1,2,3\r\n4,5,6\r\n");
  EXPECT_TRUE(outcome_.succeeded);
}

TEST_F(RewriterTest, PrefixedRootKeepsItsName) {
  std::string in = kDecl + "\n<kml:kml xmlns:kml=\"http://earth.google.com/kml/2.1\">\n" +
                   "<kml:Placemark/>\n</kml:kml>\n";
  EXPECT_EQ(Rewrite(in), kDecl + "\r\n<kml:kml" + kNewRoot.substr(4, 39) +
                             " xmlns:kml=\"http://www.opengis.net/kml/2.2\"" +
                             kNewRoot.substr(43, 45) + kNewRoot.substr(131) +
                             "\r\n<kml:Placemark/>\r\n</kml:kml>\r\n");
}

TEST_F(RewriterTest, FilesWithoutKmlRootAreLeftUntouched) {
  std::string binary;
  for (int i = 0; i < 5000; ++i) binary.push_back(static_cast<char>((i * 7919) % 256));
  for (const std::string& in :
       {std::string(), std::string("just text\n"), kDecl + "\n<Document><kml/></Document>\n",
        binary, kDecl + "\n<kml xmlns=\"never closed\n\n"}) {
    dialogs_ = {};
    EXPECT_EQ(Rewrite(in), in);
    EXPECT_FALSE(outcome_.succeeded);
    EXPECT_FALSE(outcome_.problem.empty());
    ExpectNoTempFiles();
    EXPECT_TRUE(dialogs_.Messages().empty());
  }
}

TEST_F(RewriterTest, KeepsPermissionBits) {
  WriteAll(path_, kDecl + "\n" + kOldRoot + "\n</kml>\n");
  ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
  ASSERT_TRUE(RewriteKmlFile(path_, fs_, dialogs_).succeeded);
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(RewriterTest, ReadOnlyFileIsRefusedAndKept) {
  std::string in = kDecl + "\n" + kOldRoot + "\n</kml>\n";
  WriteAll(path_, in);
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  EXPECT_FALSE(RewriteKmlFile(path_, fs_, dialogs_).succeeded);
  EXPECT_EQ(ReadAll(path_), in);
  ExpectNoTempFiles();
}

TEST_F(RewriterTest, SymbolicLinkIsRewrittenThroughAndStaysALink) {
  WriteAll(path_, kDecl + "\n" + kOldRoot + "\n</kml>\n");
  std::string link = dir_.File("link.kml");
  ASSERT_EQ(symlink(path_.c_str(), link.c_str()), 0);
  ASSERT_TRUE(RewriteKmlFile(link, fs_, dialogs_).succeeded);
  struct stat st;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadAll(path_), kDecl + "\r\n" + kNewRoot + "\r\n</kml>\r\n");
}

TEST_F(RewriterTest, MissingFileOrFolderFailsWithoutTempFile) {
  EXPECT_FALSE(RewriteKmlFile(dir_.File("missing.kml"), fs_, dialogs_).succeeded);
  std::string folder = dir_.File("folder.kml");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  RewriteOutcome outcome = RewriteKmlFile(folder, fs_, dialogs_);
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_NE(outcome.problem.find("folder"), std::string::npos);
  EXPECT_EQ(dir_.List(), std::vector<std::string>{"folder.kml"});
}

// A failure at any file-system call before the rename leaves the input byte
// for byte intact and no temporary file; one at the folder sync after it
// reports that the file was rewritten.
TEST_F(RewriterTest, AFailureAtAnyCallLeavesTheInputIntact) {
  std::string in = kDecl + "\n" + kOldRoot + "\n";
  for (int i = 0; i < 20000; ++i) in += "<coordinates>1, 2, 3 4, 5, 6</coordinates>\n";
  in += "</kml>\n";
  const std::string out = Rewrite(in);
  const int64_t calls = fs_.Count(testing_support::kOpAll);
  for (int64_t n = 1; n <= calls; ++n) {
    WriteAll(path_, in);
    fs_ = FaultyFileSystem();
    fs_.Inject({n});
    RewriteOutcome outcome = RewriteKmlFile(path_, fs_, dialogs_);
    EXPECT_FALSE(outcome.succeeded) << n;
    EXPECT_EQ(ReadAll(path_) == out, n == calls) << n;
    EXPECT_EQ(outcome.problem.find("was rewritten") != std::string::npos, n == calls) << n;
    ExpectNoTempFiles();
  }
}

// A power cut at any call leaves the old file or the rewritten one, and the
// rewritten one once the rewrite said it was done.
TEST_F(RewriterTest, APowerCutAtAnyCallLeavesTheOldOrTheNewFile) {
  const std::string in = kDecl + "\n" + kOldRoot + "\n<coordinates>1, 2</coordinates>\n</kml>\n";
  const std::string out = Rewrite(in);
  for (int64_t n = 1;; ++n) {
    WriteAll(path_, in);
    fs_ = FaultyFileSystem();
    fs_.Inject({n, testing_support::kOpAll, testing_support::FaultEffect::kPowerCut});
    const bool succeeded = RewriteKmlFile(path_, fs_, dialogs_).succeeded;
    const bool finished = !fs_.PoweredOff();
    fs_.CutPower();
    const std::string now = ReadAll(path_);
    EXPECT_TRUE(now == in || now == out) << n;
    if (finished) {
      EXPECT_TRUE(succeeded && now == out) << n;
      break;
    }
  }
}

// The new file and its permissions reach the disk before it takes the
// input's name, and the folder is synced after the rename.
TEST_F(RewriterTest, NewFileIsSyncedBeforeTheRenameAndTheFolderAfter) {
  Rewrite(kDecl + "\n" + kOldRoot + "\n</kml>\n");
  ASSERT_TRUE(outcome_.succeeded) << outcome_.problem;
  const auto trace = fs_.Trace(testing_support::kOpSync | testing_support::kOpRename |
                               testing_support::kOpClose | testing_support::kOpSetMode);
  ASSERT_EQ(trace.size(), 5u);
  const std::string temp = trace[0].substr(std::string("chmod ").size());
  EXPECT_EQ(trace, (std::vector<std::string>{"chmod " + temp, "sync " + temp, "close " + temp,
                                             "rename " + temp + " -> " + path_,
                                             "sync " + dir_.path() + "/"}));
}

TEST_F(RewriterTest, UnreadableFileFailsWithoutTempFile) {
  std::string in = kDecl + "\n" + kOldRoot + "\n</kml>\n";
  WriteAll(path_, in);
  ASSERT_EQ(chmod(path_.c_str(), 0200), 0);
  bool readable = access(path_.c_str(), R_OK) == 0;  // true for the superuser
  RewriteOutcome outcome = RewriteKmlFile(path_, fs_, dialogs_);
  chmod(path_.c_str(), 0644);
  if (readable) GTEST_SKIP() << "permissions do not bind this user; see the injected read failure";
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_NE(outcome.problem.find("cannot open"), std::string::npos);
  EXPECT_EQ(ReadAll(path_), in);
  ExpectNoTempFiles();
}

TEST_F(RewriterTest, ReadOnlyFolderFailsAndKeepsTheInput) {
  std::string in = kDecl + "\n" + kOldRoot + "\n</kml>\n";
  WriteAll(path_, in);
  RewriteOutcome outcome;
  {
    testing_support::UnwritableFolder locked(dir_.path());
    if (!locked.Binds()) GTEST_SKIP() << "this file system lets the folder be written";
    outcome = RewriteKmlFile(path_, fs_, dialogs_);
  }
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(ReadAll(path_), in);
  ExpectNoTempFiles();
}

TEST_F(RewriterTest, FiftyMegabyteLineStreamsThrough) {
  std::string in = kDecl + kOldRoot + "<coordinates>";
  in.reserve(51u << 20);
  while (in.size() < (50u << 20)) in += "1.5, 2.5, 3.5 ";
  in += "</coordinates></kml>";
  std::string out = Rewrite(in);
  EXPECT_TRUE(outcome_.succeeded);
  EXPECT_EQ(out.substr(0, kDecl.size() + kNewRoot.size() + 28),
            kDecl + kNewRoot + "<coordinates>1.5,2.5,3.5 1.5");
  EXPECT_EQ(out.substr(out.size() - 35), "1.5,2.5,3.5</coordinates></kml>\r\n\r\n");
}

// The rewrite and the analysis of a stream give what the file functions give:
// the same bytes, messages, changes and problems, over every corpus document
// (and a document without a kml root, for the failure).
TEST(KmlStreams, GiveWhatTheFileFunctionsGiveOverTheCorpus) {
  std::vector<std::string> paths;
  for (const std::string& name : CorpusFiles({".kml"})) paths.push_back(CorpusDir() + "/" + name);
  ScratchDir dir;
  WriteAll(dir.File("no_root.kml"), "<?xml version=\"1.0\"?>\n<gpx>\n</gpx>\n");
  paths.push_back(dir.File("no_root.kml"));
  FaultyFileSystem fs;
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    const std::string original = ReadAll(path);
    const std::string copy = dir.File("copy.kml");
    WriteAll(copy, original);
    const KmlAnalysis file_analysis = AnalyseKmlFile(copy, fs, "doc");
    platform::ScriptedDialogs file_dialogs, stream_dialogs;
    const RewriteOutcome file_outcome = RewriteKmlFile(copy, fs, file_dialogs, "doc");
    platform::MemoryStream in(std::vector<uint8_t>(original.begin(), original.end())), out;
    const KmlAnalysis analysis = AnalyseKml(in, "doc");
    in.Seek(0, platform::SeekOrigin::kBegin);
    const RewriteOutcome outcome = RewriteKml(in, out, stream_dialogs, "doc");
    EXPECT_EQ(analysis.succeeded, file_analysis.succeeded);
    EXPECT_EQ(analysis.problem, file_analysis.problem);
    EXPECT_EQ(analysis.changes.namespace_declaration, file_analysis.changes.namespace_declaration);
    EXPECT_EQ(analysis.changes.tuples, file_analysis.changes.tuples);
    EXPECT_EQ(outcome.succeeded, file_outcome.succeeded);
    EXPECT_EQ(outcome.problem, file_outcome.problem);
    EXPECT_EQ(stream_dialogs.Messages(), file_dialogs.Messages());
    if (outcome.succeeded) {
      EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()), ReadAll(copy));
    }
  }
}

}  // namespace
}  // namespace kml
