#include <gtest/gtest.h>

#include <set>

#include "archive/errors/error_tables.h"
#include "archive/errors/failure_default.h"
#include "archive/errors/pl_exception.h"
#include "platform/scripted_dialogs.h"

namespace parcelon {
namespace {

using platform::FailureAnswer;

TComponent Named(std::u16string name) {
  TComponent component;
  component.SetName(std::move(name));
  return component;
}

TEST(EPLExceptionTest, ComposesPrefixMessageAndPaddedCode) {
  const TComponent parcelon = Named(u"Parcelon1");
  const EPLException e = EPLException::Create(13, &parcelon);
  EXPECT_EQ(e.Message(), u"Parcelon1: Archive is not open - Native error: 00013");
  EXPECT_STREQ(e.what(), "Parcelon1: Archive is not open - Native error: 00013");
  EXPECT_EQ(e.ErrorCode(), 7);
  EXPECT_EQ(e.NativeError(), 13);
}

TEST(EPLExceptionTest, WithoutComponentOrNameThereIsNoPrefix) {
  EXPECT_EQ(EPLException::Create(65).Message(),
            u"Disk is full. There is not enough free space on disk. - Native error: 00065");
  const TComponent unnamed;
  EXPECT_EQ(EPLException::Create(13, &unnamed).Message(),
            u"Archive is not open - Native error: 00013");
}

TEST(EPLExceptionTest, UnknownCodeGivesUnknownError) {
  const TComponent parcelon = Named(u"Parcelon1");
  const EPLException e = EPLException::Create(99, &parcelon);
  EXPECT_EQ(e.ErrorCode(), 0);
  EXPECT_EQ(e.NativeError(), 99);
  EXPECT_EQ(e.Message(), u"Parcelon1: Unknown error - Native error: 00099");
}

TEST(EPLExceptionTest, PadsBlanksOfFiveDigitFieldOnly) {
  EXPECT_EQ(EPLException::Create(123456).Message(), u"Unknown error - Native error: 123456");
  EXPECT_EQ(EPLException::Create(0).Message(), u"Unknown error - Native error: 00000");
  EXPECT_EQ(EPLException::Create(-13).Message(), u"Unknown error - Native error: 00-13");
}

TEST(EPLExceptionTest, FormatsArgumentsBeforeThePrefix) {
  const TComponent parcelon = Named(u"Arc %s %d");  // a name is never a format
  const EPLException e = EPLException::CreateFmt(20, {std::u16string(u"C:\\Out\\sub")}, &parcelon);
  EXPECT_EQ(e.Message(),
            u"Arc %s %d: Cannot create directory \"C:\\Out\\sub\" - Native error: 00020");
  EXPECT_EQ(e.ErrorCode(), 10);
}

TEST(EPLExceptionTest, NameTooLongKeepsItsLineBreak) {
  const EPLException e = EPLException::CreateFmt(61, {std::u16string(u"C:\\long\\name")});
  EXPECT_EQ(e.Message(), u"File name is too long: \r\n\"C:\\long\\name\" - Native error: 00061");
}

TEST(EPLExceptionTest, CreateLeavesPlaceholdersAndCreateFmtTakesNumbers) {
  EXPECT_EQ(EPLException::Create(19).Message(), u"Cannot create file \"%s\" - Native error: 00019");
  EXPECT_EQ(EPLException::CreateFmt(34, {int64_t{10}, int64_t{7}}).Message(),
            u"Invalid compressed size, rfs.size = 10, count = 7 - Native error: 00034");
}

TEST(ErrorTablesTest, EveryDetailedCodeMapsAsTabled) {
  for (int32_t i = 0; i < kNativeErrorCount; ++i) EXPECT_EQ(NativeErrorTable[i].first, i);
  const std::pair<int32_t, int32_t> rows[] = {
      {0, 0},   {1, 1},   {7, 1},   {16, 1},  {24, 1},  {5, 2},   {9, 5},   {29, 5},
      {11, 6},  {12, 6},  {15, 6},  {18, 6},  {30, 6},  {31, 6},  {38, 6},  {42, 6},
      {53, 6},  {54, 6},  {13, 7},  {14, 7},  {19, 9},  {23, 9},  {22, 11}, {25, 11},
      {26, 13}, {34, 17}, {35, 18}, {39, 21}, {41, 23}, {43, 23}, {44, 24}, {45, 24},
      {48, 27}, {57, 27}, {55, 32}, {58, 34}, {59, 34}, {61, 36}, {63, 38}, {64, 38},
      {65, 39}, {66, 39}, {67, 40}, {68, 24}, {69, 9},  {70, 9}};
  for (auto [native, code] : rows) EXPECT_EQ(ErrorCodeOf(native), code) << native;
  EXPECT_EQ(ErrorCodeOf(kNativeErrorCount), 0);
  EXPECT_EQ(ErrorCodeOf(-1), 0);
}

TEST(ErrorTablesTest, EveryPublicCodeIsReachable) {
  std::set<int32_t> codes;
  for (auto [native, code] : NativeErrorTable) codes.insert(code);
  EXPECT_EQ(codes.size(), size_t{kErrorMessageCount});
}

TEST(ErrorTablesTest, MessagesKeepTheirExactWording) {
  EXPECT_EQ(ErrorMessageTable[20],
            u"Archive is open. You should close it beore performing this operation.");
  EXPECT_EQ(ErrorMessageTable[28],
            u"MakeSFX is not allowed for splitted or spanned archives. Set SFXStub before archive "
            u"creation instead of MakeSFX");
  EXPECT_EQ(ErrorMessageTable[36], u"File name is too long: \r\n\"%s\"");
  EXPECT_EQ(ErrorMessageTable[40], u"Invalid password. Cannot decompress encrypted file.");
}

TEST(FormatMessageTest, TakesArgumentsInOrder) {
  EXPECT_EQ(FormatMessage(u"%s and %d%%", {std::u16string(u"a"), int64_t{-5}}), u"a and -5%");
  EXPECT_EQ(FormatMessage(u"no placeholders", {std::u16string(u"x")}), u"no placeholders");
  // Missing or mismatched arguments format as empty text or 0.
  EXPECT_EQ(FormatMessage(u"[%s][%d][%s]", {int64_t{1}}), u"[][0][]");
  // Anything else after '%' stays as it is, including a '%' at the end.
  EXPECT_EQ(FormatMessage(u"%x %5d %", {}), u"%x %5d %");
}

TEST(DefaultFailureTest, VolumeErrorAbortsWithoutAsking) {
  platform::ScriptedDialogs dialogs;
  EXPECT_EQ(DefaultProcessFileFailure(dialogs, 45, u"x"), fxaAbort);
  EXPECT_TRUE(dialogs.calls().empty());
}

TEST(DefaultFailureTest, NameTooLongOffersAbortAndIgnore) {
  platform::ScriptedDialogs dialogs;
  dialogs.failure_answers = {FailureAnswer::kIgnore, FailureAnswer::kAbort};
  const std::u16string message = EPLException::CreateFmt(61, {std::u16string(u"é")}).Message();
  EXPECT_EQ(DefaultProcessFileFailure(dialogs, 61, message), fxaIgnore);
  EXPECT_EQ(DefaultProcessFileFailure(dialogs, 61, message), fxaAbort);
  ASSERT_EQ(dialogs.calls().size(), 2u);
  EXPECT_EQ(dialogs.calls()[0].kind, "abort-ignore");
  EXPECT_EQ(dialogs.calls()[0].text, "File name is too long: \r\n\"é\" - Native error: 00061");
}

TEST(DefaultFailureTest, OtherCodesOfferAbortRetryIgnore) {
  platform::ScriptedDialogs dialogs;
  dialogs.failure_answers = {FailureAnswer::kRetry, FailureAnswer::kIgnore, FailureAnswer::kAbort};
  EXPECT_EQ(DefaultProcessFileFailure(dialogs, 19, u"Cannot create"), fxaRetry);
  EXPECT_EQ(DefaultProcessFileFailure(dialogs, 8, u"m"), fxaIgnore);
  EXPECT_EQ(DefaultProcessFileFailure(dialogs, 99, u"m"), fxaAbort);
  ASSERT_EQ(dialogs.calls().size(), 3u);
  EXPECT_EQ(dialogs.calls()[0].kind, "failure");
  EXPECT_EQ(dialogs.calls()[0].text, "Cannot create. File processing error, possibly disk is full");
}

}  // namespace
}  // namespace parcelon
