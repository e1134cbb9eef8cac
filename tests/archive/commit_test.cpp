// The commit of an update transaction, through the archiver: what it writes
// and copies, and that a failure or a crash at any file-system call leaves
// the archive exactly as it was or exactly as it should become.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <tuple>

#include <gtest/gtest.h>

#include "archive/parcelon.h"
#include "archive/update/rollback_journal.h"
#include "platform/iconv_code_pages.h"
#include "platform/memory_stream.h"
#include "platform/scripted_dialogs.h"
#include "platform/unicode.h"
#include "tests/archive/engine_error.h"
#include "tests/faulty_file_system.h"
#include "tests/test_support.h"

namespace parcelon {
namespace {

using namespace testing_support;

constexpr uint16_t kFixedDate = 0x5A21;  // entries get a fixed time, so runs compare byte for byte
constexpr uint16_t kFixedTime = 0x6000;

struct Content {
  std::u16string name;
  std::string data;
};

class CommitTest : public testing::Test {
 protected:
  CommitTest() {
    archiver.SetFileName(platform::Utf8ToUtf16(path));
    archiver.SetZip64Mode(zmAuto);
  }

  // Queues `contents` as stream entries in the open transaction.
  void Queue(const std::vector<Content>& contents) {
    for (const Content& content : contents) {
      sources.push_back(std::make_unique<platform::MemoryStream>(
          std::vector<uint8_t>(content.data.begin(), content.data.end())));
      archiver.AddStream(content.name, *sources.back());
    }
    TPLDirArray& entries = archiver.DirManager()->Dir();
    for (int32_t i = 0; i < entries.Count(); ++i) {
      if (!entries.Items(i).Modified) continue;
      entries.Items(i).FileDate = kFixedDate;
      entries.Items(i).FileTime = kFixedTime;
    }
  }
  // Writes a new archive holding `contents`.
  void Create(const std::vector<Content>& contents) {
    archiver.OpenArchive(fmCreate);
    archiver.BeginUpdate();
    Queue(contents);
    archiver.EndUpdate();
    archiver.CloseArchive();
  }
  // Opens the archive, queues `contents`, and commits.
  void Update(const std::vector<Content>& contents) {
    archiver.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);
    archiver.BeginUpdate();
    Queue(contents);
    archiver.EndUpdate();
    archiver.CloseArchive();
  }
  // The names and CRC-32 values Python's zipfile reads, after testzip().
  std::string PeerView() {
    const CommandResult result = RunCommand(
        "python3 -c 'import sys,zipfile\n"
        "z=zipfile.ZipFile(sys.argv[1]); assert z.testzip() is None\n"
        "print(\";\".join(i.filename+\"=\"+z.read(i).decode() for i in z.infolist()))' " +
        ShellQuote(path));
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
  }

