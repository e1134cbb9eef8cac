// Dialogs that answer from a script, for tests. Every call is recorded in
// order; a question for which no answer was scripted throws, so a test learns
// of a dialog it did not expect.
#pragma once

#include <deque>
#include <functional>
#include <stdexcept>
#include <vector>

#include "platform/dialogs.h"

namespace platform {

class ScriptedDialogs : public Dialogs {
 public:
  struct Call {
    std::string kind;  // "message", "confirm", "failure", "abort-ignore", "password", "open"
    std::string text;  // the message, or the title of the dialog
  };

  std::deque<ConfirmAnswer> confirm_answers;
  // Answers both failure boxes, in order.
  std::deque<FailureAnswer> failure_answers;
  std::deque<std::optional<std::string>> password_answers;
  std::deque<std::optional<std::string>> open_answers;
  // Runs inside ShowMessage, while the "box" is open.
  std::function<void(const std::string&)> on_message;

  const std::vector<Call>& calls() const { return calls_; }
  std::vector<std::string> Messages() const;
  const OpenFileRequest& last_open_request() const { return last_open_; }

  void ShowMessage(const std::string& text) override;
  ConfirmAnswer Confirm(const std::string& text) override;
  FailureAnswer AskOnFailure(const std::string& text) override;
  FailureAnswer AskAbortOrIgnore(const std::string& text) override;
  std::optional<std::string> AskPassword(const std::string& caption,
                                         const std::string& prompt) override;
  std::optional<std::string> ChooseFileToOpen(const OpenFileRequest& request) override;

 private:
  template <typename T>
  T Next(std::deque<T>& answers, const char* kind, const std::string& text);

  std::vector<Call> calls_;
  OpenFileRequest last_open_;
};

}  // namespace platform
