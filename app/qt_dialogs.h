// The Dialogs interface with real Qt widgets: message boxes, a password box
// and a file-open dialog that behaves like the one the tool had on Windows
// (filters match any letter case, the default extension completes a typed name).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/dialogs.h"

class QWidget;

namespace kmlcompat {

// Turns a filter list "Description|*.A;*.B|Other|*.*" into Qt's form
// "Description (*.[Aa] *.[Bb]);;Other (*)". Letters become both-case
// character classes because file names are case-sensitive here but were not
// where the patterns were written; "*.*" becomes "*" so that it also matches
// names without a dot. A trailing description without patterns is dropped.
std::string ToQtFilter(const std::string& filter);

// Completes a chosen name the way a Windows open dialog does: a name that
// does not exist and whose last component has no extension gets
// "." + default_extension when that file exists (tried as given, then in
// lower case). Otherwise the name is returned unchanged.
std::string ApplyDefaultExtension(const std::string& path, const std::string& default_extension,
                                  const std::function<bool(const std::string&)>& exists);

class QtDialogs : public platform::Dialogs {
 public:
  // The boxes are parented to `parent`, or to the active window when it is
  // null. Not owned.
  explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}

  void ShowMessage(const std::string& text) override;
  platform::ConfirmAnswer Confirm(const std::string& text) override;
  platform::FailureAnswer AskOnFailure(const std::string& text) override;
  platform::FailureAnswer AskAbortOrIgnore(const std::string& text) override;
  std::optional<std::string> AskPassword(const std::string& caption,
                                         const std::string& prompt) override;
  std::optional<std::string> ChooseFileToOpen(const platform::OpenFileRequest& request) override;

 private:
  QWidget* Parent() const;

  QWidget* parent_;
  // The folder of the last chosen file: the next file dialog that is given
  // no name starts there, as a Windows open dialog does.
  std::string last_folder_;
};

}  // namespace kmlcompat