  ScratchDir dir;
  std::string path = dir.File("a.zip");
  platform::ScriptedDialogs dialogs;
  platform::IconvCodePages code_pages;
  FaultyFileSystem fs;
  TParcelon archiver{nullptr, {&dialogs, &code_pages, &fs}};
  std::vector<std::unique_ptr<platform::MemoryStream>> sources;
};

TEST_F(CommitTest, ReplacingAnEntryRewritesOnlyFromItAndCopiesTheRest) {
  Create({{u"a.kml", "old kml"}, {u"b.png", "png bytes"}, {u"c.txt", "text"}});
  const std::string before = ReadAll(path);
  Update({{u"b.png", "new png"}});
  EXPECT_EQ(PeerView(), "a.kml=old kml;b.png=new png;c.txt=text\n");
  const std::string after = ReadAll(path);
  const size_t b_offset = before.find("b.png") - 30;
  EXPECT_EQ(after.substr(0, b_offset), before.substr(0, b_offset));  // untouched prefix
  const size_t c_before = before.find("c.txt") - 30, c_after = after.find("c.txt") - 30;
  EXPECT_EQ(after.substr(c_after, 30 + 5 + 4), before.substr(c_before, 30 + 5 + 4));
  EXPECT_FALSE(fs.Exists(JournalPathFor(path)));
}

TEST_F(CommitTest, AppendingCutsAtTheOldDirectoryAndKeepsEveryEntry) {
  Create({{u"a", "1"}});
  const std::string before = ReadAll(path);
  fs.ClearCalls();
  Update({{u"b", "2"}});
  EXPECT_EQ(PeerView(), "a=1;b=2\n");
  const std::string after = ReadAll(path);
  EXPECT_EQ(after.substr(0, 30 + 1 + 1), before.substr(0, 30 + 1 + 1));
  // The journal held the old central directory only.
  const auto trace = fs.Trace(kOpCreate | kOpRemove);
  EXPECT_EQ(trace, (std::vector<std::string>{"create " + JournalPathFor(path),
                                             "remove " + JournalPathFor(path)}));
}

// Both ways of committing: in place with a journal, and into a new file
// renamed over the archive (taken here whatever the tail's length).
const int64_t kRewriteThresholds[] = {int64_t{1} << 40, 0};

// A failure at any file-system call of a commit, answered by the rollback,
// leaves the archive byte for byte as it was and the directory as the
// snapshot; a second commit then succeeds.
TEST_F(CommitTest, AFailureAtAnyCallLeavesTheArchiveAsItWas) {
  Create({{u"a", "first"}, {u"b", std::string(70000, 'b')}, {u"c", "third"}});
  const std::string before = ReadAll(path);
  for (const int64_t threshold : kRewriteThresholds) {
    archiver.SetRewriteThreshold(threshold);
    for (int64_t n = 1;; ++n) {
      archiver.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);
      archiver.BeginUpdate();
      Queue({{u"b", "changed"}, {u"d", "added"}});
      fs.Inject({n});
      bool failed = false;
      try {
        archiver.EndUpdate();
      } catch (const std::exception&) {
        failed = true;
      }
      fs.Inject({});
      if (failed && ReadAll(path) == before) {
        EXPECT_EQ(archiver.DirManager()->Dir().Count(), 3) << n;
      } else {  // done, or the folder sync after the commit point failed: not undone
        EXPECT_EQ(PeerView(), "a=first;b=changed;c=third;d=added\n") << n;
      }
      archiver.CloseArchive();
      archiver.OpenArchive(fmOpenRead | fmShareDenyWrite);  // settles what a failure left
      archiver.CloseArchive();
      EXPECT_EQ(dir.List(), std::vector<std::string>{"a.zip"}) << n;
      WriteAll(path, before);
      if (!failed) break;
    }
  }
}

// A full disk at any write of the commit: the default prompt offers Abort,
// Retry and Ignore for the entry being written; Abort restores the archive.
TEST_F(CommitTest, AFullDiskAtAnyWriteIsOfferedAndAbortRestores) {
  Create({{u"a", "first"}, {u"b", std::string(70000, 'b')}});
  const std::string before = ReadAll(path);
  for (int64_t n = 1;; ++n) {
    archiver.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);
    archiver.BeginUpdate();
    Queue({{u"a", std::string(70000, 'a')}});
    dialogs.failure_answers = {platform::FailureAnswer::kAbort};
    fs.ClearCalls();
    fs.Inject({n, kOpWrite, FaultEffect::kDiskFull});
    bool failed = false;
    try {
      archiver.EndUpdate();
    } catch (const std::exception&) {
      failed = true;  // a write outside an entry's data: the stream error ends the commit
    }
    fs.Inject({});
    archiver.CloseArchive();
    if (fs.Count(kOpWrite) < n) break;  // every write is past
    EXPECT_TRUE(failed || dialogs.failure_answers.empty()) << n;
    EXPECT_EQ(ReadAll(path), before) << n;
  }
  ASSERT_FALSE(dialogs.calls().empty());
  EXPECT_NE(dialogs.calls().back().text.find("Disk is full"), std::string::npos);
}

