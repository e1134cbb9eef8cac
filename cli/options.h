// Command-line options of kmlcompat-cli.
#pragma once

#include <string>
#include <vector>

namespace kmlcompat {

struct CliOptions {
  bool make_backup = true;
  bool recursive = false;   // folders among the arguments are searched for KML and KMZ files
  bool check_only = false;  // report what needs repair, write nothing
  bool json = false;        // one JSON object per file on standard output
  bool verbose = false;     // the engine's own messages too, after failures
  bool show_help = false;
  bool show_version = false;
  int jobs = 0;  // files repaired at once; 0: as many as the machine has cores
  std::vector<std::string> files;
  std::string error;  // set when the arguments are not understood
};

// Parses argv[1...]. "--" ends the options; a lone "-" is a file name.
CliOptions ParseCliOptions(const std::vector<std::string>& args);

// The text that --help prints.
std::string CliUsage();

}  // namespace kmlcompat
