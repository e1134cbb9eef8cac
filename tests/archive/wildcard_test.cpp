// The wildcard matcher, the mask test of entry names and the attribute filter.
#include "archive/search/wildcard.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/iconv_code_pages.h"

namespace parcelon {
namespace {

// The matcher in its first, recursive form: a star tries every split that
// leaves at least one name character, and a rest of exactly "*" matches
// whatever is left. Exponential, so only for short texts; the engine's
// matcher must give the same answers.
class RecursiveMatcher {
 public:
  RecursiveMatcher(bool ignore_case, const platform::CodePages& code_pages)
      : ignore_case_(ignore_case), code_pages_(code_pages) {}

  bool Matches(std::u16string_view name, std::u16string_view mask) const {
    if (mask == u"*.*") return true;
    return From(name, mask, 0, 0);
  }

 private:
  bool From(std::u16string_view name, std::u16string_view mask, size_t n, size_t m) const {
    for (;;) {
      if (mask.substr(m) == u"*") return true;
      if (n == name.size()) return m == mask.size();
      if (m < mask.size() && mask[m] == u'*') {
        for (size_t k = n; k < name.size(); ++k) {  // the star takes k - n characters
          if (From(name, mask, k, m + 1)) return true;
        }
        return false;
      }
      // The mask's end stands for its terminating zero, which no name
      // character equals.
      if (m == mask.size()) return false;
      if (mask[m] != u'?' && Upper(mask[m]) != Upper(name[n])) return false;
      ++n, ++m;
    }
  }
  char16_t Upper(char16_t c) const { return ignore_case_ ? code_pages_.CharUpper(c) : c; }

  bool ignore_case_;
  const platform::CodePages& code_pages_;
};

// Every text of length up to `max_length` over `alphabet`.
std::vector<std::u16string> AllTexts(std::u16string_view alphabet, size_t max_length) {
  std::vector<std::u16string> texts{u""};
  for (size_t start = 0; start < texts.size(); ++start) {
    if (texts[start].size() == max_length) continue;
    for (char16_t c : alphabet) texts.push_back(texts[start] + c);
  }
  return texts;
}

std::u16string RandomText(std::mt19937& random, std::u16string_view alphabet, size_t max_length) {
  std::uniform_int_distribution<size_t> length(0, max_length);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::u16string text(length(random), u' ');
  for (char16_t& c : text) c = alphabet[pick(random)];
  return text;
}

std::string Narrow(std::u16string_view text) {
  return std::string(text.begin(), text.end());
}

class Wildcard : public ::testing::Test {
 protected:
  bool Match(std::u16string_view name, std::u16string_view mask, bool ignore_case = true) {
    return WildcardMatch(name, mask, ignore_case, code_pages);
  }
  bool Names(std::u16string_view name, std::u16string_view mask) {
    return NameMatchesMask(name, mask, code_pages);
  }
  void ExpectSameAsRecursive(std::u16string_view name, std::u16string_view mask, bool ignore_case) {
    const bool expected = RecursiveMatcher(ignore_case, code_pages).Matches(name, mask);
    ASSERT_EQ(Match(name, mask, ignore_case), expected)
        << "name \"" << Narrow(name) << "\" mask \"" << Narrow(mask) << "\"";
  }

