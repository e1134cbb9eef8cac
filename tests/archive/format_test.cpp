#include <gtest/gtest.h>

#include <array>
#include <numeric>

#include "archive/format/byte_io.h"
#include "archive/format/crc32.h"
#include "archive/format/dos_time.h"
#include "archive/format/extra_fields.h"
#include "archive/format/name_codec.h"
#include "archive/format/overwrite_rule.h"
#include "archive/format/records.h"
#include "platform/iconv_code_pages.h"
#include "platform/unicode.h"

namespace parcelon {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

std::string Chars(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

// A record image whose byte i holds i + 1, so every field reads a value that
// tells where it was taken from.
template <size_t N>
std::array<uint8_t, N> Pattern() {
  std::array<uint8_t, N> bytes{};
  std::iota(bytes.begin(), bytes.end(), uint8_t{1});
  return bytes;
}

uint16_t U16At(std::span<const uint8_t> b, size_t o) {
  return LoadU16(b, o);
}
uint32_t U32At(std::span<const uint8_t> b, size_t o) {
  return LoadU32(b, o);
}
uint64_t U64At(std::span<const uint8_t> b, size_t o) {
  return LoadU64(b, o);
}

// --- byte access -----------------------------------------------------------

TEST(ByteIoTest, LoadsAndStoresLittleEndianWithinBounds) {
  const auto b = Bytes({0x50, 0x4B, 0x03, 0x04, 0xFF});
  EXPECT_EQ(LoadU32(b, 0), kLocalHeaderSignature);
  EXPECT_EQ(LoadU16(b, 3), 0xFF04);
  EXPECT_EQ(LoadU32(b, 2), 0u);  // would run past the end
  EXPECT_EQ(LoadU64(b, 0), 0u);
  EXPECT_EQ(LoadU16(b, 100), 0u);
  std::array<uint8_t, 3> out{};
  EXPECT_TRUE(StoreU16(out, 1, 0xBEEF));
  EXPECT_EQ(out, (std::array<uint8_t, 3>{0, 0xEF, 0xBE}));
  EXPECT_FALSE(StoreU16(out, 2, 1));
  EXPECT_FALSE(StoreU32(out, 0, 1));
  EXPECT_EQ(out, (std::array<uint8_t, 3>{0, 0xEF, 0xBE}));
}

TEST(ByteIoTest, ReaderFailureIsSticky) {
  const auto b = Bytes({1, 2, 3, 4, 5});
  ByteReader r(b);
  EXPECT_EQ(r.U16(), 0x0201);
  EXPECT_EQ(r.U32(), 0u);  // only 3 bytes left
  EXPECT_FALSE(r.Ok());
  EXPECT_EQ(r.U8(), 0);  // later reads fail too, nothing consumed
  EXPECT_EQ(r.Position(), 2u);
  ByteReader s(b);
  EXPECT_TRUE(s.Bytes(6).empty());
  EXPECT_FALSE(s.Ok());
}

// --- fixed records -----------------------------------------------------------

TEST(RecordsTest, LocalHeaderFieldsSitAtTheirOffsets) {
  const auto image = Pattern<kLocalHeaderSize>();
  const auto h = LocalFileHeader::Parse(image);
  EXPECT_EQ(h.Signature, U32At(image, 0));
  EXPECT_EQ(h.VersionNeeded, U16At(image, 4));
  EXPECT_EQ(h.Flags, U16At(image, 6));
  EXPECT_EQ(h.Method, U16At(image, 8));
  EXPECT_EQ(h.FileTime, U16At(image, 10));
  EXPECT_EQ(h.FileDate, U16At(image, 12));
  EXPECT_EQ(h.Crc32, U32At(image, 14));
  EXPECT_EQ(h.PackedSize, U32At(image, 18));
  EXPECT_EQ(h.UnpackedSize, U32At(image, 22));
  EXPECT_EQ(h.NameLength, U16At(image, 26));
  EXPECT_EQ(h.ExtraLength, U16At(image, 28));
  EXPECT_EQ(h.Serialize(), image);
}

TEST(RecordsTest, LocalHeaderAndEntryShareTheirFields) {
  const auto local = LocalFileHeader::Parse(Pattern<kLocalHeaderSize>());
  CentralDirHeader entry;
  entry.ExternalAttributes = 0x20;
  CopyLocalFields(local, entry);
  EXPECT_EQ(entry.ExternalAttributes, 0x20u);  // not a local header's field
  LocalFileHeader back = LocalHeaderOf(entry);
  back.Signature = local.Signature;
  EXPECT_EQ(back.Serialize(), local.Serialize());
}

TEST(RecordsTest, CentralHeaderFieldsSitAtTheirOffsets) {
  const auto image = Pattern<kCentralHeaderSize>();
  CentralDirHeader h;
  h.ParseHeader(image);
  EXPECT_EQ(h.Signature, U32At(image, 0));
  EXPECT_EQ(h.VersionMadeBy, U16At(image, 4));
  EXPECT_EQ(h.VersionNeeded, U16At(image, 6));
  EXPECT_EQ(h.Flags, U16At(image, 8));
  EXPECT_EQ(h.Method, U16At(image, 10));
  EXPECT_EQ(h.FileTime, U16At(image, 12));
  EXPECT_EQ(h.FileDate, U16At(image, 14));
  EXPECT_EQ(h.Crc32, U32At(image, 16));
  EXPECT_EQ(h.PackedSize, U32At(image, 20));
  EXPECT_EQ(h.UnpackedSize, U32At(image, 24));
  EXPECT_EQ(h.NameLength, U16At(image, 28));
  EXPECT_EQ(h.ExtraLength, U16At(image, 30));
  EXPECT_EQ(h.CommentLength, U16At(image, 32));
  EXPECT_EQ(h.DiskStart, U16At(image, 34));
  EXPECT_EQ(h.InternalAttributes, U16At(image, 36));
  EXPECT_EQ(h.ExternalAttributes, U32At(image, 38));
  EXPECT_EQ(h.LocalHeaderOffset, U32At(image, 42));
  EXPECT_EQ(h.SerializeHeader(), image);
}

TEST(RecordsTest, EndRecordsAndDescriptorSitAtTheirOffsets) {
  const auto end = Pattern<kEndRecordSize>();
  const auto e = EndRecord::Parse(end);
  EXPECT_EQ(e.ThisDisk, U16At(end, 4));
  EXPECT_EQ(e.DirectoryDisk, U16At(end, 6));
  EXPECT_EQ(e.EntriesOnDisk, U16At(end, 8));
  EXPECT_EQ(e.TotalEntries, U16At(end, 10));
  EXPECT_EQ(e.DirectorySize, U32At(end, 12));
  EXPECT_EQ(e.DirectoryOffset, U32At(end, 16));
  EXPECT_EQ(e.CommentLength, U16At(end, 20));
  EXPECT_EQ(e.Serialize(), end);

  const auto end64 = Pattern<kZip64EndRecordSize>();
  const auto z = Zip64EndRecord::Parse(end64);
  EXPECT_EQ(z.RecordSize, U64At(end64, 4));
  EXPECT_EQ(z.VersionMadeBy, U16At(end64, 12));
  EXPECT_EQ(z.VersionNeeded, U16At(end64, 14));
  EXPECT_EQ(z.ThisDisk, U32At(end64, 16));
  EXPECT_EQ(z.DirectoryDisk, U32At(end64, 20));
  EXPECT_EQ(z.EntriesOnDisk, U64At(end64, 24));
  EXPECT_EQ(z.TotalEntries, U64At(end64, 32));
  EXPECT_EQ(z.DirectorySize, U64At(end64, 40));
  EXPECT_EQ(z.DirectoryOffset, U64At(end64, 48));
  EXPECT_EQ(z.Serialize(), end64);

  const auto locator = Pattern<kZip64LocatorSize>();
  const auto l = Zip64Locator::Parse(locator);
  EXPECT_EQ(l.EndRecordDisk, U32At(locator, 4));
  EXPECT_EQ(l.EndRecordOffset, U64At(locator, 8));
  EXPECT_EQ(l.TotalDisks, U32At(locator, 16));
  EXPECT_EQ(l.Serialize(), locator);

  const auto descriptor = Pattern<kDataDescriptorSize>();
  const auto d = DataDescriptor::Parse(descriptor);
  EXPECT_EQ(d.Signature, U32At(descriptor, 0));
  EXPECT_EQ(d.Crc32, U32At(descriptor, 4));
  EXPECT_EQ(d.PackedSize, U32At(descriptor, 8));
  EXPECT_EQ(d.UnpackedSize, U32At(descriptor, 12));
}

TEST(RecordsTest, DefaultsWriteTheSignaturesAndZip64Constants) {
  EXPECT_EQ(U32At(LocalFileHeader{}.Serialize(), 0), kLocalHeaderSignature);
  EXPECT_EQ(U32At(CentralDirHeader{}.SerializeHeader(), 0), kCentralHeaderSignature);
  EXPECT_EQ(U32At(EndRecord{}.Serialize(), 0), kEndRecordSignature);
  EXPECT_EQ(U32At(Zip64Locator{}.Serialize(), 0), kZip64LocatorSignature);
  const auto z = Zip64EndRecord{}.Serialize();
  EXPECT_EQ(U32At(z, 0), kZip64EndRecordSignature);
  EXPECT_EQ(U64At(z, 4), 44u);
  EXPECT_EQ(U16At(z, 12), 45);
  EXPECT_EQ(U16At(z, 14), 45);
}

// --- extra fields --------------------------------------------------------------

TEST(ExtraFieldsTest, SplitsAnAreaIntoFields) {
  const auto area = Bytes({0x34, 0x12, 2, 0, 0xAA, 0xBB, 0x01, 0x00, 0, 0});
  const auto fields = ParseExtraFields(area);
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].HeaderID, 0x1234);
  EXPECT_EQ(fields[0].Data, Bytes({0xAA, 0xBB}));
  EXPECT_EQ(fields[1].HeaderID, kZip64FieldId);
  EXPECT_EQ(fields[1].DataSize, 0);
  std::vector<uint8_t> out;
  for (const auto& f : fields) AppendExtraField(out, f);
  EXPECT_EQ(out, area);
  EXPECT_TRUE(ParseExtraFields({}).empty());
}

