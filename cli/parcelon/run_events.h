// The engine events that parcelon's runs over an archive install alike:
// the progress bar with cancel on a stop signal, and the failure of one
// entry, named while the run goes on.
#pragma once

#include <functional>

#include "archive/parcelon.h"
#include "cli/parcelon/progress_bar.h"

namespace parcelon::cli {

// Drives `bar` (referenced, it must outlive the run) from the engine's
// progress; once a stop signal was caught the run is cancelled, which rolls
// an update back before its commit point and finishes it after.
void ShowProgress(TParcelon& archiver, ProgressBar& bar);

// Names each entry that fails on `bar` (with the engine's message too when
// `verbose`), calls `failed` and lets the run go on without it.
void NoteFailures(TParcelon& archiver, ProgressBar& bar, bool verbose,
                  std::function<void()> failed);

}  // namespace parcelon::cli
