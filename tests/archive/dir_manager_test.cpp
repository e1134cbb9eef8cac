// Loading the central directory: the end record search, Zip64 records,
// headers, names, extra fields, stubs, and the fallbacks to the rebuild.

#include <algorithm>
#include <functional>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "archive/directory/stub_detection.h"
#include "loading_fixture.h"

namespace ziptest {
namespace {

using parcelon::kCentralHeaderSize;
using parcelon::kFlagDataDescriptor;
using parcelon::kSaturated32;

const parcelon::EngineSettings kNoRepair = Loading(false, true);

std::vector<TestEntry> ThreeEntries() {
  TestEntry folder = FileEntry("docs/", "");
  folder.external = 0x10;
  TestEntry readme = FileEntry("docs/readme.txt", "hello");
  readme.comment = "first file";
  return {readme, folder, FileEntry("doc.kml", "<kml/>")};
}

class Loader : public LoaderTest {};

TEST_F(Loader, EmptyStreamIsNoArchive) {
  EXPECT_EQ(LoadError({}), 35);
  EXPECT_EQ(LoadError({}, kNoRepair), 35);
}

TEST_F(Loader, EmptyEndRecordAloneGivesNoEntries) {
  auto& manager = Load(BuildZip({}));
  EXPECT_EQ(stream_->Size(), 22);
  EXPECT_EQ(manager.Dir().Count(), 0);
  EXPECT_EQ(manager.StubSize(), 0);
  EXPECT_EQ(manager.EndRecordPosition(), 0);
  EXPECT_FALSE(manager.IsZip64());
}

TEST_F(Loader, ReadsHeadersNamesCommentsAndTheArchiveComment) {
  BuildOptions options;
  options.comment = "archive comment";
  auto& manager = Load(BuildZip(ThreeEntries(), options), kNoRepair);
  ASSERT_EQ(manager.Dir().Count(), 3);
  EXPECT_EQ(Item(0).Name, u"docs/readme.txt");
  EXPECT_EQ(Item(0).Comment(), "first file");
  EXPECT_EQ(Item(0).PackedSize, 5u);
  EXPECT_EQ(Item(0).LocalHeaderOffset, 0u);
  EXPECT_EQ(Item(0).Signature, parcelon::kCentralHeaderSignature);
  EXPECT_EQ(Item(1).Name, u"docs/");
  EXPECT_TRUE(Item(1).IsFolder());
  EXPECT_EQ(Item(2).LocalHeaderOffset, 30u + 15 + 5 + 30 + 5);
  EXPECT_EQ(manager.ArchiveComment(), "archive comment");
  EXPECT_FALSE(Rebuilt());
  int32_t index = -1;
  EXPECT_TRUE(manager.Dir().Find(u"doc.kml", index));
  EXPECT_EQ(index, 2);
}

TEST_F(Loader, CentralDirectoryIsFoundRightBeforeTheEndRecord) {
  const Bytes bytes = BuildZip(ThreeEntries());
  auto& manager = Load(bytes);
  EXPECT_EQ(manager.CentralDirOffset(), U32At(bytes, bytes.size() - 6));
}

TEST_F(Loader, StubWithRelativeOffsetsShiftsEveryEntry) {
  BuildOptions options;
  options.prefix = std::string(100, 'x');
  options.offsets_relative = true;
  auto& manager = Load(BuildZip(ThreeEntries(), options));
  EXPECT_EQ(manager.StubSize(), 100);
  EXPECT_EQ(Item(0).LocalHeaderOffset, 100u);
  EXPECT_EQ(Item(2).LocalHeaderOffset, 100u + 30 + 15 + 5 + 30 + 5);
  // A folder entry's local header moved with the rest.
  EXPECT_EQ(Item(1).LocalHeaderOffset, 100u + 30 + 15 + 5);
}

TEST_F(Loader, StubWithAbsoluteOffsetsLeavesThemAlone) {
  BuildOptions options;
  options.prefix = std::string(100, 'x');
  auto& manager = Load(BuildZip(ThreeEntries(), options));
  EXPECT_EQ(manager.StubSize(), 100);
  EXPECT_EQ(Item(0).LocalHeaderOffset, 100u);
  EXPECT_EQ(Item(1).LocalHeaderOffset, 100u + 30 + 15 + 5);
}

// Offsets past a stub move by its size; a hostile Zip64 offset near the top
// of the range saturates instead of wrapping to one that points at data.
TEST_F(Loader, ShiftedOffsetsNeverWrap) {
  struct Case {
    uint32_t offset;
    uint64_t zip64;
    uint64_t expected;
  };
  const Case cases[] = {{10, 0, 110},
                        {kSaturated32 - 50, 0, uint64_t{kSaturated32} + 50},
                        {kSaturated32, UINT64_MAX - 20, UINT64_MAX}};
  parcelon::TPLDirArray dir(code_pages_);
  dir.SetCount(1);
  for (const Case& c : cases) {
    parcelon::TDirItem item;
    item.LocalHeaderOffset = c.offset;
    item.Zip64LocalHeaderOffset = c.zip64;
    dir.SetItem(0, item);
    parcelon::ShiftOffsets(dir, 100);
    EXPECT_EQ(dir.Items(0).LocalHeaderOffset64(), c.expected) << c.offset;
  }
}

TEST_F(Loader, StubIsMeasuredFromEntryZeroWhateverComesFirst) {
  // Entry 0 holds no data and a later entry lies beyond the stub's length:
  // the shift still comes from where entry 0's header really is.
  std::vector<TestEntry> entries{FileEntry("empty.txt", ""),
                                 FileEntry("big.bin", std::string(300, 'b'))};
  BuildOptions options;
  options.prefix = std::string(20, 'x');
  options.offsets_relative = true;
  Load(BuildZip(entries, options));
  EXPECT_EQ(Item(0).LocalHeaderOffset, 20u);
  EXPECT_EQ(Item(1).LocalHeaderOffset, 20u + 30 + 9);
}

TEST_F(Loader, ArchiveProperStartsAtTheFirstHeaderWhicheverEntryItHolds) {
  // The directory lists the second local record first.
  Bytes bytes = BuildZip({FileEntry("a.txt", "aaa"), FileEntry("b.txt", "bbb")});
  const size_t directory = U32At(bytes, bytes.size() - 6);
  const size_t header = kCentralHeaderSize + 5;
  std::rotate(bytes.begin() + long(directory), bytes.begin() + long(directory + header),
              bytes.begin() + long(directory + 2 * header));
  auto& manager = Load(bytes);
  EXPECT_EQ(Item(0).Name, u"b.txt");
  EXPECT_EQ(manager.StubSize(), 0);
  EXPECT_EQ(Item(0).LocalHeaderOffset, 30u + 5 + 3);
}

TEST_F(Loader, StubIsFoundForAStreamedFirstEntry) {
  // Entry 0 was written with a data descriptor: its local header holds 0 for
  // the CRC-32 and the sizes, which the directory knows.
  TestEntry entry = FileEntry("streamed.txt", "data");
  entry.flags = kFlagDataDescriptor;
  BuildOptions options;
  options.prefix = std::string(50, 'x');
  options.offsets_relative = true;
  Bytes bytes = BuildZip({entry, FileEntry("b.txt", "bbb")}, options);
  std::fill(bytes.begin() + 50 + 14, bytes.begin() + 50 + 26, 0);
  auto& manager = Load(bytes);
  EXPECT_EQ(manager.StubSize(), 50);
  EXPECT_EQ(Item(0).LocalHeaderOffset, 50u);
}

TEST_F(Loader, PrefixedZip64OffsetsAreShiftedToo) {
  TestEntry entry = FileEntry("big.bin", "data");
  entry.central_offset = kSaturated32;
  entry.central_extra = Zip64Field({0});  // the offset, counted from the archive proper
  BuildOptions options;
  options.prefix = std::string(64, 'x');
  options.offsets_relative = true;
  auto& manager = Load(BuildZip({entry}, options));
  EXPECT_EQ(manager.StubSize(), 64);
  EXPECT_EQ(Item(0).LocalHeaderOffset, kSaturated32);
  EXPECT_EQ(Item(0).Zip64LocalHeaderOffset, 64u);
  EXPECT_TRUE(Item(0).IsZip64);
}

TEST_F(Loader, EndSignatureInsideTheCommentIsSkippedWhenItDoesNotValidate) {
  BuildOptions options;
  // A record that claims a directory larger than the file in front of it.
  Bytes fake{'P', 'K', 5, 6, 0, 0, 0, 0, 1, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 0, 0};
  options.comment = "before " + std::string(fake.begin(), fake.end()) + " after";
  auto& manager = Load(BuildZip(ThreeEntries(), options), kNoRepair);
  EXPECT_EQ(manager.Dir().Count(), 3);
  EXPECT_EQ(manager.ArchiveComment(), options.comment);
}

TEST_F(Loader, ArchiveStoredInTheCommentDoesNotHideTheRealOne) {
  // The inner end record comes first in the backward search and validates,
  // but it lies inside the comment of the outer one, which reaches the end
  // of the file.
  const Bytes inner = BuildZip({FileEntry("inner.txt", "i")});
  for (const std::string trailer : {"", " and text"}) {
    BuildOptions options;
    options.comment = std::string(inner.begin(), inner.end()) + trailer;
    auto& manager = Load(BuildZip(ThreeEntries(), options), kNoRepair);
    EXPECT_EQ(manager.Dir().Count(), 3) << trailer;
    EXPECT_EQ(manager.ArchiveComment(), options.comment) << trailer;
  }
  // When no comment reaches the end, the last valid record stands.
  Bytes trailing = BuildZip(ThreeEntries());
  Append(trailing, std::string("junk"));
  EXPECT_EQ(Load(trailing, kNoRepair).Dir().Count(), 3);
}

// `bytes` with `gap` put in front of their last `end_records` bytes.
Bytes WithGap(Bytes bytes, size_t end_records, const std::string& gap) {
  bytes.insert(bytes.end() - long(end_records), gap.begin(), gap.end());
  return bytes;
}

TEST_F(Loader, DirectoryNotRightBeforeTheEndRecordsIsReadWhereItIs) {
  // Bytes between the directory and the end records: counted back from
  // them, the stated size lands inside the directory, where no header
  // starts. The stated offset finds it, moved by a prefix that the offsets
  // do not count; no entry is made of other bytes.
  BuildOptions prefixed;
  prefixed.prefix = std::string(100, 'x');
  prefixed.offsets_relative = true;
  BuildOptions zip64 = prefixed;
  zip64.zip64 = true;
  const struct {
    const char* what;
    BuildOptions options;
    size_t end_records;
  } cases[] = {{"plain", {}, 22}, {"prefixed", prefixed, 22}, {"Zip64", zip64, 22 + 20 + 56}};
  for (const auto& c : cases) {
    const Bytes intact = BuildZip(ThreeEntries(), c.options);
    const int64_t prefix = int64_t(c.options.prefix.size());
    auto& manager = Load(WithGap(intact, c.end_records, "xyz"), kNoRepair);
    ASSERT_EQ(manager.Dir().Count(), 3) << c.what;
    EXPECT_EQ(Item(2).Name, u"doc.kml") << c.what;
    EXPECT_EQ(manager.RebuildReason(), "") << c.what;
    EXPECT_EQ(manager.CentralDirOffset(), U32At(intact, intact.size() - 6) + prefix) << c.what;
    EXPECT_EQ(manager.StubSize(), prefix) << c.what;
    EXPECT_EQ(Item(0).LocalHeaderOffset, uint32_t(prefix)) << c.what;
  }
}

TEST_F(Loader, DamagedDirectoryIsRebuiltAndTheLoadSaysWhy) {
  const Bytes intact = BuildZip(ThreeEntries());
  const size_t directory = U32At(intact, intact.size() - 6);
  const auto broken = [&](size_t at) {
    Bytes bytes = intact;
    bytes[at] = 0;
    return bytes;
  };
  const auto built = [](auto set) {
    BuildOptions options;
    set(options);
    return BuildZip(ThreeEntries(), options);
  };
  const struct {
    Bytes bytes;
    std::string reason;
  } cases[] = {
      {Bytes(intact.begin(), intact.end() - 22), "no end record"},
      {built([](BuildOptions& o) { o.total_entries = 0xFFFF; }),
       "the end record counts more entries than the central directory holds"},
      {broken(directory), "the central directory is not where the end record says"},
      {broken(directory + kCentralHeaderSize + 15 + 10), "central header 2 is damaged"},
      {built([](BuildOptions& o) { o.total_entries = 50; }),
       "the end record counts more entries than the central directory holds"},
      {built([](BuildOptions& o) { o.zip64 = true, o.zip64_directory_size = 1ULL << 40; }),
       "the central directory does not fit before the end record"},
  };
  for (const auto& c : cases) {
    auto& manager = Load(c.bytes);
    EXPECT_EQ(manager.RebuildReason(), c.reason);
    EXPECT_TRUE(Rebuilt()) << c.reason;
    EXPECT_EQ(manager.Dir().Count(), 3) << c.reason;
  }
  // Each load starts afresh.
  stream_->SetSize(0);
  stream_->Write(intact.data(), intact.size());
  manager_->LoadDirectory({});
  EXPECT_EQ(manager_->RebuildReason(), "");
}

TEST_F(Loader, StreamFailuresPassInsteadOfARebuild) {
  // A failing disk or running out of memory is no damage: a rebuild would
  // drop the comments and attributes without a word.
  const Bytes bytes = BuildZip(ThreeEntries());
  const int64_t directory = U32At(bytes, bytes.size() - 6);
  const std::vector<std::pair<std::string, std::function<void()>>> failures = {
      {"Stream read error: Input/output error",
       [] { throw platform::EStreamError(u"Stream read error: Input/output error"); }},
      {std::bad_alloc().what(), [] { throw std::bad_alloc(); }},
  };
  for (const auto& [message, fail] : failures) {
    FailingReadStream stream(bytes, directory, directory + 1, fail);
    parcelon::TPLDirManager manager(stream, code_pages_, false);
    try {
      manager.LoadDirectory({});
      ADD_FAILURE() << message << ": " << manager.RebuildReason();
    } catch (const std::exception& failure) {
      EXPECT_EQ(failure.what(), message);
    }
  }
}

TEST_F(Loader, SaturatedCountTheDirectoryDoesNotHoldIsRebuilt) {
  BuildOptions options;
  options.total_entries = 0xFFFF;
  auto& manager = Load(BuildZip(ThreeEntries(), options));
  EXPECT_TRUE(Rebuilt());
  EXPECT_EQ(manager.Dir().Count(), 3);
}

TEST_F(Loader, NameRunningPastTheStreamIsRebuilt) {
  std::vector<TestEntry> entries = ThreeEntries();
  entries[2].central_name_length = 0xFFFF;
  auto& manager = Load(BuildZip(entries));
  EXPECT_TRUE(Rebuilt());
  ASSERT_EQ(manager.Dir().Count(), 3);
  EXPECT_EQ(Item(2).Name, u"doc.kml");
}

TEST_F(Loader, ExtraRunningPastTheStreamIsRebuilt) {
  Bytes bytes = BuildZip(ThreeEntries());
  const size_t directory = U32At(bytes, bytes.size() - 6);
  bytes[directory + 30] = 0xF0;  // extra length of the first header
  auto& manager = Load(bytes);
  EXPECT_TRUE(Rebuilt());
  EXPECT_EQ(manager.Dir().Count(), 3);
}

TEST_F(Loader, DamagedHeaderWithoutRepairFails) {
  std::vector<TestEntry> entries = ThreeEntries();
  entries[1].central_name_length = 0xFFFF;
  try {
    Load(BuildZip(entries), kNoRepair);
    ADD_FAILURE() << "loaded";
  } catch (const parcelon::EPLFormatDamage& damage) {
    EXPECT_STREQ(damage.what(), "Stream read error");  // a stream error, as it always was
    EXPECT_EQ(damage.Reason(), "central header 2 is damaged");
  }
}

TEST_F(Loader, CompressedSizesLargerThanTheFileAreDamageWithoutRepair) {
  std::vector<TestEntry> entries = ThreeEntries();
  entries[0].central_packed = 1 << 20;
  EXPECT_EQ(LoadError(BuildZip(entries), kNoRepair), 57);
  EXPECT_EQ(LoadError(BuildZip(entries)), 0);
}

TEST_F(Loader, CountThatTheDirectoryCannotHoldIsRebuilt) {
  BuildOptions options;
  options.total_entries = 50;  // three headers stand there
  auto& manager = Load(BuildZip(ThreeEntries(), options));
  EXPECT_TRUE(Rebuilt());
  EXPECT_EQ(manager.Dir().Count(), 3);
  EXPECT_THROW(Load(BuildZip(ThreeEntries(), options), kNoRepair), platform::EStreamError);
}

TEST_F(Loader, HeadersBeyondACountKeptModulo65536AreRead) {
  std::vector<TestEntry> entries;
  for (int i = 0; i < 70000; ++i)
    entries.push_back(FileEntry(std::string("f").append(std::to_string(i)), ""));
  BuildOptions options;
  options.total_entries = 70000 % 65536;  // 4,464
  auto& manager = Load(BuildZip(entries, options), kNoRepair);
  ASSERT_EQ(manager.Dir().Count(), 70000);
  EXPECT_EQ(Item(69999).Name, u"f69999");
  int32_t index = -1;
  EXPECT_TRUE(manager.Dir().Find(u"f65536", index));
  EXPECT_EQ(index, 65536);
}

TEST_F(Loader, NamelessEntriesLoad) {
  auto& manager = Load(BuildZip({FileEntry("", "a"), FileEntry("", "b")}), kNoRepair);
  ASSERT_EQ(manager.Dir().Count(), 2);
  EXPECT_EQ(Item(1).Name, u"");
  EXPECT_EQ(Item(1).PackedSize, 1u);
}

TEST_F(Loader, UnicodeNameFieldWinsOverTheStoredName) {
  TestEntry entry = FileEntry("stored.txt", "x");
  entry.central_extra = UnicodeNameField(u"\u65E5\u672C/\u00E9t\u00E9.kml");
  Load(BuildZip({entry}));
  EXPECT_EQ(Item(0).Name, u"\u65E5\u672C/\u00E9t\u00E9.kml");
  ASSERT_EQ(Item(0).ExtraFields().size(), 1u);
  EXPECT_EQ(Item(0).ExtraFields()[0].HeaderID, 0x554E);
}

TEST_F(Loader, UnicodePathFieldGivesTheNameWhenItsCrcMatches) {
  TestEntry entry = FileEntry("caf?.kml", "x");
  entry.central_extra = UnicodePathField("caf?.kml", "caf\xC3\xA9.kml");
  TestEntry stale = FileEntry("old.kml", "y");
  stale.central_extra = UnicodePathField("other name", "new.kml");
  TestEntry both = FileEntry("z", "");
  both.central_extra = UnicodePathField("z", "path.kml");
  Append(both.central_extra, UnicodeNameField(u"unicode.kml"));
  Load(BuildZip({entry, stale, both}));
  EXPECT_EQ(Item(0).Name, u"caf\u00E9.kml");
  EXPECT_EQ(Item(1).Name, u"old.kml");
  EXPECT_EQ(Item(2).Name, u"unicode.kml");
}

TEST_F(Loader, NamesDecodeByFlagAndOption) {
  TestEntry utf8 = FileEntry("\xC3\xA9t\xC3\xA9", "");
  utf8.flags = parcelon::kFlagUtf8;
  TestEntry oem = FileEntry("\x81", "");  // u with diaeresis in the OEM code page
  Load(BuildZip({utf8, oem}));
  EXPECT_EQ(Item(0).Name, u"\u00E9t\u00E9");
  EXPECT_EQ(Item(1).Name, u"\u00FC");
  Load(BuildZip({utf8, oem}), Loading(true, false));
  EXPECT_EQ(Item(1).Name, u"\u0081");
}

TEST_F(Loader, Zip64FieldFillsTheSaturatedValuesInOrder) {
  TestEntry entry = FileEntry("big.bin", "data");
  entry.central_packed = kSaturated32;
  entry.central_unpacked = kSaturated32;
  entry.central_extra = Zip64Field({5000000000ULL});  // only the uncompressed size
  Load(BuildZip({entry}));
  EXPECT_TRUE(Item(0).IsZip64);
  EXPECT_EQ(Item(0).UnpackedSize64(), 5000000000ULL);
  // No value left for the compressed size: the saturated field stands.
  EXPECT_EQ(Item(0).PackedSize64(), kSaturated32);
  entry.central_extra.clear();
  Load(BuildZip({entry}));
  EXPECT_FALSE(Item(0).IsZip64);
  EXPECT_EQ(Item(0).UnpackedSize64(), kSaturated32);
}

TEST_F(Loader, AesFieldSetsEncryptionAndTheRealMethod) {
  TestEntry entry = FileEntry("secret.kml", "xxxx");
  entry.flags = parcelon::kFlagEncrypted;
  entry.method = 99;
  entry.version = 51;
  entry.central_extra = RawField(0x9901, {2, 0, 'A', 'E', 3, 8, 0});
  Load(BuildZip({entry}));
  EXPECT_EQ(Item(0).Encryption, parcelon::caAES_256);
  EXPECT_EQ(Item(0).RealMethod, 8);
  EXPECT_EQ(Item(0).Method, 99);
}

TEST_F(Loader, Zip64RecordsGiveCountAndSize) {
  BuildOptions options;
  options.zip64 = true;
  options.total_entries = 0xFFFF;
  auto& manager = Load(BuildZip(ThreeEntries(), options), kNoRepair);
  EXPECT_TRUE(manager.IsZip64());
  EXPECT_FALSE(Rebuilt());
  EXPECT_EQ(manager.Dir().Count(), 3);
  EXPECT_EQ(manager.Zip64End().TotalEntries, 3u);
}

TEST_F(Loader, PrefixedZip64RecordsAreFoundBeforeTheLocator) {
  BuildOptions options;
  options.zip64 = true;
  options.prefix = std::string(40, 'x');
  options.offsets_relative = true;
  auto& manager = Load(BuildZip(ThreeEntries(), options), kNoRepair);
  EXPECT_EQ(manager.Dir().Count(), 3);
  EXPECT_EQ(manager.StubSize(), 40);
}

TEST_F(Loader, LocatorWithoutZip64EndRecordFails) {
  BuildOptions options;
  options.zip64 = true;
  options.omit_zip64_end_record = true;
  EXPECT_EQ(LoadError(BuildZip(ThreeEntries(), options)), 40);
}

TEST_F(Loader, LocatorWithAWrongOffsetStillFindsTheRecordRightBeforeIt) {
  BuildOptions options;
  options.zip64 = true;
  options.locator_offset = 1ULL << 62;
  auto& manager = Load(BuildZip(ThreeEntries(), options), kNoRepair);
  EXPECT_EQ(manager.Dir().Count(), 3);
}

TEST_F(Loader, HugeZip64CountsAllocateNothing) {
  BuildOptions options;
  options.zip64 = true;
  options.zip64_entries = 1ULL << 60;
  auto& manager = Load(BuildZip(ThreeEntries(), options));
  EXPECT_TRUE(Rebuilt());
  EXPECT_EQ(manager.Dir().Count(), 3);
  options.zip64_entries.reset();
  options.zip64_directory_size = 1ULL << 62;
  Load(BuildZip(ThreeEntries(), options));
  EXPECT_TRUE(Rebuilt());
  EXPECT_THROW(Load(BuildZip(ThreeEntries(), options), kNoRepair), platform::EStreamError);
}

TEST_F(Loader, HugeStatedDirectorySizeReadsOnlyWhatTheHeadersNeed) {
  // One central header, 64 GiB of zeros, then Zip64 records claiming that
  // all of it is one entry's directory: the entry is read from the first
  // block, and neither the directory nor the search for the archive proper
  // runs through the zeros.
  constexpr int64_t kBase = int64_t{64} << 30;
  SparseStream stream(kBase);
  parcelon::CentralDirHeader header;
  header.NameLength = 1;
  const auto header_bytes = header.SerializeHeader();
  stream.Write(header_bytes.data(), header_bytes.size());
  stream.Write("x", 1);
  parcelon::Zip64EndRecord zip64;
  zip64.EntriesOnDisk = zip64.TotalEntries = 1;
  zip64.DirectorySize = uint64_t{kBase};
  parcelon::Zip64Locator locator;
  locator.EndRecordOffset = uint64_t{kBase};
  locator.TotalDisks = 1;
  parcelon::EndRecord end;
  end.EntriesOnDisk = end.TotalEntries = parcelon::kSaturated16;
  end.DirectorySize = end.DirectoryOffset = kSaturated32;
  stream.Seek(kBase, platform::SeekOrigin::kBegin);
  const auto zip64_bytes = zip64.Serialize();
  const auto locator_bytes = locator.Serialize();
  const auto end_bytes = end.Serialize();
  stream.Write(zip64_bytes.data(), zip64_bytes.size());
  stream.Write(locator_bytes.data(), locator_bytes.size());
  stream.Write(end_bytes.data(), end_bytes.size());
  parcelon::TPLDirManager manager(stream, code_pages_, false);
  manager.LoadDirectory(kNoRepair);
  EXPECT_EQ(manager.Dir().Count(), 1);
  EXPECT_EQ(manager.StubSize(), 0);
  // Without the header, the search for a prefix stops where the directory
  // would have to start.
  stream.Seek(0, platform::SeekOrigin::kBegin);
  stream.Write(Bytes(header_bytes.size()).data(), header_bytes.size());
  EXPECT_THROW(manager.LoadDirectory(kNoRepair), parcelon::EPLFormatDamage);
}

TEST_F(Loader, LocateEndReportsWhatWasFound) {
  EXPECT_TRUE(Open(BuildZip({})).LocateEnd(false));
  EXPECT_FALSE(Open(Bytes(100, 'x')).LocateEnd(false));
  EXPECT_TRUE(Open(Bytes(100, 'x')).LocateEnd(true));
}

TEST_F(Loader, HundredThousandEntriesAllLoadInOrder) {
  std::vector<TestEntry> entries;
  for (int i = 0; i < 100000; ++i)
    entries.push_back(FileEntry("folder/entry" + std::to_string(i) + ".kml", ""));
  BuildOptions options;
  options.zip64 = true;
  Load(BuildZip(entries, options));
  ASSERT_EQ(manager_->Dir().Count(), 100000);
  EXPECT_EQ(manager_->Dir().Items(99999).Name, u"folder/entry99999.kml");
  int32_t index = -1;
  EXPECT_TRUE(manager_->Dir().Find(u"folder/entry5.kml", index));
  EXPECT_EQ(index, 5);
}

}  // namespace
}  // namespace ziptest
