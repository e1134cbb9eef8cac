// Runs the real kmlcompat-cli program; and every program for --help and --version.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tests/test_support.h"

namespace {

using testing_support::ReadAll;
using testing_support::ScratchDir;
using testing_support::WriteAll;

using testing_support::CommandResult;
using testing_support::ShellQuote;

CommandResult RunCli(const std::string& args) {
  return testing_support::RunCommand(ShellQuote(KMLCOMPAT_CLI) + " " + args);
}

const std::string kOld =
    "<?xml version=\"1.0\"?>\n<kml xmlns=\"http://earth.google.com/kml/2.0\">\n</kml>\n";

TEST(Cli, ProcessesEveryFileAndFailsIfOneFails) {
  ScratchDir dir;
  std::string a = dir.File("a.kml"), b = dir.File("b.KML"), bad = dir.File("bad.txt");
  WriteAll(a, kOld);
  WriteAll(b, kOld);
  WriteAll(bad, "x");
  CommandResult run = RunCli(ShellQuote(a) + " " + ShellQuote(bad) + " " + ShellQuote(b));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("has an old incompatible namespace definition :"), std::string::npos);
  EXPECT_NE(run.out.find("Processing file " + a + "\n"), std::string::npos);
  EXPECT_NE(run.out.find(b + ": Done\n"), std::string::npos);
  EXPECT_NE(run.err.find("not a KML or KMZ file: " + bad + "\n"), std::string::npos);
  EXPECT_NE(run.err.find(bad + ": Process Failed\n"), std::string::npos);
  EXPECT_EQ(ReadAll(a + ".Backup"), kOld);
  EXPECT_EQ(ReadAll(bad), "x");
}

TEST(Cli, AllGoodFilesExitZeroAndNoBackupMeansNone) {
  ScratchDir dir;
  std::string a = dir.File("a.kml");
  WriteAll(a, kOld);
  CommandResult run = RunCli("--no-backup -- " + ShellQuote(a));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(dir.List(), std::vector<std::string>{"a.kml"});
}

TEST(Cli, HelpVersionAndBadUsage) {
  CommandResult help = RunCli("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--no-backup"), std::string::npos);
  CommandResult version = RunCli("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("kmlcompat-cli ", 0), 0u);
  EXPECT_EQ(RunCli("").status, 2);
  CommandResult unknown = RunCli("--frobnicate x.kml");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("unknown option --frobnicate"), std::string::npos);
}

// Every program prints its usage for --help and "NAME VERSION" for --version,
// with status 0. The window answers both before Qt starts: it runs here
// without a display, where opening a window would fail.
TEST(Cli, EveryProgramAnswersHelpAndVersion) {
  std::vector<std::pair<std::string, std::string>> programs = {{"kmlcompat-cli", KMLCOMPAT_CLI},
                                                               {"parcelon", PARCELON_PROGRAM}};
#ifdef KMLCOMPAT_WINDOW
  programs.emplace_back("kmlcompat", KMLCOMPAT_WINDOW);
#endif
  for (const auto& [name, path] : programs) {
    const std::string run =
        "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb " + ShellQuote(path);
    CommandResult version = testing_support::RunCommand(run + " --version");
    EXPECT_EQ(version.status, 0) << name << ": " << version.err;
    EXPECT_EQ(version.out, name + " " + KMLCOMPAT_VERSION + "\n");
    CommandResult help = testing_support::RunCommand(run + " --help");
    EXPECT_EQ(help.status, 0) << name << ": " << help.err;
    EXPECT_NE(help.out.find("--version"), std::string::npos) << name << ": " << help.out;
  }
}

}  // namespace
