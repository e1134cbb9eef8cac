// `parcelon extract`, `parcelon test` and `parcelon delete` run as programs
// on archives that Info-ZIP zip makes of a small tree.
#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace {

using testing_support::CommandResult;
using testing_support::ReadAll;
using testing_support::RunCommand;
using testing_support::ScratchDir;
using testing_support::ShellQuote;
using Lines = std::vector<std::string>;

const std::string kParcelon = PARCELON_PROGRAM;

class EntryVerbs : public testing::Test {
 protected:
  EntryVerbs() {
    Shell(
        "mkdir -p tree/sub tree/empty && printf one > tree/a.kml && seq 1 50000 > tree/sub/b.kml "
        "&& printf three > tree/c.txt && chmod 750 tree/c.txt && zip -qr a.zip tree");
  }
  void Shell(const std::string& command) {
    const CommandResult result = RunCommand("cd " + ShellQuote(dir.path()) + " && " + command);
    ASSERT_EQ(result.status, 0) << command << "\n" << result.err;
  }
  // Runs parcelon in the scratch folder, with no terminal to ask.
  CommandResult Parcelon(const Lines& args) {
    std::string command = "cd " + ShellQuote(dir.path()) + " && " + ShellQuote(kParcelon);
    for (const std::string& arg : args) command.append(" ").append(ShellQuote(arg));
    return RunCommand(command + " < /dev/null");
  }
  // The files below `folder` of the scratch folder, with their modes, sorted.
  std::string Tree(const std::string& folder) {
    return RunCommand("cd " + ShellQuote(dir.File(folder)) +
                      " && find . -mindepth 1 -printf '%P %m\\n' | sort")
        .out;
  }

  ScratchDir dir;
};

