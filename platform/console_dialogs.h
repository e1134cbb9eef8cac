// Dialogs on a terminal: messages go to an output stream, answers are read as
// lines from an input stream. At the end of the input every question takes
// its safe answer (No, Abort, cancel), so a program run without a terminal
// never blocks.
#pragma once

#include <initializer_list>
#include <iosfwd>

#include "platform/dialogs.h"

namespace platform {

class ConsoleDialogs : public Dialogs {
 public:
  // Neither stream is owned; both must outlive this object.
  ConsoleDialogs(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

  void ShowMessage(const std::string& text) override;
  ConfirmAnswer Confirm(const std::string& text) override;
  FailureAnswer AskOnFailure(const std::string& text) override;
  FailureAnswer AskAbortOrIgnore(const std::string& text) override;
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
};

}  // namespace platform
