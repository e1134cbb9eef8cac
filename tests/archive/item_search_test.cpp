// Walking an archive's entries by mask.
#include <gtest/gtest.h>

#include <vector>

#include "archive/parcelon.h"
#include "platform/iconv_code_pages.h"
#include "platform/scripted_dialogs.h"

namespace parcelon {
namespace {

struct Entry {
  std::u16string name;
  uint32_t attributes = faArchive;
  uint32_t packed = 10;
  uint32_t unpacked = 20;
};

// An open in-memory archive whose directory holds the given entries.
class SearchTest : public testing::Test {
 protected:
  void Load(const std::vector<Entry>& entries) {
    archiver.SetInMemory(true);
    archiver.OpenArchive();
    TPLDirArray& dir = archiver.DirManager()->Dir();
    dir.SetCount(static_cast<int32_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
      TDirItem item;
      item.Name = entries[i].name;
      item.ExternalAttributes = entries[i].attributes;
      item.PackedSize = entries[i].packed;
      item.UnpackedSize = entries[i].unpacked;
      item.Crc32 = static_cast<uint32_t>(i);
      dir.SetItem(static_cast<int32_t>(i), item);
    }
  }

  // Full names (EntryPath + FileName) of every entry found.
  std::vector<std::u16string> FindAll(const std::u16string& mask, int32_t attr = 10431,
                                      const std::u16string& exclusion = u"") {
    std::vector<std::u16string> found;
    TPLArchiveItem item;
    for (bool ok = archiver.FindFirst(mask, item, attr, exclusion); ok;
         ok = archiver.FindNext(item))
      found.push_back(item.EntryPath + item.FileName);
    return found;
  }

