// The tool's window program. It takes no arguments of its own; QApplication
// consumes the ones Qt understands and the rest are ignored.
#include <QApplication>

#include "app/KMLModifyUnit.h"
#include "app/qt_dialogs.h"
#include "platform/posix_file_system.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  platform::PosixFileSystem fs;
  kmlcompat::QtDialogs dialogs;
  TForm1 Form1(fs, dialogs);
  Form1.show();
  return app.exec();
}