// Forks a child that commits and dies at the Nth file-system call, for
// every N; the next open then finds exactly the old or exactly the new
// archive.
TEST_F(CommitTest, ACrashAtAnyCallLeavesTheOldOrTheNewArchive) {
  Create({{u"a", "first"}, {u"b", std::string(70000, 'b')}, {u"c", "third"}});
  const std::string before = ReadAll(path);
  const std::vector<Content> change = {{u"a", "changed"}, {u"d", "added"}};
  for (const int64_t threshold : kRewriteThresholds) {
    for (int64_t n = 1;; ++n) {
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        archiver.SetRewriteThreshold(threshold);
        archiver.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);
        archiver.BeginUpdate();
        Queue(change);
        fs.Inject({n, kOpAll, FaultEffect::kDie});
        archiver.EndUpdate();
        _exit(0);
      }
      int status = 0;
      waitpid(child, &status, 0);
      ASSERT_TRUE(WIFEXITED(status));
      TParcelon reader{nullptr, {&dialogs, &code_pages}};
      reader.SetFileName(platform::Utf8ToUtf16(path));
      reader.OpenArchive(fmOpenRead | fmShareDenyWrite);  // recovers
      reader.CloseArchive();
      EXPECT_FALSE(fs.Exists(JournalPathFor(path))) << n;
      if (ReadAll(path) != before) {
        EXPECT_EQ(PeerView(), "a=changed;b=" + std::string(70000, 'b') + ";c=third;d=added\n") << n;
      }
      EXPECT_EQ(dir.List(), std::vector<std::string>{"a.zip"}) << n;  // nothing left over
      WriteAll(path, before);
      if (WEXITSTATUS(status) == 0) break;
      ASSERT_EQ(WEXITSTATUS(status), FaultyFileSystem::kDeathStatus);
    }
  }
}

TEST_F(CommitTest, ACancelAtTheStartWritesNothingAndDropsTheQueue) {
  Create({{u"a", "1"}});
  const std::string before = ReadAll(path);
  archiver.OnOverallProgress = [](TPLBaseArchiver&, double, TPLProcessOperation,
                                  TPLProgressPhase phase,
                                  bool& cancel) { cancel = phase == ppStart; };
  Update({{u"b", "2"}});
  EXPECT_EQ(ReadAll(path), before);
  archiver.OnOverallProgress = nullptr;
  archiver.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);
  archiver.BeginUpdate();
  archiver.EndUpdate();  // nothing queued: the directory is written again
  EXPECT_EQ(archiver.DirManager()->Dir().Count(), 1);
  archiver.CloseArchive();
  EXPECT_EQ(PeerView(), "a=1\n");
}

// A deletion writes no new data, yet its commit copies the rest: the overall
// progress climbs with each entry copied, after the deletion's own events.
TEST_F(CommitTest, ProgressClimbsWhileADeletionCopiesTheRest) {
  Create({{u"a", "1"}, {u"b", "22"}, {u"c", "333"}, {u"d", "4444"}});
  std::vector<std::pair<double, TPLProgressPhase>> events;
  archiver.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);
  archiver.OnOverallProgress = [&](TPLBaseArchiver&, double percent, TPLProcessOperation,
                                   TPLProgressPhase phase,
                                   bool&) { events.emplace_back(percent, phase); };
  archiver.BeginUpdate();
  archiver.DeleteFiles(u"a");
  events.clear();
  archiver.EndUpdate();
  archiver.CloseArchive();
  EXPECT_EQ(PeerView(), "b=22;c=333;d=4444\n");
  // 2, 3 and 4 of the 9 bytes copied.
  const std::vector<std::pair<double, TPLProgressPhase>> expected = {
      {0, ppStart}, {200.0 / 9, ppProcess}, {500.0 / 9, ppProcess}, {100, ppProcess}, {100, ppEnd}};
  EXPECT_EQ(events, expected);
}

TEST_F(CommitTest, FailedEntriesAreRetriedFromTheirStartSkippedOrAborted) {
  Create({{u"a", "1"}, {u"b", "2"}});
  const std::string before = ReadAll(path);
  std::vector<TPLAction> answers;
  archiver.OnProcessFileFailure = [&](TPLBaseArchiver&, const std::u16string&, TPLProcessOperation,
                                      int32_t, int32_t, const std::u16string&, TPLAction& action) {
    action = answers.empty() ? fxaAbort : answers.front();
    if (!answers.empty()) answers.erase(answers.begin());
  };
  archiver.SetBaseDir(platform::Utf8ToUtf16(dir.path()));
  const auto update_a = [&](FaultyFileSystem::Fault fault) {
    archiver.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);
    archiver.BeginUpdate();
    archiver.MarkItemForUpdate(0, platform::Utf8ToUtf16(dir.File("a")));
    archiver.DirManager()->Dir().Items(0).FileDate = kFixedDate;
    fs.Inject(fault);
    archiver.EndUpdate();
    archiver.CloseArchive();
  };
  update_a({});  // no file "a": Abort
  EXPECT_EQ(ReadAll(path), before);
  answers = {fxaIgnore};
  update_a({});  // Ignore: the old version stays
  EXPECT_EQ(PeerView(), "a=1;b=2\n");
  WriteAll(dir.File("a"), "3");
  answers = {fxaRetry};
  update_a({1, kOpOpen});  // the source's first open fails
  EXPECT_EQ(PeerView(), "a=3;b=2\n");
}

