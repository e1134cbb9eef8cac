// A stop signal sent to kmlcompat-cli or parcelon while they update an
// archive: the program ends with 128 + the signal, the archive is the old
// or the new one at once (readable by a peer that knows nothing of a
// rollback journal), nothing is left beside it and the scratch folder is
// gone.
#include <signal.h>

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace {

using testing_support::CommandResult;
using testing_support::RunCommand;
using testing_support::ScratchDir;
using testing_support::ShellQuote;

struct SignalCase {
  const char* name;
  const char* command;  // run in the folder; a.kmz is the archive
  const char* busy;     // a shell test that holds once the work is under way
  int signal;
};

// The scratch folder of kmlcompat-cli, or the journal or new file of a commit.
constexpr char kScratchMade[] = "[ -n \"$(ls -A tmp)\" ]";
constexpr char kCommitUnderWay[] = "ls -A | grep -q -e journal -e '[.]new[.]'";

// A KMZ whose one KML entry takes a few seconds to repair, and a big file
// to add to it.
void MakeArchive(const ScratchDir& dir) {
  const CommandResult made = RunCommand(
      "cd " + ShellQuote(dir.path()) +
      " && python3 -c 'import os,zipfile\n"
      "body=\"\".join(\"<coordinates>%d, 2, 3 4, 5, 6</coordinates>\\n\" % i for i in "
      "range(1000000))\n"
      "kml=\"<?xml version=\\\"1.0\\\"?>\\n<kml xmlns=\\\"http://earth.google.com/kml/2.1\\\">\\n\""
      "+body+\"</kml>\\n\"\n"
      "zipfile.ZipFile(\"a.kmz\",\"w\",zipfile.ZIP_DEFLATED).writestr(\"doc.kml\",kml)\n"
      "open(\"big.bin\",\"wb\").write(os.urandom(32<<20))'");
  ASSERT_EQ(made.status, 0) << made.err;
}

// The entries' names and CRC-32s once every entry was read and checked.
std::string PeerView(const std::string& archive) {
  return RunCommand(
             "python3 -c 'import sys,zipfile\n"
             "z=zipfile.ZipFile(sys.argv[1]); assert z.testzip() is None\n"
             "print(sorted((i.filename, i.CRC) for i in z.infolist()))' " +
             ShellQuote(archive))
      .out;
}

class Interrupted : public ::testing::TestWithParam<SignalCase> {};

TEST_P(Interrupted, EndsWithTheSignalsStatusAndASoundArchive) {
  ScratchDir dir;
  MakeArchive(dir);
  const std::string tmp = dir.File("tmp");
  ASSERT_EQ(RunCommand("mkdir " + ShellQuote(tmp)).status, 0);
  const std::string before = PeerView(dir.File("a.kmz"));
  ASSERT_FALSE(before.empty());
  const CommandResult run =
      RunCommand("cd " + ShellQuote(dir.path()) + " && export TMPDIR=" + ShellQuote(tmp) + " && (" +
                 GetParam().command + " >/dev/null 2>&1 & pid=$!; until " + GetParam().busy +
                 " || ! kill -0 $pid; do sleep 0.02; done; kill -" +
                 std::to_string(GetParam().signal) + " $pid; wait $pid; echo $?)");
  EXPECT_EQ(run.out, std::to_string(128 + GetParam().signal) + "\n");
  const std::string after = PeerView(dir.File("a.kmz"));
  EXPECT_FALSE(after.empty());
  EXPECT_EQ(RunCommand("ls -A " + ShellQuote(dir.path())).out, "a.kmz\nbig.bin\ntmp\n");
  EXPECT_EQ(RunCommand("ls -A " + ShellQuote(tmp)).out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Programs, Interrupted,
    ::testing::Values(
        SignalCase{"CliTerm", "'" KMLCOMPAT_CLI "' --no-backup a.kmz", kScratchMade, SIGTERM},
        SignalCase{"CliInt", "'" KMLCOMPAT_CLI "' --no-backup a.kmz", kScratchMade, SIGINT},
        SignalCase{"AddTerm", "'" PARCELON_PROGRAM "' add --quiet a.kmz big.bin", kCommitUnderWay,
                   SIGTERM},
        SignalCase{"AddHup", "'" PARCELON_PROGRAM "' add --quiet a.kmz big.bin", kCommitUnderWay,
                   SIGHUP}),
    [](const ::testing::TestParamInfo<SignalCase>& param) { return param.param.name; });

}  // namespace
