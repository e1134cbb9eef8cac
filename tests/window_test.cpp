// Drives the real main window under Qt's offscreen platform, with scripted
// dialogs and the real file system in a fresh folder per test.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/KMLModifyUnit.h"
#include "app/file_arguments.h"
#include "app/kmz_round_trip.h"
#include "platform/exception.h"
#include "platform/interrupts.h"
#include "platform/posix_file_system.h"
#include "platform/scripted_dialogs.h"
#include "tests/faulty_file_system.h"
#include "tests/test_support.h"

namespace {

using testing_support::ReadAll;
using testing_support::ShellQuote;
using testing_support::WriteAll;

const char kOldKml[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<kml xmlns=\"http://earth.google.com/kml/2.1\">\n"
    "<Placemark><Point><coordinates>-122.08, 37.42, 0</coordinates></Point></Placemark>\n"
    "</kml>\n";

const char kNewRoot[] =
    "<kml xmlns=\"http://www.opengis.net/kml/2.2\" xmlns:gx=\"http://www.google.com/kml/ext/2.2\" "
    "xmlns:kml=\"http://www.opengis.net/kml/2.2\" xmlns:atom=\"http://www.w3.org/2005/Atom\">";

const char kPrompt[] = "Click to select a KML/KMZ file for checking and modification";

const std::vector<std::string> kInitialLines = {
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

bool HasLineStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

bool Contains(const std::vector<std::string>& lines, const std::string& wanted) {
  return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

// True when every line feed is preceded by a carriage return and there is at
// least one line end.
bool AllLinesEndInCrLf(const std::string& text) {
  size_t lf = text.find('\n');
  if (lf == std::string::npos) return false;
  for (; lf != std::string::npos; lf = text.find('\n', lf + 1))
    if (lf == 0 || text[lf - 1] != '\r') return false;
  return true;
}

// Packs `kml` as doc.kml into the KMZ file `kmz` with the peer zip program.
void MakeKmz(const std::string& kmz, const std::string& kml) {
  const std::string folder = std::filesystem::path(kmz).parent_path().string();
  WriteAll(folder + "/doc.kml", kml);
  const testing_support::CommandResult zip = testing_support::RunCommand(
      "cd " + ShellQuote(folder) + " && zip -q -X -m " + ShellQuote(kmz) + " doc.kml");
  ASSERT_EQ(zip.status, 0) << zip.err;
}

// The widgets that Tab visits from `start`, in order, `count` of them.
std::vector<QWidget*> TabSequence(QWidget* start, size_t count) {
  std::vector<QWidget*> sequence;
  QWidget* widget = start;
  for (int guard = 0; sequence.size() < count && guard < 1000; ++guard) {
    if ((widget->focusPolicy() & Qt::TabFocus) && widget->isEnabled()) sequence.push_back(widget);
    widget = widget->nextInFocusChain();
  }
  return sequence;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form.show();
    QApplication::processEvents();
  }

  std::string File(const std::string& name) const { return dir.File(name); }
  std::string Status() const { return form.LabeledEditFilename->text().toUtf8().toStdString(); }
  void Choose(const std::string& path) { dialogs.open_answers.push_back(path); }

  // A real press and release of `button` in the middle of the file name box.
  void PressOnEdit(Qt::MouseButton button = Qt::LeftButton) {
    QLineEdit* edit = form.LabeledEditFilename;
    QPointF local(edit->width() / 2.0, edit->height() / 2.0);
    QPointF global = edit->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, button, button, Qt::NoModifier);
    QApplication::sendEvent(edit, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, button, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(edit, &release);
  }

  testing_support::ScratchDir dir;
  platform::PosixFileSystem fs;
  platform::ScriptedDialogs dialogs;
  TForm1 form{fs, dialogs};
};

TEST_F(WindowTest, StartsWithTheDesignedLayoutTextsAndProperties) {
  EXPECT_EQ(form.windowTitle().toStdString(), "Old KMZ/KML file compatibility tool");
  EXPECT_EQ(form.pos(), QPoint(192, 114));
  EXPECT_EQ(form.size(), QSize(701, 187));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_EQ(form.palette().color(QPalette::Window), form.palette().color(QPalette::Button));
  EXPECT_TRUE(form.autoFillBackground());
  EXPECT_EQ(form.font().pixelSize(), 11);
  EXPECT_EQ(form.font().families(), (QStringList{"Liberation Sans", "DejaVu Sans", "Sans Serif"}));

  TLabeledEdit* edit = form.LabeledEditFilename;
  EXPECT_EQ(edit->geometry(), QRect(8, 24, 689, 21));
  EXPECT_EQ(edit->text().toStdString(), kPrompt);
  QLabel* label = edit->EditLabel;
  EXPECT_EQ(label->parentWidget(), &form);
  EXPECT_EQ(label->text().toStdString(), "KML/KMZ file");
  EXPECT_EQ(label->geometry(), QRect(8, 8, 66, 13));
  EXPECT_EQ(label->y() + label->height() + 3, edit->y());

  EXPECT_EQ(form.Memo1->geometry(), QRect(8, 48, 689, 129));
  EXPECT_EQ(form.Memo1Lines(), kInitialLines);

  EXPECT_EQ(form.CheckBoxBackup->geometry(), QRect(424, 0, 97, 17));
  EXPECT_EQ(form.CheckBoxBackup->text().toStdString(), "Make a Backup");
  EXPECT_TRUE(form.CheckBoxBackup->isChecked());

  std::vector<QWidget*> expected_tabs = {edit, form.Memo1, form.CheckBoxBackup, edit};
  EXPECT_EQ(TabSequence(edit, 4), expected_tabs);

  EXPECT_EQ(form.OpenDialog1.Title, "Select a KML or KMZ file");
  EXPECT_EQ(form.OpenDialog1.Filter, "KML and KMZ files|*.KML;*.KMZ");
  EXPECT_EQ(form.OpenDialog1.DefaultExt, "KML");
  EXPECT_FALSE(form.ProcessSucceeded());
}

TEST_F(WindowTest, LeftPressOnTheEditRewritesAMixedCaseKmlFile) {
  std::string path = File("x.Kml");
  WriteAll(path, kOldKml);
  Choose(path);

  PressOnEdit();

  const platform::OpenFileRequest& request = dialogs.last_open_request();
  EXPECT_EQ(request.title, "Select a KML or KMZ file");
  EXPECT_EQ(request.filter, "KML and KMZ files|*.KML;*.KMZ");
  EXPECT_EQ(request.default_extension, "KML");
  EXPECT_EQ(request.initial_name, "");
  std::string output = ReadAll(path);
  EXPECT_NE(output.find(kNewRoot), std::string::npos) << output;
  EXPECT_NE(output.find("<coordinates>-122.08,37.42,0</coordinates>"), std::string::npos) << output;
  EXPECT_TRUE(AllLinesEndInCrLf(output)) << output;
  std::vector<std::string> lines = form.Memo1Lines();
  EXPECT_TRUE(Contains(lines, "Processing file " + path));
  EXPECT_FALSE(Contains(lines, kInitialLines[0]));
  EXPECT_EQ(Status(), "Done");
  EXPECT_TRUE(form.ProcessSucceeded());
}

TEST_F(WindowTest, PressesOfOtherButtonsOpenNoDialog) {
  PressOnEdit(Qt::RightButton);
  PressOnEdit(Qt::MiddleButton);

  EXPECT_TRUE(dialogs.calls().empty());
  EXPECT_EQ(form.Memo1Lines(), kInitialLines);
  EXPECT_EQ(Status(), kPrompt);
}

TEST_F(WindowTest, CancelLeavesMemoStatusAndFileUntouched) {
  std::string path = File("x.kml");
  WriteAll(path, kOldKml);
  Choose(path);
  form.LabeledEditFilenameClick();
  ASSERT_EQ(Status(), "Done");
  std::vector<std::string> lines_before = form.Memo1Lines();
  std::string file_before = ReadAll(path);
  std::string backup_before = ReadAll(path + ".Backup");

  dialogs.open_answers.push_back(std::nullopt);
  PressOnEdit();

  EXPECT_EQ(dialogs.calls().back().kind, "open");
  EXPECT_EQ(form.Memo1Lines(), lines_before);
  EXPECT_EQ(Status(), "Done");
  EXPECT_EQ(ReadAll(path), file_before);
  EXPECT_EQ(ReadAll(path + ".Backup"), backup_before);
  EXPECT_FALSE(form.ProcessSucceeded());
}

TEST_F(WindowTest, FileOfAnotherKindFailsAndStaysByteForByte) {
  std::string path = File("x.txt");
  std::string content = "<kml xmlns=\"http://earth.google.com/kml/2.1\">\n<a>1, 2</a>\n</kml>\n";
  WriteAll(path, content);
  Choose(path);

  form.LabeledEditFilenameClick();

  EXPECT_EQ(form.Memo1Lines(), std::vector<std::string>{"not a KML or KMZ file: " + path});
  EXPECT_EQ(Status(), "Process Failed");
  EXPECT_FALSE(form.ProcessSucceeded());
  EXPECT_EQ(ReadAll(path), content);
  EXPECT_TRUE(dialogs.Messages().empty());
}

TEST_F(WindowTest, StatusFollowsTheLastProcessedFile) {
  std::string good = File("good.KML");
  std::string bad = File("bad.txt");
  WriteAll(good, kOldKml);
  WriteAll(bad, "text\n");

  Choose(good);
  form.LabeledEditFilenameClick();
  EXPECT_EQ(Status(), "Done");
  Choose(bad);
  form.LabeledEditFilenameClick();
  EXPECT_EQ(Status(), "Process Failed");
  EXPECT_FALSE(HasLineStartingWith(form.Memo1Lines(), "Processing file " + good));
  Choose(good);
  form.LabeledEditFilenameClick();
  EXPECT_EQ(Status(), "Done");
}

TEST_F(WindowTest, SecondBackupHoldsTheFirstRewrite) {
  std::string path = File("twice.kml");
  std::string backup = path + ".Backup";
  WriteAll(path, kOldKml);

  Choose(path);
  form.LabeledEditFilenameClick();
  ASSERT_EQ(Status(), "Done");
  EXPECT_EQ(ReadAll(backup), kOldKml);
  std::string first_output = ReadAll(path);
  ASSERT_NE(first_output, kOldKml);

  Choose(path);
  form.LabeledEditFilenameClick();
  EXPECT_EQ(Status(), "Done");
  EXPECT_EQ(ReadAll(backup), first_output);
}

TEST_F(WindowTest, UncheckedBackupBoxMakesNoBackup) {
  std::string path = File("nobackup.kml");
  WriteAll(path, kOldKml);
  form.CheckBoxBackup->setChecked(false);

  Choose(path);
  form.LabeledEditFilenameClick();

  EXPECT_EQ(Status(), "Done");
  EXPECT_FALSE(fs.Exists(path + ".Backup"));
}

TEST_F(WindowTest, ProcessingLineAppearsOnlyAfterTheNamespaceMessageClosed) {
  std::string path = File("ns.kml");
  WriteAll(path, kOldKml);
  std::vector<bool> processing_line_while_shown;
  dialogs.on_message = [&](const std::string&) {
    processing_line_while_shown.push_back(
        HasLineStartingWith(form.Memo1Lines(), "Processing file "));
  };
  Choose(path);

  PressOnEdit();

  ASSERT_FALSE(processing_line_while_shown.empty()) << "no namespace message was shown";
  for (bool present : processing_line_while_shown) EXPECT_FALSE(present);
  EXPECT_TRUE(Contains(form.Memo1Lines(), "Processing file " + path));
  EXPECT_EQ(Status(), "Done");
}

TEST_F(WindowTest, KmzArchiveFails) {
  std::string path = File("x.kmz");
  std::string content("PK\x03\x04 not really an archive", 27);
  WriteAll(path, content);
  Choose(path);

  form.LabeledEditFilenameClick();

  EXPECT_EQ(Status(), "Process Failed");
  EXPECT_FALSE(form.ProcessSucceeded());
  EXPECT_EQ(ReadAll(path), content);
  // The reason names the file, in the text box as in the message.
  EXPECT_TRUE(HasLineStartingWith(form.Memo1Lines(), path + ": "));
}

// A corpus archive chosen in the window under a name of the test's.
struct KmzRun {
  const char* corpus_file;
  const char* chosen;                // the name it is chosen under
  std::vector<std::string> entries;  // the file names of its KML entries, in order
  const char* status;
};

class WindowKmzTest : public WindowTest, public ::testing::WithParamInterface<KmzRun> {};

// The log shows the archive under its own name and each KML entry by its
// file name; the file keeps its chosen name and its backup holds the
// original.
TEST_P(WindowKmzTest, RepairsTheArchiveAndLogsEachKmlEntry) {
  const KmzRun& run = GetParam();
  const std::string corpus_path = testing_support::CorpusDir() + "/" + run.corpus_file;
  if (!fs.Exists(corpus_path)) GTEST_SKIP() << "no corpus file " << corpus_path;
  const std::string original = ReadAll(corpus_path);
  const std::string path = File(run.chosen);
  WriteAll(path, original);
  Choose(path);

  form.LabeledEditFilenameClick();

  EXPECT_EQ(Status(), run.status);
  std::vector<std::string> lines = {"Openning Archive " + path};
  for (const std::string& entry : run.entries) lines.push_back("Processing Zipped file " + entry);
  if (run.entries.empty()) lines.push_back("no KML entry in " + path);
  // An entry's namespace message goes to the text box, naming it in the archive.
  std::vector<std::string> shown;
  for (const std::string& line : form.Memo1Lines()) {
    if (!line.starts_with("File ")) {
      shown.push_back(line);
    } else {
      EXPECT_NE(line.find(" in " + path + " has an old"), std::string::npos);
    }
  }
  EXPECT_EQ(shown, lines);
  EXPECT_LE(dialogs.Messages().size(), 1u);
  EXPECT_EQ(dir.List(),
            (std::vector<std::string>{run.chosen, run.chosen + std::string(".Backup")}));
  EXPECT_EQ(ReadAll(path + ".Backup"), original);
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, WindowKmzTest,
    ::testing::Values(KmzRun{"libkml__radar-animation_9kml.kmz",
                             "Radar.kmz",

                             {"doc.kml", "01.kml", "0130.kml", "0131.kml", "0103.kml", "0102.kml",
                              "010.kml", "0.kml", "013.kml"},
                             "Done"},
                      KmzRun{"libkml__lc01_kml21_deepfolders.kmz", "deep.KMZ", {"01.kml"}, "Done"},
                      KmzRun{"giscore__spaceInLink1_entryname.kmz",
                             "my links.kmz",

                             {"doc.kml", "my office.kml"},
                             "Done"},
                      KmzRun{"ol__iceland_mixed_cr.kmz", "iceland.kmz", {"doc.kml"}, "Done"},
                      KmzRun{"libkml__nokml.kmz", "nokml.kmz", {}, "Process Failed"}),
    [](const ::testing::TestParamInfo<KmzRun>& param) {
      std::string name = param.param.chosen;
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

// Fifty old-style entries make one message for the archive, before anything
// is written; it names the archive and a few entries, and no working copy.
TEST_F(WindowTest, KmzWithManyOldEntriesShowsOneMessage) {
  const std::string kmz = File("many.kmz");
  std::filesystem::create_directories(File("layers"));
  for (int i = 0; i < 50; ++i) WriteAll(File("layers/l" + std::to_string(i) + ".kml"), kOldKml);
  const std::string zip = "cd " + ShellQuote(std::filesystem::path(kmz).parent_path().string()) +
                          " && zip -q -X -r -m many.kmz layers";
  ASSERT_EQ(testing_support::RunCommand(zip).status, 0);
  const std::string before = ReadAll(kmz);
  dialogs.on_message = [&](const std::string&) { EXPECT_EQ(ReadAll(kmz), before); };
  Choose(kmz);

  form.LabeledEditFilenameClick();

  EXPECT_EQ(Status(), "Done");
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  const std::string text = dialogs.Messages()[0];
  EXPECT_TRUE(text.starts_with("Archive " + kmz + " has 50 KML entries with an old")) << text;
  EXPECT_NE(text.find("definition: layers/l"), std::string::npos);
  EXPECT_NE(text.find(" ... and 45 more"), std::string::npos);
  std::vector<std::string> texts = form.Memo1Lines();
  texts.push_back(text);
  for (std::string line : texts) {
    for (size_t at; (at = line.find(File(""))) != std::string::npos;)
      line.erase(at, File("").size());
    EXPECT_EQ(line.find("kmlcompat-"), std::string::npos) << line;
  }
}

TEST_F(WindowTest, TextsFitTheirComponents) {
  QLabel* label = form.LabeledEditFilename->EditLabel;
  QFontMetrics label_metrics(label->font());
  int label_room = label->contentsRect().width() - 2 * label->margin();
  EXPECT_LE(label_metrics.horizontalAdvance(label->text()), label_room);
  EXPECT_LE(label->sizeHint().width(), label->width());
  EXPECT_LE(label_metrics.height(), label->contentsRect().height());

  QCheckBox* box = form.CheckBoxBackup;
  QStyleOptionButton box_option;
  box_option.initFrom(box);
  box_option.text = box->text();
  box_option.state |= QStyle::State_HasFocus;
  QStyle* box_style = box->style();
  QRect box_text = box_style->subElementRect(QStyle::SE_CheckBoxContents, &box_option, box);
  QFontMetrics box_metrics(box->font());
  EXPECT_LE(box_metrics.horizontalAdvance(box->text()), box_text.width());
  EXPECT_LE(box_metrics.height(), box_text.height());
  // The frame drawn around the text when the box has the keyboard focus.
  QRect focus_frame = box_style->subElementRect(QStyle::SE_CheckBoxFocusRect, &box_option, box);
  EXPECT_TRUE(box->rect().contains(focus_frame)) << focus_frame.right() << " " << box->width();
  EXPECT_TRUE(box->rect().contains(
      box_style->subElementRect(QStyle::SE_CheckBoxIndicator, &box_option, box)));

  QLineEdit* edit = form.LabeledEditFilename;
  QStyleOptionFrame edit_option;
  edit_option.initFrom(edit);
  edit_option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
  QRect edit_text = edit->style()
                        ->subElementRect(QStyle::SE_LineEditContents, &edit_option, edit)
                        .marginsRemoved(edit->textMargins());
  // A line edit keeps 2 pixels clear left and right of its text, 1 above and below.
  QFontMetrics edit_metrics(edit->font());
  for (const char* text : {kPrompt, "Done", "Process Failed"})
    EXPECT_LE(edit_metrics.horizontalAdvance(QString::fromUtf8(text)), edit_text.width() - 4);
  EXPECT_LE(edit_metrics.height(), edit_text.height() - 2);
}

TEST_F(WindowTest, SeveralFilesKeepTheLogOfEachAndFailWhenOneFails) {
  const std::string kml = File("a.kml");
  const std::string kmz = File("b.KMZ");
  const std::string other = File("c.txt");
  WriteAll(kml, kOldKml);
  MakeKmz(kmz, kOldKml);
  WriteAll(other, "text\n");

  form.ProcessFiles({kml, kmz, other});

  const std::vector<std::string> lines = form.Memo1Lines();
  EXPECT_FALSE(Contains(lines, kInitialLines[0]));
  for (const std::string& line :
       {"Processing file " + kml, kml + ": Done", "Openning Archive " + kmz,
        std::string("Processing Zipped file doc.kml"), kmz + ": Done", other + ": Process Failed"})
    EXPECT_TRUE(Contains(lines, line)) << line;
  EXPECT_EQ(Status(), "Process Failed");
  EXPECT_TRUE(fs.Exists(kml + ".Backup"));
  EXPECT_TRUE(fs.Exists(kmz + ".Backup"));
  EXPECT_NE(ReadAll(kmz), ReadAll(kmz + ".Backup"));
}

TEST(FileArgumentsTest, SkipsOptionsBeforeTheEndMarkAndMakesPathsAbsolute) {
  const char* const argv[] = {"kmlcompat", "a.kml", "-x", "", "--", "-b.kmz", "/c/d.KML"};
  const std::string cwd = std::filesystem::current_path().string();
  EXPECT_EQ(kmlcompat::FileArguments(7, argv),
            (std::vector<std::string>{cwd + "/a.kml", cwd + "/-b.kmz", "/c/d.KML"}));
}

TEST_F(WindowTest, DroppedKmlFileIsProcessedAndOtherFilesAreIgnored) {
  const std::string kml = File("dropped.KML");
  const std::string other = File("other.txt");
  WriteAll(kml, kOldKml);
  WriteAll(other, "text\n");
  QMimeData only_other;
  only_other.setUrls({QUrl::fromLocalFile(QString::fromStdString(other))});
  QDragEnterEvent refused(QPoint(50, 100), Qt::CopyAction, &only_other, Qt::LeftButton,
                          Qt::NoModifier);
  QApplication::sendEvent(&form, &refused);
  EXPECT_FALSE(refused.isAccepted());

  QMimeData both;
  both.setUrls({QUrl::fromLocalFile(QString::fromStdString(kml)),
                QUrl::fromLocalFile(QString::fromStdString(other))});
  QDragEnterEvent enter(QPoint(50, 100), Qt::CopyAction, &both, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&form, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(50, 100), Qt::CopyAction, &both, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&form, &drop);
  EXPECT_TRUE(drop.isAccepted());
  QApplication::processEvents();

  EXPECT_EQ(form.Memo1Lines(), std::vector<std::string>{"Processing file " + kml});
  EXPECT_EQ(Status(), "Done");
  EXPECT_EQ(ReadAll(other), "text\n");
}

TEST_F(WindowTest, DroppedFileNameKeepsBytesThatAreNotUtf8) {
  const std::string kml = File("caf\xE9.KML");
  WriteAll(kml, kOldKml);
  QMimeData data;
  data.setUrls(
      {QUrl::fromEncoded("file://" + QByteArray::fromStdString(kml).toPercentEncoding("/"))});
  QDragEnterEvent enter(QPoint(50, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&form, &enter);
  QDropEvent drop(QPointF(50, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&form, &drop);
  QApplication::processEvents();
  EXPECT_EQ(Status(), "Done");
  EXPECT_NE(ReadAll(kml), kOldKml);
}

// A test sink that cancels at the `n`th report whose step starts with
// `step`, and keeps the reports.
struct CancellingSink : kmlcompat::ProgressSink {
  CancellingSink(std::string step_prefix, int n) : step(std::move(step_prefix)), left(n) {}
  bool Progress(double percent, const std::string& what) override {
    percents.push_back(percent);
    return !(what.starts_with(step) && --left == 0);
  }
  std::string step;
  int left;
  std::vector<double> percents;
};

struct LineLog : kmlcompat::ProcessLog {
  void Clear() override { lines.clear(); }
  void Add(const std::string& line) override { lines.push_back(line); }
  void Problem(const std::string& line) override { lines.push_back(line); }
  std::vector<std::string> lines;
};

const char kCancelledLine[] = "Processing was cancelled; the archive is left as it was";

// Cancels at each place the round trip can stop: before and during the
// extraction, before the rewrite, before the commit, at its start and amid it. Each leaves the
// archive byte for byte as it was, under its own name. A cancel at the
// commit's last report, once the new archive is in place, comes too late.
TEST(KmzCancelTest, CancelAnywhereLeavesTheArchiveAsItWas) {
  struct Case {
    const char* step;
    int n;
    bool too_late;
  };
  const Case kCases[] = {{"Examining", 1, false}, {"Examining", 2, false}, {"Repairing", 1, false},
                         {"Writing", 1, false},   {"Writing", 2, false},   {"Writing", 3, false},
                         {"Writing", 4, true}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.step) + " " + std::to_string(c.n));
    testing_support::ScratchDir dir;
    const std::string kmz = dir.File("area.kmz");
    MakeKmz(kmz, kOldKml);
    const std::string before = ReadAll(kmz);
    platform::PosixFileSystem fs;
    platform::ScriptedDialogs dialogs;
    kmlcompat::KmlTool tool(fs, dialogs);
    CancellingSink sink(c.step, c.n);
    LineLog log;

    EXPECT_EQ(tool.ProcessFile(kmz, false, log, &sink), c.too_late);
    EXPECT_EQ(ReadAll(kmz) == before, !c.too_late);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"area.kmz"});
    EXPECT_EQ(Contains(log.lines, kCancelledLine), !c.too_late);
    EXPECT_EQ(sink.left, 0);
    EXPECT_TRUE(std::is_sorted(sink.percents.begin(), sink.percents.end()));
    EXPECT_EQ(sink.percents.back() == 100, c.too_late);
  }
}

struct CallbackSink : kmlcompat::ProgressSink {
  bool Progress(double percent, const std::string& what) override { return on(percent, what); }
  std::function<bool(double, const std::string&)> on;
};

// A file system on which the reads of the spill file of repaired entries
// fail once `armed` is set.
class SpillReadsFail : public testing_support::FaultyFileSystem {
 public:
  std::unique_ptr<platform::Stream> CreateUniqueStream(const std::string& folder,
                                                       const std::string& prefix,
                                                       std::string* path) override {
    auto stream = FaultyFileSystem::CreateUniqueStream(folder, prefix, path);
    if (prefix != "repaired") return stream;
    return std::make_unique<Reads>(std::move(stream), armed);
  }
  bool armed = false;

 private:
  struct Reads : platform::Stream {
    Reads(std::unique_ptr<platform::Stream> file, const bool& fail)
        : file_(std::move(file)), fail_(fail) {}
    size_t Read(void* buffer, size_t n) override {
      if (fail_) throw platform::EStreamError(u"Stream read error");
      return file_->Read(buffer, n);
    }
    size_t Write(const void* buffer, size_t n) override { return file_->Write(buffer, n); }
    int64_t Seek(int64_t offset, platform::SeekOrigin origin) override {
      return file_->Seek(offset, origin);
    }
    void SetSize(int64_t size) override { file_->SetSize(size); }
    std::unique_ptr<platform::Stream> file_;
    const bool& fail_;
  };
};

// The repaired data cannot be read back when the commit writes it (every
// repaired entry goes to the spill file here): the commit fails as for any
// source it cannot read, the run with it, and the archive is as it was,
// with nothing left beside it. No question is asked: there is no entry the
// rest of the archive could go on without.
TEST(KmzCancelTest, FailureWritingAnEntryBackFailsTheFile) {
  testing_support::ScratchDir dir;
  const std::string kmz = dir.File("area.kmz");
  MakeKmz(kmz, kOldKml);
  const std::string before = ReadAll(kmz);
  SpillReadsFail fs;
  platform::ScriptedDialogs dialogs;
  CallbackSink sink;
  sink.on = [&fs](double, const std::string& what) {
    fs.armed = fs.armed || what.starts_with("Writing");
    return true;
  };
  LineLog log;
  kmlcompat::KmzRoundTrip trip(fs, dialogs, log, &sink, {uint64_t{16} << 20, 0});

  EXPECT_THROW(trip.Run(kmz), platform::EStreamError);

  EXPECT_TRUE(fs.armed);
  EXPECT_EQ(ReadAll(kmz), before);
  EXPECT_EQ(dir.List(), std::vector<std::string>{"area.kmz"});
  for (const platform::ScriptedDialogs::Call& call : dialogs.calls())
    EXPECT_EQ(call.kind, "message") << call.text;
}

TEST_F(WindowTest, CancelInTheProgressDialogLeavesTheArchiveAsItWas) {
  const std::string kmz = File("cancel.kmz");
  MakeKmz(kmz, kOldKml);
  const std::string before = ReadAll(kmz);
  form.SetProgressDelay(std::chrono::milliseconds(0));
  bool cancelled = false;
  // Runs at the first moment the dialog lets events through.
  QTimer::singleShot(0, &form, [&] {
    if (auto* dialog = form.findChild<QProgressDialog*>(); dialog && dialog->isVisible()) {
      dialog->cancel();
      cancelled = true;
    }
  });

  form.ProcessFiles({kmz});

  EXPECT_TRUE(cancelled);
  EXPECT_EQ(Status(), "Process Failed");
  EXPECT_TRUE(Contains(form.Memo1Lines(), kCancelledLine));
  EXPECT_EQ(ReadAll(kmz), before);
  EXPECT_EQ(form.findChild<QProgressDialog*>(), nullptr);
}

// Closing the window amid the work cancels it, then closes the window.
TEST_F(WindowTest, ClosingTheWindowDuringTheWorkCancelsAndCloses) {
  const std::string kmz = File("close.kmz");
  MakeKmz(kmz, kOldKml);
  const std::string before = ReadAll(kmz);
  form.SetProgressDelay(std::chrono::milliseconds(0));
  QTimer::singleShot(0, &form, [&] { EXPECT_FALSE(form.close()); });

  form.ProcessFiles({kmz});
  QApplication::processEvents();

  EXPECT_TRUE(Contains(form.Memo1Lines(), kCancelledLine));
  EXPECT_EQ(ReadAll(kmz), before);
  EXPECT_FALSE(form.isVisible());
}

// A stop signal during the repair cancels it as the Cancel button does.
TEST_F(WindowTest, StopSignalCancelsLikeTheCancelButton) {
  const std::string kmz = File("signal.kmz");
  MakeKmz(kmz, kOldKml);
  const std::string before = ReadAll(kmz);
  form.SetProgressDelay(std::chrono::milliseconds(0));
  platform::ResetInterrupts();
  QTimer::singleShot(0, &form, [] { raise(SIGTERM); });

  form.ProcessFiles({kmz});

  EXPECT_EQ(platform::CaughtInterrupt(), SIGTERM);
  EXPECT_EQ(Status(), "Process Failed");
  EXPECT_TRUE(Contains(form.Memo1Lines(), kCancelledLine));
  EXPECT_EQ(ReadAll(kmz), before);
  platform::ResetInterrupts();
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, SIG_DFL);
}

TEST_F(WindowTest, InitialMemoLinesAllShowWithoutScrolling) {
  QApplication::processEvents();
  EXPECT_EQ(form.Memo1->verticalScrollBar()->maximum(), 0);
  EXPECT_EQ(form.Memo1->horizontalScrollBar()->maximum(), 0);
}

}  // namespace

int main(int argc, char** argv) {
  // The window is drawn without a display, the same way on every machine.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // What Qt remembers (the file dialog's history among it) goes to a private
  // folder that ends with the run, never to the user's own settings.
  const testing_support::ScratchDir home;
  qputenv("HOME", QByteArray::fromStdString(home.path()));
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home.File("config")));
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(home.File("data")));
  qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(home.File("cache")));
  QStandardPaths::setTestModeEnabled(true);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
