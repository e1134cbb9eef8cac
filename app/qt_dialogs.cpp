#include "app/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <vector>

#include "platform/ascii.h"

namespace kmlcompat {

namespace {

using platform::AsciiLower;
using platform::AsciiUpper;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// One wildcard pattern made to match in any letter case: "*.KML" becomes
// "*.[Kk][Mm][Ll]". Letters already inside a character class stay as written.
std::string CaseFreePattern(const std::string& pattern) {
  if (pattern == "*.*") return "*";
  std::string out;
  bool in_class = false;
  for (char c : pattern) {
    if (in_class || !IsAsciiLetter(c)) {
      if (c == '[') in_class = true;
      if (c == ']') in_class = false;
      out += c;
      continue;
    }
    out += '[';
    out += AsciiUpper(c);
    out += AsciiLower(c);
    out += ']';
  }
  return out;
}

// "*.KML;*.KMZ" as Qt's blank-separated list "*.[Kk][Mm][Ll] *.[Kk][Mm][Zz]".
std::string CaseFreePatternList(const std::string& patterns) {
  std::string out;
  for (const std::string& pattern : Split(patterns, ';')) {
    std::string trimmed = Trim(pattern);
    if (trimmed.empty()) continue;
    if (!out.empty()) out += ' ';
    out += CaseFreePattern(trimmed);
  }
  return out;
}

std::string ToUtf8(const QString& text) {
  return text.toUtf8().toStdString();
}

bool PathExists(const std::string& path) {
  return QFileInfo::exists(QString::fromUtf8(path));
}

QString BoxTitle() {
  return QApplication::applicationDisplayName();
}

// Qt's own file dialog, so that it behaves the same on every desktop, which
// completes a typed name with the default extension before Qt checks that
// the file exists.
class CompletingFileDialog : public QFileDialog {
 public:
  CompletingFileDialog(QWidget* parent, const platform::OpenFileRequest& request)
      : QFileDialog(parent, QString::fromUtf8(request.title)),
        default_extension_(request.default_extension) {
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    std::string filter = ToQtFilter(request.filter);
    if (!filter.empty()) setNameFilter(QString::fromUtf8(filter));
  }

  // The chosen file after exec() returned Accepted.
  std::string Chosen() const {
    if (completed_) return *completed_;
    const QStringList files = selectedFiles();
    return files.isEmpty() ? std::string() : ToUtf8(files.front());
  }

  void accept() override {
    completed_.reset();
    const QStringList files = selectedFiles();
    if (files.size() == 1) {
      std::string typed = ToUtf8(files.front());
      std::string completed = ApplyDefaultExtension(typed, default_extension_, PathExists);
      if (completed != typed) {
        // The completed name is known to exist, so Qt's check is not needed.
        completed_ = completed;
        QDialog::accept();
        return;
      }
    }
    QFileDialog::accept();
  }

 private:
  std::string default_extension_;
  std::optional<std::string> completed_;
};

// A question box: its icon, buttons, the default one, and the one that
// closing the box without a choice answers.
struct BoxChoice {
  QMessageBox::Icon icon;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton default_button;
  QMessageBox::StandardButton escape_button;
};

// Shows the box over `parent` and gives the button clicked.
QMessageBox::StandardButton Ask(const BoxChoice& choice, const std::string& text, QWidget* parent) {
  QMessageBox box(choice.icon, BoxTitle(), QString::fromUtf8(text), choice.buttons, parent);
  box.setDefaultButton(choice.default_button);
  box.setEscapeButton(choice.escape_button);
  box.exec();
  return box.standardButton(box.clickedButton());
}

}  // namespace

std::string ToQtFilter(const std::string& filter) {
  if (filter.empty()) return {};
  std::vector<std::string> parts = Split(filter, '|');
  std::string out;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string patterns = CaseFreePatternList(parts[i + 1]);
    if (patterns.empty()) continue;
    if (!out.empty()) out += ";;";
    out += Trim(parts[i]) + " (" + patterns + ")";
  }
  return out;
}

std::string ApplyDefaultExtension(const std::string& path, const std::string& default_extension,
                                  const std::function<bool(const std::string&)>& exists) {
  if (path.empty() || default_extension.empty() || exists(path)) return path;
  size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name.find('.') != std::string::npos) return path;
  for (const std::string& candidate :
       {path + "." + default_extension, path + "." + AsciiLower(default_extension)}) {
    if (exists(candidate)) return candidate;
  }
  return path;
}

QWidget* QtDialogs::Parent() const {
  return parent_ ? parent_ : QApplication::activeWindow();
}

void QtDialogs::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, BoxTitle(), QString::fromUtf8(text), QMessageBox::Ok,
                  Parent());
  box.exec();
}

platform::ConfirmAnswer QtDialogs::Confirm(const std::string& text) {
  // Closing the box without a choice is the cautious answer.
  const BoxChoice choice{
      QMessageBox::Question,
      QMessageBox::Yes | QMessageBox::No | QMessageBox::NoToAll | QMessageBox::YesToAll,
      QMessageBox::Yes, QMessageBox::No};
  switch (Ask(choice, text, Parent())) {
    case QMessageBox::Yes:
      return platform::ConfirmAnswer::kYes;
    case QMessageBox::NoToAll:
      return platform::ConfirmAnswer::kNoToAll;
    case QMessageBox::YesToAll:
      return platform::ConfirmAnswer::kYesToAll;
    default:
      return platform::ConfirmAnswer::kNo;
  }
}

platform::FailureAnswer QtDialogs::AskOnFailure(const std::string& text) {
  // Closing the box without a choice gives up, like Abort.
  const BoxChoice choice{QMessageBox::Warning,
                         QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore,
                         QMessageBox::Abort, QMessageBox::Abort};
  switch (Ask(choice, text, Parent())) {
    case QMessageBox::Retry:
      return platform::FailureAnswer::kRetry;
    case QMessageBox::Ignore:
      return platform::FailureAnswer::kIgnore;
    default:
      return platform::FailureAnswer::kAbort;
  }
}

platform::FailureAnswer QtDialogs::AskAbortOrIgnore(const std::string& text) {
  const BoxChoice choice{QMessageBox::Question, QMessageBox::Abort | QMessageBox::Ignore,
                         QMessageBox::Abort, QMessageBox::Abort};
  return Ask(choice, text, Parent()) == QMessageBox::Ignore ? platform::FailureAnswer::kIgnore
                                                            : platform::FailureAnswer::kAbort;
}

std::optional<std::string> QtDialogs::AskPassword(const std::string& caption,
                                                  const std::string& prompt) {
  bool ok = false;
  QString password =
      QInputDialog::getText(Parent(), QString::fromUtf8(caption), QString::fromUtf8(prompt),
                            QLineEdit::Password, QString(), &ok);
  if (!ok) return std::nullopt;
  return ToUtf8(password);
}

std::optional<std::string> QtDialogs::ChooseFileToOpen(const platform::OpenFileRequest& request) {
  CompletingFileDialog dialog(Parent(), request);
  if (!request.initial_name.empty()) {
    dialog.selectFile(QString::fromUtf8(request.initial_name));
  } else if (!last_folder_.empty()) {
    dialog.setDirectory(QString::fromUtf8(last_folder_));
  }
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  std::string chosen = dialog.Chosen();
  if (chosen.empty()) return std::nullopt;
  last_folder_ = ToUtf8(QFileInfo(QString::fromUtf8(chosen)).absolutePath());
  return chosen;
}

}  // namespace kmlcompat
