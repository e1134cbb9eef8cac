#include "kml/coordinates.h"
#include "kml/tuple_cleaner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace kml {
namespace {

std::string Clean(std::string_view text) {
  std::string out;
  CleanTuples(text, &out);
  return out;
}

// Runs lines through one processor, as the rewriter does.
std::vector<std::string> ProcessLines(const std::vector<std::string>& lines) {
  CoordinateLines processor;
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    out.emplace_back();
    processor.Process(line, &out.back());
  }
  return out;
}

TEST(CleanTuples, RemovesBlanksInsideThreeComponentTuples) {
  EXPECT_EQ(Clean("-122.08, 37.42, 0 -122.09, 37.43, 0"), "-122.08,37.42,0 -122.09,37.43,0");
  EXPECT_EQ(Clean("1, 2, 3"), "1,2,3");
  EXPECT_EQ(Clean("-122.08, 37.42, 0  -122.09, 37.43, 0 "), "-122.08,37.42,0 -122.09,37.43,0");
  EXPECT_EQ(Clean("      -122.08,37.42,0"), "-122.08,37.42,0");
  EXPECT_EQ(Clean("\t\t\t\t"), "");
  EXPECT_EQ(Clean(""), "");
}

TEST(CleanTuples, ShrinksRunsBetweenTuplesToOneBlank) {
  EXPECT_EQ(Clean("  1,2,3     4,5,6\t\t7,8,9\r\n"), "1,2,3 4,5,6 7,8,9");
  EXPECT_EQ(Clean("1,2,3\t4,5,6"), "1,2,3 4,5,6");
}

TEST(CleanTuples, KeepsEveryValueOfOddTuples) {
  // Two-component tuples and stray components are kept whole.
  EXPECT_EQ(Clean("1,2 3,4 5,6"), "1,2 3,4 5,6");
  EXPECT_EQ(Clean("1, 2, 3 4"), "1,2,3 4");
  EXPECT_EQ(Clean("1, 2 3, 4"), "1,2 3,4");
  EXPECT_EQ(Clean("7"), "7");
}

TEST(CleanTuples, CommaAfterThirdValueEndsTupleOnlyWhenBlankTouchesIt) {
  EXPECT_EQ(Clean("-81.99, 29.94, 0.0, -81.99, 29.94, 567.79"),
            "-81.99,29.94,0.0 -81.99,29.94,567.79");
  EXPECT_EQ(Clean("1,2,3 ,4,5,6"), "1,2,3 4,5,6");
  // Without blanks the text is left as it is, four components and all.
  EXPECT_EQ(Clean("1,2,3,4,5,6"), "1,2,3,4,5,6");
  EXPECT_EQ(Clean("1,2,3,4 5,6,7,8"), "1,2,3,4 5,6,7,8");
  // Past the third value commas join again.
  EXPECT_EQ(Clean("1,2,3,4, 5"), "1,2,3,4,5");
}

TEST(CleanTuples, KeepsCommasAtTheEdgesAndInRuns) {
  EXPECT_EQ(Clean("1,2,"), "1,2,");
  EXPECT_EQ(Clean(" ,1,2,3"), ",1,2,3");
  EXPECT_EQ(Clean("1,,2"), "1,,2");
  EXPECT_EQ(Clean("1, ,2,3"), "1,,2,3");
}

TEST(CleanTuples, PassesNonAsciiBytesThrough) {
  EXPECT_EQ(Clean("\xc3\xa9, 2, 3"), "\xc3\xa9,2,3");
}

// The cleaning rule written plainly, one character at a time, as an oracle.
std::string ReferenceClean(std::string_view text) {
  auto is_sep = [](char c) { return static_cast<unsigned char>(c) <= 32 || c == ','; };
  std::string out;
  size_t i = 0;
  int components = 0;
  bool seen = false;
  while (i < text.size()) {
    size_t commas = 0, length = 0;
    for (; i < text.size() && is_sep(text[i]); ++i, ++length) commas += text[i] == ',';
    bool at_end = i == text.size();
    bool blank = commas < length;
    if (seen && !at_end && (commas == 0 || (components == 3 && commas == 1 && blank))) {
      out += ' ';
      components = 0;
    } else {
      out.append(commas, ',');
    }
    for (; i < text.size() && !is_sep(text[i]); ++i) out += text[i];
    if (!at_end) ++components, seen = true;
  }
  return out;
}

// Every classifier this processor has: all must clean alike.
template <typename Classifier>
class CleanTuplesWith : public ::testing::Test {};
#ifdef __SSE2__
using Classifiers = ::testing::Types<PortableClassifier, Sse2Classifier>;
#else
using Classifiers = ::testing::Types<PortableClassifier>;
#endif
TYPED_TEST_SUITE(CleanTuplesWith, Classifiers);

