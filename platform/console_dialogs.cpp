#include "platform/console_dialogs.h"

#include <istream>
#include <ostream>

#include "platform/ascii.h"

namespace platform {

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
  for (;;) {
    auto answer = Ask(prompt);
    if (!answer) return fallback;
    std::string typed = AsciiLower(*answer);
    for (const Choice<Answer>& choice : choices)
      if (typed == choice.key || typed == choice.word) return choice.answer;
  }
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
