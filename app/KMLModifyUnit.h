// The tool's main window: a file name box that opens the file dialog when it
// is clicked, a text box that shows what the rewrite did, and the choice of
// making a backup. Components sit at fixed pixel positions. Files named on
// the command line or dropped onto the window are processed as if they had
// been chosen, one after another.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>

#include <chrono>
#include <string>
#include <vector>

#include "app/kml_tool.h"
#include "app/open_dialog.h"
#include "app/progress_dialog.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"

class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QMouseEvent;

// A single-line edit with its caption in a label above it. A press of the
// left mouse button is reported as clicked().
class TLabeledEdit : public QLineEdit {
  Q_OBJECT

 public:
  // The label is created as a sibling on `parent`, which must not be null:
  // it lies outside the edit's own rectangle.
  explicit TLabeledEdit(QWidget* parent);

  QLabel* const EditLabel;

  // Places the edit, and the label `label_height` high and `label_spacing`
  // pixels above it, at the same left edge.
  void SetBounds(const QRect& edit, int label_width, int label_height, int label_spacing);

 Q_SIGNALS:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // Neither argument is owned; both must outlive the window.
  TForm1(platform::FileSystem& fs, platform::Dialogs& dialogs, QWidget* parent = nullptr);

  TLabeledEdit* const LabeledEditFilename;
  QPlainTextEdit* const Memo1;
  QCheckBox* const CheckBoxBackup;
  kmlcompat::TOpenDialog OpenDialog1;

  // The lines of Memo1 in UTF-8; none when it is empty.
  std::vector<std::string> Memo1Lines() const;
  // Whether the last processed file was rewritten.
  bool ProcessSucceeded() const { return tool_.ProcessSucceeded; }
  // How long a file's processing runs before its progress dialog appears.
  void SetProgressDelay(std::chrono::milliseconds delay) { progress_delay_ = delay; }

 public Q_SLOTS:
  // Lets the user choose a file, processes it, reporting in Memo1, and shows
  // the outcome in LabeledEditFilename. A cancelled choice changes nothing.
  void LabeledEditFilenameClick();
  // Processes `paths` in turn as LabeledEditFilenameClick processes a chosen
  // file. One file is handled exactly like a chosen one. Several keep the
  // log of all of them: Memo1 is cleared once, and each file's lines are
  // followed by a line "<path>: Done" or "<path>: Process Failed"; the
  // status then says "Done" only when every file succeeded. Ignored while
  // files are being processed.
  void ProcessFiles(const std::vector<std::string>& paths);

 protected:
  // Local .kml and .kmz files (any letter case) dropped onto the window are
  // processed by ProcessFiles once the drop has ended; other URLs are
  // ignored, and a drop holding none of them is refused.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // Closing the window while a file is processed cancels the work (the file
  // is left as it was) and closes the window once it has stopped.
  void closeEvent(QCloseEvent* event) override;

 private:
  // Reports of the workflow as lines of Memo1.
  class MemoLog : public kmlcompat::ProcessLog {
   public:
    explicit MemoLog(QPlainTextEdit& memo) : memo_(memo) {}
    void Clear() override;
    void Add(const std::string& line) override;
    void Problem(const std::string& line) override;

   private:
    QPlainTextEdit& memo_;
  };

  void SetUpForm();
  void SetUpComponents();
  void SetUpOpenDialog();
  // Processes one file, reporting to `log` and showing the outcome in
  // LabeledEditFilename; returns it.
  bool ProcessOne(const std::string& path, kmlcompat::ProcessLog& log);
  void ShowStatus(bool succeeded);
  // Closes the window after the work when the user asked for it meanwhile.
  void CloseIfAsked();

  platform::Dialogs& dialogs_;
  kmlcompat::KmlTool tool_;
  MemoLog memo_log_;
  std::chrono::milliseconds progress_delay_{1000};
  bool busy_ = false;
  bool close_asked_ = false;
  kmlcompat::ProgressDialogSink* progress_ = nullptr;  // the file's, while one is processed
};
