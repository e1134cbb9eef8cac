#include "cli/parcelon/password_prompt.h"

#include <unistd.h>

#include <iostream>

#include "platform/console_dialogs.h"

namespace parcelon::cli {

bool InputIsTerminal() {
  return ::isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> AskNewPassword(std::ostream& err) {
  // The console dialogs read standard input with its echo off.
  platform::ConsoleDialogs dialogs(std::cin, err, STDIN_FILENO);
  const std::optional<std::string> first =
      dialogs.AskPassword("The password that encrypts the new entries", "Password:");
  if (!first) return err << "parcelon: no password given\n", std::nullopt;
  if (first->empty()) return err << "parcelon: the password is empty\n", std::nullopt;
  const std::optional<std::string> second =
      dialogs.AskPassword("The same password again", "Password:");
  if (second != first) return err << "parcelon: the two passwords differ\n", std::nullopt;
  return first;
}

}  // namespace parcelon::cli
