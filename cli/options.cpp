#include "cli/options.h"

namespace kmlcompat {

namespace {

// Sets the flag that `arg` names; false when it names none.
bool SetFlag(const std::string& arg, CliOptions* options) {
  struct Flag {
    const char* short_name;
    const char* long_name;
    bool CliOptions::*member;
    bool value;
  };
  static constexpr Flag kFlags[] = {
      {"", "--no-backup", &CliOptions::make_backup, false},
      {"-r", "--recursive", &CliOptions::recursive, true},
      {"", "--check", &CliOptions::check_only, true},
      {"", "--json", &CliOptions::json, true},
      {"-v", "--verbose", &CliOptions::verbose, true},
      {"-h", "--help", &CliOptions::show_help, true},
      {"", "--version", &CliOptions::show_version, true},
  };
  for (const Flag& flag : kFlags) {
    if (arg == flag.short_name || arg == flag.long_name) {
      options->*flag.member = flag.value;
      return true;
    }
  }
  return false;
}

constexpr int kMaxJobs = 1024;

// The value of -j N, -jN, --jobs N or --jobs=N: a count from 1 to kMaxJobs;
// 0 when `text` is none.
int ParseJobs(const std::string& text) {
  if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
    return 0;
  const int jobs = std::stoi(text);
  return jobs <= kMaxJobs ? jobs : 0;
}

// Whether `arg` is the option of the job count; its value is `arg`'s rest
// or, when that is empty, the next argument (`next`, which is then taken).
bool SetJobs(const std::string& arg, const std::string* next, bool* took_next,
             CliOptions* options) {
  std::string value;
  if (arg == "-j" || arg == "--jobs") {
    if (next != nullptr) value = *next;
    *took_next = true;
  } else if (arg.starts_with("--jobs=")) {
    value = arg.substr(7);
  } else if (arg.starts_with("-j")) {
    value = arg.substr(2);
  } else {
    return false;
  }
  options->jobs = ParseJobs(value);
  if (options->jobs == 0) options->error = "the job count of " + arg + " is not 1 to 1024";
  return true;
}

}  // namespace

CliOptions ParseCliOptions(const std::vector<std::string>& args) {
  CliOptions options;
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool took_next = false;
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      options.files.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (SetJobs(arg, i + 1 < args.size() ? &args[i + 1] : nullptr, &took_next, &options)) {
      if (!options.error.empty()) return options;
      i += took_next ? 1 : 0;
    } else if (!SetFlag(arg, &options)) {
      options.error = "unknown option " + arg;
      return options;
    }
  }
  if (options.files.empty() && !options.show_help && !options.show_version)
    options.error = "no file given";
  return options;
}

std::string CliUsage() {
  return "Usage: kmlcompat-cli [OPTION]... FILE...\n"
         "  or:  kmlcompat-cli -r [OPTION]... FOLDER|FILE...\n"
         "Repairs old KML files, and the KML documents inside KMZ files, in place so\n"
         "that newer Google Earth releases read them: the root element gets the OGC\n"
         "KML 2.2 namespace and the blanks inside coordinate tuples are removed. The\n"
         "other entries of a KMZ file are kept as they are. Files that need no repair\n"
         "are left untouched; each FILE that is repaired is copied to FILE.Backup first.\n"
         "\n"
         "  -r, --recursive  repair every .kml and .kmz file (any letter case) below\n"
         "                   each FOLDER, in sorted order; symbolic links found there\n"
         "                   are not followed, other files are ignored\n"
         "      --check      only report which files need repair and why (namespace,\n"
         "                   tuples); write nothing\n"
         "      --json       print one JSON object per file on standard output; all\n"
         "                   other text goes to standard error\n"
         "      --no-backup  do not make the FILE.Backup copies\n"
         "  -j, --jobs=N     repair N files at once (default: one per processor core);\n"
         "                   the output, summary and exit status are those of -j 1\n"
         "  -v, --verbose    after a failure to open a KMZ file, also the archive\n"
         "                   engine's own message with its code\n"
         "  -h, --help       show this text and exit\n"
         "      --version    show the version and exit\n"
         "\n"
         "A summary line ends the run (on standard error with --json).\n"
         "\n"
         "Exit status: 0 when every file was repaired or needed no repair, 1 when one\n"
         "failed (with --check: when one needs repair or failed), 2 for bad usage,\n"
         "128+N when signal N (SIGINT, SIGTERM, SIGHUP) cancelled the run.\n";
}

}  // namespace kmlcompat