// Entries that do not lie in directory order: the entry listed first lies
// behind the one that changes, so it is rewritten too rather than cut off.
TEST_F(CommitTest, EntriesOutOfDirectoryOrderSurviveACommit) {
  const CommandResult made = RunCommand(
      "python3 -c 'import sys,zipfile\n"
      "z=zipfile.ZipFile(sys.argv[1],\"w\"); z.writestr(\"b.txt\",\"BBBB\"); "
      "z.writestr(\"a.txt\",\"AAAA\"); z.filelist.reverse(); z.close()' " +
      ShellQuote(path));
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(PeerView(), "a.txt=AAAA;b.txt=BBBB\n");
  Update({{u"b.txt", "new"}});
  EXPECT_EQ(PeerView(), "a.txt=AAAA;b.txt=new\n");
}

// The snapshot shares the texts the entries were read with; a failed commit
// gives entries whose name, comment and extra fields the transaction changed
// those they were read with back, and they are written as read.
TEST_F(CommitTest, AFailedCommitRestoresTheTextsOfChangedEntries) {
  const CommandResult made = RunCommand(
      "python3 -c 'import sys,zipfile\n"
      "z=zipfile.ZipFile(sys.argv[1],\"w\")\n"
      "for n in \"ab\":\n"
      " i=zipfile.ZipInfo(n+\".txt\"); i.comment=b\"note \"+n.encode()\n"
      " i.extra=b\"\\xfe\\xca\\x01\\x00\"+n.encode(); z.writestr(i,n)\n"
      "z.close()' " +
      ShellQuote(path));
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string before = ReadAll(path);
  archiver.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);
  archiver.BeginUpdate();
  TPLDirArray& entries = archiver.DirManager()->Dir();
  entries.SetName(0, u"renamed.txt");
  entries.Items(0).SetComment("changed");
  entries.Items(0).SetExtraFields({});
  entries.Items(0).Operation = poChangeComment;
  entries.Items(0).Modified = true;
  Queue({{u"c.txt", "c"}});
  fs.Inject({1});
  EXPECT_ANY_THROW(archiver.EndUpdate());
  fs.Inject({});
  ASSERT_EQ(entries.Count(), 2);
  for (int32_t i = 0; i < 2; ++i) {
    const std::string letter(1, static_cast<char>('a' + i));
    EXPECT_EQ(entries.Items(i).Name, platform::Utf8ToUtf16(letter + ".txt"));
    EXPECT_EQ(entries.Items(i).Comment(), "note " + letter);
    ASSERT_EQ(entries.Items(i).ExtraFields().size(), 1u);
    EXPECT_EQ(entries.Items(i).ExtraFields()[0].Data, std::vector<uint8_t>(1, letter[0]));
  }
  int32_t index = -1;
  EXPECT_TRUE(entries.Find(u"a.txt", index));
  EXPECT_EQ(ReadAll(path), before);
  archiver.BeginUpdate();
  Queue({{u"c.txt", "c"}});
  archiver.EndUpdate();
  archiver.CloseArchive();
  const std::string after = ReadAll(path);
  EXPECT_NE(after.find("note a"), std::string::npos);
  EXPECT_EQ(after.find("renamed"), std::string::npos);
  EXPECT_EQ(PeerView(), "a.txt=a;b.txt=b;c.txt=c\n");
}

