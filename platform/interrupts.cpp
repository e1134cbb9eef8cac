#include "platform/interrupts.h"

#include <signal.h>

#include <csignal>

namespace platform {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The one piece of process-wide state the handler may touch.
volatile std::sig_atomic_t caught_signal = 0;

void SetDisposition(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocking read returns EINTR
  for (int signal : kStopSignals) sigaction(signal, &action, nullptr);
}

void OnStopSignal(int signal) {
  if (caught_signal == 0) caught_signal = signal;
  SetDisposition(SIG_DFL);
}

}  // namespace

void CatchInterrupts() {
  SetDisposition(OnStopSignal);
}

int CaughtInterrupt() {
  return caught_signal;
}

void ResetInterrupts() {
  caught_signal = 0;
  CatchInterrupts();
}

}  // namespace platform
