#include "app/progress_dialog.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/interrupts.h"

namespace kmlcompat {

ProgressDialogSink::ProgressDialogSink(QWidget* parent, QString title,
                                       std::chrono::milliseconds delay)
    : parent_(parent),
      title_(std::move(title)),
      opens_at_(std::chrono::steady_clock::now() + delay) {}

bool ProgressDialogSink::Progress(double percent, const std::string& what) {
  if (platform::CaughtInterrupt() != 0) return false;  // a stop signal cancels too
  if (!dialog_) {
    if (std::chrono::steady_clock::now() < opens_at_) return !cancelled_;
    Open();
  }
  if (what != what_) {
    what_ = what;
    dialog_->setLabelText(QString::fromStdString(what));
  }
  dialog_->setValue(static_cast<int>(std::clamp(std::floor(percent), 0.0, 100.0)));
  // The work runs on the GUI thread: here the dialog is drawn and its
  // Cancel button, or the window's close button, pressed.
  QCoreApplication::processEvents();
  return !cancelled_ && !dialog_->wasCanceled();
}

void ProgressDialogSink::Open() {
  dialog_ = std::make_unique<QProgressDialog>(parent_);
  dialog_->setWindowTitle(title_);
  dialog_->setWindowModality(Qt::NonModal);
  dialog_->setRange(0, 100);
  // The dialog stays up, and a cancel stays known, until the file is done.
  dialog_->setAutoReset(false);
  dialog_->setAutoClose(false);
  dialog_->setMinimumDuration(0);
  dialog_->show();
}

}  // namespace kmlcompat