// A commit that copies every entry behind the first and is undone before
// its commit point, cancelled half way or failing at its very last step (the
// rename of the new file), leaves every entry's offset, name and extra
// fields as they were, across the directory's record chunks.
TEST_F(CommitTest, AnUndoneCommitRestoresEveryCopiedEntry) {
  const CommandResult made = RunCommand(
      "python3 -c 'import sys,zipfile\n"
      "z=zipfile.ZipFile(sys.argv[1],\"w\")\n"
      "for n in range(2100):\n"
      " i=zipfile.ZipInfo(\"e%d\"%n); i.extra=b\"\\xfe\\xca\\x02\\x00\"+n.to_bytes(2,\"little\")\n"
      " z.writestr(i,str(n))\n"
      "z.close()' " +
      ShellQuote(path));
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string before = ReadAll(path);
  archiver.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);
  const TPLDirArray& entries = archiver.DirManager()->Dir();
  using Entry = std::tuple<uint64_t, std::u16string, std::vector<uint8_t>>;
  const auto view = [&entries] {
    std::vector<Entry> all;
    for (int32_t i = 0; i < entries.Count(); ++i) {
      const TDirItem& item = entries.Items(i);
      all.emplace_back(item.LocalHeaderOffset64(), item.Name.str(), item.ExtraFields().at(0).Data);
    }
    return all;
  };
  const std::vector<Entry> old = view();
  archiver.SetRewriteThreshold(0);
  const std::function<void()> undoes[] = {
      [this] {
        archiver.OnOverallProgress = [](TPLBaseArchiver&, double percent, TPLProcessOperation,
                                        TPLProgressPhase phase, bool& cancel) {
          cancel = phase == ppProcess && percent >= 50;
        };
      },
      [this] {
        fs.Inject({1, kOpRename});
      }};
  for (const auto& undo : undoes) {
    archiver.BeginUpdate();
    Queue({{u"e0", std::string(100, 'x')}});
    undo();
    try {
      archiver.EndUpdate();
    } catch (const std::exception&) {
      // Undone either way.
    }
    fs.Inject({});
    archiver.OnOverallProgress = nullptr;
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_TRUE(view() == old);
  }
  archiver.CloseArchive();
}

TEST_F(CommitTest, AnArchiveThatCannotBeRestoredIsRefused) {
  Create({{u"a", "1"}});
  archiver.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);
  archiver.BeginUpdate();
  Queue({{u"a", "2"}});
  // Taken while the new entry is encoded: the archive is cut and its
  // journal complete, as a crash at that moment would leave them.
  std::string cut, journal;
  archiver.OnFileProgress = [&](TPLBaseArchiver&, const std::u16string&, double,
                                TPLProcessOperation, TPLProgressPhase phase, bool&) {
    if (phase != ppProcess) return;
    cut = ReadAll(path);
    journal = ReadAll(JournalPathFor(path));
  };
  archiver.EndUpdate();
  archiver.CloseArchive();
  WriteAll(path, cut);  // the same file, as the crash left it
  WriteAll(JournalPathFor(path), journal);
  FaultyFileSystem refusing;
  TParcelon reader{nullptr, {&dialogs, &code_pages, &refusing}};
  reader.SetFileName(platform::Utf8ToUtf16(path));
  refusing.Inject({2, kOpOpen});  // the journal opens, the archive cannot be written
  EXPECT_THROW(reader.OpenArchive(fmOpenRead | fmShareDenyWrite), platform::EFOpenError);
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_EQ(ReadAll(path), cut);
  reader.OpenArchive(fmOpenRead | fmShareDenyWrite);  // now it can: restored
  reader.CloseArchive();
  EXPECT_FALSE(refusing.Exists(JournalPathFor(path)));
  EXPECT_EQ(PeerView(), "a=1\n");
}

TEST_F(CommitTest, AJournalIsAppliedOnlyWhenComplete) {
  Create({{u"a", "1"}});
  const std::string before = ReadAll(path);
  const std::string journal = JournalPathFor(path);
  WriteAll(journal, "PLJRNL\r\n half");  // a crash while it was written
  archiver.OpenArchive(fmOpenRead | fmShareDenyWrite);
  archiver.CloseArchive();
  EXPECT_FALSE(fs.Exists(journal));
  EXPECT_EQ(ReadAll(path), before);
}

// The position of the first line of `trace` that begins with `prefix`.
size_t Step(const std::vector<std::string>& trace, const std::string& prefix) {
  const auto found = std::find_if(trace.begin(), trace.end(), [&](const std::string& line) {
    return line.starts_with(prefix);
  });
  EXPECT_NE(found, trace.end()) << prefix;
  return static_cast<size_t>(found - trace.begin());
}

// The position of the first line of `trace` that is `line`.
size_t Exact(const std::vector<std::string>& trace, const std::string& line) {
  const auto found = std::find(trace.begin(), trace.end(), line);
  EXPECT_NE(found, trace.end()) << line;
  return static_cast<size_t>(found - trace.begin());
}

