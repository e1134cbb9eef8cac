#include "app/kml_tool.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/posix_file_system.h"
#include "platform/scripted_dialogs.h"
#include "tests/test_support.h"

namespace kmlcompat {
namespace {

using testing_support::ReadAll;
using testing_support::ScratchDir;
using testing_support::WriteAll;

const std::string kOld =
    "<?xml version=\"1.0\"?>\n<kml xmlns=\"http://earth.google.com/kml/2.1\">\n"
    "<coordinates>1, 2, 3</coordinates>\n</kml>\n";

// Records the log as the window's text box would show it.
class RecordingLog : public ProcessLog {
 public:
  std::vector<std::string> lines{"initial text"};
  std::vector<std::string> problems;
  void Clear() override { lines.clear(); }
  void Add(const std::string& line) override { lines.push_back(line); }
  void Problem(const std::string& line) override {
    lines.push_back(line);
    problems.push_back(line);
  }
};

class KmlToolTest : public ::testing::Test {
 protected:
  ScratchDir dir_;
  platform::PosixFileSystem fs_;
  platform::ScriptedDialogs dialogs_;
  KmlTool tool_{fs_, dialogs_};
  RecordingLog log_;
};

TEST(KmlToolExtension, TakesTheLastDotAfterTheLastSlash) {
  EXPECT_EQ(KmlTool::UpperExtension("/a/b/x.Kml"), ".KML");
  EXPECT_EQ(KmlTool::UpperExtension("/a.kml/readme"), "");
  EXPECT_EQ(KmlTool::UpperExtension("x.tar.kmz"), ".KMZ");
  EXPECT_EQ(KmlTool::UpperExtension("noext"), "");
  EXPECT_EQ(KmlTool::UpperExtension("/dir/.kml"), ".KML");
}

TEST_F(KmlToolTest, FailedBackupLeavesTheFileAndSaysWhy) {
  std::string file = dir_.File("area.kml");
  WriteAll(file, kOld);
  ASSERT_EQ(mkdir((file + ".Backup").c_str(), 0755), 0);  // a folder in the backup's place
  EXPECT_FALSE(tool_.ProcessFile(file, true, log_));
  EXPECT_EQ(ReadAll(file), kOld);
  ASSERT_EQ(log_.problems.size(), 1u);
  EXPECT_NE(log_.problems[0].find("No backup made"), std::string::npos);
  EXPECT_TRUE(dialogs_.Messages().empty());
  EXPECT_EQ(dir_.List(), (std::vector<std::string>{"area.kml", "area.kml.Backup"}));
}

TEST_F(KmlToolTest, FailedRewriteIsLoggedAfterTheProcessingLine) {
  std::string file = dir_.File("empty.kml");
  WriteAll(file, "");
  EXPECT_FALSE(tool_.ProcessFile(file, false, log_));
  ASSERT_EQ(log_.lines.size(), 2u);
  EXPECT_EQ(log_.lines[0], "Processing file " + file);
  EXPECT_EQ(log_.lines[1], log_.problems.at(0));
  EXPECT_FALSE(tool_.LastProblem().empty());
}

TEST_F(KmlToolTest, SuccessIsClearedByTheNextFailure) {
  std::string good = dir_.File("good.kml");
  WriteAll(good, kOld);
  ASSERT_TRUE(tool_.ProcessFile(good, false, log_));
  EXPECT_FALSE(tool_.ProcessFile(dir_.File("missing.kml"), false, log_));
  EXPECT_FALSE(tool_.ProcessSucceeded);
}

}  // namespace
}  // namespace kmlcompat
