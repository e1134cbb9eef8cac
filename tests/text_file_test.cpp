#include "platform/text_file.h"

#include "platform/memory_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace platform {
namespace {

// A stream that holds `data`.
std::unique_ptr<Stream> StringFile(const std::string& data) {
  return std::make_unique<MemoryStream>(std::vector<uint8_t>(data.begin(), data.end()));
}

// A stream whose writes also land in *out.
class StringSink : public MemoryStream {
 public:
  explicit StringSink(std::string* out) : out_(out) {}
  size_t Write(const void* data, size_t n) override {
    out_->append(static_cast<const char*>(data), n);
    return n;
  }

 private:
  std::string* out_;
};

// Reads every line the way the rewriter's loop does: until AtEnd().
std::vector<std::string> Lines(const std::string& data, size_t buffer = 1 << 16) {
  TextReader reader(StringFile(data), "text", buffer);
  std::vector<std::string> lines;
  std::string line;
  while (!reader.AtEnd()) {
    reader.ReadLine(&line);
    lines.push_back(line);
  }
  return lines;
}

using V = std::vector<std::string>;

TEST(TextReader, EndsLinesAtLfCrLfAndLoneCr) {
  EXPECT_EQ(Lines("a\nb\r\nc\rd"), (V{"a", "b", "c", "d"}));
  EXPECT_EQ(Lines("1,2,3\r4,5,6\r"), (V{"1,2,3", "4,5,6"}));
  EXPECT_EQ(Lines("a\r\r\nb"), (V{"a", "", "b"}));
  EXPECT_EQ(Lines("\n\n"), (V{"", ""}));
  EXPECT_EQ(Lines(""), V{});
}

TEST(TextReader, SameLinesWhateverTheBufferSize) {
  std::string data = "first line\r\nsecond\rthird\n\r\nlast one without end";
  V expected = Lines(data);
  for (size_t size : {1, 2, 3, 5, 7, 11}) EXPECT_EQ(Lines(data, size), expected) << size;
}

TEST(TextReader, CtrlZEndsTheLineAndTheInput) {
  EXPECT_EQ(Lines("a\nb\x1a"
                  "ignored\nalso ignored\n"),
            (V{"a", "b"}));
  EXPECT_EQ(Lines("\x1a"
                  "x\n"),
            V{});
}

TEST(TextReader, ReadingPastTheEndGivesEmptyLines) {
  TextReader reader(StringFile("only"), "text");
  std::string line = "stale";
  reader.ReadLine(&line);
  EXPECT_EQ(line, "only");
  EXPECT_TRUE(reader.AtEnd());
  reader.ReadLine(&line);
  EXPECT_EQ(line, "");
}

TEST(TextReader, KeepsNulAndHighBytes) {
  std::string data("a\0b\xff\n", 5);
  EXPECT_EQ(Lines(data), (V{std::string("a\0b\xff", 4)}));
}

TEST(TextWriter, EndsEveryLineWithCrLfAndFlushesOnClose) {
  std::string out;
  {
    TextWriter writer(std::make_unique<StringSink>(&out), "text", 4);
    writer.WriteLine("abc");
    writer.WriteLine("");
    writer.WriteLine("a much longer line than the buffer");
    writer.Close();
  }
  EXPECT_EQ(out, "abc\r\n\r\na much longer line than the buffer\r\n");
}

TEST(TextWriter, LinesWrittenInPlaceMayOutgrowTheBuffer) {
  std::string out;
  TextWriter writer(std::make_unique<StringSink>(&out), "text", 8);
  writer.WriteLine("ab");
  std::string big(20, 'x');
  writer.WriteLineInPlace(big.size(),
                          [&](char* dst) { return std::copy(big.begin(), big.end(), dst); });
  writer.WriteLineInPlace(5, [](char* dst) { return dst; });  // an empty line
  writer.Close();
  EXPECT_EQ(out, "ab\r\n" + big + "\r\n\r\n");
}

TEST(TextReader, NextLineViewsMatchCopiedLines) {
  std::string data = "one\r\ntwo is longer than the buffer\rthree\n";
  TextReader reader(StringFile(data), "text", 8);
  std::vector<std::string> seen;
  while (!reader.AtEnd()) seen.emplace_back(reader.NextLine());
  EXPECT_EQ(seen, (V{"one", "two is longer than the buffer", "three"}));
}

}  // namespace
}  // namespace platform
