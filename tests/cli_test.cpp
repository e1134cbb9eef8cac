// Runs the real kmlcompat-cli program; and every program for --help and --version.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "cli/json_text.h"
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
  EXPECT_NE(run.out.find("\n2 repaired, 0 already fine, 1 failed\n"), std::string::npos);
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

// The check refuses what the repair would refuse, with the same reason.
TEST(Cli, CheckSaysCannotRepairForWhatTheRepairRefuses) {
  ScratchDir dir;
  const std::string ro = dir.File("ro.kml"), z = dir.File("z.kml"), cut = dir.File("cut.kmz");
  const std::string txt = dir.File("t.txt"), locked = dir.File("locked");
  WriteAll(ro, kOld);
  ASSERT_EQ(chmod(ro.c_str(), 0444), 0);
  WriteAll(z, kOld + "\x1a more\n");
  WriteAll(dir.File("doc.kml"), kOld);
  ASSERT_EQ(
      testing_support::RunCommand("cd " + ShellQuote(dir.File("")) + " && zip -q -m c.kmz doc.kml")
          .status,
      0);
  const std::string kmz = ReadAll(dir.File("c.kmz"));
  WriteAll(cut, kmz.substr(0, kmz.size() - 10));
  WriteAll(txt, kOld);
  ASSERT_EQ(mkdir(locked.c_str(), 0755), 0);
  WriteAll(locked + "/in.kml", kOld);
  testing_support::UnwritableFolder unwritable(locked);
  std::vector<std::pair<std::string, std::string>> cases = {
      {ro, "read-only"}, {z, "Ctrl-Z"}, {cut, ""}, {txt, "not a KML or KMZ file"}};
  if (unwritable.Binds()) cases.push_back({locked + "/in.kml", "cannot be written"});
  for (const auto& [path, why] : cases) {
    SCOPED_TRACE(path);
    const CommandResult check = RunCli("--check " + ShellQuote(path));
    EXPECT_EQ(check.status, 1);
    EXPECT_NE(check.err.find(path + ": cannot repair: "), std::string::npos) << check.err;
    EXPECT_NE(check.err.find(why), std::string::npos);
    const size_t from = check.err.find(": cannot repair: ") + 17;
    const std::string reason = check.err.substr(from, check.err.find('\n', from) - from);
    EXPECT_EQ(check.err.find(reason), check.err.rfind(reason)) << "reason once: " << check.err;
    EXPECT_NE(check.out.find("0 need repair, 0 fine, 1 failed"), std::string::npos);
    const CommandResult json = RunCli("--check --json " + ShellQuote(path));
    EXPECT_NE(json.out.find("\"status\":\"cannot-repair\",\"reason\":"), std::string::npos);
    const CommandResult repair = RunCli("--no-backup " + ShellQuote(path));
    EXPECT_NE(repair.err.find(path + ": Process Failed"), std::string::npos) << repair.err;
  }
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

TEST(Cli, JsonStringsAreValidWhateverTheBytes) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain/a.kml", "\"plain/a.kml\""},
      {"q\"b\\", "\"q\\\"b\\\\\""},
      {std::string("\n\t\x01\x1f\0", 5), "\"\\n\\t\\u0001\\u001f\\u0000\""},
      {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x97\xba", "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x97\xba\""},
      {"a\xff\xc3", "\"a\\ufffd\\ufffd\""},  // stray and cut-off bytes
      {"\xc0\xaf\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\""},  // overlong, surrogate
  };
  for (const auto& [bytes, json] : cases) EXPECT_EQ(kmlcompat::JsonString(bytes), json) << bytes;
}

