#include "archive/extract/process_run.h"

#include <utility>

#include "archive/errors/pl_exception.h"

namespace parcelon {

// The marks are read through const access: within an update transaction
// that leaves the records the snapshot shares as they are.
void TPLProcessRun::Run(int32_t index) {
  const TPLDirArray& dir = host_.dir;
  RunProgress& progress = host_.progress;
  progress = RunProgress();
  progress.reporting = true;
  if (index >= 0) {
    progress.total = 1;
  } else {
    for (int32_t i = 0; i < dir.Count(); ++i) progress.total += dir.Items(i).Marked ? 1 : 0;
  }
  if (Reports()) FireOverall(0, ppStart);
  if (progress.cancel) return host_.cancel_update();
  bool go_on = true;
  for (int32_t i = index < 0 ? 0 : index; go_on && i < dir.Count();) {
    const int32_t count = dir.Count();
    if (dir.Items(i).Marked) go_on = Attempt(i);
    if (index >= 0) break;
    if (dir.Count() == count) ++i;  // a deletion moved the next entry into place
  }
  const bool cancelled = progress.cancel;
  if (Reports()) FireOverall(100, ppEnd);
  progress.cancel = progress.cancel || cancelled;
  if (!go_on || progress.cancel) host_.cancel_update();
}

void TPLProcessRun::FireOverall(double percent, TPLProgressPhase phase) {
  host_.progress.cancel = false;
  host_.events.OverallProgress(percent, operation_, phase, host_.progress.cancel);
}

void TPLProcessRun::FireFile(const std::u16string& name, double percent, TPLProgressPhase phase) {
  bool cancel = false;
  host_.events.FileProgress(name, percent, operation_, phase, cancel);
  host_.progress.cancel = host_.progress.cancel || cancel;
}

bool TPLProcessRun::Attempt(int32_t index) {
  host_.dir.Items(index).Operation = operation_;
  TPLAction action = fxaRetry;
  while (action == fxaRetry) action = AttemptOnce(index);
  return action != fxaAbort && !host_.progress.cancel;
}

TPLAction TPLProcessRun::AttemptOnce(int32_t index) {
  const std::u16string name = std::as_const(host_.dir).Items(index).Name.str();
  try {
    if (!host_.events.ConfirmProcessFile(name, operation_)) return fxaIgnore;
    if (Reports()) FireFile(name, 0, ppStart);
    if (host_.progress.cancel) return fxaIgnore;
    worker_(index, name, host_.dest_dir);
    if (Reports()) FireFile(name, 100, ppEnd);
    if (!host_.progress.cancel) ++host_.progress.processed;
    return fxaIgnore;
  } catch (const EPLException& failure) {
    return host_.events.ProcessFileFailure(name, operation_, failure.NativeError(),
                                           failure.ErrorCode(), failure.Message());
  }
}

}  // namespace parcelon
