#include "cli/options.h"

namespace kmlcompat {

CliOptions ParseCliOptions(const std::vector<std::string>& args) {
  CliOptions options;
  bool options_ended = false;
  for (const std::string& arg : args) {
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      options.files.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--no-backup") {
      options.make_backup = false;
    } else if (arg == "--help" || arg == "-h") {
      options.show_help = true;
    } else if (arg == "--version") {
      options.show_version = true;
    } else {
      options.error = "unknown option " + arg;
      return options;
    }
  }
  if (options.files.empty() && !options.show_help && !options.show_version)
    options.error = "no file given";
  return options;
}

std::string CliUsage() {
  return "Usage: kmlcompat-cli [--no-backup] FILE...\n"
         "Repairs old KML files, and the KML documents inside KMZ files, in place so\n"
         "that newer Google Earth releases read them: the root element gets the OGC\n"
         "KML 2.2 namespace and the blanks inside coordinate tuples are removed. The\n"
         "other entries of a KMZ file are kept as they are. Each FILE is copied to\n"
         "FILE.Backup first.\n"
         "\n"
         "  --no-backup  do not make the FILE.Backup copies\n"
         "  --help       show this text and exit\n"
         "  --version    show the version and exit\n"
         "\n"
         "Exit status: 0 when every file was processed, 1 when one failed, 2 for bad usage.\n";
}

}  // namespace kmlcompat
