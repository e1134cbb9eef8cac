// `parcelon add` and `parcelon move` run as programs on a small tree; the
// archives they write are read back with Python's zipfile and `unzip -t`.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <sstream>

#include "tests/test_support.h"

namespace {

using testing_support::CommandResult;
using testing_support::RunCommand;
using testing_support::ScratchDir;
using testing_support::ShellQuote;
using testing_support::WriteAll;
using Lines = std::vector<std::string>;

const std::string kParcelon = PARCELON_PROGRAM;
const std::string kPython = PARCELON_PYTHON;

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

class AddVerbs : public testing::Test {
 protected:
  AddVerbs() {
    for (const char* name : {"a.kml", "b.png", "sub/c.kml", "sub/skip.tmp", "build/d.kml"}) {
      const std::string file = tree + "/" + name;
      RunCommand("mkdir -p " + ShellQuote(file.substr(0, file.rfind('/'))));
      std::string text;  // compressible, so that deflate keeps it
      for (int i = 0; i < 20; ++i) text += name;
      WriteAll(file, text);
    }
  }
  // Runs parcelon in the scratch folder.
  CommandResult Parcelon(const Lines& args) {
    std::string command = "cd " + ShellQuote(dir.path()) + " && " + ShellQuote(kParcelon);
    for (const std::string& arg : args) command.append(" ").append(ShellQuote(arg));
    return RunCommand(command);
  }
  // "name method" per entry, sorted, once zipfile and unzip found every
  // entry sound.
  Lines Entries() {
    const CommandResult tested = RunCommand("unzip -tqq " + ShellQuote(archive));
    EXPECT_EQ(tested.status, 0) << tested.out << tested.err;
    const CommandResult read = RunCommand(
        ShellQuote(kPython) +
        " -c 'import sys,zipfile\n"
        "z=zipfile.ZipFile(sys.argv[1]); assert z.testzip() is None\n"
        "for n in sorted(\"%s %d\" % (i.filename, i.compress_type) for i in z.infolist()): "
        "print(n)' " +
        ShellQuote(archive));
    EXPECT_EQ(read.status, 0) << read.err;
    Lines lines;
    std::istringstream in(read.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  ScratchDir dir;
  std::string tree = dir.File("tree");
  std::string archive = dir.File("a.zip");
};

TEST_F(AddVerbs, AddTakesWhatTheNamesAndOptionsSay) {
  const struct {
    Lines args;
    Lines entries;
  } cases[] = {
      {{"tree"},
       {"tree/ 0", "tree/a.kml 8", "tree/b.png 8", "tree/build/ 0", "tree/build/d.kml 8",
        "tree/sub/ 0", "tree/sub/c.kml 8", "tree/sub/skip.tmp 8"}},
      {{"--base-dir", "tree", "*.kml", "--exclude", "build"}, {"a.kml 8", "sub/c.kml 8"}},
      {{"--base-dir=tree", "--no-recurse", "*", "--exclude=*.png"}, {"a.kml 8"}},
      {{"--base-dir", "tree", "--store-path", "none", "sub/c.kml"}, {"c.kml 8"}},
      {{"--level", "9", "--store", "*.png", "--base-dir", "tree", "--", "b.png", "sub"},
       {"b.png 0", "sub/ 0", "sub/c.kml 8", "sub/skip.tmp 8"}},
  };
  for (const auto& c : cases) {
    std::remove(archive.c_str());
    Lines args = {"add", "a.zip"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CommandResult result = Parcelon(args);
    EXPECT_EQ(result.status, 0) << c.args[0] << ": " << result.err;
    EXPECT_EQ(result.out + result.err, "") << c.args[0];
    EXPECT_EQ(Entries(), c.entries) << c.args[0];
  }
}

TEST_F(AddVerbs, MoveDeletesWhatItTookOnceCommitted) {
  CommandResult result = Parcelon({"move", "a.zip", "tree/sub", "tree/a.kml"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Entries(),
            (Lines{"tree/a.kml 8", "tree/sub/ 0", "tree/sub/c.kml 8", "tree/sub/skip.tmp 8"}));
  EXPECT_FALSE(Exists(tree + "/a.kml"));
  EXPECT_FALSE(Exists(tree + "/sub"));
  EXPECT_TRUE(Exists(tree + "/b.png"));
  // A folder that keeps an excluded file stays, and is named.
  result = Parcelon({"move", "--exclude", "*.kml", "a.zip", "tree/build"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("/tree/build/: cannot remove folder: Directory not empty\n"),
            std::string::npos)
      << result.err;
  EXPECT_TRUE(Exists(tree + "/build/d.kml"));
}

// Reached through a link to its folder, or through a link to itself, the
// archive is no source of its own: it stays, whole.
TEST_F(AddVerbs, MoveThroughLinksNeverTakesTheArchive) {
  const Lines cases[] = {{"move", "--base-dir", "linked", "tree/x.zip", "*"},
                         {"move", "--base-dir", "tree", "linked/x.zip", "*"}};
  for (const Lines& args : cases) {
    RunCommand("cd " + ShellQuote(dir.path()) +
               " && rm -rf tree/* && ln -sfn tree linked && printf a > tree/a.kml && "
               "printf o > other.txt && zip -q tree/x.zip other.txt");
    const CommandResult result = Parcelon(args);
    EXPECT_EQ(result.status, 0) << args[2] << "\n" << result.err;
    archive = tree + "/x.zip";
    EXPECT_EQ(Entries(), (Lines{"a.kml 0", "other.txt 0"})) << args[2];
    EXPECT_FALSE(Exists(tree + "/a.kml"));
  }
}

// What cannot be taken is named, the rest is committed and the status is 1
// (a name that is no UTF-8 is taken, by its bytes); when nothing at all can
// be taken, no archive is made.
TEST_F(AddVerbs, FailuresAreNamedAndTheRestIsCommitted) {
  WriteAll(tree + "/bad\xff.kml", "x");
  CommandResult result = Parcelon({"add", "--base-dir", "tree", "a.zip", "a.kml", "bad*", "none"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "parcelon: none: nothing matches\n");
  EXPECT_EQ(Entries(), (Lines{"a.kml 8", "bad\xc2\xa0.kml 0"}));  // zipfile reads CP437
  std::remove(archive.c_str());
  result = Parcelon({"move", "a.zip", "none"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "parcelon: none: nothing matches\n");
  EXPECT_FALSE(Exists(archive));
}

// Data that deflate cannot shrink is stored: its packed size is its size.
TEST_F(AddVerbs, DataThatDeflateCannotShrinkIsStored) {
  RunCommand("head -c 1200000 /dev/urandom > " + ShellQuote(tree + "/b.png"));
  const CommandResult result =
      Parcelon({"add", "--level", "1", "--base-dir", "tree", "a.zip", "a.kml", "b.png"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Entries(), (Lines{"a.kml 8", "b.png 0"}));
  const CommandResult sizes =
      RunCommand(ShellQuote(kPython) +
                 " -c 'import sys,zipfile; i=zipfile.ZipFile(sys.argv[1]).getinfo(\"b.png\"); "
                 "print(i.compress_size, i.file_size)' " +
                 ShellQuote(archive));
  EXPECT_EQ(sizes.out, "1200000 1200000\n");
}

// Files are encrypted (AES-256 unless asked otherwise), folders never; the
// weak cipher is warned against, and the password is never shown.
TEST_F(AddVerbs, EncryptedEntriesReadBackWithThePassword) {
  const struct {
    Lines args;
    std::string warning;
    std::string tester;
    Lines entries;  // name, encrypted, method, AES key strength
  } cases[] = {
      {{"add", "--password", "pw", "--encrypt", "zipcrypto", "a.zip", "tree/sub"},
       "parcelon: warning: zipcrypto is weak and easily broken; use aes256 unless a reader knows "
       "nothing else\n",
       "unzip -P pw -tqq ",
       {"tree/sub/ 0 0 -", "tree/sub/c.kml 1 8 -", "tree/sub/skip.tmp 1 8 -"}},
      {{"move", "--password=pw", "a.zip", "tree/build"},
       "",
       "7z t -ppw ",
       {"tree/build/ 0 0 -", "tree/build/d.kml 1 99 3"}},
  };
  for (const auto& c : cases) {
    std::remove(archive.c_str());
    const CommandResult result = Parcelon(c.args);
    EXPECT_EQ(result.status, 0) << c.args[0] << ": " << result.err;
    EXPECT_EQ(result.out + result.err, c.warning);
    const CommandResult tested = RunCommand(c.tester + ShellQuote(archive));
    EXPECT_EQ(tested.status, 0) << c.tester << tested.out << tested.err;
    const CommandResult read = RunCommand(
        ShellQuote(kPython) +
        " -c 'import sys,zipfile\n"
        "for i in sorted(zipfile.ZipFile(sys.argv[1]).infolist(), key=lambda i: i.filename):\n"
        "  print(i.filename, i.flag_bits & 1, i.compress_type, "
        "i.extra[-3] if i.compress_type == 99 else \"-\")' " +
        ShellQuote(archive));
    Lines lines;
    std::istringstream in(read.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    EXPECT_EQ(lines, c.entries) << read.err;
  }
}

TEST_F(AddVerbs, BadUsageExitsWithTwoAndTouchesNothing) {
  const Lines cases[] = {
      {"add"},
      {"move", "a.zip"},
      {"add", "--level", "x", "a.zip", "tree"},
      {"add", "--store-path", "absolute", "a.zip", "tree"},
      {"move", "--bogus", "a.zip", "tree"},
      {"add", "a.zip", "tree", "--exclude"},
      {"add", "--encrypt", "rot13", "--password", "pw", "a.zip", "tree"},
      {"add", "--password=", "a.zip", "tree"},
      // Without a terminal to ask the password on.
      {"move", "--encrypt", "aes128", "a.zip", "tree"},
  };
  for (const Lines& args : cases) {
    const CommandResult result = Parcelon(args);
    EXPECT_EQ(result.status, 2) << args.back();
    EXPECT_NE(result.err.find("usage: parcelon " + args[0]), std::string::npos) << result.err;
    EXPECT_FALSE(Exists(archive)) << args.back();
  }
  EXPECT_TRUE(Exists(tree + "/a.kml"));
}

}  // namespace
