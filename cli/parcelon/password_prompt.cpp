#include "cli/parcelon/password_prompt.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "platform/console_dialogs.h"

namespace parcelon::cli {
namespace {

// Turns the terminal's echo off for as long as it lives; a terminal whose
// settings cannot be read is left as it is.
class EchoOff {
 public:
  EchoOff() : saved_{}, active_(::tcgetattr(STDIN_FILENO, &saved_) == 0) {
    if (!active_) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    active_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  }
  ~EchoOff() {
    if (active_) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  termios saved_;
  bool active_;
};

// One unechoed answer; the line end the user typed is not echoed either,
// so it is written here.
std::optional<std::string> AskOnce(platform::ConsoleDialogs& dialogs, std::ostream& err,
                                   const std::string& caption) {
  const EchoOff quiet;
  std::optional<std::string> answer = dialogs.AskPassword(caption, "Password:");
  err << '\n';
  return answer;
}

}  // namespace

bool InputIsTerminal() {
  return ::isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> AskNewPassword(std::ostream& err) {
  platform::ConsoleDialogs dialogs(std::cin, err);
  const std::optional<std::string> first =
      AskOnce(dialogs, err, "The password that encrypts the new entries");
  if (!first) return err << "parcelon: no password given\n", std::nullopt;
  if (first->empty()) return err << "parcelon: the password is empty\n", std::nullopt;
  const std::optional<std::string> second = AskOnce(dialogs, err, "The same password again");
  if (second != first) return err << "parcelon: the two passwords differ\n", std::nullopt;
  return first;
}

}  // namespace parcelon::cli