  using Names = std::vector<std::u16string>;
  platform::ScriptedDialogs dialogs;
  platform::IconvCodePages code_pages;
  TParcelon archiver{nullptr, {&dialogs, &code_pages}};
};

TEST_F(SearchTest, ExtensionMaskFindsInFoldersOnlyWithRecurse) {
  Load({{u"doc.kml"}, {u"files/doc.kml"}, {u"DOC.Kml"}, {u"readme.txt"}});
  EXPECT_EQ(FindAll(u"*.KML"), (Names{u"doc.kml", u"files/doc.kml", u"DOC.Kml"}));
  archiver.Options().SetRecurse(false);
  EXPECT_EQ(FindAll(u"*.KML"), (Names{u"doc.kml", u"DOC.Kml"}));
}

TEST_F(SearchTest, PlainNameFindsEveryFolderOrTheExactEntry) {
  // The root entry carries the directory bit, which 47 does not admit.
  Load({{u"a/doc.kml"}, {u"doc.kml", faDirectory}, {u"b/c/DOC.KML"}, {u"docs.kml"}});
  EXPECT_EQ(FindAll(u"doc.kml", 47), (Names{u"a/doc.kml"}));  // DOC.KML is another file
  EXPECT_EQ(FindAll(u"Doc.kml", 47), (Names{u"a/doc.kml", u"b/c/DOC.KML"}));
  archiver.Options().SetRecurse(false);
  // The exact lookup ignores attributes and exclusions, and finds one entry.
  EXPECT_EQ(FindAll(u"DOC.KML", 47, u"*.kml"), (Names{u"doc.kml"}));
  EXPECT_EQ(FindAll(u"b\\c\\doc.kml"), (Names{u"b/c/DOC.KML"}));
  EXPECT_EQ(FindAll(u"nothere.kml"), Names{});
}

TEST_F(SearchTest, PlainNameTellsCaseTwinsApart) {
  Load({{u"README"}, {u"readme"}, {u"docs/README"}});
  EXPECT_EQ(FindAll(u"README"), (Names{u"README", u"docs/README"}));
  EXPECT_EQ(FindAll(u"Readme"), (Names{u"README", u"readme", u"docs/README"}));
  archiver.Options().SetRecurse(false);
  EXPECT_EQ(FindAll(u"readme"), (Names{u"readme"}));
  EXPECT_EQ(FindAll(u"ReadMe"), (Names{u"readme"}));
}

TEST_F(SearchTest, BackslashesInStoredNamesSeparateFolders) {
  Load({{u"maps\\old\\doc.kml"}, {u"maps\\x.bak"}, {u"files/y.bak"}});
  EXPECT_EQ(FindAll(u"doc.kml"), (Names{u"maps/old/doc.kml"}));
  TPLArchiveItem item;
  ASSERT_TRUE(archiver.FindFirst(u"maps/old/*.kml", item));
  EXPECT_EQ(item.FileName, u"doc.kml");
  EXPECT_EQ(item.EntryPath, u"maps/old/");
  // An exclusion mask is written with either separator too.
  EXPECT_EQ(FindAll(u"*.bak", 10431, u"files\\*"), (Names{u"maps/x.bak"}));
  archiver.Options().SetRecurse(false);
  EXPECT_EQ(FindAll(u"maps\\*.bak"), (Names{u"maps/x.bak"}));
}

TEST_F(SearchTest, FolderMasks) {
  Load({{u"files/a.kml"}, {u"files/sub/b.kml"}, {u"a.kml"}, {u"other/files/c.kml"}});
  EXPECT_EQ(FindAll(u"files\\*.kml"), (Names{u"files/a.kml", u"files/sub/b.kml"}));
  archiver.Options().SetRecurse(false);
  EXPECT_EQ(FindAll(u"files\\*.kml"), (Names{u"files/a.kml"}));
}

TEST_F(SearchTest, DotMasksAndSingleCharacters) {
  Load({{u"a.kml"}, {u"ab.kml"}, {u"README"}, {u"x."}, {u"dir/noext"}});
  EXPECT_EQ(FindAll(u"*.*").size(), 5u);
  EXPECT_EQ(FindAll(u"*."), (Names{u"README", u"x.", u"dir/noext"}));
  EXPECT_EQ(FindAll(u"?.kml"), (Names{u"a.kml"}));
}

TEST_F(SearchTest, FolderEntriesNeedTheDirectoryAttribute) {
  Load({{u"files/", faDirectory, 0, 0}, {u"files/a.kml"}});
  EXPECT_EQ(FindAll(u"*", 47), (Names{u"files/a.kml"}));
  TPLArchiveItem item;
  ASSERT_TRUE(archiver.FindFirst(u"*", item, 10431, u""));
  EXPECT_EQ(item.FileName, u"files");
  EXPECT_EQ(item.EntryPath, u"");
  EXPECT_EQ(item.CompressionPercent, 100);
  ASSERT_TRUE(archiver.FindNext(item));
  EXPECT_EQ(item.FileName, u"a.kml");
  EXPECT_EQ(item.EntryPath, u"files/");
  EXPECT_EQ(item.Crc32, 1u);
  EXPECT_DOUBLE_EQ(item.CompressionPercent, 50);
  // A failed step leaves the record as it was.
  EXPECT_FALSE(archiver.FindNext(item));
  EXPECT_EQ(item.FileName, u"a.kml");
}

TEST_F(SearchTest, ExclusionMaskSkipsFullNames) {
  Load({{u"x.bak"}, {u"x.kml"}, {u"old/y.bak"}});
  EXPECT_EQ(FindAll(u"*", 10431, u"*.bak"), (Names{u"x.kml"}));
}

TEST_F(SearchTest, GrownEntriesSaveNothing) {
  Load({{u"grown.bin", faArchive, 300, 200}});
  TPLArchiveItem item;
  ASSERT_TRUE(archiver.FindFirst(u"*", item, 10431, u""));
  EXPECT_EQ(item.CompressionPercent, 0);
  EXPECT_EQ(item.CompressedSize, 300);
}

TEST_F(SearchTest, Zip64SizesAreReported) {
  Load({{u"big.bin"}});
  TDirItem& entry = archiver.DirManager()->Dir().Items(0);
  entry.PackedSize = entry.UnpackedSize = 0xFFFFFFFF;
  entry.Zip64PackedSize = 5'000'000'000;
  entry.Zip64UnpackedSize = 10'000'000'000;
  TPLArchiveItem item;
  ASSERT_TRUE(archiver.FindFirst(u"*", item, 10431, u""));
  EXPECT_EQ(item.CompressedSize, 5'000'000'000);
  EXPECT_EQ(item.UncompressedSize, 10'000'000'000);
  EXPECT_DOUBLE_EQ(item.CompressionPercent, 50);
  entry.Zip64PackedSize = entry.Zip64UnpackedSize = UINT64_MAX;  // hostile
  ASSERT_TRUE(archiver.FindFirst(u"*", item, 10431, u""));
  EXPECT_EQ(item.CompressedSize, INT64_MAX);
  EXPECT_EQ(item.UncompressedSize, INT64_MAX);
}

TEST_F(SearchTest, DriveIsDroppedUnlessPathsKeepIt) {
  Load({{u"/maps/a.kml"}, {u"C:/maps/b.kml"}, {u"maps/c.kml"}});
  EXPECT_EQ(FindAll(u"C:\\maps\\*.kml"), (Names{u"/maps/a.kml"}));
  EXPECT_EQ(FindAll(u"\\\\server\\share\\maps\\*.kml"), (Names{u"/maps/a.kml"}));
  archiver.Options().SetStorePath(spFullPathWithDrive);
  EXPECT_EQ(FindAll(u"C:\\maps\\*.kml"), (Names{u"C:/maps/b.kml"}));
}

TEST_F(SearchTest, LongMasksAndNamesAreNotCut) {
  const std::u16string folder(300, u'f');
  Load({{folder + u"/doc.kml"}, {folder + u"x/doc.kml"}});
  EXPECT_EQ(FindAll(folder + u"/*.kml"), (Names{folder + u"/doc.kml"}));
  archiver.Options().SetRecurse(false);
  EXPECT_EQ(FindAll(folder + u"/DOC.kml"), (Names{folder + u"/doc.kml"}));
}

TEST_F(SearchTest, HostileMaskAnswersAtOnce) {
  Load({{std::u16string(10000, u'a')}});
  EXPECT_EQ(FindAll(u"*a*a*a*a*a*a*a*b"), Names{});
  EXPECT_EQ(FindAll(u"*a*a*a*a*a*a*a*").size(), 1u);
}

TEST_F(SearchTest, NamelessEntriesAreListed) {
  Load({{u""}, {u""}, {u"a.kml"}});
  EXPECT_EQ(FindAll(u"*"), (Names{u"", u"", u"a.kml"}));
  int32_t index = -1;
  EXPECT_TRUE(archiver.DirManager()->Dir().Find(u"a.kml", index));
  EXPECT_EQ(index, 2);
}

}  // namespace
}  // namespace parcelon