// A folder tree of every kind of file a recursive run meets.
class CliTree : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string kmz = testing_support::CorpusDir() + "/giscore__etna_kml21_jpg.kmz";
    if (access(kmz.c_str(), R_OK) != 0) GTEST_SKIP() << "no corpus";
    for (const char* folder : {"tree", "tree/sub", "tree/x.kml", "tmp"})
      ASSERT_EQ(mkdir(dir_.File(folder).c_str(), 0755), 0);
    WriteAll(Tree("etna.kmz"), ReadAll(kmz));
    const std::string ogc = "<kml xmlns=\"http://www.opengis.net/kml/2.2\">";
    const std::string old = "<kml xmlns=\"http://earth.google.com/kml/2.1\">";
    const std::string clean = "<coordinates>1,2,3 4,5,6</coordinates></kml>\n";
    const std::string blanks = "<coordinates>1, 2, 3 4,5,6</coordinates></kml>\n";
    WriteAll(Tree("good.kml"), ogc + clean);
    WriteAll(Tree("ns.KML"), old + clean);
    WriteAll(Tree("bad\xff.kml"), ogc + blanks);
    WriteAll(Tree("sub/tuples.kml"), ogc + "\n" + blanks);
    WriteAll(Tree("sub/both.Kml"), old + blanks);
    WriteAll(Tree("sub/broken.kml"), "not a map\n");
    WriteAll(Tree("sub/notes.txt"), old + blanks);
    WriteAll(Tree("x.kml/inner.kml"), old + clean);
    ASSERT_EQ(symlink("sub", Tree("link-dir").c_str()), 0);
    ASSERT_EQ(symlink("sub/both.Kml", Tree("link.kml").c_str()), 0);
  }
  std::string Tree(const std::string& name) const { return dir_.File("tree/" + name); }
  // Runs the program on the tree with a scratch folder of its own.
  CommandResult Run(const std::string& options) const {
    return testing_support::RunCommand("TMPDIR=" + ShellQuote(dir_.File("tmp")) + " " +
                                       ShellQuote(KMLCOMPAT_CLI) + " " + options + " " +
                                       ShellQuote(Tree("")));
  }
  // Every name below the folder, with its kind, size and checksum.
  std::string Listing() const {
    return testing_support::RunCommand("cd " + ShellQuote(dir_.path()) +
                                       " && find . -printf '%p %y %s %l\\n' | sort"
                                       " && find . -type f -exec md5sum {} + | sort")
        .out;
  }
  ScratchDir dir_;
};

// Lines "PATH KIND CHANGES STATUS ENTRIES" of the program's JSON output,
// paths relative to the tree.
std::string Summarised(const std::string& json_lines, const std::string& tree) {
  const std::string script =
      "import json,sys\n"
      "for l in sys.stdin:\n"
      "  o=json.loads(l)\n"
      "  e=[x['name']+'='+','.join(x['changes'])+'='+x['status'] for x in o.get('entries',[])]\n"
      "  print(o['path'][len(sys.argv[1]):],o['kind'],','.join(o['changes']),o['status'],*e)\n";
  testing_support::ScratchDir dir;
  WriteAll(dir.File("out"), json_lines);
  return testing_support::RunCommand("PYTHONIOENCODING=utf-8 python3 -c " + ShellQuote(script) +
                                     " " + ShellQuote(tree) + " < " + ShellQuote(dir.File("out")))
      .out;
}

TEST_F(CliTree, CheckReportsWhatNeedsRepairAndWritesNothing) {
  const std::string before = Listing();
  CommandResult run = Run("--check --json -r");
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(Summarised(run.out, Tree("")),
            "bad\xef\xbf\xbd.kml kml tuples needs-repair\n"
            "etna.kmz kmz namespace needs-repair doc.kml=namespace=needs-repair\n"
            "good.kml kml  fine\n"
            "ns.KML kml namespace needs-repair\n"
            "sub/both.Kml kml namespace,tuples needs-repair\n"
            "sub/broken.kml kml  cannot-repair\n"
            "sub/tuples.kml kml tuples needs-repair\n"
            "x.kml/inner.kml kml namespace needs-repair\n");
  EXPECT_TRUE(run.err.ends_with("\n6 need repair, 1 fine, 1 failed\n")) << run.err;
  EXPECT_EQ(Listing(), before);
}

TEST_F(CliTree, RecursiveRunRepairsExactlyTheFilesThatNeedIt) {
  CommandResult run = Run("--json --recursive");
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(Summarised(run.out, Tree(""))
                .find("etna.kmz kmz namespace repaired doc.kml=namespace="
                      "repaired\ngood.kml kml  fine\n"),
            std::string::npos)
      << run.out;
  EXPECT_TRUE(run.err.ends_with("\n6 repaired, 1 already fine, 1 failed\n")) << run.err;
  const std::string backups = testing_support::RunCommand("cd " + ShellQuote(Tree("")) +
                                                          " && find . -name '*.Backup' | sort")
                                  .out;
  EXPECT_EQ(backups,
            "./bad\xff.kml.Backup\n./etna.kmz.Backup\n./ns.KML.Backup\n./sub/both.Kml.Backup\n"
            "./sub/tuples.kml.Backup\n./x.kml/inner.kml.Backup\n");
  CommandResult again = Run("--check -r");
  EXPECT_EQ(again.status, 1);
  EXPECT_TRUE(again.out.ends_with("\n0 need repair, 7 fine, 1 failed\n")) << again.out;
}

