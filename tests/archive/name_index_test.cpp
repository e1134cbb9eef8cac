// The name index over positions: equal names, renames, deletes and the
// table's growth, against the names a vector holds.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "archive/directory/name_index.h"

namespace parcelon {
namespace {

std::u16string Numbered(char16_t prefix, int i) {
  return {prefix, static_cast<char16_t>(0x4E00 + i)};
}

class NameIndex : public ::testing::Test {
 protected:
  void Add(std::u16string name) {
    names.push_back(std::move(name));
    index.Add();
  }
  void Rename(int32_t position, std::u16string name) {
    index.Unlist(position);
    names[static_cast<size_t>(position)] = std::move(name);
    index.Relist(position);
  }
  void Delete(int32_t position) {
    names.erase(names.begin() + position);
    index.Delete(position);
  }

  std::vector<std::u16string> names;
  TPLNameIndex index{
      [this](int32_t p) -> std::u16string_view { return names[static_cast<size_t>(p)]; }};
};

TEST_F(NameIndex, EqualNamesRenamesAndDeletes) {
  for (const char16_t* name : {u"a", u"b", u"a", u"c", u"A"}) Add(name);
  struct Step {
    const char* what;
    std::function<void()> change;
    std::vector<std::pair<std::u16string, int32_t>> expected;
  };
  const std::vector<Step> steps = {
      {"loaded", [] {}, {{u"a", 2}, {u"A", 4}, {u"b", 1}, {u"z", -1}, {u"", -1}}},
      // A renamed position is the most recent of its name, below or not.
      {"rename 0 to c", [&] { Rename(0, u"c"); }, {{u"c", 0}, {u"a", 2}}},
      {"rename 2 to b", [&] { Rename(2, u"b"); }, {{u"a", -1}, {u"b", 2}, {u"c", 0}}},
      // After a delete the highest position of equal names wins again.
      {"delete 1", [&] { Delete(1); }, {{u"b", 1}, {u"c", 2}, {u"A", 3}}},
      {"delete 3", [&] { Delete(3); }, {{u"A", -1}, {u"c", 2}}},
      {"clear",
       [&] {
         names.clear();
         index.Clear();
       },
       {{u"c", -1}}},
      {"add after clear", [&] { Add(u"c"); }, {{u"c", 0}}},
  };
  for (const Step& step : steps) {
    step.change();
    for (const auto& [name, position] : step.expected)
      EXPECT_EQ(index.IndexOf(name), position) << step.what;
    EXPECT_EQ(index.Count(), static_cast<int32_t>(names.size())) << step.what;
  }
}

TEST_F(NameIndex, TheTableIsRebuiltLargerOnceFivePerBucketAreExceeded) {
  for (int i = 0; i < 5001; ++i) Add(Numbered(u'n', i));
  EXPECT_EQ(index.IndexOf(u"n\u4E00"), 0);
  EXPECT_EQ(index.BucketCount(), 5001u);
  for (int i = 5001; i < 25006; ++i) Add(Numbered(u'm', i));
  EXPECT_EQ(index.BucketCount(), 5001u);
  EXPECT_EQ(index.IndexOf(Numbered(u'm', 25005)), 25005);
  EXPECT_EQ(index.BucketCount(), 25006u);
  index.Truncate(3);
  EXPECT_EQ(index.IndexOf(Numbered(u'm', 25005)), -1);
  EXPECT_EQ(index.BucketCount(), 1000u);
}

}  // namespace
}  // namespace parcelon
