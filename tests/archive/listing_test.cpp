// The text of `parcelon list`: escaped names, hand-formatted numbers and
// times (checked against the printf formats the listing has always used),
// and the sizes a directory entry states.
#include <gtest/gtest.h>

#include <cstdio>

#include "archive/directory/dir_item.h"
#include "archive/format/dos_time.h"
#include "cli/parcelon/listing.h"
#include "cli/parcelon/text_format.h"

namespace parcelon::cli {
namespace {

template <typename Append, typename... Values>
std::string Appended(Append append, Values... values) {
  std::string out = "<";  // what is already in the buffer stays
  append(out, values...);
  return out.substr(1);
}

TEST(ListingText, EscapesBytesThatBreakLinesOrColumns) {
  const struct {
    std::string_view bytes;
    const char* expected;
  } cases[] = {
      {"plain/name.kml", "plain/name.kml"},
      {"a\tb\nc\rd", "a\\tb\\nc\\rd"},
      {"back\\slash", "back\\\\slash"},
      {std::string_view("nul\0.kml", 8), "nul\\x00.kml"},
      {"\x01\x1b\x1f\x7f", "\\x01\\x1b\\x1f\\x7f"},
      {" ~\x80\xff caf\xc3\xa9", " ~\x80\xff caf\xc3\xa9"},  // other bytes stay
  };
  for (const auto& c : cases) EXPECT_EQ(Appended(AppendEscaped, c.bytes), c.expected) << c.expected;
}

TEST(ListingText, EscapesNamesInUtf8) {
  const struct {
    std::u16string_view name;
    const char* expected;
  } cases[] = {
      {u"files/a.kml", "files/a.kml"},
      {u"tab\there\\", "tab\\there\\\\"},
      {u"caf\u00e9\t\u65e5\n", "caf\xc3\xa9\\t\xe6\x97\xa5\\n"},
      {u"\x7f\xd800x", "\\x7f\xef\xbf\xbdx"},  // an unpaired surrogate is U+FFFD
      {u"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Appended(AppendEscapedName, c.name), c.expected) << c.expected;
}

TEST(ListingText, FormatsNumbers) {
  EXPECT_EQ(Appended(AppendDecimal, uint64_t{0}, size_t{0}), "0");
  EXPECT_EQ(Appended(AppendDecimal, uint64_t{1234}, size_t{12}), "        1234");
  EXPECT_EQ(Appended(AppendDecimal, UINT64_MAX, size_t{10}), "18446744073709551615");
  EXPECT_EQ(Appended(AppendHex8, uint32_t{0}), "00000000");
  EXPECT_EQ(Appended(AppendHex8, uint32_t{0x81A4BEEF}), "81a4beef");
  EXPECT_EQ(AddSaturated(1, 2), 3u);
  EXPECT_EQ(AddSaturated(UINT64_MAX - 1, 1), UINT64_MAX);
  EXPECT_EQ(AddSaturated(uint64_t{1} << 63, uint64_t{1} << 63), UINT64_MAX);
}

TEST(ListingText, TimesAsTheEngineFormatsThem) {
  // Every date word, with time words that reach the largest field values.
  for (uint32_t date = 0; date <= 0xFFFF; ++date)
    for (const uint16_t time : {uint16_t{0}, uint16_t{0x5A8F}, uint16_t{0xFFFF}}) {
      const auto d = static_cast<uint16_t>(date);
      ASSERT_EQ(Appended(AppendDosDateTime, d, time), FormatDosDateTime(d, time)) << date;
    }
}

TEST(ListingText, SavedPercentRoundsAsPrintf) {
  char expected[16];
  for (uint64_t size = 0; size <= 300; ++size)
    for (uint64_t packed = 0; packed <= 320; ++packed) {
      const double percent =
          size == 0 ? 100 : (1.0 - static_cast<double>(packed) / static_cast<double>(size)) * 100;
      std::snprintf(expected, sizeof expected, "%.0f", percent < 0 ? 0 : percent);
      ASSERT_EQ(std::to_string(SavedPercent(size, packed)), expected) << size << " " << packed;
    }
}

TEST(ListingText, SizesAreTheEntrysUnsignedSizes) {
  TDirItem entry;
  entry.Name = u"big\n.kml";
  entry.UnpackedSize = entry.PackedSize = kSaturated32;
  entry.Zip64UnpackedSize = UINT64_MAX;
  entry.Zip64PackedSize = uint64_t{1} << 63;
  entry.Crc32 = 0xFA270842;
  entry.FileDate = 0x50B1;  // 2020-05-17
  entry.FileTime = 0x528F;  // 10:20:30
  entry.ExternalAttributes = 0x20;
  entry.Flags = kFlagEncrypted;
  const EntryView view(entry);
  EXPECT_EQ(Appended(AppendTsvLine, view),
            "big\\n.kml\t18446744073709551615\t9223372036854775808\tfa270842\t"
            "2020-05-17 10:20:30\t00000020\t1\tzipcrypto\n");
  EXPECT_EQ(Appended(AppendTableLine, view),
            "18446744073709551615  9223372036854775808    50%  2020-05-17 10:20:30  fa270842  "
            "00000020    Z     big\\n.kml\n");
  EXPECT_EQ(Appended(AppendTotalsLine, uint64_t{1}, uint64_t{200}, uint64_t{50}),
            "         200          50    75%  1 entry\n");
}

}  // namespace
}  // namespace parcelon::cli
