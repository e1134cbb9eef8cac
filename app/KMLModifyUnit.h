// The tool's main window: a file name box that opens the file dialog when it
// is clicked, a text box that shows what the rewrite did, and the choice of
// making a backup. Components sit at fixed pixel positions.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>

#include <string>
#include <vector>

#include "app/kml_tool.h"
#include "app/open_dialog.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"

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

 public Q_SLOTS:
  // Lets the user choose a file, processes it, reporting in Memo1, and shows
  // the outcome in LabeledEditFilename. A cancelled choice changes nothing.
  void LabeledEditFilenameClick();

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

  platform::Dialogs& dialogs_;
  kmlcompat::KmlTool tool_;
  MemoLog memo_log_;
};
