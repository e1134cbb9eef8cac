// Asking for a new archive password on the terminal, typed twice and not
// echoed.
#pragma once

#include <optional>
#include <ostream>
#include <string>

namespace parcelon::cli {

// Whether standard input is a terminal, so that a password can be asked.
bool InputIsTerminal();

// Asks on the terminal (standard input, prompts on `err`) for a password
// and then for the same again, with echo off while they are typed (and on
// again afterwards, whatever happens). Gives the password, or nothing after
// writing why to `err` (the end of the input, an empty password, or two
// that differ); a password is never written.
std::optional<std::string> AskNewPassword(std::ostream& err);

}  // namespace parcelon::cli
