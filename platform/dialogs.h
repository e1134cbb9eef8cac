// Modal dialogs and message boxes, as an interface: the window implements it
// with real widgets, command-line programs on the console, tests with a script.
#pragma once

#include <optional>
#include <string>

namespace platform {

// Answers of the confirmation box with Yes, No, No to all and Yes to all.
enum class ConfirmAnswer { kYes, kNo, kNoToAll, kYesToAll };

// Answers of the box with Abort, Retry and Ignore.
enum class FailureAnswer { kAbort, kRetry, kIgnore };

// What a file-open dialog is asked to show.
struct OpenFileRequest {
  std::string title;
  // "Description|pattern;pattern|Description|pattern..." as in a filter list.
  std::string filter;
  // Added to a typed name that has no extension, without its dot ("KML").
  std::string default_extension;
  // The name the dialog starts with; empty for an empty name field.
  std::string initial_name;
};

// All texts are 8-bit strings in UTF-8. Every call blocks until answered.
class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A message with one OK button.
  virtual void ShowMessage(const std::string& text) = 0;
  // A question with Yes, No, No to all and Yes to all.
  virtual ConfirmAnswer Confirm(const std::string& text) = 0;
  // A failure with Abort, Retry and Ignore.
  virtual FailureAnswer AskOnFailure(const std::string& text) = 0;
  // A failure with only Abort and Ignore; never answers kRetry.
  virtual FailureAnswer AskAbortOrIgnore(const std::string& text) = 0;
  // Asks for a password; nullopt when the user cancels.
  virtual std::optional<std::string> AskPassword(const std::string& caption,
                                                 const std::string& prompt) = 0;
  // Lets the user choose one existing file; nullopt when cancelled.
  virtual std::optional<std::string> ChooseFileToOpen(const OpenFileRequest& request) = 0;
};

}  // namespace platform
