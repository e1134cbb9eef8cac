// Rebuilding the directory from local headers, and the forward signature
// search under it: what is taken from each header, what is skipped, and that
// hostile input ends quickly.

#include <algorithm>

#include "loading_fixture.h"

namespace ziptest {
namespace {

using parcelon::kFlagDataDescriptor;

// Local records only, as a directory-less archive or a torn download has them.
Bytes LocalsOnly(const std::vector<TestEntry>& entries) {
  Bytes out;
  for (const TestEntry& entry : entries) Append(out, LocalRecord(entry));
  return out;
}

class Rebuild : public LoaderTest {};

TEST_F(Rebuild, TakesEveryLocalHeaderInFileOrder) {
  TestEntry folder = FileEntry("docs/", "");
  TestEntry empty = FileEntry("docs/empty.txt", "");
  TestEntry text = FileEntry("docs/a.txt", "some text");
  text.time = 0x1234;
  auto& manager = Load(LocalsOnly({folder, empty, text}));
  ASSERT_EQ(manager.Dir().Count(), 3);
  EXPECT_TRUE(Rebuilt());
  EXPECT_EQ(Item(0).Name, u"docs/");
  EXPECT_TRUE(Item(0).IsFolder());
  EXPECT_FALSE(Item(1).IsFolder());  // an empty file is no folder
  EXPECT_EQ(Item(2).LocalHeaderOffset, 30u + 5 + 30 + 14);
  EXPECT_EQ(Item(2).PackedSize, 9u);
  EXPECT_EQ(Item(2).FileTime, 0x1234);
  EXPECT_EQ(Item(2).VersionMadeBy, 20);
  EXPECT_EQ(Item(2).Signature, parcelon::kCentralHeaderSignature);
}

TEST_F(Rebuild, DataDescriptorGivesTheSizes) {
  TestEntry entry = FileEntry("streamed.txt", "");
  entry.flags = kFlagDataDescriptor;
  Bytes bytes = LocalRecord(entry);
  Append(bytes, std::string("twelve bytes"));
  PutU32(bytes, 0x08074B50);
  PutU32(bytes, 0xCAFEF00D);
  PutU32(bytes, 12);
  PutU32(bytes, 12);
  Append(bytes, LocalRecord(FileEntry("next.txt", "n")));
  auto& manager = Load(bytes);
  ASSERT_EQ(manager.Dir().Count(), 2);
  EXPECT_EQ(Item(0).Crc32, 0xCAFEF00Du);
  EXPECT_EQ(Item(0).PackedSize, 12u);
  EXPECT_EQ(Item(0).UnpackedSize, 12u);
  EXPECT_FALSE(Item(0).IsFolder());
  EXPECT_EQ(Item(1).Name, u"next.txt");
}

TEST_F(Rebuild, Zip64FieldOfTheLocalHeaderGivesBothSizes) {
  // It holds the uncompressed size, then the compressed one, whichever of
  // the fixed fields is saturated.
  for (const size_t saturated : {18u, 22u}) {  // the compressed, the uncompressed size
    TestEntry entry = FileEntry("z.txt", "ten bytes.");
    entry.local_extra = Zip64Field({25, 10});
    Bytes bytes = LocalRecord(entry);
    std::fill_n(bytes.begin() + long(saturated), 4, 0xFF);
    Append(bytes, LocalRecord(FileEntry("next.txt", "n")));
    auto& manager = Load(bytes);
    ASSERT_EQ(manager.Dir().Count(), 2) << saturated;
    EXPECT_TRUE(Item(0).IsZip64);
    EXPECT_EQ(Item(0).PackedSize64(), 10u) << saturated;
    EXPECT_EQ(Item(0).UnpackedSize64(), saturated == 22 ? 25u : 10u) << saturated;
  }
}

TEST_F(Rebuild, DescriptorFormFollowsTheDataLengthThenTheZip64Field) {
  // The form whose compressed size is the data's length and that a record
  // follows wins; when neither or both do, the 24-byte form (64-bit sizes)
  // belongs to an entry with a Zip64 field.
  const struct {
    const char* what;
    bool zip64_field;
    bool wide;
    bool record_behind;
  } cases[] = {
      {"Zip64 field, 24 bytes", true, true, true},
      {"no Zip64 field, 16 bytes", false, false, true},
      {"no Zip64 field, 24 bytes", false, true, true},
      {"Zip64 field, 16 bytes", true, false, true},
      {"Zip64 field, 24 bytes, no record behind", true, true, false},
  };
  for (const auto& c : cases) {
    TestEntry entry = FileEntry("streamed.txt", "");
    entry.flags = kFlagDataDescriptor;
    if (c.zip64_field) entry.local_extra = Zip64Field({0, 0});
    Bytes bytes = LocalRecord(entry);
    Append(bytes, std::string("twelve bytes"));
    PutU32(bytes, 0x08074B50);
    PutU32(bytes, 0xCAFEF00D);
    for (const uint64_t size : {12, 40})
      c.wide ? PutU64(bytes, size) : PutU32(bytes, uint32_t(size));
    Append(bytes, c.record_behind ? LocalRecord(FileEntry("next.txt", "n")) : Bytes(40, 'z'));
    auto& manager = Load(bytes);
    ASSERT_GE(manager.Dir().Count(), 1) << c.what;
    EXPECT_EQ(Item(0).Crc32, 0xCAFEF00Du) << c.what;
    EXPECT_EQ(Item(0).PackedSize64(), 12u) << c.what;
    EXPECT_EQ(Item(0).UnpackedSize64(), 40u) << c.what;
  }
}

TEST_F(Rebuild, DataOfAStoredArchiveIsSkippedWhenItsSizeLeadsToTheNextRecord) {
  const std::string inner = [] {
    const Bytes zip = BuildZip({FileEntry("inner1.txt", "x"), FileEntry("inner2.txt", "y")});
    return std::string(zip.begin(), zip.end());
  }();
  // The entry behind is long enough to keep the inner end record out of the
  // end record search.
  const TestEntry after = FileEntry("after.txt", std::string(70000, 'z'));
  Bytes bytes = LocalsOnly({FileEntry("inner.zip", inner), after});
  auto& manager = Load(bytes);
  ASSERT_EQ(manager.Dir().Count(), 2);
  EXPECT_EQ(Item(1).Name, u"after.txt");
  // A stated size that leads nowhere is not trusted: the scan goes on
  // behind the name, and the inner headers count.
  TestEntry wrong = FileEntry("inner.zip", inner);
  bytes = LocalsOnly({wrong, after});
  bytes[18] = static_cast<uint8_t>(bytes[18] + 1);  // compressed size one too large
  EXPECT_EQ(Load(bytes).Dir().Count(), 2 + 2);
  // Streamed, with its sizes in a data descriptor that fits the data.
  TestEntry streamed = FileEntry("inner.zip", "");
  streamed.flags = kFlagDataDescriptor;
  bytes = LocalRecord(streamed);
  Append(bytes, inner);
  PutU32(bytes, 0x08074B50);
  PutU32(bytes, 0);
  PutU32(bytes, uint32_t(inner.size()));
  PutU32(bytes, uint32_t(inner.size()));
  Append(bytes, LocalRecord(after));
  EXPECT_EQ(Load(bytes).Dir().Count(), 2);
}

TEST_F(Rebuild, SkipsHeadersWithImpossibleSizesOrLongExtras) {
  TestEntry long_extra = FileEntry("extra.bin", "x");
  long_extra.local_extra = RawField(0x7777, Bytes(300, 0));
  Bytes bytes = LocalsOnly({long_extra, FileEntry("kept.txt", "k")});
  Bytes huge = LocalRecord(FileEntry("huge.bin", ""));
  huge[21] = 0x7F;  // compressed size beyond the stream
  Append(bytes, huge);
  auto& manager = Load(bytes);
  ASSERT_EQ(manager.Dir().Count(), 1);
  EXPECT_EQ(Item(0).Name, u"kept.txt");
}

TEST_F(Rebuild, NameLongerThanTheRestGivesAnEmptyName) {
  Bytes bytes = LocalRecord(FileEntry("cut", ""));
  bytes[26] = 200;
  auto& manager = Load(bytes);
  ASSERT_EQ(manager.Dir().Count(), 1);
  EXPECT_EQ(Item(0).Name, u"");
}

TEST_F(Rebuild, HeaderWhoseNameSwallowsTheNextHeaderIsDropped) {
  Bytes bytes = LocalRecord(FileEntry("bogus", ""));
  bytes[26] = 100;  // its name would run over the next header
  Append(bytes, LocalRecord(FileEntry("real.txt", std::string(80, 'r'))));
  auto& manager = Load(bytes);
  ASSERT_EQ(manager.Dir().Count(), 1);
  EXPECT_EQ(Item(0).Name, u"real.txt");
  EXPECT_EQ(Item(0).LocalHeaderOffset, 35u);
}

TEST_F(Rebuild, NamesUseTheOemPageOnlyWhenAnEndRecordWasFound) {
  Bytes bytes = LocalRecord(FileEntry("\x81.txt", ""));
  Load(bytes);
  EXPECT_EQ(Item(0).Name, u"\u0081.txt");  // no end record: ANSI
  Bytes with_end = LocalRecord(FileEntry("\x81.txt", ""));
  BuildOptions options;
  options.total_entries = 0xFFFF;  // found, then rebuilt
  const Bytes end = BuildZip({}, options);
  Append(with_end, end);
  Load(with_end);
  EXPECT_TRUE(Rebuilt());
  EXPECT_EQ(Item(0).Name, u"\u00FC.txt");
  Load(with_end, Loading(true, false));
  EXPECT_EQ(Item(0).Name, u"\u0081.txt");
}

TEST_F(Rebuild, UnicodeNameFieldOfTheLocalHeaderIsUsed) {
  TestEntry entry = FileEntry("x", "");
  entry.local_extra = UnicodeNameField(u"\u00E9.kml");
  Load(LocalsOnly({entry}));
  EXPECT_EQ(Item(0).Name, u"\u00E9.kml");
}

TEST_F(Rebuild, NoLocalHeaderIsNoArchive) {
  EXPECT_EQ(LoadError(Bytes(1000, 'x')), 35);
  Bytes short_hit{'P', 'K', 3, 4, 0, 0, 0};  // fewer than 30 bytes from the hit
  EXPECT_EQ(LoadError(short_hit), 35);
  // A signature that begins no acceptable header: damage, not an empty archive.
  Bytes no_header{'P', 'K', 3, 4};
  Append(no_header, std::string("garbage-garbage-garbage-garbage"));
  EXPECT_EQ(LoadError(no_header), 35);
}

TEST_F(Rebuild, RepeatedSignaturesEnd) {
  // 10 MiB of signatures; a scan that restarts at each hit would outrun the
  // test's time limit.
  Bytes bytes;
  bytes.reserve(10 << 20);
  while (bytes.size() < (10u << 20)) Append(bytes, std::string("PK\3\4"));
  EXPECT_EQ(LoadError(bytes), 35);  // none of them is a header
}

TEST_F(Rebuild, ManyStreamedHeadersWithoutDescriptorsStayLinear) {
  // 100,000 headers announcing a data descriptor that never comes: one
  // search to the end per header would outrun the test's time limit.
  Bytes header = LocalRecord(FileEntry("", ""));
  header[6] |= kFlagDataDescriptor;
  Bytes bytes;
  for (int i = 0; i < 100000; ++i) Append(bytes, header);
  EXPECT_EQ(Load(bytes).Dir().Count(), 100000);
  EXPECT_EQ(Item(99999).PackedSize, 0u);
}

TEST_F(Rebuild, OverlappingHeadersWithLongNamesStayLinear) {
  // Every 30 bytes a plausible header declaring a 65,535-byte name.
  Bytes header = LocalRecord(FileEntry("", ""));
  header[26] = header[27] = 0xFF;
  Bytes bytes;
  while (bytes.size() < (4u << 20)) Append(bytes, header);
  auto& manager = Load(bytes);
  // Only the headers whose names run past the end remain, with empty names.
  EXPECT_LE(manager.Dir().Count(), 65535 / 30 + 1);
}

}  // namespace
}  // namespace ziptest
