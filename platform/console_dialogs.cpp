#include "platform/console_dialogs.h"

#include <cctype>
#include <istream>
#include <ostream>

namespace platform {

namespace {
std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}
}  // namespace

std::optional<std::string> ConsoleDialogs::Ask(const std::string& prompt) {
  out_ << prompt << std::flush;
  std::string answer;
  if (!std::getline(in_, answer)) {
    out_ << '\n';
    return std::nullopt;
  }
  return answer;
}

void ConsoleDialogs::ShowMessage(const std::string& text) {
  out_ << text << '\n' << std::flush;
}

ConfirmAnswer ConsoleDialogs::Confirm(const std::string& text) {
  out_ << text << '\n';
  for (;;) {
    auto answer = Ask("[y]es, [n]o, n[o] to all, yes to [a]ll? ");
    if (!answer) return ConfirmAnswer::kNo;
    std::string a = Lower(*answer);
    if (a == "y" || a == "yes") return ConfirmAnswer::kYes;
    if (a == "n" || a == "no") return ConfirmAnswer::kNo;
    if (a == "o" || a == "no to all") return ConfirmAnswer::kNoToAll;
    if (a == "a" || a == "yes to all") return ConfirmAnswer::kYesToAll;
  }
}

FailureAnswer ConsoleDialogs::AskOnFailure(const std::string& text) {
  out_ << text << '\n';
  for (;;) {
    auto answer = Ask("[a]bort, [r]etry, [i]gnore? ");
    if (!answer) return FailureAnswer::kAbort;
    std::string a = Lower(*answer);
    if (a == "a" || a == "abort") return FailureAnswer::kAbort;
    if (a == "r" || a == "retry") return FailureAnswer::kRetry;
    if (a == "i" || a == "ignore") return FailureAnswer::kIgnore;
  }
}

std::optional<std::string> ConsoleDialogs::AskPassword(const std::string& caption,
                                                       const std::string& prompt) {
  out_ << caption << '\n';
  return Ask(prompt + " ");
}

std::optional<std::string> ConsoleDialogs::ChooseFileToOpen(const OpenFileRequest& request) {
  out_ << request.title << '\n';
  auto answer = Ask("File name (empty to cancel): ");
  if (!answer || answer->empty()) return std::nullopt;
  return answer;
}

}  // namespace platform