// Forks a child that creates the archive and dies at the Nth file-system
// call, for every N: there is then no archive or the complete one, and
// creating it again (which clears what the crash left) succeeds.
TEST_F(CommitTest, AnInterruptedCreationLeavesNoArchiveOrTheCompleteOne) {
  const std::vector<Content> contents = {{u"a", "first"}, {u"b", std::string(70000, 'b')}};
  const std::string expected = "a=first;b=" + std::string(70000, 'b') + "\n";
  for (int64_t n = 1;; ++n) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      fs.Inject({n, kOpAll, FaultEffect::kDie});
      Create(contents);
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (fs.Exists(path)) {
      EXPECT_EQ(PeerView(), expected) << n;
    }
    if (fs.Exists(path)) fs.Remove(path);  // a fresh creation each time
    Create(contents);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"a.zip"}) << n;  // nothing left over
    EXPECT_EQ(PeerView(), expected) << n;
    fs.Remove(path);
    if (WEXITSTATUS(status) == 0) break;
    ASSERT_EQ(WEXITSTATUS(status), FaultyFileSystem::kDeathStatus);
  }
}

TEST_F(CommitTest, ANewArchiveNeverReplacesAFileThatTookItsName) {
  archiver.OpenArchive(fmCreate);
  archiver.BeginUpdate();
  Queue({{u"a", "1"}});
  WriteAll(path, "someone else's");
  EXPECT_EQ(CodeOf([&] { archiver.EndUpdate(); }), errc::kNewArchiveNameTaken);
  archiver.AbandonArchive();
  EXPECT_EQ(ReadAll(path), "someone else's");
  EXPECT_EQ(dir.List(), std::vector<std::string>{"a.zip"});
}

// A complete journal taken from another file (cut 0, so its probe is
// empty) is refused, and the archive stays as it is.
TEST_F(CommitTest, AJournalOfAnotherFileIsRefused) {
  Create({{u"a", "1"}});
  const std::string before = ReadAll(path);
  const std::string other = dir.File("other.zip");
  WriteAll(other, before);
  std::string journal;
  archiver.SetFileName(platform::Utf8ToUtf16(other));
  archiver.OnFileProgress = [&](TPLBaseArchiver&, const std::u16string&, double,
                                TPLProcessOperation, TPLProgressPhase phase, bool&) {
    if (phase == ppProcess) journal = ReadAll(JournalPathFor(other));
  };
  Update({{u"a", "changed"}});
  ASSERT_FALSE(journal.empty());
  WriteAll(JournalPathFor(path), journal);
  archiver.SetFileName(platform::Utf8ToUtf16(path));
  EXPECT_THROW(archiver.OpenArchive(fmOpenRead | fmShareDenyNone), platform::EFOpenError);
  EXPECT_EQ(ReadAll(path), before);
}

// The journal has the archive's permissions, and a link planted at its name
// is neither written through nor followed when the archive is opened.
TEST_F(CommitTest, TheJournalIsPrivateAndNeverALink) {
  Create({{u"a", "1"}});
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  mode_t journal_mode = 0;
  archiver.OnFileProgress = [&](TPLBaseArchiver&, const std::u16string&, double,
                                TPLProcessOperation, TPLProgressPhase phase, bool&) {
    if (phase == ppProcess) journal_mode = fs.StatLink(JournalPathFor(path)).mode;
  };
  Update({{u"a", "2"}});
  EXPECT_EQ(journal_mode, mode_t{0600});
  archiver.OnFileProgress = nullptr;
  const std::string target = dir.File("target");
  WriteAll(target, "not ours");
  ASSERT_EQ(symlink(target.c_str(), JournalPathFor(path).c_str()), 0);
  archiver.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);  // the link is left alone
  archiver.BeginUpdate();
  Queue({{u"a", "3"}});
  EXPECT_THROW(archiver.EndUpdate(), platform::EFCreateError);
  archiver.CloseArchive();
  EXPECT_EQ(ReadAll(target), "not ours");
  EXPECT_EQ(PeerView(), "a=2\n");
}