// Every KML and KMZ file of the corpus repaired by four workers prints, ends
// and leaves the files as one worker does.
TEST(Cli, JobsPrintAndRepairAsOneJobDoes) {
  const std::vector<std::string> names = testing_support::CorpusFiles({".kml", ".kmz"});
  if (names.empty()) GTEST_SKIP() << "no corpus";
  ScratchDir dir;
  CommandResult runs[2];
  for (const int jobs : {1, 4}) {
    const std::string tree = dir.File("j" + std::to_string(jobs));
    ASSERT_EQ(mkdir(tree.c_str(), 0755), 0);
    for (const std::string& name : names)
      WriteAll(tree + "/" + name, ReadAll(testing_support::CorpusDir() + "/" + name));
    runs[jobs / 4] = RunCli("-j " + std::to_string(jobs) + " -r " + ShellQuote(tree) + "/");
  }
  const auto same_paths = [&](std::string text) {
    for (size_t at; (at = text.find(dir.File("j4"))) != std::string::npos;)
      text.replace(at, dir.File("j4").size(), dir.File("j1"));
    return text;
  };
  EXPECT_EQ(runs[1].status, runs[0].status);
  EXPECT_EQ(same_paths(runs[1].out), runs[0].out);
  EXPECT_EQ(same_paths(runs[1].err), runs[0].err);
  for (const std::string& name : names) {
    if (!name.ends_with(".kml")) continue;
    EXPECT_EQ(ReadAll(dir.File("j4/" + name)), ReadAll(dir.File("j1/" + name))) << name;
  }
}

}  // namespace

