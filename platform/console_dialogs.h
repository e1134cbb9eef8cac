// Dialogs on a terminal: messages go to an output stream, answers are read as
// lines from an input stream. At the end of the input every question takes
// its safe answer (No, Abort, cancel), so a program run without a terminal
// never blocks. A password is read without echo when the input is a
// terminal.
#pragma once

#include <initializer_list>
#include <iosfwd>

#include "platform/dialogs.h"

namespace platform {

class ConsoleDialogs : public Dialogs {
 public:
  // Neither stream is owned; both must outlive this object. `terminal` is
  // the file descriptor `in` reads (standard input for std::cin), or -1 for
  // a stream of its own.
  ConsoleDialogs(std::istream& in, std::ostream& out, int terminal = -1)
      : in_(in), out_(out), terminal_(terminal) {}

  void ShowMessage(const std::string& text) override;
  ConfirmAnswer Confirm(const std::string& text) override;
  FailureAnswer AskOnFailure(const std::string& text) override;
  FailureAnswer AskAbortOrIgnore(const std::string& text) override;
  // With a `terminal` descriptor: nullopt at once, reading nothing, unless
  // it is a terminal, whose echo is off while the password is typed.
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