  platform::IconvCodePages code_pages;
};

TEST_F(Wildcard, AgreesWithTheRecursiveFormOnEveryShortText) {
  const auto names = AllTexts(u"ab./", 4);
  const auto masks = AllTexts(u"ab*?.", 4);
  for (const auto& mask : masks) {
    for (const auto& name : names) ExpectSameAsRecursive(name, mask, true);
  }
}

TEST_F(Wildcard, AgreesWithTheRecursiveFormOnRandomTexts) {
  std::mt19937 random(20240611);
  for (int i = 0; i < 100000; ++i) {
    const std::u16string name = RandomText(random, u"aAb./", 10);
    const std::u16string mask = RandomText(random, u"aB**?.", 8);
    ExpectSameAsRecursive(name, mask, i % 2 == 0);
  }
}

TEST_F(Wildcard, StarRuns) {
  EXPECT_TRUE(Match(u"", u"*"));
  EXPECT_FALSE(Match(u"", u"**"));
  EXPECT_TRUE(Match(u"x", u"**"));
  EXPECT_FALSE(Match(u"a", u"a**"));  // a trailing run needs a character
  EXPECT_TRUE(Match(u"ab", u"a***"));
  EXPECT_TRUE(Match(u"ab", u"a**b"));  // an inner run is one star
  EXPECT_TRUE(Match(u"a/b/c.kml", u"a*.kml"));
  EXPECT_FALSE(Match(u"a.kmz", u"*.kml"));
}

TEST_F(Wildcard, WholeAllFilesMaskMatchesEverything) {
  EXPECT_TRUE(Match(u"abc", u"*.*"));
  EXPECT_TRUE(Match(u"", u"*.*"));
  EXPECT_FALSE(Match(u"abc", u"*.*x"));
}

TEST_F(Wildcard, QuestionMarkTakesExactlyOneCharacter) {
  EXPECT_TRUE(Match(u"a.kml", u"?.kml"));
  EXPECT_FALSE(Match(u"ab.kml", u"?.kml"));
  EXPECT_FALSE(Match(u".kml", u"?.kml"));
  EXPECT_TRUE(Match(u"*", u"?"));
  EXPECT_FALSE(Match(u"*", u"a"));
}

TEST_F(Wildcard, CaseIsIgnoredOnlyWhenAsked) {
  EXPECT_TRUE(Match(u"DOC.Kml", u"*.kML"));
  EXPECT_FALSE(Match(u"DOC.Kml", u"*.kML", false));
  EXPECT_TRUE(Match(u"doc.kml", u"doc.kml", false));
  if (code_pages.CharUpper(u'\u00E4') != u'\u00C4') GTEST_SKIP() << "no locale case mapping";
  EXPECT_TRUE(Match(u"\u00E4rger.kml", u"\u00C4RGER.*"));
}

TEST_F(Wildcard, PathologicalMasksFinishAtOnce) {
  const std::u16string as(10000, u'a');
  EXPECT_FALSE(Match(as, u"*a*a*a*a*a*a*a*b"));
  EXPECT_TRUE(Match(as + u"b", u"*a*a*a*a*a*a*a*b"));
  EXPECT_FALSE(Match(as, u"*?*?*?*?*?*?*?*b"));
}

TEST_F(Wildcard, NameMasks) {
  EXPECT_FALSE(Names(u"abc", u""));
  EXPECT_TRUE(Names(u"abc", u"*.*"));
  EXPECT_TRUE(Names(u"files/doc.kml", u"*.KML"));
  EXPECT_TRUE(Names(u"x", u"x*.*"));          // "*.*" counts as "*"
  EXPECT_TRUE(Names(u"a.kml", u"*.*.kml"));   // only the first "*.*"
  EXPECT_FALSE(Names(u"a.txt", u"*.*.kml"));  // the second stays as written
  EXPECT_TRUE(Names(u"abc.", u"abc"));        // the name's final dot is dropped
  EXPECT_TRUE(Names(u"a.kml", u"?.kml"));
  EXPECT_FALSE(Names(u"ab.kml", u"?.kml"));
}

TEST_F(Wildcard, MaskEndingInADotFindsOnlyNamesWithoutExtension) {
  EXPECT_TRUE(Names(u"readme", u"*."));
  EXPECT_TRUE(Names(u"readme.", u"*."));
  EXPECT_FALSE(Names(u"readme.txt", u"*."));
  EXPECT_TRUE(Names(u"docs.old/readme", u"*."));
  EXPECT_TRUE(Names(u"docs.old\\readme", u"*."));
  EXPECT_TRUE(Names(u"c:readme", u"*."));
  EXPECT_FALSE(Names(u"docs/readme.txt", u"*."));
  EXPECT_TRUE(Names(u"readme", u"readme."));
  EXPECT_FALSE(Names(u"readme.txt", u"readme."));
}

TEST(Attributes, OnlyHiddenSystemVolumeAndFolderBitsExclude) {
  constexpr uint32_t kNoFolders = 47;  // read-only, hidden, system, volume, archive
  constexpr uint32_t kEverything = 10431;
  constexpr uint32_t kFolder = 0x10;
  EXPECT_FALSE(AttributesMatch(kFolder, kNoFolders));
  EXPECT_TRUE(AttributesMatch(kFolder, kEverything));
  EXPECT_TRUE(AttributesMatch(0x02 | 0x04 | 0x08 | 0x20, kNoFolders));
  EXPECT_TRUE(AttributesMatch(0x01 | 0x20, 0));  // read-only and archive never exclude
  EXPECT_FALSE(AttributesMatch(0x02, 0));
  EXPECT_FALSE(AttributesMatch(0x08, kFolder));
  EXPECT_TRUE(AttributesMatch(0x41ED0000u | kFolder, kEverything));  // Unix mode bits above
  EXPECT_TRUE(AttributesMatch(0xFFFFFF00u, 0));
}

}  // namespace
}  // namespace parcelon
