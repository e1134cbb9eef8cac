// Adding on several threads: the archive holds the bytes a one-thread add
// writes, the events come in the same order, and a cancel half-way leaves
// the archive as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "archive/codec/compressor.h"
#include "archive/parcelon.h"
#include "platform/iconv_code_pages.h"
#include "platform/memory_stream.h"
#include "platform/posix_file_system.h"
#include "platform/scripted_dialogs.h"
#include "platform/unicode.h"
#include "tests/test_support.h"

namespace parcelon {
namespace {

using namespace testing_support;

std::string Text(size_t size) {
  std::string text;
  for (size_t i = 0; text.size() < size; ++i)
    text += "<Placemark>" + std::to_string(i * 7919) + " ";
  return text.substr(0, size);
}

std::string Noise(size_t size) {
  std::mt19937 random(7);
  std::string noise(size, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  return noise;
}

// The files added, in the order the scan finds them; "gone" is removed after
// it is queued, so that opening it fails at its turn.
struct Source {
  std::string name;
  std::string data;
};
const std::vector<Source> kSources = {
    {"a_small.kml", Text(300)},         {"b_empty.txt", ""},
    {"c_blocks.kml", Text(1700000)},    {"d_gone.txt", Text(9000)},
    {"e_noise.bin", Noise(1300000)},    {"f_zeros.bin", std::string(900000, '\0')},
    {"g_sub/h_inside.csv", Text(70000)}};

class ThreadsTest : public testing::Test {
 protected:
  ThreadsTest() {
    for (const Source& source : kSources) {
      fs.CreateFolders(base + "/g_sub");
      WriteAll(base + "/" + source.name, source.data);
    }
    fs.CreateFolders(base + "/i_empty_folder");
    archiver.SetBaseDir(platform::Utf8ToUtf16(base));
    archiver.SetFileName(platform::Utf8ToUtf16(path));
    archiver.OnFileProgress = [this](TPLBaseArchiver&, const std::u16string& name, double percent,
                                     TPLProcessOperation, TPLProgressPhase phase,
                                     bool& cancel) { Log(name, percent, phase, cancel); };
    archiver.OnOverallProgress = [this](TPLBaseArchiver&, double percent, TPLProcessOperation,
                                        TPLProgressPhase phase,
                                        bool& cancel) { Log(u"", percent, phase, cancel); };
    archiver.OnProcessFileFailure = [this](TPLBaseArchiver&, const std::u16string& name,
                                           TPLProcessOperation, int32_t native, int32_t,
                                           const std::u16string&, TPLAction& action) {
      events.push_back("failed " + platform::Utf16ToUtf8(name) + " " + std::to_string(native));
      action = fxaIgnore;
    };
  }

  void Log(const std::u16string& name, double percent, TPLProgressPhase phase, bool& cancel) {
    events.push_back(platform::Utf16ToUtf8(name) + " " + std::to_string(percent) + " " +
                     std::to_string(static_cast<int>(phase)));
    cancel = static_cast<int>(events.size()) == cancel_at;
  }

  // Adds the whole tree on `threads` threads into the archive (opened or
  // created), entries dated alike; gives the archive's bytes.
  std::string Add(int threads) {
    events.clear();
    archiver.SetThreads(threads);
    archiver.OpenArchive();
    archiver.BeginUpdate();
    archiver.AddFiles(u"*");
    TPLDirArray& entries = archiver.DirManager()->Dir();
    for (int32_t i = 0; i < entries.Count(); ++i) {
      entries.Items(i).FileDate = 0x5A21;
      entries.Items(i).FileTime = 0x6000;
    }
    fs.Remove(base + "/d_gone.txt");
    archiver.EndUpdate();
    archiver.CloseArchive();
    WriteAll(base + "/d_gone.txt", kSources[3].data);
    return ReadAll(path);
  }

  ScratchDir dir;
  std::string base = dir.File("tree");
  std::string path = dir.File("a.zip");
  platform::ScriptedDialogs dialogs;
  platform::IconvCodePages code_pages;
  platform::PosixFileSystem fs;
  TParcelon archiver{nullptr, {&dialogs, &code_pages, &fs}};
  std::vector<std::string> events;
  int cancel_at = 0;
};

TEST_F(ThreadsTest, ManyThreadsWriteTheBytesAndEventsOfOne) {
  const std::string one = Add(1);
  const std::vector<std::string> one_events = events;
  ASSERT_NE(std::find(events.begin(), events.end(), "failed " + base + "/d_gone.txt 33"),
            events.end());
  for (const int threads : {2, 3, 8}) {
    fs.Remove(path);
    EXPECT_EQ(Add(threads), one) << threads;
    EXPECT_EQ(events, one_events) << threads;
  }
  const CommandResult check = RunCommand("unzip -tqq " + ShellQuote(path));
  EXPECT_EQ(check.status, 0) << check.out << check.err;
}

// Callers' streams are read ahead and deflated on threads too, several
// entries of one stream among them; the stream is left where it was.
TEST_F(ThreadsTest, StreamsGiveTheBytesOfOneThread) {
  const std::string text = Text(1500000) + Noise(300000);
  auto add = [&](int threads) {
    platform::MemoryStream shared(std::vector<uint8_t>(text.begin(), text.end()));
    platform::MemoryStream own(std::vector<uint8_t>(text.begin(), text.begin() + 900000));
    archiver.SetThreads(threads);
    archiver.OpenArchive();
    archiver.BeginUpdate();
    for (const int64_t from : {5, 1000000, 0}) {
      shared.Seek(from, platform::SeekOrigin::kBegin);
      archiver.AddStream(u"from" + platform::Utf8ToUtf16(std::to_string(from)), shared);
    }
    archiver.AddStream(u"own", own);
    TPLDirArray& entries = archiver.DirManager()->Dir();
    for (int32_t i = 0; i < entries.Count(); ++i) {
      entries.Items(i).FileDate = 0x5A21;
      entries.Items(i).FileTime = 0x6000;
    }
    shared.Seek(7, platform::SeekOrigin::kBegin);
    archiver.EndUpdate();
    archiver.CloseArchive();
    EXPECT_EQ(shared.Position(), 7);
    return ReadAll(path);
  };
  const std::string one = add(1);
  fs.Remove(path);
  EXPECT_EQ(add(3), one);
  const CommandResult check = RunCommand("unzip -tqq " + ShellQuote(path));
  EXPECT_EQ(check.status, 0) << check.out << check.err;
}

// Read and deflate buffers and encoders serve one file after another: files
// around the block size, each after a larger one, hold only their own bytes.
TEST_F(ThreadsTest, FilesAroundTheBlockSizeAfterLargerOnesGiveTheBytesOfOneThread) {
  const std::string sizes = dir.File("sizes");
  const size_t block = ReadBufferSize(archiver.CompressionMode());
  const size_t lengths[] = {block + 1, block, block - 1, 1, 0};
  fs.CreateFolders(sizes);
  for (size_t i = 0; i < std::size(lengths); ++i) {
    WriteAll(sizes + "/" + std::to_string(i) + "_noise", Noise(lengths[i]));
    WriteAll(sizes + "/" + std::to_string(i) + "_text", Text(lengths[i]));
  }
  archiver.SetBaseDir(platform::Utf8ToUtf16(sizes));
  const std::string one = Add(1);
  fs.Remove(path);
  EXPECT_EQ(Add(3), one);
  const CommandResult check = RunCommand("unzip -tqq " + ShellQuote(path));
  EXPECT_EQ(check.status, 0) << check.out << check.err;
}

TEST_F(ThreadsTest, ACancelHalfWayLeavesTheArchiveAsItWas) {
  fs.CreateFolders(dir.File("old"));
  WriteAll(dir.File("old/kept.txt"), "kept");
  archiver.SetBaseDir(platform::Utf8ToUtf16(dir.File("old")));
  Add(1);
  archiver.SetBaseDir(platform::Utf8ToUtf16(base));
  const std::string before = ReadAll(path);
  for (const int at : {6, 12, 20}) {
    cancel_at = at;
    EXPECT_EQ(Add(1), before) << at;
    const std::vector<std::string> one_events = events;
    EXPECT_EQ(Add(4), before) << at;
    EXPECT_EQ(events, one_events) << at;
  }
}

}  // namespace
}  // namespace parcelon