TEST(ExtraFieldsTest, CutsAFieldThatRunsPastTheArea) {
  const auto fields = ParseExtraFields(Bytes({0x0A, 0, 0xFF, 0xFF, 1, 2, 3}));
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].HeaderID, 0x000A);
  EXPECT_EQ(fields[0].DataSize, 3);
  EXPECT_EQ(fields[0].Data, Bytes({1, 2, 3}));
}

TEST(ExtraFieldsTest, BytesTooFewForAFieldHeaderAreNoField) {
  auto fields = ParseExtraFields(Bytes({0x0A, 0, 0, 0, 0x01}));
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].HeaderID, 0x000A);
  // A lone 0x01 is not a Zip64 field.
  EXPECT_TRUE(ParseExtraFields(Bytes({0x01})).empty());
  EXPECT_TRUE(ParseExtraFields(Bytes({0, 0, 0})).empty());
}

std::vector<uint8_t> U64s(std::initializer_list<uint64_t> values) {
  std::vector<uint8_t> out;
  for (uint64_t v : values)
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return out;
}

TEST(ExtraFieldsTest, Zip64ValuesAreTakenStrictlyInOrder) {
  const auto eight = U64s({0x123456789A});
  Zip64Values v = ReadZip64Field(eight, {.unpacked = true, .packed = true});
  EXPECT_EQ(v.unpacked, 0x123456789Au);
  EXPECT_FALSE(v.packed.has_value());
  v = ReadZip64Field(eight, {.packed = true});
  EXPECT_FALSE(v.unpacked.has_value());
  EXPECT_EQ(v.packed, 0x123456789Au);
  v = ReadZip64Field(eight, {.offset = true});
  EXPECT_EQ(v.offset, 0x123456789Au);
  EXPECT_FALSE(ReadZip64Field(eight, {}).unpacked.has_value());
}

