// Runs the real kmlcompat-cli program.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/test_support.h"

namespace {

using testing_support::ReadAll;
using testing_support::ScratchDir;
using testing_support::WriteAll;

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

CliRun RunCli(const ScratchDir& dir, const std::string& args) {
  std::string out = dir.File(".out"), err = dir.File(".err");
  std::string cmd =
      Quote(KMLCOMPAT_CLI) + " " + args + " >" + Quote(out) + " 2>" + Quote(err) + " </dev/null";
  int raw = std::system(cmd.c_str());
  CliRun run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadAll(out), ReadAll(err)};
  std::remove(out.c_str());
  std::remove(err.c_str());
  return run;
}

const std::string kOld =
    "<?xml version=\"1.0\"?>\n<kml xmlns=\"http://earth.google.com/kml/2.0\">\n</kml>\n";

TEST(Cli, ProcessesEveryFileAndFailsIfOneFails) {
  ScratchDir dir;
  std::string a = dir.File("a.kml"), b = dir.File("b.KML"), bad = dir.File("bad.txt");
  WriteAll(a, kOld);
  WriteAll(b, kOld);
  WriteAll(bad, "x");
  CliRun run = RunCli(dir, Quote(a) + " " + Quote(bad) + " " + Quote(b));
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
  CliRun run = RunCli(dir, "--no-backup -- " + Quote(a));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(dir.List(), std::vector<std::string>{"a.kml"});
}

TEST(Cli, HelpVersionAndBadUsage) {
  ScratchDir dir;
  CliRun help = RunCli(dir, "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--no-backup"), std::string::npos);
  CliRun version = RunCli(dir, "--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("kmlcompat-cli ", 0), 0u);
  EXPECT_EQ(RunCli(dir, "").status, 2);
  CliRun unknown = RunCli(dir, "--frobnicate x.kml");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("unknown option --frobnicate"), std::string::npos);
}

}  // namespace
