// The window's progress report: a progress dialog with a Cancel button that
// appears only when the work lasts longer than a delay. The dialog is not
// modal, so that the window's own close button stays in reach; the window
// keeps its other input away while it works.
#pragma once

#include <QProgressDialog>

#include <chrono>
#include <memory>
#include <string>

#include "app/progress_sink.h"

namespace kmlcompat {

class ProgressDialogSink final : public ProgressSink {
 public:
  // The dialog will be a child of `parent` (not owned; it must outlive the
  // sink) titled `title`. It opens at the first report once `delay` has
  // passed since the sink was made, and closes when the sink is destroyed.
  ProgressDialogSink(QWidget* parent, QString title, std::chrono::milliseconds delay);

  // Moves the bar and shows `what` above it, then lets the dialog take the
  // user's input; false once the user pressed Cancel (or closed the
  // dialog) or a stop signal was caught, and from then on.
  bool Progress(double percent, const std::string& what) override;
  // Cancels the work as the Cancel button does (the window calls it when it
  // is closed during the work).
  void Cancel() { cancelled_ = true; }

 private:
  void Open();

  QWidget* parent_;
  QString title_;
  std::chrono::steady_clock::time_point opens_at_;
  // Made only when it shows, so that no timer of its own can show it while
  // the work waits in a message box.
  std::unique_ptr<QProgressDialog> dialog_;
  std::string what_;
  bool cancelled_ = false;
};

}  // namespace kmlcompat
