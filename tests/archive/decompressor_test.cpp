// Decoding entry data: what the encoder wrote comes back through either
// inflater; damaged, oversized, truncated and unknown data fails; the data
// is found through the local header's own lengths and never read past the
// central directory.
#include "archive/codec/decompressor.h"

#include <gtest/gtest.h>

#include <random>

#include "archive/codec/compressor.h"
#include "archive/format/crc32.h"
#include "archive/format/records.h"
#include "platform/memory_stream.h"
#include "tests/archive/engine_error.h"
#include "tests/archive/recording_events.h"

namespace parcelon {
namespace {

using testing_support::CodeOf;
using testing_support::RecordingEvents;

std::string TextOf(size_t size) {
  std::mt19937 random(static_cast<unsigned>(size));
  std::string text;
  while (text.size() < size) text += "<coordinates>" + std::to_string(random() % 100000) + ",";
  text.resize(size);
  return text;
}

// An archive stream holding one local record (header, `name_and_extra`
// bytes of name and extra area, data) encoded from `data`, and its entry.
struct OneEntry {
  platform::MemoryStream archive;
  TDirItem entry;
};

OneEntry Encode(const std::string& data, uint16_t method, size_t name_and_extra = 5) {
  OneEntry out;
  RecordingEvents events;
  CommitProgress progress;
  platform::MemoryStream encoded;
  platform::MemoryStream source(std::vector<uint8_t>(data.begin(), data.end()));
  out.entry.Method = out.entry.RealMethod = method;
  out.entry.CompressionMode = 6;
  out.entry.Name = u"doc.kml";
  const parcelon::EngineSettings settings;
  CompressItem(source, encoded, out.entry, {events, progress, settings});
  LocalFileHeader local;
  local.NameLength = static_cast<uint16_t>(name_and_extra);
  const auto header = local.Serialize();
  std::vector<uint8_t> bytes(header.begin(), header.end());
  bytes.resize(bytes.size() + name_and_extra, 'n');
  bytes.insert(bytes.end(), encoded.Bytes().begin(), encoded.Bytes().end());
  out.archive = platform::MemoryStream(std::move(bytes));
  return out;
}

class DecompressorTest : public testing::TestWithParam<InflaterKind> {
 protected:
  bool Decode(OneEntry& one, uint64_t data_limit = UINT64_MAX) {
    output = platform::MemoryStream();
    one.archive.Seek(0, platform::SeekOrigin::kBegin);
    settings.reading.inflater = GetParam();
    return DecompressItem(one.archive, output, one.entry, {events, progress, settings, data_limit});
  }
  std::string Output() const { return {output.Bytes().begin(), output.Bytes().end()}; }

  RecordingEvents events;
  RunProgress progress;
  parcelon::EngineSettings settings;
  platform::MemoryStream output;
};

TEST_P(DecompressorTest, WhatWasEncodedComesBack) {
  for (const size_t size : {size_t{0}, size_t{1}, kDecodeChunkSize + 3, 3 * kDecodeChunkSize}) {
    for (const uint16_t method : {uint16_t{0}, uint16_t{8}}) {
      const std::string data = TextOf(size);
      OneEntry one = Encode(data, method, 17);  // local lengths differ from the central ones
      EXPECT_TRUE(Decode(one)) << size << " " << method;
      EXPECT_EQ(Output(), data) << size << " " << method;
    }
  }
}

TEST_P(DecompressorTest, DamagedOrOverlongOrUnknownDataFails) {
  OneEntry flipped = Encode(TextOf(100000), 8);
  flipped.archive.Seek(40 + 500, platform::SeekOrigin::kBegin);
  flipped.archive.Write("\xFF\x00\xFF", 3);
  EXPECT_FALSE(Decode(flipped));
  OneEntry understated = Encode(TextOf(100000), 8);
  understated.entry.UnpackedSize = 1000;  // a bomb that says it is small
  EXPECT_FALSE(Decode(understated));
  EXPECT_LE(output.Size(), 1000);
  OneEntry truncated = Encode(TextOf(100000), 8);
  EXPECT_FALSE(Decode(truncated, 35 + truncated.entry.PackedSize / 2));  // the directory cuts it
  OneEntry wrong_crc = Encode("abc", 0);
  wrong_crc.entry.Crc32 ^= 1;
  EXPECT_FALSE(Decode(wrong_crc));
  OneEntry other_method = Encode("abc", 0);
  other_method.entry.RealMethod = 12;
  EXPECT_FALSE(Decode(other_method));
  other_method.entry.RealMethod = 9;
  EXPECT_EQ(CodeOf([&] { Decode(other_method); }), 55);
}

TEST_P(DecompressorTest, ProgressCancels) {
  OneEntry one = Encode(TextOf(3 * kDecodeChunkSize), 8);
  progress.reporting = true;
  events.cancel_at_progress = 3;
  EXPECT_FALSE(Decode(one));
  EXPECT_TRUE(progress.cancel);
  EXPECT_EQ(events.progress.front().percent, 0);
}

INSTANTIATE_TEST_SUITE_P(Inflaters, DecompressorTest,
                         testing::Values(InflaterKind::kZlib, InflaterKind::kFastest));

TEST(InflaterTest, BothInflatersGiveTheSameBytes) {
  if (!HasFastInflater()) GTEST_SKIP() << "built without ISA-L";
  const std::string data = TextOf(5 * kDecodeChunkSize + 11);
  OneEntry one = Encode(data, 8);
  for (const InflaterKind kind : {InflaterKind::kZlib, InflaterKind::kFastest}) {
    RecordingEvents events;
    RunProgress progress;
    platform::MemoryStream output;
    one.archive.Seek(0, platform::SeekOrigin::kBegin);
    parcelon::EngineSettings settings;
    settings.reading.inflater = kind;
    ASSERT_TRUE(DecompressItem(one.archive, output, one.entry, {events, progress, settings}));
    EXPECT_EQ(UpdateCrc32(0, output.Bytes()), Crc32Of(data));
  }
}

}  // namespace
}  // namespace parcelon
