#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/iconv_code_pages.h"

namespace platform {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

class CodePagesTest : public ::testing::Test {
 protected:
  IconvCodePages pages;
};

TEST_F(CodePagesTest, AnsiIsWindows1252WithItsHolesKept) {
  EXPECT_EQ(pages.AnsiToWide("abc/\x7F"), u"abc/\x7F");
  EXPECT_EQ(pages.AnsiToWide(Bytes({0x80, 0x9F, 0xE9, 0xFF})), u"\u20AC\u0178\u00E9\u00FF");
  EXPECT_EQ(pages.AnsiToWide(Bytes({0x81, 0x8D, 0x8F, 0x90, 0x9D})),
            u"\u0081\u008D\u008F\u0090\u009D");
}

TEST_F(CodePagesTest, EveryAnsiByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  bool lossless = false;
  EXPECT_EQ(pages.WideToAnsi(pages.AnsiToWide(all), &lossless), all);
  EXPECT_TRUE(lossless);
}

TEST_F(CodePagesTest, CharactersOutsideAnsiBecomeOneQuestionMarkEach) {
  bool lossless = true;
  EXPECT_EQ(pages.WideToAnsi(u"\u03A9.txt", &lossless), "?.txt");
  EXPECT_FALSE(lossless);
  EXPECT_EQ(pages.WideToAnsi(u"a\U0001F600b", &lossless), "a?b");  // a surrogate pair
  EXPECT_FALSE(lossless);
  EXPECT_EQ(pages.WideToAnsi(u"\xD800z"), "?z");  // a lone surrogate
  EXPECT_EQ(pages.WideToAnsi(u"\u20ACuro", &lossless), Bytes({0x80}) + "uro");
  EXPECT_TRUE(lossless);
}

TEST_F(CodePagesTest, OemIsCodePage437) {
  const std::string umlauts = Bytes({0x84, 0x94, 0x81});
  EXPECT_EQ(pages.OemToAnsi(umlauts), Bytes({0xE4, 0xF6, 0xFC}));
  EXPECT_EQ(pages.OemToWide(umlauts), u"äöü");
  EXPECT_EQ(pages.AnsiToOem(Bytes({0xE9})), Bytes({0x82}));
  EXPECT_EQ(pages.AnsiToOem(Bytes({0xE4, 0xF6, 0xFC})), umlauts);
  EXPECT_EQ(pages.AnsiToOem("Plain.KML"), "Plain.KML");
}

TEST_F(CodePagesTest, OemCharactersMissingInAnsiStayInWideText) {
  EXPECT_EQ(pages.OemToWide(Bytes({0xE4, 0xC4})), u"\u03A3\u2500");  // Σ ─
  EXPECT_EQ(pages.OemToAnsi(Bytes({0xE4, 0xC4})), "??");
  EXPECT_EQ(pages.AnsiToOem(Bytes({0x80})), "?");  // € has no OEM form
}

TEST_F(CodePagesTest, Utf8ConversionsKeepEveryByte) {
  EXPECT_EQ(pages.Utf8ToWide("\xC3\xA9\xCE\xA9"), u"éΩ");
  EXPECT_EQ(pages.Utf8ToWide("a\xFF"), u"a\xDCFF");
  EXPECT_EQ(pages.WideToUtf8(u"éΩ\U0001F600"), "\xC3\xA9\xCE\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(pages.WideToUtf8(u"\xDC00"), "\xEF\xBF\xBD");
  // Bytes that are no UTF-8 (cut, overlong, surrogate, stray) come back whole.
  for (const std::string bytes :
       {"caf\xE9", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "x\x80\xBFy\xF4\x90"})
    EXPECT_EQ(pages.WideToUtf8(pages.Utf8ToWide(bytes)), bytes);
}

TEST_F(CodePagesTest, CaseMappingsCoverNonAsciiLetters) {
  EXPECT_EQ(pages.WideLower(u"ÄÖÜ ABC.KML \u03A9\u0178"), u"äöü abc.kml \u03C9\u00FF");
  EXPECT_EQ(pages.WideUpper(u"äöü abc.kml \u03C9\u00FF"), u"ÄÖÜ ABC.KML \u03A9\u0178");
  EXPECT_EQ(pages.CharUpper(u'é'), u'É');
  EXPECT_EQ(pages.CharUpper(u'ß'), u'ß');  // no single-unit capital
  EXPECT_EQ(pages.CharUpper(u'1'), u'1');
  // Surrogates are code units, not characters: left as they are.
  EXPECT_EQ(pages.WideLower(u"\U00010400"), u"\U00010400");
}

TEST_F(CodePagesTest, LowersWholeNamesWithFoldersAndAccents) {
  EXPECT_EQ(pages.WideLower(u"Folder/Sub Folder/Überschrift Ä Nr. 0001.KML"),
            u"folder/sub folder/überschrift ä nr. 0001.kml");
}

TEST_F(CodePagesTest, OneObjectServesSeveralThreads) {
  const std::u16string expected = pages.WideLower(u"ÄBÇ/ÉF.KML");
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (size_t t = 0; t < mismatches.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        if (pages.WideLower(u"ÄBÇ/ÉF.KML") != expected) ++mismatches[t];
        if (pages.AnsiToWide(pages.WideToAnsi(expected)) != expected) ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int m : mismatches) EXPECT_EQ(m, 0);
}

}  // namespace
}  // namespace platform