TEST(ExtraFieldsTest, Zip64DiskIsFourBytesAndNothingIsTakenPastAGap) {
  auto data = U64s({1, 2, 3});
  data.insert(data.end(), {7, 0, 0, 0});
  const Zip64Values all = ReadZip64Field(data, {true, true, true, true});
  EXPECT_EQ(all.unpacked, 1u);
  EXPECT_EQ(all.packed, 2u);
  EXPECT_EQ(all.offset, 3u);
  EXPECT_EQ(all.disk, 7u);
  // Only four bytes while the unpacked size is needed: those bytes are not
  // the disk number.
  const Zip64Values gap = ReadZip64Field(Bytes({7, 0, 0, 0}), {.unpacked = true, .disk = true});
  EXPECT_FALSE(gap.unpacked.has_value());
  EXPECT_FALSE(gap.disk.has_value());
  EXPECT_EQ(ReadZip64Field(Bytes({7, 0, 0, 0}), {.disk = true}).disk, 7u);
}

TEST(ExtraFieldsTest, MakesZip64FieldOfPresentValuesOnly) {
  Zip64Values values;
  values.packed = 5;
  values.disk = 9;
  const ExtraField f = MakeZip64Field(values);
  EXPECT_EQ(f.HeaderID, kZip64FieldId);
  EXPECT_EQ(f.DataSize, 12);
  const Zip64Values back = ReadZip64Field(f.Data, {.packed = true, .disk = true});
  EXPECT_EQ(back.packed, 5u);
  EXPECT_EQ(back.disk, 9u);
}

