#include "kml/root_element.h"

#include <gtest/gtest.h>

#include <vector>

namespace kml {
namespace {

using Result = RootTagScanner::Result;

// Feeds lines until the scanner decides; returns the decision, the line index
// and the tag's column.
struct Found {
  Result result;
  size_t line;
  size_t column;
};

Found Scan(const std::vector<std::string>& lines) {
  RootTagScanner scanner;
  for (size_t i = 0; i < lines.size(); ++i) {
    Result r = scanner.Feed(lines[i]);
    if (r != Result::kNeedMore) return {r, i, scanner.TagStart()};
  }
  return {Result::kNeedMore, lines.size(), 0};
}

TEST(FixedRootTag, DeclaresTheFourNamespacesIn173Characters) {
  EXPECT_EQ(FixedRootTag(),
            "<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
            "xmlns:gx=\"http://www.google.com/kml/ext/2.2\" "
            "xmlns:kml=\"http://www.opengis.net/kml/2.2\" "
            "xmlns:atom=\"http://www.w3.org/2005/Atom\">");
  EXPECT_EQ(FixedRootTag().size(), 173u);
}

TEST(RootTagScanner, FindsTheRootBehindTheProlog) {
  Found f = Scan({"<?xml version=\"1.0\"?>", "<kml xmlns=\"x\">"});
  EXPECT_EQ(f.result, Result::kKml);
  EXPECT_EQ(f.line, 1u);
  EXPECT_EQ(f.column, 0u);

  f = Scan({"<?xml version=\"1.0\"?><kml>"});
  EXPECT_EQ(f.result, Result::kKml);
  EXPECT_EQ(f.column, 21u);

  f = Scan({"\xEF\xBB\xBF<kml:kml xmlns:kml=\"y\">"});
  EXPECT_EQ(f.result, Result::kKml);
  EXPECT_EQ(f.column, 3u);
}

TEST(RootTagScanner, SkipsCommentsInstructionsAndDoctypes) {
  Found f = Scan({"<?xml version='1.0'?>", "<!-- <kml> in a comment,", "still <kml> -->",
                  "<?target <kml> ?>", "<!DOCTYPE kml [", "  <!ENTITY lol \"<kml>\">",
                  "  <!-- ']' > -->", "  <!ENTITY b 'x>'>", "]>", "  <kml>"});
  EXPECT_EQ(f.result, Result::kKml);
  EXPECT_EQ(f.line, 9u);
  EXPECT_EQ(f.column, 2u);
}

TEST(RootTagScanner, AnotherFirstElementIsNoKmlDocument) {
  EXPECT_EQ(Scan({"<?xml version='1.0'?>", "<Document><kml>"}).result, Result::kOther);
  EXPECT_EQ(Scan({"<kmlx>"}).result, Result::kOther);
  EXPECT_EQ(Scan({"<KML>"}).result, Result::kOther);
  EXPECT_EQ(Scan({"no markup at all", ""}).result, Result::kNeedMore);
  EXPECT_EQ(Scan({"a < b and </kml> and <", " kml"}).result, Result::kNeedMore);
}

TEST(StartTagEnd, IgnoresClosingBracketsInQuotesAcrossLines) {
  StartTagEnd end;
  std::string first = "<kml a=\"x>y";
  EXPECT_EQ(end.Find(first, 1), std::string::npos);
  EXPECT_EQ(end.Find("z\" b='>'>rest", 0), 8u);
}

TEST(MendRootTag, ReplacesAPlainOldTag) {
  EXPECT_EQ(MendRootTag("<kml xmlns=\"http://earth.google.com/kml/2.1\">"), FixedRootTag());
  EXPECT_EQ(MendRootTag("<kml>"), FixedRootTag());
}

// The fixed tag's declarations after the default one.
const std::string kFixedPrefixes = FixedRootTag().substr(43, 129);
const std::string kOgc = "\"http://www.opengis.net/kml/2.2\"";

TEST(MendRootTag, KeepsEveryOtherAttributeInItsOrderOnOneLine) {
  EXPECT_EQ(MendRootTag("<kml hint=\"target=sky\"\n  xmlns:xsi='urn:x' xmlns=\"old\"\n"
                        "xmlns:gx=\"urn:gx\" xsi:schemaLocation=\"a\nb\" >"),
            "<kml hint=\"target=sky\" xmlns:xsi='urn:x' xmlns=" + kOgc +
                " xmlns:gx=\"urn:gx\" xsi:schemaLocation=\"a b\"" + kFixedPrefixes.substr(45) +
                ">");
}

TEST(MendRootTag, PrefixedRootKeepsItsNameAndBindsItsPrefix) {
  EXPECT_EQ(
      MendRootTag("<k:kml xmlns:k='urn:old'>"),
      "<k:kml xmlns=" + kOgc + " xmlns:k='http://www.opengis.net/kml/2.2'" + kFixedPrefixes + ">");
}

TEST(MendRootTag, SelfClosingRootStaysSelfClosing) {
  EXPECT_EQ(MendRootTag("<kml xmlns=\"old\"/>"), FixedRootTag().substr(0, 172) + "/>");
}

}  // namespace
}  // namespace kml
