// The password of an encrypted KML entry is asked at most three times; the
// questions after a wrong answer say so, and the entry is then given up.
#include "app/password_tries.h"

#include <gtest/gtest.h>

#include "app/kmz_analysis.h"
#include "platform/posix_file_system.h"
#include "platform/scripted_dialogs.h"
#include "tests/test_support.h"

namespace kmlcompat {
namespace {

using testing_support::RunCommand;
using testing_support::ShellQuote;

// Makes a.kmz in `dir`, its one KML entry encrypted with the password "right".
void MakeEncrypted(const testing_support::ScratchDir& dir) {
  testing_support::WriteAll(dir.File("doc.kml"), "<kml>\n</kml>\n");
  ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.path()) + " && " + ShellQuote(PARCELON_PROGRAM) +
                       " add --quiet --password right a.kmz doc.kml")
                .status,
            0);
}

TEST(PasswordTries, ThreeWrongAnswersGiveTheEntryUp) {
  testing_support::ScratchDir dir;
  MakeEncrypted(dir);
  platform::PosixFileSystem fs;
  platform::ScriptedDialogs dialogs;
  for (const char* wrong : {"", "no", "nope", "never"}) dialogs.password_answers.push_back(wrong);

  const std::vector<KmzEntryAnalysis> entries = AnalyseKmz(dir.File("a.kmz"), fs, dialogs);

  ASSERT_EQ(entries.size(), 1u);
  EXPECT_FALSE(entries[0].analysis.succeeded);
  EXPECT_TRUE(entries[0].analysis.problem.ends_with("a.kmz: no password given opens it"));
  ASSERT_EQ(dialogs.calls().size(), 3u);
  EXPECT_EQ(dialogs.calls()[0].text, "Password for \"doc.kml\"");
  EXPECT_EQ(dialogs.calls()[2].text, "Wrong password. Password for \"doc.kml\"");
  EXPECT_EQ(dialogs.password_answers.size(), 1u);
}

// kmlcompat-cli asks on its terminal, whatever standard input is: typed
// passwords are not echoed, a wrong one is named, the third gives up, and
// the interrupt key leaves the terminal's echo on and ends with 130.
TEST(PasswordTries, TerminalPromptIsUnechoedAndRestored) {
  testing_support::ScratchDir dir;
  MakeEncrypted(dir);
  struct Case {
    std::string keys;
    std::string status;
    int prompts;
  };
  for (const Case& c : {Case{"no1,no2,no3", "1", 3}, Case{"no1,^C", "130", 2}}) {
    const testing_support::CommandResult run = RunCommand(
        ShellQuote(KMLCOMPAT_TERMINAL_PASSWORD) + " " + c.keys + " " + ShellQuote(KMLCOMPAT_CLI) +
        " --no-backup " + ShellQuote(dir.File("a.kmz")) + " </dev/null");
    SCOPED_TRACE(run.out + run.err);
    EXPECT_TRUE(run.out.starts_with(c.status + "\necho\n"));
    EXPECT_EQ(run.out.find("no1"), std::string::npos);
    EXPECT_NE(run.out.find("Wrong password. Password for \"doc.kml\""), std::string::npos);
    size_t prompts = 0;
    for (size_t at = 0; (at = run.out.find("Enter password: ", at)) != std::string::npos; ++at)
      ++prompts;
    EXPECT_EQ(prompts, static_cast<size_t>(c.prompts));
  }
}

}  // namespace
}  // namespace kmlcompat
