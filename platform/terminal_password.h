// Reading a password from a terminal without echo. The terminal is put in a
// mode that reads key by key with neither echo nor signal keys, and its own
// settings are put back on every way out: the end of the line, the end of
// the input, a failure, and before the interrupt, quit or suspend key is
// passed on to the process as its signal (after a suspended process is
// continued, echo goes off again and the reading goes on). A stop signal
// sent from elsewhere interrupts the reading (see platform/interrupts.h).
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "platform/unique_fd.h"

namespace platform {

// The process's controlling terminal (/dev/tty), open from construction to
// destruction, whatever standard input is.
class ControllingTerminal {
 public:
  ControllingTerminal();
  // Its descriptor; negative when the process has no terminal.
  int Fd() const { return fd_.Get(); }

 private:
  UniqueFd fd_;
};

// Reads one line from the terminal `fd`, which the caller keeps open, after
// writing `prompt` to `out` once the echo is off (what was typed before is
// dropped). Erase (and backspace) drops the last character, the kill key
// the whole line. Gives nothing at the end of the input, on the interrupt
// or quit key, when interrupted by a signal, or when `fd` is no terminal.
std::optional<std::string> ReadTerminalPassword(int fd, std::ostream& out,
                                                const std::string& prompt);

}  // namespace platform
