// The Qt dialogs: the pure filter and file name helpers, and the real boxes
// answered from inside their own event loops.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "app/qt_dialogs.h"
#include "tests/test_support.h"

namespace {

using kmlcompat::ApplyDefaultExtension;
using kmlcompat::ToQtFilter;

TEST(WindowFilter, TurnsTheToolsFilterIntoACaseFreeQtFilter) {
  EXPECT_EQ(ToQtFilter("KML and KMZ files|*.KML;*.KMZ"),
            "KML and KMZ files (*.[Kk][Mm][Ll] *.[Kk][Mm][Zz])");
}

TEST(WindowFilter, JoinsSeveralFiltersAndWidensStarDotStar) {
  EXPECT_EQ(ToQtFilter("KML files|*.kml|All files|*.*"),
            "KML files (*.[Kk][Mm][Ll]);;All files (*)");
  EXPECT_EQ(ToQtFilter("Data| *.d1 ; ;*.D2 "), "Data (*.[Dd]1 *.[Dd]2)");
  EXPECT_EQ(ToQtFilter("Picked|x[ab].kml"), "Picked ([Xx][ab].[Kk][Mm][Ll])");
}

TEST(WindowFilter, DropsDescriptionsWithoutPatterns) {
  EXPECT_EQ(ToQtFilter(""), "");
  EXPECT_EQ(ToQtFilter("Lonely"), "");
  EXPECT_EQ(ToQtFilter("KML|*.KML|Dangling"), "KML (*.[Kk][Mm][Ll])");
  EXPECT_EQ(ToQtFilter("Empty||KML|*.KML"), "KML (*.[Kk][Mm][Ll])");
}

// Qt's file dialog parses the converted filter into patterns that pick the
// files of every letter case from a real folder, and nothing else.
TEST(WindowFilter, QtsFileDialogMatchesTheFilterInAnyLetterCase) {
  testing_support::ScratchDir dir;
  for (const char* name : {"a.kml", "B.KML", "c.Kml", "d.kmz", "E.KMZ", "f.kmlx", "g.txt", "KML"})
    testing_support::WriteAll(dir.File(name), "x");
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilter(QString::fromStdString(ToQtFilter("KML and KMZ files|*.KML;*.KMZ")));
  auto* model = dialog.findChild<QFileSystemModel*>();
  ASSERT_NE(model, nullptr);

  std::set<std::string> matched;
  for (const QString& name :
       QDir(QString::fromStdString(dir.path())).entryList(model->nameFilters(), QDir::Files))
    matched.insert(name.toStdString());

  EXPECT_EQ(matched, (std::set<std::string>{"B.KML", "E.KMZ", "a.kml", "c.Kml", "d.kmz"}));
}

class FakeFolder {
 public:
  explicit FakeFolder(std::set<std::string> paths) : paths_(std::move(paths)) {}
  std::function<bool(const std::string&)> Exists() const {
    return [this](const std::string& path) { return paths_.count(path) > 0; };
  }

