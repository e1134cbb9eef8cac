#include "cli/parcelon/run_events.h"

#include <utility>

#include "cli/parcelon/failure_report.h"
#include "platform/interrupts.h"

namespace parcelon::cli {

void ShowProgress(TParcelon& archiver, ProgressBar& bar) {
  archiver.OnOverallProgress = [&bar](TPLBaseArchiver&, double percent, TPLProcessOperation,
                                      TPLProgressPhase, bool& cancel) {
    bar.Update(percent);
    if (platform::CaughtInterrupt() != 0) cancel = true;
  };
  archiver.OnFileProgress = [&bar](TPLBaseArchiver&, const std::u16string& name, double,
                                   TPLProcessOperation, TPLProgressPhase,
                                   bool&) { bar.SetName(name); };
}

void NoteFailures(TParcelon& archiver, ProgressBar& bar, bool verbose,
                  std::function<void()> failed) {
  archiver.OnProcessFileFailure = [&bar, verbose, failed = std::move(failed)](
                                      TPLBaseArchiver&, const std::u16string& name,
                                      TPLProcessOperation, int32_t native_error, int32_t,
                                      const std::u16string& message, TPLAction& action) {
    bar.Note(EntryFailureLines(name, native_error, message, verbose));
    failed();
    action = fxaIgnore;
  };
}

}  // namespace parcelon::cli
