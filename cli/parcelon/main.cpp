// parcelon: a command-line program over the archive engine.
#include <iostream>

#include "cli/parcelon/verbs.h"
#include "platform/interrupts.h"

namespace parcelon::cli {

// As --help prints it.
constexpr char kMainUsage[] =
    "usage: parcelon VERB [ARGS...]\n"
    "Verbs:\n"
    "  list [--tsv] ARCHIVE [MASK...]            list the entries that match the masks\n"
    "  info ARCHIVE                              show what the end records say\n"
    "  add [OPTIONS] ARCHIVE FILE|MASK...        add files, creating the archive\n"
    "  move [OPTIONS] ARCHIVE FILE|MASK...       add files, then delete them\n"
    "  extract [OPTIONS] ARCHIVE DEST [MASK...]  extract entries below DEST\n"
    "  test [OPTIONS] ARCHIVE [MASK...]          check entries, writing nothing\n"
    "  delete [--quiet] ARCHIVE MASK...          remove entries\n"
    "'parcelon VERB --help' describes a verb. Every verb takes --verbose, which\n"
    "adds the engine's own message, with its code, after each failure.\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "Exit status: 0 on success, 1 when the archive, an entry or a file failed,\n"
    "2 for bad usage, 128+N when signal N (SIGINT, SIGTERM, SIGHUP) cancelled\n"
    "an update, extraction or test.\n";

// Runs a verb; one that a stop signal cancelled ends with 128 + the signal.
int RunVerb(const Verb& verb, const Args& args) {
  if (verb.cancellable) platform::CatchInterrupts();
  const int status = verb.run(verb, args, std::cout, std::cerr);
  const int signal = platform::CaughtInterrupt();
  return signal != 0 ? platform::InterruptExitStatus(signal) : status;
}

}  // namespace parcelon::cli

int main(int argc, char** argv) {
  using namespace parcelon::cli;
  const Args args(argv + (argc > 1 ? 2 : 1), argv + argc);
  const std::string verb = argc > 1 ? argv[1] : "";
  if (const Verb* known = FindVerb(verb)) return RunVerb(*known, args);
  if (verb == "--help" || verb == "help") return std::cout << kMainUsage, 0;
  if (verb == "--version") return std::cout << "parcelon " << PARCELON_VERSION << '\n', 0;
  std::cerr << (verb.empty() ? "" : "parcelon: unknown verb " + verb + "\n") << kMainUsage;
  return 2;
}
