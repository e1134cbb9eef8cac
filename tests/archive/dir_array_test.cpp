// The directory array: growth, bounds, the name index kept position for
// position, and loading many entries.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/directory/dir_array.h"
#include "archive/errors/pl_exception.h"
#include "platform/iconv_code_pages.h"
#include "platform/memory_stream.h"
#include "tests/archive/engine_error.h"

namespace parcelon {
namespace {

using testing_support::CodeOf;

std::u16string NameOf(int i) {
  std::u16string name = u"folder/entry";
  for (char c : std::to_string(i)) name.push_back(static_cast<char16_t>(c));
  return name + u".kml";
}

TDirItem ItemNamed(std::u16string name) {
  TDirItem item;
  item.Name = std::move(name);
  return item;
}

class DirArray : public ::testing::Test {
 protected:
  // Appends entries the way new entries are queued: one more slot, then
  // the entry stored into it.
  void Append(std::initializer_list<std::u16string> names) {
    for (const auto& name : names) {
      dir.SetCount(dir.Count() + 1);
      dir.SetItem(dir.Count() - 1, ItemNamed(name));
    }
  }
  int32_t IndexOf(std::u16string_view name) {
    int32_t index = -2;
    const bool found = dir.Find(name, index);
    EXPECT_EQ(found, index >= 0);
    return index;
  }

