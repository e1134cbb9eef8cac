// The tool's window program. --help and --version are answered before Qt
// starts, so they print and exit without a display and without a window. Any
// other arguments go to QApplication, which consumes the ones Qt understands;
// of the rest, the files are processed once the window shows, and other
// options are ignored.
#include <QApplication>
#include <QTimer>
#include <iostream>
#include <string_view>

#include "app/KMLModifyUnit.h"
#include "app/file_arguments.h"
#include "app/qt_dialogs.h"
#include "platform/interrupts.h"
#include "platform/posix_file_system.h"

namespace {

constexpr char kUsage[] =
    "Usage: kmlcompat [QT-OPTION...] [--] [FILE...]\n"
    "Opens the window that repairs old KML files, and the KML documents inside\n"
    "KMZ files, in place so that newer Google Earth releases read them. Click\n"
    "the file-name field and choose a file, or drop files onto the window;\n"
    "each FILE named here is processed once the window shows. \"Make a Backup\"\n"
    "copies a file to FILE.Backup first.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Other options are Qt's (for example -platform NAME or -style NAME).\n"
    "Exit status: 0 when the window was closed, or after --help and --version;\n"
    "128+N when signal N (SIGINT, SIGTERM, SIGHUP) cancelled the work and\n"
    "closed the window.\n";

constexpr char kVersion[] = "kmlcompat " KMLCOMPAT_VERSION "\n";

// The first of --help and --version among the arguments before "--", or
// nothing when neither is there.
std::string_view InformationRequest(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    if (arg == "--help" || arg == "--version") return arg;
  }
  return {};
}

}  // namespace

int main(int argc, char* argv[]) {
  if (const std::string_view request = InformationRequest(argc, argv); !request.empty()) {
    std::cout << (request == "--help" ? kUsage : kVersion);
    return std::cout.flush() ? 0 : 1;
  }
  QApplication app(argc, argv);
  platform::CatchInterrupts();
  platform::PosixFileSystem fs;
  kmlcompat::QtDialogs dialogs;
  TForm1 Form1(fs, dialogs);
  Form1.show();
  const std::vector<std::string> files = kmlcompat::FileArguments(argc, argv);
  if (!files.empty())
    QTimer::singleShot(0, &Form1, [&Form1, &files] { Form1.ProcessFiles(files); });
  // A stop signal cancels the file under way (through the progress dialog's
  // check) and then closes the program.
  QTimer signal_watch;
  QObject::connect(&signal_watch, &QTimer::timeout, &app, [] {
    if (platform::CaughtInterrupt() != 0) QApplication::quit();
  });
  signal_watch.start(100);
  const int status = app.exec();
  const int signal = platform::CaughtInterrupt();
  return signal != 0 ? platform::InterruptExitStatus(signal) : status;
}
