// The file layer's durability and stream operations, and the fault-injecting
// double that the crash and rollback tests rely on.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

#include "platform/exception.h"
#include "platform/file_stream.h"
#include "platform/sequential_file.h"
#include "platform/text_file.h"
#include "tests/faulty_file_system.h"
#include "tests/test_support.h"

namespace {

using namespace testing_support;

TEST(FileSystemTest, CopyIsSyncedBeforeItTakesTheNameAndTheFolderAfter) {
  ScratchDir dir;
  WriteAll(dir.File("a"), "payload");
  ASSERT_EQ(chmod(dir.File("a").c_str(), 0640), 0);
  FaultyFileSystem fs;
  fs.CopyFile(dir.File("a"), dir.File("b"));
  EXPECT_EQ(ReadAll(dir.File("b")), "payload");
  EXPECT_EQ(fs.Stat(dir.File("b")).mode, 0640u);
  const auto trace = fs.Trace(kOpSync | kOpRename | kOpClose | kOpSetMode);
  ASSERT_EQ(trace.size(), 5u);
  const std::string temp = trace[0].substr(std::string("chmod ").size());
  EXPECT_EQ(trace, (std::vector<std::string>{"chmod " + temp, "sync " + temp, "close " + temp,
                                             "rename " + temp + " -> " + dir.File("b"),
                                             "sync " + dir.path() + "/"}));
}

TEST(FileSystemTest, UniqueStreamIsNewLockedAndSyncable) {
  ScratchDir dir;
  platform::PosixFileSystem fs;
  std::string first, second;
  auto a = fs.CreateUniqueStream(dir.path(), "pl", &first);
  auto b = fs.CreateUniqueStream(dir.path(), "pl", &second);
  EXPECT_NE(first, second);
  a->WriteBuffer("xyz", 3);
  a->Flush();
  EXPECT_EQ(ReadAll(first), "xyz");
  EXPECT_THROW(fs.OpenStream(first, platform::fmOpenReadWrite | platform::fmShareDenyWrite),
               platform::EFOpenError);
  EXPECT_THROW(fs.CreateUniqueStream(dir.File("missing"), "pl", &first), platform::EFCreateError);
  EXPECT_THROW(fs.SyncFolder(dir.File("missing")), platform::IoError);
}

// Every failure of the file layer, whichever kind, is caught as IoError and
// says which path failed and why.
TEST(FileSystemTest, EveryFailureIsAnIoErrorWithItsPathAndErrno) {
  ScratchDir dir;
  platform::PosixFileSystem fs;
  const std::string missing = dir.File("missing");
  const std::vector<std::pair<std::string, std::function<void()>>> cases = {
      {missing, [&] { fs.Remove(missing); }},
      {missing, [&] { fs.ListFolder(missing); }},
      {missing, [&] { fs.OpenStream(missing, platform::fmOpenRead); }},
      {missing + "/f", [&] { fs.CreateExclusiveStream(missing + "/f", {}); }},
      {missing + "/f", [&] { fs.CreateFileBelow(missing, "f"); }},
  };
  for (const auto& [path, call] : cases) {
    try {
      call();
      ADD_FAILURE() << path;
    } catch (const platform::IoError& failure) {
      EXPECT_EQ(failure.Path(), path);
      EXPECT_EQ(failure.Errno(), ENOENT) << failure.what();
    }
  }
}

// Files read and written from start to end word their failures with the
// operation and the path, whatever the stream underneath threw.
TEST(FileSystemTest, SequentialFilesWordFailuresWithTheirPath) {
  ScratchDir dir;
  FaultyFileSystem fs;
  WriteAll(dir.File("a"), "line");
  const std::string missing = dir.File("missing");
  std::string temp;
  const std::vector<std::pair<std::string, std::function<void()>>> cases = {
      {"cannot open " + missing + ": No such file or directory",
       [&] { platform::OpenToRead(fs, missing); }},
      {"cannot read " + dir.path() + ": Is a directory",
       [&] { platform::OpenToRead(fs, dir.path()); }},
      {"cannot read " + dir.File("a") + ": Input/output error",
       [&] {
         platform::TextReader reader(platform::OpenToRead(fs, dir.File("a")), dir.File("a"));
         fs.Inject({1, kOpRead});
         reader.NextLine();
       }},
      {"cannot write %: No space left on device",
       [&] {
         auto file = platform::CreateUniqueToWrite(fs, dir.path(), "t", &temp);
         platform::TextWriter writer(std::move(file), temp);
         fs.Inject({1, kOpWrite, FaultEffect::kDiskFull});
         writer.WriteLine("x");
         writer.Close();
       }},
  };
  for (const auto& [expected, call] : cases) {
    try {
      call();
      ADD_FAILURE() << expected;
    } catch (const platform::IoError& failure) {
      std::string wanted = expected;
      if (wanted.find('%') != std::string::npos) wanted.replace(wanted.find('%'), 1, temp);
      EXPECT_EQ(failure.what(), wanted);
    }
  }
}

// A copy to a name without a folder is made beside that name, in the
// current folder, not in the folder for temporary files.
TEST(FileSystemTest, CopyToABareNameIsMadeInTheCurrentFolder) {
  ScratchDir dir;
  WriteAll(dir.File("a"), "payload");
  const std::filesystem::path was = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  FaultyFileSystem fs;
  fs.CopyFile("a", "b");
  std::filesystem::current_path(was);
  EXPECT_EQ(ReadAll(dir.File("b")), "payload");
  EXPECT_EQ(fs.Trace(kOpCreate), std::vector<std::string>{"create ./.copy"});
}

TEST(FileSystemTest, TimesPermissionsFoldersAndSwaps) {
  ScratchDir dir;
  platform::PosixFileSystem fs;
  WriteAll(dir.File("a"), "");
  fs.SetModifiedTime(dir.File("a"), 1'000'000'000);
  fs.SetPermissions(dir.File("a"), 0444);
  EXPECT_EQ(fs.Stat(dir.File("a")).modified, 1'000'000'000);
  EXPECT_EQ(fs.Stat(dir.File("a")).mode, 0444u);
  ASSERT_EQ(mkdir(dir.File("d").c_str(), 0755), 0);
  fs.RemoveFolder(dir.File("d"));
  EXPECT_FALSE(fs.Exists(dir.File("d")));
  WriteAll(dir.File("b"), "bee");
  ASSERT_TRUE(fs.Exchange(dir.File("a"), dir.File("b")));  // ext4, tmpfs and the like swap
  EXPECT_EQ(ReadAll(dir.File("a")), "bee");
  EXPECT_EQ(ReadAll(dir.File("b")), "");
}

// The double: the Nth call of the chosen kinds fails, finds the disk full,
// or ends the process; the calls before it happen.
TEST(FaultyFileSystemTest, TheChosenCallFailsFillsTheDiskOrDies) {
  ScratchDir dir;
  const std::string path = dir.File("f");
  auto writes_after_fault = [&](FaultEffect effect) {
    FaultyFileSystem fs;
    fs.Inject({2, kOpWrite, effect});
    auto stream = fs.OpenStream(path, platform::fmCreate);
    stream->WriteBuffer("a", 1);
    return stream->Write("b", 1);
  };
  EXPECT_EQ(writes_after_fault(FaultEffect::kDiskFull), 0u);
  EXPECT_EQ(ReadAll(path), "a");
  EXPECT_THROW(writes_after_fault(FaultEffect::kFail), platform::EStreamError);
  EXPECT_EXIT(writes_after_fault(FaultEffect::kDie),
              ::testing::ExitedWithCode(FaultyFileSystem::kDeathStatus), "");
  FaultyFileSystem fs;
  fs.Inject({1, kOpRename | kOpRemove});
  EXPECT_THROW(fs.Remove(path), platform::IoError);
  EXPECT_TRUE(fs.Exists(path));
  EXPECT_EQ(fs.Count(kOpAll), 1);
}

// The names below `root` (folders ending in '/'), sorted, and each file's
// content.
std::string Tree(const std::string& root, const std::string& below = "") {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(root + below))
    names.push_back(below + entry.path().filename().string());
  std::sort(names.begin(), names.end());
  std::string tree;
  for (const std::string& name : names) {
    if (std::filesystem::is_directory(root + name)) {
      tree += name + "/ " + Tree(root, name + "/");
    } else {
      tree += name + "=" + ReadAll(root + name) + " ";
    }
  }
  return tree;
}

// The power-loss mode keeps what a sync made durable and drops the rest.
TEST(FaultyFileSystemTest, APowerCutKeepsWhatWasSyncedAndNothingElse) {
  using Steps = std::function<void(FaultyFileSystem&, const std::string&)>;
  const auto write = [](std::unique_ptr<platform::Stream> file, const std::string& data,
                        bool sync) {
    file->WriteBuffer(data.data(), data.size());
    if (sync) file->Flush();
  };
  const struct {
    const char* name;
    Steps steps;
    const char* after_cut;
  } cases[] = {
      {"new file, folder not synced",
       [&](FaultyFileSystem& fs, const std::string& d) {
         write(fs.OpenStream(d + "n", platform::fmCreate), "x", true);
       },
       "f=old "},
      {"name synced, data not",
       [&](FaultyFileSystem& fs, const std::string& d) {
         auto file = fs.OpenStream(d + "n", platform::fmCreate);
         fs.SyncFolder(d);
         write(std::move(file), "x", false);
       },
       "f=old n= "},
      {"renamed over, folder not synced",
       [&](FaultyFileSystem& fs, const std::string& d) {
         std::string temp;
         write(fs.CreateUniqueStream(d, ".t", &temp), "new", true);
         fs.Rename(temp, d + "f");
       },
       "f=old "},
      {"renamed over, folder synced",
       [&](FaultyFileSystem& fs, const std::string& d) {
         std::string temp;
         write(fs.CreateUniqueStream(d, ".t", &temp), "new", true);
         fs.Rename(temp, d + "f");
         fs.SyncFolder(d);
       },
       "f=new "},
      {"rewritten in place, not synced",
       [&](FaultyFileSystem& fs, const std::string& d) {
         write(fs.OpenStream(d + "f", platform::fmOpenReadWrite), "NEW", false);
       },
       "f=old "},
      {"removed, folder not synced",
       [&](FaultyFileSystem& fs, const std::string& d) { fs.Remove(d + "f"); }, "f=old "},
      {"folders and file, file system synced",
       [&](FaultyFileSystem& fs, const std::string& d) {
         fs.MakeFoldersBelow(d, "a/b");
         write(fs.CreateFileBelow(d, "a/b/c"), "c", false);
         fs.SyncFileSystem(d);
       },
       "a/ a/b/ a/b/c=c f=old "},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    WriteAll(dir.File("f"), "old");
    FaultyFileSystem fs;
    fs.Inject({0, kOpAll, FaultEffect::kPowerCut});
    c.steps(fs, dir.path() + "/");
    fs.CutPower();
    EXPECT_EQ(Tree(dir.path() + "/"), c.after_cut) << c.name;
    EXPECT_THROW(fs.Remove(dir.File("f")), platform::IoError) << c.name;
  }
}

}  // namespace
