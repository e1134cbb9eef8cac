// Dialogs that put messages into a ProcessLog instead of a message box and
// pass every question on to other dialogs. The repair of a KMZ archive
// gives them to the rewrite of each entry, whose own messages then go to the
// log: the user sees one message for the whole archive.
#pragma once

#include "app/process_log.h"
#include "platform/dialogs.h"

namespace kmlcompat {

class LoggingDialogs final : public platform::Dialogs {
 public:
  // Neither argument is owned; both must outlive the object.
  LoggingDialogs(ProcessLog& log, platform::Dialogs& questions)
      : log_(log), questions_(questions) {}

  void ShowMessage(const std::string& text) override { log_.Add(text); }
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

 private:
  ProcessLog& log_;
  platform::Dialogs& questions_;
};

}  // namespace kmlcompat