 private:
  std::set<std::string> paths_;
};

TEST(WindowDefaultExtension, CompletesAMissingNameWhenTheCompletedFileExists) {
  FakeFolder folder(
      {"/d/foo.KML", "/d/low.kml", "/d/plain", "/d/both", "/d/both.KML", "/a.b/c.KML"});
  EXPECT_EQ(ApplyDefaultExtension("/d/foo", "KML", folder.Exists()), "/d/foo.KML");
  EXPECT_EQ(ApplyDefaultExtension("/d/low", "KML", folder.Exists()), "/d/low.kml");
  EXPECT_EQ(ApplyDefaultExtension("/d/plain", "KML", folder.Exists()), "/d/plain");
  EXPECT_EQ(ApplyDefaultExtension("/d/both", "KML", folder.Exists()), "/d/both");
  // A dot in a folder name is no extension of the file.
  EXPECT_EQ(ApplyDefaultExtension("/a.b/c", "KML", folder.Exists()), "/a.b/c.KML");
}

TEST(WindowDefaultExtension, LeavesOtherNamesAlone) {
  FakeFolder folder({"/d/none.KML", "/d/x.txt.KML"});
  EXPECT_EQ(ApplyDefaultExtension("/d/absent", "KML", folder.Exists()), "/d/absent");
  EXPECT_EQ(ApplyDefaultExtension("/d/x.txt", "KML", folder.Exists()), "/d/x.txt");
  EXPECT_EQ(ApplyDefaultExtension("/d/none", "", folder.Exists()), "/d/none");
  EXPECT_EQ(ApplyDefaultExtension("", "KML", folder.Exists()), "");
}

// Acts on the first modal dialog that opens, from inside its event loop. If
// the action leaves that dialog open, the topmost modal dialog is closed once
// a second until it is gone (a dialog may have opened another), so that a
// failing test cannot hang.
class ModalDriver {
 public:
  explicit ModalDriver(std::function<void(QWidget*)> act) : act_(std::move(act)) {
    QObject::connect(&poll_, &QTimer::timeout, [this] { Poll(); });
    QObject::connect(&guard_, &QTimer::timeout, [this] { Guard(); });
    poll_.start(5);
  }
  bool acted() const { return acted_; }
  bool left_open() const { return left_open_; }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    poll_.stop();
    acted_ = true;
    watched_ = modal;
    guard_.start(1000);
    act_(modal);
  }

  void Guard() {
    if (!watched_ || !watched_->isVisible()) {
      guard_.stop();
      return;
    }
    left_open_ = true;
    if (QWidget* top = QApplication::activeModalWidget()) top->close();
  }

  std::function<void(QWidget*)> act_;
  QTimer poll_;
  QTimer guard_;
  QPointer<QWidget> watched_;
  bool acted_ = false;
  bool left_open_ = false;
};

void ClickButton(QWidget* modal, QMessageBox::StandardButton which) {
  auto* box = qobject_cast<QMessageBox*>(modal);
  ASSERT_NE(box, nullptr);
  ASSERT_NE(box->button(which), nullptr);
  box->button(which)->click();
}

void PressEscape(QWidget* modal) {
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(modal, &escape);
}

platform::ConfirmAnswer ConfirmBy(std::function<void(QWidget*)> act) {
  kmlcompat::QtDialogs dialogs;
  ModalDriver driver(std::move(act));
  platform::ConfirmAnswer answer = dialogs.Confirm("Replace?");
  EXPECT_TRUE(driver.acted());
  EXPECT_FALSE(driver.left_open());
  return answer;
}

platform::FailureAnswer FailureBy(std::function<void(QWidget*)> act) {
  kmlcompat::QtDialogs dialogs;
  ModalDriver driver(std::move(act));
  platform::FailureAnswer answer = dialogs.AskOnFailure("Cannot write");
  EXPECT_TRUE(driver.acted());
  EXPECT_FALSE(driver.left_open());
  return answer;
}

auto Click(QMessageBox::StandardButton which) {
  return [which](QWidget* modal) { ClickButton(modal, which); };
}

TEST(WindowQtDialogs, ConfirmReportsTheButtonClicked) {
  using platform::ConfirmAnswer;
  EXPECT_EQ(ConfirmBy(Click(QMessageBox::Yes)), ConfirmAnswer::kYes);
  EXPECT_EQ(ConfirmBy(Click(QMessageBox::No)), ConfirmAnswer::kNo);
  EXPECT_EQ(ConfirmBy(Click(QMessageBox::NoToAll)), ConfirmAnswer::kNoToAll);
  EXPECT_EQ(ConfirmBy(Click(QMessageBox::YesToAll)), ConfirmAnswer::kYesToAll);
  EXPECT_EQ(ConfirmBy(PressEscape), ConfirmAnswer::kNo);
}

