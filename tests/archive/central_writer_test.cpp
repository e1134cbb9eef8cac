// Writing the central directory and the end records, and reading back what
// was written.
#include "archive/update/central_directory_writer.h"

#include "loading_fixture.h"

namespace ziptest {
namespace {

using parcelon::kSaturated32;
using parcelon::TDirItem;
using parcelon::TPLDirManager;

TDirItem ItemOf(std::u16string name, uint32_t offset, uint32_t size) {
  TDirItem item;
  item.Name = std::move(name);
  item.VersionMadeBy = item.VersionNeeded = 20;
  item.LocalHeaderOffset = offset;
  item.PackedSize = item.UnpackedSize = size;
  item.ExternalAttributes = 0x20;
  return item;
}

std::u16string NumberedName(int i) {
  std::u16string name = u"e";
  for (char c : std::to_string(i)) name.push_back(static_cast<char16_t>(c));
  return name;
}

class CentralWriter : public LoaderTest {
 protected:
  // A new archive in a fresh memory stream holding `prefix`.
  TPLDirManager& Create(Bytes prefix = {}) {
    stream_ = std::make_unique<platform::MemoryStream>(std::move(prefix));
    manager_ = std::make_unique<TPLDirManager>(*stream_, code_pages_, true);
    return *manager_;
  }
  void Add(TDirItem item) {
    auto& dir = manager_->Dir();
    const int32_t index = dir.Count();
    dir.SetCount(index + 1);
    dir.SetItem(index, item);
  }
  void Write(const parcelon::EngineSettings& settings = {}) {
    parcelon::AdoptWrittenHeaders(
        manager_->Dir(), parcelon::WriteCentralDirectory(*manager_, code_pages_, settings));
  }
  // The written archive, loaded by a manager of its own.
  void Reload() { Load(stream_->Bytes()); }
};

TEST_F(CentralWriter, EmptyArchiveIsTheBareEndRecord) {
  Create();
  Write();
  const Bytes expected{'P', 'K', 5, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(stream_->Bytes(), expected);
}

TEST_F(CentralWriter, WrittenEntriesLoadBackTheSame) {
  const Bytes locals = BuildZip({FileEntry("a.kml", "12345"), FileEntry("b/c.txt", "xy")});
  Bytes data(locals.begin(), locals.begin() + 30 + 5 + 5 + 30 + 7 + 2);
  auto& manager = Create(data);
  TDirItem first = ItemOf(u"a.kml", 0, 5);
  first.SetComment("entry comment");
  first.SetExtraFields({{0x7777, 3, {1, 2, 3}}});
  Add(first);
  Add(ItemOf(u"b/c.txt", 40, 2));
  manager.SetArchiveComment("the archive");
  Write();
  EXPECT_EQ(manager.CentralDirOffset(), int64_t(data.size()));
  Reload();
  ASSERT_EQ(manager_->Dir().Count(), 2);
  EXPECT_EQ(Item(0).Name, u"a.kml");
  EXPECT_EQ(Item(0).Comment(), "entry comment");
  ASSERT_EQ(Item(0).ExtraFields().size(), 1u);
  EXPECT_EQ(Item(0).ExtraFields()[0].Data, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(Item(1).Name, u"b/c.txt");
  EXPECT_EQ(Item(1).LocalHeaderOffset, 40u);
  EXPECT_EQ(manager_->ArchiveComment(), "the archive");
  EXPECT_EQ(manager_->StubSize(), 0);
  EXPECT_FALSE(Rebuilt());
}

TEST_F(CentralWriter, NameOutsideTheAnsiPageIsStoredAsUtf8) {
  Create();
  TDirItem item = ItemOf(u"\u65E5\u672C.kml", 0, 0);
  Add(item);
  TDirItem ascii = ItemOf(u"plain.kml", 0, 0);
  ascii.Flags = parcelon::kFlagUtf8;  // cleared: the name needs no UTF-8
  Add(ascii);
  Write();
  EXPECT_NE(manager_->Dir().Items(0).Flags & parcelon::kFlagUtf8, 0);
  EXPECT_EQ(manager_->Dir().Items(0).NameLength, 10);
  EXPECT_EQ(manager_->Dir().Items(1).Flags & parcelon::kFlagUtf8, 0);
  Reload();
  EXPECT_EQ(Item(0).Name, u"\u65E5\u672C.kml");
  EXPECT_EQ(Item(1).Name, u"plain.kml");
}

TEST_F(CentralWriter, SaturatedValuesGetAFreshZip64FieldAndTheOldOneIsDropped) {
  Create();
  TDirItem item = ItemOf(u"big.bin", kSaturated32, kSaturated32);
  item.Zip64PackedSize = 5000000000ULL;
  item.Zip64UnpackedSize = 6000000000ULL;
  item.Zip64LocalHeaderOffset = 7000000000ULL;
  item.SetExtraFields({{0x0001, 8, {9, 9, 9, 9, 9, 9, 9, 9}},  // kept from reading
                       {0x5555, 1, {42}}});
  Add(item);
  Write();
  const Bytes& bytes = stream_->Bytes();
  EXPECT_EQ(U16At(bytes, 30), 4 + 24 + 4 + 1);  // extra length
  EXPECT_EQ(U16At(bytes, 46 + 7), 0x0001);
  EXPECT_EQ(U16At(bytes, 46 + 7 + 2), 24);
  EXPECT_EQ(U16At(bytes, 46 + 7 + 28), 0x5555);
  EXPECT_EQ(U16At(bytes, 4), 45);  // versions made by and needed raised to 4.5
  EXPECT_EQ(U16At(bytes, 6), 45);
  Reload();
  EXPECT_EQ(Item(0).Zip64UnpackedSize, 6000000000ULL);
  EXPECT_EQ(Item(0).Zip64PackedSize, 5000000000ULL);
  EXPECT_EQ(Item(0).Zip64LocalHeaderOffset, 7000000000ULL);
  EXPECT_TRUE(Item(0).IsZip64);
}

// A new offset given aside is written as the same offset held by the entry
// would be, in a Zip64 field from 4 GiB on, and the entry holds it once the
// written headers are adopted.
TEST_F(CentralWriter, NewOffsetsGivenAsideAreWrittenAsIfHeld) {
  for (const uint64_t offset : {uint64_t{123}, uint64_t{7000000000}}) {
    const bool zip64 = offset >= kSaturated32;
    Create();
    TDirItem held = ItemOf(u"a.bin", zip64 ? kSaturated32 : uint32_t(offset), 1);
    held.Zip64LocalHeaderOffset = offset;
    Add(held);
    Write();
    const Bytes expected = stream_->Bytes();
    Create();
    Add(ItemOf(u"a.bin", 0, 1));
    const uint64_t aside[] = {offset};
    parcelon::AdoptWrittenHeaders(
        manager_->Dir(), parcelon::WriteCentralDirectory(*manager_, code_pages_, {}, aside), aside);
    EXPECT_EQ(stream_->Bytes(), expected) << offset;
    EXPECT_EQ(manager_->Dir().Items(0).LocalHeaderOffset64(), offset);
    EXPECT_EQ(manager_->Dir().Items(0).IsZip64, zip64);
  }
}

TEST_F(CentralWriter, Zip64RecordsFrom65535Entries) {
  for (int count : {65534, 65535}) {
    Create();
    for (int i = 0; i < count; ++i) Add(ItemOf(NumberedName(i), 0, 0));
    Write();
    const Bytes& bytes = stream_->Bytes();
    const bool zip64 = count == 65535;
    EXPECT_EQ(U16At(bytes, bytes.size() - 12), zip64 ? 0xFFFF : 65534);
    EXPECT_EQ(U16At(bytes, bytes.size() - 14), zip64 ? 0xFFFF : 65534);
    EXPECT_EQ(U32At(bytes, bytes.size() - 42) == 0x07064B50u, zip64);
    Reload();
    EXPECT_EQ(manager_->IsZip64(), zip64);
    EXPECT_FALSE(Rebuilt());
    EXPECT_EQ(manager_->Dir().Count(), count);
  }
}

// The directory of one entry written at `base` of a sparse stream.
Bytes WriteAt(int64_t base, const platform::CodePages& code_pages, TPLDirManager** kept,
              std::unique_ptr<SparseStream>& stream, std::unique_ptr<TPLDirManager>& manager) {
  stream = std::make_unique<SparseStream>(base);
  manager = std::make_unique<TPLDirManager>(*stream, code_pages, true);
  manager->Dir().SetCount(1);
  manager->Dir().SetItem(0, ItemOf(u"late.bin", kSaturated32, 0));
  manager->Dir().Items(0).Zip64LocalHeaderOffset = uint64_t(base) - 100;
  parcelon::WriteCentralDirectory(*manager, code_pages, {});
  *kept = manager.get();
  return stream->Tail();
}

TEST_F(CentralWriter, DirectoryEndingBeyondFourGigabytesGetsZip64Records) {
  std::unique_ptr<SparseStream> sparse;
  std::unique_ptr<TPLDirManager> owner;
  TPLDirManager* manager = nullptr;
  for (int64_t base : {int64_t{0xFFFFFFF0}, int64_t{0x100000010}}) {
    const Bytes tail = WriteAt(base, code_pages_, &manager, sparse, owner);
    const uint32_t offset_field = U32At(tail, tail.size() - 6);
    EXPECT_EQ(offset_field, base < kSaturated32 ? uint32_t(base) : kSaturated32);
    EXPECT_EQ(U32At(tail, tail.size() - 42), 0x07064B50u);  // the locator
    EXPECT_EQ(U32At(tail, tail.size() - 42 - 56), 0x06064B50u);
    EXPECT_EQ(manager->Zip64End().DirectoryOffset, uint64_t(base));
    EXPECT_EQ(manager->Zip64End().TotalEntries, 1u);
    EXPECT_EQ(manager->Zip64End().RecordSize, 44u);
    EXPECT_EQ(manager->Zip64End().VersionNeeded, 45);
    EXPECT_EQ(manager->Zip64Loc().TotalDisks, 1u);
    EXPECT_EQ(manager->Zip64Loc().EndRecordOffset, uint64_t(base) + tail.size() - 98);
    EXPECT_EQ(manager->CentralDirOffset(), base);
  }
}

TEST_F(CentralWriter, ShortWriteIsError46NamingTheComponent) {
  ShortWriteStream stream(10);
  TPLDirManager manager(stream, code_pages_, true);
  parcelon::TComponent component;
  component.SetName(u"Parcelon1");
  parcelon::EngineSettings settings;
  settings.component = &component;
  try {
    parcelon::WriteCentralDirectory(manager, code_pages_, settings);
    ADD_FAILURE() << "no error";
  } catch (const parcelon::EPLException& e) {
    EXPECT_EQ(e.NativeError(), 46);
    EXPECT_EQ(e.Message().rfind(u"Parcelon1: ", 0), 0u);
  }
}

TEST_F(CentralWriter, WritesAtTheEndAndKeepsTheEndRecord) {
  auto& manager = Create(Bytes(50, 'd'));
  stream_->Seek(0, platform::SeekOrigin::kBegin);
  Add(ItemOf(u"x", 0, 0));
  Write();
  EXPECT_EQ(manager.EndRec().DirectoryOffset, 50u);
  EXPECT_EQ(manager.EndRec().TotalEntries, 1);
  EXPECT_EQ(manager.EndRec().DirectorySize, 46u + 1);
  EXPECT_EQ(stream_->Size(), 50 + 47 + 22);
}

}  // namespace
}  // namespace ziptest