TEST(ExtraFieldsTest, UnicodeNameFieldRoundTripsAndChecksItsCount) {
  const ExtraField f = MakeUnicodeNameField(u"dir/Ω.kml");
  EXPECT_EQ(f.HeaderID, kUnicodeNameFieldId);
  EXPECT_EQ(f.DataSize, 8 + 2 * 9);
  EXPECT_EQ(U32At(f.Data, 0), kUnicodeNameMarker);
  EXPECT_EQ(ReadUnicodeNameField(f.Data), u"dir/Ω.kml");

  auto wrong_marker = f.Data;
  wrong_marker[3] = 'Y';
  EXPECT_FALSE(ReadUnicodeNameField(wrong_marker).has_value());
  auto too_many = f.Data;
  too_many[4] = 10;  // one more unit than the data holds
  EXPECT_FALSE(ReadUnicodeNameField(too_many).has_value());
  too_many[4] = too_many[5] = too_many[6] = too_many[7] = 0xFF;
  EXPECT_FALSE(ReadUnicodeNameField(too_many).has_value());
  EXPECT_FALSE(ReadUnicodeNameField(Bytes({'N', 'U', 'C'})).has_value());
}

TEST(ExtraFieldsTest, UnicodeNameTooLongForAFieldGivesAnEmptyField) {
  const std::u16string longest(kMaxUnicodeNameUnits, u'x');
  EXPECT_EQ(MakeUnicodeNameField(longest).DataSize, 0xFFFF - 1);
  const ExtraField f = MakeUnicodeNameField(longest + u"x");
  EXPECT_EQ(f.DataSize, 0);
  EXPECT_FALSE(ReadUnicodeNameField(f.Data).has_value());
}

TEST(ExtraFieldsTest, AesFieldHasExactlySevenBytes) {
  const ExtraField f = MakeAesField({.VendorVersion = 2, .KeyStrength = 3, .Method = 8});
  EXPECT_EQ(f.HeaderID, kAesFieldId);
  EXPECT_EQ(f.Data, Bytes({2, 0, 'A', 'E', 3, 8, 0}));
  const auto back = ReadAesField(f.Data);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->VendorVersion, 2);
  EXPECT_EQ(back->KeyStrength, 3);
  EXPECT_EQ(back->Method, 8);
  EXPECT_FALSE(ReadAesField(Bytes({2, 0, 'A', 'E', 3, 8})).has_value());
  EXPECT_FALSE(ReadAesField(Bytes({2, 0, 'A', 'E', 3, 8, 0, 0})).has_value());
}

TEST(ExtraFieldsTest, AesFieldNeedsItsVendorAVersionAndAStrength) {
  EXPECT_TRUE(ReadAesField(Bytes({1, 0, 'A', 'E', 1, 0, 0})).has_value());
  for (const auto& data : {Bytes({2, 0, 'A', 'X', 3, 8, 0}), Bytes({3, 0, 'A', 'E', 3, 8, 0}),
                           Bytes({0, 0, 'A', 'E', 3, 8, 0}), Bytes({2, 0, 'A', 'E', 0, 8, 0}),
                           Bytes({2, 0, 'A', 'E', 4, 8, 0})})
    EXPECT_FALSE(ReadAesField(data).has_value()) << int(data[0]) << data[3] << int(data[4]);
}

