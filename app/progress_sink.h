// Where the workflow reports how far a long piece of work has come, and
// where the user can stop it. The window shows a progress dialog with a
// Cancel button; the command-line program reports nothing. Both also stop
// on a caught stop signal.
#pragma once

#include <string>

#include "platform/interrupts.h"

namespace kmlcompat {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // `percent` (0 to 100) of the current file is done; `what` names the step
  // under way. Returns false when the user wants the file's processing
  // cancelled; the workflow then stops as soon as it can without damage and
  // leaves the file as it was.
  virtual bool Progress(double percent, const std::string& what) = 0;
};

// Reports nothing and never cancels.
class NoProgress final : public ProgressSink {
 public:
  bool Progress(double /*percent*/, const std::string& /*what*/) override { return true; }
};

// Reports nothing; cancels once a stop signal was caught (see
// platform/interrupts.h), so that the signal ends the work as Cancel does.
class InterruptibleProgress final : public ProgressSink {
 public:
  bool Progress(double /*percent*/, const std::string& /*what*/) override {
    return platform::CaughtInterrupt() == 0;
  }
};

}  // namespace kmlcompat
