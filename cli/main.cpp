// kmlcompat-cli: the window's workflow for files named on the command line.
#include <iostream>

#include "app/kml_tool.h"
#include "cli/options.h"
#include "platform/console_dialogs.h"
#include "platform/posix_file_system.h"

namespace {

// Progress to standard output, problems to standard error.
class ConsoleLog : public kmlcompat::ProcessLog {
 public:
  void Clear() override {}
  void Add(const std::string& line) override { std::cout << line << '\n'; }
  void Problem(const std::string& line) override { std::cerr << "kmlcompat-cli: " << line << '\n'; }
  void NotProcessed(const std::string& line) override { Problem(line); }
};

}  // namespace

int main(int argc, char** argv) {
  kmlcompat::CliOptions options = kmlcompat::ParseCliOptions({argv + 1, argv + argc});
  if (!options.error.empty()) {
    std::cerr << "kmlcompat-cli: " << options.error << "\n" << kmlcompat::CliUsage();
    return 2;
  }
  if (options.show_help) {
    std::cout << kmlcompat::CliUsage();
    return 0;
  }
  if (options.show_version) {
    std::cout << "kmlcompat-cli " << KMLCOMPAT_VERSION << '\n';
    return 0;
  }
  platform::PosixFileSystem fs;
  platform::ConsoleDialogs dialogs(std::cin, std::cout);
  kmlcompat::KmlTool tool(fs, dialogs);
  ConsoleLog log;
  bool all_succeeded = true;
  for (const std::string& file : options.files) {
    bool ok = tool.ProcessFile(file, options.make_backup, log);
    (ok ? std::cout : std::cerr) << file << ": " << kmlcompat::KmlTool::StatusText(ok) << '\n';
    all_succeeded = all_succeeded && ok;
  }
  return all_succeeded ? 0 : 1;
}
