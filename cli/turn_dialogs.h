// Dialogs for a worker of a parallel run.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/dialogs.h"

namespace kmlcompat {

// Dialogs whose questions first wait for the file's turn (see
// cli/parallel_run.h), then go to the console's dialogs; messages go there
// at once.
class TurnDialogs : public platform::Dialogs {
 public:
  // Neither argument is owned; both must outlive this object.
  TurnDialogs(platform::Dialogs& console, const std::function<void()>& take_turn)
      : console_(console), take_turn_(take_turn) {}
  void ShowMessage(const std::string& text) override { console_.ShowMessage(text); }
  platform::ConfirmAnswer Confirm(const std::string& text) override {
    take_turn_();
    return console_.Confirm(text);
  }
  platform::FailureAnswer AskOnFailure(const std::string& text) override {
    take_turn_();
    return console_.AskOnFailure(text);
  }
  platform::FailureAnswer AskAbortOrIgnore(const std::string& text) override {
    take_turn_();
    return console_.AskAbortOrIgnore(text);
  }
  std::optional<std::string> AskPassword(const std::string& caption,
                                         const std::string& prompt) override {
    take_turn_();
    return console_.AskPassword(caption, prompt);
  }
  std::optional<std::string> ChooseFileToOpen(const platform::OpenFileRequest& request) override {
    take_turn_();
    return console_.ChooseFileToOpen(request);
  }

 private:
  platform::Dialogs& console_;
  const std::function<void()>& take_turn_;
};

}  // namespace kmlcompat
