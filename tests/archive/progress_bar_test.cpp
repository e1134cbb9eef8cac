// The progress bar of parcelon's adding verbs: silent for the first second
// and when disabled, redrawn at most ten times a second, and cleared before
// a message or at the end.
#include "cli/parcelon/progress_bar.h"

#include <gtest/gtest.h>

#include <sstream>

namespace parcelon::cli {
namespace {

using std::chrono::milliseconds;

struct FakeClock {
  std::chrono::steady_clock::time_point now{};
  ProgressBar::Clock Get() {
    return [this] { return now; };
  }
};

TEST(ProgressBar, ShowsLongWorkOnlyAndClearsItsLine) {
  FakeClock clock;
  std::ostringstream out;
  ProgressBar bar(out, true, 50, clock.Get());
  bar.SetName(u"maps/a\nb.kml");
  bar.Update(10);
  clock.now += milliseconds(900);
  bar.Update(20);
  EXPECT_EQ(out.str(), "");  // under a second: nothing
  clock.now += milliseconds(200);
  bar.Update(50);
  const std::string drawn = "\r[##########..........]  50% maps/a\\nb.kml" + std::string(8, ' ');
  EXPECT_EQ(out.str(), drawn);  // padded to the width less one column
  clock.now += milliseconds(50);
  bar.Update(60);  // too soon to draw again
  bar.Note("parcelon: a problem");
  EXPECT_EQ(out.str(), drawn + "\r" + std::string(49, ' ') + "\rparcelon: a problem\n");
  out.str("");
  bar.Finish();  // nothing shown since the note: nothing to clear
  EXPECT_EQ(out.str(), "");
}

TEST(ProgressBar, DisabledItOnlyWritesNotes) {
  FakeClock clock;
  std::ostringstream out;
  ProgressBar bar(out, false, 80, clock.Get());
  clock.now += milliseconds(5000);
  bar.Update(50);
  bar.Finish();
  bar.Note("line");
  EXPECT_EQ(out.str(), "line\n");
}

}  // namespace
}  // namespace parcelon::cli
