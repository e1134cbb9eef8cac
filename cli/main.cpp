// kmlcompat-cli: the window's workflow for files named on the command line,
// or found below folders.
#include <iostream>

#include "cli/batch_run.h"
#include "cli/file_walk.h"
#include "cli/options.h"
#include "platform/console_dialogs.h"
#include "platform/interrupts.h"
#include "platform/posix_file_system.h"
#include "platform/terminal_password.h"

namespace {

// Progress to `progress`, problems to standard error; a problem's detail
// (the engine's message) only when `verbose`.
class ConsoleLog : public kmlcompat::ProcessLog {
 public:
  ConsoleLog(std::ostream& progress, bool verbose) : progress_(progress), verbose_(verbose) {}
  void Clear() override {}
  void Add(const std::string& line) override { progress_ << line << '\n'; }
  void Problem(const std::string& line) override { std::cerr << "kmlcompat-cli: " << line << '\n'; }
  void NotProcessed(const std::string& line) override { Problem(line); }
  void ProblemWithDetail(const std::string& line, const std::string& detail) override {
    Problem(line);
    if (verbose_) Problem("engine: " + detail);
  }

 private:
  std::ostream& progress_;
  bool verbose_;
};

void Print(const kmlcompat::FileReport& report, const kmlcompat::CliOptions& options) {
  if (options.json) {
    // Flushed line by line, so that a script reading along sees each file done.
    std::cout << kmlcompat::JsonLine(report) << std::endl;
    return;
  }
  const bool failed = report.status == kmlcompat::FileStatus::kFailed ||
                      report.status == kmlcompat::FileStatus::kCannotRepair;
  std::ostream& out = failed ? std::cerr : std::cout;
  out << kmlcompat::StatusLine(report, options.check_only) << '\n';
}

// With --json standard output carries the JSON lines alone; everything for
// people goes to standard error.
int Run(const kmlcompat::CliOptions& options) {
  std::ostream& text = options.json ? std::cerr : std::cout;
  platform::CatchInterrupts();
  platform::PosixFileSystem fs;
  // Passwords are typed on the terminal, never read from standard input.
  const platform::ControllingTerminal terminal;
  platform::ConsoleDialogs dialogs(
      std::cin, text, terminal.Fd() >= 0 ? terminal.Fd() : platform::ConsoleDialogs::kNoPasswords);
  ConsoleLog log(text, options.verbose);
  kmlcompat::BatchRun run(options, fs, dialogs, log);
  kmlcompat::Tally tally;
  kmlcompat::VisitFiles(options.files, options.recursive, fs,
                        [&](const std::string& path, const std::string& problem) {
                          if (platform::CaughtInterrupt() != 0) return;  // no file more
                          const kmlcompat::FileReport report = run.Process(path, problem);
                          tally.Add(report.status);
                          Print(report, options);
                        });
  text << tally.Summary(options.check_only) << '\n';
  if (const int signal = platform::CaughtInterrupt(); signal != 0)
    return platform::InterruptExitStatus(signal);
  return tally.ExitStatus();
}

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
  return Run(options);
}