TEST_F(EntryVerbs, ExtractBringsTheTreeBackAndKeepsWhatExists) {
  CommandResult result = Parcelon({"extract", "a.zip", "out/new"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out + result.err, "");
  EXPECT_EQ(RunCommand("diff -r " + ShellQuote(dir.File("tree")) + " " +
                       ShellQuote(dir.File("out/new/tree")))
                .status,
            0);
  EXPECT_EQ(Tree("out/new/tree"), Tree("tree"));  // modes too
  testing_support::WriteAll(dir.File("out/new/tree/a.kml"), "changed");
  result = Parcelon({"extract", "a.zip", "out/new", "*.kml"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "parcelon: 2 existing files kept (--overwrite always replaces them)\n");
  EXPECT_EQ(ReadAll(dir.File("out/new/tree/a.kml")), "changed");
  result = Parcelon({"extract", "--overwrite", "always", "a.zip", "out/new", "*/a.kml"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(ReadAll(dir.File("out/new/tree/a.kml")), "one");
  result = Parcelon({"extract", "--no-dirs", "--quiet", "a.zip", "flat", "*.kml", "none"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "parcelon: none: nothing matches\n");
  EXPECT_EQ(Tree("flat"), "a.kml 644\nb.kml 644\n");
}

TEST_F(EntryVerbs, TestNamesTheDamagedEntryAndExitsWithOne) {
  CommandResult result = Parcelon({"test", "a.zip"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "tested 6 entries: no errors\n");
  // One byte in the middle of b.kml's deflated data.
  Shell(
      "python3 -c 'import sys,zipfile; i=zipfile.ZipFile(\"a.zip\").getinfo(\"tree/sub/b.kml\"); "
      "print(i.header_offset+30+len(i.filename)+len(i.extra)+i.compress_size//2)' > at && "
      "printf '\\125' | dd of=a.zip bs=1 seek=$(cat at) conv=notrunc 2>/dev/null");
  result = Parcelon({"test", "--verbose", "a.zip"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "tested 6 entries: 1 failed\n");
  EXPECT_TRUE(
      result.err.starts_with("parcelon: tree/sub/b.kml: damaged data: the sizes or the "
                             "CRC-32 do not match"))
      << result.err;
  EXPECT_NE(result.err.find("\nparcelon: engine: Invalid size or check sum of file or "
                            "unsupported compression format - Native error: 00008\n"),
            std::string::npos)
      << result.err;
  result = Parcelon({"extract", "--quiet", "a.zip", "out"});
  EXPECT_EQ(result.status, 1);
  std::string expected = Tree("tree");
  expected.erase(expected.find("sub/b.kml"), std::string("sub/b.kml 644\n").size());
  EXPECT_EQ(Tree("out/tree"), expected);  // all but the damaged file
}

// An AES and a traditionally encrypted entry beside a plain one: --password
// opens them; without it (and no terminal) or with a wrong one each fails
// by name, without the password, and the rest goes on; list names the kinds.
TEST_F(EntryVerbs, EncryptedEntriesTakeThePasswordOption) {
  Shell(
      "cd tree && 7z a -tzip -ppw -mem=AES256 ../e.zip a.kml > /dev/null && "
      "zip -q -P pw ../e.zip sub/b.kml && zip -q ../e.zip c.txt");
  CommandResult result = Parcelon({"test", "--password", "pw", "e.zip"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "tested 3 entries: no errors\n");
  result = Parcelon({"extract", "--quiet", "e.zip", "out"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "parcelon: a password is needed for a.kml: give --password\n"
            "parcelon: a password is needed for sub/b.kml: give --password\n");
  EXPECT_EQ(Tree("out"), "c.txt 750\nsub 755\n");  // the folder, but no file
  result = Parcelon({"test", "--password=secret", "e.zip", "a.kml"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "tested 1 entry: 1 failed\n");
  EXPECT_EQ(result.err, "parcelon: a.kml: wrong password\n");
  result = Parcelon({"extract", "--password", "pw", "e.zip", "out"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadAll(dir.File("out/sub/b.kml")), ReadAll(dir.File("tree/sub/b.kml")));
  result = Parcelon({"list", "--tsv", "e.zip"});
  EXPECT_EQ(RunCommand("printf %s " + ShellQuote(result.out) + " | cut -f 1,7,8").out,
            "a.kml\t1\taes256\nsub/b.kml\t1\tzipcrypto\nc.txt\t0\tnone\n");
}

TEST_F(EntryVerbs, DeleteRemovesTheMatchesInOneUpdate) {
  CommandResult result = Parcelon({"delete", "a.zip", "*.kml", "tree/empty"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "deleted 3 entries\n");
  EXPECT_EQ(RunCommand("unzip -Z1 " + ShellQuote(dir.File("a.zip")) + " | sort").out,
            "tree/\ntree/c.txt\ntree/sub/\n");
  EXPECT_EQ(RunCommand("unzip -tqq " + ShellQuote(dir.File("a.zip"))).status, 0);
  const std::string before = ReadAll(dir.File("a.zip"));
  result = Parcelon({"delete", "a.zip", "none"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "parcelon: none: nothing matches\n");
  EXPECT_EQ(ReadAll(dir.File("a.zip")), before);
}

TEST_F(EntryVerbs, BadUsageExitsWithTwoAndFailuresWithOne) {
  const Lines usage[] = {
      {"extract", "a.zip"},
      {"extract", "--overwrite", "sometimes", "a.zip", "out"},
      {"test"},
      {"test", "--no-dirs", "a.zip"},
      {"delete", "a.zip"},
      {"delete", "--bogus", "a.zip", "*"},
  };
  for (const Lines& args : usage) {
    const CommandResult result = Parcelon(args);
    EXPECT_EQ(result.status, 2) << args.back();
    EXPECT_NE(result.err.find("usage: parcelon " + args[0]), std::string::npos) << result.err;
  }
  for (const char* verb : {"extract", "test", "delete"}) {
    CommandResult result = Parcelon({verb, "--help"});
    EXPECT_EQ(result.status, 0) << verb;
    EXPECT_TRUE(result.out.starts_with(std::string("usage: parcelon ") + verb)) << result.out;
    result = Parcelon({verb, "absent.zip", "out"});
    EXPECT_EQ(result.status, 1) << verb;
    EXPECT_EQ(result.err, "parcelon: absent.zip: cannot open: No such file or directory\n");
  }
  EXPECT_NE(RunCommand("test -e " + ShellQuote(dir.File("out"))).status, 0);
}

}  // namespace