// A folder that refuses the journal refuses the update, unless unprotected
// updates are allowed: those are announced before the archive is cut.
TEST_F(CommitTest, AFolderThatRefusesTheJournalRefusesTheUpdateUnlessAllowed) {
  Create({{u"a", "1"}});
  const std::string before = ReadAll(path);
  UnwritableFolder unwritable(dir.path());
  if (!unwritable.Binds()) GTEST_SKIP() << "this file system lets the folder be written";
  EXPECT_EQ(CodeOf([&] { Update({{u"a", "2"}}); }), errc::kUnprotectedUpdate);
  archiver.CloseArchive();
  EXPECT_EQ(ReadAll(path), before);
  int64_t truncated_before_warning = -1;
  archiver.OnUnprotectedUpdate = [&](TPLBaseArchiver&) {
    truncated_before_warning = fs.Count(kOpTruncate);
  };
  archiver.SetAllowUnprotectedUpdate(true);
  fs.ClearCalls();
  Update({{u"a", "2"}});
  EXPECT_EQ(truncated_before_warning, 0);
  EXPECT_FALSE(archiver.LastCommitRecoverable());
  EXPECT_EQ(PeerView(), "a=2\n");
}

// Data is synced before the step that makes it visible, the folder after:
// in place, into a new file, and for a new archive.
TEST_F(CommitTest, EveryCommitSyncsItsDataBeforeItShowsAndTheFolderAfter) {
  const std::string folder = "sync " + platform::ContainingFolder(path);
  const uint32_t ops = kOpCreate | kOpSync | kOpRename | kOpRemove | kOpSetMode | kOpTruncate;
  fs.ClearCalls();
  Create({{u"a", "1"}, {u"b", "2"}});
  auto trace = fs.Trace(ops);
  const std::string hidden = "." + std::string("a.zip") + ".new.";
  EXPECT_LT(Step(trace, "sync " + dir.File(hidden)), Step(trace, "rename " + dir.File(hidden)));
  EXPECT_LT(Step(trace, "rename " + dir.File(hidden)), Exact(trace, folder));
  const std::string journal = JournalPathFor(path);
  for (const int64_t threshold : kRewriteThresholds) {
    archiver.SetRewriteThreshold(threshold);
    fs.ClearCalls();
    Update({{u"a", threshold == 0 ? "new file" : "in place"}});
    trace = fs.Trace(ops);
    const size_t last_folder_sync = trace.size() - 1;
    EXPECT_EQ(trace[last_folder_sync], folder);
    if (threshold == 0) {
      const size_t swap = Step(trace, "rename " + dir.File(hidden));
      EXPECT_LT(Step(trace, "chmod " + dir.File(hidden)), Step(trace, "sync " + dir.File(hidden)));
      EXPECT_LT(Step(trace, "sync " + dir.File(hidden)), swap);
    } else {
      EXPECT_LT(Step(trace, "sync " + journal), Step(trace, "truncate " + path));
      EXPECT_LT(Exact(trace, folder), Step(trace, "truncate " + path));
      EXPECT_LT(Step(trace, "sync " + path), Step(trace, "remove " + journal));
    }
  }
  EXPECT_EQ(PeerView(), "a=new file;b=2\n");
}

// A failure after the commit point (here the end event's handler) leaves
// the new archive adopted: a later update of the same archiver is sound.
TEST_F(CommitTest, TheArchiverKeepsTheNewFileWhateverFailsAfterTheCommitPoint) {
  Create({{u"a", "1"}, {u"b", "2"}});
  archiver.SetRewriteThreshold(0);
  archiver.OnOverallProgress = [](TPLBaseArchiver&, double, TPLProcessOperation,
                                  TPLProgressPhase phase, bool&) {
    if (phase == ppEnd) throw std::runtime_error("a failing handler");
  };
  archiver.OpenArchive(fmOpenReadWrite | fmShareDenyWrite);
  archiver.BeginUpdate();
  Queue({{u"a", "changed"}});
  EXPECT_THROW(archiver.EndUpdate(), std::runtime_error);
  archiver.OnOverallProgress = nullptr;
  archiver.BeginUpdate();
  Queue({{u"c", "3"}});
  archiver.EndUpdate();
  archiver.CloseArchive();
  EXPECT_EQ(PeerView(), "a=changed;b=2;c=3\n");
  EXPECT_EQ(dir.List(), std::vector<std::string>{"a.zip"});
}

TEST_F(CommitTest, AFifoNamedAsTheArchiveIsRefusedAtOnce) {
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(CodeOf([&] { archiver.OpenArchive(fmOpenRead | fmShareDenyNone); }),
            errc::kNotRegularArchive);
  EXPECT_EQ(CodeOf([&] { archiver.OpenArchive(); }), errc::kNotRegularArchive);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(archiver.IsOpen());
}

}  // namespace
}  // namespace parcelon