TYPED_TEST(CleanTuplesWith, AgreesWithThePlainRuleOnRandomText) {
  using Cleaner = BasicTupleCleaner<TypeParam>;
  Cleaner cleaner;  // reused from text to text, as the rewriter does
  std::mt19937 random(20111101);
  const std::string alphabet = "0123456789.-,, \t\r\n\x01!<\xe9";
  for (int round = 0; round < 3000; ++round) {
    std::string text(random() % 300, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    std::string out = "prefix:";
    cleaner.Clean(text, &out);
    ASSERT_EQ(out, "prefix:" + ReferenceClean(text)) << text;
    // The one-pass form: the facts of the whole text, then a head of it cleaned.
    typename Cleaner::TextFacts facts;
    cleaner.Classify(text, &facts);
    ASSERT_EQ(facts.tabs, static_cast<size_t>(std::count(text.begin(), text.end(), '\t')));
    ASSERT_EQ(facts.first_open, text.find('<'));
    size_t head = random() % (text.size() + 1);
    std::string buffer(text.size() + Cleaner::kSlack, '\0');
    buffer.resize(
        static_cast<size_t>(cleaner.CleanClassified(text, head, buffer.data()) - buffer.data()));
    ASSERT_EQ(buffer, ReferenceClean(text.substr(0, head))) << text;
  }
}

TEST(CoordinateLines, SingleLineElements) {
  auto out = ProcessLines({
      "\t\t<coordinates>-122.08, 37.42, 0 -122.09, 37.43, 0</coordinates>",
      "<coordinates>1, 2, 3</coordinates>",
      "<coordinates>1,2,3</coordinates></LinearRing>",
      "<coordinates>  1,2,3   4,5,6  </coordinates>",
  });
  EXPECT_EQ(out[0], "\t\t<coordinates>-122.08,37.42,0 -122.09,37.43,0</coordinates>");
  EXPECT_EQ(out[1], "<coordinates>1,2,3</coordinates>");
  EXPECT_EQ(out[2], "<coordinates>1,2,3</coordinates></LinearRing>");
  EXPECT_EQ(out[3], "<coordinates>1,2,3 4,5,6</coordinates>");
}

TEST(CoordinateLines, BlockOverSeveralLinesIsReindentedWithItsTabs) {
  auto out = ProcessLines({
      "\t\t\t\t<coordinates>",
      "\t\t\t\t\t-122.08, 37.42, 0  -122.09, 37.43, 0 ",
      "      -122.08,37.42,0",
      "\t\t\t\t</coordinates>",
      "<after>1, 2, 3</after>",
  });
  EXPECT_EQ(out[0], "\t\t\t\t<coordinates>");
  EXPECT_EQ(out[1], "\t\t\t\t\t-122.08,37.42,0 -122.09,37.43,0");
  EXPECT_EQ(out[2], "-122.08,37.42,0");
  EXPECT_EQ(out[3], "\t\t\t\t</coordinates>");
  EXPECT_EQ(out[4], "<after>1, 2, 3</after>");  // the block has ended
}

TEST(CoordinateLines, EveryElementOfALineIsCleaned) {
  auto out =
      ProcessLines({"<a><coordinates>1, 2, 3</coordinates><coordinates>4, 5, 6"
                    "</coordinates></a>"});
  EXPECT_EQ(out[0], "<a><coordinates>1,2,3</coordinates><coordinates>4,5,6</coordinates></a>");
}

TEST(CoordinateLines, ClosingLineMayOpenTheNextElement) {
  auto out = ProcessLines(
      {"<coordinates>1, 2, 3", "4, 5, 6</coordinates><coordinates>7, 8, 9", "</coordinates> x, y"});
  EXPECT_EQ(out[0], "<coordinates>1,2,3");
  EXPECT_EQ(out[1], "4,5,6</coordinates><coordinates>7,8,9");
  EXPECT_EQ(out[2], "</coordinates> x, y");
}

TEST(CoordinateLines, TagInAnotherCaseIsNoCoordinateText) {
  auto out = ProcessLines(
      {"<description>Use <COORDINATES> for points, lines</description>", "<name>a, b, c</name>"});
  EXPECT_EQ(out[0], "<description>Use <COORDINATES> for points, lines</description>");
  EXPECT_EQ(out[1], "<name>a, b, c</name>");
}

TEST(CoordinateLines, ClosingTagBeforeOpeningTagStartsNothingEarly) {
  CoordinateLines processor;
  std::string out;
  processor.Process("x, y</coordinates> <coordinates>1, 2, 3</coordinates>", &out);
  EXPECT_EQ(out, "x, y</coordinates> <coordinates>1,2,3</coordinates>");
  EXPECT_FALSE(processor.InElement());
}

}  // namespace
}  // namespace kml
