// Encoding entry data: byte-exact deflate output against zlib's own stream
// for the same blocks and flushes, stored data, sizes and CRC-32, progress,
// cancels, a full disk, short sources and the Zip64 decisions.
#include "archive/codec/compressor.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "archive/format/crc32.h"
#include "platform/memory_stream.h"
#include "tests/archive/engine_error.h"
#include "tests/archive/recording_events.h"

namespace parcelon {
namespace {

using testing_support::CodeOf;
using testing_support::RecordingEvents;

std::string TextOf(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < size) text += "<coordinates>" + std::to_string(random() % 100000) + ",";
  text.resize(size);
  return text;
}

std::string RandomBytes(size_t size) {
  std::mt19937 random(7);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// zlib's stream in its own format for the same blocks and flushes, without
// its 2-byte header and 4-byte trailer.
std::string ZlibReference(const std::string& data, int level, size_t block) {
  z_stream z{};
  deflateInit(&z, level);
  std::string out;
  std::vector<unsigned char> buffer(data.size() * 2 + 1024);
  for (size_t at = 0; at < data.size(); at += block) {
    const size_t n = std::min(block, data.size() - at);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + at));
    z.avail_in = static_cast<uInt>(n);
    z.next_out = buffer.data();
    z.avail_out = static_cast<uInt>(buffer.size());
    deflate(&z, at + n >= data.size() ? Z_FINISH : Z_SYNC_FLUSH);
    out.append(reinterpret_cast<char*>(buffer.data()), buffer.size() - z.avail_out);
  }
  deflateEnd(&z);
  return out.substr(2, out.size() - 6);
}

std::string RawInflate(const std::string& data, size_t size) {
  z_stream z{};
  inflateInit2(&z, -15);
  std::string out(size, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
  inflateEnd(&z);
  return out;
}

// A memory stream that stores nothing for its first `short_writes` writes.
class FullDisk : public platform::MemoryStream {
 public:
  int short_writes = 0;
  size_t Write(const void* buffer, size_t n) override {
    if (short_writes > 0 && n > 0) return --short_writes, 0;
    return MemoryStream::Write(buffer, n);
  }
};

// A source that claims more bytes than it gives.
class ShortSource : public platform::MemoryStream {
 public:
  using MemoryStream::MemoryStream;
  int64_t Seek(int64_t offset, platform::SeekOrigin origin) override {
    if (origin == platform::SeekOrigin::kEnd) return 100;
    return MemoryStream::Seek(offset, origin);
  }
};

class CompressorTest : public testing::Test {
 protected:
  bool Compress(const std::string& data, uint8_t mode, uint16_t method,
                platform::Stream* out = nullptr) {
    platform::MemoryStream source(std::vector<uint8_t>(data.begin(), data.end()));
    item.CompressionMode = mode;
    item.Method = item.RealMethod = method;
    item.SetSourceFileName(u"/src/a.kml");
    settings.writing.zip64_mode = zip64_mode;
    return CompressItem(source, out ? *out : output, item, {events, progress, settings});
  }
  std::string Output() const { return std::string(output.Bytes().begin(), output.Bytes().end()); }

  RecordingEvents events;
  CommitProgress progress;
  parcelon::EngineSettings settings;
  TZip64Mode zip64_mode = zmAuto;
  platform::MemoryStream output;
  TDirItem item;
};

TEST_F(CompressorTest, DeflatedDataEqualsZlibsStreamForTheSameBlocks) {
  constexpr size_t kKiB = 1024;
  struct Case {
    size_t size;
    uint8_t mode;
  };
  for (const Case& c : {Case{1, 1}, Case{512 * kKiB, 1}, Case{512 * kKiB + 1, 1},
                        Case{1024 * kKiB + 3, 6}, Case{1536 * kKiB + 1, 9}}) {
    output = platform::MemoryStream();
    const std::string data = TextOf(c.size, static_cast<unsigned>(c.size));
    ASSERT_TRUE(Compress(data, c.mode, 8));
    EXPECT_EQ(Output(), ZlibReference(data, c.mode, ReadBufferSize(c.mode))) << c.size;
    EXPECT_EQ(RawInflate(Output(), data.size()), data);
    EXPECT_EQ(item.Crc32, Crc32Of(data));
    EXPECT_EQ(item.UnpackedSize, data.size());
    EXPECT_EQ(item.PackedSize, Output().size());
    EXPECT_EQ(item.Method, 8);
    EXPECT_FALSE(item.IsZip64);
  }
}

TEST_F(CompressorTest, StoredEmptyAndIncompressibleData) {
  const std::string data = RandomBytes(70000);
  ASSERT_TRUE(Compress(data, 0, 0));
  EXPECT_EQ(Output(), data);
  output = platform::MemoryStream();
  ASSERT_TRUE(Compress(data, 1, 8));
  EXPECT_EQ(item.Method, 8);
  EXPECT_GT(item.PackedSize, item.UnpackedSize);
  output = platform::MemoryStream();
  ASSERT_TRUE(Compress("", 1, 8));
  EXPECT_EQ(Output(), "");
  EXPECT_EQ(item.Method, 0);
  EXPECT_EQ(item.RealMethod, 0);
  EXPECT_EQ(item.Crc32, 0u);
  EXPECT_EQ(item.PackedSize + item.UnpackedSize, 0u);
}

TEST_F(CompressorTest, ProgressStartsAtZeroAndCancels) {
  progress.reporting = true;
  ASSERT_TRUE(Compress(TextOf(600000, 1), 1, 8));
  ASSERT_EQ(events.progress.size(), 4u);  // file and overall, before each of two blocks
  EXPECT_EQ(events.progress[0].percent, 0);
  EXPECT_EQ(events.progress[0].name, u"/src/a.kml");
  EXPECT_EQ(events.progress[1].percent, 50);  // no total known
  events = RecordingEvents();
  events.cancel_at_progress = 3;
  output = platform::MemoryStream();
  EXPECT_FALSE(Compress(TextOf(600000, 1), 1, 8));
  EXPECT_TRUE(progress.cancel);
}

TEST_F(CompressorTest, AFullDiskRetriesGivesUpOrFails) {
  FullDisk disk;
  disk.short_writes = 1;
  events.disk_full_cancels = {false};
  ASSERT_TRUE(Compress("payload", 0, 0, &disk));
  EXPECT_EQ(std::string(disk.Bytes().begin(), disk.Bytes().end()), "payload");
  disk.short_writes = 1;
  events.disk_full_cancels = {true};
  EXPECT_FALSE(Compress("payload", 0, 0, &disk));
  EXPECT_TRUE(progress.cancel);
  progress.cancel = false;
  disk.short_writes = 1;
  EXPECT_EQ(CodeOf([&] { Compress("payload", 0, 0, &disk); }), 65);
}

TEST_F(CompressorTest, ShortSourcesAndZip64Decisions) {
  ShortSource source(std::vector<uint8_t>(50, 'x'));
  const auto short_source = [&] {
    CompressItem(source, output, item, {events, progress, settings});
  };
  EXPECT_EQ(CodeOf(short_source), 34);
  zip64_mode = zmAlways;
  ASSERT_TRUE(Compress("abc", 0, 0));
  EXPECT_TRUE(item.IsZip64);
  EXPECT_EQ(item.PackedSize, kSaturated32);
  EXPECT_EQ(item.UnpackedSize64(), 3u);
  zip64_mode = zmDisabled;
  EXPECT_EQ(CodeOf([&] { Compress("abc", 0, 0); }), 41);  // the entry is already Zip64
}

}  // namespace
}  // namespace parcelon
