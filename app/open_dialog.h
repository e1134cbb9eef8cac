// The window's file-open dialog as a component: its properties, and Execute()
// to run it through the Dialogs interface.
#pragma once

#include <string>

#include "platform/dialogs.h"

namespace kmlcompat {

class TOpenDialog {
 public:
  std::string Title;
  std::string Filter;
  std::string DefaultExt;
  std::string FileName;  // the chosen full path after a successful Execute()

  // Runs the dialog modally, starting from FileName. True when a file was
  // chosen (FileName then holds it); false when cancelled (FileName unchanged).
  bool Execute(platform::Dialogs& dialogs) {
    auto chosen = dialogs.ChooseFileToOpen({Title, Filter, DefaultExt, FileName});
    if (!chosen) return false;
    FileName = *chosen;
    return true;
  }
};

}  // namespace kmlcompat
