// The streams under the archive: memory, disk files and their errors.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>

#include "platform/exception.h"
#include "platform/file_stream.h"
#include "platform/memory_stream.h"
#include "platform/unicode.h"
#include "tests/test_support.h"

namespace platform {
namespace {

using testing_support::ReadAll;
using testing_support::ScratchDir;
using testing_support::WriteAll;

TEST(MemoryStream, GrowsOnWriteAndReadsBackAnywhere) {
  MemoryStream stream;
  stream.WriteBuffer("hello", 5);
  EXPECT_EQ(stream.Seek(10, SeekOrigin::kBegin), 10);
  stream.WriteBuffer("!", 1);
  EXPECT_EQ(stream.Size(), 11);
  EXPECT_EQ(stream.Position(), 11);
  stream.Seek(-11, SeekOrigin::kEnd);
  char buffer[11];
  EXPECT_EQ(stream.Read(buffer, sizeof buffer), 11u);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_EQ(buffer[7], '\0');
  EXPECT_EQ(stream.Read(buffer, 1), 0u);
  EXPECT_THROW(stream.Seek(-1, SeekOrigin::kBegin), EStreamError);
  stream.SetSize(2);
  EXPECT_EQ(stream.Size(), 2);
}

TEST(Stream, ShortReadsAndCopiesAreErrors) {
  MemoryStream source(std::vector<uint8_t>(100000, 7));
  MemoryStream target;
  target.CopyFrom(source, 70000);
  EXPECT_EQ(target.Size(), 70000);
  char byte;
  source.Seek(0, SeekOrigin::kEnd);
  try {
    source.ReadBuffer(&byte, 1);
    FAIL();
  } catch (const EStreamError& e) {
    EXPECT_EQ(e.Message(), u"Stream read error");
  }
  source.Seek(90000, SeekOrigin::kBegin);
  EXPECT_THROW(target.CopyFrom(source, 20000), EStreamError);
}

TEST(Stream, CopyShowsEveryChunkToTheCallbackEvenBetweenFiles) {
  ScratchDir dir;
  WriteAll(dir.File("in.bin"), std::string(100000, 'x'));
  FileStream source(Utf8ToUtf16(dir.File("in.bin")), fmOpenRead);
  FileStream target(Utf8ToUtf16(dir.File("out.bin")), fmCreate);
  size_t seen = 0;
  target.CopyFrom(source, 100000, [&](std::span<const uint8_t> chunk) { seen += chunk.size(); });
  EXPECT_EQ(seen, 100000u);
  EXPECT_EQ(target.Size(), 100000);
}

TEST(FileStream, CreateTruncatesAndOpenReadsWhatWasWritten) {
  ScratchDir dir;
  const std::string path = dir.File("f.bin");
  WriteAll(path, "old contents");
  {
    FileStream stream(Utf8ToUtf16(path), fmCreate);
    EXPECT_EQ(stream.Size(), 0);
    stream.WriteBuffer("abcdef", 6);
    stream.SetSize(4);
  }
  EXPECT_EQ(ReadAll(path), "abcd");
  FileStream reader(Utf8ToUtf16(path), fmOpenRead | fmShareDenyWrite);
  reader.Seek(1, SeekOrigin::kBegin);
  char buffer[8];
  EXPECT_EQ(reader.Read(buffer, sizeof buffer), 3u);
  EXPECT_EQ(std::string(buffer, 3), "bcd");
  EXPECT_THROW(reader.WriteBuffer("x", 1), EStreamError);
}

// The position the stream keeps for itself is the descriptor's, whatever
// moved it: reads and writes (short ones included), seeks of every origin,
// a size change, a failed seek, and an adopted descriptor that stood
// elsewhere.
TEST(FileStream, ThePositionKeptIsTheDescriptors) {
  ScratchDir dir;
  const std::string path = dir.File("p.bin");
  FileStream stream(Utf8ToUtf16(path), fmCreate);
  const auto agrees = [&stream] {
    return stream.Position() == ::lseek(stream.Descriptor(), 0, SEEK_CUR);
  };
  char buffer[8] = {};
  stream.WriteBuffer("0123456789", 10);
  EXPECT_TRUE(agrees());
  stream.Seek(-4, SeekOrigin::kCurrent);
  EXPECT_EQ(stream.Read(buffer, sizeof buffer), 4u);  // short: the end
  EXPECT_TRUE(agrees());
  stream.SetSize(3);
  EXPECT_EQ(stream.Size(), 3);
  EXPECT_TRUE(agrees());
  EXPECT_THROW(stream.Seek(-20, SeekOrigin::kEnd), EStreamError);
  EXPECT_EQ(stream.Position(), 10);
  EXPECT_TRUE(agrees());
  EXPECT_EQ(stream.Seek(1, SeekOrigin::kBegin), 1);
  EXPECT_EQ(stream.Seek(1, SeekOrigin::kBegin), 1);
  EXPECT_TRUE(agrees());
  WriteAll(dir.File("q.bin"), "abc");
  UniqueFd fd(::open(dir.File("q.bin").c_str(), O_RDWR));
  ASSERT_EQ(::lseek(fd.Get(), 2, SEEK_SET), 2);
  const std::unique_ptr<FileStream> adopted = FileStream::Adopt(std::move(fd), u"q.bin");
  EXPECT_EQ(adopted->Position(), 2);
}

TEST(FileStream, FailuresNameTheFileAndTheReason) {
  ScratchDir dir;
  const std::u16string missing = Utf8ToUtf16(dir.File("missing.zip"));
  try {
    FileStream stream(missing, fmOpenRead | fmShareDenyNone);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), u"Cannot open file \"" + missing + u"\". No such file or directory");
  }
  const std::u16string nowhere = Utf8ToUtf16(dir.File("no/such/folder.zip"));
  try {
    FileStream stream(nowhere, fmCreate);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), u"Cannot create file \"" + nowhere + u"\". No such file or directory");
  }
}

TEST(FileStream, SharingModesBecomeAdvisoryLocks) {
  ScratchDir dir;
  const std::u16string path = Utf8ToUtf16(dir.File("locked.zip"));
  FileStream writer(path, fmCreate);
  EXPECT_THROW(FileStream(path, fmOpenReadWrite | fmShareCompat), EFOpenError);
  EXPECT_THROW(FileStream(path, fmOpenRead | fmShareDenyWrite), EFOpenError);
  EXPECT_THROW(FileStream(path, fmOpenRead | fmShareExclusive), EFOpenError);
  EXPECT_NO_THROW(FileStream(path, fmOpenRead | fmShareDenyNone));
  try {
    FileStream stream(path, fmOpenReadWrite | fmShareDenyWrite);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_NE(e.Message().find(u"in use by another program"), std::u16string::npos);
  }
}

}  // namespace
}  // namespace platform
