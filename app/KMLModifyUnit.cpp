#include "app/KMLModifyUnit.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFont>
#include <QMimeData>
#include <QMouseEvent>
#include <QPalette>
#include <QScopedValueRollback>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

#include "app/progress_dialog.h"

namespace {

// The window was laid out for a 709 x 221 frame at (192, 114); the frame of
// a dialog-like window takes 8 pixels across and 34 down (borders and title
// bar), which leaves this client area.
constexpr int kFormLeft = 192;
constexpr int kFormTop = 114;
constexpr int kClientWidth = 701;
constexpr int kClientHeight = 187;

constexpr char kCaption[] = "Old KMZ/KML file compatibility tool";
constexpr char kEditLabel[] = "KML/KMZ file";
constexpr char kEditPrompt[] = "Click to select a KML/KMZ file for checking and modification";
constexpr char kBackupCaption[] = "Make a Backup";
constexpr int kLabelSpacing = 3;

constexpr const char* kMemoLines[] = {
    "This tool modifies old KMZ/KML files to make them compatible with Google Earth version 6.1 "
    "(late 2011).",
    "",
    "It first ensures that the KML namespace includes \"http://www.opengis.net/kml/2.2\".",
    "As of 2008, a root element such as <kml xmlns=\"http://earth.google.com/kml/2.1\"> is no "
    "longer recognised.",
    "",
    "It also removes any spaces in coordinate tuples. If such spaces are not removed, version 6.1 "
    "smears ",
    "polygons across the screen and hogs the CPU continuously.",
    "",
    "Written by the KML compatibility tool developers in November 2011; debugged in January 2012.",
};

// The nearest match on this desktop for an 8-point "MS Sans Serif" at 96 dpi.
QFont FormFont() {
  QFont font;
  font.setFamilies(QStringList{"Liberation Sans", "DejaVu Sans", "Sans Serif"});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

QString InitialMemoText() {
  QStringList lines;
  for (const char* line : kMemoLines) lines << QString::fromUtf8(line);
  return lines.join(QLatin1Char('\n'));
}

// The local .kml and .kmz files among dropped data, as file system paths.
std::vector<std::string> DroppedKmlFiles(const QMimeData* data) {
  std::vector<std::string> files;
  if (data == nullptr || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) continue;
    // The URL's percent-encoded path holds the name's own bytes, also those
    // that are not UTF-8, which a decoded QString would lose.
    std::string path =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
    const std::string ext = kmlcompat::KmlTool::UpperExtension(path);
    if (ext == ".KML" || ext == ".KMZ") files.push_back(std::move(path));
  }
  return files;
}

// Passes lines on to `log` but never clears it, so that it keeps the lines
// of several files.
class AppendingLog final : public kmlcompat::ProcessLog {
 public:
  explicit AppendingLog(kmlcompat::ProcessLog& log) : log_(log) {}
  void Clear() override {}
  void Add(const std::string& line) override { log_.Add(line); }
  void Problem(const std::string& line) override { log_.Problem(line); }

 private:
  kmlcompat::ProcessLog& log_;
};

}  // namespace

TLabeledEdit::TLabeledEdit(QWidget* parent) : QLineEdit(parent), EditLabel(new QLabel(parent)) {}

void TLabeledEdit::SetBounds(const QRect& edit, int label_width, int label_height,
                             int label_spacing) {
  setGeometry(edit);
  EditLabel->setGeometry(edit.left(), edit.top() - label_spacing - label_height, label_width,
                         label_height);
}

void TLabeledEdit::mousePressEvent(QMouseEvent* event) {
  QLineEdit::mousePressEvent(event);
  if (event->button() == Qt::LeftButton) Q_EMIT clicked();
}

void TForm1::MemoLog::Clear() {
  memo_.clear();
}

void TForm1::MemoLog::Add(const std::string& line) {
  memo_.appendPlainText(QString::fromUtf8(line));
}

void TForm1::MemoLog::Problem(const std::string& line) {
  memo_.appendPlainText(QString::fromUtf8(line));
}

TForm1::TForm1(platform::FileSystem& fs, platform::Dialogs& dialogs, QWidget* parent)
    : QWidget(parent),
      LabeledEditFilename(new TLabeledEdit(this)),
      Memo1(new QPlainTextEdit(this)),
      CheckBoxBackup(new QCheckBox(this)),
      dialogs_(dialogs),
      tool_(fs, dialogs),
      memo_log_(*Memo1) {
  SetUpForm();
  SetUpComponents();
  SetUpOpenDialog();
  connect(LabeledEditFilename, &TLabeledEdit::clicked, this, &TForm1::LabeledEditFilenameClick);
  setAcceptDrops(true);
}

