// The chained string hash and the hashed string list.
#include <gtest/gtest.h>

#include <string>

#include "archive/directory/hashed_string_list.h"
#include "archive/directory/string_hash.h"
#include "platform/iconv_code_pages.h"

namespace parcelon {
namespace {

std::u16string NameOf(int i) {
  std::u16string name = u"file";
  for (char c : std::to_string(i)) name.push_back(static_cast<char16_t>(c));
  return name + u".kml";
}

TEST(StringHash, HashRotatesByTwoAndXorsEachCodeUnit) {
  EXPECT_EQ(TPLStringHash::HashOf(u""), 0u);
  EXPECT_EQ(TPLStringHash::HashOf(u"a"), 0x61u);
  EXPECT_EQ(TPLStringHash::HashOf(u"ab"), 0x1E6u);
  // Bits rotated out at the top come back at the bottom.
  std::u16string key(17, u'\xFFFF');
  uint32_t h = 0;
  for (char16_t c : key) h = ((h << 2) | (h >> 30)) ^ c;
  EXPECT_EQ(TPLStringHash::HashOf(key), h);
}

TEST(StringHash, EqualKeysStayApartAndTheNewestIsFoundFirst) {
  TPLStringHash hash(7);
  hash.Add(u"a.kml", 1);
  hash.Add(u"a.kml", 2);
  hash.Add(u"b.kml", 3);
  EXPECT_EQ(hash.Find(u"a.kml"), 2);
  EXPECT_EQ(hash.Find(u"A.kml"), -1);  // exact comparison
  hash.Remove(u"a.kml");
  EXPECT_EQ(hash.Find(u"a.kml"), 1);
  hash.Remove(u"a.kml");
  EXPECT_EQ(hash.Find(u"a.kml"), -1);
  EXPECT_EQ(hash.Find(u"b.kml"), 3);
  hash.Clear();
  EXPECT_EQ(hash.Find(u"b.kml"), -1);
}

TEST(StringHash, RemoveValueUnlinksOnlyTheNodeWithThatValue) {
  TPLStringHash hash(1);
  hash.Add(u"x", 1);
  hash.Add(u"x", 2);
  hash.Add(u"x", 3);
  hash.RemoveValue(u"x", 2);
  EXPECT_EQ(hash.Find(u"x"), 3);
  hash.RemoveValue(u"x", 3);
  EXPECT_EQ(hash.Find(u"x"), 1);
  hash.RemoveValue(u"x", 9);  // absent: nothing happens
  EXPECT_EQ(hash.Find(u"x"), 1);
}

TEST(StringHash, ALongChainIsFreedWithoutDeepRecursion) {
  // One bucket, so every node lands in one chain; freeing it node by node
  // recursively would overflow the stack long before the end.
  auto hash = std::make_unique<TPLStringHash>(1);
  for (int32_t i = 0; i < 300000; ++i) hash->Add(u"k", i);
  EXPECT_EQ(hash->Find(u"k"), 299999);
  hash->Clear();
  EXPECT_EQ(hash->Find(u"k"), -1);
  for (int32_t i = 0; i < 300000; ++i) hash->Add(u"k", i);
  hash.reset();
  SUCCEED();
}

class HashedList : public ::testing::Test {
 protected:
  platform::IconvCodePages code_pages;
  TPLHashedStringList list{code_pages};
};

TEST_F(HashedList, LookupIgnoresCaseUnlessCaseSensitive) {
  list.Add(u"Docs/ReadMe.TXT");
  list.Add(u"\u00C4rger.kml");
  EXPECT_EQ(list.IndexOf(u"docs/readme.txt"), 0);
  EXPECT_EQ(list.IndexOf(u"\u00E4RGER.KML"), 1);
  EXPECT_EQ(list.IndexOf(u"docs\\readme.txt"), -1);
  EXPECT_EQ(list.IndexOf(u"docs/readme.txt "), -1);
  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf(u"docs/readme.txt"), -1);
  EXPECT_EQ(list.IndexOf(u"Docs/ReadMe.TXT"), 0);
}

TEST_F(HashedList, ValueTableIsMadeAtFirstLookupWithAtLeastAThousandBuckets) {
  list.Add(u"a");
  EXPECT_EQ(list.ValueTableSize(), 0u);
  EXPECT_EQ(list.IndexOf(u"a"), 0);
  EXPECT_EQ(list.ValueTableSize(), 1000u);
  for (int i = 1; i < 1200; ++i) list.Add(NameOf(i));
  EXPECT_EQ(list.ValueTableSize(), 1000u);  // kept in step, not rebuilt
  EXPECT_EQ(list.IndexOf(NameOf(1199)), 1199);
}

TEST_F(HashedList, MoreThanFivePerBucketDiscardsTheTableAndTheNextLookupRebuildsIt) {
  list.Add(NameOf(0));
  ASSERT_EQ(list.IndexOf(NameOf(0)), 0);
  for (int i = 1; i < 5000; ++i) list.Add(NameOf(i));
  EXPECT_EQ(list.ValueTableSize(), 1000u);
  list.Add(NameOf(5000));  // the 5,001st name
  EXPECT_EQ(list.ValueTableSize(), 0u);
  EXPECT_EQ(list.IndexOf(NameOf(4321)), 4321);
  EXPECT_EQ(list.ValueTableSize(), 5001u);
  for (int i = 0; i <= 5000; ++i) ASSERT_EQ(list.IndexOf(NameOf(i)), i) << i;
}

TEST_F(HashedList, EqualStringsGiveTheMostRecentAndAfterARebuildTheHighestIndex) {
  list.Add(u"dup");
  list.Add(u"other");
  list.Add(u"DUP");
  EXPECT_EQ(list.IndexOf(u"dup"), 2);
  list.Add(u"Dup");  // the table is valid now and is kept in step
  EXPECT_EQ(list.IndexOf(u"dup"), 3);
  list.Delete(1);  // invalid: rebuilt in list order
  EXPECT_EQ(list.IndexOf(u"dup"), 2);
  EXPECT_EQ(list.IndexOf(u"other"), -1);
}

TEST_F(HashedList, PutReplacesTheNodeOfItsOwnPosition) {
  list.Add(u"same");
  list.Add(u"same");
  ASSERT_EQ(list.IndexOf(u"same"), 1);
  list.Put(0, u"first");
  EXPECT_EQ(list.IndexOf(u"first"), 0);
  EXPECT_EQ(list.IndexOf(u"same"), 1);
  list.Put(1, u"second");
  EXPECT_EQ(list.IndexOf(u"same"), -1);  // no node of position 0 is left over
  EXPECT_EQ(list.IndexOf(u"second"), 1);
  EXPECT_EQ(list[1], u"second");
}

TEST_F(HashedList, ClearEmptiesListAndTables) {
  list.Add(u"a=1");
  ASSERT_EQ(list.IndexOf(u"a=1"), 0);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.IndexOf(u"a=1"), -1);
  list.Add(u"b");
  EXPECT_EQ(list.IndexOf(u"b"), 0);
}

}  // namespace
}  // namespace parcelon
