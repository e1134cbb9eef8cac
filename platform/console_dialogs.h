// Dialogs on a terminal: messages go to an output stream, answers are read as
// lines from an input stream. At the end of the input, or after three
// answers in a row that are not understood, every question takes its safe
// answer (No, Abort, cancel), so a program run without a terminal, or fed
// endless input, never blocks or loops. A password is read from a terminal
// without echo (see platform/terminal_password.h).
#pragma once

#include <initializer_list>
#include <iosfwd>

#include "platform/dialogs.h"

namespace platform {

class ConsoleDialogs : public Dialogs {
 public:
  // Passwords are read as lines from `in` (for tests and scripts).
  static constexpr int kPasswordsFromInput = -1;
  // No password is ever asked: every request is cancelled.
  static constexpr int kNoPasswords = -2;

  // Neither stream nor the descriptor is owned; all must outlive this
  // object. `terminal` is the descriptor of a terminal that passwords are
  // read from, or one of the two values above.
  ConsoleDialogs(std::istream& in, std::ostream& out, int terminal = kPasswordsFromInput)
      : in_(in), out_(out), terminal_(terminal) {}

  void ShowMessage(const std::string& text) override;
  ConfirmAnswer Confirm(const std::string& text) override;
  FailureAnswer AskOnFailure(const std::string& text) override;
  FailureAnswer AskAbortOrIgnore(const std::string& text) override;
  // With a `terminal` descriptor: nullopt at once, reading nothing, unless
  // it is a terminal, which is read without echo; with kNoPasswords:
  // nullopt at once.
  std::optional<std::string> AskPassword(const std::string& caption,
                                         const std::string& prompt) override;
  std::optional<std::string> ChooseFileToOpen(const OpenFileRequest& request) override;

 private:
  // Prints the prompt and reads one answer line; nullopt at the end of input.
  std::optional<std::string> Ask(const std::string& prompt);

  // One answer of a question, typed as its key letter or its whole word.
  template <typename Answer>
  struct Choice {
    const char* key;
    const char* word;
    Answer answer;
  };
  // Shows text and asks until one of the choices is typed; `fallback` at the
  // end of the input.
  template <typename Answer>
  Answer Choose(const std::string& text, const std::string& prompt,
                std::initializer_list<Choice<Answer>> choices, Answer fallback);

  std::istream& in_;
  std::ostream& out_;
  int terminal_;
};

}  // namespace platform