std::vector<uint8_t> PathField(uint8_t version, uint32_t crc, std::string_view name) {
  std::vector<uint8_t> data{version};
  for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(crc >> (8 * i)));
  data.insert(data.end(), name.begin(), name.end());
  return data;
}

TEST(ExtraFieldsTest, UnicodePathFieldNeedsVersionOneAndTheStoredNamesCrc) {
  const std::string stored = Chars({0x84, '.', 't', 'x', 't'});
  const uint32_t crc = Crc32Of(stored);
  EXPECT_EQ(ReadUnicodePathField(PathField(1, crc, "\xC3\xA4.txt"), stored), "\xC3\xA4.txt");
  EXPECT_FALSE(ReadUnicodePathField(PathField(1, crc ^ 1, "x"), stored).has_value());
  EXPECT_FALSE(ReadUnicodePathField(PathField(2, crc, "x"), stored).has_value());
  EXPECT_FALSE(ReadUnicodePathField(Bytes({1, 0, 0}), stored).has_value());
  EXPECT_EQ(ReadUnicodePathField(PathField(1, Crc32Of(""), ""), ""), "");
}

// --- CRC-32 -------------------------------------------------------------------

TEST(Crc32Test, MatchesTheZipCheckValueAndChains) {
  EXPECT_EQ(Crc32Of("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32Of(""), 0u);
  const std::string_view tail = "56789";
  const uint32_t head = Crc32Of("1234");
  EXPECT_EQ(UpdateCrc32(head, {reinterpret_cast<const uint8_t*>(tail.data()), tail.size()}),
            0xCBF43926u);
}

// --- stored names ---------------------------------------------------------------

TEST(NameCodecTest, Utf8ValidityFollowsTheLeadByteRules) {
  const std::pair<std::string, bool> cases[] = {{"plain", true},
                                                {"\xC3\xA9", true},
                                                {"\xC2\x80", true},
                                                {"\xC0\x80", false},
                                                {"\xC1\xBF", false},
                                                {"\xC3", false},
                                                {"\xC3\x41", false},
                                                {"\xE0\xA0\x80", true},
                                                {"\xE0\x80\x80", false},
                                                {"\xE0\x9F\xBF", false},
                                                {"\xE1\x80\x80", true},
                                                {"\xEF\xBF\xBF", true},
                                                {"\xED\xA0\x80", true},
                                                {"\xE2\x82", false},
                                                {"\xF0\x90\x80\x80", true},
                                                {"\xF0\x80\x80\x80", false},
                                                {"\xF0\x8F\xBF\xBF", false},
                                                {"\xF1\x80\x80\x80", true},
                                                {"\xF3\xBF\xBF\xBF", true},
                                                {"\xF4\x8F\xBF\xBF", true},
                                                {"\xF4\x90\x80\x80", false},
                                                {"\xF5\x80\x80\x80", false},
                                                {"\xFF", false},
                                                {"\x80", false},
                                                {"", true}};
  for (const auto& [bytes, valid] : cases) EXPECT_EQ(IsValidUtf8(bytes), valid) << bytes;
}

class NameCodecCodePages : public ::testing::Test {
 protected:
  std::u16string Decode(std::string_view bytes, bool flag, bool oem) {
    return DecodeStoredName(bytes, flag, oem, pages);
  }
  EncodedName Encode(std::u16string_view name, bool /*oem*/ = false) {
    return EncodeStoredName(name, pages);
  }
  platform::IconvCodePages pages;
};

TEST_F(NameCodecCodePages, DecodesByFlagThenUtf8ThenOemOrAnsi) {
  const std::string umlauts_oem = Chars({0x84, 0x94, 0x81});
  EXPECT_EQ(Decode(umlauts_oem, false, true), u"äöü");
  EXPECT_EQ(Decode(Chars({0xE4, 0xF6, 0xFC}), false, false), u"äöü");
  EXPECT_EQ(Decode(Chars({0xE4}), false, true), u"Σ");  // OEM-only letter kept
  EXPECT_EQ(Decode("\xC3\xA9t\xC3\xA9.kml", true, true), u"été.kml");
  // Valid UTF-8 without the flag is UTF-8, before any OEM conversion.
  EXPECT_EQ(Decode("\xC3\xA9t\xC3\xA9.kml", false, true), u"été.kml");
  EXPECT_EQ(Decode("\xC3\xA9t\xC3\xA9.kml", false, false), u"été.kml");
  EXPECT_EQ(Decode("doc/A.KML", false, true), u"doc/A.KML");
}

TEST_F(NameCodecCodePages, BrokenUtf8DecodesToItsOwnBytes) {
  EXPECT_EQ(Decode("a\xFF"
                   "b",
                   true, false),
            u"a\xDCFF"
            u"b");
  // An encoded surrogate passes the validity rule but is no character.
  EXPECT_EQ(Decode("\xED\xA0\x80.txt", false, true), u"\xDCED\xDCA0\xDC80.txt");
  EXPECT_EQ(Decode("", false, true), u"");
}

TEST_F(NameCodecCodePages, PureAsciiIsNeverUtf8) {
  const EncodedName e = Encode(u"Folder/Area 1.KML");
  EXPECT_FALSE(e.utf8);
  EXPECT_EQ(e.bytes, "Folder/Area 1.KML");
}

TEST_F(NameCodecCodePages, NonAsciiIsUtf8AndForeignBytesStayRaw) {
  for (const std::u16string name : {u"é", u"Zürich", u"Ω.txt", u"日本"}) {
    const EncodedName e = Encode(name);
    EXPECT_TRUE(e.utf8);
    EXPECT_EQ(e.bytes, platform::Utf16ToUtf8(name));
  }
  const EncodedName latin1 = Encode(u"caf\xDCE9.kmz");  // the disk name caf\xE9.kmz
  EXPECT_FALSE(latin1.utf8);
  EXPECT_EQ(latin1.bytes, "caf\xE9.kmz");
  EXPECT_EQ(DecodeStoredName(latin1.bytes, false, true, pages, true), u"caf\xDCE9.kmz");
  EXPECT_EQ(Decode(latin1.bytes, false, false), u"café.kmz");  // not made on Unix: ANSI
}

TEST_F(NameCodecCodePages, EightBitNamesThatLookLikeUtf8AreStoredAsUtf8) {
  const std::u16string name = u"Ã©.kml";  // ANSI C3 A9, which reads as "é"
  const EncodedName e = Encode(name, false);
  EXPECT_TRUE(e.utf8);
  EXPECT_EQ(Decode(e.bytes, e.utf8, false), name);
}

TEST_F(NameCodecCodePages, NamesReadBackUnchanged) {
  const std::u16string names[] = {u"a.kml",       u"Übersicht/Straße.KML", u"Ω/日本.kml",
                                  u"€ price.kml", u"x\U0001F600.kml",      u"├─.txt"};
  for (bool oem : {false, true}) {
    for (const auto& name : names) {
      const EncodedName e = Encode(name, oem);
      EXPECT_EQ(Decode(e.bytes, e.utf8, oem), name) << oem;
    }
  }
}

TEST_F(NameCodecCodePages, StoresLongNamesWholeUpToTheLengthField) {
  const std::u16string long_utf8(200, u'Ω');  // 400 bytes, past any 254-byte buffer
  EXPECT_EQ(Encode(long_utf8, false).bytes.size(), 400u);
  EXPECT_EQ(Encode(std::u16string(70000, u'a'), false).bytes.size(), 0xFFFFu);
  const EncodedName cut = Encode(std::u16string(40000, u'Ω'), false);
  EXPECT_EQ(cut.bytes.size(), 0xFFFEu);  // no half character at the end
  EXPECT_TRUE(IsValidUtf8(cut.bytes));
  std::u16string pairs;
  for (int i = 0; i < 20000; ++i) pairs += u"\U0001F600";
  const EncodedName emoji = Encode(pairs, false);
  EXPECT_LE(emoji.bytes.size(), 0xFFFFu);
  EXPECT_EQ(emoji.bytes.size() % 4, 0u);
  EXPECT_TRUE(IsValidUtf8(emoji.bytes));
}

// --- DOS times -------------------------------------------------------------------

std::time_t Local(int year, int month, int day, int hour, int minute, int second) {
  std::tm parts{};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  parts.tm_isdst = -1;
  return std::mktime(&parts);
}

TEST(DosTimeTest, PacksLocalTimesAndBack) {
  const DosDateTime d = ToDosDateTime(Local(2011, 6, 15, 13, 45, 31));
  EXPECT_EQ(d.date, ((2011 - 1980) << 9) | (6 << 5) | 15);
  EXPECT_EQ(d.time, (13 << 11) | (45 << 5) | 15);  // odd seconds round down
  EXPECT_EQ(d.Packed(), (uint32_t{d.date} << 16) | d.time);
  EXPECT_EQ(FromDosDateTime(d), Local(2011, 6, 15, 13, 45, 30));
  EXPECT_EQ(FormatDosDateTime(d.date, d.time), "2011-06-15 13:45:30");
  const std::time_t leap_day = Local(2024, 2, 29, 0, 0, 0);
  EXPECT_EQ(FromDosDateTime(ToDosDateTime(leap_day)), leap_day);
}

TEST(DosTimeTest, ClampsToTheRangeOfTheWords) {
  const DosDateTime early = ToDosDateTime(Local(1975, 3, 1, 12, 0, 0));
  EXPECT_EQ(FormatDosDateTime(early.date, early.time), "1980-01-01 00:00:00");
  const DosDateTime late = ToDosDateTime(Local(2150, 3, 1, 12, 0, 0));
  EXPECT_EQ(FormatDosDateTime(late.date, late.time), "2107-12-31 23:59:58");
}

TEST(DosTimeTest, WordsOfNoRealTimeGiveMinusOne) {
  EXPECT_EQ(FromDosDateTime({0, 0}), -1);                                     // month 0, day 0
  EXPECT_EQ(FromDosDateTime({((2011 - 1980) << 9) | (2 << 5) | 30, 0}), -1);  // 30 February
  EXPECT_EQ(FromDosDateTime({((2011 - 1980) << 9) | (13 << 5) | 1, 0}), -1);  // month 13
  EXPECT_EQ(FromDosDateTime({((2011 - 1980) << 9) | (1 << 5) | 1, 25 << 11}), -1);
  EXPECT_EQ(FromDosDateTime({((2011 - 1980) << 9) | (1 << 5) | 1, 60 << 5}), -1);
  EXPECT_EQ(FromDosDateTime({((2011 - 1980) << 9) | (1 << 5) | 1, 30}), -1);  // second 60
  EXPECT_EQ(FromDosDateTime({((2100 - 1980) << 9) | (2 << 5) | 29, 0}),
            -1);  // 2100 is no leap year
  EXPECT_EQ(FormatDosDateTime(0, 0xFFFF), "1980-00-00 31:63:62");
}

TEST(DosTimeTest, TimeSkippedBySummerTimeStillGivesATime) {
  // 02:30 on a day that jumps from 02:00 to 03:00 exists as DOS words; it
  // must not read as "no time" in any zone the tests run in.
  const DosDateTime gap{((2011 - 1980) << 9) | (3 << 5) | 27, 2 << 11 | 30 << 5};
  EXPECT_NE(FromDosDateTime(gap), -1);
}

TEST(OverwriteRuleTest, EachModeDecides) {
  const DosDateTime y2011{(2011 - 1980) << 9, 0};
  const DosDateTime y2050{(2050 - 1980) << 9, 0};  // high bit set: negative when signed
  const struct {
    TPLOverwriteMode mode;
    DosDateTime incoming, existing;
    bool expected, asked;
  } rows[] = {
      {omAlways, y2011, y2011, true, false},   {omNever, y2011, y2011, false, false},
      {omPrompt, y2011, y2011, true, true},    {omIfNewer, y2011, y2011, false, false},
      {omIfNewer, y2050, y2011, false, false}, {omIfOlder, y2050, y2011, true, false},
  };
  for (const auto& row : rows) {
    bool asked = false;
    const bool yes =
        MayOverwrite(row.mode, row.incoming, row.existing, [&] { return asked = true; });
    EXPECT_EQ(yes, row.expected) << int(row.mode);
    EXPECT_EQ(asked, row.asked) << int(row.mode);
  }
}

}  // namespace
}  // namespace parcelon