TEST(WindowQtDialogs, FailureBoxReportsTheButtonClicked) {
  using platform::FailureAnswer;
  EXPECT_EQ(FailureBy(Click(QMessageBox::Abort)), FailureAnswer::kAbort);
  EXPECT_EQ(FailureBy(Click(QMessageBox::Retry)), FailureAnswer::kRetry);
  EXPECT_EQ(FailureBy(Click(QMessageBox::Ignore)), FailureAnswer::kIgnore);
  EXPECT_EQ(FailureBy(PressEscape), FailureAnswer::kAbort);
}

TEST(WindowQtDialogs, MessageShowsTheTextWithOneOkButton) {
  kmlcompat::QtDialogs dialogs;
  QString text;
  int buttons = 0;
  ModalDriver driver([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    text = box->text();
    buttons = static_cast<int>(box->buttons().size());
    ClickButton(modal, QMessageBox::Ok);
  });
  dialogs.ShowMessage("Namespace ü replaced");
  EXPECT_TRUE(driver.acted());
  EXPECT_EQ(text, QString::fromUtf8("Namespace ü replaced"));
  EXPECT_EQ(buttons, 1);
}

TEST(WindowQtDialogs, PasswordIsHiddenWhileTypedAndNulloptOnCancel) {
  kmlcompat::QtDialogs dialogs;
  QLineEdit::EchoMode echo = QLineEdit::Normal;
  ModalDriver typing([&](QWidget* modal) {
    auto* input = qobject_cast<QInputDialog*>(modal);
    ASSERT_NE(input, nullptr);
    echo = input->textEchoMode();
    input->setTextValue(QString::fromUtf8("sécret"));
    input->accept();
  });
  EXPECT_EQ(dialogs.AskPassword("Archive", "Password:"), std::optional<std::string>("sécret"));
  EXPECT_EQ(echo, QLineEdit::Password);

  ModalDriver cancelling([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
  EXPECT_EQ(dialogs.AskPassword("Archive", "Password:"), std::nullopt);
}

// Types `name` into the file dialog's name box and presses Enter there.
std::function<void(QWidget*)> TypeName(const QString& name) {
  return [name](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    edit->setText(name);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(edit, &enter);
  };
}

class WindowFileDialog : public ::testing::Test {
 protected:
  std::optional<std::string> Choose(std::function<void(QWidget*)> act,
                                    const std::string& initial_name = "") {
    ModalDriver driver(std::move(act));
    auto chosen = dialogs.ChooseFileToOpen({"Pick", "KML|*.KML", "KML", initial_name});
    EXPECT_TRUE(driver.acted());
    EXPECT_FALSE(driver.left_open());
    return chosen;
  }

  testing_support::ScratchDir dir;
  kmlcompat::QtDialogs dialogs;
};

TEST_F(WindowFileDialog, TypedNameGetsTheDefaultExtension) {
  testing_support::WriteAll(dir.File("foo.KML"), "x");
  EXPECT_EQ(Choose(TypeName(QString::fromStdString(dir.File("foo")))), dir.File("foo.KML"));
}

TEST_F(WindowFileDialog, StartsAtTheInitialNameThenAtTheLastFolder) {
  testing_support::WriteAll(dir.File("a.kml"), "x");
  QString folder_shown;
  auto note_folder_and_type = [&](QWidget* modal) {
    folder_shown = qobject_cast<QFileDialog*>(modal)->directory().absolutePath();
    TypeName("a.kml")(modal);
  };
  EXPECT_EQ(Choose(note_folder_and_type, dir.File("a.kml")), dir.File("a.kml"));
  EXPECT_EQ(folder_shown.toStdString(), dir.path());

  folder_shown.clear();
  EXPECT_EQ(Choose(note_folder_and_type), dir.File("a.kml"));
  EXPECT_EQ(folder_shown.toStdString(), dir.path());
}

TEST_F(WindowFileDialog, CancelGivesNothing) {
  EXPECT_EQ(Choose([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); }), std::nullopt);
}

}  // namespace