void TForm1::SetUpForm() {
  setWindowTitle(QString::fromUtf8(kCaption));
  setFixedSize(kClientWidth, kClientHeight);
  move(kFormLeft, kFormTop);
  // The window is painted in the colour of buttons, as dialogs are.
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Button));
  setPalette(palette);
  setAutoFillBackground(true);
  setFont(FormFont());
}

void TForm1::SetUpComponents() {
  LabeledEditFilename->EditLabel->setText(QString::fromUtf8(kEditLabel));
  LabeledEditFilename->SetBounds(QRect(8, 24, 689, 21), 66, 13, kLabelSpacing);
  LabeledEditFilename->setText(QString::fromUtf8(kEditPrompt));

  Memo1->setGeometry(8, 48, 689, 129);
  Memo1->setPlainText(InitialMemoText());

  CheckBoxBackup->setGeometry(424, 0, 97, 17);
  CheckBoxBackup->setText(QString::fromUtf8(kBackupCaption));
  CheckBoxBackup->setChecked(true);

  QWidget::setTabOrder(LabeledEditFilename, Memo1);
  QWidget::setTabOrder(Memo1, CheckBoxBackup);
}

void TForm1::SetUpOpenDialog() {
  OpenDialog1.Title = "Select a KML or KMZ file";
  OpenDialog1.Filter = "KML and KMZ files|*.KML;*.KMZ";
  OpenDialog1.DefaultExt = "KML";
}

std::vector<std::string> TForm1::Memo1Lines() const {
  std::vector<std::string> lines;
  const QTextDocument* document = Memo1->document();
  if (document->isEmpty()) return lines;
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
    lines.push_back(block.text().toUtf8().toStdString());
  return lines;
}

void TForm1::LabeledEditFilenameClick() {
  if (busy_) return;
  tool_.ProcessSucceeded = false;
  OpenDialog1.FileName.clear();
  if (!OpenDialog1.Execute(dialogs_)) return;
  ProcessOne(OpenDialog1.FileName, memo_log_);
  CloseIfAsked();
}

// While the work runs, the window takes no other input than its close button.
bool TForm1::ProcessOne(const std::string& path, kmlcompat::ProcessLog& log) {
  kmlcompat::ProgressDialogSink progress(this, QString::fromStdString(path), progress_delay_);
  const QScopedValueRollback<bool> busy(busy_, true);
  const QScopedValueRollback<kmlcompat::ProgressDialogSink*> current(progress_, &progress);
  LabeledEditFilename->setEnabled(false);
  CheckBoxBackup->setEnabled(false);
  tool_.ProcessFile(path, CheckBoxBackup->isChecked(), log, &progress);
  LabeledEditFilename->setEnabled(true);
  CheckBoxBackup->setEnabled(true);
  ShowStatus(tool_.ProcessSucceeded);
  return tool_.ProcessSucceeded;
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!busy_) return QWidget::closeEvent(event);
  close_asked_ = true;
  if (progress_ != nullptr) progress_->Cancel();
  event->ignore();
}

void TForm1::CloseIfAsked() {
  if (!close_asked_) return;
  close_asked_ = false;
  QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TForm1::ShowStatus(bool succeeded) {
  LabeledEditFilename->setText(QString::fromUtf8(kmlcompat::KmlTool::StatusText(succeeded)));
}

void TForm1::ProcessFiles(const std::vector<std::string>& paths) {
  if (busy_ || paths.empty()) return;
  const QScopedValueRollback<bool> busy(busy_, true);
  if (paths.size() == 1) {
    ProcessOne(paths.front(), memo_log_);
    return CloseIfAsked();
  }
  memo_log_.Clear();
  AppendingLog log(memo_log_);
  bool all_succeeded = true;
  for (const std::string& path : paths) {
    if (close_asked_) break;
    const bool succeeded = ProcessOne(path, log);
    log.Add(path + ": " + kmlcompat::KmlTool::StatusText(succeeded));
    all_succeeded = all_succeeded && succeeded;
  }
  ShowStatus(all_succeeded);
  CloseIfAsked();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (!busy_ && !DroppedKmlFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  std::vector<std::string> files = DroppedKmlFiles(event->mimeData());
  if (busy_ || files.empty()) return;
  event->acceptProposedAction();
  // The files are processed after the drop has ended, so that the program
  // the files came from is not kept waiting.
  QMetaObject::invokeMethod(
      this, [this, files = std::move(files)] { ProcessFiles(files); }, Qt::QueuedConnection);
}
