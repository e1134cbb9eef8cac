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

TEST(PasswordTries, ThreeWrongAnswersGiveTheEntryUp) {
  testing_support::ScratchDir dir;
  testing_support::WriteAll(dir.File("doc.kml"), "<kml>\n</kml>\n");
  ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.path()) + " && " + ShellQuote(PARCELON_PROGRAM) +
                       " add --quiet --password right a.kmz doc.kml")
                .status,
            0);
  platform::PosixFileSystem fs;
  platform::ScriptedDialogs dialogs;
  for (const char* wrong : {"", "no", "nope", "never"}) dialogs.password_answers.push_back(wrong);

  const std::vector<KmzEntryAnalysis> entries = AnalyseKmz(dir.File("a.kmz"), fs, dialogs);

  ASSERT_EQ(entries.size(), 1u);
  EXPECT_FALSE(entries[0].analysis.succeeded);
  ASSERT_EQ(dialogs.calls().size(), 3u);
  EXPECT_EQ(dialogs.calls()[0].text, "Password for \"doc.kml\"");
  EXPECT_EQ(dialogs.calls()[2].text, "Wrong password. Password for \"doc.kml\"");
  EXPECT_EQ(dialogs.password_answers.size(), 1u);
}

}  // namespace
}  // namespace kmlcompat