// Mistakes people make, and what each program says of them: the file, the
// reason in words, and exit status 1.
TEST(Cli, MistakesNameTheFileAndTheReason) {
  ScratchDir dir;
  const std::string make =
      "mkdir ro && printf 'hello' > a.txt && printf junk > junk.zip && cp junk.zip junk.kmz && "
      "zip -q a.zip a.txt && python3 -c '"
      "import zipfile\nz=zipfile.ZipFile(\"nameless.zip\",\"w\")\n"
      "for n in [\"..\", \".\", \"/\", \"a.txt\"]: z.writestr(zipfile.ZipInfo(n), \"x\")\n"
      "for a in [\"crc.kmz\", \"mixed.kmz\"]:\n"
      " z=zipfile.ZipFile(a,\"w\"); z.writestr(\"doc.kml\", \"<kml/>\")\n"
      " if a[0]==\"m\": z.writestr(\"old.kml\", \"<kml "
      "xmlns=\\\"http://earth.google.com/kml/2.0\\\"/>\")\n"
      " z.close(); d=bytearray(open(a,\"rb\").read())\n"
      " for s in [b\"PK\\x03\\x04\", b\"PK\\x01\\x02\"]: d[d.find(s)+14+2*(s[2]==1)]^=1\n"
      " open(a,\"wb\").write(d)'";
  ASSERT_EQ(testing_support::RunCommand("cd " + ShellQuote(dir.path()) + " && " + make).status, 0);
  WriteAll(dir.File("ro/old.kml"), kOld);
  testing_support::UnwritableFolder locked(dir.File("ro"));
  const std::string denied = geteuid() == 0 ? "Operation not permitted" : "Permission denied";
  const std::string parcelon = ShellQuote(PARCELON_PROGRAM) + " ";
  const std::string cli = ShellQuote(KMLCOMPAT_CLI) + " ";
  const struct {
    std::string command;
    std::string message;
    bool needs_lock;
  } cases[] = {
      {parcelon + "list missing.zip",
       "parcelon: missing.zip: cannot open: No such file or directory\n", false},
      {parcelon + "test junk.zip",
       "parcelon: junk.zip: not a ZIP archive (no end of central directory record found)\n", false},
      {parcelon + "add ro/new.zip a.txt", "parcelon: ro/new.zip: cannot write: " + denied + "\n",
       true},
      {parcelon + "extract a.zip ro/out",
       "parcelon: a.zip: cannot create folder ro/out: " + denied + "\n", true},
      {parcelon + "extract a.zip a.txt/out",
       "parcelon: a.zip: cannot create folder a.txt/out: Not a directory\n", false},
      {parcelon + "extract nameless.zip out",
       "parcelon: ..: skipped: its name is empty once '.', '..' and '/' parts are dropped\n",
       false},
      {cli + "missing.kml", "kmlcompat-cli: cannot open missing.kml: No such file or directory\n",
       false},
      {cli + "-r missing-folder", "kmlcompat-cli: no such file or folder: missing-folder\n", false},
      {cli + "junk.kmz",
       "kmlcompat-cli: junk.kmz: not a ZIP archive (no end of central directory record found)\n",
       false},
      {cli + "ro/old.kml", "kmlcompat-cli: the folder of ro/old.kml cannot be written", true},
      {cli + "crc.kmz",
       "kmlcompat-cli: doc.kml in crc.kmz: it could not be decoded: damaged data: the sizes or the "
       "CRC-32 do not match",
       false},
      {cli + "--check crc.kmz",
       "crc.kmz: cannot repair: doc.kml in crc.kmz: it could not be decoded: damaged data", false},
      {cli + "--no-backup mixed.kmz </dev/null 1>&2",
       "doc.kml in mixed.kmz: damaged data: the sizes or the CRC-32 do not match", false},
  };
  for (const auto& c : cases) {
    if (c.needs_lock && !locked.Binds()) continue;
    const CommandResult run =
        testing_support::RunCommand("cd " + ShellQuote(dir.path()) + " && " + c.command);
    EXPECT_EQ(run.status, 1) << c.command;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.command << "\n" << run.err;
    EXPECT_EQ(run.err.find("Native error"), std::string::npos) << c.command << "\n" << run.err;
  }
  EXPECT_EQ(dir.List(),
            (std::vector<std::string>{"a.txt", "a.zip", "crc.kmz", "junk.kmz", "junk.zip",
                                      "mixed.kmz", "nameless.zip", "out", "ro"}));
}

// A path of Latin-1 bytes that are no UTF-8 is shown by its own bytes in
// every message, the engine's included, and as \ufffd in JSON: never in a
// mangled or surrogate form.
TEST(Cli, MessagesShowAPathByItsOwnBytes) {
  ScratchDir dir;
  WriteAll(dir.File("caf\xE9.kmz"), "junk");
  WriteAll(dir.File("caf\xE9.zip"), "junk");
  const std::string parcelon = ShellQuote(PARCELON_PROGRAM) + " ";
  const std::string cli = ShellQuote(KMLCOMPAT_CLI) + " ";
  const std::pair<std::string, std::string> cases[] = {
      {parcelon + "list --verbose caf\xE9.zip", "parcelon: caf\xE9.zip: not a ZIP"},
      {parcelon + "test --verbose n\xE9.zip", "engine: File \"n\xE9.zip\" not found"},
      {parcelon + "add --verbose n\xE9/caf\xE9.zip caf\xE9.kmz", "parcelon: n\xE9/caf\xE9.zip: "},
      {parcelon + "extract caf\xE9.zip o", "parcelon: caf\xE9.zip: not a ZIP"},
      {cli + "-v caf\xE9.kmz", "kmlcompat-cli: caf\xE9.kmz: not a ZIP"},
      {cli + "--check caf\xE9.kmz", "caf\xE9.kmz: cannot repair: not a ZIP"},
      {cli + "-r n\xE9", "no such file or folder: n\xE9\n"},
      {cli + "--json caf\xE9.kmz 2>&1", "{\"path\":\"caf\\ufffd.kmz\""},
  };
  for (const auto& [command, message] : cases) {
    const CommandResult run =
        testing_support::RunCommand("cd " + ShellQuote(dir.path()) + " && " + command);
    const std::string text = run.out + run.err;
    EXPECT_NE(text.find(message), std::string::npos) << command << "\n" << text;
    EXPECT_EQ(text.find("\xED\xB3"), std::string::npos) << command << "\n" << text;
    EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos) << command << "\n" << text;
  }
}