  platform::IconvCodePages code_pages;
  TPLDirArray dir{code_pages};
};

TEST_F(DirArray, GrowsInDoublingStepsCappedAtTenThousand) {
  std::vector<int32_t> capacities;
  for (int32_t n = 1; n <= 45001; ++n) {
    const int32_t before = dir.Capacity();
    dir.SetCount(n);
    if (dir.Capacity() != before) capacities.push_back(dir.Capacity());
  }
  EXPECT_EQ(capacities,
            (std::vector<int32_t>{1000, 3000, 7000, 15000, 25000, 35000, 45000, 55000}));
  EXPECT_EQ(dir.AllocBy(), 10000);
  dir.SetCount(10);  // never shrinks for a count above 0
  EXPECT_EQ(dir.Capacity(), 55000);
  dir.SetCount(0);
  EXPECT_EQ(dir.Capacity(), 0);
  EXPECT_EQ(dir.Count(), 0);
}

TEST_F(DirArray, OneLargeSetCountTakesTheCountItself) {
  dir.SetCount(30000);
  EXPECT_EQ(dir.Capacity(), 30000);
  EXPECT_EQ(dir.Count(), 30000);
  EXPECT_FALSE(dir.Items(29999).Modified);
  EXPECT_TRUE(dir.Items(29999).ExtraFields().empty());
  EXPECT_EQ(CodeOf([&] { dir.SetCount(-1); }), 1);
  EXPECT_EQ(dir.Count(), 30000);
}

TEST_F(DirArray, IndexesOutOfBoundsRaiseTheirOwnCodes) {
  Append({u"a", u"b"});
  EXPECT_EQ(CodeOf([&] { dir.GetItem(dir.Count()); }), 2);
  EXPECT_EQ(CodeOf([&] { dir.GetItem(-1); }), 2);
  EXPECT_EQ(CodeOf([&] { dir.Items(-1); }), 3);
  EXPECT_EQ(CodeOf([&] { dir.Items(2); }), 3);
  EXPECT_EQ(CodeOf([&] { std::as_const(dir).Items(2); }), 3);
  EXPECT_EQ(CodeOf([&] { dir.Delete(dir.Count()); }), 4);
  EXPECT_EQ(CodeOf([&] { dir.SetItem(dir.Count(), ItemNamed(u"x")); }), 1);
  EXPECT_EQ(CodeOf([&] { dir.SetName(dir.Count(), u"x"); }), 1);
  EXPECT_EQ(dir.Count(), 2);
  EXPECT_EQ(IndexOf(u"b"), 1);
  EXPECT_EQ(IndexOf(u"x"), -1);
}

TEST_F(DirArray, FindIsExactButCanIgnoreCase) {
  Append({u"readme.txt", u"docs/readme.txt", u"\u00C4rger.kml", u"README.TXT"});
  EXPECT_EQ(IndexOf(u"readme.txt"), 0);
  EXPECT_EQ(IndexOf(u"README.TXT"), 3);
  EXPECT_EQ(IndexOf(u"Docs/ReadMe.txt"), -1);
  EXPECT_EQ(IndexOf(u"docs\\readme.txt"), -1);
  int32_t index = -1;
  EXPECT_TRUE(dir.FindIgnoringCase(u"\u00E4RGER.KML", index));
  EXPECT_EQ(index, 2);
  EXPECT_TRUE(dir.FindIgnoringCase(u"Docs/ReadMe.txt", index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(dir.FindIgnoringCase(u"docs\\readme.txt", index));
  EXPECT_EQ(dir.Items(2).Name, u"\u00C4rger.kml");
}

TEST_F(DirArray, DeleteMovesLaterEntriesDownAndReindexes) {
  Append({u"one", u"two", u"three"});
  dir.Items(2).Marked = true;
  dir.Delete(0);
  ASSERT_EQ(dir.Count(), 2);
  EXPECT_EQ(IndexOf(u"two"), 0);
  EXPECT_EQ(IndexOf(u"three"), 1);
  EXPECT_EQ(IndexOf(u"one"), -1);
  EXPECT_TRUE(dir.Items(1).Marked);
  EXPECT_EQ(dir.Capacity(), 1000);
  Append({u"four"});
  EXPECT_EQ(IndexOf(u"four"), 2);
  EXPECT_TRUE(dir.Items(2).ExtraFields().empty());  // the freed slot was reset
}

TEST_F(DirArray, DroppingAnEntryReleasesItsDataStream) {
  // A pending data stream may hold a file open: whatever way its entry
  // leaves the directory, the stream goes with it.
  const std::vector<std::pair<const char*, std::function<void(TPLDirArray&)>>> drops = {
      {"Delete", [](TPLDirArray& d) { d.Delete(1); }},
      {"SetCount", [](TPLDirArray& d) { d.SetCount(1); }},
  };
  for (const auto& [how, drop] : drops) {
    dir.Clear();
    Append({u"a", u"b"});
    auto stream = std::make_shared<platform::MemoryStream>();
    std::weak_ptr<platform::MemoryStream> watch = stream;
    dir.Items(1).SetDataStream(std::move(stream), 0, false);
    drop(dir);
    EXPECT_TRUE(watch.expired()) << how;
  }
}

TEST_F(DirArray, EqualNamesFindTheHighestIndexAfterLoading) {
  dir.SetCount(3);
  dir.SetName(0, u"dup.kml");
  dir.SetName(1, u"other.kml");
  dir.SetName(2, u"dup.kml");
  EXPECT_EQ(IndexOf(u"dup.kml"), 2);
}

TEST_F(DirArray, NamelessEntriesLoad) {
  dir.SetCount(4);
  dir.SetName(0, u"");
  dir.SetName(1, u"");
  dir.SetName(2, u"x");
  dir.SetName(3, u"");
  EXPECT_EQ(dir.NameIndex().Count(), 4);
  EXPECT_EQ(IndexOf(u"x"), 2);
  EXPECT_EQ(IndexOf(u""), 3);
  dir.SetName(3, u"y");  // a rename in place keeps the others
  EXPECT_EQ(IndexOf(u""), 1);
  EXPECT_EQ(IndexOf(u"y"), 3);
}

TEST_F(DirArray, RenameReplacesTheIndexEntryInPlace) {
  Append({u"a.kml", u"b.kml"});
  dir.SetName(0, u"Renamed.KML");
  EXPECT_EQ(dir.Items(0).Name, u"Renamed.KML");
  EXPECT_EQ(IndexOf(u"Renamed.KML"), 0);
  EXPECT_EQ(IndexOf(u"a.kml"), -1);
  EXPECT_EQ(dir.NameIndex().Count(), 2);
}

TEST_F(DirArray, ANameListThatDoesNotLineUpIsRefusedUnchanged) {
  dir.SetCount(3);
  dir.SetName(0, u"a");
  EXPECT_EQ(CodeOf([&] { dir.SetName(2, u"c"); }), 58);
  EXPECT_EQ(CodeOf([&] { dir.SetItem(2, ItemNamed(u"c")); }), 58);
  EXPECT_TRUE(dir.Items(2).Name.empty());
  EXPECT_EQ(dir.NameIndex().Count(), 1);
  EXPECT_EQ(IndexOf(u"c"), -1);
}

TEST_F(DirArray, ShrinkingForgetsTheNamesOfDroppedSlots) {
  Append({u"a", u"b", u"c"});
  dir.SetCount(1);
  EXPECT_EQ(IndexOf(u"c"), -1);
  EXPECT_EQ(IndexOf(u"a"), 0);
  dir.SetCount(0);
  EXPECT_EQ(IndexOf(u"a"), -1);
  Append({u"d"});
  EXPECT_EQ(IndexOf(u"d"), 0);
}

TEST_F(DirArray, SetItemCopiesTheRecordAndItsExtraFields) {
  TDirItem item = ItemNamed(u"Data.bin");
  item.SetExtraFields({ExtraField{0x5455, 2, {1, 2}}});
  item.Crc32 = 0x12345678;
  Append({u"placeholder"});
  dir.SetItem(0, item);
  item.SetExtraFields({ExtraField{0x5455, 2, {9, 2}}});
  EXPECT_EQ(dir.Items(0).ExtraFields()[0].Data[0], 1);
  EXPECT_EQ(dir.GetItem(0).Crc32, 0x12345678u);
  EXPECT_EQ(IndexOf(u"Data.bin"), 0);
  EXPECT_EQ(IndexOf(u"placeholder"), -1);
}

TEST_F(DirArray, AssignMakesAnIndependentDeepCopy) {
  Append({u"a", u"b"});
  dir.Items(1).SetExtraFields({ExtraField{1, 1, {7}}});
  TPLDirArray copy(code_pages);
  copy.Assign(dir);
  dir.Items(1).SetExtraFields({ExtraField{1, 1, {8}}});
  dir.Delete(0);
  ASSERT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy.Items(1).ExtraFields()[0].Data[0], 7);
  int32_t index = -1;
  EXPECT_TRUE(copy.Find(u"a", index));
  EXPECT_EQ(index, 0);
  copy.Assign(copy);
  EXPECT_EQ(copy.Count(), 2);
}

TEST_F(DirArray, ClearAndClearMarks) {
  Append({u"a", u"b"});
  dir.Items(0).Marked = dir.Items(1).Marked = true;
  dir.ClearMarks();
  EXPECT_FALSE(dir.Items(0).Marked || dir.Items(1).Marked);
  dir.Clear();
  EXPECT_EQ(dir.Count(), 0);
  EXPECT_EQ(dir.Capacity(), 1000);
  EXPECT_EQ(IndexOf(u"a"), -1);
}

TEST_F(DirArray, AHundredThousandEntriesAreEachFoundByName) {
  // Quadratic loading or lookups would outrun the test's time limit here.
  constexpr int32_t kCount = 100000;
  dir.SetCount(kCount);
  for (int32_t i = 0; i < kCount; ++i) dir.SetName(i, NameOf(i));
  for (int32_t i = 0; i < kCount; ++i) ASSERT_EQ(IndexOf(NameOf(i)), i);
  EXPECT_GE(dir.NameIndex().BucketCount(), static_cast<size_t>(kCount));
}

// Entries read from an archive keep their texts in the array's arena; a copy
// of them (Assign, GetItem) owns its texts and outlives the arena, and a
// name changed and changed back still stores the bytes it was read with.
TEST_F(DirArray, CopiesOfLoadedEntriesOutliveTheArena) {
  const std::vector<uint8_t> extra = {0x55, 0x54, 1, 0, 7};
  const std::string bytes = "na\x8Ame";  // not ASCII: stored beside the name
  dir.SetCount(2);
  for (int32_t i = 0; i < 2; ++i) {
    TDirItem& item = dir.Items(i);
    item.SetLoaded({i == 0 ? u"plain.kml" : u"na\u00E8me", i == 0 ? "plain.kml" : bytes, i == 1,
                    "note", extra},
                   &dir.Arena());
    dir.SetName(i, TEntryName::Borrowed(item.LoadedName()));
  }
  TPLDirArray copy(code_pages);
  copy.Assign(dir);
  TDirItem single = dir.GetItem(1);
  dir.Clear();  // frees the arena
  dir.SetCount(1);
  EXPECT_EQ(copy.Items(0).Name, u"plain.kml");
  EXPECT_EQ(copy.Items(0).LoadedNameBytes(), "plain.kml");
  EXPECT_EQ(copy.Items(1).LoadedNameBytes(), bytes);
  EXPECT_EQ(copy.Items(1).Comment(), "note");
  ASSERT_EQ(copy.Items(1).ExtraFields().size(), 1u);
  EXPECT_EQ(copy.Items(1).ExtraFields()[0].Data, std::vector<uint8_t>{7});
  EXPECT_EQ(single.Name, u"na\u00E8me");
  copy.SetName(1, u"other");
  copy.SetName(1, u"na\u00E8me");
  EXPECT_EQ(NameToStore(copy.Items(1), code_pages).bytes, bytes);
  EXPECT_TRUE(NameToStore(copy.Items(1), code_pages).utf8);
  EXPECT_FALSE(copy.Items(0).LoadedNameUtf8());
  EXPECT_EQ(IndexOf(u"plain.kml"), -1);
}

// The records lie in chunks of their own; deleting and shrinking move and
// reset records across the chunk boundaries.
TEST_F(DirArray, DeletingAndShrinkingWorkAcrossChunks) {
  constexpr int32_t kCount = 3000;
  dir.SetCount(kCount);
  for (int32_t i = 0; i < kCount; ++i) dir.SetName(i, NameOf(i));
  dir.Items(kCount - 1).SetComment("last");
  dir.Delete(10);
  for (const int32_t i : {10, 1023, 1024, 2047, kCount - 2})
    EXPECT_EQ(dir.Items(i).Name, NameOf(i + 1));
  EXPECT_EQ(dir.Items(kCount - 2).Comment(), "last");
  EXPECT_EQ(IndexOf(NameOf(2048)), 2047);
  dir.SetCount(1000);
  dir.SetCount(kCount - 1);
  EXPECT_TRUE(dir.Items(1024).Name.empty());
  EXPECT_TRUE(dir.Items(kCount - 2).Comment().empty());
}

// A copy shares the record chunks until either array writes to one: a write
// through either array, to one record or moving records across the chunk
// boundaries, leaves every record of the other as it was.
TEST_F(DirArray, ACopySharesItsRecordsUntilEitherArrayWrites) {
  constexpr int32_t kCount = 2500;  // three chunks, the last one in part
  dir.SetCount(kCount);
  for (int32_t i = 0; i < kCount; ++i) dir.SetName(i, NameOf(i));
  dir.Items(1500).SetComment("kept");
  const std::pair<const char*, std::function<void(TPLDirArray&)>> writes[] = {
      {"records",
       [](TPLDirArray& a) {
         a.Items(1023).Crc32 = 7;
         a.Items(1500).SetComment("changed");
       }},
      {"name", [](TPLDirArray& a) { a.SetName(1024, u"renamed"); }},
      {"delete", [](TPLDirArray& a) { a.Delete(1000); }},
      {"shrink", [](TPLDirArray& a) { a.SetCount(1030); }},
      {"clear", [](TPLDirArray& a) { a.Clear(); }},
      {"release", [](TPLDirArray& a) { a.Release(); }},
  };
  for (const auto& [what, write] : writes) {
    for (const bool on_copy : {true, false}) {
      SCOPED_TRACE(std::string(what) + (on_copy ? " on the copy" : " on the original"));
      TPLDirArray copy(code_pages);
      copy.Assign(dir);
      write(on_copy ? copy : dir);
      TPLDirArray& kept = on_copy ? dir : copy;
      ASSERT_EQ(kept.Count(), kCount);
      for (int32_t i = 0; i < kCount; ++i) {
        ASSERT_EQ(kept.Items(i).Name, NameOf(i)) << i;
        ASSERT_EQ(kept.Items(i).Crc32, 0u) << i;
      }
      EXPECT_EQ(kept.Items(1500).Comment(), "kept");
      int32_t index = -1;
      EXPECT_TRUE(kept.Find(NameOf(1024), index));
      EXPECT_EQ(index, 1024);
      if (!on_copy) dir.Assign(copy);  // the original again
    }
  }
}

// A copy made by Assign shares the arena and keeps it when the array it
// copied goes; an entry copied out of an array owns its texts and outlives
// every array that held them.
TEST_F(DirArray, TheArenaLastsAsLongAsAnArrayOrCopyNeedsIt) {
  std::optional<TDirItem> single;
  auto copy = std::make_unique<TPLDirArray>(code_pages);
  {
    TPLDirArray source(code_pages);
    source.SetCount(1);
    source.Items(0).SetLoaded({u"doc.kml", "doc.kml", false, "note", {}}, &source.Arena());
    source.SetName(0, TEntryName::Borrowed(source.Items(0).LoadedName()));
    copy->Assign(source);
  }
  EXPECT_EQ(copy->Items(0).Name, u"doc.kml");
  EXPECT_EQ(copy->Items(0).Comment(), "note");
  single = copy->GetItem(0);
  copy.reset();
  EXPECT_EQ(single->Name, u"doc.kml");
  EXPECT_EQ(single->LoadedNameBytes(), "doc.kml");
  EXPECT_EQ(single->Comment(), "note");
}

}  // namespace
}  // namespace parcelon
