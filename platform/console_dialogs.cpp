#include "platform/console_dialogs.h"

#include <unistd.h>

#include <istream>
#include <ostream>

#include "platform/ascii.h"
#include "platform/terminal_password.h"

namespace platform {
namespace {

// Answers in a row that are not understood before a question takes its safe
// answer.
constexpr int kMisunderstoodAnswers = 3;

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

template <typename Answer>
Answer ConsoleDialogs::Choose(const std::string& text, const std::string& prompt,
                              std::initializer_list<Choice<Answer>> choices, Answer fallback) {
  out_ << text << '\n';
  for (int tries = 0; tries < kMisunderstoodAnswers; ++tries) {
    auto answer = Ask(prompt);
    if (!answer) return fallback;
    std::string typed = AsciiLower(*answer);
    for (const Choice<Answer>& choice : choices)
      if (typed == choice.key || typed == choice.word) return choice.answer;
  }
  return fallback;
}

ConfirmAnswer ConsoleDialogs::Confirm(const std::string& text) {
  return Choose(text, "[y]es, [n]o, n[o] to all, yes to [a]ll? ",
                {{"y", "yes", ConfirmAnswer::kYes},
                 {"n", "no", ConfirmAnswer::kNo},
                 {"o", "no to all", ConfirmAnswer::kNoToAll},
                 {"a", "yes to all", ConfirmAnswer::kYesToAll}},
                ConfirmAnswer::kNo);
}

FailureAnswer ConsoleDialogs::AskOnFailure(const std::string& text) {
  return Choose(text, "[a]bort, [r]etry, [i]gnore? ",
                {{"a", "abort", FailureAnswer::kAbort},
                 {"r", "retry", FailureAnswer::kRetry},
                 {"i", "ignore", FailureAnswer::kIgnore}},
                FailureAnswer::kAbort);
}

FailureAnswer ConsoleDialogs::AskAbortOrIgnore(const std::string& text) {
  return Choose(text, "[a]bort, [i]gnore? ",
                {{"a", "abort", FailureAnswer::kAbort}, {"i", "ignore", FailureAnswer::kIgnore}},
                FailureAnswer::kAbort);
}

std::optional<std::string> ConsoleDialogs::AskPassword(const std::string& caption,
                                                       const std::string& prompt) {
  if (terminal_ == kNoPasswords || (terminal_ >= 0 && isatty(terminal_) == 0)) return std::nullopt;
  out_ << caption << '\n';
  if (terminal_ == kPasswordsFromInput) return Ask(prompt + " ");
  std::optional<std::string> answer = ReadTerminalPassword(terminal_, out_, prompt + " ");
  out_ << '\n' << std::flush;  // the line end that was not echoed
  return answer;
}

std::optional<std::string> ConsoleDialogs::ChooseFileToOpen(const OpenFileRequest& request) {
  out_ << request.title << '\n';
  auto answer = Ask("File name (empty to cancel): ");
  if (!answer || answer->empty()) return std::nullopt;
  return answer;
}

}  // namespace platform
