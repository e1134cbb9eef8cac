// Signals that ask a program to stop (SIGINT, SIGTERM, SIGHUP) taken as a
// cancel of the work under way. The handler only records the signal; the
// progress checks of the work read it and stop as a Cancel button would
// (an update is rolled back before its commit point and finished after
// it), and the program then ends with status 128 + the signal. The first
// signal puts the default disposition back for all three, so a second one
// ends the process at once (an update's journal still protects its file).
#pragma once

namespace platform {

// Installs the handlers. A blocking read or wait is interrupted by the
// signal (EINTR) rather than resumed, so that it can give up.
void CatchInterrupts();

// The signal caught since CatchInterrupts, or 0 when none was.
int CaughtInterrupt();

// Forgets a caught signal and installs the handlers again (for tests that
// run several cancels in one process).
void ResetInterrupts();

// The exit status of a program ended by `signal`: 128 + signal.
inline int InterruptExitStatus(int signal) {
  return 128 + signal;
}

}  // namespace platform
