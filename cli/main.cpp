// kmlcompat-cli: the window's workflow for files named on the command line,
// or found below folders.
#include <algorithm>
#include <iostream>
#include <memory>
#include <thread>

#include "cli/batch_run.h"
#include "cli/file_walk.h"
#include "cli/options.h"
#include "cli/parallel_run.h"
#include "cli/turn_dialogs.h"
#include "platform/console_dialogs.h"
#include "platform/interrupts.h"
#include "platform/posix_file_system.h"
#include "platform/terminal_password.h"

namespace {

// Progress to `progress`, problems to `errors`; a problem's detail (the
// engine's message) only when `verbose`.
class ConsoleLog : public kmlcompat::ProcessLog {
 public:
  ConsoleLog(std::ostream& progress, std::ostream& errors, bool verbose)
      : progress_(progress), errors_(errors), verbose_(verbose) {}
  void Clear() override {}
  void Add(const std::string& line) override { progress_ << line << '\n'; }
  void Problem(const std::string& line) override { errors_ << "kmlcompat-cli: " << line << '\n'; }
  void NotProcessed(const std::string& line) override { Problem(line); }
  void ProblemWithDetail(const std::string& line, const std::string& detail) override {
    Problem(line);
    if (verbose_) Problem("engine: " + detail);
  }

 private:
  std::ostream& progress_;
  std::ostream& errors_;
  bool verbose_;
};

// One worker: its dialogs, log and batch run, printing to the worker's
// streams. With --json standard output carries the JSON lines alone;
// everything for people goes to standard error.
class ConsoleWorker : public kmlcompat::FileWorker {
 public:
  ConsoleWorker(const kmlcompat::CliOptions& options, platform::FileSystem& fs, int terminal,
                kmlcompat::WorkerIo& io)
      : options_(options),
        io_(io),
        text_(options.json ? io.err : io.out),
        console_(std::cin, text_, terminal),
        dialogs_(console_, io.take_turn),
        log_(text_, io.err, options.verbose),
        run_(options, fs, dialogs_, log_) {}

  kmlcompat::FileStatus Process(const std::string& path, const std::string& problem) override {
    const kmlcompat::FileReport report = run_.Process(path, problem);
    Print(report);
    return report.status;
  }

 private:
  void Print(const kmlcompat::FileReport& report) {
    if (options_.json) {
      // One piece, flushed: a script reading along sees each file done, and
      // the lines of programs that share the output stay whole.
      io_.out << kmlcompat::JsonLine(report) + '\n' << std::flush;
      return;
    }
    const bool failed = report.status == kmlcompat::FileStatus::kFailed ||
                        report.status == kmlcompat::FileStatus::kCannotRepair;
    (failed ? io_.err : io_.out) << kmlcompat::StatusLine(report, options_.check_only) << '\n';
  }

  const kmlcompat::CliOptions& options_;
  kmlcompat::WorkerIo& io_;
  std::ostream& text_;
  platform::ConsoleDialogs console_;
  kmlcompat::TurnDialogs dialogs_;
  ConsoleLog log_;
  kmlcompat::BatchRun run_;
};

int JobCount(const kmlcompat::CliOptions& options) {
  if (options.jobs > 0) return options.jobs;
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

// The files one by one on this thread.
kmlcompat::Tally RunOneByOne(const kmlcompat::CliOptions& options, platform::FileSystem& fs,
                             int terminal) {
  kmlcompat::WorkerIo io{std::cout, std::cerr, [] {}};
  ConsoleWorker worker(options, fs, terminal, io);
  kmlcompat::Tally tally;
  kmlcompat::VisitFiles(options.files, options.recursive, fs,
                        [&](const std::string& path, const std::string& problem) {
                          if (platform::CaughtInterrupt() != 0) return;  // no file more
                          tally.Add(worker.Process(path, problem));
                        });
  return tally;
}

kmlcompat::Tally RunInParallel(const kmlcompat::CliOptions& options, platform::FileSystem& fs,
                               int terminal) {
  kmlcompat::ParallelRun run(
      JobCount(options),
      [&](kmlcompat::WorkerIo& io) {
        return std::make_unique<ConsoleWorker>(options, fs, terminal, io);
      },
      std::cout, std::cerr);
  kmlcompat::VisitFiles(options.files, options.recursive, fs,
                        [&](const std::string& path, const std::string& problem) {
                          if (platform::CaughtInterrupt() != 0) return;  // no file more
                          run.Add(path, problem);
                        });
  return run.Finish();
}

int Run(const kmlcompat::CliOptions& options) {
  platform::CatchInterrupts();
  platform::PosixFileSystem fs;
  // Passwords are typed on the terminal, never read from standard input.
  const platform::ControllingTerminal terminal;
  const int fd = terminal.Fd() >= 0 ? terminal.Fd() : platform::ConsoleDialogs::kNoPasswords;
  const kmlcompat::Tally tally =
      JobCount(options) == 1 || (options.files.size() == 1 && !options.recursive)
          ? RunOneByOne(options, fs, fd)
          : RunInParallel(options, fs, fd);
  (options.json ? std::cerr : std::cout) << tally.Summary(options.check_only) << '\n';
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
