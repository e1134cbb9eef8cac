#include "platform/console_dialogs.h"

#include <gtest/gtest.h>

#include <sstream>

namespace platform {
namespace {

TEST(ConsoleDialogs, AsksAgainUntilAnAnswerIsUnderstood) {
  std::istringstream in("maybe\nO\nRetry\n");
  std::ostringstream out;
  ConsoleDialogs dialogs(in, out);
  EXPECT_EQ(dialogs.Confirm("Overwrite a.kml?"), ConfirmAnswer::kNoToAll);
  EXPECT_EQ(dialogs.AskOnFailure("Cannot write"), FailureAnswer::kRetry);
  EXPECT_EQ(out.str().find("Overwrite a.kml?\n"), 0u);
  EXPECT_NE(out.str().find("Cannot write\n"), std::string::npos);
}

TEST(ConsoleDialogs, AbortOrIgnoreRefusesRetry) {
  std::istringstream in("r\ni\n");
  std::ostringstream out;
  ConsoleDialogs dialogs(in, out);
  EXPECT_EQ(dialogs.AskAbortOrIgnore("Name too long"), FailureAnswer::kIgnore);
  EXPECT_EQ(out.str().find("[a]bort, [i]gnore? "), out.str().rfind("[a]bort, [i]gnore? ") - 19);
}

TEST(ConsoleDialogs, EndOfInputTakesTheSafeAnswers) {
  std::istringstream in("");
  std::ostringstream out;
  ConsoleDialogs dialogs(in, out);
  EXPECT_EQ(dialogs.Confirm("Overwrite?"), ConfirmAnswer::kNo);
  EXPECT_EQ(dialogs.AskOnFailure("Failed"), FailureAnswer::kAbort);
  EXPECT_EQ(dialogs.AskAbortOrIgnore("Failed"), FailureAnswer::kAbort);
  EXPECT_EQ(dialogs.AskPassword("Password", "Password:"), std::nullopt);
  EXPECT_EQ(dialogs.ChooseFileToOpen({"Select a file", "", "", ""}), std::nullopt);
}

TEST(ConsoleDialogs, MessagesAndAnswersPassThrough) {
  std::istringstream in("secret\n/maps/a.kml\n");
  std::ostringstream out;
  ConsoleDialogs dialogs(in, out);
  dialogs.ShowMessage("File a.kml has an old incompatible namespace definition :");
  EXPECT_EQ(dialogs.AskPassword("Archive", "Password:"), "secret");
  EXPECT_EQ(dialogs.ChooseFileToOpen({"Select a file", "", "", ""}), "/maps/a.kml");
  EXPECT_EQ(out.str().find("File a.kml has an old incompatible namespace definition :\n"), 0u);
}

// Endless input that answers nothing asked ("yes" to Abort, Retry, Ignore)
// takes the safe answer after three tries instead of asking forever.
TEST(ConsoleDialogs, EndlessMisunderstoodInputTakesTheSafeAnswer) {
  std::string endless;
  for (int i = 0; i < 1000; ++i) endless += "yes\n";
  std::istringstream in(endless);
  std::ostringstream out;
  ConsoleDialogs dialogs(in, out);
  EXPECT_EQ(dialogs.AskOnFailure("Cannot write"), FailureAnswer::kAbort);
  EXPECT_EQ(dialogs.AskAbortOrIgnore("Name too long"), FailureAnswer::kAbort);
  EXPECT_EQ(dialogs.Confirm("Overwrite?"), ConfirmAnswer::kYes);
}

// Without a terminal no password is asked, whatever the input holds.
TEST(ConsoleDialogs, NoTerminalAsksNoPassword) {
  std::istringstream in("secret\n");
  std::ostringstream out;
  EXPECT_EQ(ConsoleDialogs(in, out, ConsoleDialogs::kNoPasswords).AskPassword("A", "P:"),
            std::nullopt);
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace platform
