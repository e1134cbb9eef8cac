// Dialogs that keep the messages shown to them, in order, for showing or
// logging later, and pass every question on to other dialogs. The KMZ
// repair gives them to a rewrite that runs before the archive's own notice,
// so that the rewrite's messages can follow the notice as they always did.
#pragma once

#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace kmlcompat {

class MessageRecord final : public platform::Dialogs {
 public:
  // `questions` is not owned and must outlive the object.
  explicit MessageRecord(platform::Dialogs& questions) : questions_(questions) {}

  void ShowMessage(const std::string& text) override { messages_.push_back(text); }
  platform::ConfirmAnswer Confirm(const std::string& text) override {
    return questions_.Confirm(text);
  }
  platform::FailureAnswer AskOnFailure(const std::string& text) override {
    return questions_.AskOnFailure(text);
  }
  platform::FailureAnswer AskAbortOrIgnore(const std::string& text) override {
    return questions_.AskAbortOrIgnore(text);
  }
  std::optional<std::string> AskPassword(const std::string& caption,
                                         const std::string& prompt) override {
    return questions_.AskPassword(caption, prompt);
  }
  std::optional<std::string> ChooseFileToOpen(const platform::OpenFileRequest& request) override {
    return questions_.ChooseFileToOpen(request);
  }

  // The messages shown so far, oldest first.
  const std::vector<std::string>& Messages() const { return messages_; }

 private:
  platform::Dialogs& questions_;
  std::vector<std::string> messages_;
};

}  // namespace kmlcompat
